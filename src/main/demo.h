// demo.h: the sequencer's interface: what a platform (the executable, the offline player) calls and
// supplies, and the drawing operations that tools, tests and benchmarks use.
//
// USAGE: a platform supplies demo_tick(), demo_idle(), the gfx_* display layer and an audio driver;
// demo_main(moddi, moddi_size) then plays the whole demo to the song on the main thread and returns the
// exit status (0 played or left early, 1 start-up failure: no audio device, the song refused or never
// started, no display, or no shore scene). Frame buffers are screens (screen.h); pictures are 256x256
// bytes, row-major.
#pragma once
#include "screen.h"

#include <cstddef>
#include <cstdint>

constexpr int kThumbW = 64;
constexpr int kThumbH = 48;

int demo_main(const uint8_t* song, size_t song_size);

// Builds everything the sections draw from, as start-up does once the music and the display are open:
// clears the sequencer's buffers, builds the effects' tables, the panorama tables and the flash frame, and
// sets up the shore scene. 0 on success, 1 when the shore scene cannot be read.
int demo_prepare();

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

// --- captions: one 24-row band of a 256x256 caption bitmap, pale yellow 0x00FFFFAA, weight coverage*level;
// caption_blend uses the embedded bitmap `tekstit`, caption_blend_from the one it is given ---
void caption_blend(int x, int y, int band, int level, uint32_t* dest);
void caption_blend_from(const uint8_t* bitmap, int x, int y, int band, int level, uint32_t* dest);

// --- compositors: a complete scene into `frame` for scene time t (demo ticks) ---
void pano_scene(uint32_t* frame, int t);
void halftone_scene(uint32_t* frame, int t);
// cross_fade(pano_scene(pano_t), halftone_scene(halftone_t), frame, level) for a level of 0..255: the
// halftone scene drawn in frame, the panorama in scratch (a frame buffer of its own), and their weights
// taken with the blur's fade and the scene's repeated rows where that is cheaper.
void pano_halftone_fade(uint32_t* scratch, uint32_t* frame, int pano_t, int halftone_t, int level);
void zoom_scene(uint32_t* frame, int t);
// cross_fade(frame, zoom_scene(t), frame, level) for a level of 0..255, the scene drawn in scratch (a frame
// buffer of its own) or its weighed colours added to the frame's, whichever is cheaper.
void zoom_cross_fade(uint32_t* scratch, uint32_t* frame, int t, int level);
void twist_scene(uint32_t* frame, int t);

// --- thumbnails: a 64x48 copy of a frame sampled every 5th pixel, halved, with a 0x00885500 border ---
void make_thumb(const uint32_t* frame);
void paste_thumb(uint32_t* frame, int x, int y); // clipped to the frame on all sides

// --- asset preparation: the tables the effects draw from, built from a 256x256 picture ---
// The panorama's two 982x240 layers: an orange sky over a band of the picture in dark red (back), and the
// picture in red tiled every 256 columns, its first word the transparent key (front).
void build_pano_tables(const uint8_t* picture, uint32_t* back, uint32_t* front);
// The zoomer's 256x256 texture: the picture in red at 3/4, its key value orange.
void build_zoom_texture(const uint8_t* picture, uint32_t* texture);
// The twin portrait of section 8: two 320x240 frames stacked (320x480 words), each the picture in red and
// half green, centred between black bars, so that any 240-row window shows it wrapped vertically.
void build_portrait_screen(const uint8_t* picture, uint32_t* screen);

// The same from the embedded pictures into the sequencer's buffers, as start-up and the sections do:
// make_zoom_texture also sets up the zoomer and the hole mask for sections 6 and 7, make_portrait_screen
// the hole mask for section 8.
void make_pano_tables();
void make_zoom_texture();
void make_portrait_screen();
