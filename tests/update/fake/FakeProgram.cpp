// A program that answers --version as Velmora does, with the version note of the build, and
// cannot start otherwise: what a broken build looks like to the updater.
#include "data/TessalVersionInfo.h"

#include <cstdio>
#include <cstring>

int main(int argc, char **argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("Velmora %s\n", qPrintable(GetFileVersionText(false)));
        return 0;
    }
    std::fprintf(stderr, "Velmora: cannot start\n");
    return 1;
}
