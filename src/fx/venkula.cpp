// Warped hole mask: lays a scrolling lattice of round holes, seen through a radial lens, over a finished
// picture (main thread). Inside a hole the picture shows, on the rim it is masked with 0xC0C0C0C0, between
// holes it is black; where the lattice cell is outside radius ~96 the point-mirrored pixel is halved.
// The lattice repeats every 256 units, so only the low 8 bits of a lattice coordinate matter and the
// lens offsets are kept as bytes.
//
// Per pixel p the masking happens in ascending order of p, the halving of the mirror pixel q = 76799 - p
// right after: a pixel of the top half is masked before it is halved, one of the bottom half halved before
// it is masked. venkula handles p and q together, which gives that exact order without copying first.
#include "fx.h"

#include "lanes.h"
#include "swar.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

constexpr int kW = kScreenW, kPixels = kScreenWords;

// Lens offsets before scrolling, per screen pixel: (row offset mod 256) << 8 | (column offset mod 256).
alignas(4) uint16_t lens[kPixels];
int lens_depth = 0, lens_divisor = 0; // the settings lens was made for (divisor 0: not made yet)

// Lattice cell classes by f = i^2 + j^2 from the cell centre: hole (f < 9200), hole whose mirror pixel
// is halved (9200..9700), rim (9701..10000), outside (> 10000); all but the first halve the mirror pixel.
constexpr int kShadeFrom = 9200, kHoleTo = 9700, kRimTo = 10000;

#if SHORELINE_VECTOR_UNIT
// Eight pixels at a time in vector lanes: the cell's f is computed (it stays below 2^16) and compared with
// the class bounds, so a pixel costs a few lane operations and no table look-up.
using Words = uint16_t __attribute__((vector_size(16)));
using SignedWords = int16_t __attribute__((vector_size(16)));
using Pixels = uint32_t __attribute__((vector_size(16)));

template <class V, class T> V load(const T* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void store(uint32_t* p, Pixels v) {
    std::memcpy(p, &v, sizeof v);
}

struct CellLanes {
    Words mask;  // either half of the pixel's mask word: 0xFFFF hole, 0xC0C0 rim, 0 outside
    Words shade; // 0xFFFF where the cell halves the mirror pixel
};

// The lattice cells of the 8 pixels from `first` on, scrolled by (row, column).
CellLanes cell_lanes(int first, Words row_scroll, Words column_scroll) {
    const Words l = load<Words>(lens + first);
    // i and j wrap below 0, but their squares are still right modulo 2^16, and f < 2^16.
    const Words i = (((l >> 8) + row_scroll) & 255) - 128;
    const Words j = ((l + column_scroll) & 255) - 128;
    // f - 16384 fits a signed lane (0 <= f <= 32768): signed comparisons are single instructions.
    const SignedWords f = reinterpret_cast<SignedWords>(i * i + j * j - 16384);
    const Words hole = reinterpret_cast<Words>(f <= kHoleTo - 16384);
    const Words lattice = reinterpret_cast<Words>(f <= kRimTo - 16384);
    return {Words(hole | (lattice & 0xC0C0)), reinterpret_cast<Words>(f >= kShadeFrom - 16384)};
}

// Each 16-bit lane twice, as 32-bit lanes: the low four lanes or the high four.
Pixels widen(Words v, int high) {
    return reinterpret_cast<Pixels>(high ? __builtin_shufflevector(v, v, 4, 4, 5, 5, 6, 6, 7, 7)
                                         : __builtin_shufflevector(v, v, 0, 0, 1, 1, 2, 2, 3, 3));
}

// The mirror pixels' lanes of a half: widened lanes of the other half, in reverse order.
Pixels widen_reversed(Words v, int high) {
    const Pixels w = widen(v, 1 - high);
    return __builtin_shufflevector(w, w, 3, 2, 1, 0);
}

// x halved (top byte cleared) where shade is set.
Pixels halve(Pixels x, Pixels shade) {
    return (x & ~shade) | ((x >> 1) & (shade & 0x7F7F7Fu));
}

void mask_frame(uint16_t scroll, uint32_t* dest, const uint32_t* src) {
    const Words row_scroll = Words{} + static_cast<uint16_t>(scroll >> 8);
    const Words column_scroll = Words{} + static_cast<uint16_t>(scroll & 255);
    for (int p = 0; p < kPixels / 2; p += 8) {
        const int q = kPixels - 8 - p; // the mirror pixels of p + 7 .. p, in ascending order
        const CellLanes cp = cell_lanes(p, row_scroll, column_scroll);
        const CellLanes cq = cell_lanes(q, row_scroll, column_scroll);
        for (int h = 0; h < 2; h++) {
            const Pixels sp = load<Pixels>(src + p + 4 * h), sq = load<Pixels>(src + q + 4 * h);
            // top half: masked, then halved by the mirror's cell; bottom half: halved, then masked
            store(dest + p + 4 * h, halve(sp & widen(cp.mask, h), widen_reversed(cq.shade, h)));
            store(dest + q + 4 * h, halve(sq, widen_reversed(cp.shade, h)) & widen(cq.mask, h));
        }
    }
}

// Each pixel's coverage byte (fx.h): the low byte of its cell's mask, shifted down by 1 where the pixel is
// halved; a pixel of the bottom half is halved before it is masked, so its byte is masked once more.
void coverage(uint16_t scroll, uint8_t* covered) {
    const Words row_scroll = Words{} + static_cast<uint16_t>(scroll >> 8);
    const Words column_scroll = Words{} + static_cast<uint16_t>(scroll & 255);
    using Bytes8 = uint8_t __attribute__((vector_size(8)));
    auto reversed = [](Words v) { return __builtin_shufflevector(v, v, 7, 6, 5, 4, 3, 2, 1, 0); };
    auto halved = [](Words m, Words shade) { return (m & ~shade) | ((m >> 1) & shade); };
    auto put = [&](int at, Words b) {
        const Bytes8 bytes = __builtin_convertvector(b, Bytes8);
        std::memcpy(covered + at, &bytes, 8);
    };
    for (int p = 0; p < kPixels / 2; p += 8) {
        const int q = kPixels - 8 - p; // the mirror pixels of p + 7 .. p, in ascending order
        const CellLanes cp = cell_lanes(p, row_scroll, column_scroll);
        const CellLanes cq = cell_lanes(q, row_scroll, column_scroll);
        const Words mp = cp.mask & 255, mq = cq.mask & 255;
        put(p, halved(mp, reversed(cq.shade)));
        put(q, halved(mq, reversed(cp.shade)) & mq);
    }
}
#else
// Without 16-byte vectors: the class of every pixel's cell from a table, after a byte-wise add of the
// scroll (swar.h); then what each pair of classes does to a pixel and its mirror from a second table.
enum : uint8_t { kOutsideShade, kHoleKeep, kHoleShade, kRimShade }; // an outside pixel shows nothing

struct ClassTable {
    uint8_t of[256 * 256]; // row * 256 + column of the lattice cell
    constexpr ClassTable() : of() {
        for (int j = -128; j < 128; j++)
            for (int i = -128; i < 128; i++) {
                const int f = i * i + j * j;
                of[(j + 128) * 256 + i + 128] = f > kRimTo        ? kOutsideShade
                                                : f > kHoleTo     ? kRimShade
                                                : f >= kShadeFrom ? kHoleShade
                                                                  : kHoleKeep;
            }
    }
};
constexpr ClassTable cell_class;

// For a pixel p of the top half with class cp and its mirror q with class cq, at [cp * 4 + cq]: p becomes
// (p >> shift_p) & mask_p (masked by cp, then halved by cq), q becomes (q >> shift_q) & mask_q (halved by
// cp, then masked by cq). Halving is a shift by 1 and the mask 0x7F7F7F (top byte cleared).
struct PairRule {
    uint32_t mask_p, mask_q, shift_p, shift_q;
};
struct PairTable {
    PairRule rule[16];
    constexpr PairTable() : rule() {
        constexpr uint32_t kClassMask[4] = {0, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xC0C0C0C0u};
        for (uint32_t cp = 0; cp < 4; cp++)
            for (uint32_t cq = 0; cq < 4; cq++) {
                const uint32_t halve_p = cq != kHoleKeep, halve_q = cp != kHoleKeep;
                const uint32_t kept_p = halve_p ? 0x7F7F7Fu : 0xFFFFFFFFu,
                               kept_q = halve_q ? 0x7F7F7Fu : 0xFFFFFFFFu;
                rule[cp * 4 + cq] = {(kClassMask[cp] >> halve_p) & kept_p, kept_q & kClassMask[cq], halve_p,
                                     halve_q};
            }
    }
};
constexpr PairTable pair_rule;

// The pixels p of the top half from p0 to p0 + n - 1 and their mirrors q = 76799 - p: the cells of both
// from their lens offsets scrolled byte by byte, their classes, and the pair's rule applied.
void mask_pairs(uint16_t scroll, uint32_t* dest, const uint32_t* src, int p0, int n) {
    if (n <= 0) return;
    const uint16_t* lp = lens + p0;
    const uint16_t* lq = lens + kPixels - 1 - p0;
    uint32_t* dp = dest + p0;
    uint32_t* dq = dest + kPixels - 1 - p0;
    uint32_t* const end = dp + n;
#if defined(__ARM_FEATURE_SIMD32) && defined(__thumb2__)
    // The compiler keeps too few of the loop's values in registers here; by hand a pair is 20
    // instructions.
    // A source pixel is read at its destination pixel's address + offset.
    const uint32_t scrolls = scroll;
    const uint32_t offset = reinterpret_cast<uintptr_t>(src) - reinterpret_cast<uintptr_t>(dest);
    uint32_t t0, t1, t2;
    asm volatile("1:\n\t"
                 "ldrh   %[t0], [%[lp]], #2\n\t"
                 "ldrh   %[t1], [%[lq]], #-2\n\t"
                 "uadd8  %[t0], %[t0], %[scroll]\n\t"
                 "uadd8  %[t1], %[t1], %[scroll]\n\t"
                 "ldrb   %[t0], [%[classes], %[t0]]\n\t"
                 "ldrb   %[t1], [%[classes], %[t1]]\n\t"
                 "add    %[t0], %[t1], %[t0], lsl #2\n\t"
                 "add    %[t0], %[rules], %[t0], lsl #4\n\t"
                 "ldr    %[t1], [%[dp], %[offset]]\n\t"
                 "ldr    %[t2], [%[t0], #8]\n\t"
                 "lsr    %[t1], %[t1], %[t2]\n\t"
                 "ldr    %[t2], [%[t0]]\n\t"
                 "and    %[t1], %[t1], %[t2]\n\t"
                 "str    %[t1], [%[dp]], #4\n\t"
                 "ldr    %[t1], [%[dq], %[offset]]\n\t"
                 "ldr    %[t2], [%[t0], #12]\n\t"
                 "lsr    %[t1], %[t1], %[t2]\n\t"
                 "ldr    %[t2], [%[t0], #4]\n\t"
                 "and    %[t1], %[t1], %[t2]\n\t"
                 "str    %[t1], [%[dq]], #-4\n\t"
                 "cmp    %[dp], %[end]\n\t"
                 "bne    1b"
                 : [t0] "=&r"(t0), [t1] "=&r"(t1), [t2] "=&r"(t2), [lp] "+r"(lp), [lq] "+r"(lq),
                   [dp] "+r"(dp), [dq] "+r"(dq)
                 : [scroll] "r"(scrolls), [classes] "r"(cell_class.of), [rules] "r"(pair_rule.rule),
                   [offset] "r"(offset), [end] "r"(end)
                 : "cc", "memory");
#else
    const uint32_t* sp = src + p0;
    const uint32_t* sq = src + kPixels - 1 - p0;
    for (; dp != end; dp++, dq--, sp++, sq--, lp++, lq--) {
        const uint32_t cp = cell_class.of[swar::add_bytes(*lp, scroll)];
        const uint32_t cq = cell_class.of[swar::add_bytes(*lq, scroll)];
        const PairRule& r = pair_rule.rule[cp * 4 + cq];
        const uint32_t p = *sp, q = *sq;
        *dp = (p >> r.shift_p) & r.mask_p;
        *dq = (q >> r.shift_q) & r.mask_q;
    }
#endif
}

void mask_frame(uint16_t scroll, uint32_t* dest, const uint32_t* src) {
    mask_pairs(scroll, dest, src, 0, kPixels / 2);
}

// The coverage bytes (fx.h) of a pixel p of the top half and of its mirror q, at [cp * 4 + cq]: the low
// bytes of their masks in the pair's rule, kept apart so that the loop reads bytes.
struct PairCoverage {
    uint8_t p[16], q[16];
    constexpr PairCoverage() : p(), q() {
        for (int pair = 0; pair < 16; pair++) {
            p[pair] = static_cast<uint8_t>(pair_rule.rule[pair].mask_p);
            q[pair] = static_cast<uint8_t>(pair_rule.rule[pair].mask_q);
        }
    }
};
constexpr PairCoverage pair_coverage;

#if defined(__ARM_FEATURE_SIMD32) && defined(__thumb2__) && defined(__OPTIMIZE__)
// Both pixels' coverage bytes of a pair of pairs, (p, q) at [cp * 4 + cq] of the first table and
// (p + 1, q - 1) of the second, placed so that their sum holds p, p + 1, q - 1 and q in ascending bytes:
// the top half's two bytes and the bottom half's two are each one halfword.
struct PairWords {
    uint32_t first[16], second[16];
    constexpr PairWords() : first(), second() {
        for (int pair = 0; pair < 16; pair++) {
            first[pair] = uint32_t{pair_coverage.p[pair]} | uint32_t{pair_coverage.q[pair]} << 24;
            second[pair] = uint32_t{pair_coverage.p[pair]} << 8 | uint32_t{pair_coverage.q[pair]} << 16;
        }
    }
};
constexpr PairWords pair_words;
#endif

void coverage(uint16_t scroll, uint8_t* covered) {
#if defined(__ARM_FEATURE_SIMD32) && defined(__thumb2__) && defined(__OPTIMIZE__)
    // By hand, two pixels of either half a step (their lens offsets loaded and scrolled as one word): 22
    // instructions for four pixels.
    const uint16_t* lp = lens;
    const uint16_t* lq = lens + kPixels - 2; // q - 1 and q
    uint8_t* cp = covered;
    uint8_t* cq = covered + kPixels - 2;
    const uint32_t scrolls = scroll | uint32_t{scroll} << 16;
    uint32_t a, b, t0, t1;
    asm volatile("1:\n\t"
                 "ldr     %[a], [%[lp]], #4\n\t"
                 "ldr     %[b], [%[lq]], #-4\n\t"
                 "uadd8   %[a], %[a], %[s]\n\t"
                 "uadd8   %[b], %[b], %[s]\n\t"
                 "uxth    %[t0], %[a]\n\t"
                 "lsr     %[t1], %[b], #16\n\t"
                 "ldrb    %[t0], [%[classes], %[t0]]\n\t"
                 "ldrb    %[t1], [%[classes], %[t1]]\n\t"
                 "lsr     %[a], %[a], #16\n\t"
                 "uxth    %[b], %[b]\n\t"
                 "ldrb    %[a], [%[classes], %[a]]\n\t"
                 "ldrb    %[b], [%[classes], %[b]]\n\t"
                 "add     %[t0], %[t1], %[t0], lsl #2\n\t"
                 "add     %[a], %[b], %[a], lsl #2\n\t"
                 "ldr     %[t0], [%[first], %[t0], lsl #2]\n\t"
                 "ldr     %[a], [%[second], %[a], lsl #2]\n\t"
                 "add     %[t0], %[t0], %[a]\n\t"
                 "strh    %[t0], [%[cp]], #2\n\t"
                 "lsr     %[t0], %[t0], #16\n\t"
                 "strh    %[t0], [%[cq]], #-2\n\t"
                 "cmp     %[cp], %[cq]\n\t"
                 "blo     1b"
                 : [a] "=&r"(a), [b] "=&r"(b), [t0] "=&r"(t0), [t1] "=&r"(t1), [lp] "+r"(lp), [lq] "+r"(lq),
                   [cp] "+r"(cp), [cq] "+r"(cq)
                 : [s] "r"(scrolls), [classes] "r"(cell_class.of), [first] "r"(pair_words.first),
                   [second] "r"(pair_words.second)
                 : "cc", "memory");
#else
    const uint16_t* lp = lens;
    const uint16_t* lq = lens + kPixels - 1;
    uint8_t* cp = covered;
    uint8_t* cq = covered + kPixels - 1;
    for (; cp < cq; cp++, cq--, lp++, lq--) {
        const uint32_t pair =
            cell_class.of[swar::add_bytes(*lp, scroll)] * 4u + cell_class.of[swar::add_bytes(*lq, scroll)];
        *cp = pair_coverage.p[pair];
        *cq = pair_coverage.q[pair];
    }
#endif
}
#endif

// A whole-numbered quotient truncated toward zero: through int where it fits (a library call converts a
// double to 64 bits on 32-bit ARM).
int64_t truncate(double q) {
    return q > -2147483648.0 && q < 2147483648.0 ? static_cast<int>(q) : static_cast<int64_t>(q);
}

// The lattice's scroll at a time: row << 8 | column, each mod 256.
uint16_t lattice_scroll(int time) {
    const double t = time;
    const int g = static_cast<int>(t + 5000 * std::sin(t * (1.0 / 600)));
    const int m = static_cast<int>(100 * std::cos(t * (1 / 22.1)));
    return static_cast<uint16_t>(static_cast<uint8_t>(3 * m) << 8 | static_cast<uint8_t>(g));
}

} // namespace

void venkula_init(int depth, int divisor) {
    // No lens without a divisor: the offsets stay as they were. The same lens again is kept as it is.
    if (divisor == 0 || (depth == lens_depth && divisor == lens_divisor)) return;
    lens_depth = depth;
    lens_divisor = divisor;
    // The offsets of (x, y) and (-x, y) are opposite (the distance is the same and the division truncates
    // toward zero), likewise for -y: one quarter of the screen is computed and mirrored.
    auto put = [](int x, int y, uint8_t row, uint8_t column) {
        lens[(y + 120) * kW + x + 160] = static_cast<uint16_t>(row << 8 | column);
    };
    for (int y = -120; y <= 0; y++)
        for (int x = -160; x <= 0; x++) {
            const int d = static_cast<int>(depth - std::sqrt(100.0 * (x * x + y * y)));
            // d * x / divisor truncated, only its low 8 bits kept. The products are whole numbers below
            // 2^53 in magnitude (an unusual depth cannot overflow them), so the double quotient truncates
            // to the integer quotient: one floating-point division where 32-bit ARM has no integer one.
            const auto column = static_cast<uint8_t>(truncate(static_cast<double>(d) * x / divisor));
            const auto row = static_cast<uint8_t>(truncate(static_cast<double>(d) * y / divisor));
            const auto flipped_column = static_cast<uint8_t>(0 - column),
                       flipped_row = static_cast<uint8_t>(0 - row);
            put(x, y, row, column);
            if (x != 0 && x != -160) put(-x, y, row, flipped_column);
            if (y != 0 && y != -120) put(x, -y, flipped_row, column);
            if (x != 0 && x != -160 && y != 0 && y != -120) put(-x, -y, flipped_row, flipped_column);
        }
}

void venkula(int time, uint32_t* dest, const uint32_t* src) {
    mask_frame(lattice_scroll(time), dest, src);
}

void venkula_coverage(int time, uint8_t* covered) {
    coverage(lattice_scroll(time), covered);
}
