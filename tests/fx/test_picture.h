// Deterministic pictures and frames for the effect tests and benchmarks.
#pragma once
#include <cstdint>
#include <random>
#include <vector>

// Grey value of the test portrait at (row, col): a mix of ramps and a product term, covering 0..255.
constexpr uint8_t test_grey(int row, int col) {
    return static_cast<uint8_t>((row * 5 + col * 3) ^ ((row * col) >> 6));
}

// A frame of random 0x00RRGGBB words, or full 32-bit words when `top` is set.
inline std::vector<uint32_t> random_frame(size_t words, uint32_t seed, bool top = false) {
    std::mt19937 rng(seed);
    std::vector<uint32_t> v(words);
    for (auto& w : v) w = top ? rng() : rng() & 0xFFFFFFu;
    return v;
}
