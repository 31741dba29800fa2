// offline.cpp: the demo on a virtual clock (main thread only; no real time, no window, no sound card).
//
// Frame k is drawn when the clock reads k * 1000 / fps milliseconds. gfx_blit hands the frame to the
// caller, advances the clock by one frame and lets the offline audio device mix every buffer due by the
// new time, so the song position, and with it the timeline, follows the virtual clock exactly as it
// follows the sound card on the real machine. Runs are reproducible: see offline_run.
#include "offline.h"

#include "assets.h"
#include "demo.h"
#include "gfx_offline.h"
#include "sound.h"

#include <cstdio>
#include <cstdlib>

namespace {
const offline_hooks* hooks = nullptr;
uint64_t frames = 0; // frames presented so far in this run
uint32_t now_ms = 0; // virtual time: when the frame being drawn is shown

void present(const uint32_t* frame, void*) {
    if (hooks->frame) hooks->frame(frame, demo_section, mzx_position(), now_ms, hooks->ctx);
    frames++;
    now_ms = static_cast<uint32_t>(frames * 1000 / static_cast<uint64_t>(hooks->fps));
    sd_offline_run(now_ms);
}

int ask_exit(void*) {
    return hooks->exit ? hooks->exit(hooks->ctx) : 0;
}
} // namespace

int demo_tick() {
    return static_cast<int32_t>(now_ms) / 20;
}

// Start-up waiting for the song's first tick: a millisecond of virtual time, so that a stalled device
// still ends the wait.
void demo_idle() {
    sd_offline_run(++now_ms);
}

int offline_run(const offline_hooks* run_hooks) {
    if (!run_hooks || run_hooks->fps < 1 || run_hooks->fps > kOfflineMaxFps) {
        std::fputs("offline_run: fps must be 1..240\n", stderr);
        return 1;
    }
    // rand() decides the shore scene's flight table at start-up and the flicker of section 8, so a fixed
    // seed makes every run give the same frames. (The replayer's random table draws from it first; no
    // waveform reads that table.)
    std::srand(1);

    hooks = run_hooks;
    frames = 0;
    now_ms = 0;
    sd_offline_run(0);
    sd_offline_set_sink(run_hooks->audio, run_hooks->ctx);
    gfx_offline_set_hooks(present, ask_exit, nullptr);
    const int status = run_hooks->module ? demo_main(run_hooks->module, run_hooks->module_size)
                                         : demo_main(moddi, moddi_size);
    gfx_offline_set_hooks(nullptr, nullptr, nullptr);
    sd_offline_set_sink(nullptr, nullptr);
    hooks = nullptr;
    return status;
}
