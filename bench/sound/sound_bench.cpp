// Replayer plus mixer against libxmp: seconds of 44.1 kHz mono audio rendered per second of CPU for every
// reference song, both players side by side in one run (libxmp without interpolation). Read the counter
// audio_s_per_cpu_s; the ratio of ours to libxmp's is the figure of merit.
#include "sound_internal.h"

#include <benchmark/benchmark.h>
#include <xmp.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int rate = 44100;
constexpr int chunk_seconds = 10; // audio rendered per iteration

std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

void ours(benchmark::State& state, const std::string& path) {
    std::vector<uint8_t> module = read_file(path);
    sd_mix_setfunctions();
    sd_mix_init(rate);
    sd_setmainvolume(64);
    mzx_tickrate = 52;
    if (pt_takemod(module.data(), module.size()) == 0) {
        state.SkipWithError(pt_errorstr);
        return;
    }
    pt_init();
    static int16_t buffer[2048];
    constexpr int buffers = chunk_seconds * rate / 2048;
    for (auto _ : state) {
        for (int b = 0; b < buffers; b++)
            mix_newhand(nullptr, reinterpret_cast<uint8_t*>(buffer), sizeof buffer);
        benchmark::DoNotOptimize(buffer);
    }
    state.counters["audio_s_per_cpu_s"] = benchmark::Counter(static_cast<double>(buffers) * 2048 / rate,
                                                             benchmark::Counter::kIsIterationInvariantRate);
}

void libxmp(benchmark::State& state, const std::string& path) {
    std::vector<uint8_t> module = read_file(path);
    xmp_context ctx = xmp_create_context();
    if (xmp_load_module_from_memory(ctx, module.data(), static_cast<long>(module.size())) != 0) {
        state.SkipWithError("libxmp cannot load the module");
        xmp_free_context(ctx);
        return;
    }
    xmp_start_player(ctx, rate, XMP_FORMAT_MONO);
    xmp_set_player(ctx, XMP_PLAYER_MODE, XMP_MODE_PROTRACKER);
    xmp_set_player(ctx, XMP_PLAYER_INTERP, XMP_INTERP_NEAREST);
    static int16_t buffer[2048];
    constexpr int buffers = chunk_seconds * rate / 2048;
    for (auto _ : state) {
        for (int b = 0; b < buffers; b++) xmp_play_buffer(ctx, buffer, sizeof buffer, 0);
        benchmark::DoNotOptimize(buffer);
    }
    state.counters["audio_s_per_cpu_s"] = benchmark::Counter(static_cast<double>(buffers) * 2048 / rate,
                                                             benchmark::Counter::kIsIterationInvariantRate);
    xmp_end_player(ctx);
    xmp_release_module(ctx);
    xmp_free_context(ctx);
}

// The replayer alone on one song: the ticks of 10 s of audio, settings written, nothing mixed.
void replayer_only(benchmark::State& state, const std::string& path) {
    std::vector<uint8_t> module = read_file(path);
    sd_mix_setfunctions();
    sd_mix_init(rate);
    if (pt_takemod(module.data(), module.size()) == 0) {
        state.SkipWithError(pt_errorstr);
        return;
    }
    pt_init();
    constexpr int ticks = chunk_seconds * 52;
    for (auto _ : state) {
        for (int t = 0; t < ticks; t++) pt_play();
        benchmark::ClobberMemory();
    }
    state.counters["audio_s_per_cpu_s"] =
        benchmark::Counter(chunk_seconds, benchmark::Counter::kIsIterationInvariantRate);
}

// The mixer alone: four looping channels at typical pitches, no replayer.
void mixer_only(benchmark::State& state) {
    static int8_t data[4096];
    for (int i = 0; i < 4096; i++) data[i] = static_cast<int8_t>(i * 7);
    sd_mix_setfunctions();
    sd_mix_init(rate);
    sd_setmainvolume(64);
    sd_setactivechannels(4);
    sd_getsample(1, data, 4096, 0, 4095, 1);
    for (int c = 0; c < 4; c++) {
        sd_selectchannel(c);
        sd_setsample(1);
        sd_setvolume(48);
        sd_setamigaperiod(214 + c * 40);
    }
    static int16_t out[2048];
    for (auto _ : state) {
        sd_mix_mono(out, 2048, 1);
        benchmark::DoNotOptimize(out);
    }
    state.counters["audio_s_per_cpu_s"] =
        benchmark::Counter(2048.0 / rate, benchmark::Counter::kIsIterationInvariantRate);
}

// The reference songs, listed rather than found; main() refuses to start while one is missing.
std::vector<std::string> song_paths() {
    std::vector<std::string> out;
    for (const char* name : {"ZONE-2A", "blue_damage", "flowerpower", "ode2ptk", "ponylips", "reborning",
                             "sundance", "zob-the-zob"})
        out.push_back(std::string(SHORELINE_TESTDATA) + "/mod/songs/" + name + ".mod");
    out.push_back(std::string(SHORELINE_SOURCE_DIR) + "/data/moddi.mod");
    return out;
}

void register_all() {
    for (const std::string& p : song_paths()) {
        const std::string name = std::filesystem::path(p).stem().string();
        benchmark::RegisterBenchmark(("ours/" + name).c_str(), ours, p)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("libxmp/" + name).c_str(), libxmp, p)->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("replayer_only/sundance", replayer_only,
                                 std::string(SHORELINE_TESTDATA) + "/mod/songs/sundance.mod");
    benchmark::RegisterBenchmark("mixer_only/4ch", mixer_only);
}

} // namespace

int main(int argc, char** argv) {
    for (const std::string& p : song_paths()) {
        if (!std::ifstream(p, std::ios::binary)) {
            std::fprintf(stderr, "sound_bench: missing reference file %s\n", p.c_str());
            return 1;
        }
    }
    register_all();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
