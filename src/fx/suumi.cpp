// Zoomer: an endless rotating zoom through three 256x256 pictures (main thread). The main layer is
// sampled through a rotated square that shrinks over each 256-tick cycle while a layer at 1/256 of its
// scale fades in; each cycle promotes the faded-in picture. Sampling coordinates are 16.16 fixed point:
// the main layer reads texel (u >> 16, v >> 16), the faded-in layer texel (u >> 8, v >> 8), both mod 256.
// All trigonometry is per frame; the pixel loop is integer only.
#include "fx.h"

#include "lanes.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

int out_w = 0, out_h = 0;

// double to int, truncating; values that an int cannot hold (or NaN, from a strange exponent) give 0
// instead of undefined behaviour.
int to_int(double v) {
    return v > -2147483648.0 && v < 2147483648.0 ? static_cast<int>(v) : 0;
}

} // namespace

int suumi_init(int width, int height) {
    out_w = width;
    out_h = height;
    return 0;
}

void suumi_effect(uint32_t* dest, int t, double exponent, const uint32_t* pic1, const uint32_t* pic2,
                  const uint32_t* pic3) {
    if (out_w <= 0 || out_h <= 0) return;
    const int c = t % 768;
    const uint32_t* main = c >= 256 && c < 512 ? pic2 : c >= 512 ? pic3 : pic1;
    const uint32_t* faded = c >= 256 && c < 512 ? pic3 : c >= 512 ? pic1 : pic2;

    // Each output channel is keep[M] + take[F] with keep[i] = i * (255 - f) / 255 and take[i] = i * f / 255,
    // computed as exact divisions by 255 on 16 bytes at a time (as the fades do).
    const int f = t & 255;
    const double a = std::cos(t * 0.01953125) + 1.2 * std::numbers::pi;
    const double s = 256 / (1 + std::pow(f, exponent) / (std::pow(256, exponent) * 0.00390625));
    const double ax = s * std::cos(a) + 128.5, ay = s * std::sin(a) + 128.5;
    const double b = a - 1.208304866765305;
    const double dx = s * std::cos(b), dy = s * std::sin(b);
    const uint32_t du = static_cast<uint32_t>(to_int(((128.5 - dx) - ax) * ((1.0 / out_w) * 65536)));
    const uint32_t dv = static_cast<uint32_t>(to_int(((128.5 - dy) - ay) * ((1.0 / out_w) * 65536)));

    using namespace lanes;
    const uint16_t take = static_cast<uint16_t>(f), keep = static_cast<uint16_t>(255 - f);
    const Bytes rgb = {255, 255, 255, 0, 255, 255, 255, 0, 255, 255, 255, 0, 255, 255, 255, 0}; // top bytes 0
    constexpr int kSpan = 256; // pixels gathered before they are blended
    uint32_t main_texel[kSpan], faded_texel[kSpan];
    for (int i = 0; i < out_h; i++) {
        uint32_t u = static_cast<uint32_t>(to_int((((1.0 / out_h) * ((dx + 128.5) - ax)) * i + ax) * 65536));
        uint32_t v = static_cast<uint32_t>(to_int((((1.0 / out_h) * ((dy + 128.5) - ay)) * i + ay) * 65536));
        uint32_t* d = dest + static_cast<size_t>(i) * out_w;
        for (int j0 = 0; j0 < out_w; j0 += kSpan) {
            const int n = std::min(kSpan, out_w - j0);
            for (int j = 0; j < n; j++, u += du, v += dv) {
                main_texel[j] = main[(v >> 8 & 0xFF00) | (u >> 16 & 255)];
                faded_texel[j] = faded[(v & 0xFF00) | (u >> 8 & 255)];
            }
            int j = 0;
            for (; j + 4 <= n; j += 4) {
                const Wide m = widen(load(main_texel + j)), fd = widen(load(faded_texel + j));
                const Wide sum = div255(Wide(m * keep)) + div255(Wide(fd * take));
                store(d + j0 + j, narrow(sum) & rgb);
            }
            for (; j < n; j++) {
                uint32_t out = 0;
                for (int ch = 0; ch < 3; ch++) {
                    const uint16_t mc = main_texel[j] >> (8 * ch) & 255,
                                   fc = faded_texel[j] >> (8 * ch) & 255;
                    out |= static_cast<uint32_t>(div255(uint16_t(mc * keep)) + div255(uint16_t(fc * take)))
                           << (8 * ch);
                }
                d[j0 + j] = out;
            }
        }
    }
}
