// gen_song OUT.mod: synthesises the instruments, composes the song and writes the demo's module.
#include "gen_song.h"
#include "outfile.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: gen_song OUT.mod\n");
        return 2;
    }
    std::vector<uint8_t> module = build_module(make_samples(), compose());
    std::string err;
    if (!write_whole_file(argv[1], module.data(), module.size(), &err)) {
        std::fprintf(stderr, "gen_song: %s\n", err.c_str());
        return 1;
    }
    return 0;
}
