// timeline.cpp: start-up, the eleven sections of the demo and shut-down (main thread only).
//
// Each section is a frame loop: render into the static buffers, present one with gfx_blit, ask
// gfx_exitevent whether to stop, and leave when the song position (order * 100 + row, compared
// unsigned) reaches the section's end value. The position is read once per frame, for that test, and the
// frame's beat triggers test the same value's row (position mod 100). Animation runs on section clocks in
// demo ticks (20 ms), so it does not depend on the frame rate.
#include "demo.h"
#include "demo_local.h"

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
constexpr int kFlashTicks = 20;      // a beat flash, and the wobble of section 8
constexpr int kBounceTicks = 42;     // the three arcs of bounce_offset

bool running = true;

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
bool bar_row(int row) {
    return row == 0 || row == 32;
}

// The generic section: frames until the song reaches `end` or an exit was requested. `frame(p)` renders
// the frame for song position p and returns the buffer to present.
template <class Frame> void play(unsigned end, Frame frame) {
    for (;;) {
        const int p = mzx_position();
        if (static_cast<unsigned>(p) >= end || !running) return;
        gfx_blit(frame(p));
        if (gfx_exitevent()) running = false;
    }
}

// Section n is the one being played from now on; returns the start tick of its clock.
int begin(int n) {
    demo_section = n;
    return demo_tick();
}

void clear(uint32_t* frame) {
    clear_words(frame, kScreenWords);
}

// A running beat flash on x with end value `end` (0 = idle): a gain of 20 rising to 120 and back.
void beat_flash(uint32_t* x, int& end, int e) {
    if (end == 0) return;
    if (end < e) {
        end = 0;
        return;
    }
    // add_fade(x, flash_frame, x, kScreenWords, 255, gain): every word of the flash frame is one colour.
    add_colour(x, kScreenWords, flash_frame[0], 120 - sq(e + 10 - end));
}

// After a beat one of a few items (a caption band, a thumbnail) jumps aside and settles: bounce_offset
// over kBounceTicks.
struct bounce {
    int selected;
    int end = 0; // the clock at which the running bounce ends; 0 while none runs

    bool idle() const { return end == 0; }
    void start(int next, int e) {
        selected = next;
        end = e + kBounceTicks;
    }
    // Ticks since the running bounce began, at clock e; -1 when none runs (one that is over ends here).
    int age(int e) {
        if (end != 0 && end < e) end = 0;
        return end == 0 ? -1 : e + kBounceTicks - end;
    }
    // How far item i stands aside at that age.
    int jump(int i, int age) const { return age >= 0 && i == selected ? bounce_offset(age) : 0; }
};

// Caption bands 2, 3 and 4 as a block at the left edge; the band bouncing in `bands` (if any) jumps right
// at full level.
void band_block(uint32_t* frame, bounce* bands = nullptr, int e = 0) {
    const int age = bands ? bands->age(e) : -1;
    for (int j = 0; j < 3; j++) {
        const bool lit = age >= 0 && j == bands->selected;
        caption_blend(6 + (lit ? bands->jump(j, age) : 0), 84 + 24 * j, 2 + j, lit ? 255 : 200, frame);
    }
}

// The thumbnail column at the right edge; the slot bouncing in `slots` (if any) jumps left.
void thumb_column(uint32_t* frame, bounce* slots = nullptr, int e = 0) {
    const int age = slots ? slots->age(e) : -1;
    for (int s = 0; s < 5; s++) paste_thumb(frame, 245 - (slots ? slots->jump(s, age) : 0), 48 * s);
}

// What the sections hand on: the start ticks of the section clocks, the clock E of the frame just drawn
// (sections 9 and 10 test their beat before reading their clock), and the thumbnail that bounces in
// sections 9 and 10.
struct timeline {
    int e = 0;
    int c1 = 0, c2 = 0, c4 = 0, c6 = 0, c8 = 0;
    bounce slots{1};
};

// 1: the panorama with its title captions, flashes on positions 8 and 40.
void section_1(timeline& tl) {
    tl.c1 = begin(1);
    int flash = 0;
    play(100, [&](int p) {
        tl.e = demo_tick() - tl.c1;
        if (flash == 0 && (p == 8 || p == 40)) {
            flash = tl.e + kFlashTicks;
            fired(1, p, tl.e);
        }
        pano_scene(screen_a, tl.e);
        beat_flash(screen_a, flash, tl.e);
        return screen_a;
    });
}

// 2: cross-fade from the panorama to the halftone scene, with an opening flash.
void section_2(timeline& tl) {
    halftone_init(kScreenW, kScreenH);
    venkula_init(1200, 280);
    tl.c2 = begin(2);
    int flash = kFlashTicks;
    play(200, [&](int) {
        tl.e = demo_tick() - tl.c2;
        if (ramp(tl.e) < 255) // once the fade is complete the panorama is not seen
            pano_halftone_fade(screen_a, screen_b, demo_tick() - tl.c1, tl.e, ramp(tl.e));
        else
            halftone_scene(screen_b, tl.e);
        beat_flash(screen_b, flash, tl.e);
        return screen_b;
    });
}

// 3: the halftone scene, its time turning round on rows 0 and 32, the titles popping up.
void section_3(timeline& tl) {
    begin(3);
    reversing_clock scene_time;
    scene_time.origin = tl.c2;
    int pop_end = 0;
    play(400, [&](int p) {
        tl.e = demo_tick() - tl.c2;
        if (pop_end == 0 && bar_row(row_of(p))) {
            scene_time.reverse(demo_tick());
            pop_end = tl.e + 30;
            fired(3, p, tl.e);
        }
        halftone_scene(screen_a, scene_time.time(demo_tick()));
        if (pop_end != 0 && pop_end < tl.e) pop_end = 0;
        if (pop_end != 0) {
            const int level = 255 - sq(tl.e + 15 - pop_end);
            caption_blend(125, 114, 0, level, screen_a);
            caption_blend(65, 138, 1, level, screen_a);
        }
        return screen_a;
    });
}

// 4: lens flares and the caption block come up over the halftone scene.
void section_4(timeline& tl) {
    tl.c4 = begin(4);
    play(430, [&](int) {
        tl.e = demo_tick() - tl.c4;
        clear(screen_b);
        flarez(screen_b, tl.e);
        band_block(screen_b);
        const int fade_out = std::max(0, 256 - 3 * tl.e);
        const int fade_in = tl.e < 85 ? 3 * tl.e : 255;
        if (fade_out > 0) { // after that the flares are at full level and the halftone scene is gone
            halftone_scene(screen_a, demo_tick() - tl.c2);
            add_fade(screen_a, screen_b, screen_b, kScreenWords, fade_out, fade_in);
        }
        return screen_b;
    });
}

// 5: lens flares; on rows 0 and 32 the next caption band bounces.
void section_5(timeline& tl) {
    begin(5);
    bounce bands{2};
    play(700, [&](int p) {
        tl.e = demo_tick() - tl.c4;
        clear(screen_a);
        flarez(screen_a, tl.e);
        if (bands.idle() && bar_row(row_of(p))) {
            bands.start((bands.selected + 1) % 3, tl.e);
            fired(5, p, tl.e);
        }
        band_block(screen_a, &bands, tl.e);
        return screen_a;
    });
}

// 6: cross-fade from the flares to the zoomer.
void section_6(timeline& tl) {
    make_zoom_texture();
    tl.c6 = begin(6);
    play(800, [&](int) {
        tl.e = demo_tick() - tl.c6;
        if (ramp(tl.e) == 255) { // once the fade is complete the flares are not seen
            zoom_scene(screen_b, tl.e);
            return screen_b;
        }
        clear(screen_a);
        flarez(screen_a, demo_tick() - tl.c4);
        band_block(screen_a);
        // The cross-fade into the flares' buffer: the same frame as into screen_b.
        zoom_cross_fade(screen_b, screen_a, tl.e, ramp(tl.e));
        return screen_a;
    });
}

// 7: the zoomer with flashes on the beat rows, each song row firing at most once.
void section_7(timeline& tl) {
    begin(7);
    int last_position = -1;
    int flash = 0;
    play(1100, [&](int p) {
        tl.e = demo_tick() - tl.c6;
        if (p != last_position) {
            last_position = p;
            if ((p >= 900 && accent_row(row_of(p))) || (p < 900 && half_row(row_of(p)))) {
                flash = tl.e + kFlashTicks;
                fired(7, p, tl.e);
            }
        }
        zoom_scene(screen_a, tl.e);
        beat_flash(screen_a, flash, tl.e);
        return screen_a;
    });
}

// Section 8's halftone source: the twin portrait in screen_b, or while a wobble runs a 240-row window
// into it that swings with the clock.
const uint32_t* portrait_window(int wobble_end, int e) {
    if (wobble_end == 0) return screen_b;
    const int top = static_cast<int>((wobble_end - e) * 60 * std::sin(e * (1.0 / 13)) + 48000) % kScreenH;
    return screen_b + top * kScreenW;
}

// 8: the halftone portrait behind the shore scene, a thumbnail strip and a caption ticker; on the bars
// from 1300 the picture wobbles and a ticker copy lights up; the zoomer flickers away at the start, a
// flash at 1300, the twister fades in from 1500.
void section_8(timeline& tl) {
    make_portrait_screen();
    tl.c8 = begin(8);
    int highlight = 4; // the ticker copy lit by a wobble; 5 lights none
    int wobble_end = 0;
    int flash1300 = 0;
    int fade_in_tick = 0;
    play(1600, [&](int p) {
        const int e = tl.e = demo_tick() - tl.c8;
        if (wobble_end == 0 && p >= 1300 && bar_row(row_of(p))) {
            highlight = (highlight + 1) % 6;
            wobble_end = e + kFlashTicks;
            fired(8, p, e);
        }
        if (flash1300 == 0 && p == 1300) {
            flash1300 = e + kFlashTicks;
            fired(8, 1300, e);
        }
        if (fade_in_tick != 0 && ramp(demo_tick() - fade_in_tick) == 255) {
            // The twister has faded in completely: nothing of the frame below it is seen.
            if (wobble_end != 0 && wobble_end < e) wobble_end = 0;
            twist_scene(screen_c, e);
            thumb_column(screen_c);
            return screen_c;
        }
        halftone_fill(screen_a, portrait_window(wobble_end, e),
                      static_cast<int>(std::sin(e * 0.1) * 40 + 220));
        ranta_effect(p < 1300 ? e : 4 * e);
        if (wobble_end != 0 && wobble_end < e) wobble_end = 0;
        if (wobble_end != 0) {
            horiz_maf(screen_a, screen_c, 0, 0, 0, 0, kScreenW, kScreenH, kScreenW, kScreenH,
                      21 - sq(e + 10 - wobble_end) / 5);
            std::memcpy(screen_a, screen_c, kFrameBytes);
        }
        make_thumb(screen_a);
        for (int i = 0; i < 5; i++) paste_thumb(screen_a, 78 * i - e % 78 - 1, -10);
        for (int i = 0; i < 5; i++)
            caption_blend(78 * i + e % 78 - 77, 210, 0, (i == highlight && wobble_end != 0) ? 255 : 155,
                          screen_a);
        beat_flash(screen_a, flash1300, e);
        if (p < 1200) { // each frame of the zoomer shows with probability (300 - E) / 300
            zoom_scene(screen_c, 4 * (demo_tick() - tl.c6));
            const int level = std::rand() % 300 < std::max(0, 300 - e) ? 16 : 240;
            cross_fade(screen_c, screen_a, screen_a, kScreenWords, level);
        }
        if (p > 1500) {
            if (fade_in_tick == 0) fade_in_tick = demo_tick();
            twist_scene(screen_c, e);
            thumb_column(screen_c);
            cross_fade(screen_a, screen_c, screen_a, kScreenWords, ramp(demo_tick() - fade_in_tick));
        }
        return screen_a;
    });
}

// 9: the twister with a thumbnail column; on the beat rows a thumbnail jumps left.
void section_9(timeline& tl) {
    begin(9);
    play(1800, [&](int p) {
        if (tl.slots.idle() && ((p < 1701 && accent_row(row_of(p))) || (p >= 1701 && half_row(row_of(p))))) {
            tl.slots.start((tl.slots.selected + 2) % 5, tl.e);
            fired(9, p, tl.e);
        }
        tl.e = demo_tick() - tl.c8;
        twist_scene(screen_a, tl.e);
        thumb_column(screen_a, &tl.slots, tl.e);
        return screen_a;
    });
}

// 10: as 9, fading to black.
void section_10(timeline& tl) {
    clear(screen_b);
    const int c10 = begin(10);
    play(1900, [&](int p) {
        if (tl.slots.idle() && half_row(row_of(p))) {
            tl.slots.start((tl.slots.selected + 2) % 5, tl.e);
            fired(10, p, tl.e);
        }
        tl.e = demo_tick() - c10;
        if (ramp(tl.e) == 255) { // faded to black: only the bounce's clock goes on
            tl.slots.age(tl.e);
            clear(screen_a);
            return screen_a;
        }
        twist_scene(screen_a, tl.e);
        thumb_column(screen_a, &tl.slots, tl.e);
        // The cross-fade to black (screen_b) is screen_a weighed alone.
        add_fade(screen_a, screen_b, screen_a, kScreenWords, 255 - ramp(tl.e), 0);
        return screen_a;
    });
}

// 11: the closing caption, still, then blurring away into black.
void section_11() {
    const int c11 = begin(11);
    play(2000, [&](int) {
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

void play_sections() {
    timeline tl;
    section_1(tl);
    section_2(tl);
    section_3(tl);
    section_4(tl);
    section_5(tl);
    section_6(tl);
    section_7(tl);
    section_8(tl);
    section_9(tl);
    section_10(tl);
    section_11();
}

// Waits until the audio thread has played the song's first tick: before it the replayer stands at order
// -1, row 63 (position -37, huge unsigned). False when a device that never runs its callback has kept
// it there for kSongStartTicks.
bool song_started() {
    const int since = demo_tick();
    for (;;) {
        if (static_cast<unsigned>(mzx_position()) <= 100) return true;
        if (demo_tick() - since >= kSongStartTicks) return false;
        demo_idle();
    }
}

void failure(const char* message) {
    std::fputs(message, stderr);
}

} // namespace

int demo_prepare() {
    clear_demo_buffers();
    init_maf();
    init_flare();
    make_pano_tables();
    pano_init(pano_back, pano_front);
    halftone_init(kScreenW, kScreenH);
    venkula_init(1200, 280);
    std::fill(flash_frame, flash_frame + kScreenWords, kFlashColour);
    return ranta_init(screen_a);
}

int demo_main(const uint8_t* song, size_t song_size) {
    demo_section = 0;
    if (mzx_init() == 0) {
        failure("MZX failure\n");
        return 1;
    }
    if (mzx_get(song, song_size) == 0) {
        failure("MZX failure\n");
        mzx_close();
        return 1;
    }
    if (gfx_init(1) != 0) {
        failure("GFX failure\n");
        return 1;
    }
    if (demo_prepare() != 0) {
        failure("Scene failure\n");
        mzx_close();
        gfx_close();
        return 1;
    }
    mzx_start(52);
    if (!song_started()) {
        failure("MZX failure\n");
        mzx_close();
        gfx_close();
        return 1;
    }
    running = true;
    play_sections();
    mzx_close();
    gfx_close();
    return 0;
}
