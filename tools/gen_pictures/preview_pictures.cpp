// Preview writer: shows the committed portraits and captions the way the demo colours them and
// writes PNGs for the README. Reads muotokuva.raw, naama.raw and tekstit.raw from DATA_DIR.
// Usage: preview_pictures DATA_DIR OUTPUT_DIR
//   pictures-panorama.png  the panorama strip (portrait band on orange sky, portrait in red in front), flat
//   pictures-zoomer.png    the zoomer texture
//   pictures-flares.png    the large flare portrait and the 32x32 sprite grid sampled from it
//   pictures-halftone.png  the twin-portrait screen and its halftone dots
//   pictures-captions.png  the caption bands where the demo blends them, and the raw bitmap
#include "png_out.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kSide = 256;
constexpr int kBytes = kSide * kSide;
constexpr uint32_t kSky = 0x00EE8800;

struct Image {
    int width, height;
    std::vector<uint32_t> px; // 0x00RRGGBB
    Image(int w, int h) : width(w), height(h), px(size_t(w) * h, 0) {}
    uint32_t& at(int x, int y) { return px[size_t(y) * width + x]; }
    // Copies `from` with its top-left corner at (x, y).
    void paste(const Image& from, int x, int y) {
        for (int r = 0; r < from.height; ++r)
            for (int c = 0; c < from.width; ++c) at(x + c, y + r) = from.px[size_t(r) * from.width + c];
    }
};

bool read_raw(const std::string& path, uint8_t* out) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    size_t got = std::fread(out, 1, kBytes, f);
    bool extra = std::fgetc(f) != EOF;
    std::fclose(f);
    return got == size_t(kBytes) && !extra;
}

bool write_png(const std::string& path, const Image& img) {
    std::string err;
    if (save_png(path.c_str(), img.px.data(), img.width, img.height, &err)) return true;
    std::fprintf(stderr, "preview_pictures: %s\n", err.c_str());
    return false;
}

// The panorama's two 982x240 layers as the demo builds them, the front one laid over the back one.
Image panorama(const uint8_t* pic) {
    Image img(982, 240);
    uint8_t key = pic[0];
    for (int r = 0; r < 240; ++r) {
        for (int c = 0; c < 982; ++c) {
            uint32_t back = 0;
            if (r < 73) {
                back = kSky;
            } else if (r <= 200) {
                uint8_t s = pic[(2 * (r - 73)) * kSide + 44 + 2 * (c % 82)];
                back = s == key ? kSky : uint32_t(3 * s / 5) << 16;
            }
            uint8_t f = pic[r * kSide + c % kSide];
            img.at(c, r) = f == key ? back : uint32_t(f) << 16;
        }
    }
    return img;
}

Image zoom_texture(const uint8_t* pic) {
    Image img(kSide, kSide);
    for (int i = 0; i < kBytes; ++i) img.px[i] = pic[i] == pic[0] ? kSky : uint32_t((3 * pic[i]) >> 2) << 16;
    return img;
}

// Left: the large flare portrait (two-thirds size, tinted). Right: one dot per sprite in its colour.
Image flares(const uint8_t* pic) {
    Image img(640, 240);
    for (int i = 0; i < kSide; ++i) {
        for (int j = 0; j < kSide; ++j) {
            uint32_t g = pic[j * kSide + i];
            img.at(int(i * 0.6666666666666666 + 75), int(j * 0.6666666666666666 + 35)) =
                0x5F0006 + ((g / 3) << 8);
        }
    }
    for (int s = 0; s < 1024; ++s) {
        int gx = s & 31, gy = s >> 5;
        uint32_t colour = 0x6F0006 + (uint32_t(pic[8 * gy * kSide + 8 * gx] / 3) << 8);
        int cx = 320 + 8 + gx * 7 + 3, cy = 8 + gy * 7 + 3;
        for (int dy = -4; dy <= 4; ++dy) {
            for (int dx = -4; dx <= 4; ++dx) {
                double d = std::sqrt(double(dx * dx + dy * dy)) / 4.5;
                if (d >= 1.0) continue;
                int p = int((std::cos(d * 1.5707963) * 215));
                uint32_t& out = img.at(cx + dx, cy + dy);
                uint32_t sum = 0;
                for (int shift = 0; shift < 24; shift += 8) {
                    uint32_t b = (out >> shift) & 255, add = (uint32_t(p) * ((colour >> shift) & 255)) >> 8;
                    sum |= std::min<uint32_t>(255, b + add) << shift;
                }
                out = sum;
            }
        }
    }
    return img;
}

// Left: the twin-portrait screen (red v, green v/2). Right: halftone dots of it at gain 255.
Image halftone(const uint8_t* pic) {
    Image src(320, 240);
    for (int r = 0; r < 240; ++r)
        for (int c = 0; c < kSide; ++c)
            src.at(32 + c, r) = (uint32_t(pic[r * kSide + c]) << 16) | ((pic[r * kSide + c] >> 1) << 8);
    Image dots(320, 240);
    int profile[7][7];
    for (int r = 0; r < 7; ++r) {
        for (int c = 0; c < 7; ++c) {
            double d = std::sqrt(double((r - 3) * (r - 3) + (c - 3) * (c - 3)));
            profile[r][c] = d <= 3.5 ? int((d + 0.25) * 85.33333333333333) : -1;
        }
    }
    for (int y = 0, line = 0; y < 240; y += 5, ++line) {
        for (int x = (line & 1) ? 3 : 0; x < 320; x += 6) {
            uint32_t sum[3] = {0, 0, 0}, n = 0;
            const int sx[4] = {x - 3, x, x - 3, x}, sy[4] = {y - 3, y - 3, y, y};
            for (int k = 0; k < 4; ++k) {
                if (sx[k] < 0 || sy[k] < 0) continue;
                uint32_t p = src.at(sx[k], sy[k]);
                for (int ch = 0; ch < 3; ++ch) sum[ch] += (p >> (8 * ch)) & 255;
                ++n;
            }
            for (int ch = 0; ch < 3; ++ch) {
                int level = int(sum[ch] / n);
                if (level < 4) continue;
                for (int r = 0; r < 7; ++r) {
                    for (int c = 0; c < 7; ++c) {
                        int fx = x - 3 + c, fy = y - 3 + r, t = profile[r][c];
                        if (fx < 0 || fy < 0 || fx >= 320 || fy >= 240 || t < 0 || t >= level + 85) continue;
                        uint32_t& out = dots.at(fx, fy);
                        int have = (out >> (8 * ch)) & 255;
                        int now = t < level ? 255 : std::min(255, have + 256 * (85 - (t - level)) / 85);
                        out = (out & ~(255u << (8 * ch))) | (uint32_t(now) << (8 * ch));
                    }
                }
            }
        }
    }
    Image img(640, 240);
    img.paste(src, 0, 0);
    img.paste(dots, 320, 0);
    return img;
}

// Blends one caption band into a 320x240 frame the way the demo does.
void caption(Image& frame, const uint8_t* bitmap, int band, int x, int y, int level) {
    for (int r = 0; r < 24; ++r) {
        for (int c = 0; c < kSide; ++c) {
            int v = bitmap[(24 * band + r) * kSide + c], to = x + c;
            if (v == 0 || to < 0 || to >= 320) continue;
            uint32_t w = uint32_t(level * v / 255);
            uint32_t& p = frame.at(to, y + r);
            uint32_t red = ((p >> 16) & 255) * (255 - w) / 255 + w;
            uint32_t green = ((p >> 8) & 255) * (255 - w) / 255 + w;
            uint32_t blue = (p & 255) * (255 - w) / 255 + (2 * w) / 3;
            p = (red << 16) | (green << 8) | blue;
        }
    }
}

// Four frames side by side: title over the dimmed panorama, the flare block, the ticker, the closing
// words; then the raw bitmap in grey below them.
Image captions(const uint8_t* bitmap, const uint8_t* portrait) {
    Image img(1280, 240 + 160);
    Image title(320, 240), block(320, 240), ticker(320, 240), closing(320, 240);
    Image pano = panorama(portrait);
    for (int r = 0; r < 240; ++r) {
        for (int c = 0; c < 320; ++c) {
            uint32_t p = pano.at(c + 300, r), dim = 0;
            for (int shift = 0; shift < 24; shift += 8) dim |= (((p >> shift) & 255) * 105 / 255) << shift;
            title.at(c, r) = dim;
        }
    }
    caption(title, bitmap, 0, 125, 114, 255);
    caption(title, bitmap, 1, 65, 138, 255);
    for (int b = 2; b <= 4; ++b) caption(block, bitmap, b, 6, 84 + 24 * (b - 2), 200);
    for (int i = 0; i < 5; ++i) caption(ticker, bitmap, 0, 78 * i + 30 - 77, 210, i == 2 ? 255 : 155);
    caption(closing, bitmap, 5, 120, 110, 255);
    img.paste(title, 0, 0);
    img.paste(block, 320, 0);
    img.paste(ticker, 640, 0);
    img.paste(closing, 960, 0);
    for (int r = 0; r < 144; ++r)
        for (int c = 0; c < kSide; ++c) img.at(8 + c, 248 + r) = bitmap[r * kSide + c] * 0x010101u;
    for (int b = 0; b <= 6; ++b)
        for (int c = 0; c < kSide; ++c) img.at(8 + c, 247 + 24 * b) = 0x303030; // band boundaries
    return img;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: preview_pictures DATA_DIR OUTPUT_DIR\n");
        return 2;
    }
    std::string in = argv[1], out = argv[2];
    static uint8_t muotokuva[kBytes], naama[kBytes], tekstit[kBytes];
    if (!read_raw(in + "/muotokuva.raw", muotokuva) || !read_raw(in + "/naama.raw", naama) ||
        !read_raw(in + "/tekstit.raw", tekstit)) {
        std::fprintf(stderr, "preview_pictures: cannot read the three 65536-byte pictures from %s\n",
                     in.c_str());
        return 1;
    }
    bool ok = write_png(out + "/pictures-panorama.png", panorama(muotokuva)) &&
              write_png(out + "/pictures-zoomer.png", zoom_texture(naama)) &&
              write_png(out + "/pictures-flares.png", flares(naama)) &&
              write_png(out + "/pictures-halftone.png", halftone(muotokuva)) &&
              write_png(out + "/pictures-captions.png", captions(tekstit, muotokuva));
    return ok ? 0 : 1;
}
