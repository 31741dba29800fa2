// offline.h: plays the very same demo without real time, for tests and the capture tool.
//
// The sequencer, effects, engine and music run unchanged; only the platform seam differs: demo_tick()
// reads a virtual clock, gfx_blit() delivers the frame to a callback and advances the virtual clock by one
// frame, gfx_exitevent() asks a callback, and the audio device is the offline driver, which calls
// mix_newhand() itself in step with the virtual clock. Link the library `demo_offline` (instead of the
// SDL platform) to use it. Deterministic: the same hooks give the same frames and samples on every run.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int kOfflineMaxFps = 240;

struct offline_hooks {
    int fps; // frames per second of the virtual clock, 1..kOfflineMaxFps: frame k is drawn at k * 1000 / fps
             // ms
    // Every presented frame (320x240 0x00RRGGBB words), with the section (1..11) that drew it, the song
    // position when it was presented and the virtual time in milliseconds. May be null.
    void (*frame)(const uint32_t* frame, int section, int position, uint32_t ms, void* ctx);
    // Every buffer of 16-bit mono 44100 Hz samples that the mixer produced, in order. May be null.
    void (*audio)(const int16_t* samples, int count, void* ctx);
    // Asked on every exit test; non-zero ends the demo as Escape would. May be null (never).
    int (*exit)(void* ctx);
    void* ctx;
    // The song to play instead of the embedded one (module_size bytes). May be null (the embedded song).
    const uint8_t* module = nullptr;
    size_t module_size = 0;
};

// Runs the whole demo from start-up to shut-down; returns its exit status.
int offline_run(const offline_hooks* hooks);
