// gfx.h: the display layer. Presents 0x00RRGGBB frame buffers and reports exit requests.
//
// USAGE (main thread): gfx_init(1) (320x240; 0 = success, 1 = failure) -> gfx_blit / gfx_exitevent
// per frame -> gfx_close. Two implementations are linked alternatively: gfx_sdl.cpp (library `gfx_sdl`,
// an SDL 1.2 16-bit surface) and gfx_offline.cpp (library `gfx_offline`, frames delivered to memory).
#pragma once
#include "screen.h"

#include <cstdint>

int gfx_init(int mode);                   // 1: the screen (320x240), 2: 320x200
int gfx_init_size(int width, int height); // frames of width x height words
int gfx_blit(const uint32_t* frame);      // always 0
int gfx_exitevent();                      // 1: the demo should stop
void gfx_close();
