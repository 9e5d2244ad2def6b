// Plays the system's disk-image tool: "attach IMAGE" mounts an image of ours (a text file
// whose first line is "KORDELA DISK IMAGE") and fails on anything else, as a broken or
// partial download would.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 3 || std::strcmp(argv[1], "attach") != 0) {
        std::printf("usage: hdiutil attach IMAGE\n");
        return 2;
    }
    std::ifstream image(argv[2], std::ios::binary);
    std::string firstLine;
    if (!image || !std::getline(image, firstLine) || firstLine != "KORDELA DISK IMAGE") {
        std::printf("hdiutil: attach failed - not recognized: %s\n", argv[2]);
        return 1;
    }
    std::printf("mounted %s at /Volumes/Kordela\n", argv[2]);
    return 0;
}
