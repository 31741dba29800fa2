// lanes.h: byte and word vectors for the effects that work on 16 bytes at a time (fades, blurs, zoomer,
// halftone, flares). GCC vector extensions, lowered to the target's SIMD. Internal to the effects library.
// Frame words are taken apart in little-endian byte order (byte 0 is blue, byte 3 the top byte).
#pragma once
#include <cstdint>
#include <cstring>
#if defined(__SSE2__) && !defined(SHORELINE_NO_SIMD)
#include <emmintrin.h>
#elif defined(__ARM_NEON) && !defined(SHORELINE_NO_SIMD)
#include <arm_neon.h>
#define SHORELINE_NEON_WEIGHTS 1
#endif

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "frame words are split into bytes little-endian");

namespace lanes {

// Whether GCC's vector extensions map onto a vector unit (SSE2, NEON). Without one (32-bit ARM without
// NEON, Debian armhf's baseline) every lane becomes a scalar operation, which costs several times plain
// word arithmetic, so the effects take scalar paths there; SHORELINE_SCALAR_LANES selects those anywhere
// (the tests build them on x86 too).
#if (defined(__SSE2__) || defined(__ARM_NEON)) && !defined(SHORELINE_SCALAR_LANES)
#define SHORELINE_VECTOR_UNIT 1
constexpr bool kVectorUnit = true;
#else
#define SHORELINE_VECTOR_UNIT 0
constexpr bool kVectorUnit = false;
#endif

constexpr int kBytes = 16;
using Bytes = uint8_t __attribute__((vector_size(16)));
using Wide = uint16_t __attribute__((vector_size(32)));  // 16 bytes widened to 16 bits
using Words = uint32_t __attribute__((vector_size(16))); // four frame words

template <class V = Bytes> V load(const void* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
template <class V> void store(void* p, V v) {
    std::memcpy(p, &v, sizeof v);
}
inline Wide widen(Bytes v) {
    return __builtin_convertvector(v, Wide);
}
inline Bytes narrow(Wide v) {
    return __builtin_convertvector(v, Bytes);
} // keeps the low byte

// x / 255 for 0 <= x < 65535 (the sum stays below 65536); also for plain integers.
template <class T> T div255(T x) {
    return (x + 1 + (x >> 8)) >> 8;
}

// min(255, s) in the low byte for s below 512: s >> 8 is 1 exactly when s is too large.
template <class T> T saturate(T s) {
    return s | (0 - (s >> 8));
}

// A 16-bit multiplier per byte lane, for scale().
struct Multiplier {
#if defined(__SSE2__) && !defined(SHORELINE_NO_SIMD)
    __m128i low, high; // lanes of bytes 0..7 and 8..15

    explicit Multiplier(Wide m) {
        std::memcpy(&low, &m, kBytes);
        std::memcpy(&high, reinterpret_cast<const uint8_t*>(&m) + kBytes, kBytes);
    }
#else
    Wide high, low; // m >> 8 and m & 255

    explicit Multiplier(Wide m) : high(m >> 8), low(m & 255) {}
#endif
};

#if !defined(__SSE2__) || defined(SHORELINE_NO_SIMD)
// (x * m) >> 16 per lane for x below 256: x * m = 256 * x * (m >> 8) + x * (m & 255), both products
// below 2^16; floor((256a + b) / 2^16) = floor((a + floor(b / 256)) / 256), and a + floor(b / 256) <=
// 255 * 255 + 254 stays below 2^16.
inline Wide mulhi(Wide x, const Multiplier& m) {
    return (x * m.high + (x * m.low >> 8)) >> 8;
}
#endif

// (v * m) >> 16 per byte.
inline Bytes scale(Bytes v, const Multiplier& m) {
#if defined(__SSE2__) && !defined(SHORELINE_NO_SIMD)
    const __m128i x = reinterpret_cast<__m128i>(v), zero = _mm_setzero_si128();
    return reinterpret_cast<Bytes>(_mm_packus_epi16(_mm_mulhi_epu16(_mm_unpacklo_epi8(x, zero), m.low),
                                                    _mm_mulhi_epu16(_mm_unpackhi_epi8(x, zero), m.high)));
#else
    return narrow(mulhi(widen(v), m));
#endif
}

// A weight w of 1..254 for weigh(): x * w / 255 per byte, truncated. With SSE2 it is (x * k) >> 16 with
// k = ceil(w * 2^16 / 255), exact for every byte x: with 255 * k = w * 2^16 + e, 0 <= e < 255, and
// x * w = 255 * q + r, x * k / 2^16 = q + (r * 2^16 + x * e) / (255 * 2^16), and x * e <= 255 * 254 < 2^16
// keeps the fraction below 1. The portable code multiplies and divides with div255 (x * w < 65535).
// With NEON it is x * w widened (one multiplication per 8 bytes), then (p + (p >> 8) + 1) >> 8 narrowed
// by a shift-accumulate and an add-narrow, exact for every p = x * w below 65535.
struct Weight {
#if defined(__SSE2__) && !defined(SHORELINE_NO_SIMD)
    Multiplier k;

    // w * 2^16 is no multiple of 255 for w below 255, so the ceiling is the quotient + 1.
    explicit Weight(int w) : k(Wide{} + static_cast<uint16_t>((static_cast<uint32_t>(w) << 16) / 255 + 1)) {}
#elif defined(SHORELINE_NEON_WEIGHTS)
    uint8x8_t w;

    explicit Weight(int weight) : w(vdup_n_u8(static_cast<uint8_t>(weight))) {}
#else
    Wide w;

    explicit Weight(int weight) : w(Wide{} + static_cast<uint16_t>(weight)) {}
#endif
};

// Weighted bytes, kept as bytes with SSE2 and widened in the portable code, so that a sum of two is
// narrowed once.
#if defined(__SSE2__) && !defined(SHORELINE_NO_SIMD)
using Weighed = Bytes;
inline Weighed weigh(Bytes v, const Weight& w) {
    return scale(v, w.k);
}
inline Weighed unweighed(Bytes v) {
    return v;
}
inline Bytes bytes(Weighed v) {
    return v;
}
// a + b per byte, for sums that stay within a byte.
inline Bytes sum(Weighed a, Weighed b) {
    return a + b;
}
inline Bytes sum_saturate(Weighed a, Weighed b) {
    return reinterpret_cast<Bytes>(_mm_adds_epu8(reinterpret_cast<__m128i>(a), reinterpret_cast<__m128i>(b)));
}
#elif defined(SHORELINE_NEON_WEIGHTS)
using Weighed = Bytes;
inline uint16x8_t weighed_products(uint16x8_t p) {
    return vsraq_n_u16(p, p, 8); // p + (p >> 8); the add-narrow then adds 1 and keeps the high bytes
}
inline Weighed weigh(Bytes v, const Weight& w) {
    const uint8x16_t x = reinterpret_cast<uint8x16_t>(v);
    const uint16x8_t one = vdupq_n_u16(1);
    const uint8x8_t low = vaddhn_u16(weighed_products(vmull_u8(vget_low_u8(x), w.w)), one);
#if defined(__aarch64__)
    const uint16x8_t high = weighed_products(vmull_high_u8(x, vcombine_u8(w.w, w.w)));
    return reinterpret_cast<Bytes>(vaddhn_high_u16(low, high, one));
#else
    const uint16x8_t high = weighed_products(vmull_u8(vget_high_u8(x), w.w));
    return reinterpret_cast<Bytes>(vcombine_u8(low, vaddhn_u16(high, one)));
#endif
}
inline Weighed unweighed(Bytes v) {
    return v;
}
inline Bytes bytes(Weighed v) {
    return v;
}
inline Bytes sum(Weighed a, Weighed b) {
    return a + b;
}
inline Bytes sum_saturate(Weighed a, Weighed b) {
    return reinterpret_cast<Bytes>(
        vqaddq_u8(reinterpret_cast<uint8x16_t>(a), reinterpret_cast<uint8x16_t>(b)));
}
#else
using Weighed = Wide;
inline Weighed weigh(Bytes v, const Weight& w) {
    return div255(widen(v) * w.w);
}
inline Weighed unweighed(Bytes v) {
    return widen(v);
}
inline Bytes bytes(Weighed v) {
    return narrow(v);
}
inline Bytes sum(Weighed a, Weighed b) {
    return narrow(a + b);
}
inline Bytes sum_saturate(Weighed a, Weighed b) {
    return narrow(saturate(a + b)); // the sum is below 512
}
#endif

// Inclusive running sum of the four lanes (mod 2^32), first lane first.
inline Words running_sum(Words v) {
    const Words zero = {};
    v += __builtin_shufflevector(zero, v, 0, 4, 5, 6);
    return v + __builtin_shufflevector(zero, v, 0, 1, 4, 5);
}
inline Words last_lane(Words v) {
    return __builtin_shufflevector(v, v, 3, 3, 3, 3);
}

// Per-byte min(255, a + b).
inline Bytes add_saturate(Bytes a, Bytes b) {
#if defined(__SSE2__) && !defined(SHORELINE_NO_SIMD)
    return reinterpret_cast<Bytes>(_mm_adds_epu8(reinterpret_cast<__m128i>(a), reinterpret_cast<__m128i>(b)));
#elif defined(SHORELINE_NEON_WEIGHTS)
    return reinterpret_cast<Bytes>(
        vqaddq_u8(reinterpret_cast<uint8x16_t>(a), reinterpret_cast<uint8x16_t>(b)));
#else
    const Bytes s = a + b;
    return s | reinterpret_cast<Bytes>(s < a); // a lane that wrapped is smaller than a: all ones
#endif
}

} // namespace lanes
