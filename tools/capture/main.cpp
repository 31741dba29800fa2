// main.cpp: `capture`, the demo played on a virtual clock and written to PNG frames, a WAV soundtrack or
// a video (see options.cpp for the command line). The offline demo runs on the main thread and calls back
// into this file for every frame, every mixer buffer and every exit test; PNG files are encoded on a
// second thread (encoder.h), videos by ffmpeg in its own process.
#include "digest.h"
#include "encoder.h"
#include "options.h"
#include "output.h"
#include "progress.h"
#include "soundtrack.h"
#include "video.h"

#include "offline.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define CAPTURE_CALLGRIND 1
#endif

static_assert(kMaxFps == kOfflineMaxFps, "capture offers every frame rate the offline player plays");

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

volatile sig_atomic_t g_signal = 0;

void on_signal(int sig) {
    g_signal = sig;
}

struct capture_run {
    const capture_options* opts;
    // What is written.
    bool want_frames = false; // PNG or video
    bool want_sound = false;
    png_encoder png;
    wav_writer wavs[2]{}; // the soundtrack file(s): OUT.wav, --wav, the video's temporary one
    int wav_count = 0;
    video_pipe video{};
    bool video_open = false;
    bool sound_committed = false; // --wav of a video is finished before the video is
    char video_temp[kPathMax] = {};
    char sound_temp[kPathMax] = {};
    soundtrack sound;
    progress_bar progress;
    // Where the run stands.
    int64_t frame_index = 0;
    long captured = 0;
    bool done = false; // the capture is over: stop the demo
    bool failed = false;
    std::string error;
    // --bench
    bench_table* bench = nullptr;
    double last_time = 0;
};

// --callgrind: callgrind writes out (and restarts) its counts at every frame, so that each dump holds one
// frame interval: the mixing after the previous frame was presented and the drawing of this one. The
// label names the section that drew the frame (0: none, or outside the range).
void dump_frame_counters([[maybe_unused]] int64_t k, [[maybe_unused]] int section) {
#ifdef CAPTURE_CALLGRIND
    char label[64];
    if (k == 0)
        snprintf(label, sizeof label, "frame 0 start-up");
    else
        snprintf(label, sizeof label, "frame %lld section %d", static_cast<long long>(k), section);
    CALLGRIND_DUMP_STATS_AT(label);
#endif
}

bool fail(capture_run* run, const std::string& message) {
    if (!run->failed) run->error = message;
    run->failed = true;
    return false;
}

bool write_sound(const int16_t* samples, size_t count, void* ctx) {
    auto* run = static_cast<capture_run*>(ctx);
    for (int i = 0; i < run->wav_count; ++i)
        if (!wav_write(&run->wavs[i], samples, count))
            return fail(run,
                        std::string("cannot write '") + run->wavs[i].file.path + "': " + strerror(errno));
    return true;
}

// True once no later frame can belong to the capture (sections and positions only grow).
bool past_capture(const capture_options* o, int section, int position) {
    return o->still < 0 && (position >= o->to || (o->section != 0 && section > o->section));
}

bool in_capture(const capture_options* o, int section, int position) {
    if (o->still >= 0) return position >= o->still;
    return position >= o->from && position < o->to && (o->section == 0 || section == o->section);
}

bool write_frame(capture_run* run, const uint32_t* frame) {
    const capture_options* o = run->opts;
    std::string err;
    if (o->kind == out_kind::video) return video_write(&run->video, frame, &err) || fail(run, err);
    char name[kPathMax];
    const char* path = o->out;
    if (o->kind == out_kind::png_sequence) {
        if (!format_frame_name(o->out, static_cast<int>(run->captured), name, sizeof name))
            return fail(run, std::string("frame name too long for pattern '") + o->out + "'");
        path = name;
    }
    if (encoder_submit(&run->png, frame, path)) return true;
    encoder_finish(&run->png, &err); // collects the worker's message
    return fail(run, err);
}

void on_frame(const uint32_t* frame, int section, int position, uint32_t, void* ctx) {
    auto* run = static_cast<capture_run*>(ctx);
    int64_t k = run->frame_index++;
    if (run->done || run->failed) return;
    bool take = in_capture(run->opts, section, position);
    if (run->bench) {
        if (run->opts->callgrind)
            dump_frame_counters(k, take && section >= 1 && section <= kSections ? section : 0);
        double now = cpu_seconds();
        if (k == 0)
            run->bench->startup = now - run->last_time;
        else if (take && section >= 1 && section <= kSections)
            run->bench->times[section - 1].push_back(now - run->last_time);
        run->last_time = now;
        if (take) ++run->captured;
        if (!take && (run->captured > 0 || past_capture(run->opts, section, position))) run->done = true;
        progress_update(&run->progress, section, position, static_cast<long>(k + 1));
        return;
    }
    if (!take && (run->captured > 0 || past_capture(run->opts, section, position))) {
        run->done = true;
        return;
    }
    if (run->want_sound && !st_frame(&run->sound, k, take)) return;
    if (take) {
        if (run->want_frames && !write_frame(run, frame)) return;
        ++run->captured;
        if (run->opts->kind == out_kind::png_still) run->done = true;
    }
    progress_update(&run->progress, section, position, run->captured);
}

void on_audio(const int16_t* samples, int count, void* ctx) {
    auto* run = static_cast<capture_run*>(ctx);
    if (run->want_sound && !run->failed) st_audio(&run->sound, samples, static_cast<size_t>(count));
}

int on_exit_test(void* ctx) {
    auto* run = static_cast<capture_run*>(ctx);
    return run->done || run->failed || g_signal != 0;
}

// Throws away every file of an unfinished capture, frames of a sequence included: a failed capture
// leaves nothing that could pass for its result.
void abort_outputs(capture_run* run) {
    encoder_abort(&run->png);
    if (run->opts->kind == out_kind::png_sequence) {
        char name[kPathMax];
        for (long i = 0; i < run->captured; ++i)
            if (format_frame_name(run->opts->out, static_cast<int>(i), name, sizeof name)) unlink(name);
    }
    for (int i = 0; i < run->wav_count; ++i) wav_abort(&run->wavs[i]);
    if (run->video_open) video_abort(&run->video);
    run->video_open = false;
    if (run->video_temp[0]) unlink(run->video_temp);
    if (run->sound_temp[0]) unlink(run->sound_temp);
    run->video_temp[0] = run->sound_temp[0] = '\0';
    if (run->sound_committed) unlink(run->opts->wav);
    run->sound_committed = false;
}

// --fit: a 16:9 picture of that height; else the frame --scale times.
frame_layout picture_layout(const capture_options* o) {
    return o->fit ? fitted_layout(o->fit * 16 / 9, o->fit) : scaled_layout(o->scale);
}

bool open_outputs(capture_run* run) {
    const capture_options* o = run->opts;
    std::string err;
    run->want_frames =
        o->kind == out_kind::png_sequence || o->kind == out_kind::png_still || o->kind == out_kind::video;
    // ffmpeg writes the video beside its final name; every other output makes its folders as it opens.
    if (o->kind == out_kind::video && !make_parent_folders(o->out, &err)) return fail(run, err);
    const char* sound_files[2] = {};
    if (o->kind == out_kind::wav) sound_files[run->wav_count++] = o->out;
    if (o->wav) sound_files[run->wav_count++] = o->wav;
    if (o->kind == out_kind::video && !o->wav) {
        if (!temp_name_for(o->out, run->sound_temp, sizeof run->sound_temp))
            return fail(run, std::string("output name too long: '") + o->out + "'");
        strncat(run->sound_temp, ".wav", sizeof run->sound_temp - strlen(run->sound_temp) - 1);
        sound_files[run->wav_count++] = run->sound_temp;
    }
    run->want_sound = run->wav_count > 0;
    for (int i = 0; i < run->wav_count; ++i) {
        if (!wav_open(&run->wavs[i], sound_files[i], &err)) {
            run->wav_count = i;
            return fail(run, err);
        }
    }
    st_init(&run->sound, o->fps, write_sound, run);
    if (o->kind == out_kind::video) {
        if (!temp_name_for(o->out, run->video_temp, sizeof run->video_temp))
            return fail(run, std::string("output name too long: '") + o->out + "'");
        if (!video_open(&run->video, o->ffmpeg, run->video_temp, picture_layout(o), o->fps, &err)) {
            run->video_temp[0] = '\0';
            return fail(run, err);
        }
        run->video_open = true;
    }
    if (run->want_frames && o->kind != out_kind::video) encoder_start(&run->png, picture_layout(o));
    return true;
}

bool finish_outputs(capture_run* run) {
    const capture_options* o = run->opts;
    std::string err;
    int64_t padded = 0;
    if (run->want_frames && o->kind != out_kind::video && !encoder_finish(&run->png, &err))
        return fail(run, err);
    if (run->want_sound && !st_finish(&run->sound, &padded)) return false;
    // The virtual clock counts whole milliseconds, so the mixer may stop up to 1 ms short of the last
    // frame's end; only a longer gap is worth a word.
    if (padded > kSampleRate / 1000 + 1)
        fprintf(stderr,
                "capture: the demo ended %lld samples before its last frame did; padded with silence\n",
                static_cast<long long>(padded));
    // The temporary soundtrack of a video is committed under its own temporary name.
    for (int i = 0; i < run->wav_count; ++i) {
        bool ok = wav_finish(&run->wavs[i], &err);
        if (!ok) {
            run->wav_count = 0; // each writer has already removed its file
            return fail(run, err);
        }
    }
    run->wav_count = 0;
    if (o->kind != out_kind::video) return true;
    run->sound_committed = o->wav != nullptr;
    run->video_open = false;
    if (!video_close(&run->video, &err)) return fail(run, err);
    char muxed[kPathMax];
    if (!temp_name_for(o->out, muxed, sizeof muxed)) return fail(run, "output name too long");
    const char* sound = o->wav ? o->wav : run->sound_temp;
    if (!video_mux(o->ffmpeg, run->video_temp, sound, muxed, &err)) {
        unlink(muxed);
        return fail(run, err);
    }
    if (!commit_temp(muxed, o->out, &err)) return fail(run, err);
    unlink(run->video_temp);
    run->video_temp[0] = '\0';
    if (run->sound_temp[0]) unlink(run->sound_temp);
    run->sound_temp[0] = '\0';
    return true;
}

int run_bench(const capture_options* o) {
    if (o->callgrind) {
#ifdef CAPTURE_CALLGRIND
        if (!RUNNING_ON_VALGRIND) {
            fprintf(stderr, "capture: --callgrind counts only under valgrind --tool=callgrind\n");
            return kExitFailure;
        }
#else
        fprintf(stderr, "capture: built without valgrind's headers, so --callgrind cannot count\n");
        return kExitFailure;
#endif
    }
    static bench_table table;
    capture_run run{};
    run.opts = o;
    run.bench = &table;
    for (auto& times : table.times) times.reserve(16384);
    progress_init(&run.progress, o->quiet, o->from, o->to);
    offline_hooks hooks{o->fps, on_frame, nullptr, on_exit_test, &run};
    run.last_time = cpu_seconds();
    int status = offline_run(&hooks);
    progress_done(&run.progress);
    if (g_signal) {
        fprintf(stderr, "capture: interrupted\n");
        return 128 + g_signal;
    }
    if (status != 0) {
        fprintf(stderr, "capture: the demo ended with status %d\n", status);
        return kExitFailure;
    }
    print_bench(stdout, &table, o->fps);
    return 0;
}

int run_digest() {
    digest_result result;
    std::string err;
    if (!digest_demo(&result, &err)) {
        fprintf(stderr, "capture: %s\n", err.c_str());
        return kExitFailure;
    }
    print_digest(stdout, &result);
    return fflush(stdout) == 0 && !ferror(stdout) ? 0 : kExitFailure;
}

int run_capture(const capture_options* o) {
    capture_run run{};
    run.opts = o;
    int status = kExitFailure;
    if (open_outputs(&run)) {
        progress_init(&run.progress, o->quiet, o->still >= 0 ? 0 : o->from,
                      o->still >= 0 ? o->still + 1 : o->to);
        offline_hooks hooks{o->fps, on_frame, on_audio, on_exit_test, &run};
        int demo_status = offline_run(&hooks);
        progress_done(&run.progress);
        if (g_signal) {
            abort_outputs(&run);
            fprintf(stderr, "capture: interrupted; nothing written\n");
            return 128 + g_signal;
        }
        if (demo_status != 0 && !run.failed)
            fail(&run, "the demo ended with status " + std::to_string(demo_status));
        if (!run.failed && run.captured == 0) fail(&run, "no frame was presented in the requested range");
        if (!run.failed && finish_outputs(&run)) status = 0;
    }
    if (status != 0) {
        abort_outputs(&run);
        fprintf(stderr, "capture: %s\n", run.error.c_str());
    }
    return status;
}

} // namespace

int main(int argc, char** argv) {
    capture_options opts;
    std::string err;
    if (!parse_options(argc, argv, &opts, &err)) {
        fprintf(stderr, "capture: %s\n", err.c_str());
        return kExitUsage;
    }
    if (opts.help) {
        print_help(stdout);
        return fflush(stdout) == 0 ? 0 : kExitFailure;
    }
    if (opts.version) {
        print_version(stdout);
        return fflush(stdout) == 0 ? 0 : kExitFailure;
    }
    // A dead ffmpeg must show up as a failed write, not end the capture before it cleans up.
    signal(SIGPIPE, SIG_IGN);
    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &sa, nullptr);
    if (opts.bench) return run_bench(&opts);
    if (opts.digest) return run_digest();
    return run_capture(&opts);
}
