// Song generator: shared records of the three stages (synthesis, composition, module layout).
// Everything is deterministic: no clocks, no global random state, the same bytes on every run.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Sample numbers as the patterns use them (1-based, in module order).
enum SampleId : uint8_t {
    kKick = 1,
    kSnare,
    kHat,
    kBoom, // kick with a crash tail: the accent hit
    kBass,
    kPad,  // looped
    kLead, // looped
    kBell,
    kRiser,
    kSampleCount = kRiser
};

struct Sample {
    std::string name;
    std::vector<int8_t> data; // signed 8-bit, even length, first byte 0
    int volume = 64;          // default volume 0..64
    uint32_t loop_start = 0;  // bytes, even
    uint32_t loop_length = 0; // bytes, even; 0 = plays once
};

// One cell of a pattern as the tracker shows it; period 0 = no note, sample 0 = none.
struct Cell {
    uint8_t sample = 0;
    uint16_t period = 0;
    uint8_t command = 0;
    uint8_t param = 0;
};

constexpr int kRows = 64;
constexpr int kChannels = 4;

struct Pattern {
    Cell cells[kRows][kChannels];
};

struct Song {
    std::vector<Pattern> patterns;
    std::vector<uint8_t> orders;
};

// The nine instruments, index 0 = sample 1.
std::vector<Sample> make_samples();

// The patterns and the order table.
Song compose();

// The complete "M.K." module file.
std::vector<uint8_t> build_module(const std::vector<Sample>& samples, const Song& song);
