// Straightforward effects for the tests and the benchmarks: per channel, per byte, in the order the
// definitions give, with the tables in their plain form.
#include "reference.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace ref {

namespace {
constexpr int kW = 320, kH = 240, kPixels = kW * kH;
}

// --- Warped hole mask ---
static uint32_t hole_mask[256 * 256];
static int shade[256 * 256];
static int col_off[kPixels], row_off[kPixels];

void venkula_init(int depth, int divisor) {
    for (int j = -128; j <= 127; j++)
        for (int i = -128; i <= 127; i++) {
            const int f = i * i + j * j, idx = (j + 128) * 256 + i + 128;
            hole_mask[idx] = f <= 9700 ? 0xFFFFFFFFu : f <= 10000 ? 0xC0C0C0C0u : 0;
            shade[idx] = f >= 9200 ? 1 : 0;
        }
    for (int y = -120; y <= 119; y++)
        for (int x = -160; x <= 159; x++) {
            const int d = static_cast<int>(depth - std::sqrt(static_cast<double>(100 * (x * x + y * y))));
            col_off[(y + 120) * 320 + x + 160] = (d * x) / divisor;
            row_off[(y + 120) * 320 + x + 160] = (d * y) / divisor;
        }
}

void venkula(int time, uint32_t* dest, const uint32_t* src) {
    std::memmove(dest, src, kPixels * 4);
    const double t = time;
    const int g = static_cast<int>(t + 5000 * std::sin(t * (1.0 / 600)));
    const int m = static_cast<int>(100 * std::cos(t * (1 / 22.1)));
    for (int p = 0; p < kPixels; p++) {
        const int idx = ((3 * m + row_off[p]) & 255) * 256 + ((g + col_off[p]) & 255);
        dest[p] &= hole_mask[idx];
        if (shade[idx] == 1) dest[76799 - p] = (dest[76799 - p] >> 1) & 0x7F7F7F;
    }
}

// --- Moving-average blurs: three running channel sums, the four phases of a row ---
static int div_table[640][256];

void init_maf() {
    for (int v = 0; v < 256; v++)
        for (int n = 1; n < 640; n++) div_table[n][v] = v / n;
}

// One line of `len` pixels at `stride`; n must not exceed len.
static void maf_line(const uint32_t* s, uint32_t* d, int stride, int len, int n) {
    const int k = n / 2;
    const int* tab = div_table[n];
    int sum[3] = {0, 0, 0};
    auto add = [&](int pos, int sign) {
        const uint32_t v = s[pos * stride];
        for (int c = 0; c < 3; c++) sum[c] += sign * tab[(v >> (8 * c)) & 255];
    };
    auto put = [&](int pos) { d[pos * stride] = (sum[2] << 16) + (sum[1] << 8) + sum[0]; };
    int enter = 0;
    for (; enter < k; enter++) add(enter, 1); // (a)
    int x = 0;
    for (; x - (n - k) < 0 && enter < len; x++, enter++) { // (b)
        add(enter, 1);
        put(x);
    }
    for (; enter < len; x++, enter++) { // (c)
        add(enter, 1);
        add(x - (n - k), -1);
        put(x);
    }
    for (; x < len; x++) { // (d)
        add(x - (n - k), -1);
        put(x);
    }
}

void horiz_maf(const uint32_t* src, uint32_t* dst, int sx, int sy, int dx, int dy, int width, int height,
               int pitch, int n) {
    for (int r = 0; r < height; r++)
        maf_line(src + (sy + r) * pitch + sx, dst + (dy + r) * pitch + dx, 1, width, n);
}

void vert_maf(const uint32_t* src, uint32_t* dst, int sx, int sy, int dx, int dy, int width, int height,
              int pitch, int n) {
    for (int c = 0; c < width; c++)
        maf_line(src + sy * pitch + sx + c, dst + dy * pitch + dx + c, pitch, height, n);
}

// --- Fades, byte by byte ---
void cross_fade(const uint32_t* a, const uint32_t* b, uint32_t* dst, int count, int level) {
    int keep[256], take[256];
    for (int i = 0; i < 256; i++) {
        keep[i] = i * (255 - level) / 255;
        take[i] = i * level / 255;
    }
    const uint8_t* pa = reinterpret_cast<const uint8_t*>(a);
    const uint8_t* pb = reinterpret_cast<const uint8_t*>(b);
    uint8_t* pd = reinterpret_cast<uint8_t*>(dst);
    for (int k = 0; k < 4 * count; k++) pd[k] = static_cast<uint8_t>(keep[pa[k]] + take[pb[k]]);
}

void add_fade(const uint32_t* a, const uint32_t* b, uint32_t* dst, int count, int gain_a, int gain_b) {
    int ta[256], tb[256];
    for (int i = 0; i < 256; i++) {
        ta[i] = std::min(255, i * gain_a / 255);
        tb[i] = std::min(255, i * gain_b / 255);
    }
    const uint8_t* pa = reinterpret_cast<const uint8_t*>(a);
    const uint8_t* pb = reinterpret_cast<const uint8_t*>(b);
    uint8_t* pd = reinterpret_cast<uint8_t*>(dst);
    for (int k = 0; k < 4 * count; k++) {
        const int s = ta[pa[k]] + tb[pb[k]];
        pd[k] = static_cast<uint8_t>(s < 256 ? s : 255);
    }
}

// --- Panorama ---
static const uint32_t *pano_back, *pano_front;
static unsigned pano_col[320];
static int pano_row[kPixels];

void pano_init(const uint32_t* back, const uint32_t* front) {
    pano_back = back;
    pano_front = front;
    for (int j = 0; j < 320; j++) pano_col[j] = static_cast<unsigned>(std::atan2(j - 160, 200) * 200 + 982);
    for (int i = 0; i < 240; i++) {
        const double a = std::atan2(i - 120, 200);
        for (int j = 0; j < 320; j++)
            pano_row[i * 320 + j] = 982 * static_cast<int>(std::cos((j - 160) * 0.004) * a * 220 + 120);
    }
}

void pano_effect(uint32_t* dest, uint32_t p) {
    for (int i = 0; i < 240; i++)
        for (int j = 0; j < 320; j++) {
            const uint32_t back = (p + pano_col[j]) % 982, fore = (2 * p + pano_col[j]) % 982;
            const int r = pano_row[i * 320 + j];
            uint32_t px = pano_front[r + fore];
            if (px == pano_front[0]) px = pano_back[r + back];
            dest[i * 320 + j] = px;
        }
}

// --- Zoomer ---
void suumi_effect(uint32_t* dest, int width, int height, int t, double e, const uint32_t* pic1,
                  const uint32_t* pic2, const uint32_t* pic3) {
    const int c = t % 768;
    const uint32_t *main_pic = pic1, *faded = pic2;
    if (c >= 256 && c <= 511) main_pic = pic2, faded = pic3;
    if (c >= 512 && c <= 767) main_pic = pic3, faded = pic1;
    const int f = t & 255;
    int keep[256], take[256];
    for (int i = 0; i < 256; i++) {
        keep[i] = i * (255 - f) / 255;
        take[i] = i * f / 255;
    }
    const double a = std::cos(t * 0.01953125) + 1.2 * std::numbers::pi;
    const double S = 256 / (1 + std::pow(f, e) / (std::pow(256, e) * 0.00390625));
    const double Ax = S * std::cos(a) + 128.5, Ay = S * std::sin(a) + 128.5;
    const double b = a - 1.208304866765305;
    const double dx = S * std::cos(b), dy = S * std::sin(b);
    const int du = static_cast<int>(((128.5 - dx) - Ax) * ((1.0 / width) * 65536));
    const int dv = static_cast<int>(((128.5 - dy) - Ay) * ((1.0 / width) * 65536));
    for (int i = 0; i < height; i++) {
        int u = static_cast<int>((((1.0 / height) * ((dx + 128.5) - Ax)) * i + Ax) * 65536);
        int v = static_cast<int>((((1.0 / height) * ((dy + 128.5) - Ay)) * i + Ay) * 65536);
        for (int j = 0; j < width; j++) {
            const uint32_t M = main_pic[((v >> 16) & 255) * 256 + ((u >> 16) & 255)];
            const uint32_t F = faded[((v >> 8) & 255) * 256 + ((u >> 8) & 255)];
            uint32_t out = 0;
            for (int ch = 0; ch < 3; ch++)
                out |= static_cast<uint32_t>(keep[(M >> (8 * ch)) & 255] + take[(F >> (8 * ch)) & 255])
                       << (8 * ch);
            dest[i * width + j] = out;
            u = static_cast<int>(static_cast<uint32_t>(u) + static_cast<uint32_t>(du));
            v = static_cast<int>(static_cast<uint32_t>(v) + static_cast<uint32_t>(dv));
        }
    }
}

// --- Halftone ---
static int ht_w, ht_h, ht_profile[7][7];

void halftone_init(int width, int height) {
    ht_w = width;
    ht_h = height;
    for (int r = 0; r < 7; r++)
        for (int c = 0; c < 7; c++) {
            const double d = std::sqrt(static_cast<double>((r - 3) * (r - 3) + (c - 3) * (c - 3)));
            ht_profile[r][c] = d <= 3.5 ? static_cast<int>((d + 0.25) * (256.0 / 3)) : -1;
        }
}

void halftone(uint32_t* dest, const uint32_t* src, int gain) {
    int ramp[85];
    uint8_t level[256];
    for (int k = 0; k < 85; k++) ramp[k] = (256 * (85 - k)) / 85;
    for (int i = 0; i < 256; i++) level[i] = i * gain >= 65280 ? 255 : static_cast<uint8_t>(i * gain / 255);
    int line = 0;
    for (int y = 0; y < ht_h; y += 5, line++)
        for (int x = line % 2 == 0 ? 0 : 3; x < ht_w; x += 6) {
            unsigned sum[3] = {0, 0, 0}, count = 0;
            const int sxs[4] = {x - 3, x, x - 3, x}, sys[4] = {y - 3, y - 3, y, y};
            for (int s = 0; s < 4; s++) {
                if (sxs[s] < 0 || sys[s] < 0) continue;
                const uint32_t v = src[sys[s] * ht_w + sxs[s]];
                for (int ch = 0; ch < 3; ch++) sum[ch] += (v >> (8 * ch)) & 255;
                count++;
            }
            for (int r = 0; r < 7; r++) {
                const int fy = y - 3 + r;
                if (fy < 0) continue;
                if (fy >= ht_h) break;
                for (int c = 0; c < 7; c++) {
                    const int fx = x - 3 + c;
                    if (fx < 0) continue;
                    if (fx >= ht_w) break;
                    const int t = ht_profile[r][c];
                    if (t == -1) continue;
                    uint8_t* px = reinterpret_cast<uint8_t*>(&dest[fy * ht_w + fx]);
                    for (int ch = 0; ch < 3; ch++) {
                        const int L = level[sum[ch] / count];
                        if (L < 4) continue;
                        if (t < L)
                            px[ch] = 255;
                        else if (t < L + 85)
                            px[ch] = static_cast<uint8_t>(std::min(255, px[ch] + ramp[t - L]));
                    }
                }
            }
        }
}

// --- Flare sprites ---
static std::vector<uint32_t> fl_small(kPixels), fl_large(kPixels);
static uint8_t fl_profile[256 * 256];
static const uint8_t* fl_portrait;

static uint32_t colour_of(uint8_t g, uint32_t base) {
    return base + ((g / 3) << 8);
}

void init_flare(const uint8_t* portrait) {
    fl_portrait = portrait;
    std::fill(fl_small.begin(), fl_small.end(), 0);
    std::fill(fl_large.begin(), fl_large.end(), 0);
    for (int i = 0; i < 256; i++)
        for (int j = 0; j < 256; j++) {
            const uint8_t g = portrait[j * 256 + i];
            const double r = std::sqrt(static_cast<double>((i - 128) * (i - 128) + (j - 128) * (j - 128)));
            fl_profile[j * 256 + i] = static_cast<uint8_t>(static_cast<unsigned>(
                std::cos(static_cast<float>(std::min(2 * r, 255.0)) * 0.0061357421875) * 215));
            fl_small[(j >> 1) * 320 + (i >> 1) + 56 * 320 + 96] = colour_of(g, 0x5F0006);
            fl_large[static_cast<int>(j * (2.0 / 3) + 35) * 320 + static_cast<int>(i * (2.0 / 3) + 75)] =
                colour_of(g, 0x5F0006);
        }
}

void flarez(uint32_t* dest, int t) {
    if (t < 64) {
        std::copy(fl_small.begin(), fl_small.end(), dest);
        return;
    }
    const int e = t < 250 ? 0 : std::min(1000, 2 * (t - 250));
    const int a = 1000 - e, c = 2 * a;
    const double w = (t >= 200 && t <= 450) ? -75 * (std::cos(std::abs(325 - t) * 0.0251328) + 1)
                                            : -2.0238644093950597e-09;
    const double pz = t * (1.0 / 48), px = t * (1.0 / 42), py = t * (1.0 / 43);
    for (int i = 0; i < 1024; i++) {
        const int gx = i & 31, gy = i >> 5;
        const double A = std::sin(i * (1 / 2.6) + pz), B = std::sin(i * (1 / 2.7) + px),
                     C = std::cos(i * (1 / 2.2) + py);
        const double z = ((A * 200 + 300) * e + 400 * a) * 0.001 + w, Z = 1 / z;
        const int s = (static_cast<int>(Z * 3000) * (e + c)) / 1000;
        const int x =
            static_cast<int>((((gx * 2200 - 32200) * a) + B * 18000 * e) * (Z * 0.001) + 160) - s / 2;
        const int y =
            static_cast<int>((((gy * 2200 - 35200) * a) + C * 18000 * e) * (Z * 0.001) + 120) - s / 2;
        if (s <= 0) continue;
        const uint32_t colour = colour_of(fl_portrait[8 * gy * 256 + 8 * gx], 0x6F0006);
        const int step = 65536 / s;
        for (int r = 0; r < s; r++) {
            if (y + r < 0) continue;
            if (y + r >= 240) break;
            for (int k = 0; k < s; k++) {
                if (x + k < 0) continue;
                if (x + k >= 320) break;
                const int p = fl_profile[((r * step) >> 8) * 256 + ((k * step) >> 8)];
                uint8_t* b = reinterpret_cast<uint8_t*>(&dest[(y + r) * 320 + x + k]);
                for (int ch = 0; ch < 4; ch++)
                    b[ch] = static_cast<uint8_t>(
                        std::min(255, b[ch] + ((p * static_cast<int>((colour >> (8 * ch)) & 255)) >> 8)));
            }
        }
    }
    if (t >= 64 && t < 128)
        cross_fade(fl_small.data(), fl_large.data(), dest, kPixels, 4 * (t - 64));
    else if (t >= 128 && t < 256)
        cross_fade(fl_large.data(), dest, dest, kPixels, 2 * t - 255);
    else if (t >= 501 && t <= 627)
        cross_fade(fl_large.data(), dest, dest, kPixels, 4 * std::abs(t - 564));
}

} // namespace ref
