// demo.h: the sequencer's interface inside the project (the executable, the offline player, tests).
//
// USAGE: a platform supplies demo_tick(), demo_idle(), the gfx_* display layer and an audio driver;
// demo_main(moddi, moddi_size) then plays the whole demo to the song on the main thread and returns the
// exit status (0 played or left early, 1 start-up failure: no audio device, the song refused or never
// started, or no display). Frame
// buffers are 320x240 words 0x00RRGGBB; pictures are 256x256 bytes, row-major.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int kScreenW = 320;
constexpr int kScreenH = 240;
constexpr int kScreenWords = kScreenW * kScreenH; // 76800
constexpr int kPanoW = 982;                       // width of the panorama tables
constexpr int kThumbW = 64;
constexpr int kThumbH = 48;

int demo_main(const uint8_t* song, size_t song_size);

// Demo ticks (20 ms units, 50 per second) of the platform's clock: SDL_GetTicks() / 20, or the virtual
// clock of the offline player.
int demo_tick();

// Lets a moment of the platform's clock pass while start-up waits for the song to start: a millisecond's
// sleep, or a millisecond of virtual time.
void demo_idle();

// The section (1..11) being played; 0 before the first one. Read by the offline player's frame hook.
extern int demo_section;

// Called (when set) each time a beat trigger fires: the section, the song position that fired it, and
// the section clock E at that moment. Lets tests and tools follow the timeline without reading pixels.
extern void (*demo_on_trigger)(int section, int position, int clock);

// --- captions (one 24-row band of the caption bitmap, pale yellow 0x00FFFFAA, weight coverage*level) ---
void caption_blend(int x, int y, int band, int level, uint32_t* dest);

// --- compositors: a complete scene into `frame` for scene time t (demo ticks) ---
void pano_scene(uint32_t* frame, int t);
void halftone_scene(uint32_t* frame, int t);
void zoom_scene(uint32_t* frame, int t);
void twist_scene(uint32_t* frame, int t);

// --- thumbnails: a 64x48 copy of a frame sampled every 5th pixel, halved, with a 0x00885500 border ---
void make_thumb(const uint32_t* frame);
void paste_thumb(uint32_t* frame, int x, int y); // clipped to the frame on all sides

// --- asset preparation from the embedded pictures ---
void make_pano_tables();
void make_zoom_texture();
void make_portrait_screen();

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

// Buffers shared by the compositors and the timeline; zero-filled when demo_main starts.
extern uint32_t screen_a[kScreenWords];
extern uint32_t screen_b[2 * kScreenWords]; // two frames stacked (the twin portrait of section 8)
extern uint32_t screen_c[kScreenWords];
extern uint32_t flash_frame[kScreenWords];
extern uint32_t thumb[kThumbW * kThumbH];
extern uint32_t pano_back[kPanoW * kScreenH];
extern uint32_t pano_front[kPanoW * kScreenH];
extern uint32_t zoom_texture[256 * 256];
void clear_demo_buffers();
