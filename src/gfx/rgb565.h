// rgb565.h: conversion of 0x00RRGGBB frame words to the display's 16-bit RGB565 pixels.
//
// Red keeps its top 5 bits (15..11), green its top 6 (10..5), blue its top 5 (4..0), truncated, no
// dithering; the top byte of the word is ignored. Header-only so that it can be tested without a display.
#pragma once
#include <cstdint>

inline uint16_t rgb565(uint32_t p) {
    return static_cast<uint16_t>(((p >> 8) & 0xF800) | ((p >> 5) & 0x07E0) | ((p >> 3) & 0x001F));
}

// Converts one row of n pixels, four per step.
inline void rgb565_row(const uint32_t* src, uint16_t* dst, int n) {
    // A precomputed bound: with `x + 4 <= n` GCC for 32-bit ARM wrongly warns that the tail loop
    // overflows (-Waggressive-loop-optimizations).
    const int quads = n & ~3;
    int x = 0;
    for (; x < quads; x += 4) {
        dst[x] = rgb565(src[x]);
        dst[x + 1] = rgb565(src[x + 1]);
        dst[x + 2] = rgb565(src[x + 2]);
        dst[x + 3] = rgb565(src[x + 3]);
    }
    for (; x < n; x++) dst[x] = rgb565(src[x]);
}

// Converts a width x height frame (rows of width words) into 16-bit rows that start every `pitch`
// bytes, so that a surface whose rows are padded is filled row by row without shearing.
inline void rgb565_frame(const uint32_t* src, int width, int height, uint8_t* dst, int pitch) {
    for (int y = 0; y < height; y++)
        rgb565_row(src + y * width, reinterpret_cast<uint16_t*>(dst + y * pitch), width);
}
