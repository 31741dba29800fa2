// Flare sprites: a timed sequence over the portrait `naama` (main thread). A small tinted portrait morphs
// into a larger one, which dissolves into a 32x32 grid of glowing sprites coloured after the portrait; the
// grid swells toward the viewer and back, then the sprites leave the grid and circle in 3D while the large
// portrait flashes back in once. t is in demo ticks since the scene began.
//
// init_flare builds the two portrait frames, the 256x256 sprite profile (brightness 0..215) and the
// sprite colours once. Sprites are drawn by scaling the profile with an 8.8 step and adding
// (profile * colour byte) >> 8 to every byte with saturation.
#include "fx.h"

#include "assets.h"
#include "lanes.h"
#include "sine.h"
#include "swar.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#if defined(__SSE2__) && !defined(SHORELINE_NO_SIMD)
#include <emmintrin.h>
#endif

namespace {

constexpr int kW = kScreenW, kH = kScreenH, kPixels = kScreenWords;
constexpr int kSprites = 1024;

uint32_t small_portrait[kPixels]; // naama at half size, top-left (96, 56)
uint32_t large_portrait[kPixels]; // naama at two-thirds size, top-left (75, 35)
uint8_t sprite_profile[256 * 256];
uint8_t sprite_green[kSprites]; // each sprite's colour is kSpriteBase with this green byte

uint32_t portrait_colour(uint8_t g) {
    return 0x5F0006u + (static_cast<uint32_t>(g / 3) << 8);
}

// A sprite's colour is 0x6F0006 with a green byte of portrait / 3 (0..85) in between.
constexpr uint32_t kSpriteBase = 0x6F0006u;
constexpr int kGreens = 255 / 3 + 1, kLevels = 216; // profile values are 0..215

// The profile sampled for every sprite size up to kCached, each sample repeated for the four bytes of
// a pixel and already widened to 16 bits, so that a sprite row is drawn 16 bytes (4 pixels) at a time
// with no unpacking. Each row is followed by at least 16 zero entries: a row may be drawn rounded up to
// whole chunks, and the extra pixels get 0. With SSE2 a sample is kept as sample << 8, so that
// (sample * colour) >> 8 is the high half of one 16-bit multiplication.
constexpr int kCached = 64;
#if defined(__SSE2__) && !defined(SHORELINE_NO_SIMD)
constexpr int kSampleShift = 8;
#else
constexpr int kSampleShift = 0;
#endif
// The word path: for cores without a vector unit, and for 32-bit ARM's NEON, where the sprites' short
// rows gain less from 16-byte lanes than from the word path's two pixels a step.
#if defined(__ARM_NEON) && !defined(__aarch64__)
constexpr bool kWords = true;
#else
constexpr bool kWords = !lanes::kVectorUnit;
#endif
constexpr int row_stride(int s) {
    return kWords ? s : (4 * s + 15) / 16 * 16 + lanes::kBytes;
}
constexpr int cached_entries() {
    int n = 0;
    for (int s = 1; s <= kCached; s++) n += row_stride(s) * s;
    return n;
}
uint16_t scaled[kWords ? 1 : cached_entries()];
int scaled_at[kCached + 1]; // start of size s in `scaled`, or in `level_of` without a vector unit

// Without a vector unit the cache holds one profile sample per pixel, and level_add the word that each
// sample adds for each sprite green, (sample * colour byte) >> 8 in every byte: a sprite pixel is one
// look-up and one per-byte saturating add.
uint8_t level_of[kWords ? cached_entries() : 1];
uint32_t level_add[kWords ? kGreens : 1][kLevels];

// The sprites of each green and size that a frame draws, their words already looked up (a pixel is then
// one load and one saturating add), rows of s + kPad words whose last kPad words add 0, so that a row can
// be drawn in whole groups of four. Made when first drawn and kept, until the pool is full; then all are
// dropped and made again as they come.
constexpr int kPad = 3;
constexpr int kPoolWords = kWords ? 1 << 17 : 1;
uint32_t sprite_pool[kPoolWords];
int pool_used = 0;
int sprite_at[kWords ? kGreens : 1][kCached + 1]; // start in sprite_pool, or -1

void drop_sprites() {
    pool_used = 0;
    for (auto& sizes : sprite_at) std::fill_n(sizes, kCached + 1, -1);
}

// The words of the sprite of this green and size s (1..kCached).
const uint32_t* sprite_words(int green, int s) {
    int& at = sprite_at[green][s];
    if (at >= 0) return sprite_pool + at;
    const int stride = s + kPad;
    if (pool_used + stride * s > kPoolWords) drop_sprites();
    at = pool_used;
    pool_used += stride * s;
    uint32_t* w = sprite_pool + at;
    const uint8_t* level = level_of + scaled_at[s];
    const uint32_t* add = level_add[green];
    for (int r = 0; r < s; r++, w += stride, level += s) {
        for (int k = 0; k < s; k++) w[k] = add[level[k]];
        std::fill(w + s, w + stride, 0u);
    }
    return sprite_pool + at;
}

// The rows of a sprite: `rows` rows of `width` pixels from d on, a frame row apart, each pixel's bytes b
// becoming min(255, b + word) with the words of a row from `words` on and rows `stride` words apart.
void add_word_rows(uint32_t* d, int rows, int width, const uint32_t* words, int stride) {
#if defined(__ARM_FEATURE_SIMD32) && defined(__thumb2__) && defined(__OPTIMIZE__)
    // By hand: four pixels in 10 instructions, and a few more a row.
    register uint32_t d0 asm("r4"), d1 asm("r5"), d2 asm("r6"), d3 asm("r8"); // ascending, for LDM/STM
    const uint32_t d_skip = 4 * static_cast<uint32_t>(kW - width),
                   w_skip = 4 * static_cast<uint32_t>(stride - width);
    uint32_t a0, a1, n;
    asm volatile("1:\n\t"
                 "subs    %[n], %[width], #4\n\t"
                 "blt     3f\n"
                 "2:\n\t"
                 "ldm     %[d], {%[d0], %[d1], %[d2], %[d3]}\n\t"
                 "ldrd    %[a0], %[a1], [%[w]], #8\n\t"
                 "uqadd8  %[d0], %[d0], %[a0]\n\t"
                 "uqadd8  %[d1], %[d1], %[a1]\n\t"
                 "ldrd    %[a0], %[a1], [%[w]], #8\n\t"
                 "uqadd8  %[d2], %[d2], %[a0]\n\t"
                 "uqadd8  %[d3], %[d3], %[a1]\n\t"
                 "stmia   %[d]!, {%[d0], %[d1], %[d2], %[d3]}\n\t"
                 "subs    %[n], %[n], #4\n\t"
                 "bge     2b\n"
                 "3:\n\t"
                 "adds    %[n], %[n], #4\n\t"
                 "beq     5f\n"
                 "4:\n\t"
                 "ldr     %[d0], [%[d]]\n\t"
                 "ldr     %[a0], [%[w]], #4\n\t"
                 "uqadd8  %[d0], %[d0], %[a0]\n\t"
                 "str     %[d0], [%[d]], #4\n\t"
                 "subs    %[n], %[n], #1\n\t"
                 "bne     4b\n"
                 "5:\n\t"
                 "add     %[d], %[d], %[d_skip]\n\t"
                 "add     %[w], %[w], %[w_skip]\n\t"
                 "subs    %[rows], %[rows], #1\n\t"
                 "bne     1b"
                 : [d] "+r"(d), [w] "+r"(words), [rows] "+r"(rows), [n] "=&r"(n), [a0] "=&r"(a0),
                   [a1] "=&r"(a1), [d0] "=&r"(d0), [d1] "=&r"(d1), [d2] "=&r"(d2), [d3] "=&r"(d3)
                 : [width] "r"(width), [d_skip] "r"(d_skip), [w_skip] "r"(w_skip)
                 : "cc", "memory");
#else
    for (; rows > 0; rows--, d += kW, words += stride)
        for (int k = 0; k < width; k++) d[k] = swar::add_saturate(d[k], words[k]);
#endif
}

// The first row and column of a sprite that can add anything: 1 when the profile's row 0 and column 0 (a
// sprite's first row and column at every size) hold only levels of at most 1, which add
// (1 * byte) >> 8 = 0 to every byte; else 0.
int first_lit = 0;

uint8_t profile_sample(int s, int r, int k) {
    const int step = 65536 / s; // 8.8 fixed-point step through the profile per sprite pixel
    return sprite_profile[((r * step) >> 8) * 256 + ((k * step) >> 8)];
}

// draw_sprite without a vector unit: rows r0..r1-1, columns k0..k1-1 of the sprite.
void draw_sprite_words(uint32_t* dest, int x, int y, int s, int green, int r0, int r1, int k0, int k1) {
    const uint32_t* add = level_add[green];
    if (s <= kCached) {
        uint32_t* const d = dest + (y + r0) * kW + x + k0;
        const int width = k1 - k0;
        // Rows rounded up to whole groups of four touch up to 3 pixels after the sprite, which get 0 from
        // the rows' ends: allowed where the sprite is not clipped on the right and the last row's pixels
        // stay inside the frame (others of them are the next row's first pixels, which gain nothing).
        const int rounded = (width + 3) & ~3;
        const bool whole = k1 == s && (y + r1 - 1) * kW + x + k0 + rounded <= kPixels;
        return add_word_rows(d, r1 - r0, whole ? rounded : width,
                             sprite_words(green, s) + r0 * (s + kPad) + k0, s + kPad);
    }
    for (int r = r0; r < r1; r++) {
        uint32_t* d = dest + (y + r) * kW + x;
        for (int k = k0; k < k1; k++) d[k] = swar::add_saturate(d[k], add[profile_sample(s, r, k)]);
    }
}

// Adds one sprite of size s with its top-left corner at (x, y), clipped to the frame: every byte b of a
// pixel becomes min(255, b + (profile * colour byte) >> 8), the colour being kSpriteBase with `green`.
void draw_sprite(uint32_t* dest, int x, int y, int s, int green) {
    const int r0 = std::max(first_lit, -y), r1 = std::min(s, kH - y);
    const int k0 = std::max(first_lit, -x), k1 = std::min(s, kW - x);
    if (r0 >= r1 || k0 >= k1) return;
    if constexpr (kWords) return draw_sprite_words(dest, x, y, s, green, r0, r1, k0, k1);
    const uint32_t colour = kSpriteBase | static_cast<uint32_t>(green) << 8;
    const int bytes = 4 * (k1 - k0);
    if (s > kCached) { // larger than any sprite of the sequence; sampled directly
        for (int r = r0; r < r1; r++)
            for (int k = k0; k < k1; k++) {
                uint8_t* d = reinterpret_cast<uint8_t*>(dest + (y + r) * kW + x + k);
                const uint32_t p = profile_sample(s, r, k);
                for (int ch = 0; ch < 4; ch++)
                    d[ch] =
                        static_cast<uint8_t>(std::min(255u, d[ch] + ((p * (colour >> (8 * ch) & 255)) >> 8)));
            }
        return;
    }
    using namespace lanes;
    uint8_t pattern[kBytes]; // the colour bytes, once per pixel of a chunk
    for (int b = 0; b < kBytes; b++) pattern[b] = static_cast<uint8_t>(colour >> (8 * (b & 3)));
#if defined(__SSE2__) && !defined(SHORELINE_NO_SIMD)
    // The same four colour words for both halves of a chunk.
    const __m128i colours =
        _mm_unpacklo_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pattern)), _mm_setzero_si128());
#else
    // Conversions written out, not through the lane helpers: no 32-byte vector crosses a call (an ABI
    // question without AVX) where a compiler does not inline them.
    const Wide cv = __builtin_convertvector(load(pattern), Wide);
#endif
    const int stride = row_stride(s), rounded = (bytes + 15) / 16 * 16, down = bytes / 16 * 16;
    const uint16_t* profile = scaled + scaled_at[s] + 4 * k0;
    const int at = y * kW + x + k0; // row r of the sprite starts at dest + at + r * kW
    // Row r with its first `whole` bytes drawn in chunks.
    auto draw_row = [&](int r, int whole) {
        const uint16_t* p = profile + r * stride;
        uint8_t* d = reinterpret_cast<uint8_t*>(dest + (at + r * kW));
        int b = 0;
#if defined(__SSE2__) && !defined(SHORELINE_NO_SIMD)
        // (profile * colour) >> 8 as the high half of (profile << 8) * colour: one pmulhuw per 8 bytes,
        // and the results (below 255) pack without masking.
#pragma GCC unroll 1
        for (; b < whole; b += kBytes) {
            const __m128i* prof = reinterpret_cast<const __m128i*>(p + b);
            const __m128i add = _mm_packus_epi16(_mm_mulhi_epu16(_mm_loadu_si128(prof), colours),
                                                 _mm_mulhi_epu16(_mm_loadu_si128(prof + 1), colours));
            __m128i* out = reinterpret_cast<__m128i*>(d + b);
            _mm_storeu_si128(out, _mm_adds_epu8(_mm_loadu_si128(out), add));
        }
#else
        for (; b < whole; b += kBytes)
            store(d + b,
                  add_saturate(load(d + b), __builtin_convertvector((load<Wide>(p + b) * cv) >> 8, Bytes)));
#endif
        for (; b < bytes; b++) {
            const unsigned v = d[b] + (((p[b] >> kSampleShift) * pattern[b & 3]) >> 8);
            d[b] = static_cast<uint8_t>(v > 255 ? 255 : v);
        }
    };
    // Rounding a row up to whole chunks touches up to 3 pixels after the sprite, which get 0: allowed
    // when the sprite is not clipped on the right (so the pixels are not the next row's) and the chunk
    // stays inside the frame, which only the frame's last row can fail.
    const int chunked = k1 == s ? rounded : down;
    const int last = kH - 1 - y; // the sprite row on the frame's last row
    for (int r = r0; r < std::min(r1, last); r++) draw_row(r, chunked);
    for (int r = std::max(r0, last); r < r1; r++)
        draw_row(r, (kH - 1) * kW + x + k0 + rounded / 4 <= kPixels ? chunked : down);
}

// Both portraits are black outside the large one's rectangle, columns kLeft..kRight - 1 of rows
// kTop..kBottom - 1; a fade leaves black black, so there only the other source needs weighing.
constexpr int kLeft = 75, kRight = 246, kTop = 35, kBottom = 206;

// cross_fade(portrait, dest, dest, level) for either portrait. With a vector unit the rectangle's rows
// are blended in one pass and dest is weighed alone between them; a word at a time dest is weighed in
// place in one pass and the portrait's weighed words added inside the rectangle (no byte passes 255: the
// two weights add up to 255).
void fade_from_portrait(const uint32_t* portrait, uint32_t* dest, int level) {
    const int take = std::clamp(level, 0, 255);
    if constexpr (kWords) {
        add_fade(dest, dest, dest, kPixels, take, 0);
        for (int y = kTop; y < kBottom; y++) {
            const int at = y * kW + kLeft;
            add_fade(portrait + at, dest + at, dest + at, kRight - kLeft, 255 - take, 255);
        }
    } else {
        int outside = 0; // the first pixel of the run outside the rectangle that ends at the next row's kLeft
        for (int y = kTop; y < kBottom; y++) {
            const int at = y * kW + kLeft;
            add_fade(dest + outside, dest + outside, dest + outside, at - outside, take, 0);
            cross_fade(portrait + at, dest + at, dest + at, kRight - kLeft, take);
            outside = y * kW + kRight;
        }
        add_fade(dest + outside, dest + outside, dest + outside, kPixels - outside, take, 0);
    }
}

// cross_fade(small_portrait, large_portrait, dest, level): black outside the rectangle.
void morph_portraits(uint32_t* dest, int level) {
    std::memset(dest, 0, sizeof(uint32_t) * (kTop * kW + kLeft));
    for (int y = kTop; y < kBottom; y++) {
        const int at = y * kW + kLeft;
        cross_fade(small_portrait + at, large_portrait + at, dest + at, kRight - kLeft, level);
        const int next = y + 1 < kBottom ? at + kW : kPixels;
        std::memset(dest + y * kW + kRight, 0, sizeof(uint32_t) * (next - (y * kW + kRight)));
    }
}

// Whether v is below 1e6 in magnitude and more than kNear from every whole number.
constexpr double kNear = 1e-6;
bool clear_of_whole(double v) {
    if (!(std::fabs(v) < 1e6)) return false;
    const double f = std::fabs(v - static_cast<int>(v));
    return f > kNear && f < 1 - kNear;
}

} // namespace

void init_flare() {
    init_flare_from(naama);
}

void init_flare_from(const uint8_t* portrait) {
    std::memset(small_portrait, 0, sizeof small_portrait);
    std::memset(large_portrait, 0, sizeof large_portrait);
    // The profile depends only on the squared distance d2 from the centre, and is the same for every
    // d2 >= 16257 (where 2r >= 255): each distinct value's cos is taken once.
    constexpr int kClamped = 16257;
    uint8_t profile_of[kClamped + 1];
    bool known[kClamped + 1] = {};
    int large_row[256], large_column[256]; // where row j and column i of naama land in the large portrait
    for (int k = 0; k < 256; k++) {
        large_row[k] = static_cast<int>(k * (2.0 / 3) + 35);
        large_column[k] = static_cast<int>(k * (2.0 / 3) + 75);
    }
    for (int i = 0; i < 256; i++)
        for (int j = 0; j < 256; j++) {
            const uint8_t g = portrait[j * 256 + i];
            const int d2 = std::min((i - 128) * (i - 128) + (j - 128) * (j - 128), kClamped);
            if (!known[d2]) {
                const double r = std::sqrt(static_cast<double>(d2));
                const float fr = static_cast<float>(std::min(2 * r, 255.0));
                profile_of[d2] =
                    static_cast<uint8_t>(static_cast<unsigned>(std::cos(fr * 0.0061357421875) * 215));
                known[d2] = true;
            }
            sprite_profile[j * 256 + i] = profile_of[d2];
            small_portrait[(j >> 1) * kW + (i >> 1) + 56 * kW + 96] = portrait_colour(g);
            large_portrait[large_row[j] * kW + large_column[i]] = portrait_colour(g);
        }
    first_lit = 1;
    for (int k = 0; k < 256; k++)
        if (sprite_profile[k] > 1 || sprite_profile[k * 256] > 1) first_lit = 0;
    std::memset(scaled, 0, sizeof scaled);
    for (int s = 1, at = 0; s <= kCached; at += row_stride(s) * s, s++) {
        scaled_at[s] = at;
        const int step = 65536 / s; // as in profile_sample
        for (int r = 0; r < s; r++) {
            const uint8_t* profile_row = sprite_profile + ((r * step) >> 8) * 256;
            for (int k = 0; k < s; k++) {
                const uint8_t level = profile_row[(k * step) >> 8];
                if constexpr (kWords)
                    level_of[at + r * row_stride(s) + k] = level;
                else
                    std::fill_n(scaled + at + r * row_stride(s) + 4 * k, 4,
                                static_cast<uint16_t>(level << kSampleShift));
            }
        }
    }
    drop_sprites();
    if constexpr (kWords)
        for (uint32_t g = 0; g < kGreens; g++)
            for (uint32_t p = 0; p < kLevels; p++)
                level_add[g][p] =
                    (p * (kSpriteBase >> 16) >> 8) << 16 | (p * g >> 8) << 8 | (p * (kSpriteBase & 255) >> 8);
    for (int i = 0; i < kSprites; i++)
        sprite_green[i] = static_cast<uint8_t>(portrait[8 * (i >> 5) * 256 + 8 * (i & 31)] / 3);
}

void flarez(uint32_t* dest, int t) {
    if (t < 64) {
        std::memcpy(dest, small_portrait, sizeof small_portrait);
        return;
    }
    if (t < 128) { // the morph replaces whatever the sprites would draw
        morph_portraits(dest, 4 * (t - 64));
        return;
    }
    const int e = t < 250 ? 0 : t >= 750 ? 1000 : 2 * (t - 250); // no overflow for a late t
    const int a = 1000 - e, c = 2 * a;
    const double w =
        t >= 200 && t <= 450 ? -75 * (std::cos(std::abs(325 - t) * 0.0251328) + 1) : -2.0238644093950597e-09;
    const double pz = t * (1.0 / 48), px = t * (1.0 / 42), py = t * (1.0 / 43);
    for (int i = 0; i < kSprites; i++) {
        const int gx = i & 31, gy = i >> 5;
        int s = 0, x = 0, y = 0;
        // The sprite's size and place from its three waves; false where a value truncated on the way
        // could depend on the waves' last bits: one within kNear of a whole number, or a depth z below
        // 10. Elsewhere the waves of sine.h and of the library give the same s, x and y: with z >= 10 and
        // the values below 1e6, waves that differ by 1e-15 move them by less than 1e-7.
        auto place = [&](double sa, double sb, double sc) {
            const double z = ((sa * 200 + 300) * e + 400 * a) * 0.001 + w;
            const double zi = 1 / z;
            const double size = zi * 3000;
            s = (static_cast<int>(size) * (e + c)) / 1000;
            const double xs = (((gx * 2200 - 32200) * a) + sb * 18000 * e) * (zi * 0.001) + 160;
            const double ys = (((gy * 2200 - 35200) * a) + sc * 18000 * e) * (zi * 0.001) + 120;
            x = static_cast<int>(xs) - s / 2;
            y = static_cast<int>(ys) - s / 2;
            return z >= 10 && clear_of_whole(size) && clear_of_whole(xs) && clear_of_whole(ys);
        };
        if (e == 0) { // the waves only count with the spread e: at e = 0 their terms are +-0
            place(0, 0, 0);
        } else {
            const double ua = i * (1 / 2.6) + pz, ub = i * (1 / 2.7) + px, uc = i * (1 / 2.2) + py;
            if (std::fabs(ua) >= sine::kLimit || std::fabs(ub) >= sine::kLimit ||
                std::fabs(uc) >= sine::kLimit || !place(sine::sin(ua), sine::sin(ub), sine::cos(uc)))
                place(std::sin(ua), std::sin(ub), std::cos(uc));
        }
        if (s > 0) draw_sprite(dest, x, y, s, sprite_green[i]);
    }
    if (t < 256)
        fade_from_portrait(large_portrait, dest, 2 * t - 255);
    else if (t >= 501 && t <= 627)
        fade_from_portrait(large_portrait, dest, 4 * std::abs(t - 564));
}
