// Warped hole mask: lays a scrolling lattice of round holes, seen through a radial lens, over a finished
// picture (main thread). Inside a hole the picture shows, on the rim it is masked with 0xC0C0C0C0, between
// holes it is black; where the lattice cell is outside radius ~96 the point-mirrored pixel is halved.
// The lattice repeats every 256 units, so only the low 8 bits of a lattice coordinate matter and the
// lens offsets are kept as bytes.
//
// Per pixel p the masking happens in ascending order of p, the halving of the mirror pixel q = 76799 - p
// right after: a pixel of the top half is masked before it is halved, one of the bottom half halved before
// it is masked. venkula handles p and q together, which gives that exact order without copying first.
#include "fx.h"

#include <cmath>
#include <cstdint>

namespace {

constexpr int kW = 320, kH = 240, kPixels = kW * kH;

// Lattice cell classes: mask word and whether the mirror pixel is halved.
enum : uint8_t { kHoleKeep, kHoleShade, kRimShade, kOutsideShade };
constexpr uint32_t kClassMask[4] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xC0C0C0C0u, 0};
constexpr bool kClassShade[4] = {false, true, true, true};

uint8_t cell_class[256 * 256];  // row * 256 + column of the lattice cell
uint8_t column_offset[kPixels]; // lens offsets before scrolling, low 8 bits, per screen pixel
uint8_t row_offset[kPixels];

uint32_t halve(uint32_t w) {
    return (w >> 1) & 0x7F7F7Fu;
}

} // namespace

void venkula_init(int depth, int divisor) {
    for (int j = -128; j < 128; j++)
        for (int i = -128; i < 128; i++) {
            const int f = i * i + j * j;
            cell_class[(j + 128) * 256 + i + 128] = f > 10000   ? kOutsideShade
                                                    : f > 9700  ? kRimShade
                                                    : f >= 9200 ? kHoleShade
                                                                : kHoleKeep;
        }
    if (divisor == 0) return; // no lens without a divisor: the offsets stay as they were
    for (int y = -120; y < 120; y++)
        for (int x = -160; x < 160; x++) {
            const int d = static_cast<int>(depth - std::sqrt(100.0 * (x * x + y * y)));
            // 64-bit products so that an unusual depth cannot overflow; only the low 8 bits are kept.
            const int p = (y + 120) * kW + x + 160;
            column_offset[p] = static_cast<uint8_t>(int64_t{d} * x / divisor);
            row_offset[p] = static_cast<uint8_t>(int64_t{d} * y / divisor);
        }
}

void venkula(int time, uint32_t* dest, const uint32_t* src) {
    const double t = time;
    const int g = static_cast<int>(t + 5000 * std::sin(t * 0.0016666666666666668));
    const int m = static_cast<int>(100 * std::cos(t * 0.04524886877828054));
    const uint8_t gx = static_cast<uint8_t>(g), my = static_cast<uint8_t>(3 * m);
    for (int p = 0; p < kPixels / 2; p++) {
        const int q = kPixels - 1 - p;
        const unsigned cp = cell_class[static_cast<uint8_t>(my + row_offset[p]) << 8 |
                                       static_cast<uint8_t>(gx + column_offset[p])];
        const unsigned cq = cell_class[static_cast<uint8_t>(my + row_offset[q]) << 8 |
                                       static_cast<uint8_t>(gx + column_offset[q])];
        uint32_t a = src[p] & kClassMask[cp]; // top half: masked, then halved by q's cell
        uint32_t b = src[q];                  // bottom half: halved by p's cell, then masked
        if (kClassShade[cq]) a = halve(a);
        if (kClassShade[cp]) b = halve(b);
        dest[p] = a;
        dest[q] = b & kClassMask[cq];
    }
}
