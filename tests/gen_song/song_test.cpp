// The committed song module: its layout and figures, the rows that carry the picture's accents, and that
// the generator still writes exactly these bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr size_t kHeaderSize = 1084; // title, 31 sample headers, length, restart, orders, tag
constexpr size_t kPatternSize = 64 * 4 * 4;

std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct SampleHeader {
    uint32_t length, loop_start, loop_length; // bytes
    int volume;
};

struct Note {
    int sample, period, command, param;
};

// The module as the tracker sees it, read with every offset checked against the size.
struct Module {
    std::vector<uint8_t> bytes;
    SampleHeader samples[31];
    int song_length = 0;
    uint8_t orders[128];
    int patterns = 0;
    bool ok = false;

    explicit Module(std::vector<uint8_t> data) : bytes(std::move(data)) {
        if (bytes.size() < kHeaderSize) return;
        for (int i = 0; i < 31; i++) {
            const uint8_t* h = &bytes[20 + 30 * i];
            samples[i] = {2u * be16(h + 22), 2u * be16(h + 26), 2u * be16(h + 28), h[25]};
        }
        song_length = bytes[950];
        std::copy_n(&bytes[952], 128, orders);
        patterns = *std::max_element(orders, orders + 128) + 1;
        ok = patterns * kPatternSize <= bytes.size() - kHeaderSize;
    }
    static uint32_t be16(const uint8_t* p) { return static_cast<uint32_t>(p[0] << 8 | p[1]); }

    Note cell(int pattern, int row, int channel) const {
        const uint8_t* c = &bytes[kHeaderSize + pattern * kPatternSize + (row * 4 + channel) * 4];
        return {(c[0] & 0xF0) | c[2] >> 4, (c[0] & 0x0F) << 8 | c[1], c[2] & 0x0F, c[3]};
    }
    size_t sample_offset(int index) const {
        size_t off = kHeaderSize + patterns * kPatternSize;
        for (int i = 0; i < index; i++) off += samples[i].length;
        return off;
    }
};

const Module& song() {
    static const Module module(read_file(SHORELINE_SOURCE_DIR "/data/moddi.mod"));
    return module;
}

// Periods of the three tracker octaves (finetune 0): the notes every player agrees on.
constexpr int kPeriods[36] = {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
                              428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
                              214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113};

TEST(SongModule, LayoutAndFigures) {
    const Module& m = song();
    ASSERT_TRUE(m.ok) << "module too short for its header and patterns";
    EXPECT_EQ(std::string(m.bytes.begin() + 1080, m.bytes.begin() + 1084), "M.K.");
    EXPECT_EQ(m.song_length, 21);
    EXPECT_EQ(m.patterns, 7) << "largest order entry must be 6";
    std::set<int> used(m.orders, m.orders + 21);
    EXPECT_EQ(used.size(), 7u) << "every pattern is played";

    int present = 0, looped = 0;
    for (int i = 0; i < 31; i++) {
        const SampleHeader& s = m.samples[i];
        if (s.length == 0) continue;
        present++;
        EXPECT_EQ(i, present - 1) << "samples are numbered without gaps";
        EXPECT_LE(s.volume, 64);
        if (s.loop_length >= 3) {
            looped++;
            // the mixer plays up to and including the byte at the loop end
            EXPECT_LT(s.loop_start + s.loop_length, s.length) << "sample " << i + 1;
        }
    }
    EXPECT_EQ(present, 9);
    EXPECT_EQ(looped, 2);
    EXPECT_EQ(m.bytes.size(), m.sample_offset(31)) << "file ends right after the sample data";
}

TEST(SongModule, SamplesStartSilentAndLoopSeamlessly) {
    const Module& m = song();
    ASSERT_TRUE(m.ok);
    ASSERT_EQ(m.bytes.size(), m.sample_offset(31));
    for (int i = 0; i < 9; i++) {
        const SampleHeader& s = m.samples[i];
        const auto* data = reinterpret_cast<const int8_t*>(&m.bytes[m.sample_offset(i)]);
        // an ended one-shot keeps sounding its first byte until the next note
        EXPECT_EQ(data[0], 0) << "sample " << i + 1;
        if (s.loop_length < 3) continue;
        // wrapping from the loop end back to loop start + 1 must not jump
        EXPECT_EQ(data[s.loop_start + s.loop_length], data[s.loop_start]) << "sample " << i + 1;
        int biggest_step = 0;
        for (uint32_t k = s.loop_start + 1; k < s.loop_start + s.loop_length; k++)
            biggest_step = std::max(biggest_step, std::abs(data[k + 1] - data[k]));
        int wrap_step = std::abs(data[s.loop_start + 1] - data[s.loop_start + s.loop_length]);
        EXPECT_LE(wrap_step, biggest_step) << "sample " << i + 1 << " clicks where its loop wraps";
    }
}

TEST(SongModule, OnlyPlainNotesAndTheFourCommands) {
    const Module& m = song();
    ASSERT_TRUE(m.ok);
    for (int p = 0; p < m.patterns; p++)
        for (int row = 0; row < 64; row++)
            for (int ch = 0; ch < 4; ch++) {
                Note n = m.cell(p, row, ch);
                SCOPED_TRACE(testing::Message() << "pattern " << p << " row " << row << " channel " << ch);
                if (n.period) {
                    EXPECT_TRUE(std::count(kPeriods, kPeriods + 36, n.period)) << "period " << n.period;
                    EXPECT_GE(n.sample, 1);
                }
                EXPECT_LE(n.sample, 9);
                switch (n.command) {
                case 0x0:
                    EXPECT_EQ(n.param, 0) << "arpeggio is not used";
                    break;
                case 0x2:
                    EXPECT_GT(n.param, 0);
                    break;
                case 0xA:
                    EXPECT_TRUE(n.param && (!(n.param & 0x0F) || !(n.param & 0xF0))) << "up or down";
                    break;
                case 0xC:
                    EXPECT_LE(n.param, 64);
                    break;
                // the timeline relies on 6 ticks a row: no other speed or tempo anywhere
                case 0xF:
                    EXPECT_TRUE(n.param == 6 || n.param == 130) << "F" << n.param;
                    break;
                default:
                    ADD_FAILURE() << "command " << n.command;
                }
            }
    // speed 6 and tempo 130 on the very first row
    std::set<int> first;
    for (int ch = 0; ch < 4; ch++) {
        Note n = m.cell(m.orders[0], 0, ch);
        if (n.command == 0xF) first.insert(n.param);
    }
    EXPECT_EQ(first, (std::set<int>{6, 130}));
}

// The loudest note that starts on a row: its C volume, or the sample's default volume.
int loudest_note(const Module& m, int order, int row) {
    int loudest = -1;
    for (int ch = 0; ch < 4; ch++) {
        Note n = m.cell(m.orders[order], row, ch);
        if (!n.period) continue;
        loudest = std::max(loudest, n.command == 0xC ? n.param : m.samples[n.sample - 1].volume);
    }
    return loudest;
}

TEST(SongModule, AccentRowsHoldStrongNotes) {
    const Module& m = song();
    ASSERT_TRUE(m.ok);
    struct Accents {
        std::vector<int> orders, rows;
    };
    const Accents kAccents[] = {
        {{0, 8, 17, 18}, {8, 40}},
        {{2, 3, 4, 5, 6, 13, 14, 15}, {0, 32}},
        {{9, 10, 16}, {0, 3, 24, 27, 42, 59, 62}},
        {{1, 7, 12, 13, 15, 17}, {0}}, // section starts, the flash at 1300, the new scene at 1500
    };
    for (const Accents& a : kAccents)
        for (int order : a.orders)
            for (int row : a.rows)
                EXPECT_GE(loudest_note(m, order, row), 40) << "position " << order * 100 + row;
}

TEST(SongGenerator, ReproducesTheCommittedModule) {
    std::string out = testing::TempDir() + "song_regenerated.mod";
    std::string command = std::string("\"") + GEN_SONG + "\" \"" + out + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::vector<uint8_t> fresh = read_file(out);
    std::remove(out.c_str());
    ASSERT_EQ(fresh.size(), song().bytes.size());
    EXPECT_TRUE(fresh == song().bytes) << "run gen_song data/moddi.mod and commit the result";
}

} // namespace
