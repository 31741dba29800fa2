// Halftone: re-draws a source picture as a screen of soft round dots, one size per colour channel,
// added onto the destination with saturation (main thread). Dot centres lie 6 columns and 5 rows apart,
// odd rows shifted by 3 columns; each dot is 7x7 and takes its size from the average of four source
// pixels. halftone_init builds the dot profile (a brightness threshold per dot pixel) once.
//
// A dot pixel with threshold t gets, per channel with level L >= 4: 255 if t < L, ramp[t - L] if
// t < L + 85, else nothing; the sum saturates at 255. Adding 255 saturates too, so every case is one
// saturating add, and the order in which overlapping dots are added does not matter. What a dot adds
// depends only on its three levels, so halftone_init also keeps, per level, the byte a channel gets at
// each dot pixel: a dot row is three such table rows interleaved into words.
//
// The frame is drawn through a few row buffers with margins, so that dots at the edges need no clipping
// and every row is stored once, whole; halftone_fill starts the rows from black instead of from the
// destination.
#include "fx.h"

#include "lanes.h"
#include "swar.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <vector>

namespace {

using namespace lanes;

constexpr int kDot = 7, kHalf = 3, kRamp = 85;
constexpr int kStepX = 6, kStepY = 5; // dot spacing; odd lines shifted by kStepX / 2
constexpr int kRow = 8;               // dot rows padded to 8 pixels (two vectors of words); the 8th adds 0
constexpr int kMargin = 8;            // buffer words either side of a row: dots reach 3 left, 4 right

// The word path: for cores without a vector unit, and for 32-bit ARM's NEON, where a dot's short rows
// gain less from 16-byte lanes than from hand-written word stores.
#if defined(__ARM_NEON) && !defined(__aarch64__)
constexpr bool kWords = true;
#else
constexpr bool kWords = !kVectorUnit;
#endif

int frame_w = 0, frame_h = 0;
int profile[kDot][kDot];             // threshold of each dot pixel, -1 outside the dot
uint8_t dot_bytes[256][kDot * kRow]; // [level][row * kRow + column]: what a channel at that level adds

std::vector<uint32_t> band; // kDot rows of frame_w + 2 * kMargin words: the rows one dot line covers

// The columns of dot row r that the dot covers (distance from the centre at most 3.5, so a threshold):
// dot_first(r) .. dot_end(r) - 1. The word path adds only those.
constexpr int dot_reach(int r) {
    int c = 0;
    while ((c + 1) * (c + 1) + (r - kHalf) * (r - kHalf) <= 12) c++; // squares are whole: <= 12.25
    return c;
}
constexpr int dot_first(int r) {
    return kHalf - dot_reach(r);
}
constexpr int dot_end(int r) {
    return kHalf + dot_reach(r) + 1;
}

// Words of eight dot pixels from the blue, green and red byte rows.
void dot_row(const uint8_t* b, const uint8_t* g, const uint8_t* r, Bytes& low, Bytes& high) {
    auto load8 = [](const uint8_t* p) {
        uint64_t x;
        std::memcpy(&x, p, 8);
        using Halves = uint64_t __attribute__((vector_size(16)));
        return reinterpret_cast<Bytes>(Halves{x, 0});
    };
    const Bytes zero = {};
    const Bytes bg =
        __builtin_shufflevector(load8(b), load8(g), 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
    const Bytes r0 =
        __builtin_shufflevector(load8(r), zero, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
    low = __builtin_shufflevector(bg, r0, 0, 1, 16, 17, 2, 3, 18, 19, 4, 5, 20, 21, 6, 7, 22, 23);
    high = __builtin_shufflevector(bg, r0, 8, 9, 24, 25, 10, 11, 26, 27, 12, 13, 28, 29, 14, 15, 30, 31);
}

// The channels' averages of the up to four samples of the dot centred at (x, y) that have non-negative
// coordinates: (x - 3, y - 3), (x, y - 3), (x - 3, y) and (x, y) of a frame w words wide.
void dot_average(const uint32_t* src, int w, int x, int y, uint32_t& sb, uint32_t& sg, uint32_t& sr) {
    if (x >= kHalf && y >= kHalf) {
        // All four: blue and red summed side by side in one word (each sum below 2^10).
        const uint32_t* above = src + (y - kHalf) * w + x - kHalf;
        const uint32_t* at = src + y * w + x - kHalf;
        const uint32_t p0 = above[0], p1 = above[kHalf], p2 = at[0], p3 = at[kHalf];
        const uint32_t rb = (p0 & 0xFF00FFu) + (p1 & 0xFF00FFu) + (p2 & 0xFF00FFu) + (p3 & 0xFF00FFu);
        sb = rb >> 2 & 255;
        sr = rb >> 18 & 255;
        sg = ((p0 >> 8 & 255) + (p1 >> 8 & 255) + (p2 >> 8 & 255) + (p3 >> 8 & 255)) >> 2;
        return;
    }
    uint32_t n = 0;
    sb = sg = sr = 0;
    for (int sy = y - kHalf; sy <= y; sy += kHalf)
        for (int sx = x - kHalf; sx <= x; sx += kHalf) {
            if (sy < 0 || sx < 0) continue;
            const uint32_t v = src[sy * w + sx];
            sb += v & 255;
            sg += v >> 8 & 255;
            sr += v >> 16 & 255;
            n++;
        }
    // n is 1 or 2 here (the centre always counts): a shift, where a 32-bit core has no divide instruction.
    const uint32_t shift = n >> 1;
    sb >>= shift;
    sg >>= shift;
    sr >>= shift;
}

// Adds the dot whose channels' byte rows are b, g and r onto the band, its top-left pixel at p.
void add_dot(uint32_t* p, ptrdiff_t stride, const uint8_t* b, const uint8_t* g, const uint8_t* r) {
    for (int i = 0; i < kDot; i++, p += stride) {
        Bytes low, high;
        dot_row(b + i * kRow, g + i * kRow, r + i * kRow, low, high);
        store(p, add_saturate(load(p), low));
        store(p + 4, add_saturate(load(p + 4), high));
    }
}

// The word path's dot, added straight onto a frame `stride` words wide (saturating adds commute, so dots
// may be added in any order). A dot is symmetric about its centre row and column (its thresholds depend
// on the distance only), so its pixels take 13 distinct words: rows R and 6 - R, and columns c and 6 - c,
// share them. Each pair of rows is added with its words made once; with `mirrored_row4` row 4 is left
// out, to be copied from row 2 (see draw_words).
//
// With kFill the frame was black before the dots, which are drawn line by line and left to right: a
// pixel that no earlier dot can have reached is stored instead of added. Rows 5 and 6 are a line's own
// until the next line; rows 2 to 4 are the line's alone, but for column 0, the previous dot's column 6.
template <int R, bool kFill>
void add_dot_rows(uint32_t* p, ptrdiff_t stride, const uint8_t* b, const uint8_t* g, const uint8_t* r,
                  bool both) {
    constexpr int first = dot_first(R), end = dot_end(R);
    uint32_t word[kHalf + 1];
    for (int c = first; c <= kHalf; c++)
        word[c] = b[R * kRow + c] | g[R * kRow + c] << 8 | uint32_t{r[R * kRow + c]} << 16;
    auto at = [&](int c) { return word[c <= kHalf ? c : kDot - 1 - c]; };
    auto add = [&](uint32_t* row, int from) {
        for (int c = from; c < end; c++) row[c] = swar::add_saturate(row[c], at(c));
    };
    auto put = [&](uint32_t* row, int from) {
        for (int c = from; c < end; c++) row[c] = at(c);
    };
    // A row whose pixels only column 0 may share: added there, stored elsewhere.
    auto own_row = [&](uint32_t* row) {
        row[0] = swar::add_saturate(row[0], at(0));
        put(row, 1);
    };
    uint32_t* const top = p + R * stride;
    if (kFill && R >= 2)
        own_row(top);
    else
        add(top, first);
    if (R == kHalf || !both) return;
    uint32_t* const bottom = p + (kDot - 1 - R) * stride;
    if (!kFill)
        add(bottom, first);
    else if (R < 2)
        put(bottom, first);
    else
        own_row(bottom);
}
template <bool kFill>
void add_dot_words(uint32_t* p, ptrdiff_t stride, const uint8_t* b, const uint8_t* g, const uint8_t* r,
                   bool mirrored_row4) {
    add_dot_rows<0, kFill>(p, stride, b, g, r, true);
    add_dot_rows<1, kFill>(p, stride, b, g, r, true);
    add_dot_rows<2, kFill>(p, stride, b, g, r, !mirrored_row4);
    add_dot_rows<3, kFill>(p, stride, b, g, r, true);
}

// add_dot_words<true>(p, stride, b, g, r, true) for 32-bit ARM: by hand 107 instructions a dot, where
// the compiler keeps its rows' pointers on the stack. A row's words are made from their three bytes,
// and the rows added or stored in pairs of words.
void add_dot_onto_black(uint32_t* p, ptrdiff_t stride, const uint8_t* b, const uint8_t* g, const uint8_t* r) {
#if defined(__ARM_FEATURE_SIMD32) && defined(__thumb2__) && defined(__OPTIMIZE__)
    const uint32_t s = static_cast<uint32_t>(stride) * 4; // bytes per frame row
    uint32_t w0, w1, w2, w3, t0, t1, q;
    // clang-format off
#define DOT_WORD(W, OFF)                                                                                     \
    "ldrb    %[t0], [%[b], #" OFF "]\n\t"                                                                    \
    "ldrb    %[t1], [%[g], #" OFF "]\n\t"                                                                    \
    "orr     %[" W "], %[t0], %[t1], lsl #8\n\t"                                                             \
    "ldrb    %[t1], [%[r], #" OFF "]\n\t"                                                                    \
    "orr     %[" W "], %[" W "], %[t1], lsl #16\n\t"
// A row that only column 0 shares (rows 2 and 3, at %[q]): added there, stored elsewhere.
#define DOT_OWN_ROW                                                                                          \
    "ldr     %[t0], [%[q]]\n\t"                                                                              \
    "uqadd8  %[t0], %[t0], %[w0]\n\t"                                                                        \
    "strd    %[t0], %[w1], [%[q]]\n\t"                                                                       \
    "strd    %[w2], %[w3], [%[q], #8]\n\t"                                                                   \
    "strd    %[w2], %[w1], [%[q], #16]\n\t"                                                                  \
    "str     %[w0], [%[q], #24]\n\t"
    asm volatile(
        // rows 0 and 6, columns 2..4: added on row 0, stored on row 6
        DOT_WORD("w0", "2") DOT_WORD("w1", "3")
        "ldrd    %[t0], %[t1], [%[p], #8]\n\t"
        "uqadd8  %[t0], %[t0], %[w0]\n\t"
        "uqadd8  %[t1], %[t1], %[w1]\n\t"
        "strd    %[t0], %[t1], [%[p], #8]\n\t"
        "ldr     %[t0], [%[p], #16]\n\t"
        "uqadd8  %[t0], %[t0], %[w0]\n\t"
        "str     %[t0], [%[p], #16]\n\t"
        "add     %[q], %[p], %[s], lsl #2\n\t"
        "add     %[q], %[q], %[s], lsl #1\n\t"
        "strd    %[w0], %[w1], [%[q], #8]\n\t"
        "str     %[w0], [%[q], #16]\n\t"
        // rows 1 and 5, columns 1..5
        DOT_WORD("w0", "9") DOT_WORD("w1", "10") DOT_WORD("w2", "11")
        "add     %[q], %[p], %[s]\n\t"
        "ldrd    %[t0], %[t1], [%[q], #4]\n\t"
        "uqadd8  %[t0], %[t0], %[w0]\n\t"
        "uqadd8  %[t1], %[t1], %[w1]\n\t"
        "strd    %[t0], %[t1], [%[q], #4]\n\t"
        "ldrd    %[t0], %[t1], [%[q], #12]\n\t"
        "uqadd8  %[t0], %[t0], %[w2]\n\t"
        "uqadd8  %[t1], %[t1], %[w1]\n\t"
        "strd    %[t0], %[t1], [%[q], #12]\n\t"
        "ldr     %[t0], [%[q], #20]\n\t"
        "uqadd8  %[t0], %[t0], %[w0]\n\t"
        "str     %[t0], [%[q], #20]\n\t"
        "add     %[q], %[p], %[s], lsl #2\n\t"
        "add     %[q], %[q], %[s]\n\t"
        "strd    %[w0], %[w1], [%[q], #4]\n\t"
        "strd    %[w2], %[w1], [%[q], #12]\n\t"
        "str     %[w0], [%[q], #20]\n\t"
        // rows 2 and 3, columns 0..6 (row 4 is copied from row 2 after the line)
        DOT_WORD("w0", "16") DOT_WORD("w1", "17") DOT_WORD("w2", "18") DOT_WORD("w3", "19")
        "add     %[q], %[p], %[s], lsl #1\n\t"
        DOT_OWN_ROW
        DOT_WORD("w0", "24") DOT_WORD("w1", "25") DOT_WORD("w2", "26") DOT_WORD("w3", "27")
        "add     %[q], %[q], %[s]\n\t"
        DOT_OWN_ROW
        : [w0] "=&r"(w0), [w1] "=&r"(w1), [w2] "=&r"(w2), [w3] "=&r"(w3), [t0] "=&r"(t0), [t1] "=&r"(t1),
          [q] "=&r"(q)
        : [p] "r"(p), [s] "r"(s), [b] "r"(b), [g] "r"(g), [r] "r"(r)
        : "memory");
#undef DOT_WORD
#undef DOT_OWN_ROW
    // clang-format on
#else
    add_dot_words<true>(p, stride, b, g, r, true);
#endif
}

// draw without a vector unit: the dots are added onto the frame itself (cleared first when `fill`),
// those at the edges clipped pixel by pixel.
// The dots of line y centred at x, x + 6, ... while they lie inside the frame, onto black with the line's
// row 4 left to copy (3 <= x, 3 <= y, y + 3 < h): kept out of line, so that its loop keeps its values in
// registers. Returns the first centre past them; ORs the blue levels of the dots drawn into `blue`.
[[gnu::noinline]] int inner_dots_onto_black(uint32_t* dest, const uint32_t* src, int w, int y, int x,
                                            const uint8_t* level, uint32_t& blue) {
    const uint32_t* above = src + static_cast<ptrdiff_t>(y - kHalf) * w - kHalf;
    const uint32_t* at = src + static_cast<ptrdiff_t>(y) * w - kHalf;
    uint32_t* const top_left = dest + static_cast<ptrdiff_t>(y - kHalf) * w - kHalf;
    uint32_t blues = 0;
    for (; x + kHalf < w; x += kStepX) {
        const uint32_t p0 = above[x], p1 = above[x + kHalf], p2 = at[x], p3 = at[x + kHalf];
        const uint32_t rb = (p0 & 0xFF00FFu) + (p1 & 0xFF00FFu) + (p2 & 0xFF00FFu) + (p3 & 0xFF00FFu);
        const unsigned lb = level[rb >> 2 & 255], lr = level[rb >> 18 & 255],
                       lg = level[((p0 >> 8 & 255) + (p1 >> 8 & 255) + (p2 >> 8 & 255) + (p3 >> 8 & 255)) >>
                                  2];
        if ((lb | lg | lr) < 4) continue;
        blues |= lb;
        add_dot_onto_black(top_left + x, w, dot_bytes[lb], dot_bytes[lg], dot_bytes[lr]);
    }
    blue |= blues;
    return x;
}

// Returns the OR of the blue levels of the dots drawn (below 4: no dot drew blue).
uint32_t draw_words(uint32_t* dest, const uint32_t* src, int w, int h, const uint8_t* level, bool fill) {
    uint32_t blue = 0;
    if (fill) clear_words(dest, w * h);
    for (int line = 0, y = 0; y < h; line++, y += kStepY) {
        // Rows y - 1 and y + 1 are covered by this line's dots alone, whose rows 2 and 4 are the same: drawn
        // onto black, row y + 1 is a copy of row y - 1.
        const bool mirrored = fill && y >= 1 && y + 1 < h;
        const bool inner_line = fill && y >= kHalf && y + kHalf < h;
        for (int x = (line & 1) * (kStepX / 2); x < w; x += kStepX) {
            if (inner_line && x >= kHalf && x + kHalf < w) {
                x = inner_dots_onto_black(dest, src, w, y, x, level, blue);
                if (x >= w) break;
            }
            uint32_t sb, sg, sr;
            dot_average(src, w, x, y, sb, sg, sr);
            const unsigned lb = level[sb], lg = level[sg], lr = level[sr];
            if (lb < 4 && lg < 4 && lr < 4) continue;
            blue |= lb;
            const uint8_t *b = dot_bytes[lb], *g = dot_bytes[lg], *r = dot_bytes[lr];
            if (x >= kHalf && x + kHalf < w && y >= kHalf && y + kHalf < h) {
                uint32_t* const at = dest + static_cast<ptrdiff_t>(y - kHalf) * w + x - kHalf;
                if (fill)
                    add_dot_words<true>(at, w, b, g, r, mirrored);
                else
                    add_dot_words<false>(at, w, b, g, r, mirrored);
                continue;
            }
            for (int i = 0; i < kDot; i++) {
                const int fy = y - kHalf + i;
                if (fy < 0 || fy >= h) continue;
                uint32_t* row = dest + static_cast<ptrdiff_t>(fy) * w;
                for (int c = std::max(dot_first(i), kHalf - x); c < std::min(dot_end(i), w + kHalf - x);
                     c++) {
                    const int k = i * kRow + c;
                    uint32_t& p = row[x - kHalf + c];
                    p = swar::add_saturate(p, b[k] | g[k] << 8 | uint32_t{r[k]} << 16);
                }
            }
        }
        if (mirrored)
            std::memcpy(dest + static_cast<ptrdiff_t>(y + 1) * w, dest + static_cast<ptrdiff_t>(y - 1) * w,
                        sizeof(uint32_t) * static_cast<size_t>(w));
    }
    return blue;
}

// The whole frame, one dot line at a time, through a band of the seven rows the line covers (rows
// outside the frame included, never stored). A row is started (from the destination, or from black when
// `fill`) before the first line that reaches it and stored once no later line can: the last two rows of
// a line's band are the first two of the next line's.
// Returns whether a dot drew blue.
bool draw(uint32_t* dest, const uint32_t* src, int gain, bool fill) {
    const int w = frame_w, h = frame_h;
    if (w <= 0 || h <= 0) return false;
    // level[i] = i * gain / 255, 255 once i * gain reaches 65280; a negative gain draws nothing. Gains
    // beyond 65280 give the same table as 65280, which keeps the products within 32 bits.
    uint8_t level[256];
    const uint32_t g = static_cast<uint32_t>(std::clamp(gain, 0, 65280));
    for (uint32_t i = 0, x = 0; i < 256; i++, x += g)
        level[i] = x >= 65280 ? 255 : static_cast<uint8_t>(div255(x));
    if constexpr (kWords) return draw_words(dest, src, w, h, level, fill) >= 4;
    uint32_t blue = 0;
    const ptrdiff_t stride = w + 2 * kMargin;
    uint32_t* const top =
        band.data() + kMargin; // band row i at top + i * stride, columns -kMargin .. w + kMargin
    auto frame_row = [&](int y) { return dest + static_cast<ptrdiff_t>(y) * w; };
    constexpr int kKept = kDot - kStepY; // band rows handed on to the next line
    for (int line = 0, y = 0; y < h; line++, y += kStepY) {
        for (int i = line == 0 ? 0 : kKept; i < kDot; i++) { // start the band's new rows
            uint32_t* row = top + i * stride;
            const int fy = y - kHalf + i;
            if (fy < 0 || fy >= h || fill)
                std::fill(row, row + w, 0u);
            else
                std::copy(frame_row(fy), frame_row(fy) + w, row);
        }
        for (int x = (line & 1) * (kStepX / 2); x < w; x += kStepX) {
            uint32_t sb, sg, sr;
            dot_average(src, w, x, y, sb, sg, sr);
            const unsigned lb = level[sb], lg = level[sg], lr = level[sr];
            if (lb < 4 && lg < 4 && lr < 4) continue;
            blue |= lb;
            add_dot(top + x - kHalf, stride, dot_bytes[lb], dot_bytes[lg], dot_bytes[lr]);
        }
        const bool last = y + kStepY >= h;
        for (int i = 0; i < (last ? kDot : kStepY); i++) { // store the finished rows
            const int fy = y - kHalf + i;
            if (fy >= 0 && fy < h) std::copy(top + i * stride, top + i * stride + w, frame_row(fy));
        }
        if (last) {
            if (fill) // a last row below every dot
                for (int fy = y + kHalf + 1; fy < h; fy++) std::fill(frame_row(fy), frame_row(fy) + w, 0u);
        } else {
            std::copy(top - kMargin + kStepY * stride, top - kMargin + kDot * stride, top - kMargin);
        }
    }
    return blue >= 4;
}

} // namespace

void halftone_init(int width, int height) {
    frame_w = width;
    frame_h = height;
    for (int r = 0; r < kDot; r++)
        for (int c = 0; c < kDot; c++) {
            const double d =
                std::sqrt(static_cast<double>((r - kHalf) * (r - kHalf) + (c - kHalf) * (c - kHalf)));
            profile[r][c] = d <= 3.5 ? static_cast<int>((d + 0.25) * (256.0 / 3)) : -1;
        }

    int ramp[kRamp]; // 256 for k = 0 down to 3 for k = 84
    for (int k = 0; k < kRamp; k++) ramp[k] = 256 * (kRamp - k) / kRamp;
    for (int level = 0; level < 256; level++)
        for (int r = 0; r < kDot; r++)
            for (int c = 0; c < kRow; c++) {
                const int t = c < kDot ? profile[r][c] : -1;
                int add = 0;
                if (t >= 0 && level >= 4)
                    add = t < level ? 255 : t < level + kRamp ? std::min(255, ramp[t - level]) : 0;
                dot_bytes[level][r * kRow + c] = static_cast<uint8_t>(add);
            }
    band.assign(kDot * (static_cast<size_t>(std::max(width, 0)) + 2 * kMargin), 0u);
}

void halftone(uint32_t* dest, const uint32_t* src, int gain) {
    draw(dest, src, gain, false);
}

bool halftone_fill(uint32_t* dest, const uint32_t* src, int gain) {
    return draw(dest, src, gain, true);
}
