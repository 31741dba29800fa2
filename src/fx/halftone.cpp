// Halftone: re-draws a source picture as a screen of soft round dots, one size per colour channel,
// added onto the destination with saturation (main thread). Dot centres lie 6 columns and 5 rows apart,
// odd rows shifted by 3 columns; each dot is 7x7 and takes its size from the average of four source
// pixels. halftone_init builds the dot profile (a brightness threshold per dot pixel) once.
//
// A dot pixel with threshold t gets, per channel with level L >= 4: 255 if t < L, ramp[t - L] if
// t < L + 85, else nothing; the sum saturates at 255. Adding 255 saturates too, so every case is one
// saturating add. What a dot adds depends only on its three levels, so halftone_init also keeps, per
// channel and level, the dot's 7x7 contribution already shifted into that channel's byte: a dot is
// then three table rows or-ed together and added onto the destination 4 pixels at a time.
#include "fx.h"

#include "lanes.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kDot = 7, kHalf = 3, kRamp = 85;
constexpr int kRow = 8; // contribution rows padded to 8 pixels (two chunks); the 8th adds 0

int frame_w = 0, frame_h = 0;
int profile[kDot][kDot];                    // threshold of each dot pixel, -1 outside the dot
uint32_t contribution[3][256][kDot * kRow]; // [channel][level][row * kRow + column], shifted into place

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
    for (int r = 0; r < kDot; r++)
        for (int c = 0; c < kDot; c++) {
            const double d =
                std::sqrt(static_cast<double>((r - kHalf) * (r - kHalf) + (c - kHalf) * (c - kHalf)));
            profile[r][c] = d <= 3.5 ? static_cast<int>((d + 0.25) * (256.0 / 3)) : -1;
        }
    int ramp[kRamp]; // 256 for k = 0 down to 3 for k = 84
    for (int k = 0; k < kRamp; k++) ramp[k] = 256 * (kRamp - k) / kRamp;
    for (int level = 0; level < 256; level++)
        for (int r = 0; r < kDot; r++)
            for (int c = 0; c < kRow; c++) {
                const int t = c < kDot ? profile[r][c] : -1;
                uint32_t add = 0;
                if (t >= 0 && level >= 4)
                    add = t < level ? 255 : t < level + kRamp ? std::min(255, ramp[t - level]) : 0;
                for (int ch = 0; ch < 3; ch++) contribution[ch][level][r * kRow + c] = add << (8 * ch);
            }
}

void halftone(uint32_t* dest, const uint32_t* src, int gain) {
    using namespace lanes;
    const int w = frame_w, h = frame_h;
    if (w <= 0 || h <= 0) return;
    // level[i] = i * gain / 255, 255 once i * gain reaches 65280; a negative gain draws nothing.
    uint8_t level[256];
    for (int i = 0; i < 256; i++) {
        const int64_t x = int64_t{i} * std::max(gain, 0);
        level[i] = x >= 65280 ? 255 : static_cast<uint8_t>(x / 255);
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
            const uint32_t* cb = contribution[0][lb];
            const uint32_t* cg = contribution[1][lg];
            const uint32_t* cr = contribution[2][lr];
            const int corner = (y - kHalf) * w + x - kHalf; // index of dot pixel (0, 0), may be < 0
            if (x >= kHalf && y >= kHalf && x - kHalf + kRow <= w && y + kHalf < h) {
                // Whole dot inside, with room for the padding column: two chunks per row.
                for (int r = 0; r < kDot; r++)
                    for (int c = 0; c < kRow; c += 4) {
                        const int i = r * kRow + c;
                        uint32_t* d = dest + corner + r * w + c;
                        store(d, add_saturate(load(d), load(cb + i) | load(cg + i) | load(cr + i)));
                    }
                continue;
            }
            const int r0 = std::max(0, kHalf - y), r1 = std::min(kDot, h - y + kHalf);
            const int c0 = std::max(0, kHalf - x), c1 = std::min(kDot, w - x + kHalf);
            for (int r = r0; r < r1; r++)
                for (int c = c0; c < c1; c++) {
                    const int i = r * kRow + c;
                    dest[corner + r * w + c] = add_saturate(dest[corner + r * w + c], cb[i] | cg[i] | cr[i]);
                }
        }
}
