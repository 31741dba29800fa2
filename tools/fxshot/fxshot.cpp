// fxshot: renders one effect of the effects library at a given clock value (demo ticks) from the
// embedded pictures and writes the 320x240 frame to a PNG, so that a person can look at it.
//
// USAGE: fxshot EFFECT CLOCK OUT.png
//   pano      the two-layer panorama at scroll position CLOCK
//   blur      the panorama, blurred horizontally with window CLOCK mod 640
//   vblur     the panorama, blurred vertically with window CLOCK mod 640
//   halftone  the halftone dots of the panorama (gain 255) on black
//   holes     the panorama, blurred, under the hole mask (lens 1200/280) at time CLOCK
//   zoom      the zoomer over the tinted portrait at time CLOCK, unmasked
//   zoomholes the zoomer under the hole mask (lens 500/180), as the zoom scene draws it
//   flare     the flare sequence at time CLOCK on black
//   fade      cross fade of the panorama into the halftone frame at level CLOCK mod 256
//   flash     the panorama plus a white flash with gain CLOCK mod 257
// Exit status 0 on success, 1 on a write error, 2 on bad arguments.
#include "assets.h"
#include "demo.h"
#include "fx.h"
#include "png_out.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kW = kScreenW, kH = kScreenH, kPixels = kScreenWords;

std::vector<uint32_t> pano_back(kPanoW*kH), pano_front(kPanoW*kH), zoom_texture(256 * 256);
std::vector<uint32_t> frame(kPixels), work(kPixels);

void blurred_pano(int t) {
    pano_effect(work.data(), static_cast<uint32_t>(t));
    horiz_maf(work.data(), frame.data(), 0, 0, 0, 0, kW, kH, kW, kH,
              static_cast<int>(std::fabs(std::sin(t * (1.0 / 12))) * 20 + 1));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: fxshot EFFECT CLOCK OUT.png (see the top of fxshot.cpp for effects)\n");
        return 2;
    }
    const char* effect = argv[1];
    char* end = nullptr;
    const long clock = std::strtol(argv[2], &end, 10);
    if (*argv[2] == '\0' || *end != '\0' || clock < -1000000000L || clock > 1000000000L) {
        std::fprintf(stderr, "fxshot: bad clock value '%s'\n", argv[2]);
        return 2;
    }
    const int t = static_cast<int>(clock);
    build_pano_tables(muotokuva, pano_back.data(), pano_front.data());
    build_zoom_texture(naama, zoom_texture.data());
    init_maf();
    pano_init(pano_back.data(), pano_front.data());
    halftone_init(kW, kH);
    const int window = ((t % 640) + 640) % 640;

    if (!std::strcmp(effect, "pano")) {
        pano_effect(frame.data(), static_cast<uint32_t>(t));
    } else if (!std::strcmp(effect, "blur") || !std::strcmp(effect, "vblur")) {
        pano_effect(work.data(), 0);
        (effect[0] == 'b' ? horiz_maf : vert_maf)(work.data(), frame.data(), 0, 0, 0, 0, kW, kH, kW, kH,
                                                  window);
    } else if (!std::strcmp(effect, "halftone")) {
        pano_effect(work.data(), static_cast<uint32_t>(10000 - t));
        halftone(frame.data(), work.data(), 255);
    } else if (!std::strcmp(effect, "holes")) {
        venkula_init(1200, 280);
        blurred_pano(t);
        std::vector<uint32_t> picture = frame;
        venkula(t, frame.data(), picture.data());
    } else if (!std::strcmp(effect, "zoom") || !std::strcmp(effect, "zoomholes")) {
        suumi_init(kW, kH);
        venkula_init(500, 180);
        const int z = static_cast<int>((100080 - t) + std::sin(t * (1.0 / 15)) * 60);
        suumi_effect(work.data(), z, 5.0, zoom_texture.data(), zoom_texture.data(), zoom_texture.data());
        if (!std::strcmp(effect, "zoom"))
            frame = work;
        else
            venkula(t, frame.data(), work.data());
    } else if (!std::strcmp(effect, "flare")) {
        init_flare();
        flarez(frame.data(), t);
    } else if (!std::strcmp(effect, "fade")) {
        pano_effect(work.data(), 0);
        std::vector<uint32_t> dots(kPixels, 0);
        halftone(dots.data(), work.data(), 255);
        cross_fade(work.data(), dots.data(), frame.data(), kPixels, ((t % 256) + 256) % 256);
    } else if (!std::strcmp(effect, "flash")) {
        pano_effect(work.data(), 0);
        const std::vector<uint32_t> white(kPixels, 0x00FFDDCC);
        add_fade(work.data(), white.data(), frame.data(), kPixels, 255, ((t % 257) + 257) % 257);
    } else {
        std::fprintf(stderr, "fxshot: unknown effect '%s'\n", effect);
        return 2;
    }
    std::string err;
    if (!save_png(argv[3], frame.data(), kW, kH, &err)) {
        std::fprintf(stderr, "fxshot: %s\n", err.c_str());
        return 1;
    }
    return 0;
}
