// options.cpp: command-line parsing for `capture` (getopt_long conventions: -r 25, -r25, --fps=25,
// --fps 25, options before or after OUT, "--" ends the options).
#include "options.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <strings.h>

namespace {

constexpr const char* kVersion = "1.0";
constexpr int kRowsPerOrder = 64;

enum long_only {
    opt_from = 256,
    opt_to,
    opt_still,
    opt_bench,
    opt_callgrind,
    opt_digest,
    opt_fit,
    opt_ffmpeg
};

const option kLongOptions[] = {
    {"fps", required_argument, nullptr, 'r'},
    {"scale", required_argument, nullptr, 's'},
    {"wav", required_argument, nullptr, 'a'},
    {"section", required_argument, nullptr, 'S'},
    {"from", required_argument, nullptr, opt_from},
    {"to", required_argument, nullptr, opt_to},
    {"still", required_argument, nullptr, opt_still},
    {"bench", no_argument, nullptr, opt_bench},
    {"callgrind", no_argument, nullptr, opt_callgrind},
    {"digest", no_argument, nullptr, opt_digest},
    {"fit", required_argument, nullptr, opt_fit},
    {"ffmpeg", required_argument, nullptr, opt_ffmpeg},
    {"quiet", no_argument, nullptr, 'q'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

// A whole decimal int in [lo, hi]; no sign games, no trailing text, no overflow.
bool parse_int(const char* text, int lo, int hi, int* value) {
    if (!text || *text == '\0' || *text == '+' || *text == ' ') return false;
    char* end = nullptr;
    errno = 0;
    long v = strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
    *value = static_cast<int>(v);
    return true;
}

// The long name of an option, for messages about it in whichever form it was given.
std::string option_name(int code) {
    for (const option& o : kLongOptions)
        if (o.name && o.val == code) return std::string("--") + o.name;
    return "?";
}

std::string quoted(const char* s) {
    return std::string("'") + s + "'";
}

const char* extension(const char* path) {
    const char* slash = strrchr(path, '/');
    const char* base = slash ? slash + 1 : path;
    const char* dot = strrchr(base, '.');
    return (dot && dot != base) ? dot + 1 : nullptr;
}

// Decides what OUT is and whether the options fit it.
bool classify_output(capture_options* o, std::string* err) {
    if (o->bench || o->digest) {
        if (o->out) {
            *err = std::string(o->bench ? "--bench" : "--digest") + " writes no file, but OUT " +
                   quoted(o->out) + " was given";
            return false;
        }
        o->kind = out_kind::none;
        return true;
    }
    if (!o->out) {
        *err = "no output given (try 'capture --help')";
        return false;
    }
    if (o->out[0] == '\0') {
        *err = "the output name is empty";
        return false;
    }
    const char* ext = extension(o->out);
    if (!ext) {
        *err = "cannot tell the format of " + quoted(o->out) +
               ": name it .png (a %05d pattern for a sequence), .wav, or a video such as .mp4";
        return false;
    }
    if (strcasecmp(ext, "png") == 0) {
        bool pattern = strchr(o->out, '%') != nullptr;
        if (o->still >= 0) {
            if (pattern) {
                *err = "--still writes one picture, but " + quoted(o->out) + " is a sequence pattern";
                return false;
            }
            o->kind = out_kind::png_still;
        } else {
            if (!pattern) {
                *err = quoted(o->out) +
                       " names one file: give a pattern such as frame%05d.png for a sequence, or "
                       "--still POS for one picture";
                return false;
            }
            if (!valid_frame_pattern(o->out)) {
                *err = "bad frame pattern " + quoted(o->out) +
                       ": it needs exactly one %d (or %05d) and %% for a literal percent sign";
                return false;
            }
            o->kind = out_kind::png_sequence;
        }
    } else if (strcasecmp(ext, "wav") == 0) {
        o->kind = out_kind::wav;
        if (o->fit) {
            *err = "--fit is for videos and PNG pictures; " + quoted(o->out) + " is a soundtrack";
            return false;
        }
        if (o->wav) {
            *err = "--wav is for PNG sequences and videos; " + quoted(o->out) + " already is the soundtrack";
            return false;
        }
    } else {
        o->kind = out_kind::video;
    }
    if (o->still >= 0 && o->kind != out_kind::png_still) {
        *err = "--still writes a PNG picture: name the output something.png";
        return false;
    }
    if (o->kind == out_kind::png_still && o->wav) {
        *err = "--wav cannot go with --still (a still has no soundtrack)";
        return false;
    }
    return true;
}

} // namespace

bool parse_position(const char* text, int* position) {
    if (!text) return false;
    const char* colon = strchr(text, ':');
    if (!colon) { // rows run 0..63, so 180 (row 80) never comes
        int value = 0;
        if (!parse_int(text, 0, kSongEnd, &value) || value % 100 >= kRowsPerOrder) return false;
        *position = value;
        return true;
    }
    std::string order_text(text, colon - text);
    int order = 0, row = 0;
    if (!parse_int(order_text.c_str(), 0, kSongEnd / 100, &order) ||
        !parse_int(colon + 1, 0, kRowsPerOrder - 1, &row))
        return false;
    if (order * 100 + row > kSongEnd) return false;
    *position = order * 100 + row;
    return true;
}

bool valid_frame_pattern(const char* pattern) {
    int conversions = 0;
    for (const char* p = pattern; *p; ++p) {
        if (*p != '%') continue;
        ++p;
        if (*p == '%') continue;
        if (*p == '0') ++p;
        if (*p >= '1' && *p <= '9') ++p; // a one-digit width is plenty
        if (*p != 'd') return false;
        ++conversions;
    }
    return conversions == 1;
}

bool format_frame_name(const char* pattern, int n, char* buf, size_t size) {
    size_t len = 0;
    auto put = [&](char c) {
        if (len + 1 >= size) return false;
        buf[len++] = c;
        return true;
    };
    for (const char* p = pattern; *p; ++p) {
        if (*p != '%') {
            if (!put(*p)) return false;
            continue;
        }
        ++p;
        if (*p == '%') {
            if (!put('%')) return false;
            continue;
        }
        bool zero = false;
        int width = 0;
        if (*p == '0') zero = true, ++p;
        if (*p >= '1' && *p <= '9') width = *p++ - '0';
        if (*p != 'd') return false;
        char digits[16];
        int count = snprintf(digits, sizeof digits, "%d", n);
        for (int i = count; i < width; ++i)
            if (!put(zero ? '0' : ' ')) return false;
        for (int i = 0; i < count; ++i)
            if (!put(digits[i])) return false;
    }
    if (size == 0) return false;
    buf[len] = '\0';
    return true;
}

bool parse_options(int argc, char** argv, capture_options* o, std::string* err) {
    *o = capture_options{};
    optind = 0; // full re-initialisation, so the parser can run more than once (tests)
    opterr = 0;
    bool seen[opt_ffmpeg + 1] = {}; // every option counts once, short and long forms alike
    int c;
    while ((c = getopt_long(argc, argv, ":r:s:a:S:qhV", kLongOptions, nullptr)) != -1) {
        if (c > 0 && c <= opt_ffmpeg && c != '?' && c != ':') {
            if (seen[c]) {
                *err = "option " + option_name(c) + " given more than once (each option at most once)";
                return false;
            }
            seen[c] = true;
        }
        switch (c) {
        case 'r':
            if (!parse_int(optarg, 1, kMaxFps, &o->fps)) {
                *err = "frame rate " + quoted(optarg) + " is not a whole number from 1 to 240";
                return false;
            }
            break;
        case 's':
            if (!parse_int(optarg, 1, kMaxScale, &o->scale)) {
                *err = "scale " + quoted(optarg) + " is not a whole number from 1 to 8";
                return false;
            }
            break;
        case 'a':
            o->wav = optarg;
            break;
        case 'S':
            if (!parse_int(optarg, 1, 11, &o->section)) {
                *err = "section " + quoted(optarg) + " is not a number from 1 to 11";
                return false;
            }
            break;
        case opt_from:
        case opt_to:
        case opt_still:
            if (!parse_position(optarg, c == opt_from ? &o->from : c == opt_to ? &o->to : &o->still)) {
                *err = "song position " + quoted(optarg) +
                       " is not order*100+row (0 to 2000, rows 0..63) or order:row (for example 13:0)";
                return false;
            }
            break;
        case opt_bench:
            o->bench = true;
            break;
        case opt_callgrind:
            o->callgrind = true;
            break;
        case opt_digest:
            o->digest = true;
            break;
        case opt_fit:
            if (!parse_int(optarg, 1080, 2160, &o->fit) || (o->fit != 1080 && o->fit != 2160)) {
                *err = "--fit " + quoted(optarg) + " is not 1080 (a 1920x1080 picture) or 2160 (3840x2160)";
                return false;
            }
            break;
        case opt_ffmpeg:
            o->ffmpeg = optarg;
            break;
        case 'q':
            o->quiet = true;
            break;
        case 'h':
            o->help = true;
            return true;
        case 'V':
            o->version = true;
            return true;
        case ':': {
            const char* name = argv[optind - 1];
            *err = std::string("option ") + quoted(name) + " needs a value";
            return false;
        }
        default: {
            if (optopt != 0 && optopt < 256)
                *err = std::string("unknown option '-") + static_cast<char>(optopt) + "'";
            else
                *err = "unknown option " + quoted(argv[optind - 1]);
            *err += " (try 'capture --help')";
            return false;
        }
        }
    }
    if (optind < argc) o->out = argv[optind++];
    if (optind < argc) {
        *err = "more than one output given: " + quoted(o->out) + " and " + quoted(argv[optind]);
        return false;
    }
    if (o->bench && o->digest) {
        *err = "--bench and --digest cannot be combined";
        return false;
    }
    if (o->callgrind && !o->bench) {
        *err = "--callgrind goes with --bench";
        return false;
    }
    if (o->from >= o->to) {
        *err = "--from " + std::to_string(o->from) + " must be below --to " + std::to_string(o->to);
        return false;
    }
    if (o->still >= kSongEnd) {
        *err = "--still must be below the end of the song (2000)";
        return false;
    }
    if (o->fit && seen['s']) {
        *err = "--fit and --scale cannot be combined: --fit takes the largest scale that fits";
        return false;
    }
    if (o->fit && seen['r']) {
        *err = "--fit records at the demo's 50 fps: leave out --fps";
        return false;
    }
    if (o->fit && (o->bench || o->digest)) {
        *err = std::string("--fit is for videos and PNG pictures; ") + (o->bench ? "--bench" : "--digest") +
               " writes none";
        return false;
    }
    if (o->digest && (o->fps != kDemoFps || o->from != 0 || o->to != kSongEnd || o->section != 0)) {
        *err = "--digest always samples the whole demo at 50 fps; it takes no range or rate";
        return false;
    }
    return classify_output(o, err);
}

void print_help(FILE* out) {
    fputs("Usage: capture [OPTION]... OUT\n"
          "       capture --bench [OPTION]...\n"
          "Plays the Shoreline demo on a virtual clock and writes what it shows and plays.\n"
          "\n"
          "OUT decides what is written:\n"
          "  NAME%05d.png      a PNG sequence, one picture per frame, numbered from 0\n"
          "                    (%d, %0Nd with N up to 9; %% for a percent sign)\n"
          "  NAME.png          one still (needs --still)\n"
          "  NAME.wav          the soundtrack: 44100 Hz mono 16-bit, exactly the mixer's output\n"
          "  NAME.mp4, .mkv... a video with its soundtrack, encoded by ffmpeg\n"
          "Files appear under their names only once complete.\n"
          "\n"
          "Options:\n"
          "  -r, --fps=N        frames per second of the virtual clock, 1..240 (default 50)\n"
          "  -s, --scale=N      enlarge frames N times, nearest neighbour, 1..8 (default 1)\n"
          "      --fit=1080|2160\n"
          "                     for video sites: a 1920x1080 or 3840x2160 picture at 50 fps, the frame\n"
          "                     enlarged by the largest whole factor that fits (4 or 9), nearest\n"
          "                     neighbour, centred on black\n"
          "  -a, --wav=FILE     also write the soundtrack of the captured frames to FILE\n"
          "      --from=POS     start at the first frame at song position POS (default 0)\n"
          "      --to=POS       stop before the first frame at song position POS (default 2000)\n"
          "  -S, --section=N    capture only section N (1..11)\n"
          "      --still=POS    write one PNG: the first frame at song position POS or later\n"
          "      --bench        render as fast as possible, write nothing, and print per section\n"
          "                     the median and slowest frame time and the frames per second\n"
          "                     (CPU time of the one demo thread; --fps and the range apply)\n"
          "      --callgrind    with --bench, under valgrind --tool=callgrind: dump the counters\n"
          "                     after every frame, labelled with its section\n"
          "                     (tools/scripts/frame-cost.sh tabulates them)\n"
          "      --digest       print the regression table (a hash of every frame and of the samples\n"
          "                     it owns, folded per section, at 50 fps) as C++ for the test suite\n"
          "      --ffmpeg=PROG  the ffmpeg program for videos (default: ffmpeg from PATH)\n"
          "  -q, --quiet        no progress bar (it is shown only when standard error is a terminal)\n"
          "  -h, --help         show this help and exit\n"
          "  -V, --version      show the version and exit\n"
          "Each option may be given at most once.\n"
          "\n"
          "A song position POS is order*100+row (0..2000; rows 0..63) or order:row, for example 13:0.\n"
          "The sections end at song positions 100, 200, 400, 430, 700, 800, 1100, 1600, 1800, 1900\n"
          "and 2000.\n"
          "\n"
          "Examples:\n"
          "  capture --wav=shots/sound.wav shots/f%05d.png\n"
          "  capture --fps=60 --scale=3 shoreline.mp4\n"
          "  capture --fit=2160 shoreline-2160p.mp4\n"
          "  capture --still=13:16 section8.png\n"
          "  capture --section=8 --fps=25 part8.mkv\n"
          "\n"
          "Exit status: 0 on success, 1 on a failed capture, 2 on bad usage.\n",
          out);
}

void print_version(FILE* out) {
    fprintf(out, "capture (Shoreline) %s\n", kVersion);
}
