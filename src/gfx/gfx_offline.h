// gfx_offline.h: the display layer without a display, for playing the demo on a virtual clock.
//
// USAGE (main thread): gfx_offline_set_hooks(present, exit, ctx) before gfx_init; every gfx_blit then
// hands the frame to `present`, and gfx_exitevent returns what `exit` says (0 when it is null).
#pragma once
#include <cstdint>

void gfx_offline_set_hooks(void (*present)(const uint32_t* frame, void* ctx), int (*exit)(void* ctx),
                           void* ctx);
