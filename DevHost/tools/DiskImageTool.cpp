// Plays the system's disk-image tool: "attach IMAGE" mounts an image of ours (a text file
// whose first line is "KORDELA DISK IMAGE", followed only by "volume NAME" and "item NAME"
// lines with plain names) and fails on anything else, as it fails on a broken or partial
// download: a real image's checksums catch any damage.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

bool IsPlainName(const std::string& name)
{
    if (name.empty())
        return false;
    for (const char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != ' ' && c != '-' && c != '_' && c != '.')
            return false;
    return true;
}

bool IsWholeImage(std::ifstream& image)
{
    std::string line;
    if (!std::getline(image, line) || line != "KORDELA DISK IMAGE")
        return false;
    while (std::getline(image, line)) {
        const bool known = line.rfind("volume ", 0) == 0 || line.rfind("item ", 0) == 0;
        if (!known || !IsPlainName(line.substr(line.find(' ') + 1)))
            return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3 || std::strcmp(argv[1], "attach") != 0) {
        std::printf("usage: hdiutil attach IMAGE\n");
        return 2;
    }
    std::ifstream image(argv[2], std::ios::binary);
    if (!image || !IsWholeImage(image)) {
        std::printf("hdiutil: attach failed - not recognized: %s\n", argv[2]);
        return 1;
    }
    std::printf("mounted %s at /Volumes/Kordela\n", argv[2]);
    return 0;
}
