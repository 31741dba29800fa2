// Fades: byte-wise blends of two frame buffers, used by every scene (main thread).
// Every byte of a 0x00RRGGBB word is blended alike, the top byte included. Each weight i * w / 255 is
// truncated on its own, so a mix may come out slightly darker than the exact weighted mean.
// The destination may be either source: byte k of both sources is read before byte k is written.
//
// The blends run 16 bytes at a time (lanes.h: a multiply-high per byte with SSE2, exact for every weight
// of 1..254); weights 0 and 255 need no multiply, and a fade whose result is one source is a copy (none
// when that source is the destination).
// Without a vector unit (lanes::kVectorUnit) the blends work a word at a time, two bytes per 16-bit lane
// (swar.h), in two passes over the destination (one per source, so that a word the demo's pictures
// repeat is weighed once per run); only gains beyond 256 go through tables of the weighted bytes.
#include "fx.h"

#include "lanes.h"
#include "swar.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace {

using namespace lanes;

// The weight of one source, i * w / 255 per byte: 0, the byte itself, or a multiply.
// word() weighs the four bytes of a frame word.
struct Zero {
    Weighed operator()(Bytes) const { return Weighed{}; }
    uint32_t operator()(uint32_t) const { return 0; }
    static uint32_t word(uint32_t) { return 0; }
};
struct Same {
    Weighed operator()(Bytes v) const { return unweighed(v); }
    uint32_t operator()(uint32_t i) const { return i; }
    static uint32_t word(uint32_t x) { return x; }
};
struct Scaled {
    uint32_t w;
    Weight lanes;

    explicit Scaled(int weight) : w(static_cast<uint32_t>(weight)), lanes(weight) {}
    Weighed operator()(Bytes v) const { return weigh(v, lanes); }
    uint32_t operator()(uint32_t i) const { return i * w / 255; }
    uint32_t word(uint32_t x) const { return swar::weigh(x, w); }
};

// dst = combine(ta(a), tb(b)) byte by byte, 16 bytes at a time; each chunk of both sources is loaded
// before it is stored. The weights are taken by value: the byte stores cannot alias a local copy, so their
// multipliers stay in registers.
template <class TA, class TB, class Combine>
void blend(const uint32_t* a, const uint32_t* b, uint32_t* dst, int count, const TA ta, const TB tb,
           Combine combine) {
    const uint8_t* pa = reinterpret_cast<const uint8_t*>(a);
    const uint8_t* pb = reinterpret_cast<const uint8_t*>(b);
    uint8_t* pd = reinterpret_cast<uint8_t*>(dst);
    const size_t bytes = static_cast<size_t>(count) * 4;
    size_t k = 0;
#pragma GCC unroll 2
    for (; k + kBytes <= bytes; k += kBytes) store(pd + k, combine(ta(load(pa + k)), tb(load(pb + k))));
    for (; k < bytes; k++)
        pd[k] = static_cast<uint8_t>(std::min(255u, ta(uint32_t{pa[k]}) + tb(uint32_t{pb[k]})));
}

// Calls f with the weight w (0..255) of one source.
template <class F> void with_weight(int w, F f) {
    if (w == 0)
        f(Zero{});
    else if (w == 255)
        f(Same{});
    else
        f(Scaled(w));
}

// dst = f(a, b) word by word, for cores without a vector unit.
template <class F> void each_word(const uint32_t* a, const uint32_t* b, uint32_t* dst, int count, F f) {
#pragma GCC unroll 4
    for (int k = 0; k < count; k++) dst[k] = f(a[k], b[k]);
}

void copy(const uint32_t* src, uint32_t* dst, int count) {
    if (src != dst) std::memmove(dst, src, static_cast<size_t>(count) * sizeof(uint32_t));
}

// How many more black words of 64 the source that dst is must have than the other to go second (and be
// copied aside in chunks): enough to pay for the copies.
constexpr int kBlackerBy = 8;

// How the second source's weighed words join the first's: a plain add where no byte can exceed 255 (the
// two weights of a cross-fade add up to 255), or a saturating one.
struct Add {
    static uint32_t word(uint32_t d, uint32_t w) { return d + w; }
};
struct Saturate {
    static uint32_t word(uint32_t d, uint32_t w) { return swar::add_saturate(d, w); }
};

// Hand-written loops for 32-bit ARM; an unoptimised build keeps too few registers free for them.
#if defined(__ARM_FEATURE_SIMD32) && defined(__thumb2__) && defined(__OPTIMIZE__)
#define SHORELINE_FADE_ASM 1
// clang-format off
// swar::weigh of %[S] into %[O], with %[T] and %[U] temporaries.
#define FADE_WEIGH(S, O, T, U)                                                                               \
    "uxtb16  %[" T "], %[" S "]\n\t"                                                                         \
    "mla     %[" T "], %[" T "], %[w], %[ones]\n\t"                                                          \
    "uxtab16 %[" T "], %[" T "], %[" T "], ror #8\n\t"                                                       \
    "uxtb16  %[" U "], %[" S "], ror #8\n\t"                                                                 \
    "mla     %[" U "], %[" U "], %[w], %[ones]\n\t"                                                          \
    "uxtab16 %[" U "], %[" U "], %[" U "], ror #8\n\t"                                                       \
    "bic     %[" U "], %[" U "], #0x00FF00FF\n\t"                                                            \
    "uxtab16 %[" O "], %[" U "], %[" T "], ror #8\n\t"
// First pass, one word: weighed unless it repeats the word before it.
#define FADE_FIRST(S, BEFORE)                                                                                \
    "cmp     %[" S "], %[" BEFORE "]\n\t"                                                                    \
    "beq     1f\n\t"                                                                                         \
    FADE_WEIGH(S, "o", "t", "u")                                                                             \
    "1:\n\t"                                                                                                 \
    "str     %[o], [%[d]], #4\n\t"
// Eight words a step, four at a time.
#define FADE_FIRST_FOUR                                                                                      \
    "ldmia   %[src]!, {%[s0], %[s1], %[s2], %[s3]}\n\t"                                                      \
    FADE_FIRST("s0", "last")                                                                                 \
    FADE_FIRST("s1", "s0")                                                                                   \
    FADE_FIRST("s2", "s1")                                                                                   \
    FADE_FIRST("s3", "s2")                                                                                   \
    "mov     %[last], %[s3]\n\t"
#define FADE_FIRST_LOOP                                                                                      \
    "2:\n\t"                                                                                                 \
    FADE_FIRST_FOUR                                                                                          \
    FADE_FIRST_FOUR                                                                                          \
    "cmp     %[src], %[end]\n\t"                                                                             \
    "bne     2b"
// First pass without runs: a word is weighed in its register unless it is black (weighed 0), and four
// are stored at a time.
#define FADE_NONBLACK(S)                                                                                     \
    "cbz     %[" S "], 1f\n\t"                                                                               \
    FADE_WEIGH(S, S, "t", "u")                                                                               \
    "1:\n\t"
#define FADE_NONBLACK_FOUR                                                                                   \
    "ldmia   %[src]!, {%[s0], %[s1], %[s2], %[s3]}\n\t"                                                      \
    FADE_NONBLACK("s0") FADE_NONBLACK("s1") FADE_NONBLACK("s2") FADE_NONBLACK("s3")                          \
    "stmia   %[d]!, {%[s0], %[s1], %[s2], %[s3]}\n\t"
#define FADE_NONBLACK_LOOP                                                                                   \
    "2:\n\t"                                                                                                 \
    FADE_NONBLACK_FOUR                                                                                       \
    FADE_NONBLACK_FOUR                                                                                       \
    "cmp     %[src], %[end]\n\t"                                                                             \
    "bne     2b"
// Second pass, one word at byte offset OFF of %[d]: a black word leaves the destination as it is.
#define FADE_SECOND(OP, S, BEFORE, OFF)                                                                      \
    "cbz     %[" S "], 2f\n\t"                                                                               \
    "cmp     %[" S "], %[" BEFORE "]\n\t"                                                                    \
    "beq     1f\n\t"                                                                                         \
    FADE_WEIGH(S, "o", "t", "u")                                                                             \
    "1:\n\t"                                                                                                 \
    "ldr     %[t], [%[d], #" OFF "]\n\t"                                                                     \
    OP "   %[t], %[t], %[o]\n\t"                                                                             \
    "str     %[t], [%[d], #" OFF "]\n"                                                                       \
    "2:\n\t"
#define FADE_SECOND_FOUR(OP, AT0, AT1, AT2, AT3)                                                             \
    "ldmia   %[src]!, {%[s0], %[s1], %[s2], %[s3]}\n\t"                                                      \
    FADE_SECOND(OP, "s0", "last", AT0)                                                                       \
    FADE_SECOND(OP, "s1", "s0", AT1)                                                                         \
    FADE_SECOND(OP, "s2", "s1", AT2)                                                                         \
    FADE_SECOND(OP, "s3", "s2", AT3)                                                                         \
    "mov     %[last], %[s3]\n\t"
#define FADE_SECOND_LOOP(OP)                                                                                 \
    "3:\n\t"                                                                                                 \
    FADE_SECOND_FOUR(OP, "0", "4", "8", "12")                                                                \
    FADE_SECOND_FOUR(OP, "16", "20", "24", "28")                                                             \
    "add     %[d], %[d], #32\n\t"                                                                            \
    "cmp     %[src], %[end]\n\t"                                                                             \
    "bne     3b"
// The operands of the loops: s0..s3 in registers fit for LDM, tmp and unused the weigh's temporaries (the
// loop without runs leaves last and o as they are).
#define FADE_OPERANDS                                                                                        \
    : [src] "+r"(src), [d] "+r"(dst), [last] "+r"(last), [o] "+r"(o), [s0] "=&r"(s0), [s1] "=&r"(s1),        \
      [s2] "=&r"(s2), [s3] "=&r"(s3), [t] "=&r"(tmp), [u] "=&r"(unused)                                      \
    : [end] "r"(end), [w] "r"(t.w), [ones] "r"(swar::kLaneOnes)                                              \
    : "cc", "memory"
// clang-format on
#else
#define SHORELINE_FADE_ASM 0
#endif

// dst = t(src) word by word; with `runs` a word that repeats the one before it repeats its weighed word,
// without, a black word is passed over (on 32-bit ARM; elsewhere both are the same loop). src may be dst.
template <class T>
void first_pass(const uint32_t* src, uint32_t* dst, int count, const T& t, bool runs = true) {
    if constexpr (std::is_same_v<T, Zero>) {
        std::fill(dst, dst + count, 0u);
    } else if constexpr (std::is_same_v<T, Same>) {
        copy(src, dst, count);
    } else {
        uint32_t last = 0, o = 0; // the word before (0 before the first) and its weighed word
#if SHORELINE_FADE_ASM
        if (count >= 8) {
            uint32_t tmp, unused;
            const uint32_t* const end = src + (count & ~7);
            if (runs) {
                // LDM takes ascending registers.
                register uint32_t s0 asm("r4"), s1 asm("r5"), s2 asm("r6"), s3 asm("r8");
                asm volatile(FADE_FIRST_LOOP FADE_OPERANDS);
            } else {
                // Low registers for CBZ, in ascending order for LDM and STM.
                register uint32_t s0 asm("r0"), s1 asm("r1"), s2 asm("r2"), s3 asm("r3");
                asm volatile(FADE_NONBLACK_LOOP FADE_OPERANDS);
            }
            count &= 7;
        }
#else
        (void)runs;
#endif
        for (int k = 0; k < count; k++) {
            if (src[k] != last) {
                last = src[k];
                o = t.word(last);
            }
            dst[k] = o;
        }
    }
}

// dst = op(dst, t(src)) word by word; src is not dst. A black source word (weighed 0) is skipped, and a
// word that repeats the one before it reuses its weighed word.
template <class Op, class T> void second_pass(const uint32_t* src, uint32_t* dst, int count, const T& t) {
    if constexpr (std::is_same_v<T, Zero>) {
        return;
    } else if constexpr (std::is_same_v<T, Same>) {
#if SHORELINE_FADE_ASM
        if (count >= 4) {
            // LDM and STM take ascending registers.
            register uint32_t d0 asm("r4"), d1 asm("r5"), d2 asm("r6"), d3 asm("r8");
            register uint32_t s0 asm("r0"), s1 asm("r1"), s2 asm("r2"), s3 asm("r3");
            uint32_t* const end = dst + (count & ~3);
            // clang-format off
#define FADE_SAME_LOOP(OP)                                                                                   \
    "1:\n\t"                                                                                                 \
    "ldm     %[d], {%[d0], %[d1], %[d2], %[d3]}\n\t"                                                         \
    "ldmia   %[src]!, {%[s0], %[s1], %[s2], %[s3]}\n\t"                                                      \
    OP "  %[d0], %[d0], %[s0]\n\t"                                                                          \
    OP "  %[d1], %[d1], %[s1]\n\t"                                                                          \
    OP "  %[d2], %[d2], %[s2]\n\t"                                                                          \
    OP "  %[d3], %[d3], %[s3]\n\t"                                                                          \
    "stmia   %[d]!, {%[d0], %[d1], %[d2], %[d3]}\n\t"                                                        \
    "cmp     %[d], %[end]\n\t"                                                                               \
    "bne     1b"                                                                                             \
    : [src] "+r"(src), [d] "+r"(dst), [d0] "=&r"(d0), [d1] "=&r"(d1), [d2] "=&r"(d2), [d3] "=&r"(d3),      \
      [s0] "=&r"(s0), [s1] "=&r"(s1), [s2] "=&r"(s2), [s3] "=&r"(s3)                                        \
    : [end] "r"(end)                                                                                         \
    : "cc", "memory"
            // clang-format on
            if constexpr (std::is_same_v<Op, Add>)
                asm volatile(FADE_SAME_LOOP("add   "));
            else
                asm volatile(FADE_SAME_LOOP("uqadd8"));
#undef FADE_SAME_LOOP
            count &= 3;
        }
#endif
#pragma GCC unroll 4
        for (int k = 0; k < count; k++) dst[k] = Op::word(dst[k], src[k]);
    } else {
        uint32_t last = 0, o = 0;
#if SHORELINE_FADE_ASM
        if (count >= 8) {
            // Low registers for CBZ, in ascending order for LDM.
            register uint32_t s0 asm("r0"), s1 asm("r1"), s2 asm("r2"), s3 asm("r3");
            uint32_t tmp, unused;
            const uint32_t* const end = src + (count & ~7);
            if constexpr (std::is_same_v<Op, Add>)
                asm volatile(FADE_SECOND_LOOP("add   ") FADE_OPERANDS);
            else
                asm volatile(FADE_SECOND_LOOP("uqadd8") FADE_OPERANDS);
            count &= 7;
        }
#endif
        for (int k = 0; k < count; k++) {
            const uint32_t w = src[k];
            if (w != 0) {
                if (w != last) o = t.word(w);
                dst[k] = Op::word(dst[k], o);
            }
            last = w;
        }
    }
}

// How many of 64 indexes spread over 0 .. count - 1 pass test(k). From a count of 64 on they are multiples
// of count / 64: 32-bit products, where count * i / 64 would need 64-bit ones on 32-bit ARM.
template <class Test> int sampled(int count, Test test) {
    const int stride = count / 64;
    int n = 0;
    for (int i = 0; i < 64; i++) n += test(count >= 64 ? i * stride : i * count / 64);
    return n;
}

// Black words among 64 spread over the count words at p.
int black_words(const uint32_t* p, int count) {
    return sampled(count, [&](int k) { return p[k] == 0; });
}

// Whether more than a quarter of 64 words spread over the count words at p repeat the word before them
// and are not black: then weighing each run of a word once beats passing over black words alone.
bool repeating(const uint32_t* p, int count) {
    if (count < 65) return true; // mostly the pass's tail anyway
    return sampled(count - 1, [&](int k) { return p[k + 1] != 0 && p[k + 1] == p[k]; }) > 16;
}

// Whether the first pass goes over the words at p by runs (see first_pass).
template <class T> bool by_runs(const uint32_t* p, int count) {
    if constexpr (SHORELINE_FADE_ASM && std::is_same_v<T, Scaled>) return repeating(p, count);
    (void)p, (void)count;
    return true;
}

// dst = op(tx(x), ty(y)), y's words added in the second pass. Where dst is y, chunks of y are copied aside
// before the first pass overwrites them.
template <class Op, class TX, class TY>
void passes(const uint32_t* x, const uint32_t* y, uint32_t* dst, int count, const TX& tx, const TY& ty) {
    const bool runs = by_runs<TX>(x, count);
    if (dst != y) {
        first_pass(x, dst, count, tx, runs);
        second_pass<Op>(y, dst, count, ty);
        return;
    }
    constexpr int kChunk = 256;
    uint32_t kept[kChunk];
    for (int i = 0; i < count; i += kChunk) {
        const int n = std::min(kChunk, count - i);
        std::memcpy(kept, y + i, static_cast<size_t>(n) * sizeof(uint32_t));
        first_pass(x + i, dst + i, n, tx, runs);
        second_pass<Op>(kept, dst + i, n, ty);
    }
}

// dst = op(ta(a), tb(b)) in two passes over dst, for cores without a vector unit; a and b differ. The
// first pass takes the source that dst is (if either), so that it is read before it is overwritten,
// unless both are weighed and the other is less black: the blacker goes second, where a black word costs
// a test.
template <class Op, class TA, class TB>
void two_passes(const uint32_t* a, const uint32_t* b, uint32_t* dst, int count, const TA& ta, const TB& tb) {
    if constexpr (std::is_same_v<TA, Zero>) return first_pass(b, dst, count, tb, by_runs<TB>(b, count));
    if constexpr (std::is_same_v<TB, Zero>) return first_pass(a, dst, count, ta, by_runs<TA>(a, count));
    bool b_second = dst != b;
    if constexpr (std::is_same_v<TA, Scaled> && std::is_same_v<TB, Scaled>) {
        const int margin = black_words(b, count) - black_words(a, count);
        b_second = dst == b ? margin > kBlackerBy : dst == a ? margin >= -kBlackerBy : margin >= 0;
    }
    if (b_second)
        passes<Op>(a, b, dst, count, ta, tb);
    else
        passes<Op>(b, a, dst, count, tb, ta);
}

// dst = min(255, ta[a] + tb[b]) byte by byte, through tables of the weighted bytes.
void blend_tables(const uint32_t* a, const uint32_t* b, uint32_t* dst, int count, const uint8_t* ta,
                  const uint8_t* tb) {
    uint8_t* pd = reinterpret_cast<uint8_t*>(dst);
    const uint8_t* pa = reinterpret_cast<const uint8_t*>(a);
    const uint8_t* pb = reinterpret_cast<const uint8_t*>(b);
    for (size_t k = 0; k < static_cast<size_t>(count) * 4; k++)
        pd[k] = static_cast<uint8_t>(std::min(255, ta[pa[k]] + tb[pb[k]]));
}

// Tables of min(255, i * gain / 255) for two gains of 0..255 * 255 (running sums, no products).
void gain_tables(int gain_a, int gain_b, uint8_t* ta, uint8_t* tb) {
    for (int i = 0, sa = 0, sb = 0; i < 256; i++, sa += gain_a, sb += gain_b) {
        ta[i] = static_cast<uint8_t>(std::min(255, sa / 255));
        tb[i] = static_cast<uint8_t>(std::min(255, sb / 255));
    }
}

} // namespace

// keep = i * (255 - level) / 255, take = i * level / 255; the level is clamped to 0..255 so that the
// sum of the two never exceeds a byte.
void cross_fade(const uint32_t* a, const uint32_t* b, uint32_t* dst, int count, int level) {
    if (count <= 0) return;
    const int take = std::clamp(level, 0, 255);
    if (take == 0) return copy(a, dst, count);
    if (take == 255) return copy(b, dst, count);
    if constexpr (!kVectorUnit) {
        if (a != b) return two_passes<Add>(a, b, dst, count, Scaled(255 - take), Scaled(take));
        const uint32_t keep = static_cast<uint32_t>(255 - take), weight = static_cast<uint32_t>(take);
        return each_word(a, b, dst, count,
                         [=](uint32_t x, uint32_t y) { return swar::blend(x, keep, y, weight); });
    }
    blend(a, b, dst, count, Scaled(255 - take), Scaled(take), [](Weighed x, Weighed y) { return sum(x, y); });
}

// a = min(255, i * gain_a / 255), b likewise, result min(255, a + b). A negative gain counts as 0.
void add_fade(const uint32_t* a, const uint32_t* b, uint32_t* dst, int count, int gain_a, int gain_b) {
    if (count <= 0) return;
    gain_a = std::max(gain_a, 0);
    gain_b = std::max(gain_b, 0);
    // Gain 256 gives the same entries as 255 (i * 256 / 255 is i, and 256 clamped to 255 for i = 255).
    const bool same_a = gain_a == 255 || gain_a == 256, same_b = gain_b == 255 || gain_b == 256;
    if (gain_a == 0 && same_b) return copy(b, dst, count);
    if (gain_b == 0 && same_a) return copy(a, dst, count);
    if (gain_a <= 256 && gain_b <= 256) {
        with_weight(std::min(gain_a, 255), [&](const auto& ta) {
            with_weight(std::min(gain_b, 255), [&](const auto& tb) {
                if constexpr (kVectorUnit)
                    blend(a, b, dst, count, ta, tb, [](Weighed x, Weighed y) { return sum_saturate(x, y); });
                else if (a != b || std::is_same_v<std::decay_t<decltype(ta)>, Zero> ||
                         std::is_same_v<std::decay_t<decltype(tb)>, Zero>) // one source: one pass
                    two_passes<Saturate>(a, b, dst, count, ta, tb);
                else
                    each_word(a, b, dst, count, [&](uint32_t x, uint32_t y) {
                        return swar::add_saturate(ta.word(x), tb.word(y));
                    });
            });
        });
        return;
    }
    // Larger gains: tables. Gains beyond 255 * 255 give the same table as 255 * 255
    // (every entry above 0 is 255), which keeps the running sums from overflowing.
    uint8_t ta[256], tb[256];
    gain_tables(std::min(gain_a, 255 * 255), std::min(gain_b, 255 * 255), ta, tb);
    blend_tables(a, b, dst, count, ta, tb);
}

// add_fade(dst, c, dst, count, 255, gain) for a source c whose every word is `colour`: the weighed colour
// is worked out once and added to every word, and no source frame is read.
void add_colour(uint32_t* dst, int count, uint32_t colour, int gain) {
    const uint32_t g = static_cast<uint32_t>(std::clamp(gain, 0, 255 * 255));
    uint32_t add = 0;
    for (int shift = 0; shift < 32; shift += 8)
        add |= std::min(255u, (colour >> shift & 255) * g / 255) << shift;
    if (add == 0 || count <= 0) return;
#if SHORELINE_FADE_ASM
    if (count >= 8) {
        register uint32_t d0 asm("r4"), d1 asm("r5"), d2 asm("r6"), d3 asm("r8"); // ascending, for LDM/STM
        uint32_t* const end = dst + (count & ~7);
        // clang-format off
#define ADD_COLOUR_FOUR                                                                                      \
    "ldm     %[d], {%[d0], %[d1], %[d2], %[d3]}\n\t"                                                         \
    "uqadd8  %[d0], %[d0], %[add]\n\t"                                                                       \
    "uqadd8  %[d1], %[d1], %[add]\n\t"                                                                       \
    "uqadd8  %[d2], %[d2], %[add]\n\t"                                                                       \
    "uqadd8  %[d3], %[d3], %[add]\n\t"                                                                       \
    "stmia   %[d]!, {%[d0], %[d1], %[d2], %[d3]}\n\t"
        asm volatile("1:\n\t" ADD_COLOUR_FOUR ADD_COLOUR_FOUR
                     "cmp     %[d], %[end]\n\t"
                     "bne     1b"
                     : [d] "+r"(dst), [d0] "=&r"(d0), [d1] "=&r"(d1), [d2] "=&r"(d2), [d3] "=&r"(d3)
                     : [end] "r"(end), [add] "r"(add)
                     : "cc", "memory");
#undef ADD_COLOUR_FOUR
        // clang-format on
        count &= 7;
    }
#endif
    if constexpr (kVectorUnit) {
        Bytes a;
        for (int i = 0; i < kBytes; i += 4) std::memcpy(reinterpret_cast<uint8_t*>(&a) + i, &add, 4);
        for (; count >= 4; count -= 4, dst += 4) store(dst, lanes::add_saturate(load(dst), a));
    }
    for (int k = 0; k < count; k++) dst[k] = swar::add_saturate(dst[k], add);
}

void add_red_green_weighed(uint32_t* frame, const uint32_t* other, int count, int weight) {
    if (count <= 0) return;
    const uint32_t w = static_cast<uint32_t>(std::clamp(weight, 0, 255));
#if SHORELINE_FADE_ASM
    if (count >= 4) {
        // The two weighed bytes from tables already shifted into place: 5 instructions a word, four words
        // loaded and stored together.
        uint16_t green[256];
        uint32_t red[256];
        for (uint32_t i = 0, product = 0; i < 256; i++, product += w) {
            const uint32_t weighed = product / 255;
            green[i] = static_cast<uint16_t>(weighed << 8);
            red[i] = weighed << 16;
        }
        register uint32_t f0 asm("r4"), f1 asm("r5"), f2 asm("r6"), f3 asm("r8"); // ascending, for LDM/STM
        uint32_t t, u;
        uint32_t* const end = frame + (count & ~3);
        // clang-format off
#define RED_GREEN(F)                                                                                         \
    "ubfx    %[t], %[" F "], #8, #8\n\t"                                                                       \
    "ldrh    %[t], [%[green], %[t], lsl #1]\n\t"                                                              \
    "ubfx    %[u], %[" F "], #16, #8\n\t"                                                                      \
    "ldr     %[u], [%[red], %[u], lsl #2]\n\t"                                                                \
    "orr     %[" F "], %[t], %[u]\n\t"
        asm volatile("1:\n\t"
                     "ldm     %[f], {%[f0], %[f1], %[f2], %[f3]}\n\t"
                     RED_GREEN("f0") RED_GREEN("f1") RED_GREEN("f2") RED_GREEN("f3")
                     "ldrd    %[t], %[u], [%[o]], #8\n\t"
                     "add     %[f0], %[f0], %[t]\n\t"
                     "add     %[f1], %[f1], %[u]\n\t"
                     "ldrd    %[t], %[u], [%[o]], #8\n\t"
                     "add     %[f2], %[f2], %[t]\n\t"
                     "add     %[f3], %[f3], %[u]\n\t"
                     "stmia   %[f]!, {%[f0], %[f1], %[f2], %[f3]}\n\t"
                     "cmp     %[f], %[end]\n\t"
                     "bne     1b"
                     : [f] "+r"(frame), [o] "+r"(other), [f0] "=&r"(f0), [f1] "=&r"(f1), [f2] "=&r"(f2),
                       [f3] "=&r"(f3), [t] "=&r"(t), [u] "=&r"(u)
                     : [end] "r"(end), [green] "r"(green), [red] "r"(red)
                     : "cc", "memory");
#undef RED_GREEN
        // clang-format on
        count &= 3;
    }
#endif
    for (int k = 0; k < count; k++) frame[k] = other[k] + swar::weigh(frame[k] & 0x00FFFF00u, w);
}

void clear_words(uint32_t* dst, int count) {
    if (count <= 0) return;
#if SHORELINE_FADE_ASM
    // glibc's ARMv7 memset stores 8 bytes an instruction; STM of eight zero registers stores 32.
    if (count >= 32) {
        register uint32_t z0 asm("r4") = 0, z1 asm("r5") = 0, z2 asm("r6") = 0, z3 asm("r8") = 0,
                             z4 asm("r9") = 0, z5 asm("r10") = 0, z6 asm("r11") = 0, z7 asm("r12") = 0;
        uint32_t* const end = dst + (count & ~31);
        // clang-format off
#define CLEAR_EIGHT "stmia   %[d]!, {%[z0], %[z1], %[z2], %[z3], %[z4], %[z5], %[z6], %[z7]}\n\t"
        asm volatile("1:\n\t" CLEAR_EIGHT CLEAR_EIGHT CLEAR_EIGHT CLEAR_EIGHT
                     "cmp     %[d], %[end]\n\t"
                     "bne     1b"
                     : [d] "+r"(dst)
                     : [end] "r"(end), [z0] "r"(z0), [z1] "r"(z1), [z2] "r"(z2), [z3] "r"(z3), [z4] "r"(z4),
                       [z5] "r"(z5), [z6] "r"(z6), [z7] "r"(z7)
                     : "cc", "memory");
#undef CLEAR_EIGHT
        // clang-format on
        count &= 31;
    }
#endif
    std::memset(dst, 0, static_cast<size_t>(count) * sizeof(uint32_t));
}
