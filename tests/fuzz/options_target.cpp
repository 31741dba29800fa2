// options_target.cpp: the command-line fuzz target. Up to 16 arguments after the program name; a parsed
// frame pattern is formatted into a buffer of exactly the room it says it needs, and into one too small.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_targets.h"
#include "options.h"

bool fuzz_options(const uint8_t* data, size_t size) {
    std::vector<std::string> args{"capture"};
    const char* text = reinterpret_cast<const char*>(data);
    for (size_t at = 0; at <= size && args.size() <= 16;) {
        const void* nul = at < size ? std::memchr(text + at, 0, size - at) : nullptr;
        const size_t end = nul ? size_t(static_cast<const char*>(nul) - text) : size;
        args.emplace_back(text + at, end - at);
        at = end + 1;
    }
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    capture_options o;
    std::string err;
    if (!parse_options(int(args.size()), argv.data(), &o, &err)) return !err.empty();
    if (o.kind != out_kind::png_sequence) return true;
    for (int n : {0, 7, 99999, -1, 2147483647}) {
        char probe[2];
        char name[4096];
        if (!format_frame_name(o.out, n, name, sizeof name)) continue; // too long for any path
        const size_t need = std::strlen(name) + 1;
        std::vector<char> exact(need);
        if (!format_frame_name(o.out, n, exact.data(), need) || std::strcmp(exact.data(), name) != 0) {
            std::fprintf(stderr, "fuzz_options: %s formats differently into its own size\n", o.out);
            return false;
        }
        if (need > sizeof probe && format_frame_name(o.out, n, probe, sizeof probe)) {
            std::fprintf(stderr, "fuzz_options: %s claims to fit into 2 bytes\n", o.out);
            return false;
        }
    }
    return true;
}
