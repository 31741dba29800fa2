// soundtrack.h: cuts the mixer's output to the captured frames, sample-exact.
//
// Device time and the virtual clock start together: sample s plays at s / 44100 s and frame k is
// shown from k / fps s to (k + 1) / fps s, so the frames k0..k1 own the samples
// k0 * 44100 / fps .. (k1 + 1) * 44100 / fps (integer division, so rates that do not divide 44100 never
// drift). The offline driver runs up to one buffer ahead of the frames, so samples wait here until the
// frames that own them have been seen, and go to the sink in order.
//
// USAGE: st_init(&st, fps, sink, ctx); then, as the demo runs, st_audio() for every mixer buffer and
// st_frame() for every frame (captured or not), in the order they come; st_finish() at the end.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// Receives the soundtrack in order; false stops the writing (the error is the sink's to report).
using sample_sink = bool (*)(const int16_t* samples, size_t count, void* ctx);

struct soundtrack {
    int fps = 50;
    sample_sink sink = nullptr;
    void* ctx = nullptr;
    std::vector<int16_t> pending; // samples [base, received) not written or dropped yet
    int64_t base = 0;
    int64_t received = 0;
    int64_t start = -1; // first sample of the first captured frame; -1 before it
    int64_t until = 0;  // end of the samples owned by the frames captured so far
    int64_t written = 0;
    bool over = false; // a frame after the capture was seen: later samples are nobody's
    bool failed = false;
};

// The first sample owned by frame k.
int64_t frame_sample(int64_t frame, int fps);

void st_init(soundtrack* st, int fps, sample_sink sink, void* ctx);
bool st_audio(soundtrack* st, const int16_t* samples, size_t count);
// Frame k was shown; captured says whether it belongs to the capture. Captured frames must be
// consecutive (the capture is one run of frames).
bool st_frame(soundtrack* st, int64_t frame, bool captured);
// Writes what the captured frames still own; if the demo ended before the mixer produced it, pads with
// silence so the soundtrack lasts exactly as long as the frames. Returns the number of padded samples
// through *padded (may be null).
bool st_finish(soundtrack* st, int64_t* padded);
