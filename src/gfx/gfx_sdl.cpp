// gfx_sdl.cpp: the display layer over SDL 1.2 (main thread only).
//
// Opens a 16-bit video surface without a mouse cursor, presents 0x00RRGGBB frame buffers by converting
// them to RGB565 into the locked surface and flipping, and reports exit requests: a pending quit event
// (peeked, never removed, so it keeps ending the demo), Escape held, or the left mouse button held.
#include "gfx.h"
#include "rgb565.h"

#include <SDL.h>

namespace {
SDL_Surface* gfx_screen = nullptr;
int gfx_width = 0;
int gfx_height = 0;

int open_surface(int width, int height) {
    if (SDL_Init(SDL_INIT_VIDEO) < 0) return 1;
    gfx_width = width;
    gfx_height = height;
    gfx_screen = SDL_SetVideoMode(width, height, 16, SDL_HWSURFACE);
    if (!gfx_screen) return 1;
    SDL_ShowCursor(SDL_DISABLE);
    return 0;
}
} // namespace

int gfx_init_size(int width, int height) {
    return open_surface(width, height);
}

int gfx_init(int mode) {
    if (mode == 1) return gfx_init_size(kScreenW, kScreenH);
    if (mode == 2) return gfx_init_size(kScreenW, 200);
    return 1;
}

int gfx_blit(const uint32_t* frame) {
    if (!gfx_screen) return 0; // not open: nothing to present on
    SDL_LockSurface(gfx_screen);
    // Rows are addressed through the surface's pitch, so a padded surface is not sheared; should the
    // driver give a smaller or other-depth surface, only what fits is drawn.
    if (gfx_screen->pixels && gfx_screen->format->BytesPerPixel == 2 && gfx_screen->w >= gfx_width &&
        gfx_screen->h >= gfx_height)
        rgb565_frame(frame, gfx_width, gfx_height, static_cast<uint8_t*>(gfx_screen->pixels),
                     gfx_screen->pitch);
    SDL_UnlockSurface(gfx_screen);
    SDL_Flip(gfx_screen);
    return 0;
}

int gfx_exitevent() {
    SDL_PumpEvents();
    SDL_PumpEvents();
    if (SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_QUITMASK) != 0) return 1;
    int keys = 0;
    const Uint8* state = SDL_GetKeyState(&keys);
    if (state && SDLK_ESCAPE < keys && state[SDLK_ESCAPE]) return 1;
    return (SDL_GetMouseState(nullptr, nullptr) & SDL_BUTTON(SDL_BUTTON_LEFT)) ? 1 : 0;
}

void gfx_close() {
    SDL_Quit();
    gfx_screen = nullptr;
}
