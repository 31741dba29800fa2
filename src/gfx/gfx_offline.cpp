// gfx_offline.cpp: the display layer delivering frames to memory (main thread only).
//
// Same contract as the SDL layer (modes 1 and 2, 0 = success) but no window: frames go to the present
// hook and exit requests come from the exit hook.
#include "gfx.h"
#include "gfx_offline.h"

namespace {
void (*present_hook)(const uint32_t*, void*) = nullptr;
int (*exit_hook)(void*) = nullptr;
void* hook_ctx = nullptr;
} // namespace

void gfx_offline_set_hooks(void (*present)(const uint32_t* frame, void* ctx), int (*exit)(void* ctx),
                           void* ctx) {
    present_hook = present;
    exit_hook = exit;
    hook_ctx = ctx;
}

int gfx_init_size(int width, int height) {
    return (width > 0 && height > 0) ? 0 : 1;
}

int gfx_init(int mode) {
    if (mode == 1) return gfx_init_size(kScreenW, kScreenH);
    if (mode == 2) return gfx_init_size(kScreenW, 200);
    return 1;
}

int gfx_blit(const uint32_t* frame) {
    if (present_hook) present_hook(frame, hook_ctx);
    return 0;
}

int gfx_exitevent() {
    return exit_hook ? (exit_hook(hook_ctx) != 0) : 0;
}

void gfx_close() {}
