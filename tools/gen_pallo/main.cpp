// gen_pallo: writes the shore scene file. Usage: gen_pallo OUTPUT (the committed copy is data/pallo.3ds).
#include <cstdio>

#include "pallo_gen.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: gen_pallo OUTPUT\n");
        return 2;
    }
    std::vector<uint8_t> bytes = make_pallo();
    FILE* f = std::fopen(argv[1], "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
        std::fprintf(stderr, "gen_pallo: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
