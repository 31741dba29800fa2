// Straightforward versions of the effects, written step by step from their definitions and kept slow on
// purpose: the tests compare the library against them on many inputs and the benchmarks time them as the
// baseline. Each keeps its own tables, built by its own init routine.
#pragma once
#include <cstdint>

namespace ref {

void venkula_init(int depth, int divisor);
void venkula(int time, uint32_t* dest, const uint32_t* src);

void init_maf();
void horiz_maf(const uint32_t* src, uint32_t* dst, int sx, int sy, int dx, int dy, int width, int height,
               int pitch, int n);
void vert_maf(const uint32_t* src, uint32_t* dst, int sx, int sy, int dx, int dy, int width, int height,
              int pitch, int n);

void cross_fade(const uint32_t* a, const uint32_t* b, uint32_t* dst, int count, int level);
void add_fade(const uint32_t* a, const uint32_t* b, uint32_t* dst, int count, int gain_a, int gain_b);

void pano_init(const uint32_t* back, const uint32_t* front);
void pano_effect(uint32_t* dest, uint32_t position);

void suumi_effect(uint32_t* dest, int width, int height, int t, double exponent, const uint32_t* pic1,
                  const uint32_t* pic2, const uint32_t* pic3);

void halftone_init(int width, int height);
void halftone(uint32_t* dest, const uint32_t* src, int gain);

void init_flare(const uint8_t* portrait);
void flarez(uint32_t* dest, int t);

} // namespace ref
