// Plays the committed song through the music system on the offline audio device, exactly as the demo hears
// it, and measures it: when position 2000 (the demo's end) arrives, clamping, level, dynamics, the ending.
#include "sound.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

constexpr int kRowSamples = 6 * 848;                 // speed 6 at 52 ticks per second
constexpr size_t kEndSample = 20 * 64 * kRowSamples; // position 2000: 20 orders of 64 rows
constexpr int kBuffer = 2048;

struct Capture {
    std::vector<int16_t> audio;
    std::vector<int> position; // song position after each buffer
};

void keep(const int16_t* samples, int count, void* ctx) {
    auto* capture = static_cast<Capture*>(ctx);
    capture->audio.insert(capture->audio.end(), samples, samples + count);
    capture->position.push_back(mzx_position());
}

const Capture& rendering() {
    static Capture capture = [] {
        std::ifstream in(SHORELINE_SOURCE_DIR "/data/moddi.mod", std::ios::binary);
        const std::vector<uint8_t> module{std::istreambuf_iterator<char>(in),
                                          std::istreambuf_iterator<char>()};
        Capture c;
        if (!mzx_init() || !mzx_get(module.data(), module.size())) return c;
        c.audio.reserve(kEndSample + 8 * kBuffer);
        sd_offline_set_sink(keep, &c);
        mzx_start(52);
        for (uint32_t ms = 0; c.audio.size() < kEndSample + 4 * kBuffer && ms < 200000; ms += 50)
            sd_offline_run(ms);
        mzx_close();
        sd_offline_set_sink(nullptr, nullptr);
        return c;
    }();
    return capture;
}

double rms_db(const std::vector<int16_t>& audio, size_t from, size_t to) {
    double sum = 0.0;
    for (size_t i = from; i < to; i++) sum += static_cast<double>(audio[i]) * audio[i];
    return 20.0 * std::log10(std::sqrt(sum / static_cast<double>(to - from)) / 32768.0 + 1e-12);
}

size_t row_start(int order, int row) {
    return static_cast<size_t>(order * 64 + row) * kRowSamples;
}

TEST(SongRender, ReachesTheEndAfterTwentyOrders) {
    const Capture& c = rendering();
    ASSERT_GE(c.audio.size(), kEndSample + kBuffer) << "the song did not play";
    size_t first = 0;
    while (first < c.position.size() && (c.position[first] < 2000 || c.position[first] > 2063)) first++;
    ASSERT_LT(first, c.position.size());
    // the tick of row 2000 is played in buffer `first` (at its end when the row starts the next buffer)
    size_t mixed = (first + 1) * kBuffer;
    EXPECT_GE(mixed, kEndSample);
    EXPECT_LE(mixed, kEndSample + kBuffer);
    EXPECT_EQ(c.position[first], 2000);
    EXPECT_NEAR(static_cast<double>(kEndSample) / 44100.0, 147.7, 0.1);
}

TEST(SongRender, StaysCleanWithDynamics) {
    const Capture& c = rendering();
    ASSERT_GE(c.audio.size(), kEndSample);
    size_t clamped = 0;
    int peak = 0;
    for (size_t i = 0; i < kEndSample; i++) {
        int v = c.audio[i];
        if (v >= 32767 || v <= -32768) clamped++;
        peak = std::max(peak, std::abs(v));
    }
    double percent = 100.0 * static_cast<double>(clamped) / kEndSample;
    double level = rms_db(c.audio, 0, kEndSample);
    std::printf("song: %.2f s, peak %d (%.2f dBFS), RMS %.2f dBFS, clamped %zu samples (%.4f%%)\n",
                kEndSample / 44100.0, peak, 20.0 * std::log10(peak / 32768.0), level, clamped, percent);
    for (int order = 0; order < 20; order++)
        std::printf("  order %2d: RMS %6.2f dBFS\n", order,
                    rms_db(c.audio, row_start(order, 0), row_start(order + 1, 0)));
    EXPECT_LE(percent, 0.1);
    EXPECT_GT(level, -20.0) << "too quiet";

    auto order_db = [&](int order) { return rms_db(c.audio, row_start(order, 0), row_start(order + 1, 0)); };
    EXPECT_GT(order_db(8) - order_db(0), 4.0) << "the first drop should stand well above the intro";
    EXPECT_GT(order_db(10) - order_db(11), 4.0) << "the breakdown should fall back";
    EXPECT_GT(order_db(1), order_db(0)) << "the build rises out of the intro";
    EXPECT_GT(rms_db(c.audio, row_start(1, 48), row_start(2, 0)),
              rms_db(c.audio, row_start(1, 0), row_start(1, 16)))
        << "the build must get louder towards its end";
}

TEST(SongRender, EndsInSilence) {
    const Capture& c = rendering();
    ASSERT_GE(c.audio.size(), kEndSample);
    // the last two seconds before the demo ends are exactly silent: no looped sample left running,
    // no ended one-shot holding a non-zero first byte
    size_t from = kEndSample - 2 * 44100;
    size_t loud = 0;
    for (size_t i = from; i < kEndSample; i++) loud += c.audio[i] != 0;
    EXPECT_EQ(loud, 0u);
    EXPECT_GT(rms_db(c.audio, row_start(19, 0), row_start(19, 16)), -30.0) << "the ending starts audibly";
}

} // namespace
