// ranta.h: the shore scene of section 8 (ranta.cpp), drawn with the vector engine; for the sequencer, its
// tests and tools.
//
// USAGE (main thread): ranta_init(target) once, then ranta_effect(clock) per frame. ranta_init may be
// called again: it releases the scene it built before.
#pragma once
#include <cstddef>
#include <cstdint>

#include "vec.h"

constexpr int ranta_balls = 10;

// Builds the scene from the embedded 3D Studio file to draw into `target` (320x240 words): 0 on success,
// 1 when the file cannot be read (then ranta_effect draws nothing).
int ranta_init(uint32_t* target);
// The same with a scene file of the caller's choice (`size` bytes).
int ranta_init_scene(uint32_t* target, const uint8_t* scene, size_t size);
// Moves the camera, the balls and the light for `clock` (demo ticks) and draws the scene over the target.
void ranta_effect(int clock);

// A read-only look at what ranta_init built, for tests and tools.
struct ranta_view {
    const vec_world* world; // the file's objects, then nine copies of its last one (the balls)
    const vec_world* cam;   // camera 1 of the file, 320x240 at 32 bits, drawing into the target
    const float* korpa;     // flight radius of each ball, world units (25000..54999)
    const int* nurpo;       // flight rhythm of each ball, demo ticks (100..449)
};
ranta_view ranta_inspect();
