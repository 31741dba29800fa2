// Halftone: re-draws a source picture as a screen of soft round dots, one size per colour channel,
// added onto the destination with saturation (main thread). Dot centres lie 6 columns and 5 rows apart,
// odd rows shifted by 3 columns; each dot is 7x7 and takes its size from the average of four source
// pixels. halftone_init builds the dot profile (a brightness threshold per dot pixel) once.
//
// A dot pixel with threshold t gets, per channel with level L >= 4: 255 if t < L, ramp[t - L] if
// t < L + 85, else nothing; the sum saturates at 255. Adding 255 saturates too, so every case is one
// saturating add, done on the three channels of a word at once. The profile has only a few distinct
// thresholds, so each dot needs only a few packed words.
#include "fx.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kDot = 7, kHalf = 3, kRamp = 85;
constexpr int kMaxClasses = kDot * kDot;

int frame_w = 0, frame_h = 0;
int profile[kDot][kDot];     // threshold of each dot pixel, -1 outside the dot
int pixel_class[kDot][kDot]; // index into class_threshold, -1 outside the dot
int class_threshold[kMaxClasses];
int classes = 0;

// Per-byte saturating add of two words.
uint32_t add_saturate(uint32_t a, uint32_t b) {
    const uint32_t low = (a & 0x7F7F7F7Fu) + (b & 0x7F7F7F7Fu);
    const uint32_t sum = low ^ ((a ^ b) & 0x80808080u);
    const uint32_t carry = ((a & b) | ((a | b) & ~sum)) & 0x80808080u;
    return sum | ((carry >> 7) * 255u);
}

} // namespace

void halftone_init(int width, int height) {
    frame_w = width;
    frame_h = height;
    classes = 0;
    for (int r = 0; r < kDot; r++)
        for (int c = 0; c < kDot; c++) {
            const double d =
                std::sqrt(static_cast<double>((r - kHalf) * (r - kHalf) + (c - kHalf) * (c - kHalf)));
            profile[r][c] = d <= 3.5 ? static_cast<int>((d + 0.25) * 85.33333333333333) : -1;
            pixel_class[r][c] = -1;
            if (profile[r][c] < 0) continue;
            int k = 0;
            while (k < classes && class_threshold[k] != profile[r][c]) k++;
            if (k == classes) class_threshold[classes++] = profile[r][c];
            pixel_class[r][c] = k;
        }
}

void halftone(uint32_t* dest, const uint32_t* src, int gain) {
    const int w = frame_w, h = frame_h;
    if (w <= 0 || h <= 0) return;
    int ramp[kRamp];
    for (int k = 0; k < kRamp; k++) ramp[k] = 256 * (kRamp - k) / kRamp;
    // level[i] = i * gain / 255, 255 once i * gain reaches 65280; a negative gain draws nothing.
    uint8_t level[256];
    for (int i = 0; i < 256; i++) {
        const int64_t x = int64_t{i} * std::max(gain, 0);
        level[i] = x >= 65280 ? 255 : static_cast<uint8_t>(x / 255);
    }
    // add[L][k]: what a pixel of threshold class k gets in a channel of level L (saturating add).
    uint8_t add[256][kMaxClasses];
    for (int l = 0; l < 256; l++)
        for (int k = 0; k < classes; k++) {
            const int t = class_threshold[k];
            add[l][k] = l < 4 || t >= l + kRamp ? 0
                        : t < l                 ? 255
                                                : static_cast<uint8_t>(std::min(255, ramp[t - l]));
        }

    for (int y = 0, line = 0; y < h; y += 5, line++)
        for (int x = (line & 1) * 3; x < w; x += 6) {
            // Average of the up to four samples with non-negative coordinates.
            uint32_t sb = 0, sg = 0, sr = 0, n = 0;
            for (int sy = y - kHalf; sy <= y; sy += kHalf)
                for (int sx = x - kHalf; sx <= x; sx += kHalf) {
                    if (sy < 0 || sx < 0) continue;
                    const uint32_t v = src[sy * w + sx];
                    sb += v & 255;
                    sg += v >> 8 & 255;
                    sr += v >> 16 & 255;
                    n++;
                }
            const unsigned lb = level[sb / n], lg = level[sg / n], lr = level[sr / n];
            if (lb < 4 && lg < 4 && lr < 4) continue;
            uint32_t word[kMaxClasses];
            for (int k = 0; k < classes; k++)
                word[k] = add[lb][k] | static_cast<uint32_t>(add[lg][k]) << 8 |
                          static_cast<uint32_t>(add[lr][k]) << 16;
            const int r0 = std::max(0, kHalf - y), r1 = std::min(kDot, h - y + kHalf);
            const int c0 = std::max(0, kHalf - x), c1 = std::min(kDot, w - x + kHalf);
            for (int r = r0; r < r1; r++) {
                const int base = (y - kHalf + r) * w + x - kHalf; // index of dot column 0 (may be < 0)
                for (int c = c0; c < c1; c++)
                    if (pixel_class[r][c] >= 0)
                        dest[base + c] = add_saturate(dest[base + c], word[pixel_class[r][c]]);
            }
        }
}
