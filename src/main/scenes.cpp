// scenes.cpp: the sequencer's buffers, asset preparation, caption overlay, thumbnails and the four scene
// compositors (main thread only).
//
// Every buffer is a static array of 0x00RRGGBB words that lives for the whole run; nothing here
// allocates. Real arithmetic is double precision and int() truncates toward zero.
#include "demo.h"
#include "demo_local.h"

#include "assets.h"
#include "fx.h"
#include "swar.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#if defined(__SSE2__) && !defined(SHORELINE_NO_SIMD)
#include <emmintrin.h>
#elif defined(__ARM_NEON) && !defined(SHORELINE_NO_SIMD)
#include <arm_neon.h>
#endif

// Buffers on cache-line boundaries: the library's copies between them then take the same path whatever
// else the program holds.
alignas(64) uint32_t screen_a[kScreenWords];
alignas(64) uint32_t screen_b[2 * kScreenWords];
alignas(64) uint32_t screen_c[kScreenWords];
alignas(64) uint32_t flash_frame[kScreenWords];
alignas(64) uint32_t thumb[kThumbW * kThumbH];
alignas(64) uint32_t pano_back[kPanoW * kScreenH];
alignas(64) uint32_t pano_front[kPanoW * kScreenH];
alignas(64) uint32_t zoom_texture[256 * 256];

namespace {
alignas(64) uint32_t blur_frame[kScreenWords];
alignas(64) uint32_t halftone_frame[kScreenWords];
alignas(64) [[maybe_unused]] uint32_t zoom_frame[kScreenWords];
alignas(64) [[maybe_unused]] uint8_t zoom_cover[kScreenWords]; // the pixels of zoom_frame that the mask shows
uint32_t zoom_palette[256];                                    // the colours of zoom_texture's greys
// The zoomer's picture as indices into its few distinct colours (zoom_indexed of them, 0 when it has more
// than 8): the masked zoomers then draw through a table of texel pairs.
alignas(64) [[maybe_unused]] uint8_t zoom_indices[256 * 256];
[[maybe_unused]] uint32_t zoom_index_colours[256];
int zoom_indexed = 0;
alignas(64) uint32_t twist_frame[kScreenWords];

constexpr uint32_t kOrange = 0x00EE8800; // panorama sky and the pictures' key colour
constexpr uint32_t kThumbBorder = 0x00885500;
constexpr int kStripY = -10; // a thumb strip hides thumbnail rows 0..9

void thumb_strip(uint32_t* frame, const int* xs, int count) {
    for (int i = 0; i < count; i++) paste_thumb(frame, xs[i], kStripY);
}
} // namespace

void clear_demo_buffers() {
    std::memset(screen_a, 0, sizeof screen_a);
    std::memset(screen_b, 0, sizeof screen_b);
    std::memset(screen_c, 0, sizeof screen_c);
    std::memset(flash_frame, 0, sizeof flash_frame);
    std::memset(thumb, 0, sizeof thumb);
    std::memset(pano_back, 0, sizeof pano_back);
    std::memset(pano_front, 0, sizeof pano_front);
    std::memset(zoom_texture, 0, sizeof zoom_texture);
    std::memset(blur_frame, 0, sizeof blur_frame);
    std::memset(halftone_frame, 0, sizeof halftone_frame);
    std::memset(zoom_frame, 0, sizeof zoom_frame);
    std::memset(twist_frame, 0, sizeof twist_frame);
}

void build_pano_tables(const uint8_t* picture, uint32_t* back, uint32_t* front) {
    // Each background row repeats every 82 columns and each foreground row every 256: one period is
    // worked out, the rest copied.
    const uint8_t key = picture[0];
    for (int r = 0; r < kScreenH; r++, back += kPanoW, front += kPanoW) {
        if (r <= 72) {
            std::fill(back, back + kPanoW, kOrange);
        } else if (r <= 200) {
            for (int c = 0; c < 82; c++) {
                const uint8_t s = picture[2 * (r - 73) * 256 + 44 + 2 * c];
                back[c] = s == key ? kOrange : static_cast<uint32_t>(3 * s / 5) << 16;
            }
            for (int c = 82; c < kPanoW; c++) back[c] = back[c - 82];
        } else {
            std::fill(back, back + kPanoW, 0u);
        }
        for (int c = 0; c < 256; c++) front[c] = static_cast<uint32_t>(picture[r * 256 + c]) << 16;
        for (int c = 256; c < kPanoW; c++) front[c] = front[c - 256];
    }
}

namespace {
// The colour of each grey of the picture in the zoomer: the key grey (the first pixel's) is orange.
void zoom_colours(const uint8_t* picture, uint32_t* palette) {
    for (uint32_t v = 0; v < 256; v++) palette[v] = v == picture[0] ? kOrange : ((3 * v) >> 2) << 16;
}

// The picture's bytes as indices into zoom_index_colours, when it has at most 8 greys.
[[maybe_unused]] void index_zoom_picture(const uint8_t* picture) {
    constexpr int kMostColours = 8;
    int index[256];
    std::fill(index, index + 256, -1);
    std::memset(zoom_index_colours, 0, sizeof zoom_index_colours);
    zoom_indexed = 0;
    int count = 0;
    // Four bytes at a time: mostly they repeat the byte before them (the picture is posterised).
    uint32_t run = ~0u, run_indices = 0; // four times the last byte and four times its index
    for (int i = 0; i < 256 * 256; i += 4) {
        uint32_t four;
        std::memcpy(&four, picture + i, 4);
        if (four != run) {
            for (int k = 0; k < 4; k++) {
                const uint8_t v = picture[i + k];
                if (index[v] < 0) {
                    if (count == kMostColours) return;
                    index[v] = count;
                    zoom_index_colours[count++] = zoom_palette[v];
                }
                zoom_indices[i + k] = static_cast<uint8_t>(index[v]);
            }
            run = picture[i + 3] * 0x01010101u;
            run_indices = static_cast<uint32_t>(index[picture[i + 3]]) * 0x01010101u;
            continue;
        }
        std::memcpy(zoom_indices + i, &run_indices, 4);
    }
    zoom_indexed = count;
}

// The zoomer's pictures for the masked zoomers: indexed where they can be.
struct ZoomPicture {
    const uint8_t* bytes = zoom_indexed ? zoom_indices : naama;
    const uint32_t* palette = zoom_indexed ? zoom_index_colours : zoom_palette;
    int size = zoom_indexed ? zoom_indexed : 256;
};
} // namespace

void build_zoom_texture(const uint8_t* picture, uint32_t* texture) {
    uint32_t palette[256];
    zoom_colours(picture, palette);
    for (int i = 0; i < 256 * 256; i++) texture[i] = palette[picture[i]];
}

void build_portrait_screen(const uint8_t* picture, uint32_t* screen) {
    std::memset(screen, 0, 2 * kScreenWords * sizeof(uint32_t));
    for (int r = 0; r < kScreenH; r++) {
        for (int c = 0; c < 256; c++) {
            const uint32_t v = picture[r * 256 + c];
            const uint32_t word = (v << 16) | ((v >> 1) << 8);
            screen[r * kScreenW + 32 + c] = word;
            screen[(kScreenH + r) * kScreenW + 32 + c] = word;
        }
    }
}

void make_pano_tables() {
    build_pano_tables(muotokuva, pano_back, pano_front);
}

void make_zoom_texture() {
    suumi_init(kScreenW, kScreenH);
    venkula_init(500, 180);
    build_zoom_texture(naama, zoom_texture);
    zoom_colours(naama, zoom_palette);
#if !defined(__SSE2__) || defined(SHORELINE_NO_SIMD) // the masked zoomers' picture (zoom_scene)
    index_zoom_picture(naama);
#endif
}

void make_portrait_screen() {
    venkula_init(500, 180);
    build_portrait_screen(muotokuva, screen_b);
}

void caption_blend(int x, int y, int band, int level, uint32_t* dest) {
    caption_blend_from(tekstit, x, y, band, level, dest);
}

void caption_blend_from(const uint8_t* bitmap, int x, int y, int band, int level, uint32_t* dest) {
    // Only the six bands exist and only whole bands inside the frame can be drawn; the level is a weight.
    if (band < 0 || band > 5 || y < 0 || y > kScreenH - 24) return;
    if (level < 0) level = 0;
    if (level > 255) level = 255;
    const int c0 = x < 0 ? -x : 0;
    const int c1 = x > kScreenW - 256 ? kScreenW - x : 256;
    // Towards the caption colour 0x00FFFFAA with the weight w = level * v / 255 of the coverage v: red and
    // green become p * (255 - w) / 255 + w, blue p * (255 - w) / 255 + 2 * w / 3, the top byte stays.
    // Four pixels at a time, one 16-bit lane per byte (the top byte with weight 0), all divisions exact:
    // i / 255 = (i * 0x8081) >> 23 for i < 2^16, and 2 * w / 3 = (171 * w) >> 8 for w <= 255.
#if defined(__SSE2__) && !defined(SHORELINE_NO_SIMD)
    const __m128i level_lanes = _mm_setr_epi16(level, level, level, 0, level, level, level, 0);
    const __m128i add_factor = _mm_setr_epi16(171, 256, 256, 0, 171, 256, 256, 0);
    const __m128i magic = _mm_set1_epi16(static_cast<short>(0x8081)), full = _mm_set1_epi16(255);
    const __m128i zero = _mm_setzero_si128();
    auto div255 = [&](__m128i i) { return _mm_srli_epi16(_mm_mulhi_epu16(i, magic), 7); };
    // Two pixels: their bytes p in 16-bit lanes and their coverage repeated over their lanes.
    auto blend_two = [&](__m128i p, __m128i v) {
        const __m128i w = div255(_mm_mullo_epi16(v, level_lanes));
        const __m128i kept = div255(_mm_mullo_epi16(p, _mm_sub_epi16(full, w)));
        return _mm_add_epi16(kept, _mm_srli_epi16(_mm_mullo_epi16(w, add_factor), 8));
    };
#endif
#if !defined(__SSE2__) || defined(SHORELINE_NO_SIMD)
    // Without SSE2 a word at a time: per coverage v the weight's complement and the colour it adds come from
    // tables made once a call, and the kept bytes are weighed two to a multiplication (swar.h).
    uint32_t keep_of[256], add_of[256];
    for (uint32_t v = 0, product = 0; v < 256; v++, product += static_cast<uint32_t>(level)) {
        const uint32_t w = (product + 1 + (product >> 8)) >> 8;
        keep_of[v] = 255 - w;
        add_of[v] = w << 16 | w << 8 | (171 * w) >> 8;
    }
#if defined(__ARM_NEON) && !defined(SHORELINE_NO_SIMD)
    // With NEON four pixels at a time: each byte's weight and the kept bytes by a widening multiply, a
    // shift-accumulate and an add-narrow ((p + (p >> 8) + 1) >> 8 = p / 255 for p below 65535).
    const uint8x8_t level8 = vdup_n_u8(static_cast<uint8_t>(level));
    const uint16x8_t one = vdupq_n_u16(1);
    auto div255_narrow = [&](uint16x8_t q) { return vaddhn_u16(vsraq_n_u16(q, q, 8), one); };
    const uint8x16_t top = vreinterpretq_u8_u32(vdupq_n_u32(0xFF000000u)),
                     blue = vreinterpretq_u8_u32(vdupq_n_u32(0x000000FFu));
    auto blend_four = [&](uint32_t* at, uint32_t cover) {
        const uint8x8_t c8 = vcreate_u8(cover);
        const uint8x8x2_t pairs = vzip_u8(c8, c8);
        const uint8x8x2_t quads = vzip_u8(pairs.val[0], pairs.val[0]); // each coverage byte four times
        const uint8x8_t w_low = div255_narrow(vmull_u8(quads.val[0], level8)),
                        w_high = div255_narrow(vmull_u8(quads.val[1], level8));
        const uint8x16_t p = vld1q_u8(reinterpret_cast<const uint8_t*>(at));
        const uint8x16_t kept = vcombine_u8(div255_narrow(vmull_u8(vget_low_u8(p), vmvn_u8(w_low))),
                                            div255_narrow(vmull_u8(vget_high_u8(p), vmvn_u8(w_high))));
        const uint8x16_t w = vcombine_u8(w_low, w_high);
        const uint8x16_t third = vcombine_u8(vshrn_n_u16(vmull_u8(w_low, vdup_n_u8(171)), 8),
                                             vshrn_n_u16(vmull_u8(w_high, vdup_n_u8(171)), 8));
        const uint8x16_t added = vaddq_u8(kept, vbslq_u8(blue, third, w));
        vst1q_u8(reinterpret_cast<uint8_t*>(at), vbslq_u8(top, p, added));
    };
#endif
    auto blend_one = [&](uint32_t* at, uint32_t v) {
        const uint32_t p = *at;
        *at = ((swar::weigh(p, keep_of[v]) & 0x00FFFFFFu) | (p & 0xFF000000u)) + add_of[v];
    };
    for (int r = 0; r < 24; r++) {
        const uint8_t* src = bitmap + (24 * band + r) * 256;
        uint32_t* row = dest + (y + r) * kScreenW + x;
        int c = c0;
        for (; c + 4 <= c1; c += 4) { // four pixels' coverage at once; none: the pixels stay
            uint32_t four;
            std::memcpy(&four, src + c, 4);
            if (four == 0) continue;
#if defined(__ARM_NEON) && !defined(SHORELINE_NO_SIMD)
            blend_four(row + c, four);
#else
            for (int k = 0; k < 4; k++, four >>= 8)
                if (four & 255) blend_one(row + c + k, four & 255);
#endif
        }
        for (; c < c1; c++)
            if (src[c]) blend_one(row + c, src[c]);
    }
    return;
#endif
    for (int r = 0; r < 24; r++) {
        const uint8_t* src = bitmap + (24 * band + r) * 256;
        uint32_t* row = dest + (y + r) * kScreenW + x;
        int c = c0;
#if defined(__SSE2__) && !defined(SHORELINE_NO_SIMD)
        for (; c + 4 <= c1; c += 4) {
            uint32_t cover;
            std::memcpy(&cover, src + c, 4);
            if (cover == 0) continue; // no coverage: the pixels stay
            __m128i v = _mm_cvtsi32_si128(static_cast<int>(cover));
            v = _mm_unpacklo_epi8(v, v);
            v = _mm_unpacklo_epi16(v, v); // each coverage byte four times
            __m128i* at = reinterpret_cast<__m128i*>(row + c);
            const __m128i p = _mm_loadu_si128(at);
            const __m128i lo = blend_two(_mm_unpacklo_epi8(p, zero), _mm_unpacklo_epi8(v, zero));
            const __m128i hi = blend_two(_mm_unpackhi_epi8(p, zero), _mm_unpackhi_epi8(v, zero));
            _mm_storeu_si128(at, _mm_packus_epi16(lo, hi));
        }
#endif
        for (; c < c1; c++) {
            const int v = src[c];
            if (v == 0) continue;
            const int w = level * v / 255;
            const uint32_t p = row[c];
            const uint32_t keep = 255 - w;
            const uint32_t red = ((p >> 16) & 0xFF) * keep / 255 + w;
            const uint32_t green = ((p >> 8) & 0xFF) * keep / 255 + w;
            const uint32_t blue = (p & 0xFF) * keep / 255 + 2 * w / 3;
            row[c] = (p & 0xFF000000) | (red << 16) | (green << 8) | blue;
        }
    }
}

void make_thumb(const uint32_t* frame) {
    for (int i = 0; i < kThumbH; i++) {
        for (int j = 0; j < kThumbW; j++) {
            const bool border = i == 0 || i == kThumbH - 1 || j == 0 || j == kThumbW - 1;
            thumb[i * kThumbW + j] =
                border ? kThumbBorder : (frame[5 * i * kScreenW + 5 * j] >> 1) & 0x7F7F7F7F;
        }
    }
}

void paste_thumb(uint32_t* frame, int x, int y) {
    const int c0 = x < 0 ? -x : 0;
    const int c1 = x > kScreenW - kThumbW ? kScreenW - x : kThumbW;
    if (c0 >= c1) return;
    for (int r = 0; r < kThumbH; r++) {
        const int row = y + r;
        if (row < 0 || row >= kScreenH) continue;
        std::memcpy(frame + row * kScreenW + x + c0, thumb + r * kThumbW + c0,
                    static_cast<size_t>(c1 - c0) * sizeof(uint32_t));
    }
}

namespace {
constexpr int kCaptionTop = 114, kCaptionRows = 48; // the rows of pano_scene's two caption bands

// pano_scene's blur window and fade level at time t.
struct PanoBlur {
    int n, level;
    explicit PanoBlur(int t) {
        const double a = t * 0.025;
        n = static_cast<int>(std::sqrt(std::fabs(std::sin(a))) * -40 + 41);
        level = static_cast<int>(std::fabs(std::sin(a + std::numbers::pi / 2)) * -150 + 240);
    }
};

// The panorama at a position, ready for a blur of window n: drawn into dest as it is (kPixels), or as its
// colours' quotients v / n where the images are indexed (kQuotients), which the blur then sums as they
// are; or, for a blur that fades (`runs`) and where the rows can be, not drawn but taken as runs of one
// quotient word into pano_run (kRuns), which the blur follows from run to run: a faded sum costs three
// look-ups, which the runs make once a run, where a plain sum costs a subtraction either way.
enum class PanoDrawn { kPixels, kQuotients, kRuns };
PanoRun pano_run[kScreenWords];
int pano_run_rows[kScreenH + 1];

PanoDrawn draw_pano(uint32_t* dest, uint32_t position, int n, bool runs) {
    const uint32_t* colours;
    const int count = pano_colours(&colours);
    if (count == 0 || n < (runs ? 1 : 2) || n > 255) {
        pano_effect(dest, position);
        return PanoDrawn::kPixels;
    }
    const uint32_t d = static_cast<uint32_t>(n);
    uint32_t quotients[256];
    for (int i = 0; i < count; i++) {
        const uint32_t c = colours[i];
        quotients[i] = (c >> 16 & 255) / d << 16 | (c >> 8 & 255) / d << 8 | (c & 255) / d;
    }
    if (runs && pano_runs(position, quotients, pano_run, pano_run_rows)) return PanoDrawn::kRuns;
    pano_effect_mapped(dest, position, quotients);
    return PanoDrawn::kQuotients;
}

// horiz_maf_fade of rows first .. first + rows - 1 of the panorama that draw_pano(src, ..., n) drew.
void blur_pano_rows(PanoDrawn drawn, const uint32_t* src, uint32_t* dst, int first, int rows, int n,
                    int level, int then_level) {
    if (drawn == PanoDrawn::kRuns)
        horiz_maf_fade_runs(pano_run, pano_run_rows, dst, first, rows, kScreenW, n, level, then_level);
    else
        (drawn == PanoDrawn::kQuotients ? horiz_maf_fade_divided : horiz_maf_fade)(
            src, dst, 0, first, 0, first, kScreenW, rows, kScreenW, kScreenH, n, level, then_level);
}

// pano_scene's blur and fade of the panorama drawn into blur_frame into rows `first` ..
// `first + rows - 1` of frame, faded once more by then_level.
void pano_blur_rows(uint32_t* frame, PanoBlur blur, PanoDrawn drawn, int first, int rows, int then_level) {
    blur_pano_rows(drawn, blur_frame, frame, first, rows, blur.n, blur.level, then_level);
}

void pano_captions(uint32_t* frame, int t) {
    caption_blend(125, kCaptionTop, 0, t < 255 ? t : 255, frame);
    const int late = t - 128;
    caption_blend(65, kCaptionTop + 24, 1, late < 0 ? 0 : late > 255 ? 255 : late, frame);
}
} // namespace

void pano_scene(uint32_t* frame, int t) {
    const PanoBlur blur(t);
    const PanoDrawn drawn = draw_pano(blur_frame, static_cast<uint32_t>(10000 - t), blur.n, true);
    // Blurred and faded towards black in one pass.
    pano_blur_rows(frame, blur, drawn, 0, kScreenH, 0);
    pano_captions(frame, t);
}

namespace {
constexpr int kStripRows = kStripY + kThumbH; // the frame rows a thumb strip covers
} // namespace

void pano_halftone_fade(uint32_t* scratch, uint32_t* frame, int pano_t, int halftone_t, int level) {
    level = std::clamp(level, 0, 255);
    halftone_scene(frame, halftone_t);
#if (defined(__SSE2__) || defined(__ARM_NEON)) && !defined(SHORELINE_NO_SIMD)
    // A vector unit blends both sources in one pass as quickly as it weighs one.
    pano_scene(scratch, pano_t);
    cross_fade(scratch, frame, frame, kScreenWords, level);
#else
    // The cross-fade's weight of the panorama, i * (255 - level) / 255 per byte, is a fade towards black
    // too: outside the caption rows the blur applies it with its own. The caption rows are weighed after
    // their captions.
    const PanoBlur blur(pano_t);
    const PanoDrawn drawn = draw_pano(blur_frame, static_cast<uint32_t>(10000 - pano_t), blur.n, true);
    constexpr int kBelow = kCaptionTop + kCaptionRows;
    pano_blur_rows(scratch, blur, drawn, 0, kCaptionTop, level);
    pano_blur_rows(scratch, blur, drawn, kCaptionTop, kCaptionRows, 0);
    pano_blur_rows(scratch, blur, drawn, kBelow, kScreenH - kBelow, level);
    pano_captions(scratch, pano_t);
    uint32_t* const captions = scratch + kCaptionTop * kScreenW;
    add_fade(captions, captions, captions, kCaptionRows * kScreenW, 255 - level, 0);
    // The halftone scene weighed in place and the panorama added (no byte passes 255). The halftone has
    // no blue: its dots and thumbnails come from the panorama, whose pictures are red and orange.
    add_red_green_weighed(frame, scratch, kScreenWords, level);
#endif
}

void halftone_scene(uint32_t* frame, int t) {
    // The halftone samples only columns 3k of rows 5k and 5k + 2 (dot centres and 3 pixels up and left of
    // them), and the blur then writes the whole frame: the panorama is drawn only there.
    pano_effect_grid(frame, static_cast<uint32_t>(10000 - t), 3, 5, 0b101);
    // Without blue (the panorama's pictures are red and orange) the blur takes two channels' quotients.
    const bool blue = halftone_fill(halftone_frame, frame, 255);
    // Onto black a dot line's rows y - 1 and y + 1 are the same (a dot's rows 2 and 4 are, and no other
    // line reaches them), and so are their blurs: rows 5k + 1 are copied from rows 5k - 1 (k >= 1).
    const int n = static_cast<int>(std::sin(t * 0.1) * 8 + 10);
    auto blur = [&](int first, int rows) {
        (blue ? horiz_maf : horiz_maf_red_green)(halftone_frame, frame, 0, first, 0, first, kScreenW, rows,
                                                 kScreenW, kScreenH, n);
    };
    blur(0, 6);
    for (int y = 6; y < kScreenH; y += 5) {
        std::memcpy(frame + y * kScreenW, frame + (y - 2) * kScreenW, kScreenW * sizeof(uint32_t));
        blur(y + 1, std::min(4, kScreenH - 1 - y));
    }
    make_thumb(frame);
    static constexpr int xs[] = {12, 90, 168, 246};
    thumb_strip(frame, xs, 4);
}

namespace {
// zoom_scene's zoom and the rows of its three bobbing thumbnails (at column kZoomThumbX).
constexpr int kZoomThumbX = 245;
int zoom_depth(int t) {
    return static_cast<int>((100080 - t) + std::sin(t * (1.0 / 15)) * 60);
}
void zoom_thumb_rows(int t, int* rows) {
    const double u = t * 0.0625;
    rows[0] = static_cast<int>(std::sin(u) * 16 + 24);
    rows[1] = static_cast<int>(std::sin(u + 1) * 16 + 96);
    rows[2] = static_cast<int>(std::sin(u + 2) * 16 + 168);
}
} // namespace

void zoom_scene(uint32_t* frame, int t) {
    const int z = zoom_depth(t);
#if defined(__SSE2__) && !defined(SHORELINE_NO_SIMD)
    // SSE2 draws the whole zoomer 16 bytes at a time faster than it finds what the mask shows.
    suumi_effect(zoom_frame, z, 5.0, zoom_texture, zoom_texture, zoom_texture);
    venkula(t, frame, zoom_frame);
#else
    // Without a vector unit the zoomer is drawn masked, and only where the mask lets it through.
    venkula_coverage(t, zoom_cover);
    const ZoomPicture p;
    suumi_effect_masked(frame, z, 5.0, p.bytes, p.bytes, p.bytes, p.palette, zoom_cover, p.size);
#endif
    make_thumb(frame);
    int rows[3];
    zoom_thumb_rows(t, rows);
    for (const int y : rows) paste_thumb(frame, kZoomThumbX, y);
}

void zoom_cross_fade(uint32_t* scratch, uint32_t* frame, int t, int level) {
    level = std::clamp(level, 0, 255);
#if defined(__SSE2__) && !defined(SHORELINE_NO_SIMD)
    // SSE2 draws the zoom scene whole (see zoom_scene) and blends both sources in one pass.
    zoom_scene(scratch, t);
    cross_fade(frame, scratch, frame, kScreenWords, level);
#else
    // The frame is weighed in place, and the zoomer's weighed colours are added where the mask shows it
    // (no byte passes 255: the two weights add up to 255). The thumbnails sample the zoomer unweighed and
    // cover it: the mask is cleared under them, and their weighed pixels added.
    const int z = zoom_depth(t);
    venkula_coverage(t, zoom_cover);
    const ZoomPicture p;
    suumi_effect_masked_samples(scratch, z, 5.0, p.bytes, p.bytes, p.bytes, p.palette, zoom_cover, 5);
    make_thumb(scratch);
    int rows[3];
    zoom_thumb_rows(t, rows);
    int shown[kScreenH]; // the thumbnail pasted last over each row, or -1
    std::fill(shown, shown + kScreenH, -1);
    for (int k = 0; k < 3; k++)
        for (int r = std::max(0, rows[k]); r < std::min(kScreenH, rows[k] + kThumbH); r++) {
            shown[r] = k;
            std::memset(zoom_cover + r * kScreenW + kZoomThumbX, 0, kThumbW);
        }
    add_fade(frame, frame, frame, kScreenWords, 255 - level, 0);
    suumi_effect_masked_add(frame, z, 5.0, p.bytes, p.bytes, p.bytes, p.palette, zoom_cover, level, p.size);
    uint32_t weighed[kThumbW * kThumbH];
    add_fade(thumb, thumb, weighed, kThumbW * kThumbH, level, 0);
    for (int r = 0; r < kScreenH; r++) {
        if (shown[r] < 0) continue;
        uint32_t* to = frame + r * kScreenW + kZoomThumbX;
        add_fade(to, weighed + (r - rows[shown[r]]) * kThumbW, to, kThumbW, 255, 255);
    }
#endif
}

void twist_scene(uint32_t* frame, int t) {
    // The panorama is drawn into frame only to be blurred: the hole mask then writes the whole frame.
    const int n = static_cast<int>(std::fabs(std::sin(t * (1.0 / 12))) * 20 + 1);
    blur_pano_rows(draw_pano(frame, static_cast<uint32_t>(t), n, false), frame, twist_frame, 0, kScreenH, n,
                   0, 0);
    venkula(t, frame, twist_frame);
    make_thumb(frame);
}

int bounce_offset(int t) {
    int k;
    if (t < 24)
        k = 144 - (t - 12) * (t - 12);
    else if (t < 36)
        k = 36 - (t - 30) * (t - 30);
    else
        k = 9 - (t - 39) * (t - 39);
    return k / 3;
}
