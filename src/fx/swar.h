// swar.h: byte and 16-bit lane arithmetic inside one 32-bit word, for the effects' paths on cores without
// a vector unit (32-bit ARM without NEON, the handhelds' most common class). A frame word holds four
// bytes; two of them at a time sit in the 16-bit lanes of a word (bytes 0 and 2, or 1 and 3), where one
// 32-bit multiplication weighs both. ARMv6 and later do each helper in one instruction (the SIMD32 media
// instructions); elsewhere they are a few shifts and masks with the same results. Internal to the
// effects library and the scene compositors.
#pragma once
#include <cstdint>

namespace swar {

#if defined(__ARM_FEATURE_SIMD32)
// Per-byte min(255, a + b).
inline uint32_t add_saturate(uint32_t a, uint32_t b) {
    uint32_t r;
    asm("uqadd8 %0, %1, %2" : "=r"(r) : "r"(a), "r"(b));
    return r;
}
// Bytes 0 and 2 of x in the low bytes of the two 16-bit lanes.
inline uint32_t lanes02(uint32_t x) {
    uint32_t r;
    asm("uxtb16 %0, %1" : "=r"(r) : "r"(x));
    return r;
}
// Bytes 1 and 3 of x in the low bytes of the two 16-bit lanes.
inline uint32_t lanes13(uint32_t x) {
    uint32_t r;
    asm("uxtb16 %0, %1, ror #8" : "=r"(r) : "r"(x));
    return r;
}
// acc + bytes 1 and 3 of x, lane by lane; the caller keeps each lane's sum below 2^16.
inline uint32_t add_lanes13(uint32_t acc, uint32_t x) {
    uint32_t r;
    asm("uxtab16 %0, %1, %2, ror #8" : "=r"(r) : "r"(acc), "r"(x));
    return r;
}
// Per-byte a + b, each byte wrapping on its own.
inline uint32_t add_bytes(uint32_t a, uint32_t b) {
    uint32_t r;
    asm("uadd8 %0, %1, %2" : "=r"(r) : "r"(a), "r"(b) : "cc");
    return r;
}
// a * b + c in one instruction (the compiler would add an immediate c separately).
inline uint32_t mul_add(uint32_t a, uint32_t b, uint32_t c) {
    uint32_t r;
    asm("mla %0, %1, %2, %3" : "=r"(r) : "r"(a), "r"(b), "r"(c));
    return r;
}
#else
inline uint32_t add_saturate(uint32_t a, uint32_t b) {
    const uint32_t low = (a & 0x7F7F7F7Fu) + (b & 0x7F7F7F7Fu);
    const uint32_t sum = low ^ ((a ^ b) & 0x80808080u);
    const uint32_t carry = ((a & b) | ((a | b) & ~sum)) & 0x80808080u;
    return sum | ((carry >> 7) * 255u);
}
inline uint32_t add_bytes(uint32_t a, uint32_t b) {
    return ((a & 0x7F7F7F7Fu) + (b & 0x7F7F7F7Fu)) ^ ((a ^ b) & 0x80808080u);
}
inline uint32_t lanes02(uint32_t x) {
    return x & 0x00FF00FFu;
}
inline uint32_t lanes13(uint32_t x) {
    return x >> 8 & 0x00FF00FFu;
}
inline uint32_t add_lanes13(uint32_t acc, uint32_t x) {
    return acc + (x >> 8 & 0x00FF00FFu);
}
inline uint32_t mul_add(uint32_t a, uint32_t b, uint32_t c) {
    return a * b + c;
}
#endif

constexpr uint32_t kLaneOnes = 0x00010001u;

// floor(l * w / 255) for both lanes l (bytes) of a lane word and a weight w of 0..255, left in the high
// byte of each lane (the low bytes are not cleared). With y = l * w + 1 the quotient is
// (y + (y >> 8)) >> 8 for every l * w below 65535, and y + (y >> 8) stays below 2^16.
// `ones` is kLaneOnes; a loop short of registers may pass it from memory.
inline uint32_t weigh_lanes(uint32_t lanes, uint32_t w, uint32_t ones = kLaneOnes) {
    const uint32_t y = mul_add(lanes, w, ones);
    return add_lanes13(y, y);
}

// Every byte i of x as floor(i * w / 255), w of 0..255: the odd bytes' quotients are in place, the even
// ones added in below them.
inline uint32_t weigh(uint32_t x, uint32_t w) {
    return add_lanes13(weigh_lanes(lanes13(x), w) & 0xFF00FF00u, weigh_lanes(lanes02(x), w));
}

// Every byte as floor(a * wa / 255) + floor(b * wb / 255), for wa + wb <= 255 (so no byte overflows).
inline uint32_t blend(uint32_t a, uint32_t wa, uint32_t b, uint32_t wb, uint32_t ones = kLaneOnes) {
    const uint32_t even =
        add_lanes13(lanes13(weigh_lanes(lanes02(a), wa, ones)), weigh_lanes(lanes02(b), wb, ones));
    const uint32_t odd =
        add_lanes13(lanes13(weigh_lanes(lanes13(a), wa, ones)), weigh_lanes(lanes13(b), wb, ones));
    return even | odd << 8;
}

} // namespace swar
