// gen_song OUT.mod: synthesises the instruments, composes the song and writes the demo's module.
#include "gen_song.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: gen_song OUT.mod\n");
        return 2;
    }
    std::vector<uint8_t> module = build_module(make_samples(), compose());
    std::FILE* f = std::fopen(argv[1], "wb");
    if (!f) {
        std::perror(argv[1]);
        return 1;
    }
    bool ok = std::fwrite(module.data(), 1, module.size(), f) == module.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "gen_song: could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
