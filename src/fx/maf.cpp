// Moving-average (box) blurs along rows (horiz_maf) or columns (vert_maf), main thread.
// Each output channel is the sum of pre-divided inputs, sum(v / n) over the window, never (sum v) / n.
// The window of output x covers x - (n - n/2) + 1 .. x + n/2 (the larger half on the left for even n);
// pixels outside the rectangle contribute nothing while the divisor stays n, so the edges darken.
// Because every channel sum stays at or below 255, the three channel sums are kept packed in one word
// (0x00RRGGBB) and a running window sum costs one add and one subtract per output.
#include "fx.h"

#include <algorithm>
#include <cstddef>

namespace {

constexpr int kMaxWindow = 640;   // windows 0..639 have a table row
constexpr int kColumnChunk = 512; // columns whose running sums vert_maf keeps at once

int div_table[kMaxWindow][256]; // div_table[n][v] = v / n; row 0 stays 0 (a window of 0 is black)

// Packed per-channel quotients for one window: b[v] + g[v] + r[v] is the word of pre-divided channels.
struct Packed {
    uint32_t b[256], g[256], r[256];
    explicit Packed(int n) {
        for (int v = 0; v < 256; v++) {
            const uint32_t q = static_cast<uint32_t>(div_table[n][v]);
            b[v] = q;
            g[v] = q << 8;
            r[v] = q << 16;
        }
    }
    uint32_t operator()(uint32_t w) const { return b[w & 255] + g[(w >> 8) & 255] + r[(w >> 16) & 255]; }
};

bool window_ok(int n) {
    return n >= 0 && n < kMaxWindow;
}

} // namespace

void init_maf() {
    for (int n = 1; n < kMaxWindow; n++)
        for (int v = 0; v < 256; v++) div_table[n][v] = v / n;
}

// Rows of the rectangle independently. A window outside 0..639 has no table row: nothing is written.
void horiz_maf(const uint32_t* src, uint32_t* dst, int sx, int sy, int dx, int dy, int width, int height,
               int pitch, int /*bufheight*/, int n) {
    if (width <= 0 || height <= 0 || !window_ok(n)) return;
    const Packed pk(n);
    const int k = n / 2, behind = n - k; // output x adds pixel x + k and drops pixel x - behind
    const int first = std::min(k, width);
    for (int row = 0; row < height; row++) {
        const uint32_t* s = src + static_cast<ptrdiff_t>(sy + row) * pitch + sx;
        uint32_t* d = dst + static_cast<ptrdiff_t>(dy + row) * pitch + dx;
        uint32_t sum = 0;
        for (int i = 0; i < first; i++) sum += pk(s[i]);
        int x = 0;
        // Leaving pixel left of the row: only add.
        for (; x < width && x < behind && x + k < width; x++) d[x] = sum += pk(s[x + k]);
        // Both inside: add and drop.
        for (; x + k < width; x++) {
            sum += pk(s[x + k]);
            sum -= pk(s[x - behind]);
            d[x] = sum;
        }
        // Entering pixel beyond the row: only drop (or neither while the window spans the whole row).
        for (; x < width; x++) {
            if (x >= behind) sum -= pk(s[x - behind]);
            d[x] = sum;
        }
    }
}

// Columns of the rectangle; walks the rows in order and keeps one running sum per column, so that the
// memory is read row by row.
void vert_maf(const uint32_t* src, uint32_t* dst, int sx, int sy, int dx, int dy, int width, int height,
              int pitch, int /*bufheight*/, int n) {
    if (width <= 0 || height <= 0 || !window_ok(n)) return;
    const Packed pk(n);
    const int k = n / 2, behind = n - k;
    const int first = std::min(k, height);
    uint32_t sums[kColumnChunk];
    for (int c0 = 0; c0 < width; c0 += kColumnChunk) {
        const int cols = std::min(kColumnChunk, width - c0);
        auto src_row = [&](int y) { return src + static_cast<ptrdiff_t>(sy + y) * pitch + sx + c0; };
        std::fill(sums, sums + cols, 0u);
        for (int y = 0; y < first; y++) {
            const uint32_t* s = src_row(y);
            for (int c = 0; c < cols; c++) sums[c] += pk(s[c]);
        }
        for (int y = 0; y < height; y++) {
            uint32_t* d = dst + static_cast<ptrdiff_t>(dy + y) * pitch + dx + c0;
            const bool enters = y + k < height, leaves = y >= behind;
            if (enters && leaves) {
                const uint32_t* in = src_row(y + k);
                const uint32_t* out = src_row(y - behind);
                for (int c = 0; c < cols; c++) d[c] = sums[c] += pk(in[c]) - pk(out[c]);
            } else if (enters) {
                const uint32_t* in = src_row(y + k);
                for (int c = 0; c < cols; c++) d[c] = sums[c] += pk(in[c]);
            } else if (leaves) {
                const uint32_t* out = src_row(y - behind);
                for (int c = 0; c < cols; c++) d[c] = sums[c] -= pk(out[c]);
            } else {
                std::copy(sums, sums + cols, d);
            }
        }
    }
}
