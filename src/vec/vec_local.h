// vec_local.h: state and helpers shared by the vector engine's own files (not part of the public interface).
//
// The engine-wide settings live in one record owned by vec_obj.cpp; the render pipeline reads the light
// source, shading range, mirror flag and sort type from it. Main thread only.
#pragma once
#include <cstdint>

struct vec_settings {
    int initcount;   // vec_init calls minus vec_close calls
    float lsrc[3];   // light-source position, world space
    float shade_min; // shade values, intensity * 256
    float shade_max;
    float shade_range;
    int view_w, view_h; // view size in pixels
    int aspect;         // vertical projection scale, 256 = square pixels
    int sorttype;
    int mirror; // 1: the image is mirrored in z, back-face test and winding flip
};

extern vec_settings vec_state;

// Culled-object marker in vec_object::depth.
constexpr float kVecCulled = 2147483648.0f;
// Camera-space z of the near plane (the distance in front of the camera is -z).
constexpr float kVecNearZ = -105.0f;

// Float to int, truncating toward zero like a plain conversion, but defined for every input: values
// beyond the int range saturate and NaN becomes 0. Extreme values only arise from degenerate geometry.
inline int32_t vec_trunc(float v) {
    if (!(v == v)) return 0;
    if (v >= 2147483648.0f) return INT32_MAX;
    if (v <= -2147483648.0f) return -INT32_MAX;
    return static_cast<int32_t>(v);
}

// Frees the render pipeline's per-node scratch (called from vec_close_sys).
void vec_release_render_scratch();

// Filler internals, for tests: row `row` of the left (side 0) or right (side 1) edge table (x in 24.8
// fixed point, then the interpolants in the order vec_fill_words gives), and the interpolated vec_pvert
// word indices of the current fill type (returns their count, x first).
const int32_t* vec_edge_row(int side, int row);
int vec_fill_words(int* words);
