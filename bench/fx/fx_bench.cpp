// Time per 320x240 frame of every effect (library and straightforward baseline, the latter named
// "Ref"), and of the heaviest frames the scenes build. One iteration draws one frame.
// Run: ./fx_bench [--benchmark_filter=REGEX]
#include "fx.h"
#include "reference.h"
#include "test_picture.h"

#include "assets.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int kW = kScreenW, kH = kScreenH, kPixels = kScreenWords;

struct Frames {
    std::vector<uint32_t> a = random_frame(kPixels, 1), b = random_frame(kPixels, 2);
    std::vector<uint32_t> out = std::vector<uint32_t>(kPixels), work = std::vector<uint32_t>(kPixels);
    std::vector<uint32_t> pic = random_frame(256 * 256, 3);
    std::vector<uint32_t> back = random_frame(kPanoW * kH, 4), fore = random_frame(kPanoW * kH, 5);
    Frames() {
        for (size_t i = 0; i < fore.size(); i++) // transparent stretches, as a keyed image has
            if (i % kPanoW % 200 < 90) fore[i] = fore[0];
        init_maf();
        ref::init_maf();
        venkula_init(1200, 280);
        ref::venkula_init(1200, 280);
        pano_init(back.data(), fore.data());
        ref::pano_init(back.data(), fore.data());
        suumi_init(kW, kH);
        halftone_init(kW, kH);
        ref::halftone_init(kW, kH);
        init_flare();
        ref::init_flare(naama);
    }
};

Frames& fr() {
    static Frames f;
    return f;
}

// Effects whose cost depends on the time are run over a spread of times.
int next_time(int& t, int period) {
    return t = (t + 7) % period;
}

void BM_Venkula(benchmark::State& s) {
    auto& f = fr();
    int t = 0;
    for (auto _ : s) venkula(next_time(t, 5000), f.out.data(), f.a.data());
}
void BM_VenkulaRef(benchmark::State& s) {
    auto& f = fr();
    int t = 0;
    for (auto _ : s) ref::venkula(next_time(t, 5000), f.out.data(), f.a.data());
}
void BM_HorizMaf(benchmark::State& s) {
    auto& f = fr();
    for (auto _ : s)
        horiz_maf(f.a.data(), f.out.data(), 0, 0, 0, 0, kW, kH, kW, kH, static_cast<int>(s.range(0)));
}
void BM_HorizMafRef(benchmark::State& s) {
    auto& f = fr();
    for (auto _ : s)
        ref::horiz_maf(f.a.data(), f.out.data(), 0, 0, 0, 0, kW, kH, kW, static_cast<int>(s.range(0)));
}
void BM_VertMaf(benchmark::State& s) {
    auto& f = fr();
    for (auto _ : s)
        vert_maf(f.a.data(), f.out.data(), 0, 0, 0, 0, kW, kH, kW, kH, static_cast<int>(s.range(0)));
}
void BM_VertMafRef(benchmark::State& s) {
    auto& f = fr();
    for (auto _ : s)
        ref::vert_maf(f.a.data(), f.out.data(), 0, 0, 0, 0, kW, kH, kW, static_cast<int>(s.range(0)));
}
void BM_CrossFade(benchmark::State& s) {
    auto& f = fr();
    for (auto _ : s) cross_fade(f.a.data(), f.b.data(), f.out.data(), kPixels, 100);
}
void BM_CrossFadeRef(benchmark::State& s) {
    auto& f = fr();
    for (auto _ : s) ref::cross_fade(f.a.data(), f.b.data(), f.out.data(), kPixels, 100);
}
void BM_AddFade(benchmark::State& s) {
    auto& f = fr();
    for (auto _ : s) add_fade(f.a.data(), f.b.data(), f.out.data(), kPixels, 255, 120);
}
void BM_AddFadeRef(benchmark::State& s) {
    auto& f = fr();
    for (auto _ : s) ref::add_fade(f.a.data(), f.b.data(), f.out.data(), kPixels, 255, 120);
}
void BM_Pano(benchmark::State& s) {
    auto& f = fr();
    uint32_t p = 0;
    for (auto _ : s) pano_effect(f.out.data(), p += 3);
}
void BM_PanoRef(benchmark::State& s) {
    auto& f = fr();
    uint32_t p = 0;
    for (auto _ : s) ref::pano_effect(f.out.data(), p += 3);
}
void BM_Suumi(benchmark::State& s) {
    auto& f = fr();
    int t = 0;
    for (auto _ : s)
        suumi_effect(f.out.data(), next_time(t, 768), 5.0, f.pic.data(), f.pic.data(), f.pic.data());
}
void BM_SuumiRef(benchmark::State& s) {
    auto& f = fr();
    int t = 0;
    for (auto _ : s)
        ref::suumi_effect(f.out.data(), kW, kH, next_time(t, 768), 5.0, f.pic.data(), f.pic.data(),
                          f.pic.data());
}
void BM_Halftone(benchmark::State& s) {
    auto& f = fr();
    for (auto _ : s) {
        std::fill(f.out.begin(), f.out.end(), 0u); // as the scene does
        halftone(f.out.data(), f.a.data(), 255);
    }
}
void BM_HalftoneRef(benchmark::State& s) {
    auto& f = fr();
    for (auto _ : s) {
        std::fill(f.out.begin(), f.out.end(), 0u);
        ref::halftone(f.out.data(), f.a.data(), 255);
    }
}
// The flares at a given time (the cost depends on the sprite sizes: largest near t = 325).
void BM_Flarez(benchmark::State& s) {
    auto& f = fr();
    for (auto _ : s) {
        std::fill(f.out.begin(), f.out.end(), 0u);
        flarez(f.out.data(), static_cast<int>(s.range(0)));
    }
}
void BM_FlarezRef(benchmark::State& s) {
    auto& f = fr();
    for (auto _ : s) {
        std::fill(f.out.begin(), f.out.end(), 0u);
        ref::flarez(f.out.data(), static_cast<int>(s.range(0)));
    }
}

// Heaviest frames: the panorama-twist scene (panorama, blur, hole mask) followed by a cross fade to a
// second scene and a beat flash, and the halftone scene with its blur.
void BM_FrameTwistFadeFlash(benchmark::State& s) {
    auto& f = fr();
    int t = 0;
    for (auto _ : s) {
        next_time(t, 5000);
        pano_effect(f.out.data(), static_cast<uint32_t>(t));
        horiz_maf(f.out.data(), f.work.data(), 0, 0, 0, 0, kW, kH, kW, kH, 21);
        venkula(t, f.out.data(), f.work.data());
        cross_fade(f.out.data(), f.b.data(), f.out.data(), kPixels, 128);
        add_fade(f.out.data(), f.a.data(), f.out.data(), kPixels, 255, 120);
    }
}
void BM_FrameZoomMask(benchmark::State& s) {
    auto& f = fr();
    int t = 0;
    for (auto _ : s) {
        next_time(t, 5000);
        suumi_effect(f.work.data(), 100080 - t, 5.0, f.pic.data(), f.pic.data(), f.pic.data());
        venkula(t, f.out.data(), f.work.data());
        add_fade(f.out.data(), f.a.data(), f.out.data(), kPixels, 255, 120);
    }
}
void BM_FrameHalftone(benchmark::State& s) {
    auto& f = fr();
    int t = 0;
    for (auto _ : s) {
        next_time(t, 5000);
        pano_effect(f.out.data(), static_cast<uint32_t>(10000 - t));
        std::fill(f.work.begin(), f.work.end(), 0u);
        halftone(f.work.data(), f.out.data(), 255);
        horiz_maf(f.work.data(), f.out.data(), 0, 0, 0, 0, kW, kH, kW, kH, 18);
        add_fade(f.out.data(), f.a.data(), f.out.data(), kPixels, 255, 120);
    }
}

} // namespace

BENCHMARK(BM_Venkula);
BENCHMARK(BM_VenkulaRef);
BENCHMARK(BM_HorizMaf)->Arg(1)->Arg(21)->Arg(41);
BENCHMARK(BM_HorizMafRef)->Arg(1)->Arg(21)->Arg(41);
BENCHMARK(BM_VertMaf)->Arg(1)->Arg(21)->Arg(110);
BENCHMARK(BM_VertMafRef)->Arg(1)->Arg(21)->Arg(110);
BENCHMARK(BM_CrossFade);
BENCHMARK(BM_CrossFadeRef);
BENCHMARK(BM_AddFade);
BENCHMARK(BM_AddFadeRef);
BENCHMARK(BM_Pano);
BENCHMARK(BM_PanoRef);
BENCHMARK(BM_Suumi);
BENCHMARK(BM_SuumiRef);
BENCHMARK(BM_Halftone);
BENCHMARK(BM_HalftoneRef);
BENCHMARK(BM_Flarez)->Arg(30)->Arg(100)->Arg(200)->Arg(325)->Arg(564)->Arg(800);
BENCHMARK(BM_FlarezRef)->Arg(30)->Arg(100)->Arg(200)->Arg(325)->Arg(564)->Arg(800);
BENCHMARK(BM_FrameTwistFadeFlash);
BENCHMARK(BM_FrameZoomMask);
BENCHMARK(BM_FrameHalftone);

BENCHMARK_MAIN();
