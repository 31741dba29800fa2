// Preview writer: shows the committed portraits and captions the way the demo colours them and
// writes PNGs for the README. Reads muotokuva.raw, naama.raw and tekstit.raw from DATA_DIR and draws them
// with the demo's own preparation, effects and caption blend.
// Usage: preview_pictures DATA_DIR OUTPUT_DIR
//   pictures-panorama.png  the panorama strip (portrait band on orange sky, portrait in red in front), flat
//   pictures-zoomer.png    the zoomer texture
//   pictures-flares.png    the large flare portrait, and the 32x32 grid of sprites coloured after it
//   pictures-halftone.png  the twin-portrait screen and its halftone dots
//   pictures-captions.png  the caption bands where the demo blends them, and the raw bitmap
#include "demo.h"
#include "fx.h"
#include "png_out.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kSide = 256;
constexpr int kBytes = kSide * kSide;

struct Image {
    int width, height;
    std::vector<uint32_t> px; // 0x00RRGGBB
    Image(int w, int h) : width(w), height(h), px(size_t(w) * h, 0) {}
    uint32_t& at(int x, int y) { return px[size_t(y) * width + x]; }
    // Copies `from` (its first `rows` rows, all by default) with its top-left corner at (x, y).
    void paste(const Image& from, int x, int y, int rows = -1) {
        for (int r = 0; r < (rows < 0 ? from.height : rows); ++r)
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

// The panorama's two layers as the demo builds them, the front one laid over the back one where it is
// not the transparent key.
Image panorama(const uint8_t* pic) {
    Image back(kPanoW, kScreenH), front(kPanoW, kScreenH);
    build_pano_tables(pic, back.px.data(), front.px.data());
    for (size_t i = 0; i < back.px.size(); ++i)
        if (front.px[i] != front.px[0]) back.px[i] = front.px[i];
    return back;
}

Image zoom_texture(const uint8_t* pic) {
    Image img(kSide, kSide);
    build_zoom_texture(pic, img.px.data());
    return img;
}

// Left: the large flare portrait alone (the flash-back at its peak). Right: the sprites still in their grid,
// just before they leave it.
Image flares(const uint8_t* pic) {
    init_flare_from(pic);
    Image portrait(kScreenW, kScreenH), sprites(kScreenW, kScreenH);
    flarez(portrait.px.data(), 564);
    flarez(sprites.px.data(), 255);
    Image img(2 * kScreenW, kScreenH);
    img.paste(portrait, 0, 0);
    img.paste(sprites, kScreenW, 0);
    return img;
}

// Left: the twin-portrait screen. Right: its halftone dots at gain 255.
Image halftone(const uint8_t* pic) {
    Image screen(kScreenW, 2 * kScreenH), dots(kScreenW, kScreenH);
    build_portrait_screen(pic, screen.px.data());
    halftone_init(kScreenW, kScreenH);
    ::halftone(dots.px.data(), screen.px.data(), 255);
    Image img(2 * kScreenW, kScreenH);
    img.paste(screen, 0, 0, kScreenH);
    img.paste(dots, kScreenW, 0);
    return img;
}

// Four frames side by side: title over the dimmed panorama, the flare block, the ticker, the closing
// words; then the raw bitmap in grey below them.
Image captions(const uint8_t* bitmap, const uint8_t* portrait) {
    Image img(4 * kScreenW, kScreenH + 160);
    Image title(kScreenW, kScreenH), block(kScreenW, kScreenH), ticker(kScreenW, kScreenH),
        closing(kScreenW, kScreenH);
    Image pano = panorama(portrait);
    for (int r = 0; r < kScreenH; ++r)
        for (int c = 0; c < kScreenW; ++c) title.at(c, r) = pano.at(c + 300, r);
    const std::vector<uint32_t> black(kScreenWords, 0);
    cross_fade(title.px.data(), black.data(), title.px.data(), kScreenWords, 150);
    caption_blend_from(bitmap, 125, 114, 0, 255, title.px.data());
    caption_blend_from(bitmap, 65, 138, 1, 255, title.px.data());
    for (int b = 2; b <= 4; ++b) caption_blend_from(bitmap, 6, 84 + 24 * (b - 2), b, 200, block.px.data());
    for (int i = 0; i < 5; ++i)
        caption_blend_from(bitmap, 78 * i + 30 - 77, 210, 0, i == 2 ? 255 : 155, ticker.px.data());
    caption_blend_from(bitmap, 120, 110, 5, 255, closing.px.data());
    img.paste(title, 0, 0);
    img.paste(block, kScreenW, 0);
    img.paste(ticker, 2 * kScreenW, 0);
    img.paste(closing, 3 * kScreenW, 0);
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
