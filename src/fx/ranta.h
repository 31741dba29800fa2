// ranta.h: the state of the shore scene (ranta.cpp) for tests and tools; the demo itself needs only
// ranta_init and ranta_effect from fx.h.
#pragma once
#include <cstddef>
#include <cstdint>

#include "vec.h"

extern float korpa[10]; // flight radius of each ball, world units (25000..54999)
extern int nurpo[10];   // flight rhythm of each ball, demo ticks (100..449)
extern vec_world world;
extern vec_world cam;

// ranta_init with a scene of the caller's choice: builds the shore scene from `scene` (a 3D Studio file of
// `size` bytes) for `target`. A scene the reader refuses ends the program with "Scene failure\n" on
// standard error and exit status 1.
void ranta_init_scene(uint32_t* target, const uint8_t* scene, size_t size);
