// gen_pallo: writes the shore scene file. Usage: gen_pallo OUTPUT (the committed copy is data/pallo.3ds).
#include <cstdio>
#include <string>

#include "outfile.h"
#include "pallo_gen.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: gen_pallo OUTPUT\n");
        return 2;
    }
    std::vector<uint8_t> bytes = make_pallo();
    std::string err;
    if (!write_whole_file(argv[1], bytes.data(), bytes.size(), &err)) {
        std::fprintf(stderr, "gen_pallo: %s\n", err.c_str());
        return 1;
    }
    return 0;
}
