// modrender: renders a tracker module to a 44.1 kHz mono 16-bit WAV file through the music system's own
// replayer and mixer, buffer by buffer as the audio device would request them (offline driver, 52 ticks
// per second).
//
//   modrender IN.mod OUT.wav [--seconds N]
//
// Without --seconds the song is rendered until it comes back to a row it has already played (outside a
// pattern loop), at most 20 minutes. The WAV file appears under its name only once complete (outfile.h).
// Exit status 0 on success, 1 on a failed read or write, 2 on bad usage (an option given twice included).
#include "outfile.h"
#include "sound_internal.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <string>
#include <vector>

constexpr int render_rate = 44100;
constexpr int render_tickrate = 52;
constexpr double render_maxseconds = 20 * 60;

struct render_state {
    std::vector<int16_t> samples;
    size_t wanted = 0; // samples to keep; 0 = until the song repeats
    bool seen[128][64] = {};
    int last = -1; // position at the previous buffer
    bool done = false;
};

static void render_sink(const int16_t* samples, int count, void* ctx) {
    render_state& r = *static_cast<render_state*>(ctx);
    r.samples.insert(r.samples.end(), samples, samples + count);
    if (r.wanted) {
        r.done = r.samples.size() >= r.wanted;
        return;
    }
    const int pos = mzx_position();
    const int order = pos / 100, row = pos % 100;
    bool looping = false;
    for (int c = 0; c < pt_channels; c++) looping |= pt_pattloop[c] != 0;
    if (pos != r.last && pos >= 0 && order < 128 && row < 64 && !looping) {
        if (r.seen[order][row]) r.done = true;
        r.seen[order][row] = true;
    }
    r.last = pos;
    if (r.samples.size() >= static_cast<size_t>(render_maxseconds * render_rate)) r.done = true;
}

static void put16(FILE* f, uint32_t v) {
    const uint8_t b[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
    std::fwrite(b, 1, 2, f);
}

static void put32(FILE* f, uint32_t v) {
    put16(f, v & 0xFFFF);
    put16(f, v >> 16);
}

static bool write_wav(const char* path, const int16_t* samples, size_t count, std::string* err) {
    out_file of;
    if (!out_open(&of, path, err)) return false;
    FILE* f = of.f;
    const uint32_t bytes = static_cast<uint32_t>(count * 2);
    std::fwrite("RIFF", 1, 4, f);
    put32(f, 36 + bytes);
    std::fwrite("WAVEfmt ", 1, 8, f);
    put32(f, 16);
    put16(f, 1); // PCM
    put16(f, 1); // mono
    put32(f, render_rate);
    put32(f, render_rate * 2);
    put16(f, 2);
    put16(f, 16);
    std::fwrite("data", 1, 4, f);
    put32(f, bytes);
    for (size_t i = 0; i < count; i++) put16(f, static_cast<uint16_t>(samples[i]));
    return out_commit(&of, err); // checks that every byte reached the file
}

static int usage(const char* problem = nullptr) {
    if (problem) std::fprintf(stderr, "modrender: %s\n", problem);
    std::fprintf(stderr, "usage: modrender IN.mod OUT.wav [--seconds N]   (each option at most once)\n");
    return 2;
}

int main(int argc, char** argv) {
    static const option options[] = {{"seconds", required_argument, nullptr, 's'}, {nullptr, 0, nullptr, 0}};
    double seconds = 0;
    bool seconds_given = false;
    opterr = 0;
    int c;
    while ((c = getopt_long(argc, argv, ":", options, nullptr)) != -1) {
        if (c == ':') return usage("--seconds needs a value");
        if (c != 's') return usage();
        if (seconds_given) return usage("--seconds given twice");
        seconds_given = true;
        char* end = nullptr;
        seconds = std::strtod(optarg, &end);
        if (end == optarg || *end != '\0' || !(seconds > 0) || seconds > render_maxseconds) {
            std::fprintf(stderr, "modrender: --seconds wants a number above 0 and at most %g\n",
                         render_maxseconds);
            return 2;
        }
    }
    if (argc - optind != 2) return usage();
    const char* in_path = argv[optind];
    const char* out_path = argv[optind + 1];

    FILE* in = std::fopen(in_path, "rb");
    if (!in) {
        std::fprintf(stderr, "modrender: cannot open %s: %s\n", in_path, std::strerror(errno));
        return 1;
    }
    std::vector<uint8_t> module;
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0)
        module.insert(module.end(), chunk, chunk + got);
    const bool read_error = std::ferror(in) != 0;
    std::fclose(in);
    if (read_error) {
        std::fprintf(stderr, "modrender: cannot read %s\n", in_path);
        return 1;
    }

    if (!mzx_init()) {
        std::fprintf(stderr, "modrender: %s\n", sd_errorstr);
        return 1;
    }
    if (!mzx_get(module.data(), module.size())) {
        std::fprintf(stderr, "modrender: %s: %s\n", in_path, pt_errorstr);
        return 1;
    }

    static render_state r;
    r.wanted = static_cast<size_t>(seconds * render_rate);
    sd_offline_set_sink(render_sink, &r);
    sd_offline_run(0);
    mzx_start(render_tickrate);
    // Advance the virtual clock one buffer's worth at a time until enough has been rendered.
    for (uint32_t ms = 0; !r.done; ms += 10) sd_offline_run(ms);
    mzx_close();
    sd_offline_set_sink(nullptr, nullptr);

    const size_t count = r.wanted ? r.wanted : r.samples.size();
    std::string err;
    if (!write_wav(out_path, r.samples.data(), count, &err)) {
        std::fprintf(stderr, "modrender: %s\n", err.c_str());
        return 1;
    }
    std::printf("%s: %zu samples (%.2f s), %d channels\n", out_path, count, count / double(render_rate),
                pt_channels);
    return 0;
}
