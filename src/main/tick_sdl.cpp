// tick_sdl.cpp: the demo's clock on the real machine: SDL's milliseconds in 20 ms ticks.
#include "demo.h"

#include <SDL.h>

int demo_tick() {
    return static_cast<int32_t>(SDL_GetTicks()) / 20;
}

void demo_idle() {
    SDL_Delay(1);
}
