// Zoomer: an endless rotating zoom through three 256x256 pictures (main thread). The main layer is
// sampled through a rotated square that shrinks over each 256-tick cycle while a layer at 1/256 of its
// scale fades in; each cycle promotes the faded-in picture. Sampling coordinates are 16.16 fixed point:
// the main layer reads texel (u >> 16, v >> 16), the faded-in layer texel (u >> 8, v >> 8), both mod 256.
// All trigonometry is per frame; the pixel loop is integer only.
#include "fx.h"

#include <cmath>

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

    // keep[i] = i * (255 - f) / 255 and take[i] = i * f / 255 from running sums; packed per channel so
    // that one look-up per channel gives that channel's bits of the output word.
    const int f = t & 255;
    uint32_t keep[3][256], take[3][256];
    for (int i = 0, ks = 0, ts = 0; i < 256; i++, ks += 255 - f, ts += f)
        for (int ch = 0; ch < 3; ch++) {
            keep[ch][i] = static_cast<uint32_t>(ks / 255) << (8 * ch);
            take[ch][i] = static_cast<uint32_t>(ts / 255) << (8 * ch);
        }

    const double a = std::cos(t * 0.01953125) + 3.7699111843077517;
    const double s = 256 / (1 + std::pow(f, exponent) / (std::pow(256, exponent) * 0.00390625));
    const double ax = s * std::cos(a) + 128.5, ay = s * std::sin(a) + 128.5;
    const double b = a - 1.208304866765305;
    const double dx = s * std::cos(b), dy = s * std::sin(b);
    const uint32_t du = static_cast<uint32_t>(to_int(((128.5 - dx) - ax) * ((1.0 / out_w) * 65536)));
    const uint32_t dv = static_cast<uint32_t>(to_int(((128.5 - dy) - ay) * ((1.0 / out_w) * 65536)));

    uint32_t* d = dest;
    for (int i = 0; i < out_h; i++) {
        uint32_t u = static_cast<uint32_t>(to_int((((1.0 / out_h) * ((dx + 128.5) - ax)) * i + ax) * 65536));
        uint32_t v = static_cast<uint32_t>(to_int((((1.0 / out_h) * ((dy + 128.5) - ay)) * i + ay) * 65536));
        for (int j = 0; j < out_w; j++, u += du, v += dv) {
            const uint32_t mt = main[(v >> 8 & 0xFF00) | (u >> 16 & 255)];
            const uint32_t ft = faded[(v & 0xFF00) | (u >> 8 & 255)];
            *d++ = keep[0][mt & 255] + keep[1][mt >> 8 & 255] + keep[2][mt >> 16 & 255] + take[0][ft & 255] +
                   take[1][ft >> 8 & 255] + take[2][ft >> 16 & 255];
        }
    }
}
