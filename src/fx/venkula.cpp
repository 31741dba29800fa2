// Warped hole mask: lays a scrolling lattice of round holes, seen through a radial lens, over a finished
// picture (main thread). Inside a hole the picture shows, on the rim it is masked with 0xC0C0C0C0, between
// holes it is black; where the lattice cell is outside radius ~96 the point-mirrored pixel is halved.
// The lattice repeats every 256 units, so only the low 8 bits of a lattice coordinate matter and the
// lens offsets are kept as bytes; a frame's cell indices are computed a block at a time.
//
// Per pixel p the masking happens in ascending order of p, the halving of the mirror pixel q = 76799 - p
// right after: a pixel of the top half is masked before it is halved, one of the bottom half halved before
// it is masked. venkula handles p and q together, which gives that exact order without copying first.
#include "fx.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr int kW = kScreenW, kH = kScreenH, kPixels = kScreenWords;

// Lattice cell classes by f = i^2 + j^2 from the cell centre: hole (f < 9200), hole whose mirror pixel
// is halved (9200..9700), rim (9701..10000), outside (> 10000); all but the first halve the mirror pixel.
enum : uint8_t { kHoleKeep, kHoleShade, kRimShade, kOutsideShade };
constexpr uint32_t kClassMask[4] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xC0C0C0C0u, 0};

uint8_t cell_class[256 * 256]; // row * 256 + column of the lattice cell
// Lens offsets before scrolling, per screen pixel: (row offset mod 256) << 8 | (column offset mod 256).
uint16_t lens[kPixels];

// Per class: the shift and mask that halve (or keep) the mirror pixel.
constexpr uint32_t kShadeShift[4] = {0, 1, 1, 1};
constexpr uint32_t kShadeMask[4] = {0xFFFFFFFFu, 0x7F7F7Fu, 0x7F7F7Fu, 0x7F7F7Fu};

// Lattice cells of `count` pixels from `first` on, scrolled by `scroll` (row << 8 | column): row and
// column bytes are added separately, each wrapping at 256.
void cells(int first, int count, uint16_t scroll, uint16_t* out) {
    const uint16_t* l = lens + first;
    for (int i = 0; i < count; i++)
        out[i] = static_cast<uint16_t>(((l[i] & 0xFF00) + (scroll & 0xFF00)) | ((l[i] + scroll) & 0x00FF));
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
            const auto column = static_cast<uint8_t>(int64_t{d} * x / divisor);
            const auto row = static_cast<uint8_t>(int64_t{d} * y / divisor);
            lens[(y + 120) * kW + x + 160] = static_cast<uint16_t>(row << 8 | column);
        }
}

void venkula(int time, uint32_t* dest, const uint32_t* src) {
    const double t = time;
    const int g = static_cast<int>(t + 5000 * std::sin(t * (1.0 / 600)));
    const int m = static_cast<int>(100 * std::cos(t * (1 / 22.1)));
    const auto scroll = static_cast<uint16_t>(static_cast<uint8_t>(3 * m) << 8 | static_cast<uint8_t>(g));
    constexpr int kBlock = 256; // pixel pairs whose lattice cells are computed at once
    uint16_t cell_p[kBlock], cell_q[kBlock];
    for (int p0 = 0; p0 < kPixels / 2; p0 += kBlock) {
        const int n = std::min(kBlock, kPixels / 2 - p0);
        cells(p0, n, scroll, cell_p);
        cells(kPixels - p0 - n, n, scroll, cell_q); // the mirror pixels, in ascending order
        for (int i = 0; i < n; i++) {
            const int p = p0 + i, q = kPixels - 1 - p;
            const unsigned cp = cell_class[cell_p[i]], cq = cell_class[cell_q[n - 1 - i]];
            // top half: masked, then halved by q's cell; bottom half: halved by p's cell, then masked
            dest[p] = ((src[p] & kClassMask[cp]) >> kShadeShift[cq]) & kShadeMask[cq];
            dest[q] = ((src[q] >> kShadeShift[cp]) & kShadeMask[cp]) & kClassMask[cq];
        }
    }
}
