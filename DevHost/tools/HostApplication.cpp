// Plays the host application started as a new instance: it says which file it was asked
// to open and ends.
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::printf("new host instance started without a file\n");
        return 0;
    }
    for (int i = 1; i < argc; ++i)
        std::printf("new host instance opens \"%s\"\n", argv[i]);
    return 0;
}
