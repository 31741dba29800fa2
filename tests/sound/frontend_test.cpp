// The music front-end on the offline device: the calling order of a real run, the song clock through the
// whole embedded song, and the device's virtual clock (when buffers are requested).
// Each test sets up what it needs (CTest runs every test in a process of its own).
#include "modbuild.h"
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
    bad[pt_tag_at] = 'X';
    EXPECT_EQ(mzx_get(bad.data(), bad.size()), 0);
    EXPECT_STREQ(pt_errorstr, "pt_takemod error: unknown module type!");
    EXPECT_EQ(mzx_position(), 0);
    EXPECT_EQ(mzx_get(bad.data(), 500), 0);
    EXPECT_EQ(mzx_position(), 0);
}

TEST(FrontEnd, PositionIsMinus37UntilTheFirstTick) {
    ASSERT_EQ(mzx_init(), 1);
    ASSERT_EQ(mzx_get(song.data(), song.size()), 1);
    EXPECT_EQ(mzx_position(), -37);
    EXPECT_GT(static_cast<unsigned>(mzx_position()), 100u); // an unsigned wait for <= 100 keeps waiting
}

// The whole song on the virtual clock: buffers come at k * 2048 / 44100 s after the unpause, and the
// position runs 0..63, 100..163, ..., 2000..2063 and then returns to 0.
TEST(FrontEnd, SongClockThroughTheWholeSong) {
    ASSERT_EQ(mzx_init(), 1);
    ASSERT_EQ(mzx_get(song.data(), song.size()), 1);
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
    ASSERT_EQ(mzx_init(), 1);
    ASSERT_EQ(mzx_get(song.data(), song.size()), 1);
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

// One playback as the demo starts it: the module as it is (the loader only reads it), the offline device
// from clock 0, `buffers` buffers of 2048 samples.
// Each buffer is recorded with the replayer's state at its end and a hash of its samples.
struct heard {
    int position, order, row, period[4], volume[4];
    uint64_t sound;
    bool operator==(const heard&) const = default;
};

std::vector<heard> playback(const std::vector<uint8_t>& module, size_t buffers) {
    std::vector<heard> out;
    EXPECT_EQ(mzx_init(), 1);
    EXPECT_EQ(mzx_get(module.data(), module.size()), 1);
    sd_offline_set_sink(
        [](const int16_t* samples, int count, void* ctx) {
            pt_tickstate st;
            pt_getstate(&st);
            heard h{mzx_position(), st.order, st.row, {}, {}, 1469598103934665603ull};
            for (int c = 0; c < 4; c++) h.period[c] = st.period[c], h.volume[c] = st.volume[c];
            for (int i = 0; i < count; i++)
                h.sound = (h.sound ^ static_cast<uint16_t>(samples[i])) * 1099511628211ull;
            static_cast<std::vector<heard>*>(ctx)->push_back(h);
        },
        &out);
    sd_offline_run(0);
    mzx_start(52);
    for (uint32_t ms = 0; out.size() < buffers; ms += 20) sd_offline_run(ms);
    mzx_close();
    sd_offline_set_sink(nullptr, nullptr);
    out.resize(buffers);
    return out;
}

// A module whose opening depends on every kind of state a channel keeps (effect memories, waveforms,
// glissando, pattern loop), and whose later rows set all of it differently, with a pattern loop and a row
// delay running for a while, so that a playback cut there leaves it all behind.
std::vector<uint8_t> stateful_module() {
    test_module mod(1);
    mod.sample(1, {.length = 2048, .volume = 50, .loopstart = 1024, .looplength = 1024});
    mod.sample(2, {.length = 4096, .finetune = 3, .volume = 40});
    struct {
        int row, channel, period, sample, cmd, param;
    } cells[] = {
        // the opening
        {0, 0, 428, 1, 0x0, 0x00},
        {1, 0, 214, 0, 0x3, 0x00}, // tone portamento from memory
        {2, 0, 0, 0, 0x3, 0x05},   // ... sliding, glissando or not
        {0, 1, 428, 1, 0x4, 0x00}, // vibrato from memory
        {2, 1, 0, 0, 0xE, 0x60},   // rows 2..3 three times
        {3, 1, 0, 0, 0xE, 0x62},
        {0, 2, 428, 2, 0x9, 0x00}, // sample offset from memory
        {0, 3, 428, 1, 0x7, 0x00}, // tremolo from memory
        {1, 3, 0, 0, 0xE, 0xF7},   // funk: inverts the loop as it plays
        {4, 3, 0, 0, 0xE, 0x61},   // back once to the loop start: row 0 before any E60
        // the state left behind
        {8, 0, 0, 0, 0xE, 0x31}, // glissando on
        {9, 0, 320, 1, 0x3, 0x20},
        {8, 1, 0, 0, 0xE, 0x46}, // square vibrato, kept across notes
        {9, 1, 320, 1, 0x4, 0x8F},
        {8, 2, 0, 0, 0xE, 0x52}, // finetune 2
        {9, 2, 320, 2, 0x9, 0x10},
        {8, 3, 0, 0, 0xE, 0x75}, // ramp tremolo, kept across notes
        {9, 3, 320, 1, 0x7, 0x8F},
        {10, 0, 0, 0, 0xF, 0x04}, // speed 4
        {12, 3, 0, 0, 0xE, 0x60},
        {20, 1, 0, 0, 0xE, 0x60}, // rows 20..21 four times, row 21 lasting three rows each time
        {21, 1, 0, 0, 0xE, 0x63},
        {21, 2, 0, 0, 0xE, 0xE2},
    };
    for (const auto& c : cells) mod.cell(0, c.row, c.channel, c.period, c.sample, c.cmd, c.param);
    return mod.bytes();
}

// A module played again in the same process sounds as it did the first time, however its last playback
// was cut short: nothing of a channel's state, the pattern flow or the mixer is carried over.
TEST(FrontEnd, PlaysAModuleAgainAsTheFirstTime) {
    struct Case {
        std::string name;
        std::vector<uint8_t> module;
        std::vector<size_t> cuts; // buffers of the interrupted playbacks
    };
    std::vector<Case> cases = {{"stateful", stateful_module(), {}}, {"moddi", song, {300}}};
    for (size_t b = 5; b < 120; b += 5) cases[0].cuts.push_back(b);
    for (const char* name : {"PatLoop-Break", "PatternDelaysRetrig", "PortaTarget", "VibratoReset",
                             "finetune", "ptoffset", "PTRetrigger", "TempoChange"}) {
        const auto bytes = read_file(std::string(SHORELINE_TESTDATA) + "/mod/compliance/" + name + ".mod");
        ASSERT_FALSE(bytes.empty()) << name;
        cases.push_back({name, bytes, {60, 130}});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<heard> first = playback(c.module, 200);
        for (size_t cut : c.cuts) {
            playback(c.module, cut);
            const std::vector<heard> again = playback(c.module, 200);
            for (size_t b = 0; b < first.size(); b++) {
                ASSERT_EQ(again[b], first[b])
                    << "after a playback cut at buffer " << cut << ", buffer " << b << " differs (position "
                    << first[b].position << " the first time, " << again[b].position << " now)";
            }
        }
    }
}

} // namespace
