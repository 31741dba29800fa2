// Fades: byte-wise blends of two frame buffers, used by every scene (main thread).
// Every byte of a 0x00RRGGBB word is blended alike, the top byte included. Each weight i * w / 255 is
// truncated on its own, so a mix may come out slightly darker than the exact weighted mean.
// The destination may be either source: byte k of both sources is read before byte k is written.
//
// The blends run 16 bytes at a time (lanes.h: a multiply-high per byte with SSE2, exact for every weight
// of 1..254); weights 0 and 255 need no multiply, and a fade whose result is one source is a copy (none
// when that source is the destination).
// Without a vector unit (lanes::kVectorUnit) the blends work a word at a time, two bytes per 16-bit lane
// (swar.h); only gains beyond 256 go through tables of the weighted bytes.
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

// The words of one source weighed (the other's weight is 0).
template <class T> void each_weighed(const uint32_t* a, uint32_t* dst, int count, const T t) {
#pragma GCC unroll 4
    for (int k = 0; k < count; k++) dst[k] = t.word(a[k]);
}

void copy(const uint32_t* src, uint32_t* dst, int count) {
    if (src != dst) std::memmove(dst, src, static_cast<size_t>(count) * sizeof(uint32_t));
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
                using TA = std::decay_t<decltype(ta)>;
                using TB = std::decay_t<decltype(tb)>;
                if constexpr (kVectorUnit)
                    blend(a, b, dst, count, ta, tb, [](Weighed x, Weighed y) { return sum_saturate(x, y); });
                else if constexpr (std::is_same_v<TB, Zero>) // the sums are the weighed bytes themselves
                    each_weighed(a, dst, count, ta);
                else if constexpr (std::is_same_v<TA, Zero>)
                    each_weighed(b, dst, count, tb);
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
