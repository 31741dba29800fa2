// lanes.h: byte vectors for the effects that work on 16 bytes at a time (fades, zoomer, halftone, flares).
// GCC vector extensions, lowered to the target's SIMD. Internal to the effects library.
#pragma once
#include <cstdint>
#include <cstring>
#if defined(__SSE2__) && !defined(SHORELINE_NO_SIMD)
#include <emmintrin.h>
#endif

namespace lanes {

constexpr int kBytes = 16;
using Bytes = uint8_t __attribute__((vector_size(16)));
using Wide = uint16_t __attribute__((vector_size(32))); // 16 bytes widened to 16 bits

inline Bytes load(const void* p) {
    Bytes v;
    std::memcpy(&v, p, kBytes);
    return v;
}
inline void store(void* p, Bytes v) {
    std::memcpy(p, &v, kBytes);
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

// Per-byte min(255, a + b).
inline Bytes add_saturate(Bytes a, Bytes b) {
#if defined(__SSE2__) && !defined(SHORELINE_NO_SIMD)
    return reinterpret_cast<Bytes>(_mm_adds_epu8(reinterpret_cast<__m128i>(a), reinterpret_cast<__m128i>(b)));
#else
    const Bytes s = a + b;
    return s | reinterpret_cast<Bytes>(s < a); // a lane that wrapped is smaller than a: all ones
#endif
}

} // namespace lanes
