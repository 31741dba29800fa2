// Writes a C++ file that defines `naama` as the test portrait, so that the effects can be tested and
// benchmarked without the embedded assets. Usage: fx_portrait_gen OUT.cpp
#include "test_picture.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    FILE* f = std::fopen(argv[1], "w");
    if (!f) return 1;
    std::fprintf(f, "// Generated test portrait.\n#include \"assets.h\"\nconst uint8_t naama[65537] = {\n");
    for (int i = 0; i < 65536; i++)
        std::fprintf(f, "%d,%s", test_grey(i / 256, i % 256), i % 32 == 31 ? "\n" : "");
    std::fprintf(f, "0};\n");
    return std::fclose(f) == 0 ? 0 : 1;
}
