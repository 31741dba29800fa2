// scene_bench: one frame of the shore scene (ranta_effect over a frame holding a picture), at clocks spread
// over section 8, and one read of the embedded scene file into a world.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "assets.h"
#include "ranta.h"
#include "screen.h"
#include "vec.h"

namespace {

uint32_t frame[kScreenWords];

void BM_RantaFrame(benchmark::State& state) {
    std::srand(1);
    ranta_init(frame);
    int clock = 0;
    for (auto _ : state) {
        ranta_effect(clock);
        benchmark::DoNotOptimize(frame[kScreenWords / 2]);
        clock = (clock + 7) % 6000; // the clock runs to several thousand ticks in section 8
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RantaFrame);

void BM_ReadScene(benchmark::State& state) {
    for (auto _ : state) {
        vec_world w{};
        vec_init(&w);
        benchmark::DoNotOptimize(vec_get_objects(pallo, pallo_size, &w));
        vec_free_world(&w);
        vec_close(&w);
    }
}
BENCHMARK(BM_ReadScene);

} // namespace

BENCHMARK_MAIN();
