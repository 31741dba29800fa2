// shore_pictures: draws the shore scene as section 8 shows it (the halftone portrait, then the scene over it)
// at a few clock values and writes them as PNG files. Usage: shore_pictures OUTPUT_PREFIX [CLOCK...]
// (default clocks 0 150 400 700 1200 3000); writes OUTPUT_PREFIX-CLOCK.png, e.g. docs/shore-400.png.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "assets.h"
#include "demo.h"
#include "fx.h"
#include "ranta.h"
#include "png_out.h"

namespace {

constexpr int kW = kScreenW, kH = kScreenH;

uint32_t frame[kW * kH];
uint32_t portrait[2 * kW * kH];

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: shore_pictures OUTPUT_PREFIX [CLOCK...]\n");
        return 2;
    }
    std::vector<int> clocks;
    for (int i = 2; i < argc; i++) clocks.push_back(std::atoi(argv[i]));
    if (clocks.empty()) clocks = {0, 150, 400, 700, 1200, 3000};

    build_portrait_screen(muotokuva, portrait); // as section 8 prepares it
    halftone_init(kW, kH);
    if (ranta_init(frame) != 0) {
        std::fprintf(stderr, "shore_pictures: the embedded scene cannot be read\n");
        return 1;
    }
    for (int clock : clocks) {
        for (uint32_t& p : frame) p = 0;
        halftone(frame, portrait, int(std::sin(clock * 0.1) * 40 + 220));
        ranta_effect(clock);
        const std::string path = std::string(argv[1]) + "-" + std::to_string(clock) + ".png";
        std::string err;
        if (!save_png(path.c_str(), frame, kW, kH, &err)) {
            std::fprintf(stderr, "shore_pictures: %s\n", err.c_str());
            return 1;
        }
    }
    return 0;
}
