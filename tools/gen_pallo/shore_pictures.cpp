// shore_pictures: draws the shore scene as section 8 shows it (the halftone portrait, then the scene over it)
// at a few clock values and writes them as PNG files. Usage: shore_pictures OUTPUT_PREFIX [CLOCK...]
// (default clocks 0 150 400 700 1200 3000); writes OUTPUT_PREFIX-CLOCK.png, e.g. docs/shore-400.png.
#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "assets.h"
#include "fx.h"

namespace {

constexpr int kW = 320, kH = 240;

uint32_t frame[kW * kH];
uint32_t portrait[kW * kH];

bool write_png(const std::string& path, const uint32_t* pixels) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, kW, kH, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(kW * 3);
    for (int y = 0; y < kH; y++) {
        for (int x = 0; x < kW; x++) {
            const uint32_t p = pixels[y * kW + x];
            row[size_t(3 * x)] = png_byte(p >> 16);
            row[size_t(3 * x + 1)] = png_byte(p >> 8);
            row[size_t(3 * x + 2)] = png_byte(p);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: shore_pictures OUTPUT_PREFIX [CLOCK...]\n");
        return 2;
    }
    std::vector<int> clocks;
    for (int i = 2; i < argc; i++) clocks.push_back(std::atoi(argv[i]));
    if (clocks.empty()) clocks = {0, 150, 400, 700, 1200, 3000};

    // The portrait as section 8 prepares it: red = v, green = v / 2, centred with black side bars.
    for (int r = 0; r < kH; r++)
        for (int c = 0; c < 256; c++) {
            const uint32_t v = muotokuva[r * 256 + c];
            portrait[r * kW + 32 + c] = v << 16 | (v >> 1) << 8;
        }
    halftone_init(kW, kH);
    ranta_init(frame);
    for (int clock : clocks) {
        for (uint32_t& p : frame) p = 0;
        halftone(frame, portrait, int(std::sin(clock * 0.1) * 40 + 220));
        ranta_effect(clock);
        const std::string path = std::string(argv[1]) + "-" + std::to_string(clock) + ".png";
        if (!write_png(path, frame)) {
            std::fprintf(stderr, "shore_pictures: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
