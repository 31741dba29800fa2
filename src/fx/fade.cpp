// Fades: byte-wise blends of two frame buffers, used by every scene (main thread).
// Every byte of a 0x00RRGGBB word is blended alike, the top byte included. Each weight i * w / 255 is
// truncated on its own, so a mix may come out slightly darker than the exact weighted mean.
// The destination may be either source: byte k of both sources is read before byte k is written.
//
// The weights are computed as (x + 1 + (x >> 8)) >> 8, which equals x / 255 for every x below 65535
// and so gives exactly the truncated table entries; in that form the blend runs 16 bytes at a time in
// 16-bit lanes (GCC vector extensions, lowered to whatever SIMD the target has).
#include "fx.h"

#include "lanes.h"

#include <algorithm>

namespace {

using namespace lanes;

// Blends `count` words byte by byte: whole chunks with vec(a, b) on widened lanes, the rest with
// one(a, b). Each chunk is loaded before it is stored, so the destination may be either source.
template <class Vec, class One>
void blend_bytes(const uint32_t* a, const uint32_t* b, uint32_t* dst, int count, Vec vec, One one) {
    const uint8_t* pa = reinterpret_cast<const uint8_t*>(a);
    const uint8_t* pb = reinterpret_cast<const uint8_t*>(b);
    uint8_t* pd = reinterpret_cast<uint8_t*>(dst);
    const size_t bytes = static_cast<size_t>(count) * 4;
    size_t k = 0;
    for (; k + kBytes <= bytes; k += kBytes)
        store(pd + k, narrow(vec(widen(load(pa + k)), widen(load(pb + k)))));
    for (; k < bytes; k++) pd[k] = static_cast<uint8_t>(one(uint16_t{pa[k]}, uint16_t{pb[k]}));
}

} // namespace

// keep = i * (255 - level) / 255, take = i * level / 255; the level is clamped to 0..255 so that the
// sum of the two never exceeds a byte.
void cross_fade(const uint32_t* a, const uint32_t* b, uint32_t* dst, int count, int level) {
    if (count <= 0) return;
    const uint16_t take = static_cast<uint16_t>(std::clamp(level, 0, 255)),
                   keep = static_cast<uint16_t>(255 - take);
    auto mix = [=](auto x, auto y) { return div255(decltype(x)(x * keep)) + div255(decltype(x)(y * take)); };
    blend_bytes(a, b, dst, count, mix, mix);
}

// a = min(255, i * gain_a / 255), b likewise, result min(255, a + b). A negative gain counts as 0.
void add_fade(const uint32_t* a, const uint32_t* b, uint32_t* dst, int count, int gain_a, int gain_b) {
    if (count <= 0) return;
    gain_a = std::max(gain_a, 0);
    gain_b = std::max(gain_b, 0);
    if (gain_a <= 256 && gain_b <= 256) {
        // Gain 256 gives the same entries as 255 (i * 256 / 255 is i, and 256 clamped to 255 for i = 255),
        // so every entry is at most 255 and every product below 65535: the arithmetic form.
        const uint16_t ga = static_cast<uint16_t>(std::min(gain_a, 255)),
                       gb = static_cast<uint16_t>(std::min(gain_b, 255));
        auto add = [=](auto x, auto y) {
            return saturate(decltype(x)(div255(decltype(x)(x * ga)) + div255(decltype(x)(y * gb))));
        };
        blend_bytes(a, b, dst, count, add, add);
        return;
    }
    // Larger gains: tables. Gains beyond 255 * 255 give the same table as 255 * 255 (every entry above
    // 0 is 255), which keeps the running sums from overflowing.
    uint8_t ta[256], tb[256];
    const int ca = std::min(gain_a, 255 * 255), cb = std::min(gain_b, 255 * 255);
    for (int i = 0, sa = 0, sb = 0; i < 256; i++, sa += ca, sb += cb) {
        ta[i] = static_cast<uint8_t>(std::min(255, sa / 255));
        tb[i] = static_cast<uint8_t>(std::min(255, sb / 255));
    }
    uint8_t* pd = reinterpret_cast<uint8_t*>(dst);
    const uint8_t* pa = reinterpret_cast<const uint8_t*>(a);
    const uint8_t* pb = reinterpret_cast<const uint8_t*>(b);
    for (size_t k = 0; k < static_cast<size_t>(count) * 4; k++)
        pd[k] = static_cast<uint8_t>(std::min(255, ta[pa[k]] + tb[pb[k]]));
}
