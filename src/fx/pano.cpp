// Panorama: two 982x240 images (background and keyed foreground) wrapped round a curved surface, the
// foreground scrolling at twice the background's speed (main thread). pano_init computes the warp once;
// pano_effect is integer only. Scroll positions are unsigned 32-bit: sums wrap at 2^32 before the
// modulo by the image width.
#include "fx.h"

#include <cmath>

const uint32_t* tausta = nullptr;
const uint32_t* paalline = nullptr;

namespace {

constexpr int kW = kScreenW, kH = kScreenH;
constexpr uint32_t kImageW = kPanoW;

uint32_t column[kW];        // image column at scroll position 0, per screen column
uint8_t image_row[kW * kH]; // image row to sample (1..238), per screen pixel
int row_start[256];         // image row times kImageW: word offset of the row in either image

} // namespace

int pano_init(const uint32_t* back, const uint32_t* front) {
    tausta = back;
    paalline = front;
    for (int j = 0; j < kW; j++)
        column[j] = static_cast<uint32_t>(std::atan2(j - 160.0, 200.0) * 200 + kImageW);
    for (int i = 0; i < kH; i++) {
        const double a = std::atan2(i - 120.0, 200.0);
        for (int j = 0; j < kW; j++)
            image_row[i * kW + j] =
                static_cast<uint8_t>(static_cast<int>(std::cos((j - 160) * 0.004) * a * 220 + 120));
    }
    for (int r = 0; r < 256; r++) row_start[r] = r * static_cast<int>(kImageW);
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
    for (int p = 0, i = 0; i < kH; i++)
        for (int j = 0; j < kW; j++, p++) {
            const int r = row_start[image_row[p]];
            const uint32_t f = fore[j][r];
            dest[p] = f != key ? f : back[j][r];
        }
}
