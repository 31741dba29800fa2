// fx.h: the effects library. Every effect draws into frame buffers of the screen's size and format
// (screen.h: 320x240 words 0x00RRGGBB) that the caller owns; tables are built once by the init routines.
//
// USAGE: call each init routine before the effect (they may be called again to rebuild their tables),
// then the effect once per frame. Nothing allocates per frame. Single-threaded (main thread).
#pragma once
#include "screen.h"

#include <cstdint>

// Warped hole mask: copies src into dest and masks it with a scrolling, lens-warped hole lattice.
void venkula_init(int depth, int divisor);
void venkula(int time, uint32_t* dest, const uint32_t* src);
// What venkula(time, ...) does to each pixel, a byte b per pixel (76800 bytes): a source pixel s whose top
// byte is 0 becomes s & (b * 0x010101) for b of 0x80 and above, (s >> 1) & (b * 0x010101) below. So b is 0
// where the masked pixel is black whatever the source (0xFF, 0xC0: a hole, a rim; 0x7F, 0x60, 0x40: halved).
void venkula_coverage(int time, uint8_t* covered);

// Moving-average (box) blurs of window n with pre-divided sums; dst must not overlap src.
void init_maf();
void horiz_maf(const uint32_t* src, uint32_t* dst, int sx, int sy, int dx, int dy, int width, int height,
               int pitch, int bufheight, int n);
void vert_maf(const uint32_t* src, uint32_t* dst, int sx, int sy, int dx, int dy, int width, int height,
              int pitch, int bufheight, int n);
// horiz_maf of a rectangle without blue (every pixel's blue byte 0; the result is then undefined for any
// other): the same words, with two channels' quotients to take instead of three.
void horiz_maf_red_green(const uint32_t* src, uint32_t* dst, int sx, int sy, int dx, int dy, int width,
                         int height, int pitch, int bufheight, int n);
// horiz_maf with its result faded towards black as cross_fade(result, black, dst, level) would fade it:
// every channel sum s becomes s * (255 - level) / 255, the level clamped to 0..255; then_level fades that
// once more the same way (each fade truncated on its own).
void horiz_maf_fade(const uint32_t* src, uint32_t* dst, int sx, int sy, int dx, int dy, int width, int height,
                    int pitch, int bufheight, int n, int level, int then_level = 0);
// horiz_maf_fade of a frame whose words are each pixel's quotients v / n already (top bytes 0; window n
// of 2..255; windows of 0, 1 and 256 on take the pixels as horiz_maf_fade does): the panorama drawn
// through the quotients of its few colours.
void horiz_maf_fade_divided(const uint32_t* src, uint32_t* dst, int sx, int sy, int dx, int dy, int width,
                            int height, int pitch, int bufheight, int n, int level, int then_level);
// horiz_maf_fade_divided of rows first .. first + rows - 1 of a frame `width` words wide given as runs of
// quotient words (as pano_runs gives them; window n of 1..255, else nothing is written), into the same
// rows of dst. A row whose runs do not end one after the other at width is left as it is.
struct PanoRun;
void horiz_maf_fade_runs(const PanoRun* runs, const int* row_first, uint32_t* dst, int first, int rows,
                         int width, int n, int level, int then_level);

// Byte-wise blends; dst may equal either source.
void cross_fade(const uint32_t* a, const uint32_t* b, uint32_t* dst, int count, int level);
void add_fade(const uint32_t* a, const uint32_t* b, uint32_t* dst, int count, int gain_a, int gain_b);
// add_fade(dst, c, dst, count, 255, gain) where every word of the frame c is `colour` (a flash).
void add_colour(uint32_t* dst, int count, uint32_t colour, int gain);
// frame = other + frame weighed by weight (0..255) for frames without blue: each red and green byte i of
// frame becomes i * weight / 255 (its blue and top bytes count as 0), and other's word is added, where no
// byte passes 255 (other is a cross-fade's other source, weighed by 255 - weight).
void add_red_green_weighed(uint32_t* frame, const uint32_t* other, int count, int weight);
// Sets count words of dst to 0 (nothing for a count of 0 or less): a frame cleared to black.
void clear_words(uint32_t* dst, int count);

// Two-layer scrolling panorama over kPanoW x 240 images (the background and a keyed foreground).
constexpr int kPanoW = 982;
extern const uint32_t* tausta;   // background image
extern const uint32_t* paalline; // foreground image; its first pixel is the transparent key
int pano_init(const uint32_t* back, const uint32_t* front);
void pano_effect(uint32_t* dest, uint32_t position);
// The images' colours as pano_init found them, where they are kept as indices (at most 256 colours, on
// cores without a vector unit): their count, else 0.
int pano_colours(const uint32_t** colours);
// pano_effect with every pixel's colour pano_colours()[i] drawn as map[i] (a blur's quotients, say), for
// images unchanged since pano_init and a count above 0.
void pano_effect_mapped(uint32_t* dest, uint32_t position, const uint32_t* map);
// The rows of pano_effect_mapped(dest, position, map) as runs of one word, for work that goes by runs
// rather than by pixels: row i's runs are runs[row_first[i]] .. runs[row_first[i + 1] - 1], each covering
// the columns from the end of the one before it (0 for a row's first) up to its own end - 1, neighbours
// differing. runs takes up to 320 * 240 of them, row_first 241 entries. False, with nothing written, where
// pano_effect_mapped would draw nothing, or for positions whose sums wrap round 2^32 within a row.
struct PanoRun {
    uint32_t word;
    uint16_t end; // the column after the run
};
bool pano_runs(uint32_t position, const uint32_t* map, PanoRun* runs, int* row_first);
// pano_effect for a frame that is only sampled: every `step`-th column (0, step, 2 * step ...) of the rows
// whose index modulo `period` (1..32) has its bit set in `rows`; every other pixel is left as it was.
void pano_effect_grid(uint32_t* dest, uint32_t position, int step, int period, uint32_t rows);

// Endless rotating zoom through three 256x256 pictures.
int suumi_init(int width, int height);
void suumi_effect(uint32_t* dest, int t, double exponent, const uint32_t* pic1, const uint32_t* pic2,
                  const uint32_t* pic3);
// suumi_effect over 8-bit pictures that stand for palette[byte] (256 colours): the same frame as
// suumi_effect over the pictures the palette makes, drawn only where covered (a byte per pixel, as
// venkula_coverage gives) is not 0, or everywhere when covered is null; other pixels are left as they are.
// The masked zoomers below also take a shorter palette, of palette_size colours, when every byte of the
// pictures is below it; with 8 colours or fewer they draw through a table of every pair of texels.
void suumi_effect_paletted(uint32_t* dest, int t, double exponent, const uint8_t* pic1, const uint8_t* pic2,
                           const uint8_t* pic3, const uint32_t* palette, const uint8_t* covered);
// venkula(time, dest, z) of the paletted zoomer's frame z, in one pass: covered is venkula_coverage(time).
// Every pixel of dest is written.
void suumi_effect_masked(uint32_t* dest, int t, double exponent, const uint8_t* pic1, const uint8_t* pic2,
                         const uint8_t* pic3, const uint32_t* palette, const uint8_t* covered,
                         int palette_size = 256);
// suumi_effect_masked cross-faded into dest (covered as venkula_coverage gives, whose five non-zero bytes
// the colour tables are made for): each byte i of a covered pixel's masked colour is weighed,
// i * weight / 255 (weight 0..255), and added to dest's; the other pixels are left as they are. Where dest
// was weighed by 255 - weight, as a cross-fade's other source is, no byte passes 255.
void suumi_effect_masked_add(uint32_t* dest, int t, double exponent, const uint8_t* pic1, const uint8_t* pic2,
                             const uint8_t* pic3, const uint32_t* palette, const uint8_t* covered, int weight,
                             int palette_size = 256);
// The pixels of suumi_effect_masked whose row and column are multiples of step (a thumbnail's samples);
// the other pixels of dest are left as they are.
void suumi_effect_masked_samples(uint32_t* dest, int t, double exponent, const uint8_t* pic1,
                                 const uint8_t* pic2, const uint8_t* pic3, const uint32_t* palette,
                                 const uint8_t* covered, int step);

// Halftone dot screen added onto dest with saturation; dest must not overlap src.
void halftone_init(int width, int height);
void halftone(uint32_t* dest, const uint32_t* src, int gain);
// halftone onto black: writes every pixel of dest, which therefore needs no clearing. Returns whether
// any pixel has blue.
bool halftone_fill(uint32_t* dest, const uint32_t* src, int gain);

// Flare sprites over a tinted 256x256 portrait: init_flare uses the embedded `naama`, init_flare_from the
// picture it is given (read only while it builds the tables).
void init_flare();
void init_flare_from(const uint8_t* portrait);
void flarez(uint32_t* dest, int t);
