// demo_local.h: the sequencer's own buffers and helpers, shared by its files (timeline, compositors, shore
// scene) and read by its tests and benchmarks; not part of its interface (demo.h).
#pragma once
#include "demo.h"
#include "fx.h"

#include <cstdint>

// Bounce of a selected caption band or thumbnail, t ticks after its trigger: three arcs of 48, 12 and 3
// pixels, 0 at t = 0, 24, 36 and 42.
int bounce_offset(int t);

// The reversible scene clock of section 3: time = offset + direction * (tick - origin). reverse()
// flips the direction at `tick` and re-anchors so that the time runs on without a jump.
struct reversing_clock {
    int direction = 1;
    int origin = 0;
    int offset = 0;
    int time(int tick) const { return offset + direction * (tick - origin); }
    void reverse(int tick) {
        offset = time(tick);
        origin = tick;
        direction = -direction;
    }
};

// Buffers shared by the compositors and the timeline; zero-filled by demo_prepare.
extern uint32_t screen_a[kScreenWords];
extern uint32_t screen_b[2 * kScreenWords]; // two frames stacked (the twin portrait of section 8)
extern uint32_t screen_c[kScreenWords];
extern uint32_t flash_frame[kScreenWords];
extern uint32_t thumb[kThumbW * kThumbH];
extern uint32_t pano_back[kPanoW * kScreenH];
extern uint32_t pano_front[kPanoW * kScreenH];
extern uint32_t zoom_texture[256 * 256];
void clear_demo_buffers();
