// digest.h: the regression table: hashes of the frames at probe positions in every section and of the
// whole soundtrack, at 50 fps. `capture --digest` prints it as C++; tests/capture compares a fresh run
// with the table stored there, so any change to picture or sound is caught and updating the table is
// one deliberate step.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

struct digest_entry {
    int section;   // the section that drew the frame
    int position;  // probe: the first frame presented at this song position or later
    int frame;     // index of that frame at 50 fps
    uint64_t hash; // FNV-1a 64 of its 307200 bytes, each word stored little-endian
};

constexpr int kDigestFps = 50;
constexpr int kProbeCount = 24;
// Probe positions, away from section ends (a frame may be presented just after its section's end).
extern const int kProbePositions[kProbeCount];

struct digest_result {
    digest_entry probes[kProbeCount] = {};
    int found = 0;       // probes seen so far (in order)
    int64_t frames = 0;  // frames presented in the whole run
    int64_t samples = 0; // soundtrack length in samples (the frames' share, 882 per frame)
    uint64_t audio_hash = 0;
};

constexpr uint64_t kFnvOffset = 0xcbf29ce484222325ull;
uint64_t fnv1a(uint64_t hash, const uint8_t* bytes, size_t count);
uint64_t hash_frame(const uint32_t* frame); // 320x240 words, little-endian byte order
// Continues hash over samples as little-endian 16-bit values.
uint64_t hash_samples(uint64_t hash, const int16_t* samples, size_t count);

void digest_init(digest_result* d);
void digest_frame(digest_result* d, const uint32_t* frame, int section, int position);
// Sink for the soundtrack cutter (see soundtrack.h); ctx is the digest_result.
bool digest_audio(const int16_t* samples, size_t count, void* ctx);

void print_digest(FILE* out, const digest_result* d);

// Plays the whole demo at 50 fps and fills d (needs the offline demo library).
bool digest_demo(digest_result* d, std::string* err);
