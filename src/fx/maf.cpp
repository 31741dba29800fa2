// Moving-average (box) blurs along rows (horiz_maf) or columns (vert_maf), main thread.
// Each output channel is the sum of pre-divided inputs, sum(v / n) over the window, never (sum v) / n.
// The window of output x covers x - (n - n/2) + 1 .. x + n/2 (the larger half on the left for even n);
// pixels outside the rectangle contribute nothing while the divisor stays n, so the edges darken.
//
// Because every channel sum stays at or below 255, the three channel sums are kept packed in one word
// (0x00RRGGBB). The quotient v / n is computed as (v * m) >> 24 with m = ceil(2^24 / n), exact for every
// v of 0..255 and n of 1..639 (the error stays below 1/639), so that whole rows can be divided with
// vector instructions instead of table look-ups. A row's window sums are differences of its prefix
// sums (mod 2^32, exact because every window sum is below 2^24); columns keep one running sum each.
#include "fx.h"

#include <algorithm>
#include <cstddef>

namespace {

constexpr int kMaxWindow = 640;   // windows 0..639 are supported
constexpr int kSpan = 1024;       // longest row blurred through prefix sums; longer rows run the window
constexpr int kColumnChunk = 512; // columns whose running sums vert_maf keeps at once

uint32_t multiplier[kMaxWindow]; // ceil(2^24 / n); 0 for n = 0, so a window of 0 is black

// The packed quotients (v / n per channel, top byte dropped) of a word.
inline uint32_t divided(uint32_t w, uint32_t m) {
    return ((w & 255) * m >> 24) | ((w >> 8 & 255) * m >> 24) << 8 | ((w >> 16 & 255) * m >> 24) << 16;
}

bool window_ok(int n) {
    return n >= 0 && n < kMaxWindow;
}

// One row of `len` pixels. out[x] = sum of divided pixels x - behind + 1 .. x + k inside the row.
void blur_row(const uint32_t* s, uint32_t* d, int len, int n, uint32_t m) {
    const int k = n / 2, behind = n - k;
    if (len <= kSpan) {
        // prefix[behind + j] = sum of the first clamp(j, 0, len) divided pixels, for j = -behind .. len + k.
        uint32_t prefix[kMaxWindow + kSpan + 1];
        uint32_t* at = prefix + behind; // at[j] for j = -behind .. len + k
        for (int j = -behind; j <= 0; j++) at[j] = 0;
        uint32_t* q = at + 1; // the divided pixels first (vectorised), then their running sum in place
        for (int j = 0; j < len; j++) q[j] = divided(s[j], m);
        for (int j = 0; j < len; j++) at[j + 1] += at[j];
        for (int j = len + 1; j <= len + k; j++) at[j] = at[len];
        for (int x = 0; x < len; x++) d[x] = at[x + k + 1] - at[x - behind + 1];
        return;
    }
    uint32_t sum = 0; // running window sum for rows too long for the prefix buffer
    for (int i = 0; i < std::min(k, len); i++) sum += divided(s[i], m);
    for (int x = 0; x < len; x++) {
        if (x + k < len) sum += divided(s[x + k], m);
        if (x >= behind) sum -= divided(s[x - behind], m);
        d[x] = sum;
    }
}

} // namespace

void init_maf() {
    for (int n = 1; n < kMaxWindow; n++) multiplier[n] = ((1u << 24) + n - 1) / n;
}

// Rows of the rectangle independently. A window outside 0..639 is refused: nothing is written.
void horiz_maf(const uint32_t* src, uint32_t* dst, int sx, int sy, int dx, int dy, int width, int height,
               int pitch, int /*bufheight*/, int n) {
    if (width <= 0 || height <= 0 || !window_ok(n)) return;
    for (int row = 0; row < height; row++)
        blur_row(src + static_cast<ptrdiff_t>(sy + row) * pitch + sx,
                 dst + static_cast<ptrdiff_t>(dy + row) * pitch + dx, width, n, multiplier[n]);
}

// Columns of the rectangle; walks the rows in order and keeps one running sum per column, so that the
// memory is read row by row.
void vert_maf(const uint32_t* src, uint32_t* dst, int sx, int sy, int dx, int dy, int width, int height,
              int pitch, int /*bufheight*/, int n) {
    if (width <= 0 || height <= 0 || !window_ok(n)) return;
    const uint32_t m = multiplier[n];
    const int k = n / 2, behind = n - k;
    const int first = std::min(k, height);
    uint32_t sums[kColumnChunk];
    for (int c0 = 0; c0 < width; c0 += kColumnChunk) {
        const int cols = std::min(kColumnChunk, width - c0);
        auto src_row = [&](int y) { return src + static_cast<ptrdiff_t>(sy + y) * pitch + sx + c0; };
        std::fill(sums, sums + cols, 0u);
        for (int y = 0; y < first; y++) {
            const uint32_t* s = src_row(y);
            for (int c = 0; c < cols; c++) sums[c] += divided(s[c], m);
        }
        for (int y = 0; y < height; y++) {
            uint32_t* d = dst + static_cast<ptrdiff_t>(dy + y) * pitch + dx + c0;
            const bool enters = y + k < height, leaves = y >= behind;
            if (enters && leaves) {
                const uint32_t* in = src_row(y + k);
                const uint32_t* out = src_row(y - behind);
                for (int c = 0; c < cols; c++) d[c] = sums[c] += divided(in[c], m) - divided(out[c], m);
            } else if (enters) {
                const uint32_t* in = src_row(y + k);
                for (int c = 0; c < cols; c++) d[c] = sums[c] += divided(in[c], m);
            } else if (leaves) {
                const uint32_t* out = src_row(y - behind);
                for (int c = 0; c < cols; c++) d[c] = sums[c] -= divided(out[c], m);
            } else {
                std::copy(sums, sums + cols, d);
            }
        }
    }
}
