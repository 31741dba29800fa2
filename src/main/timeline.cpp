// timeline.cpp: start-up, the eleven sections of the demo and shut-down (main thread only).
//
// Each section is a frame loop: render into the static buffers, present one with gfx_blit, ask
// gfx_exitevent whether to stop, and leave when the song position (order * 100 + row, compared
// unsigned) reaches the section's end value. Animation runs on section clocks in demo ticks (20 ms), so
// it does not depend on the frame rate; beat triggers test the song position's row (position mod 100).
#include "demo.h"

#include "assets.h"
#include "fx.h"
#include "gfx.h"
#include "ranta.h"
#include "sound.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int demo_section = 0;
void (*demo_on_trigger)(int section, int position, int clock) = nullptr;

namespace {
constexpr uint32_t kFlashColour = 0x00FFDDCC;
constexpr size_t kFrameBytes = kScreenWords * sizeof(uint32_t);
constexpr int kSongStartTicks = 150; // 3 s for the audio device to play the song's first tick

bool running = true;

unsigned position() {
    return static_cast<unsigned>(mzx_position());
}
int row_of(int p) {
    return p % 100;
}
int sq(int v) {
    return v * v;
}
int ramp(int e) {
    return e < 255 ? e : 255;
} // the 255-tick cross-fade of a section start

void fired(int section, int p, int e) {
    if (demo_on_trigger) demo_on_trigger(section, p, e);
}

// The rows that carry the drum accents in the later orders of the song.
bool accent_row(int row) {
    return row == 0 || row == 3 || row == 24 || row == 27 || row == 42 || row == 59 || row == 62;
}
bool half_row(int row) {
    return row == 8 || row == 40;
}

// The generic section: frames until the song reaches `end` or an exit was requested. `frame` renders
// one frame and returns the buffer to present.
template <class Frame> void play(unsigned end, Frame frame) {
    for (;;) {
        if (position() >= end) return;
        if (!running) return;
        gfx_blit(frame());
        if (gfx_exitevent()) running = false;
    }
}

// A running beat flash on x with end value `end` (0 = idle): a gain of 20 rising to 120 and back.
void beat_flash(uint32_t* x, int& end, int e) {
    if (end == 0) return;
    if (end < e) {
        end = 0;
        return;
    }
    add_fade(x, flash_frame, x, kScreenWords, 255, 120 - sq(e + 10 - end));
}

// Caption bands 2, 3 and 4 as a block at the left edge.
void plain_bands(uint32_t* frame) {
    for (int j = 0; j < 3; j++) caption_blend(6, 84 + 24 * j, 2 + j, 200, frame);
}

void thumb_column(uint32_t* frame) {
    for (int s = 0; s < 5; s++) paste_thumb(frame, 245, 48 * s);
}

// The thumbnail column of sections 9 and 10, the selected slot jumping left after a beat.
void bouncing_column(uint32_t* frame, int& bounce_end, int slot, int e) {
    if (bounce_end != 0 && bounce_end < e) bounce_end = 0;
    if (bounce_end == 0) {
        thumb_column(frame);
        return;
    }
    const int t = e + 42 - bounce_end;
    for (int s = 0; s < 5; s++) paste_thumb(frame, s == slot ? 245 - bounce_offset(t) : 245, 48 * s);
}

void clear(uint32_t* frame) {
    std::memset(frame, 0, kFrameBytes);
}

void timeline() {
    int e = 0; // the current section's clock; sections 9 and 10 read the previous frame's value

    // 1: the panorama with its title captions, flashes on rows 8 and 40.
    demo_section = 1;
    const int c1 = demo_tick();
    int flash1 = 0;
    play(100, [&] {
        e = demo_tick() - c1;
        if (flash1 == 0) {
            const int p = mzx_position();
            if (p == 8 || p == 40) {
                flash1 = e + 20;
                fired(1, p, e);
            }
        }
        pano_scene(screen_a, e);
        beat_flash(screen_a, flash1, e);
        return screen_a;
    });

    // 2: cross-fade from the panorama to the halftone scene, with an opening flash.
    halftone_init(kScreenW, kScreenH);
    venkula_init(1200, 280);
    demo_section = 2;
    const int c2 = demo_tick();
    int flash2 = 20;
    play(200, [&] {
        e = demo_tick() - c2;
        pano_scene(screen_a, demo_tick() - c1);
        halftone_scene(screen_b, e);
        cross_fade(screen_a, screen_b, screen_b, kScreenWords, ramp(e));
        beat_flash(screen_b, flash2, e);
        return screen_b;
    });

    // 3: the halftone scene, its time reversed on rows 0 and 32, the titles popping up.
    demo_section = 3;
    reversing_clock scene_time;
    scene_time.origin = c2;
    int pop_end = 0;
    play(400, [&] {
        e = demo_tick() - c2;
        if (pop_end == 0) {
            const int p = mzx_position();
            if (row_of(p) == 0 || row_of(p) == 32) {
                scene_time.reverse(demo_tick());
                pop_end = e + 30;
                fired(3, p, e);
            }
        }
        halftone_scene(screen_a, scene_time.time(demo_tick()));
        if (pop_end != 0) {
            if (pop_end < e) {
                pop_end = 0;
            } else {
                const int level = 255 - sq(e + 15 - pop_end);
                caption_blend(125, 114, 0, level, screen_a);
                caption_blend(65, 138, 1, level, screen_a);
            }
        }
        return screen_a;
    });

    // 4: lens flares and the caption block come up over the halftone scene.
    demo_section = 4;
    const int c4 = demo_tick();
    play(430, [&] {
        e = demo_tick() - c4;
        halftone_scene(screen_a, demo_tick() - c2);
        clear(screen_b);
        flarez(screen_b, e);
        plain_bands(screen_b);
        const int fade_out = std::max(0, 256 - 3 * e);
        const int fade_in = e < 85 ? 3 * e : 255;
        add_fade(screen_a, screen_b, screen_b, kScreenWords, fade_out, fade_in);
        return screen_b;
    });

    // 5: lens flares; on rows 0 and 32 the next caption band bounces.
    demo_section = 5;
    int selected_band = 2;
    int band_bounce = 0;
    play(700, [&] {
        e = demo_tick() - c4;
        clear(screen_a);
        flarez(screen_a, e);
        if (band_bounce == 0) {
            const int p = mzx_position();
            if (row_of(p) == 0 || row_of(p) == 32) {
                selected_band = (selected_band + 1) % 3;
                band_bounce = e + 42;
                fired(5, p, e);
            }
        }
        if (band_bounce != 0 && band_bounce < e) band_bounce = 0;
        if (band_bounce == 0) {
            plain_bands(screen_a);
        } else {
            const int t = e + 42 - band_bounce;
            for (int j = 0; j < 3; j++) {
                const bool sel = j == selected_band;
                caption_blend(sel ? 6 + bounce_offset(t) : 6, 84 + 24 * j, 2 + j, sel ? 255 : 200, screen_a);
            }
        }
        return screen_a;
    });

    // 6: cross-fade from the flares to the zoomer.
    make_zoom_texture();
    demo_section = 6;
    const int c6 = demo_tick();
    play(800, [&] {
        e = demo_tick() - c6;
        clear(screen_a);
        flarez(screen_a, demo_tick() - c4);
        plain_bands(screen_a);
        zoom_scene(screen_b, e);
        cross_fade(screen_a, screen_b, screen_b, kScreenWords, ramp(e));
        return screen_b;
    });

    // 7: the zoomer with flashes on the beat rows, each song row firing at most once.
    demo_section = 7;
    int last_position = -1;
    int flash7 = 0;
    play(1100, [&] {
        e = demo_tick() - c6;
        const int now = mzx_position();
        if (now != last_position) {
            last_position = now;
            const int p = mzx_position();
            if ((p >= 900 && accent_row(row_of(p))) || (p < 900 && half_row(row_of(p)))) {
                flash7 = e + 20;
                fired(7, p, e);
            }
        }
        zoom_scene(screen_a, e);
        beat_flash(screen_a, flash7, e);
        return screen_a;
    });

    // 8: the halftone portrait behind the shore scene, a thumbnail strip and a caption ticker; the
    // zoomer flickers away at the start, a flash at 1300, the twister fades in from 1500.
    make_portrait_screen();
    demo_section = 8;
    const int c8 = demo_tick();
    int highlight = 4;
    int wobble_end = 0;
    int flash1300 = 0;
    int fade_in_tick = 0;
    play(1600, [&] {
        e = demo_tick() - c8;
        if (wobble_end == 0) {
            const int p = mzx_position();
            if (p >= 1300 && (row_of(p) == 0 || row_of(p) == 32)) {
                highlight = (highlight + 1) % 6;
                wobble_end = e + 20;
                fired(8, p, e);
            }
        }
        if (flash1300 == 0 && mzx_position() == 1300) {
            flash1300 = e + 20;
            fired(8, 1300, e);
        }
        clear(screen_a);
        const uint32_t* source = screen_b;
        if (wobble_end != 0) {
            // A 240-row window into the twin portrait, swinging while the wobble lasts.
            const int top = static_cast<int>((wobble_end - e) * 60 * std::sin(e * (1.0 / 13)) + 48000) % 240;
            source = screen_b + top * kScreenW;
        }
        halftone(screen_a, source, static_cast<int>(std::sin(e * 0.1) * 40 + 220));
        ranta_effect(mzx_position() < 1300 ? e : 4 * e);
        if (wobble_end != 0) {
            if (wobble_end < e) {
                wobble_end = 0;
            } else {
                horiz_maf(screen_a, screen_c, 0, 0, 0, 0, kScreenW, kScreenH, kScreenW, kScreenH,
                          21 - sq(e + 10 - wobble_end) / 5);
                std::memcpy(screen_a, screen_c, kFrameBytes);
            }
        }
        make_thumb(screen_a);
        for (int i = 0; i < 5; i++) paste_thumb(screen_a, 78 * i - e % 78 - 1, -10);
        for (int i = 0; i < 5; i++)
            caption_blend(78 * i + e % 78 - 77, 210, 0, (i == highlight && wobble_end != 0) ? 255 : 155,
                          screen_a);
        beat_flash(screen_a, flash1300, e);
        if (mzx_position() < 1200) {
            zoom_scene(screen_c, 4 * (demo_tick() - c6));
            const int level = std::rand() % 300 < std::max(0, 300 - e) ? 16 : 240;
            cross_fade(screen_c, screen_a, screen_a, kScreenWords, level);
        }
        if (mzx_position() > 1500) {
            if (fade_in_tick == 0) fade_in_tick = demo_tick();
            twist_scene(screen_c, e);
            thumb_column(screen_c);
            cross_fade(screen_a, screen_c, screen_a, kScreenWords, ramp(demo_tick() - fade_in_tick));
        }
        return screen_a;
    });

    // 9: the twister with a thumbnail column; on the beat rows a thumbnail jumps left.
    demo_section = 9;
    int slot = 1;
    int slot_bounce = 0;
    play(1800, [&] {
        if (slot_bounce == 0) {
            const int p = mzx_position();
            if ((p < 1701 && accent_row(row_of(p))) || (p >= 1701 && half_row(row_of(p)))) {
                slot = (slot + 2) % 5;
                slot_bounce = e + 42;
                fired(9, p, e);
            }
        }
        e = demo_tick() - c8;
        twist_scene(screen_a, e);
        bouncing_column(screen_a, slot_bounce, slot, e);
        return screen_a;
    });

    // 10: as 9, fading to black.
    clear(screen_b);
    demo_section = 10;
    const int c10 = demo_tick();
    play(1900, [&] {
        if (slot_bounce == 0) {
            const int p = mzx_position();
            if (half_row(row_of(p))) {
                slot = (slot + 2) % 5;
                slot_bounce = e + 42;
                fired(10, p, e);
            }
        }
        e = demo_tick() - c10;
        twist_scene(screen_a, e);
        bouncing_column(screen_a, slot_bounce, slot, e);
        cross_fade(screen_a, screen_b, screen_a, kScreenWords, ramp(e));
        return screen_a;
    });

    // 11: the closing caption, still, then blurring away into black.
    demo_section = 11;
    const int c11 = demo_tick();
    play(2000, [&] {
        clear(screen_a);
        caption_blend(120, 110, 5, 255, screen_a);
        const int k = demo_tick() - c11 - 100;
        if (k <= 110)
            vert_maf(screen_a, screen_b, 0, 0, 0, 0, kScreenW, kScreenH, kScreenW, kScreenH, k < 1 ? 1 : k);
        else
            clear(screen_b);
        return screen_b;
    });
}

// Waits until the audio thread has played the song's first tick: before it the replayer stands at order
// -1, row 63 (position -37, huge unsigned). False when a device that never runs its callback has kept
// it there for kSongStartTicks.
bool song_started() {
    const int since = demo_tick();
    for (;;) {
        if (position() <= 100) return true;
        if (demo_tick() - since >= kSongStartTicks) return false;
        demo_idle();
    }
}

void music_failure() {
    std::fwrite("MZX failure\n", 1, 12, stderr);
}

} // namespace

int demo_main(const uint8_t* song, size_t song_size) {
    demo_section = 0;
    clear_demo_buffers();
    if (mzx_init() == 0) {
        music_failure();
        return 1;
    }
    if (mzx_get(song, song_size) == 0) {
        music_failure();
        mzx_close();
        return 1;
    }
    if (gfx_init(1) != 0) {
        std::fwrite("GFX failure\n", 1, 12, stderr);
        return 1;
    }
    init_maf();
    init_flare();
    make_pano_tables();
    pano_init(pano_back, pano_front);
    halftone_init(kScreenW, kScreenH);
    venkula_init(1200, 280);
    for (uint32_t& p : flash_frame) p = kFlashColour;
    if (ranta_init(screen_a) != 0) {
        std::fwrite("Scene failure\n", 1, 14, stderr);
        mzx_close();
        gfx_close();
        return 1;
    }
    mzx_start(52);
    if (!song_started()) {
        music_failure();
        mzx_close();
        gfx_close();
        return 1;
    }
    running = true;
    timeline();
    mzx_close();
    gfx_close();
    return 0;
}
