// Panorama: two 982x240 images (background and keyed foreground) wrapped round a curved surface, the
// foreground scrolling at twice the background's speed (main thread). pano_init computes the warp once;
// pano_effect is integer only. Scroll positions are unsigned 32-bit: sums wrap at 2^32 before the
// modulo by the image width.
#include "fx.h"

#include <cmath>

const uint32_t* tausta = nullptr;
const uint32_t* paalline = nullptr;

namespace {

constexpr int kW = 320, kH = 240;
constexpr uint32_t kImageW = 982;

uint32_t column[kW];          // image column at scroll position 0, per screen column
uint32_t row_offset[kW * kH]; // word offset of the image row to sample (1..238) in either image, per pixel

} // namespace

int pano_init(const uint32_t* back, const uint32_t* front) {
    tausta = back;
    paalline = front;
    for (int j = 0; j < kW; j++) column[j] = static_cast<uint32_t>(std::atan2(j - 160.0, 200.0) * 200 + 982);
    double bend[kW]; // the same cosine for every row
    for (int j = 0; j < kW; j++) bend[j] = std::cos((j - 160) * 0.004);
    for (int i = 0; i < kH; i++) {
        const double a = std::atan2(i - 120.0, 200.0);
        for (int j = 0; j < kW; j++)
            row_offset[i * kW + j] =
                static_cast<uint32_t>(static_cast<int>(bend[j] * a * 220 + 120)) * kImageW;
    }
    return 1;
}

void pano_effect(uint32_t* dest, uint32_t position) {
    if (!tausta || !paalline) return; // pano_init not called yet
    const uint32_t* back[kW];         // row 0 of the column each screen column samples, per layer
    const uint32_t* fore[kW];
    for (int j = 0; j < kW; j++) {
        back[j] = tausta + (position + column[j]) % kImageW;
        fore[j] = paalline + (2 * position + column[j]) % kImageW;
    }
    const uint32_t key = paalline[0];
    const uint32_t* offset = row_offset;
    for (int i = 0; i < kH; i++, dest += kW, offset += kW)
        for (int j = 0; j < kW; j += 4) { // four pixels a step
            const uint32_t r0 = offset[j], r1 = offset[j + 1], r2 = offset[j + 2], r3 = offset[j + 3];
            const uint32_t f0 = fore[j][r0], f1 = fore[j + 1][r1], f2 = fore[j + 2][r2], f3 = fore[j + 3][r3];
            dest[j] = f0 != key ? f0 : back[j][r0];
            dest[j + 1] = f1 != key ? f1 : back[j + 1][r1];
            dest[j + 2] = f2 != key ? f2 : back[j + 2][r2];
            dest[j + 3] = f3 != key ? f3 : back[j + 3][r3];
        }
}

void pano_effect_grid(uint32_t* dest, uint32_t position, int step, int period, uint32_t rows) {
    if (!tausta || !paalline || step < 1 || period < 1 || period > 32) return;
    const uint32_t key = paalline[0];
    uint32_t back_col[kW], fore_col[kW]; // image column each drawn screen column samples, per layer
    for (int j = 0; j < kW; j += step) {
        back_col[j] = (position + column[j]) % kImageW;
        fore_col[j] = (2 * position + column[j]) % kImageW;
    }
    for (int i = 0; i < kH; i++) {
        if (!(rows >> (i % period) & 1)) continue;
        for (int p = i * kW, j = 0; j < kW; j += step) {
            const uint32_t r = row_offset[p + j];
            const uint32_t f = paalline[r + fore_col[j]];
            dest[p + j] = f != key ? f : tausta[r + back_col[j]];
        }
    }
}
