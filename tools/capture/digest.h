// digest.h: the regression table: a hash of every frame of the demo at 50 fps and of the samples each frame
// owns (882 at 44100 Hz, cut as soundtrack.h cuts them), folded per section. `capture --digest` prints it as
// C++; tests/capture compares a fresh run with the table stored there and names every section that changed
// with its first changed frame, so updating the table is one deliberate step.
//
// The hash reads pixels (32-bit words) and samples (16-bit) as values, not as bytes in memory, so it is the
// same on every CPU. Values are packed into 64-bit words that go round-robin to eight lanes; a lane step
// h = (h ^ v) * K, h ^= h >> 32 is a bijection of the lane for a given v, so a change confined to one word
// always changes its lane, and the final mix, a bijection in each lane, keeps the change. Eight independent
// lanes keep the multiplier busy: the whole demo hashes in under a fifth of a second.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

constexpr int kDigestFps = 50;
constexpr int kDigestSections = 11;

uint64_t hash_words(const uint32_t* words, size_t count);
uint64_t hash_samples(const int16_t* samples, size_t count);
uint64_t hash_frame(const uint32_t* frame); // 320x240 words

struct digest_frame {
    int section;      // the section that drew it
    int position;     // song position when it was presented
    uint64_t picture; // hash_frame of the frame
    uint64_t sound;   // hash_samples of the samples it owns
};

struct digest_section {
    int section;
    int first_frame;
    int frames;
    int position;     // song position of its first frame
    uint64_t picture; // fold of its frames' picture hashes, in order
    uint64_t sound;   // likewise for the sound hashes
};

struct digest_result {
    std::vector<digest_frame> frames;
    std::vector<uint64_t> sound;  // per frame, filled as the samples arrive
    std::vector<int16_t> pending; // samples of the frame not yet complete
    int64_t samples = 0;          // soundtrack length in samples
    std::vector<digest_section> sections;
};

// The sections of a list of frames (consecutive runs of one section number) with their folds.
std::vector<digest_section> digest_sections(const std::vector<digest_frame>& frames);

void digest_init(digest_result* d);
void digest_frame_shown(digest_result* d, const uint32_t* frame, int section, int position);
// Sink for the soundtrack cutter (see soundtrack.h); ctx is the digest_result. Samples may come in pieces
// of any size; each frame's share is hashed as one.
bool digest_audio(const int16_t* samples, size_t count, void* ctx);
// After the run: gives every frame its sound hash and makes the sections. False if the soundtrack does not
// end on a frame boundary.
bool digest_finish(digest_result* d);

void print_digest(FILE* out, const digest_result* d);

// Plays the whole demo at 50 fps and fills d (needs the offline demo library).
bool digest_demo(digest_result* d, std::string* err);
