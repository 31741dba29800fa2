// options.h: the command line of `capture`, parsed into a plain record, and its --help text.
//
// USAGE: capture_options o; std::string err; if (!parse_options(argc, argv, &o, &err)) report err.
// parse_options() checks every value and the combination of options, so the caller only acts on it.
#pragma once
#include <cstdio>
#include <string>

// What OUT names, decided by its extension (and by --still for a single .png).
enum class out_kind {
    none,         // --bench, --digest, --help, --version: nothing written
    png_sequence, // frame%05d.png: one PNG per frame, numbered from 0
    png_still,    // --still POS: one PNG of the first frame at song position POS or later
    wav,          // x.wav: the soundtrack only
    video,        // any other extension: encoded by ffmpeg, with the soundtrack
};

constexpr int kSongEnd = 2000; // the song position at which the demo ends
constexpr int kMaxFps = 240;
constexpr int kMaxScale = 8;
constexpr int kDemoFps = 50; // the demo's own frame rate: --digest's and --fit's

struct capture_options {
    int fps = kDemoFps;
    int scale = 1;     // nearest-neighbour factor for PNG and video frames
    int fit = 0;       // --fit: 1080 or 2160, the height of a 16:9 picture the frame is fitted into; 0: none
    int from = 0;      // first song position captured
    int to = kSongEnd; // song position at which capturing stops (not included)
    int section = 0;   // 1..11: only that section's frames; 0: all
    int still = -1;    // song position of a single still; -1: none
    const char* out = nullptr;
    const char* wav = nullptr; // also write the soundtrack here (PNG sequence or video)
    const char* ffmpeg = "ffmpeg";
    bool quiet = false; // no progress bar
    bool bench = false;
    bool callgrind = false; // with --bench: per-frame counter dumps for callgrind
    bool digest = false;
    bool help = false;
    bool version = false;
    out_kind kind = out_kind::none;
};

// Parses argv; false with a one-line message (without the program name) in *err on bad input.
bool parse_options(int argc, char** argv, capture_options* opts, std::string* err);

// Parses a song position: "1300" or order:row as "13:0" (row 0..63). False if malformed or out of
// 0..kSongEnd.
bool parse_position(const char* text, int* position);

// True if pattern holds exactly one %d conversion (optionally %0Nd, N <= 9) and otherwise only
// literal text and %% escapes.
bool valid_frame_pattern(const char* pattern);

// Writes pattern with its %d conversion replaced by n into buf; false if it does not fit.
bool format_frame_name(const char* pattern, int n, char* buf, size_t size);

void print_help(FILE* out);
void print_version(FILE* out);
