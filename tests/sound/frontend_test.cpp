// The music front-end on the offline device: the calling order of a real run, the song clock through the
// whole embedded song, and the device's virtual clock (when buffers are requested).
// Each test sets up what it needs (CTest runs every test in a process of its own).
#include "sound_internal.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

struct sink_log {
    int buffers = 0;
    std::vector<int> positions; // song position after each buffer
    std::vector<int16_t> samples;
};

void record(const int16_t* samples, int count, void* ctx) {
    sink_log& log = *static_cast<sink_log*>(ctx);
    log.buffers++;
    log.positions.push_back(mzx_position());
    log.samples.insert(log.samples.end(), samples, samples + count);
}

std::vector<uint8_t> song = read_file(std::string(SHORELINE_SOURCE_DIR) + "/data/moddi.mod");

TEST(FrontEnd, BeforeInitTheTableIsEmpty) {
    EXPECT_EQ(mzx_mode, 0);
    EXPECT_EQ(sd_init, nullptr);
    EXPECT_EQ(sd_setamigaperiod, nullptr);
    EXPECT_STREQ(sd_devicename, "");
    EXPECT_STREQ(sd_errorstr, "");
}

TEST(FrontEnd, InitOpensThePausedDevice) {
    ASSERT_EQ(mzx_init(), 1);
    EXPECT_EQ(mzx_mode, 2);
    EXPECT_EQ(sd_mix_mainvolume, 64);
    EXPECT_STREQ(sd_devicename, "offline audio");
    for (void* entry :
         {(void*)sd_init, (void*)sd_start, (void*)sd_stop, (void*)sd_secondhand, (void*)sd_shutdown,
          (void*)sd_getsample, (void*)sd_setactivechannels, (void*)sd_selectchannel, (void*)sd_setsample,
          (void*)sd_setvolume, (void*)sd_setpanning, (void*)sd_setoffset, (void*)sd_setamigaperiod,
          (void*)sd_setmainvolume}) {
        EXPECT_NE(entry, nullptr);
    }
    sink_log log;
    sd_offline_set_sink(record, &log);
    sd_offline_run(100000); // paused: nothing is requested
    EXPECT_EQ(log.buffers, 0);
    sd_offline_set_sink(nullptr, nullptr);
}

TEST(FrontEnd, GetRefusesAnUnknownModuleAndKeepsPositionZero) {
    ASSERT_EQ(mzx_init(), 1);
    std::vector<uint8_t> bad = song;
    bad[1080] = 'X';
    EXPECT_EQ(mzx_get(bad.data(), bad.size()), 0);
    EXPECT_STREQ(pt_errorstr, "pt_takemod error: unknown module type!");
    EXPECT_EQ(mzx_position(), 0);
    EXPECT_EQ(mzx_get(bad.data(), 500), 0);
    EXPECT_EQ(mzx_position(), 0);
}

TEST(FrontEnd, PositionIsMinus37UntilTheFirstTick) {
    std::vector<uint8_t> copy = song;
    ASSERT_EQ(mzx_init(), 1);
    ASSERT_EQ(mzx_get(copy.data(), copy.size()), 1);
    EXPECT_EQ(mzx_position(), -37);
    EXPECT_GT(static_cast<unsigned>(mzx_position()), 100u); // an unsigned wait for <= 100 keeps waiting
}

// The whole song on the virtual clock: buffers come at k * 2048 / 44100 s after the unpause, and the
// position runs 0..63, 100..163, ..., 2000..2063 and then returns to 0.
TEST(FrontEnd, SongClockThroughTheWholeSong) {
    std::vector<uint8_t> copy = song;
    ASSERT_EQ(mzx_init(), 1);
    ASSERT_EQ(mzx_get(copy.data(), copy.size()), 1);
    sink_log log;
    sd_offline_set_sink(record, &log);
    sd_offline_run(5000); // the clock before the unpause: device time starts here
    mzx_start(52);
    EXPECT_EQ(mzx_tickrate, 52);
    ASSERT_EQ(log.buffers, 1); // buffer 0 at the unpause itself
    EXPECT_EQ(mzx_position(), 0);
    sd_offline_run(5046); // buffer 1 is due at 46.44 ms
    EXPECT_EQ(log.buffers, 1);
    sd_offline_run(5047);
    EXPECT_EQ(log.buffers, 2);
    sd_offline_run(5000 + 1000);
    EXPECT_EQ(log.buffers, 22); // buffers 0..21 are due within one second (21 * 2048 / 44100 = 0.975 s)

    std::vector<int> expected;
    for (int order = 0; order < 21; order++) {
        for (int row = 0; row < 64; row++) expected.push_back(order * 100 + row);
    }
    expected.push_back(0);
    for (uint32_t ms = 6000; ms <= 5000 + 156000; ms += 20) sd_offline_run(ms);
    std::vector<int> seen;
    for (int p : log.positions) {
        if (seen.empty() || seen.back() != p) seen.push_back(p);
    }
    ASSERT_GE(seen.size(), expected.size());
    seen.resize(expected.size());
    EXPECT_EQ(seen, expected);
    // 21 orders of 64 rows of 6 ticks of 848 samples: the song is back at order 0 only after that.
    const size_t song_samples = 21 * 64 * 6 * 848;
    size_t first_wrap = 0;
    for (size_t b = 1; b < log.positions.size(); b++) {
        if (log.positions[b] < log.positions[b - 1]) {
            first_wrap = b;
            break;
        }
    }
    // A tick is played in the callback whose buffer holds its first sample, or in the one before when it
    // starts exactly at a buffer boundary (the callback ends by playing the next tick, mixing 0 samples).
    EXPECT_EQ(first_wrap, (song_samples - 1) / 2048);
    bool sound = false;
    for (int16_t s : log.samples) sound |= s != 0;
    EXPECT_TRUE(sound);
    sd_offline_set_sink(nullptr, nullptr);
}

TEST(FrontEnd, CloseStopsTheDevice) {
    std::vector<uint8_t> copy = song;
    ASSERT_EQ(mzx_init(), 1);
    ASSERT_EQ(mzx_get(copy.data(), copy.size()), 1);
    sd_offline_run(0);
    mzx_start(52);
    sink_log log;
    sd_offline_set_sink(record, &log);
    sd_offline_run(100);
    EXPECT_EQ(log.buffers, 2);
    mzx_close();
    sd_offline_run(1000000);
    EXPECT_EQ(log.buffers, 2);
    sd_offline_set_sink(nullptr, nullptr);
}

// The same song and clock give the same samples on every run.
TEST(FrontEnd, OfflinePlaybackIsDeterministic) {
    std::vector<int16_t> runs[2];
    for (auto& run : runs) {
        std::vector<uint8_t> copy = read_file(std::string(SHORELINE_SOURCE_DIR) + "/data/moddi.mod");
        sink_log log;
        ASSERT_EQ(mzx_init(), 1);
        ASSERT_EQ(mzx_get(copy.data(), copy.size()), 1);
        sd_offline_set_sink(record, &log);
        sd_offline_run(0);
        mzx_start(52);
        for (uint32_t ms = 0; ms <= 3000; ms += 17) sd_offline_run(ms);
        mzx_close();
        sd_offline_set_sink(nullptr, nullptr);
        run = log.samples;
    }
    ASSERT_FALSE(runs[0].empty());
    EXPECT_EQ(runs[0], runs[1]);
}

} // namespace
