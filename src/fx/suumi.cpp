// Zoomer: an endless rotating zoom through three 256x256 pictures (main thread). The main layer is
// sampled through a rotated square that shrinks over each 256-tick cycle while a layer at 1/256 of its
// scale fades in; each cycle promotes the faded-in picture. Sampling coordinates are 16.16 fixed point:
// the main layer reads texel (u >> 16, v >> 16), the faded-in layer texel (u >> 8, v >> 8), both mod 256.
// All trigonometry is per frame; the pixel loop is integer only.
#include "fx.h"

#include "lanes.h"
#include "swar.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <numbers>
#if defined(__SSE2__) && !defined(SHORELINE_NO_SIMD)
#include <emmintrin.h>
#endif

namespace {

// GCC's straight-line vectoriser would pack the gathered texels into vectors lane by lane before storing
// them, which costs more than the plain stores; other compilers get no such hint.
#if defined(__GNUC__) && !defined(__clang__)
#define SUUMI_SCALAR_STORES [[gnu::optimize("no-tree-slp-vectorize")]]
#else
#define SUUMI_SCALAR_STORES
#endif

int out_w = 0, out_h = 0;

// double to int, truncating; values that an int cannot hold (or NaN, from a strange exponent) give 0
// instead of undefined behaviour.
int to_int(double v) {
    return v > -2147483648.0 && v < 2147483648.0 ? static_cast<int>(v) : 0;
}

// The texels of n pixels along a row: main (v >> 16, u >> 16) and faded (v >> 8, u >> 8), both mod 256;
// u and v advance by du and dv per pixel.
SUUMI_SCALAR_STORES void gather(const uint32_t* main, const uint32_t* faded, uint32_t& u, uint32_t& v,
                                uint32_t du, uint32_t dv, int n, uint32_t* main_texel,
                                uint32_t* faded_texel) {
    int j = 0;
#if defined(__SSE2__) || defined(__ARM_NEON)
    // Four pixels' u and v in lanes. Interleaving their bytes gives, per pixel, the 16-bit words
    // (v byte 1 : u byte 1), the faded texel's index, and (v byte 2 : u byte 2), the main texel's.
    using Words = uint32_t __attribute__((vector_size(16)));
    using Indices = uint16_t __attribute__((vector_size(16)));
    static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "byte 1 of a lane is bits 8..15");
    Words uu = Words{0, 1, 2, 3} * du + u, vv = Words{0, 1, 2, 3} * dv + v;
    const uint32_t du4 = 4 * du, dv4 = 4 * dv;
    for (; j + 4 <= n; j += 4, uu += du4, vv += dv4) {
        const lanes::Bytes ub = reinterpret_cast<lanes::Bytes>(uu), vb = reinterpret_cast<lanes::Bytes>(vv);
        const Indices lo = reinterpret_cast<Indices>(
            __builtin_shufflevector(ub, vb, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23));
        const Indices hi = reinterpret_cast<Indices>(
            __builtin_shufflevector(ub, vb, 8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31));
        faded_texel[j] = faded[lo[1]];
        main_texel[j] = main[lo[2]];
        faded_texel[j + 1] = faded[lo[5]];
        main_texel[j + 1] = main[lo[6]];
        faded_texel[j + 2] = faded[hi[1]];
        main_texel[j + 2] = main[hi[2]];
        faded_texel[j + 3] = faded[hi[5]];
        main_texel[j + 3] = main[hi[6]];
    }
    u += static_cast<uint32_t>(j) * du;
    v += static_cast<uint32_t>(j) * dv;
#endif
    for (; j < n; j++, u += du, v += dv) {
        main_texel[j] = main[(v >> 8 & 0xFF00) | (u >> 16 & 255)];
        faded_texel[j] = faded[(v & 0xFF00) | (u >> 8 & 255)];
    }
}

// Each output channel is keep[M] + take[F] with keep[i] = i * (255 - f) / 255 and take[i] = i * f / 255,
// computed as exact divisions by 255 on 16 bytes at a time (as the fades do); the top byte is 0.
void blend(const uint32_t* main_texel, const uint32_t* faded_texel, uint16_t keep, uint16_t take, int n,
           uint32_t* d) {
    int j = 0;
    {
        using namespace lanes;
        const Bytes rgb = {255, 255, 255, 0, 255, 255, 255, 0,
                           255, 255, 255, 0, 255, 255, 255, 0}; // top bytes 0
        // Written out rather than through the lane helpers: no 32-byte vector crosses a call (an ABI
        // question without AVX) when a compiler chooses not to inline them.
        for (; j + 4 <= n; j += 4) {
            const Wide mk = __builtin_convertvector(load(main_texel + j), Wide) * keep;
            const Wide fk = __builtin_convertvector(load(faded_texel + j), Wide) * take;
            const Wide sum = ((mk + 1 + (mk >> 8)) >> 8) + ((fk + 1 + (fk >> 8)) >> 8);
            store(d + j, __builtin_convertvector(sum, Bytes) & rgb);
        }
    }
    for (; j < n; j++) {
        uint32_t out = 0;
        for (int ch = 0; ch < 3; ch++) {
            const uint16_t mc = main_texel[j] >> (8 * ch) & 255, fc = faded_texel[j] >> (8 * ch) & 255;
            out |=
                static_cast<uint32_t>(lanes::div255(uint16_t(mc * keep)) + lanes::div255(uint16_t(fc * take)))
                << (8 * ch);
        }
        d[j] = out;
    }
}

// A row gathered and blended word by word, for cores without a vector unit (swar.h). The main layer's
// texel stays the same over most neighbouring pixels and the faded layer's over many, so a pixel whose
// two texels are those of the pixel before it copies that pixel. The loop is short of registers on
// 32-bit ARM: the weights (keep, take and swar::kLaneOnes) are read from memory, which the stores to d
// might overwrite as far as the compiler knows, and a repeated pixel is read back from d.
[[gnu::noinline]] void blend_row_words(uint32_t u, uint32_t v, uint32_t du, uint32_t dv, const uint32_t* main,
                                       const uint32_t* faded, int n, const uint32_t* weights, uint32_t* d) {
    if (n <= 0) return;
    auto main_at = [&] { return main[(v >> 16 & 255) << 8 | (u >> 16 & 255)]; };
    auto faded_at = [&] { return faded[(v & 0xFF00) | (u >> 8 & 255)]; };
    uint32_t m = main_at(), f = faded_at();
    *d = swar::blend(m, weights[0], f, weights[1], weights[2]) & 0x00FFFFFFu;
    for (uint32_t* const end = d + n - 1; d != end;) {
        u += du;
        v += dv;
        d++;
        const uint32_t mt = main_at(), ft = faded_at();
        if (mt == m && ft == f) {
            *d = d[-1];
            continue;
        }
        m = mt;
        f = ft;
        *d = swar::blend(m, weights[0], f, weights[1], weights[2]) & 0x00FFFFFFu;
    }
}

// The hand-written pixel loops of paletted_span and masked_span: a pixel's two texels looked up and their
// weighted colours added into %[t0] (15 instructions with the store and the loop's test), and for
// masked_span the mask of its coverage byte applied (6 more).
// clang-format off
#if defined(__ARM_FEATURE_SIMD32) && defined(__thumb2__)
// A pixel's texels (main into %[t0], faded into %[t1]); uxtab adds a texel's column byte into its row bits
// in one.
#define SUUMI_TEXELS                                                                                         \
    "lsr    %[t0], %[v], #8\n\t"                                                                             \
    "and    %[t0], %[t0], #0xFF00\n\t"                                                                       \
    "uxtab  %[t0], %[t0], %[u], ror #16\n\t"                                                                 \
    "and    %[t1], %[v], #0xFF00\n\t"                                                                        \
    "uxtab  %[t1], %[t1], %[u], ror #8\n\t"                                                                  \
    "ldrb   %[t0], [%[main], %[t0]]\n\t"                                                                     \
    "ldrb   %[t1], [%[faded], %[t1]]\n\t"
#define SUUMI_PIXEL                                                                                          \
    SUUMI_TEXELS                                                                                             \
    "ldr    %[t0], [%[kept], %[t0], lsl #2]\n\t"                                                             \
    "ldr    %[t1], [%[taken], %[t1], lsl #2]\n\t"                                                            \
    "add    %[u], %[u], %[du]\n\t"                                                                           \
    "add    %[v], %[v], %[dv]\n\t"                                                                           \
    "add    %[t0], %[t0], %[t1]\n\t"
// The mask of the coverage byte in %[t2] applied (%[t1] a temporary); SUUMI_MASK loads the byte first.
#define SUUMI_MASK_OF                                                                                        \
    "orr    %[t1], %[t2], %[t2], lsl #8\n\t"                                                                 \
    "orr    %[t1], %[t1], %[t1], lsl #8\n\t"                                                                 \
    "lsr    %[t2], %[t2], #7\n\t"                                                                            \
    "lsl    %[t0], %[t0], %[t2]\n\t"                                                                         \
    "and    %[t0], %[t1], %[t0], lsr #1\n\t"
#define SUUMI_MASK                                                                                           \
    "ldrb   %[t2], [%[c]], #1\n\t"                                                                           \
    SUUMI_MASK_OF
// added_span's step instead of the mask: the red and green bytes of the pixel's masked and weighed
// colour from the row of its coverage class (the byte b in %[t2]), which lies b >> 4 rows of 256 bytes
// from %[kept], added to the frame's pixel (13 instructions with the store and the loop's test).
#define SUUMI_ADD_OF                                                                                         \
    "lsr    %[t2], %[t2], #4\n\t"                                                                            \
    "add    %[t2], %[kept], %[t2], lsl #8\n\t"                                                               \
    "ubfx   %[t1], %[t0], #16, #8\n\t"                                                                       \
    "ldrb   %[t1], [%[t2], %[t1]]\n\t"                                                                       \
    "ubfx   %[t0], %[t0], #8, #8\n\t"                                                                        \
    "ldrb   %[t0], [%[t2], %[t0]]\n\t"                                                                       \
    "orr    %[t0], %[t0], %[t1], lsl #8\n\t"                                                                 \
    "ldr    %[t1], [%[d]]\n\t"                                                                               \
    "add    %[t0], %[t1], %[t0], lsl #8\n\t"
#define SUUMI_ADD                                                                                            \
    "ldrb   %[t2], [%[c]], #1\n\t"                                                                           \
    SUUMI_ADD_OF
// The pixel through a pair table (pictures whose bytes are all below 8): the colour of its main texel m,
// faded texel f and coverage byte b (in %[t2]) at b << 6 | m << 3 | f, already masked (and for the added
// zoomer weighed), in 12 instructions; SUUMI_PAIR_ADD adds it to the frame's pixel.
#define SUUMI_PAIR                                                                                           \
    SUUMI_TEXELS                                                                                             \
    "add    %[u], %[u], %[du]\n\t"                                                                           \
    "add    %[v], %[v], %[dv]\n\t"                                                                           \
    "add    %[t0], %[t1], %[t0], lsl #3\n\t"                                                                 \
    "add    %[t0], %[t0], %[t2], lsl #6\n\t"                                                                 \
    "ldr    %[t0], [%[pairs], %[t0], lsl #2]\n\t"
#define SUUMI_PAIR_ADD                                                                                       \
    SUUMI_PAIR                                                                                               \
    "ldr    %[t1], [%[d]]\n\t"                                                                               \
    "add    %[t0], %[t0], %[t1]\n\t"
// A whole row of the masked or added zoomer (STEP: a covered pixel's colour into %[t0]) up to %[end], four
// coverage bytes at a time, so that no run has to be found: four uncovered pixels are passed over in 8
// instructions, and in a group with coverage each pixel is drawn as in a span (the group's test in place
// of the loop's) or passed over (6). %[t2] is a low register, for CBNZ.
#define SUUMI_ROW_PIXEL(STEP)                                                                                \
    "ldrb   %[t2], [%[c]], #1\n\t"                                                                           \
    "cbnz   %[t2], 1f\n\t"                                                                                   \
    "add    %[u], %[u], %[du]\n\t"                                                                           \
    "add    %[v], %[v], %[dv]\n\t"                                                                           \
    "add    %[d], %[d], #4\n\t"                                                                              \
    "b      2f\n"                                                                                            \
    "1:\n\t"                                                                                                 \
    STEP                                                                                                     \
    "str    %[t0], [%[d]], #4\n"                                                                             \
    "2:\n\t"
#define SUUMI_ROW(STEP)                                                                                      \
    "3:\n\t"                                                                                                 \
    "ldr    %[t2], [%[c]]\n\t"                                                                               \
    "cbnz   %[t2], 4f\n\t"                                                                                   \
    "add    %[u], %[u], %[du], lsl #2\n\t"                                                                   \
    "add    %[v], %[v], %[dv], lsl #2\n\t"                                                                   \
    "add    %[c], %[c], #4\n\t"                                                                              \
    "add    %[d], %[d], #16\n\t"                                                                             \
    "cmp    %[d], %[end]\n\t"                                                                                \
    "bne    3b\n\t"                                                                                          \
    "b      5f\n"                                                                                            \
    "4:\n\t"                                                                                                 \
    SUUMI_ROW_PIXEL(STEP) SUUMI_ROW_PIXEL(STEP) SUUMI_ROW_PIXEL(STEP) SUUMI_ROW_PIXEL(STEP)                  \
    "cmp    %[d], %[end]\n\t"                                                                                \
    "bne    3b\n"                                                                                            \
    "5:"
#define SUUMI_STORE                                                                                          \
    "str    %[t0], [%[d]], #4\n\t"                                                                           \
    "cmp    %[d], %[end]\n\t"                                                                                \
    "bne    1b"
#elif defined(__aarch64__)
// bfxil puts a texel's column byte under its row bits in one.
#define SUUMI_TEXELS                                                                                         \
    "lsr    %w[t0], %w[v], #8\n\t"                                                                           \
    "bfxil  %w[t0], %w[u], #16, #8\n\t"                                                                      \
    "and    %w[t0], %w[t0], #0xffff\n\t"                                                                     \
    "and    %w[t1], %w[v], #0xff00\n\t"                                                                      \
    "bfxil  %w[t1], %w[u], #8, #8\n\t"                                                                       \
    "ldrb   %w[t0], [%[main], %w[t0], uxtw]\n\t"                                                             \
    "ldrb   %w[t1], [%[faded], %w[t1], uxtw]\n\t"
#define SUUMI_PIXEL                                                                                          \
    SUUMI_TEXELS                                                                                             \
    "ldr    %w[t0], [%[kept], %w[t0], uxtw #2]\n\t"                                                          \
    "ldr    %w[t1], [%[taken], %w[t1], uxtw #2]\n\t"                                                         \
    "add    %w[u], %w[u], %w[du]\n\t"                                                                        \
    "add    %w[v], %w[v], %w[dv]\n\t"                                                                        \
    "add    %w[t0], %w[t0], %w[t1]\n\t"
#define SUUMI_MASK_OF                                                                                        \
    "orr    %w[t1], %w[t2], %w[t2], lsl #8\n\t"                                                              \
    "orr    %w[t1], %w[t1], %w[t1], lsl #8\n\t"                                                              \
    "lsr    %w[t2], %w[t2], #7\n\t"                                                                          \
    "lsl    %w[t0], %w[t0], %w[t2]\n\t"                                                                      \
    "and    %w[t0], %w[t1], %w[t0], lsr #1\n\t"
#define SUUMI_MASK                                                                                           \
    "ldrb   %w[t2], [%[c]], #1\n\t"                                                                          \
    SUUMI_MASK_OF
#define SUUMI_ADD_OF                                                                                         \
    "lsr    %w[t2], %w[t2], #4\n\t"                                                                          \
    "add    %x[t2], %[kept], %x[t2], lsl #8\n\t"                                                             \
    "ubfx   %w[t1], %w[t0], #16, #8\n\t"                                                                     \
    "ldrb   %w[t1], [%x[t2], %w[t1], uxtw]\n\t"                                                              \
    "ubfx   %w[t0], %w[t0], #8, #8\n\t"                                                                      \
    "ldrb   %w[t0], [%x[t2], %w[t0], uxtw]\n\t"                                                              \
    "orr    %w[t0], %w[t0], %w[t1], lsl #8\n\t"                                                              \
    "ldr    %w[t1], [%[d]]\n\t"                                                                              \
    "add    %w[t0], %w[t1], %w[t0], lsl #8\n\t"
#define SUUMI_ADD                                                                                            \
    "ldrb   %w[t2], [%[c]], #1\n\t"                                                                          \
    SUUMI_ADD_OF
#define SUUMI_PAIR                                                                                           \
    SUUMI_TEXELS                                                                                             \
    "add    %w[u], %w[u], %w[du]\n\t"                                                                        \
    "add    %w[v], %w[v], %w[dv]\n\t"                                                                        \
    "add    %w[t0], %w[t1], %w[t0], lsl #3\n\t"                                                              \
    "add    %w[t0], %w[t0], %w[t2], lsl #6\n\t"                                                              \
    "ldr    %w[t0], [%[pairs], %w[t0], uxtw #2]\n\t"
#define SUUMI_PAIR_ADD                                                                                       \
    SUUMI_PAIR                                                                                               \
    "ldr    %w[t1], [%[d]]\n\t"                                                                              \
    "add    %w[t0], %w[t0], %w[t1]\n\t"
#define SUUMI_ROW_PIXEL(STEP)                                                                                \
    "ldrb   %w[t2], [%[c]], #1\n\t"                                                                          \
    "cbnz   %w[t2], 1f\n\t"                                                                                  \
    "add    %w[u], %w[u], %w[du]\n\t"                                                                        \
    "add    %w[v], %w[v], %w[dv]\n\t"                                                                        \
    "add    %[d], %[d], #4\n\t"                                                                              \
    "b      2f\n"                                                                                            \
    "1:\n\t"                                                                                                 \
    STEP                                                                                                     \
    "str    %w[t0], [%[d]], #4\n"                                                                            \
    "2:\n\t"
#define SUUMI_ROW(STEP)                                                                                      \
    "3:\n\t"                                                                                                 \
    "ldr    %w[t2], [%[c]]\n\t"                                                                              \
    "cbnz   %w[t2], 4f\n\t"                                                                                  \
    "add    %w[u], %w[u], %w[du], lsl #2\n\t"                                                                \
    "add    %w[v], %w[v], %w[dv], lsl #2\n\t"                                                                \
    "add    %[c], %[c], #4\n\t"                                                                              \
    "add    %[d], %[d], #16\n\t"                                                                             \
    "cmp    %[d], %[end]\n\t"                                                                                \
    "b.ne   3b\n\t"                                                                                          \
    "b      5f\n"                                                                                            \
    "4:\n\t"                                                                                                 \
    SUUMI_ROW_PIXEL(STEP) SUUMI_ROW_PIXEL(STEP) SUUMI_ROW_PIXEL(STEP) SUUMI_ROW_PIXEL(STEP)                  \
    "cmp    %[d], %[end]\n\t"                                                                                \
    "b.ne   3b\n"                                                                                            \
    "5:"
#define SUUMI_STORE                                                                                          \
    "str    %w[t0], [%[d]], #4\n\t"                                                                          \
    "cmp    %[d], %[end]\n\t"                                                                                \
    "b.ne   1b"
#endif
#define SUUMI_INPUTS                                                                                         \
    : [du] "r"(du), [dv] "r"(dv), [main] "r"(main), [faded] "r"(faded), [kept] "r"(kept),                    \
      [taken] "r"(taken), [end] "r"(end)                                                                     \
    : "cc", "memory"
// clang-format on

// The paletted zoomer's pixel at (u, v): the sum of its two texels' weighted colours (the weights' sum is
// 255, so no byte overflows).
inline uint32_t paletted_pixel(uint32_t u, uint32_t v, const uint8_t* main, const uint8_t* faded,
                               const uint32_t* kept, const uint32_t* taken) {
    return kept[main[(v >> 16 & 255) << 8 | (u >> 16 & 255)]] + taken[faded[(v & 0xFF00) | (u >> 8 & 255)]];
}

// A row of the paletted zoomer, for pixels d .. end - 1.
[[gnu::noinline]] void paletted_span(uint32_t u, uint32_t v, uint32_t du, uint32_t dv, const uint8_t* main,
                                     const uint8_t* faded, const uint32_t* kept, const uint32_t* taken,
                                     uint32_t* d, uint32_t* end) {
#if (defined(__ARM_FEATURE_SIMD32) && defined(__thumb2__)) || defined(__aarch64__)
    if (d == end) return;
    uint32_t t0, t1;
    asm volatile("1:\n\t" SUUMI_PIXEL SUUMI_STORE
                 : [t0] "=&r"(t0), [t1] "=&r"(t1), [u] "+r"(u), [v] "+r"(v), [d] "+r"(d)SUUMI_INPUTS);
#else
    for (; d != end; d++, u += du, v += dv) *d = paletted_pixel(u, v, main, faded, kept, taken);
#endif
}

// The zoomer's pixel z through the hole mask, with coverage byte b (fx.h): z's top byte is 0, so a shift
// up and down leaves it as it is.
inline uint32_t masked(uint32_t z, uint32_t b) {
    return ((z << (b >> 7)) >> 1) & (b * 0x010101u);
}

// paletted_span seen through the hole mask: pixel j with coverage byte b becomes masked(z, b).
[[gnu::noinline]] void masked_span(uint32_t u, uint32_t v, uint32_t du, uint32_t dv, const uint8_t* main,
                                   const uint8_t* faded, const uint32_t* kept, const uint32_t* taken,
                                   const uint8_t* covered, uint32_t* d, uint32_t* end) {
#if (defined(__ARM_FEATURE_SIMD32) && defined(__thumb2__) && defined(__OPTIMIZE__)) || defined(__aarch64__)
    if (d == end) return;
    uint32_t t0, t1, t2;
    asm volatile("1:\n\t" SUUMI_PIXEL SUUMI_MASK SUUMI_STORE
                 : [t0] "=&r"(t0), [t1] "=&r"(t1), [t2] "=&r"(t2), [u] "+r"(u), [v] "+r"(v), [d] "+r"(d),
                   [c] "+r"(covered)SUUMI_INPUTS);
#else
    for (; d != end; d++, u += du, v += dv)
        *d = masked(paletted_pixel(u, v, main, faded, kept, taken), *covered++);
#endif
}

// The colours that added_span adds: the palette weighed for either layer (kept, taken) and, per coverage
// class, each channel byte i masked by the class's coverage byte b and weighed by the cross-fade,
// faded[(b >> 4) - 4][i]. The five coverage bytes 0x40, 0x60, 0x7F, 0xC0 and 0xFF have b >> 4 of 4 to 15,
// so the class rows lie b >> 4 rows of 256 bytes from the start of kept, which comes first.
struct AddedColours {
    uint32_t kept[256];
    uint8_t faded[12][256];
    uint32_t taken[256];
    bool blue;             // some colour of the palette has a blue byte
    const uint32_t* pairs; // the pair table when the pictures' bytes are all below 8, else null
};
static_assert(offsetof(AddedColours, faded) == 4 * 256, "the class rows follow kept");

// masked_span's pixels weighed and added to d's instead of stored; every pixel from d to end is covered.
[[gnu::noinline]] void added_span(uint32_t u, uint32_t v, uint32_t du, uint32_t dv, const uint8_t* main,
                                  const uint8_t* faded, const AddedColours& colours, const uint8_t* covered,
                                  uint32_t* d, uint32_t* end) {
    const uint32_t* const kept = colours.kept;
    const uint32_t* const taken = colours.taken;
#if (defined(__ARM_FEATURE_SIMD32) && defined(__thumb2__) && defined(__OPTIMIZE__)) || defined(__aarch64__)
    if (!colours.blue) { // the loop adds red and green only
        if (d == end) return;
        uint32_t t0, t1, t2;
        asm volatile("1:\n\t" SUUMI_PIXEL SUUMI_ADD SUUMI_STORE
                     : [t0] "=&r"(t0), [t1] "=&r"(t1), [t2] "=&r"(t2), [u] "+r"(u), [v] "+r"(v), [d] "+r"(d),
                       [c] "+r"(covered)SUUMI_INPUTS);
        return;
    }
#endif
    const uint8_t* const rows = reinterpret_cast<const uint8_t*>(&colours);
    for (; d != end; d++, u += du, v += dv) {
        const uint32_t z = paletted_pixel(u, v, main, faded, kept, taken);
        const uint8_t* f = rows + (*covered++ >> 4) * 256;
        *d += static_cast<uint32_t>(f[z >> 16 & 255]) << 16 | f[z >> 8 & 255] << 8 | f[z & 255];
    }
}

// A row of n pixels through masked_span's step (kAdd false) or added_span's (kAdd true, for a palette
// without blue) in whole groups of four, uncovered pixels passed over; returns how many pixels it did.
#if (defined(__ARM_FEATURE_SIMD32) && defined(__thumb2__) && defined(__OPTIMIZE__)) || defined(__aarch64__)
#define SUUMI_ROWS 1
#if defined(__thumb2__)
#define SUUMI_LOW "=&l" // CBNZ takes a low register
#else
#define SUUMI_LOW "=&r"
#endif
template <bool kAdd>
[[gnu::noinline]] int row_groups(uint32_t u, uint32_t v, uint32_t du, uint32_t dv, const uint8_t* main,
                                 const uint8_t* faded, const uint32_t* kept, const uint32_t* taken,
                                 const uint8_t* covered, uint32_t* d, int n) {
    if (n < 4) return 0;
    uint32_t* const end = d + (n & ~3);
    uint32_t t0, t1, t2;
    if constexpr (kAdd)
        asm volatile(SUUMI_ROW(SUUMI_PIXEL SUUMI_ADD_OF)
                     : [t0] "=&r"(t0), [t1] "=&r"(t1), [t2] SUUMI_LOW(t2), [u] "+r"(u), [v] "+r"(v),
                       [d] "+r"(d), [c] "+r"(covered)SUUMI_INPUTS);
    else
        asm volatile(SUUMI_ROW(SUUMI_PIXEL SUUMI_MASK_OF)
                     : [t0] "=&r"(t0), [t1] "=&r"(t1), [t2] SUUMI_LOW(t2), [u] "+r"(u), [v] "+r"(v),
                       [d] "+r"(d), [c] "+r"(covered)SUUMI_INPUTS);
    return n & ~3;
}

// row_groups through the pair table `pairs`: the pixels masked (kAdd false) or weighed and added.
template <bool kAdd>
[[gnu::noinline]] int pair_groups(uint32_t u, uint32_t v, uint32_t du, uint32_t dv, const uint8_t* main,
                                  const uint8_t* faded, const uint32_t* pairs, const uint8_t* covered,
                                  uint32_t* d, int n) {
    if (n < 4) return 0;
    uint32_t* const end = d + (n & ~3);
    uint32_t t0, t1, t2;
#define SUUMI_PAIR_OPERANDS                                                                                  \
    : [t0] "=&r"(t0), [t1] "=&r"(t1), [t2] SUUMI_LOW(t2), [u] "+r"(u), [v] "+r"(v), [d] "+r"(d),             \
      [c] "+r"(covered)                                                                                      \
    : [du] "r"(du), [dv] "r"(dv), [main] "r"(main), [faded] "r"(faded), [pairs] "r"(pairs), [end] "r"(end)   \
    : "cc", "memory"
    if constexpr (kAdd)
        asm volatile(SUUMI_ROW(SUUMI_PAIR_ADD) SUUMI_PAIR_OPERANDS);
    else
        asm volatile(SUUMI_ROW(SUUMI_PAIR) SUUMI_PAIR_OPERANDS);
#undef SUUMI_PAIR_OPERANDS
    return n & ~3;
}
#else
#define SUUMI_ROWS 0
#endif

// Coverage bytes are scanned a machine word at a time; a word's first byte that ends a run is found from
// its lowest set bit (little-endian: byte 0 is the first).
using ScanWord = uintptr_t;
constexpr int kScan = sizeof(ScanWord);
constexpr ScanWord kOnes = ~ScanWord{0} / 255, kHighs = kOnes << 7;

ScanWord scan_word(const uint8_t* p) {
    ScanWord w;
    std::memcpy(&w, p, kScan);
    return w;
}
int first_byte(ScanWord bits) {
    return (sizeof(ScanWord) == 8 ? __builtin_ctzll(bits) : __builtin_ctz(static_cast<unsigned>(bits))) >> 3;
}

// The first j from `from` on (up to n) whose covered byte is not 0 (kSet false) or is 0 (kSet true).
template <bool kSet> int run_end(const uint8_t* covered, int from, int n) {
    int j = from;
    for (; j + kScan <= n; j += kScan) {
        const ScanWord w = scan_word(covered + j);
        // kSet: the bytes that are 0 (exact for the lowest); otherwise the bytes that are not
        const ScanWord ends = kSet ? (w - kOnes) & ~w & kHighs : w;
        if (ends) return j + first_byte(ends);
    }
    while (j < n && (covered[j] != 0) == kSet) j++;
    return j;
}

// span(start, end) for each run of covered pixels (covered byte not 0) of a row of n pixels.
template <class Span> void each_run(const uint8_t* covered, int n, Span span) {
    for (int j = 0; j < n;) {
        const int start = run_end<false>(covered, j, n);
        j = run_end<true>(covered, start, n);
        if (j > start) span(start, j);
    }
}

// A span's u and v at its pixel `start`.
inline uint32_t at_pixel(uint32_t w, uint32_t dw, int start) {
    return w + static_cast<uint32_t>(start) * dw;
}

#if defined(__SSE2__) && !defined(SHORELINE_NO_SIMD)
// gather and blend in one for the groups of four pixels of a row, the texels assembled in registers
// (SSE2, weights 0 < w < 255); returns how many pixels were done. The blend uses
// i * w / 255 = (i * (257 w + 1)) >> 16, exact for bytes i and such w: one high multiplication per 8
// channels. The top byte's weight is 0.
int blend_row(const uint32_t* main, const uint32_t* faded, uint32_t& u, uint32_t& v, uint32_t du, uint32_t dv,
              int n, uint16_t keep, uint16_t take, uint32_t* d) {
    const short k = static_cast<short>(257 * keep + 1), t = static_cast<short>(257 * take + 1);
    const __m128i kw = _mm_setr_epi16(k, k, k, 0, k, k, k, 0), tw = _mm_setr_epi16(t, t, t, 0, t, t, t, 0);
    const __m128i zero = _mm_setzero_si128();
    auto texels = [](const uint32_t* pic, int a, int b, int c, int e) {
        return _mm_unpacklo_epi64(_mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(pic[a])),
                                                     _mm_cvtsi32_si128(static_cast<int>(pic[b]))),
                                  _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(pic[c])),
                                                     _mm_cvtsi32_si128(static_cast<int>(pic[e]))));
    };
    auto weigh = [&](__m128i m, __m128i fd, auto unpack) {
        return _mm_add_epi16(_mm_mulhi_epu16(unpack(m, zero), kw), _mm_mulhi_epu16(unpack(fd, zero), tw));
    };
    // As in gather: the words (v byte 1 : u byte 1) and (v byte 2 : u byte 2) of interleaved bytes.
    __m128i uu = _mm_setr_epi32(static_cast<int>(u), static_cast<int>(u + du), static_cast<int>(u + 2 * du),
                                static_cast<int>(u + 3 * du));
    __m128i vv = _mm_setr_epi32(static_cast<int>(v), static_cast<int>(v + dv), static_cast<int>(v + 2 * dv),
                                static_cast<int>(v + 3 * dv));
    const __m128i du4 = _mm_set1_epi32(static_cast<int>(4 * du)),
                  dv4 = _mm_set1_epi32(static_cast<int>(4 * dv));
    int j = 0;
    for (; j + 4 <= n; j += 4, uu = _mm_add_epi32(uu, du4), vv = _mm_add_epi32(vv, dv4)) {
        const __m128i lo = _mm_unpacklo_epi8(uu, vv), hi = _mm_unpackhi_epi8(uu, vv);
        const __m128i m = texels(main, _mm_extract_epi16(lo, 2), _mm_extract_epi16(lo, 6),
                                 _mm_extract_epi16(hi, 2), _mm_extract_epi16(hi, 6));
        const __m128i fd = texels(faded, _mm_extract_epi16(lo, 1), _mm_extract_epi16(lo, 5),
                                  _mm_extract_epi16(hi, 1), _mm_extract_epi16(hi, 5));
        const __m128i low = weigh(m, fd, [](__m128i a, __m128i b) { return _mm_unpacklo_epi8(a, b); });
        const __m128i high = weigh(m, fd, [](__m128i a, __m128i b) { return _mm_unpackhi_epi8(a, b); });
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + j), _mm_packus_epi16(low, high));
    }
    u += static_cast<uint32_t>(j) * du;
    v += static_cast<uint32_t>(j) * dv;
    return j;
}
#endif

} // namespace

int suumi_init(int width, int height) {
    out_w = width;
    out_h = height;
    return 0;
}

// suumi_effect, and suumi_effect_covered where `covered` is not null.
namespace {

// What a frame at time t samples: which pictures are main and faded, their weights, the steps per pixel
// and the start of every row, all in 16.16 fixed point.
struct Frame {
    int first; // 0, 1 or 2: the picture of the main layer; the faded layer's is the next one
    int take;  // the faded layer's weight; the main layer's is 255 - take
    uint32_t du, dv;
    double ax, ay, dx, dy;

    Frame(int t, double exponent) {
        const int c = t % 768;
        first = c >= 256 && c < 512 ? 1 : c >= 512 ? 2 : 0;
        take = t & 255;
        const double a = std::cos(t * 0.01953125) + 1.2 * std::numbers::pi;
        const double s = 256 / (1 + std::pow(take, exponent) / (std::pow(256, exponent) * 0.00390625));
        ax = s * std::cos(a) + 128.5;
        ay = s * std::sin(a) + 128.5;
        const double b = a - 1.208304866765305;
        dx = s * std::cos(b);
        dy = s * std::sin(b);
        du = static_cast<uint32_t>(to_int(((128.5 - dx) - ax) * ((1.0 / out_w) * 65536)));
        dv = static_cast<uint32_t>(to_int(((128.5 - dy) - ay) * ((1.0 / out_w) * 65536)));
    }
    uint32_t u(int row) const {
        return static_cast<uint32_t>(to_int((((1.0 / out_h) * ((dx + 128.5) - ax)) * row + ax) * 65536));
    }
    uint32_t v(int row) const {
        return static_cast<uint32_t>(to_int((((1.0 / out_h) * ((dy + 128.5) - ay)) * row + ay) * 65536));
    }
};

} // namespace

void suumi_effect(uint32_t* dest, int t, double exponent, const uint32_t* pic1, const uint32_t* pic2,
                  const uint32_t* pic3) {
    if (out_w <= 0 || out_h <= 0) return;
    const Frame fr(t, exponent);
    const uint32_t* pics[] = {pic1, pic2, pic3};
    const uint32_t* main = pics[fr.first];
    const uint32_t* faded = pics[(fr.first + 1) % 3];
    const uint16_t take = static_cast<uint16_t>(fr.take), keep = static_cast<uint16_t>(255 - fr.take);
    constexpr int kSpan = 256; // pixels gathered before they are blended
    uint32_t main_texel[kSpan], faded_texel[kSpan];
    for (int i = 0; i < out_h; i++) {
        uint32_t u = fr.u(i), v = fr.v(i);
        uint32_t* d = dest + static_cast<size_t>(i) * out_w;
        if constexpr (!lanes::kVectorUnit) {
            const uint32_t weights[] = {keep, take, swar::kLaneOnes};
            blend_row_words(u, v, fr.du, fr.dv, main, faded, out_w, weights, d);
            continue;
        }
        int j0 = 0;
#if defined(__SSE2__) && !defined(SHORELINE_NO_SIMD)
        if (keep != 0 && take != 0) j0 = blend_row(main, faded, u, v, fr.du, fr.dv, out_w, keep, take, d);
#endif
        for (; j0 < out_w; j0 += kSpan) {
            const int n = std::min(kSpan, out_w - j0);
            gather(main, faded, u, v, fr.du, fr.dv, n, main_texel, faded_texel);
            blend(main_texel, faded_texel, keep, take, n, d + j0);
        }
    }
}

namespace {
// The colours of every pair of main and faded texels (m, f) per coverage byte b, at b << 6 | m << 3 | f,
// for pictures whose bytes are all below kPairColours; bytes of kPairColours or more, which the callers
// promise not to pass, still index inside the table.
constexpr int kPairColours = 8;
uint32_t pair_table[SUUMI_ROWS ? (255 << 6) + (255 << 3) + 256 : 1];

// The paletted zoomer's frame, row by row through row(u, v, du, dv, main, faded, colours, width, d, i):
// the palette weighed for either layer once a frame (top bytes 0) and, for a weight of 0..255, the class
// rows of the added zoomer. With a palette of at most kPairColours (on the targets with row loops) the
// pair table holds the masked colours (weight below 0) or the masked and weighed ones.
template <class Row>
void paletted_frame(uint32_t* dest, int t, double exponent, const uint8_t* pic1, const uint8_t* pic2,
                    const uint8_t* pic3, const uint32_t* palette, int weight, Row row, int row_step = 1,
                    int palette_size = 256) {
    if (out_w <= 0 || out_h <= 0) return;
    const Frame fr(t, exponent);
    const uint8_t* pics[] = {pic1, pic2, pic3};
    AddedColours colours;
    const int size = std::clamp(palette_size, 1, 256);
    if (size < 256) { // colours past the palette stay black
        std::memset(colours.kept, 0, sizeof colours.kept);
        std::memset(colours.taken, 0, sizeof colours.taken);
    }
    for (int i = 0; i < size; i++) {
        colours.kept[i] = swar::weigh(palette[i], static_cast<uint32_t>(255 - fr.take)) & 0x00FFFFFFu;
        colours.taken[i] = swar::weigh(palette[i], static_cast<uint32_t>(fr.take)) & 0x00FFFFFFu;
    }
    colours.blue = false;
    colours.pairs = nullptr;
    constexpr uint32_t kCoverage[] = {0x40u, 0x60u, 0x7Fu, 0xC0u, 0xFFu}; // venkula_coverage's bytes
    if (weight >= 0) {
        for (int i = 0; i < size; i++) colours.blue |= (palette[i] & 255) != 0;
        std::memset(colours.faded, 0, sizeof colours.faded);
        for (const uint32_t b : kCoverage)
            for (uint32_t i = 0; i < 256; i++) {
                const uint32_t masked = b >= 0x80 ? i & b : (i >> 1) & b; // as venkula_coverage says
                colours.faded[(b >> 4) - 4][i] =
                    static_cast<uint8_t>(masked * static_cast<uint32_t>(weight) / 255);
            }
    }
    if constexpr (SUUMI_ROWS) {
        if (size <= kPairColours) {
            for (const uint32_t b : kCoverage) {
                const uint8_t* f = colours.faded[(b >> 4) - 4];
                for (uint32_t m = 0; m < kPairColours; m++)
                    for (uint32_t k = 0; k < kPairColours; k++) {
                        const uint32_t z = colours.kept[m] + colours.taken[k];
                        pair_table[b << 6 | m << 3 | k] =
                            weight < 0 ? masked(z, b)
                                       : uint32_t{f[z >> 16 & 255]} << 16 | f[z >> 8 & 255] << 8 | f[z & 255];
                    }
            }
            colours.pairs = pair_table;
        }
    }
    for (int i = 0; i < out_h; i += row_step)
        row(fr.u(i), fr.v(i), fr.du, fr.dv, pics[fr.first], pics[(fr.first + 1) % 3], colours, out_w,
            dest + static_cast<size_t>(i) * out_w, i);
}
} // namespace

void suumi_effect_paletted(uint32_t* dest, int t, double exponent, const uint8_t* pic1, const uint8_t* pic2,
                           const uint8_t* pic3, const uint32_t* palette, const uint8_t* covered) {
    paletted_frame(dest, t, exponent, pic1, pic2, pic3, palette, -1,
                   [&](uint32_t u, uint32_t v, uint32_t du, uint32_t dv, const uint8_t* main,
                       const uint8_t* faded, const AddedColours& c, int n, uint32_t* d, int i) {
                       if (!covered)
                           return paletted_span(u, v, du, dv, main, faded, c.kept, c.taken, d, d + n);
                       each_run(covered + static_cast<size_t>(i) * n, n, [&](int start, int end) {
                           paletted_span(at_pixel(u, du, start), at_pixel(v, dv, start), du, dv, main, faded,
                                         c.kept, c.taken, d + start, d + end);
                       });
                   });
}

void suumi_effect_masked(uint32_t* dest, int t, double exponent, const uint8_t* pic1, const uint8_t* pic2,
                         const uint8_t* pic3, const uint32_t* palette, const uint8_t* covered,
                         int palette_size) {
    // Black first, in one pass: the gaps between the runs are many and short.
    if (out_w > 0 && out_h > 0) clear_words(dest, out_w * out_h);
    paletted_frame(
        dest, t, exponent, pic1, pic2, pic3, palette, -1,
        [&](uint32_t u, uint32_t v, uint32_t du, uint32_t dv, const uint8_t* main, const uint8_t* faded,
            const AddedColours& c, int n, uint32_t* d, int i) {
            const uint8_t* const row = covered + static_cast<size_t>(i) * n;
            int done = 0; // pixels drawn a row at a time; the rest in runs
#if SUUMI_ROWS
            done = c.pairs ? pair_groups<false>(u, v, du, dv, main, faded, c.pairs, row, d, n)
                           : row_groups<false>(u, v, du, dv, main, faded, c.kept, c.taken, row, d, n);
#endif
            each_run(row + done, n - done, [&](int start, int end) {
                start += done, end += done;
                masked_span(at_pixel(u, du, start), at_pixel(v, dv, start), du, dv, main, faded, c.kept,
                            c.taken, row + start, d + start, d + end);
            });
        },
        1, palette_size);
}

void suumi_effect_masked_add(uint32_t* dest, int t, double exponent, const uint8_t* pic1, const uint8_t* pic2,
                             const uint8_t* pic3, const uint32_t* palette, const uint8_t* covered, int weight,
                             int palette_size) {
    paletted_frame(
        dest, t, exponent, pic1, pic2, pic3, palette, std::clamp(weight, 0, 255),
        [&](uint32_t u, uint32_t v, uint32_t du, uint32_t dv, const uint8_t* main, const uint8_t* faded,
            const AddedColours& c, int n, uint32_t* d, int i) {
            const uint8_t* const row = covered + static_cast<size_t>(i) * n;
            int done = 0; // as in suumi_effect_masked
#if SUUMI_ROWS
            if (c.pairs)
                done = pair_groups<true>(u, v, du, dv, main, faded, c.pairs, row, d, n);
            else if (!c.blue)
                done = row_groups<true>(u, v, du, dv, main, faded, c.kept, c.taken, row, d, n);
#endif
            each_run(row + done, n - done, [&](int start, int end) {
                start += done, end += done;
                added_span(at_pixel(u, du, start), at_pixel(v, dv, start), du, dv, main, faded, c,
                           row + start, d + start, d + end);
            });
        },
        1, palette_size);
}

void suumi_effect_masked_samples(uint32_t* dest, int t, double exponent, const uint8_t* pic1,
                                 const uint8_t* pic2, const uint8_t* pic3, const uint32_t* palette,
                                 const uint8_t* covered, int step) {
    if (step <= 0) return;
    paletted_frame(
        dest, t, exponent, pic1, pic2, pic3, palette, -1,
        [&](uint32_t u, uint32_t v, uint32_t du, uint32_t dv, const uint8_t* main, const uint8_t* faded,
            const AddedColours& c, int n, uint32_t* d, int i) {
            const uint8_t* const row = covered + static_cast<size_t>(i) * n;
            const uint32_t du_step = du * static_cast<uint32_t>(step),
                           dv_step = dv * static_cast<uint32_t>(step);
            for (int j = 0; j < n; j += step, u += du_step, v += dv_step)
                d[j] = masked(paletted_pixel(u, v, main, faded, c.kept, c.taken), row[j]);
        },
        step);
}
