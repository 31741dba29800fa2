// Moving-average (box) blurs along rows (horiz_maf) or columns (vert_maf), main thread.
// Each output channel is the sum of pre-divided inputs, sum(v / n) over the window, never (sum v) / n.
// The window of output x covers x - (n - n/2) + 1 .. x + n/2 (the larger half on the left for even n);
// pixels outside the rectangle contribute nothing while the divisor stays n, so the edges darken.
//
// Because every channel sum stays at or below 255, the three channel sums are kept packed in one word
// (0x00RRGGBB) and summed four words at a time. The quotient v / n is (v * m) >> 16 with
// m = ceil(2^16 / n), exact for every v of 0..255 and n of 2..255: with m * n = 2^16 + e, 0 <= e < n,
// and v = q * n + r, v * m / 2^16 = q + (r * 2^16 + v * e) / (n * 2^16), and v * e <= 255 * 254 < 2^16
// keeps the fraction below 1. A window of 1 copies the channels; from 256 on every quotient is 0.
// horiz_maf_fade scales the sums on their way out (lanes::Weight), saving the fade a pass of its own.
// A row's window sums run as S(x) = S(x - 1) + q(x + n/2) - q(x - n + n/2), summed in vector lanes
// (mod 2^32, exact because every window sum is below 2^24); columns keep one running sum each.
#include "fx.h"

#include "lanes.h"

#include <algorithm>
#include <cstddef>
#include <type_traits>

namespace {

using namespace lanes;

constexpr int kMaxWindow = 640;      // windows 0..639 are supported
constexpr int kDividedWindows = 256; // windows whose quotients can be non-zero
constexpr int kSpan = 1024;          // longest row blurred from a buffer of quotients; longer rows run scalar
constexpr int kColumnChunk = 512;    // columns whose running sums vert_maf keeps at once

uint16_t multiplier[kDividedWindows]; // ceil(2^16 / n) for n = 2..255

bool window_ok(int n) {
    return n >= 0 && n < kMaxWindow;
}

// Without a vector unit a word's three channel bytes are mapped through a table of 256 bytes each.
constexpr bool kWords = !kVectorUnit;

// The three low bytes of w mapped through `of`, packed, top byte dropped.
inline uint32_t map_channels(const uint8_t* of, uint32_t w) {
    return of[w & 255] | of[w >> 8 & 255] << 8 | uint32_t{of[w >> 16 & 255]} << 16;
}

// v / n for every channel of a word, packed, top byte dropped; four words at a time in vector lanes, or
// through a table of the 256 quotients.
struct Divisor {
    int n;
    uint32_t m;
    Multiplier lanes; // m for the three channel bytes of each word, 0 for the top byte
    uint8_t quotient[kWords ? 256 : 1];
    uint32_t shifted[kWords ? 256 : 1]; // quotient << 16: a red byte's quotient in place, a green's << 8

    static Wide spread(uint16_t v) { return Wide{v, v, v, 0, v, v, v, 0, v, v, v, 0, v, v, v, 0}; }
    explicit Divisor(int window) : n(window), m(multiplier[window]), lanes(spread(multiplier[window])) {
        if constexpr (kWords)
            for (uint32_t v = 0; v < 256; v++) {
                quotient[v] = static_cast<uint8_t>(v * m >> 16);
                shifted[v] = uint32_t{quotient[v]} << 16;
            }
    }
    uint32_t word(uint32_t w) const {
        if constexpr (kWords) return map_channels(quotient, w);
        return ((w & 255) * m >> 16) | ((w >> 8 & 255) * m >> 16) << 8 | ((w >> 16 & 255) * m >> 16) << 16;
    }
    Words words(const uint32_t* p) const { return reinterpret_cast<Words>(scale(load(p), lanes)); }
};

// The divisor of window n, made again only when the window (or init_maf's table) changes: a frame blurred
// in bands of rows makes it once.
const Divisor& divisor(int n) {
    static Divisor cached(0);
    if (cached.n != n || cached.m != multiplier[n]) cached = Divisor(n);
    return cached;
}

// The rectangle's rows (each `width` words, `pitch` apart) set by row(src_row, dst_row).
template <class Row>
void each_row(const uint32_t* src, uint32_t* dst, int sx, int sy, int dx, int dy, int height, int pitch,
              Row row) {
    for (int r = 0; r < height; r++)
        row(src + static_cast<ptrdiff_t>(sy + r) * pitch + sx,
            dst + static_cast<ptrdiff_t>(dy + r) * pitch + dx);
}

// What is stored of a window sum: the sum itself, or the sum faded towards black (each byte i becomes
// i * keep / 255, keep of 1..254), and optionally faded once more (then i * then / 255, then of 1..254;
// 255 for no second fade). Each fade truncates on its own, as two cross-fades to black would.
struct Plain {
    Words operator()(Words v) const { return v; }
    uint32_t operator()(uint32_t w) const { return w; }
};
template <bool kTwice> struct Faded {
    uint32_t keep, then;
    Weight lanes, then_lanes;
    uint8_t faded[kWords ? 256 : 1]; // both fades of i, for the word path

    explicit Faded(int k, int k2 = 255)
        : keep(static_cast<uint32_t>(k)), then(static_cast<uint32_t>(k2)), lanes(k), then_lanes(k2) {
        if constexpr (kWords)
            for (uint32_t i = 0, p = 0; i < 256; i++, p += keep)
                faded[i] = static_cast<uint8_t>(once_more(div255(p)));
    }
    uint32_t once_more(uint32_t i) const { return kTwice ? i * then / 255 : i; }
    Words operator()(Words v) const {
        Bytes b = bytes(weigh(reinterpret_cast<Bytes>(v), lanes));
        if constexpr (kTwice) b = bytes(weigh(b, then_lanes));
        return reinterpret_cast<Words>(b);
    }
    // A window sum's top byte is 0.
    uint32_t operator()(uint32_t w) const {
        if constexpr (kWords) return map_channels(faded, w);
        return once_more((w & 255) * keep / 255) | once_more((w >> 8 & 255) * keep / 255) << 8 |
               once_more((w >> 16 & 255) * keep / 255) << 16;
    }
};

// Hand-written loops of the word paths for 32-bit ARM (Thumb-2 with the media instructions).
// An unoptimised build keeps too few registers free for them.
#if defined(__ARM_FEATURE_SIMD32) && defined(__ARM_FEATURE_DSP) && defined(__thumb2__) &&                    \
    defined(__OPTIMIZE__)
#define SHORELINE_MAF_ASM 1
// clang-format off
// v / n for the three channels of %[S] into %[A] (%[B] a temporary): the signed 16-bit multiplies take
// m below 2^15 (n of 3..255). R * m and B * m from the two halves of 0x00RR00BB give qR << 16 | qB in
// one pack; G * m >> 16 is qG, inserted at bits 8..15.
#define MAF_QUOTIENTS(S, A, B)                                                                               \
    "uxtb16  %[" A "], %[" S "]\n\t"                                                                         \
    "smulbb  %[" B "], %[" A "], %[m]\n\t"                                                                   \
    "smultb  %[" A "], %[" A "], %[m]\n\t"                                                                   \
    "pkhtb   %[" A "], %[" A "], %[" B "], asr #16\n\t"                                                      \
    "ubfx    %[" B "], %[" S "], #8, #8\n\t"                                                                 \
    "smulwb  %[" B "], %[" B "], %[m]\n\t"                                                                   \
    "bfi     %[" A "], %[" B "], #8, #8\n\t"
// v / n for the red and green of %[S], whose blue is 0, into %[A] from the table %[m] of quotients << 16.
#define MAF_RED_GREEN(S, A, B)                                                                               \
    "ubfx    %[" B "], %[" S "], #8, #8\n\t"                                                                 \
    "ldr     %[" B "], [%[m], %[" B "], lsl #2]\n\t"                                                         \
    "ubfx    %[" A "], %[" S "], #16, #8\n\t"                                                                \
    "ldr     %[" A "], [%[m], %[" A "], lsl #2]\n\t"                                                         \
    "orr     %[" A "], %[" A "], %[" B "], lsr #8\n\t"
// v / 2 for the three channels: bits 1..23 shifted down, each channel's low bit cleared.
#define MAF_HALVES(S, A, B)                                                                                  \
    "ubfx    %[" A "], %[" S "], #1, #23\n\t"                                                                \
    "and     %[" A "], %[" A "], #0x7F7F7F7F\n\t"
// Eight pixels a step, four at a time. Pixel i that repeats pixel i - 1 costs a compare, a branch and
// P[i] = 2 P[i - 1] - P[i - 2]; the blocks for pixels that differ follow each other out of line, each
// ending with the next pixel's compare, so that a run of them falls through. Their temporaries are the
// registers of sums not yet due. H1..H3 label the repeats of pixels 1..3, M0..M3 the blocks.
#define MAF_PREFIX_FOUR(H1, H2, H3, M0, M1, M2, M3)                                                          \
    "ldmia   %[src]!, {%[s0], %[s1], %[s2], %[s3]}\n\t"                                                      \
    "cmp     %[s0], %[last]\n\t"                                                                             \
    "bne     " M0 "f\n\t"                                                                                    \
    "rsb     %[p0], %[p2], %[p3], lsl #1\n\t"                                                                \
    "cmp     %[s1], %[s0]\n\t"                                                                               \
    "bne     " M1 "f\n"                                                                                      \
    H1 ":\n\t"                                                                                               \
    "rsb     %[p1], %[p3], %[p0], lsl #1\n\t"                                                                \
    "cmp     %[s2], %[s1]\n\t"                                                                               \
    "bne     " M2 "f\n"                                                                                      \
    H2 ":\n\t"                                                                                               \
    "rsb     %[p2], %[p0], %[p1], lsl #1\n\t"                                                                \
    "cmp     %[s3], %[s2]\n\t"                                                                               \
    "bne     " M3 "f\n"                                                                                      \
    H3 ":\n\t"                                                                                               \
    "rsb     %[p3], %[p1], %[p2], lsl #1\n\t"                                                                \
    "stmia   %[p]!, {%[p0], %[p1], %[p2], %[p3]}\n\t"                                                        \
    "mov     %[last], %[s3]\n\t"
#define MAF_PREFIX_MISSES(Q, H1, H2, H3, M0, M1, M2, M3, THEN)                                               \
    M0 ":\n\t"                                                                                               \
    Q("s0", "p0", "p1")                                                                                      \
    "add     %[p0], %[p3], %[p0]\n\t"                                                                        \
    "cmp     %[s1], %[s0]\n\t"                                                                               \
    "beq     " H1 "b\n"                                                                                      \
    M1 ":\n\t"                                                                                               \
    Q("s1", "p1", "p2")                                                                                      \
    "add     %[p1], %[p0], %[p1]\n\t"                                                                        \
    "cmp     %[s2], %[s1]\n\t"                                                                               \
    "beq     " H2 "b\n"                                                                                      \
    M2 ":\n\t"                                                                                               \
    Q("s2", "p2", "p3")                                                                                      \
    "add     %[p2], %[p1], %[p2]\n\t"                                                                        \
    "cmp     %[s3], %[s2]\n\t"                                                                               \
    "beq     " H3 "b\n"                                                                                      \
    M3 ":\n\t"                                                                                               \
    Q("s3", "p3", "last")                                                                                    \
    "add     %[p3], %[p2], %[p3]\n\t"                                                                        \
    "stmia   %[p]!, {%[p0], %[p1], %[p2], %[p3]}\n\t"                                                        \
    "mov     %[last], %[s3]\n\t"                                                                             \
    THEN
#define MAF_PREFIX_LOOP(Q)                                                                                   \
    "1:\n\t"                                                                                                 \
    MAF_PREFIX_FOUR("2", "3", "4", "10", "11", "12", "13")                                                   \
    "5:\n\t"                                                                                                 \
    MAF_PREFIX_FOUR("6", "7", "8", "20", "21", "22", "23")                                                   \
    "cmp     %[src], %[end]\n\t"                                                                             \
    "bne     1b\n\t"                                                                                         \
    "b       9f\n"                                                                                           \
    MAF_PREFIX_MISSES(Q, "2", "3", "4", "10", "11", "12", "13", "b       5b\n")                              \
    MAF_PREFIX_MISSES(Q, "6", "7", "8", "20", "21", "22", "23", "cmp     %[src], %[end]\n\tbne     1b\n")    \
    "9:"
#define MAF_PREFIX_OPERANDS                                                                                  \
    : [src] "+r"(s), [p] "+r"(p), [last] "+r"(last), [s0] "=&r"(s0), [s1] "=&r"(s1), [s2] "=&r"(s2),         \
      [s3] "=&r"(s3), [p0] "=&r"(p0), [p1] "=&r"(p1), [p2] "+r"(p2), [p3] "+r"(p3)                           \
    : [end] "r"(end), [m] "r"(m)                                                                             \
    : "cc", "memory"
// Four window sums a - b.
#define MAF_WINDOW_FOUR                                                                                      \
    "ldmia   %[a]!, {%[a0], %[a1], %[a2], %[a3]}\n\t"                                                        \
    "ldmia   %[b]!, {%[b0], %[b1], %[b2], %[b3]}\n\t"                                                        \
    "sub     %[a0], %[a0], %[b0]\n\t"                                                                        \
    "sub     %[a1], %[a1], %[b1]\n\t"                                                                        \
    "sub     %[a2], %[a2], %[b2]\n\t"                                                                        \
    "sub     %[a3], %[a3], %[b3]\n\t"                                                                        \
    "stmia   %[d]!, {%[a0], %[a1], %[a2], %[a3]}\n\t"
// The channels of %[S] mapped through the table %[of] into %[stored], %[T] a temporary.
#define MAF_FADE(S, T)                                                                                       \
    "uxtb    %[" T "], %[" S "]\n\t"                                                                         \
    "ldrb    %[stored], [%[of], %[" T "]]\n\t"                                                               \
    "ubfx    %[" T "], %[" S "], #8, #8\n\t"                                                                 \
    "ldrb    %[" T "], [%[of], %[" T "]]\n\t"                                                                \
    "orr     %[stored], %[stored], %[" T "], lsl #8\n\t"                                                     \
    "ubfx    %[" T "], %[" S "], #16, #8\n\t"                                                                \
    "ldrb    %[" T "], [%[of], %[" T "]]\n\t"                                                                \
    "orr     %[stored], %[stored], %[" T "], lsl #16\n\t"
// Three window sums a - b, each faded unless it repeats the sum before it.
#define MAF_FADED_PIXEL(A, B, BEFORE, L)                                                                     \
    "sub     %[" A "], %[" A "], %[" B "]\n\t"                                                               \
    "cmp     %[" A "], %[" BEFORE "]\n\t"                                                                    \
    "beq     " L "f\n\t"                                                                                     \
    MAF_FADE(A, B)                                                                                           \
    L ":\n\t"                                                                                                \
    "str     %[stored], [%[d]], #4\n\t"
#define MAF_FADED_STEP                                                                                       \
    "ldmia   %[a]!, {%[a0], %[a1], %[a2]}\n\t"                                                               \
    "ldmia   %[b]!, {%[b0], %[b1], %[b2]}\n\t"                                                               \
    MAF_FADED_PIXEL("a0", "b0", "sum", "2")                                                                  \
    MAF_FADED_PIXEL("a1", "b1", "a0", "3")                                                                   \
    MAF_FADED_PIXEL("a2", "b2", "a1", "4")                                                                   \
    "mov     %[sum], %[a2]\n\t"
// Window 1, faded: a word mapped unless it repeats the word before it.
#define MAF_FADED_WORD(S, BEFORE)                                                                            \
    "cmp     %[" S "], %[" BEFORE "]\n\t"                                                                    \
    "beq     1f\n\t"                                                                                         \
    MAF_FADE(S, "t")                                                                                         \
    "1:\n\t"                                                                                                 \
    "str     %[stored], [%[d]], #4\n\t"
#define MAF_FADED_WORDS                                                                                      \
    "ldmia   %[s]!, {%[s0], %[s1], %[s2], %[s3]}\n\t"                                                        \
    MAF_FADED_WORD("s0", "last")                                                                             \
    MAF_FADED_WORD("s1", "s0")                                                                               \
    MAF_FADED_WORD("s2", "s1")                                                                               \
    MAF_FADED_WORD("s3", "s2")                                                                               \
    "mov     %[last], %[s3]\n\t"
// clang-format on
#else
#define SHORELINE_MAF_ASM 0
#endif

// d[x] = s[x] without its top byte for whole groups of eight words; returns the number of words done.
int copy_channels(const uint32_t* s, uint32_t* d, int len) {
#if SHORELINE_MAF_ASM
    if (len < 8) return 0;
    register uint32_t a0 asm("r4"), a1 asm("r5"), a2 asm("r6"), a3 asm("r8"); // LDM takes ascending registers
    uint32_t* const end = d + (len & ~7);
    asm volatile("1:\n\t"
                 "ldmia   %[s]!, {%[a0], %[a1], %[a2], %[a3]}\n\t"
                 "bic     %[a0], %[a0], #0xFF000000\n\t"
                 "bic     %[a1], %[a1], #0xFF000000\n\t"
                 "bic     %[a2], %[a2], #0xFF000000\n\t"
                 "bic     %[a3], %[a3], #0xFF000000\n\t"
                 "stmia   %[d]!, {%[a0], %[a1], %[a2], %[a3]}\n\t"
                 "ldmia   %[s]!, {%[a0], %[a1], %[a2], %[a3]}\n\t"
                 "bic     %[a0], %[a0], #0xFF000000\n\t"
                 "bic     %[a1], %[a1], #0xFF000000\n\t"
                 "bic     %[a2], %[a2], #0xFF000000\n\t"
                 "bic     %[a3], %[a3], #0xFF000000\n\t"
                 "stmia   %[d]!, {%[a0], %[a1], %[a2], %[a3]}\n\t"
                 "cmp     %[d], %[end]\n\t"
                 "bne     1b"
                 : [s] "+r"(s), [d] "+r"(d), [a0] "=&r"(a0), [a1] "=&r"(a1), [a2] "=&r"(a2), [a3] "=&r"(a3)
                 : [end] "r"(end)
                 : "cc", "memory");
    return len & ~7;
#else
    (void)s, (void)d, (void)len;
    return 0;
#endif
}

// The ARM loops below that the compiler would inline are kept out of line: inlined into the blurs, with
// their values live across the loop, they leave too few registers free.

// d[x] = the channels of s[x] mapped through `of` (window 1 faded), each run of a word mapped once.
[[gnu::noinline, maybe_unused]] void fade_words(const uint32_t* s, uint32_t* d, int len, const uint8_t* of) {
    uint32_t last = ~s[0], stored = 0; // not the first word, so that it is mapped
    int x = 0;
#if SHORELINE_MAF_ASM
    if (len >= 8) {
        register uint32_t s0 asm("r4"), s1 asm("r5"), s2 asm("r6"),
            s3 asm("r8"); // LDM takes ascending registers
        uint32_t t;
        uint32_t* const end = d + (len & ~7);
        asm volatile("2:\n\t" MAF_FADED_WORDS MAF_FADED_WORDS "cmp     %[d], %[end]\n\t"
                     "bne     2b"
                     : [s] "+r"(s), [d] "+r"(d), [last] "+r"(last), [stored] "+r"(stored), [s0] "=&r"(s0),
                       [s1] "=&r"(s1), [s2] "=&r"(s2), [s3] "=&r"(s3), [t] "=&r"(t)
                     : [end] "r"(end), [of] "r"(of)
                     : "cc", "memory");
        len &= 7;
    }
#endif
    for (; x < len; x++) {
        if (s[x] != last) {
            last = s[x];
            stored = map_channels(of, last);
        }
        d[x] = stored;
    }
}

// d[x] = a[x] - b[x] (a window sum, top byte 0) mapped through `of`, each run of a sum mapped once.
[[gnu::noinline]] void fade_window_sums(const uint32_t* a, const uint32_t* b, uint32_t* d, int len,
                                        const uint8_t* of) {
    uint32_t sum = ~0u, stored = 0; // no window sum has a top byte
#if SHORELINE_MAF_ASM
    if (len >= 6) {
        register uint32_t a0 asm("r4"), a1 asm("r5"), a2 asm("r6");
        register uint32_t b0 asm("r8"), b1 asm("r9"), b2 asm("r10");
        uint32_t* const end = d + len / 6 * 6;
        asm volatile(
            "1:\n\t" MAF_FADED_STEP MAF_FADED_STEP "cmp     %[d], %[end]\n\t"
            "bne     1b"
            : [a] "+r"(a), [b] "+r"(b), [d] "+r"(d), [sum] "+r"(sum), [stored] "+r"(stored), [a0] "=&r"(a0),
              [a1] "=&r"(a1), [a2] "=&r"(a2), [b0] "=&r"(b0), [b1] "=&r"(b1), [b2] "=&r"(b2)
            : [end] "r"(end), [of] "r"(of)
            : "cc", "memory");
        len -= len / 6 * 6;
    }
#endif
    for (int x = 0; x < len; x++) {
        const uint32_t w = a[x] - b[x];
        if (w != sum) {
            sum = w;
            stored = map_channels(of, w);
        }
        d[x] = stored;
    }
}

// Windows whose result needs no division: 0 and 256 on give black, 1 the pixel's own channels.
// Returns false for the windows that do divide.
template <class Out>
bool undivided(const uint32_t* src, uint32_t* dst, int sx, int sy, int dx, int dy, int width, int height,
               int pitch, int n, const Out out) {
    if (n == 1) {
        each_row(src, dst, sx, sy, dx, dy, height, pitch, [&](const uint32_t* s, uint32_t* d) {
            int x = 0;
            for (; kVectorUnit && x + 4 <= width; x += 4) store(d + x, out(load<Words>(s + x) & 0x00FFFFFFu));
            if constexpr (kWords && std::is_same_v<Out, Plain>) x = copy_channels(s, d, width);
            if constexpr (kWords && !std::is_same_v<Out, Plain>) {
                fade_words(s, d, width, out.faded);
                x = width;
            }
            for (; x < width; x++) d[x] = out(s[x] & 0x00FFFFFFu);
        });
        return true;
    }
    if (n == 0 || n >= kDividedWindows) {
        each_row(src, dst, sx, sy, dx, dy, height, pitch,
                 [&](const uint32_t*, uint32_t* d) { std::fill(d, d + width, 0u); });
        return true;
    }
    return false;
}

// The row path without a vector unit works on prefix sums of the quotients, P[j] = q(0) + ... + q(j)
// (mod 2^32, P[j] = 0 before the row and P[len - 1] after it): output x is P[x + k] - P[x - behind]. A
// pixel's quotients are computed only where it differs from the pixel before it (which it mostly repeats
// in the demo's pictures); otherwise P[j] = 2 P[j - 1] - P[j - 2], as the step repeats.

// p[j] = P[j] for the row's pixels j of 0..len-1; red_green: no pixel has blue.
void prefix_sums(const uint32_t* s, uint32_t* p, int len, const Divisor& div,
                 [[maybe_unused]] bool red_green) {
    uint32_t last = 0, sum = 0, step = 0; // the pixel before j (0 before the row), P[j - 1], its quotients
#if SHORELINE_MAF_ASM
    if (len >= 8) {
        // The operands of LDM and STM in ascending registers; the others where the compiler likes.
        register uint32_t s0 asm("r4"), s1 asm("r5"), s2 asm("r6"), s3 asm("r8");
        register uint32_t p0 asm("r9"), p1 asm("r10"), p2 asm("r11") = 0, p3 asm("r12") = 0;
        const uint32_t* const end = s + (len & ~7);
        if (div.n == 2) {
            const uint32_t m = div.m;
            asm volatile(MAF_PREFIX_LOOP(MAF_HALVES) MAF_PREFIX_OPERANDS);
        } else if (red_green) {
            const uint32_t* const m = div.shifted;
            asm volatile(MAF_PREFIX_LOOP(MAF_RED_GREEN) MAF_PREFIX_OPERANDS);
        } else {
            const uint32_t m = div.m;
            asm volatile(MAF_PREFIX_LOOP(MAF_QUOTIENTS) MAF_PREFIX_OPERANDS);
        }
        sum = p3;
        step = p3 - p2;
        len &= 7;
    }
#endif
    for (int j = 0; j < len; j++) {
        const uint32_t w = s[j];
        if (w != last) {
            last = w;
            step = div.word(w);
        }
        p[j] = sum += step;
    }
}

// p[j] = s[0] + ... + s[j] for words that are quotients already (mod 2^32).
void running_sums(const uint32_t* s, uint32_t* p, int len) {
    uint32_t sum = 0;
    int j = 0;
#if SHORELINE_MAF_ASM
    if (len >= 4) {
        register uint32_t s0 asm("r4"), s1 asm("r5"), s2 asm("r6"), s3 asm("r8"); // ascending, for LDM/STM
        const uint32_t* const end = s + (len & ~3);
        asm volatile("1:\n\t"
                     "ldmia   %[s]!, {%[s0], %[s1], %[s2], %[s3]}\n\t"
                     "add     %[s0], %[s0], %[sum]\n\t"
                     "add     %[s1], %[s1], %[s0]\n\t"
                     "add     %[s2], %[s2], %[s1]\n\t"
                     "add     %[sum], %[s3], %[s2]\n\t"
                     "mov     %[s3], %[sum]\n\t"
                     "stmia   %[p]!, {%[s0], %[s1], %[s2], %[s3]}\n\t"
                     "cmp     %[s], %[end]\n\t"
                     "bne     1b"
                     : [s] "+r"(s), [p] "+r"(p), [sum] "+r"(sum), [s0] "=&r"(s0), [s1] "=&r"(s1),
                       [s2] "=&r"(s2), [s3] "=&r"(s3)
                     : [end] "r"(end)
                     : "cc", "memory");
        len &= 3;
    }
#endif
    for (; j < len; j++) p[j] = sum += s[j];
}

// d[x] = a[x] - b[x], the window sums from two stretches of prefix sums, stored through out().
template <class Out>
void window_sums(const uint32_t* a, const uint32_t* b, uint32_t* d, int len, const Out& out) {
    if constexpr (std::is_same_v<Out, Plain>) {
#if SHORELINE_MAF_ASM
        if (len >= 8) {
            register uint32_t a0 asm("r4"), a1 asm("r5"), a2 asm("r6"), a3 asm("r8");
            register uint32_t b0 asm("r9"), b1 asm("r10"), b2 asm("r11"), b3 asm("r12");
            uint32_t* const end = d + (len & ~7);
            asm volatile(
                "1:\n\t" MAF_WINDOW_FOUR MAF_WINDOW_FOUR "cmp     %[d], %[end]\n\t"
                "bne     1b"
                : [a] "+r"(a), [b] "+r"(b), [d] "+r"(d), [a0] "=&r"(a0), [a1] "=&r"(a1), [a2] "=&r"(a2),
                  [a3] "=&r"(a3), [b0] "=&r"(b0), [b1] "=&r"(b1), [b2] "=&r"(b2), [b3] "=&r"(b3)
                : [end] "r"(end)
                : "cc", "memory");
            len &= 7;
        }
#endif
        for (int x = 0; x < len; x++) d[x] = a[x] - b[x];
    } else {
        fade_window_sums(a, b, d, len, out.faded);
    }
}

// One row of len pixels (len <= kSpan) through the buffer p of kSpan + kDividedWindows words, whose first
// `behind` words are 0.
// A row whose words are quotients already (kDivided) is summed as it is.
template <bool kDivided, class Out>
void blur_row_words(const uint32_t* s, uint32_t* d, int len, int n, uint32_t* p, const Divisor& div,
                    const Out& out, bool red_green) {
    const int k = n / 2, behind = n - k;
    uint32_t* const row = p + behind;
    if constexpr (kDivided)
        running_sums(s, row, len);
    else
        prefix_sums(s, row, len, div, red_green);
    std::fill(row + len, row + len + k, row[len - 1]);
    window_sums(p + n, p, d, len, out);
}

// One row of `len` pixels, window n of 2..255, stored through out().
template <bool kDivided, class Out>
void blur_row(const uint32_t* s, uint32_t* d, int len, int n, const Divisor& div, const Out& out) {
    const int k = n / 2, behind = n - k;
    auto quotients = [&](uint32_t w) { return kDivided ? w & 0x00FFFFFFu : div.word(w); };
    if (len > kSpan) {
        uint32_t sum = 0; // running window sum
        for (int i = 0; i < std::min(k, len); i++) sum += quotients(s[i]);
        for (int x = 0; x < len; x++) {
            if (x + k < len) sum += quotients(s[x + k]);
            if (x >= behind) sum -= quotients(s[x - behind]);
            d[x] = out(sum);
        }
        return;
    }
    // q[behind + j] holds the quotients of pixel j, zeros around them: output x adds q[x + n] and drops
    // q[x], for x up to len rounded up to whole vectors.
    const int rounded = (len + 3) & ~3;
    uint32_t q[kSpan + kDividedWindows];
    std::fill(q, q + behind, 0u);
    uint32_t* row = q + behind;
    int j = 0;
    if constexpr (kVectorUnit && !kDivided) {
#pragma GCC unroll 4
        for (; j + 4 <= len; j += 4) store(row + j, div.words(s + j));
    }
    for (; j < len; j++) row[j] = quotients(s[j]);
    std::fill(row + len, q + rounded + n, 0u);

    uint32_t first = 0; // the window of output -1: pixels 0 .. k - 1
    for (int i = 0; i < k; i++) first += row[i];
    Words sum = {first, first, first, first};
    int x = 0;
#pragma GCC unroll 4
    for (; x + 4 <= len; x += 4) {
        sum = running_sum(load<Words>(q + x + n) - load<Words>(q + x)) + last_lane(sum);
        store(d + x, out(sum));
    }
    if (x < len) {
        sum = running_sum(load<Words>(q + x + n) - load<Words>(q + x)) + last_lane(sum);
        const Words stored = out(sum);
        for (int i = 0; x < len; x++, i++) d[x] = stored[i];
    }
}

// One output row of the column sums: sums += quotients of `in` (kEnter) - quotients of `out` (kLeave),
// copied to d when kStore.
template <bool kEnter, bool kLeave, bool kStore>
void column_step(const uint32_t* in, const uint32_t* out, uint32_t* sums, uint32_t* d, int cols,
                 const Divisor& div) {
    int c = 0;
    for (; kVectorUnit && c + 4 <= cols; c += 4) {
        Words s = load<Words>(sums + c);
        if constexpr (kEnter) s += div.words(in + c);
        if constexpr (kLeave) s -= div.words(out + c);
        store(sums + c, s);
        if constexpr (kStore) store(d + c, s);
    }
    for (; c < cols; c++) {
        uint32_t s = sums[c];
        if constexpr (kEnter) s += div.word(in[c]);
        if constexpr (kLeave) s -= div.word(out[c]);
        sums[c] = s;
        if constexpr (kStore) d[c] = s;
    }
}

// The columns without a vector unit: a source row's quotients are added to the column sums as it enters
// the window and subtracted as it leaves, only between its first and last word with a channel set (black
// has no quotients, and the demo's closing frames are mostly black); a word that repeats its left
// neighbour reuses its quotients.
struct Lit {
    int first, end; // columns first .. end - 1; first == end for a black row
};

Lit lit_columns(const uint32_t* row, int cols) {
    int first = 0;
    for (; first + 4 <= cols &&
           ((row[first] | row[first + 1] | row[first + 2] | row[first + 3]) & 0x00FFFFFFu) == 0;
         first += 4) {
    }
    while (first < cols && (row[first] & 0x00FFFFFFu) == 0) first++;
    int end = cols;
    while (end > first && (row[end - 1] & 0x00FFFFFFu) == 0) end--;
    return {first, end};
}

template <bool kAdd> void add_quotients(const uint32_t* row, uint32_t* sums, Lit lit, const Divisor& div) {
    uint32_t last = 0, q = 0; // the quotients of 0 are 0
    for (int c = lit.first; c < lit.end; c++) {
        if (row[c] != last) {
            last = row[c];
            q = div.word(last);
        }
        sums[c] = kAdd ? sums[c] + q : sums[c] - q;
    }
}

void vertical_words(const uint32_t* src, uint32_t* dst, int sx, int sy, int dx, int dy, int width, int height,
                    int pitch, int n, const Divisor& div) {
    const int k = n / 2, behind = n - k;
    uint32_t sums[kColumnChunk];
    Lit lit[kMaxWindow]; // of source row y at y % kMaxWindow, from its entering the window until it leaves
    for (int c0 = 0; c0 < width; c0 += kColumnChunk) {
        const int cols = std::min(kColumnChunk, width - c0);
        auto src_row = [&](int y) { return src + static_cast<ptrdiff_t>(sy + y) * pitch + sx + c0; };
        auto enter = [&](int y) {
            lit[y % kMaxWindow] = lit_columns(src_row(y), cols);
            add_quotients<true>(src_row(y), sums, lit[y % kMaxWindow], div);
        };
        std::fill(sums, sums + cols, 0u);
        for (int y = 0; y < std::min(k, height); y++) enter(y);
        for (int y = 0; y < height; y++) {
            if (y + k < height) enter(y + k);
            if (y >= behind)
                add_quotients<false>(src_row(y - behind), sums, lit[(y - behind) % kMaxWindow], div);
            std::copy(sums, sums + cols, dst + static_cast<ptrdiff_t>(dy + y) * pitch + dx + c0);
        }
    }
}

// red_green: no pixel of the rectangle has blue.
template <class Out, bool kDivided = false>
void horizontal(const uint32_t* src, uint32_t* dst, int sx, int sy, int dx, int dy, int width, int height,
                int pitch, int n, const Out out, bool red_green = false) {
    if (width <= 0 || height <= 0 || !window_ok(n)) return;
    if (undivided(src, dst, sx, sy, dx, dy, width, height, pitch, n, out)) return;
    const Divisor& div = divisor(n);
    if (kWords && width <= kSpan) {
        uint32_t p[kSpan + kDividedWindows];
        std::fill(p, p + (n - n / 2), 0u);
        each_row(src, dst, sx, sy, dx, dy, height, pitch, [&](const uint32_t* s, uint32_t* d) {
            blur_row_words<kDivided>(s, d, width, n, p, div, out, red_green);
        });
        return;
    }
    each_row(src, dst, sx, sy, dx, dy, height, pitch,
             [&](const uint32_t* s, uint32_t* d) { blur_row<kDivided>(s, d, width, n, div, out); });
}

} // namespace

void init_maf() {
    for (int n = 2; n < kDividedWindows; n++) multiplier[n] = static_cast<uint16_t>(((1u << 16) + n - 1) / n);
}

// Rows of the rectangle independently. A window outside 0..639 is refused: nothing is written.
void horiz_maf(const uint32_t* src, uint32_t* dst, int sx, int sy, int dx, int dy, int width, int height,
               int pitch, int /*bufheight*/, int n) {
    horizontal(src, dst, sx, sy, dx, dy, width, height, pitch, n, Plain{});
}

void horiz_maf_red_green(const uint32_t* src, uint32_t* dst, int sx, int sy, int dx, int dy, int width,
                         int height, int pitch, int /*bufheight*/, int n) {
    horizontal(src, dst, sx, sy, dx, dy, width, height, pitch, n, Plain{}, true);
}

namespace {
template <bool kDivided>
void faded_blur(const uint32_t* src, uint32_t* dst, int sx, int sy, int dx, int dy, int width, int height,
                int pitch, int n, int level, int then_level) {
    int keep = 255 - std::clamp(level, 0, 255), then = 255 - std::clamp(then_level, 0, 255);
    if (keep == 255) std::swap(keep, then); // a single fade is the first
    if (keep == 255)
        horizontal<Plain, kDivided>(src, dst, sx, sy, dx, dy, width, height, pitch, n, Plain{});
    else if (keep == 0 || then == 0) // faded out: black wherever the blur would write, as window 0 gives
        horizontal<Plain, kDivided>(src, dst, sx, sy, dx, dy, width, height, pitch, window_ok(n) ? 0 : n,
                                    Plain{});
    else if (then == 255)
        horizontal<Faded<false>, kDivided>(src, dst, sx, sy, dx, dy, width, height, pitch, n,
                                           Faded<false>(keep));
    else
        horizontal<Faded<true>, kDivided>(src, dst, sx, sy, dx, dy, width, height, pitch, n,
                                          Faded<true>(keep, then));
}
} // namespace

void horiz_maf_fade(const uint32_t* src, uint32_t* dst, int sx, int sy, int dx, int dy, int width, int height,
                    int pitch, int /*bufheight*/, int n, int level, int then_level) {
    faded_blur<false>(src, dst, sx, sy, dx, dy, width, height, pitch, n, level, then_level);
}

void horiz_maf_fade_divided(const uint32_t* src, uint32_t* dst, int sx, int sy, int dx, int dy, int width,
                            int height, int pitch, int /*bufheight*/, int n, int level, int then_level) {
    faded_blur<true>(src, dst, sx, sy, dx, dy, width, height, pitch, n, level, then_level);
}

namespace {
// d[x] = v for x of 0..len-1.
inline void fill_words(uint32_t* d, int len, uint32_t v) {
    for (; len >= 4; len -= 4, d += 4) d[0] = d[1] = d[2] = d[3] = v;
    for (; len > 0; len--) *d++ = v;
}

// What a faded window sum is stored as: its channels through `of`, or, where no word has blue, its red and
// green through tables that hold them in place.
struct FadedChannels {
    const uint8_t* of;
    uint32_t operator()(uint32_t sum) const { return map_channels(of, sum); }
};
struct FadedRedGreen {
    uint32_t red[256]; // of[i] << 16, and so green's of[i] << 8 shifted down
    explicit FadedRedGreen(const uint8_t* of) {
        for (int i = 0; i < 256; i++) red[i] = uint32_t{of[i]} << 16;
    }
    uint32_t operator()(uint32_t sum) const { return red[sum >> 16 & 255] | red[sum >> 8 & 255] >> 8; }
};

// One row of width pixels (at most kSpan) as runs, window n (k = n / 2 ahead, behind = n - k), stored
// through out(). Output x adds the quotients of pixel x + k and drops those of pixel x - behind: while
// both pixels stay in one run each, the sum changes by the same step at every pixel, and by none where
// the two runs' words are the same, where the stored word repeats. Each segment ends at the nearer of
// the output where the entering pixel's run ends (its end - k) and the one where the leaving pixel's
// does (its end + behind). The runs are walked from a copy between a run of nothing before the row
// (ending at 0) and one after it (ending at width + k, so that the entering pixel's ends at width).
// A row whose runs do not end one after the other at width is left as it is.
template <class Out>
void fade_runs_row(const PanoRun* runs, int count, uint32_t* d, int width, int n, const Out& out) {
    if (count < 1 || count > width) return;
    const int k = n / 2, behind = n - k;
    PanoRun edges[kSpan + 2];
    edges[0] = {0, 0};
    for (int r = 0, last = 0; r < count; r++) {
        if (runs[r].end <= last) return;
        last = runs[r].end;
        edges[r + 1] = runs[r];
    }
    if (runs[count - 1].end != width) return;
    edges[count + 1] = {0, static_cast<uint16_t>(width + k)};
    uint32_t sum = 0; // the window of output -1: pixels 0 .. k - 1
    const PanoRun* in = edges + 1;
    for (int start = 0; in->end <= k; start = in++->end)
        sum += in->word * static_cast<uint32_t>(in->end - start);
    sum += in->word * static_cast<uint32_t>(k - in[-1].end);
    const PanoRun* gone = edges;
#if SHORELINE_MAF_ASM
    if constexpr (std::is_same_v<Out, FadedRedGreen>) {
        // By hand: 17 instructions a segment, 9 a pixel of steps, and a fill two words a store. A run's
        // edge for the entering pixel is at in_base + 4 * end, for the leaving pixel at gone_base + 4 * end.
        uint32_t *stop, step, t, u;
        const uint32_t in_base = reinterpret_cast<uintptr_t>(d) - 4 * static_cast<uint32_t>(k);
        const uint32_t gone_base = reinterpret_cast<uintptr_t>(d) + 4 * static_cast<uint32_t>(behind);
        const uint32_t* const row_end = d + width;
        // clang-format off
#define MAF_RED_GREEN_STORED                                                                                 \
    "ubfx    %[t], %[sum], #8, #8\n\t"                                                                        \
    "ldr     %[t], [%[red], %[t], lsl #2]\n\t"                                                                \
    "ubfx    %[u], %[sum], #16, #8\n\t"                                                                       \
    "ldr     %[u], [%[red], %[u], lsl #2]\n\t"                                                                \
    "orr     %[t], %[u], %[t], lsr #8\n\t"
        asm volatile(
            "1:\n\t"
            "ldrh    %[t], [%[in], #4]\n\t"
            "ldrh    %[u], [%[gone], #4]\n\t"
            "add     %[t], %[in_base], %[t], lsl #2\n\t"
            "add     %[u], %[gone_base], %[u], lsl #2\n\t"
            "cmp     %[t], %[u]\n\t"
            "ite     ls\n\t"
            "movls   %[stop], %[t]\n\t"
            "movhi   %[stop], %[u]\n\t"
            "ldr     %[step], [%[in]]\n\t"
            "cmp     %[t], %[stop]\n\t"
            "it      eq\n\t"
            "addeq   %[in], %[in], #8\n\t"
            "ldr     %[t], [%[gone]]\n\t"
            "cmp     %[u], %[stop]\n\t"
            "it      eq\n\t"
            "addeq   %[gone], %[gone], #8\n\t"
            "subs    %[step], %[step], %[t]\n\t"
            "beq     3f\n"
            "2:\n\t"
            "add     %[sum], %[sum], %[step]\n\t"
            MAF_RED_GREEN_STORED
            "str     %[t], [%[d]], #4\n\t"
            "cmp     %[d], %[stop]\n\t"
            "bne     2b\n\t"
            "cmp     %[d], %[row_end]\n\t"
            "bne     1b\n\t"
            "b       9f\n"
            "3:\n\t"
            MAF_RED_GREEN_STORED
            "sub     %[u], %[stop], %[d]\n\t"
            "tst     %[u], #4\n\t"
            "it      ne\n\t"
            "strne   %[t], [%[d]], #4\n\t"
            "tst     %[u], #8\n\t"
            "it      ne\n\t"
            "strdne  %[t], %[t], [%[d]], #8\n\t"
            "cmp     %[d], %[stop]\n\t"
            "beq     5f\n"
            "4:\n\t"
            "strd    %[t], %[t], [%[d]], #8\n\t"
            "strd    %[t], %[t], [%[d]], #8\n\t"
            "cmp     %[d], %[stop]\n\t"
            "bne     4b\n"
            "5:\n\t"
            "cmp     %[d], %[row_end]\n\t"
            "bne     1b\n"
            "9:"
            : [d] "+&r"(d), [in] "+&r"(in), [gone] "+&r"(gone), [sum] "+&r"(sum), [stop] "=&r"(stop),
              [step] "=&r"(step), [t] "=&r"(t), [u] "=&r"(u)
            : [in_base] "r"(in_base), [gone_base] "r"(gone_base), [row_end] "r"(row_end), [red] "r"(out.red)
            : "cc", "memory");
#undef MAF_RED_GREEN_STORED
        // clang-format on
        return;
    }
#endif
    for (int x = 0; x < width;) {
        const int in_at = in->end - k, gone_at = gone->end + behind;
        const int end = std::min(in_at, gone_at);
        const uint32_t step = in->word - gone->word;
        if (step == 0) {
            fill_words(d + x, end - x, out(sum));
            x = end;
        } else {
            for (; x < end; x++) d[x] = out(sum += step);
        }
        in += in_at == x;
        gone += gone_at == x;
    }
}
} // namespace

void horiz_maf_fade_runs(const PanoRun* runs, const int* row_first, uint32_t* dst, int first, int rows,
                         int width, int n, int level, int then_level) {
    if (n < 1 || n >= kDividedWindows || width <= 0 || width > kSpan) return;
    // Both fades of a channel sum i, each truncated on its own (none for a level of 0).
    const uint32_t keep = 255 - static_cast<uint32_t>(std::clamp(level, 0, 255));
    const uint32_t then = 255 - static_cast<uint32_t>(std::clamp(then_level, 0, 255));
    uint8_t of[256];
    for (uint32_t i = 0, p = 0; i < 256; i++, p += keep)
        of[i] = static_cast<uint8_t>(div255(div255(p) * then));
    uint32_t blue = 0;
    for (int r = row_first[first]; r < row_first[first + rows]; r++) blue |= runs[r].word;
    auto each_row = [&](const auto& out) {
        for (int r = first; r < first + rows; r++)
            fade_runs_row(runs + row_first[r], row_first[r + 1] - row_first[r],
                          dst + static_cast<ptrdiff_t>(r) * width, width, n, out);
    };
    if (blue & 255)
        each_row(FadedChannels{of});
    else
        each_row(FadedRedGreen(of));
}

// Columns of the rectangle; walks the rows in order and keeps one running sum per column, so that the
// memory is read row by row.
void vert_maf(const uint32_t* src, uint32_t* dst, int sx, int sy, int dx, int dy, int width, int height,
              int pitch, int /*bufheight*/, int n) {
    if (width <= 0 || height <= 0 || !window_ok(n)) return;
    if (undivided(src, dst, sx, sy, dx, dy, width, height, pitch, n, Plain{})) return;
    const Divisor div = divisor(n); // a copy: the column sums' stores cannot alias it
    if constexpr (kWords) return vertical_words(src, dst, sx, sy, dx, dy, width, height, pitch, n, div);
    const int k = n / 2, behind = n - k;
    const int first = std::min(k, height);
    uint32_t sums[kColumnChunk];
    for (int c0 = 0; c0 < width; c0 += kColumnChunk) {
        const int cols = std::min(kColumnChunk, width - c0);
        auto src_row = [&](int y) { return src + static_cast<ptrdiff_t>(sy + y) * pitch + sx + c0; };
        std::fill(sums, sums + cols, 0u);
        for (int y = 0; y < first; y++)
            column_step<true, false, false>(src_row(y), nullptr, sums, nullptr, cols, div);
        for (int y = 0; y < height; y++) {
            uint32_t* d = dst + static_cast<ptrdiff_t>(dy + y) * pitch + dx + c0;
            const bool enters = y + k < height, leaves = y >= behind;
            if (enters && leaves)
                column_step<true, true, true>(src_row(y + k), src_row(y - behind), sums, d, cols, div);
            else if (enters)
                column_step<true, false, true>(src_row(y + k), nullptr, sums, d, cols, div);
            else if (leaves)
                column_step<false, true, true>(nullptr, src_row(y - behind), sums, d, cols, div);
            else
                std::copy(sums, sums + cols, d);
        }
    }
}
