// sine.h: sin and cos for the flare sprites' waves, a few dozen instructions where the C library takes
// about 110 on 32-bit ARM (3 calls for every one of 1024 sprites a frame). Internal to the effects.
//
// The argument is reduced by k * pi/2 (k the nearest whole number to x * 2/pi) with pi/2 split into a
// 33-bit head, so that k * head is exact for |k| < 2^20, and a tail; then the Taylor series to x^15 (sin)
// or x^16 (cos) on |r| <= pi/4. The result is within 4e-16 of the true value, but not always the library's
// last bit: a caller that truncates what it computes from it must check that it is clear of a whole number
// and otherwise use the library's value (flarez).
#pragma once

namespace sine {

constexpr double kLimit = 1e5; // larger arguments: the library's own

namespace detail {
constexpr double kPiHalfHead = 1.57079632673412561417e+00; // the first 33 bits of pi/2
constexpr double kPiHalfTail = 6.07710050650619224932e-11; // pi/2 - kPiHalfHead
constexpr double kTwoOverPi = 6.36619772367581382433e-01;
constexpr double kRound = 6755399441055744.0; // 1.5 * 2^52: x + kRound - kRound is x rounded to whole

// sin(x + shift * pi/2) for |x| < kLimit.
inline double quarter(double x, int shift) {
    const double kd = (x * kTwoOverPi + kRound) - kRound;
    const double r = (x - kd * kPiHalfHead) - kd * kPiHalfTail;
    const double r2 = r * r;
    const int n = (static_cast<int>(kd) + shift) & 3;
    double v;
    if (n & 1)
        v = 1 + r2 * (-1.0 / 2 +
                      r2 * (1.0 / 24 +
                            r2 * (-1.0 / 720 +
                                  r2 * (1.0 / 40320 +
                                        r2 * (-1.0 / 3628800 + r2 * (1.0 / 479001600 +
                                                                     r2 * (-1.0 / 87178291200 +
                                                                           r2 * (1.0 / 20922789888000))))))));
    else
        v = r +
            r * r2 *
                (-1.0 / 6 +
                 r2 * (1.0 / 120 +
                       r2 * (-1.0 / 5040 + r2 * (1.0 / 362880 + r2 * (-1.0 / 39916800 +
                                                                      r2 * (1.0 / 6227020800 +
                                                                            r2 * (-1.0 / 1307674368000)))))));
    return n & 2 ? -v : v;
}
} // namespace detail

// For |x| < kLimit.
inline double sin(double x) {
    return detail::quarter(x, 0);
}
inline double cos(double x) {
    return detail::quarter(x, 1);
}

} // namespace sine
