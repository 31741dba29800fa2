// Frame times of the whole demo on the virtual clock (one core, no display, no sound card), per
// section, and the cost of each drawing step the heaviest sections are made of.
//
//   ./build/bench/main/demo_bench                         everything
//   ./build/bench/main/demo_bench --benchmark_filter=Demo  the per-section table only
//
// A frame's time is the thread CPU time from the end of the previous presentation (after the audio for
// that frame was mixed) to the moment the frame is handed over: the loop test and all rendering. The
// conversion to RGB565 that the real display adds is measured separately (Step/present_rgb565).
#include "demo.h"
#include "demo_local.h"
#include "fx.h"
#include "offline.h"
#include "ranta.h"
#include "rgb565.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {
double cpu_ms() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

struct Timing {
    double started = 0;
    std::vector<double> per_section[12];
};

void BM_Demo(benchmark::State& state) {
    Timing timing;
    for (auto _ : state) {
        timing = Timing{};
        offline_hooks hooks{};
        hooks.fps = 50;
        hooks.ctx = &timing;
        hooks.frame = [](const uint32_t*, int section, int, uint32_t, void* ctx) {
            auto* t = static_cast<Timing*>(ctx);
            if (t->started > 0) t->per_section[section].push_back(cpu_ms() - t->started);
        };
        hooks.exit = [](void* ctx) {
            static_cast<Timing*>(ctx)->started = cpu_ms();
            return 0;
        };
        if (offline_run(&hooks) != 0) state.SkipWithError("the demo did not play");
    }
    std::printf("\nsection  frames  median ms  slowest ms  frames/s\n");
    double worst_median = 0;
    for (int s = 1; s <= 11; s++) {
        auto& v = timing.per_section[s];
        if (v.empty()) continue;
        std::sort(v.begin(), v.end());
        double sum = 0;
        for (double ms : v) sum += ms;
        const double median = v[v.size() / 2];
        worst_median = std::max(worst_median, median);
        std::printf("%7d  %6zu  %9.3f  %10.3f  %8.0f\n", s, v.size(), median, v.back(),
                    1000.0 * v.size() / sum);
        char name[32];
        std::snprintf(name, sizeof name, "s%d_median_ms", s);
        state.counters[name] = median;
    }
    state.counters["worst_median_ms"] = worst_median;
}
BENCHMARK(BM_Demo)->Iterations(1)->Unit(benchmark::kMillisecond);

// The drawing steps, each on tables prepared as at start-up.
struct Prepared {
    std::vector<uint32_t> frame = std::vector<uint32_t>(kScreenWords),
                          other = std::vector<uint32_t>(kScreenWords);
    Prepared() {
        if (demo_prepare() != 0) std::fputs("demo_bench: the shore scene cannot be read\n", stderr);
        make_zoom_texture();
        make_portrait_screen();
        for (int i = 0; i < kScreenWords; i++) other[i] = static_cast<uint32_t>(i * 2654435761u) >> 8;
    }
};
Prepared& prepared() {
    static Prepared p;
    return p;
}

template <class Step> void run_step(benchmark::State& state, Step step) {
    Prepared& p = prepared();
    int t = 0;
    for (auto _ : state) {
        step(p, t);
        benchmark::DoNotOptimize(p.frame.data());
        t += 3;
    }
}

void BM_pano_scene(benchmark::State& s) {
    run_step(s, [](Prepared& p, int t) { pano_scene(p.frame.data(), t); });
}
void BM_halftone_scene(benchmark::State& s) {
    run_step(s, [](Prepared& p, int t) { halftone_scene(p.frame.data(), t); });
}
void BM_zoom_scene(benchmark::State& s) {
    run_step(s, [](Prepared& p, int t) { zoom_scene(p.frame.data(), t); });
}
void BM_twist_scene(benchmark::State& s) {
    run_step(s, [](Prepared& p, int t) { twist_scene(p.frame.data(), t); });
}
void BM_flarez(benchmark::State& s) {
    run_step(s, [](Prepared& p, int t) { flarez(p.frame.data(), t); });
}
void BM_portrait_halftone(benchmark::State& s) {
    run_step(s,
             [](Prepared& p, int t) { halftone(p.frame.data(), screen_b + (t % kScreenH) * kScreenW, 220); });
}
void BM_shore_scene(benchmark::State& s) {
    run_step(s, [](Prepared&, int t) { ranta_effect(t); });
}
void BM_captions_ticker(benchmark::State& s) {
    run_step(s, [](Prepared& p, int t) {
        for (int i = 0; i < 5; i++) caption_blend(78 * i + t % 78 - 77, 210, 0, 155, p.frame.data());
    });
}
void BM_thumb_strip(benchmark::State& s) {
    run_step(s, [](Prepared& p, int t) {
        make_thumb(p.frame.data());
        for (int i = 0; i < 5; i++) paste_thumb(p.frame.data(), 78 * i - t % 78 - 1, -10);
    });
}
void BM_cross_fade(benchmark::State& s) {
    run_step(s, [](Prepared& p, int t) {
        cross_fade(p.frame.data(), p.other.data(), p.frame.data(), kScreenWords, t & 255);
    });
}
void BM_clear(benchmark::State& s) {
    run_step(s, [](Prepared& p, int) { std::fill(p.frame.begin(), p.frame.end(), 0u); });
}
void BM_present_rgb565(benchmark::State& s) {
    std::vector<uint16_t> surface(kScreenWords);
    run_step(s, [&](Prepared& p, int) {
        rgb565_frame(p.other.data(), kScreenW, kScreenH, reinterpret_cast<uint8_t*>(surface.data()),
                     kScreenW * 2);
        benchmark::DoNotOptimize(surface.data());
    });
}
// The effects the compositors chain, at the arguments they typically get.
void BM_pano_effect(benchmark::State& s) {
    run_step(s, [](Prepared& p, int t) { pano_effect(p.frame.data(), static_cast<uint32_t>(10000 - t)); });
}
void BM_halftone_full(benchmark::State& s) {
    run_step(s, [](Prepared& p, int) { halftone(p.frame.data(), p.other.data(), 255); });
}
void BM_horiz_maf(benchmark::State& s) {
    run_step(s, [](Prepared& p, int t) {
        horiz_maf(p.other.data(), p.frame.data(), 0, 0, 0, 0, kScreenW, kScreenH, kScreenW, kScreenH,
                  2 + t % 40);
    });
}
void BM_vert_maf(benchmark::State& s) {
    run_step(s, [](Prepared& p, int t) {
        vert_maf(p.other.data(), p.frame.data(), 0, 0, 0, 0, kScreenW, kScreenH, kScreenW, kScreenH,
                 1 + t % 110);
    });
}
void BM_venkula(benchmark::State& s) {
    run_step(s, [](Prepared& p, int t) { venkula(t, p.frame.data(), p.other.data()); });
}
void BM_suumi(benchmark::State& s) {
    run_step(s, [](Prepared& p, int t) {
        suumi_effect(p.frame.data(), 100080 - t, 5.0, zoom_texture, zoom_texture, zoom_texture);
    });
}
BENCHMARK(BM_pano_effect)->Name("Effect/pano_effect")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_halftone_full)->Name("Effect/halftone")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_horiz_maf)->Name("Effect/horiz_maf")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_vert_maf)->Name("Effect/vert_maf")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_venkula)->Name("Effect/venkula")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_suumi)->Name("Effect/suumi_effect")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_pano_scene)->Name("Step/pano_scene")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_halftone_scene)->Name("Step/halftone_scene")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_zoom_scene)->Name("Step/zoom_scene")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_twist_scene)->Name("Step/twist_scene")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_flarez)->Name("Step/flarez")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_portrait_halftone)->Name("Step/portrait_halftone")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_shore_scene)->Name("Step/shore_scene")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_captions_ticker)->Name("Step/caption_ticker")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_thumb_strip)->Name("Step/thumb_strip")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_cross_fade)->Name("Step/cross_fade")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_clear)->Name("Step/clear")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_present_rgb565)->Name("Step/present_rgb565")->Unit(benchmark::kMicrosecond);
} // namespace

BENCHMARK_MAIN();
