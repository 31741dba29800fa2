// The module loader: type tags, song tables, cell conversion, sample registration, and modules that are
// too short or broken (refused with a message, or clamped to the data present).
#include "modbuild.h"
#include "sound_internal.h"
#include "testdata.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

class Loader : public ::testing::Test {
  protected:
    void SetUp() override {
        sd_mix_setfunctions();
        sd_mix_init(44100);
    }
};

TEST_F(Loader, EveryTagGivesItsChannelCount) {
    const std::pair<const char*, int> tags[] = {
        {"2CHN", 2},  {"4CHN", 4},  {"M.K.", 4},  {"M!K!", 4},  {"FLT4", 4},  {"FLT8", 8},  {"OCTA", 8},
        {"6CHN", 6},  {"8CHN", 8},  {"10CH", 10}, {"12CH", 12}, {"14CH", 14}, {"16CH", 16}, {"18CH", 18},
        {"20CH", 20}, {"22CH", 22}, {"24CH", 24}, {"26CH", 26}, {"28CH", 28}, {"30CH", 30}, {"32CH", 32}};
    for (const auto& [tag, channels] : tags) {
        std::vector<uint8_t> m = test_module(1, channels, tag).bytes();
        ASSERT_EQ(pt_takemod(m.data(), m.size()), 1) << tag;
        EXPECT_EQ(pt_channels, channels) << tag;
        EXPECT_EQ(sd_mix_numchannels, channels) << tag;
    }
}

TEST_F(Loader, UnknownTagIsRefusedAndChangesNothing) {
    std::vector<uint8_t> good = test_module(1, 6, "6CHN").bytes();
    ASSERT_EQ(pt_takemod(good.data(), good.size()), 1);
    for (const char* tag : {"STOP", "m.k.", "M.K ", "3CHN", "\0\0\0\0"}) {
        test_module mod(1, 4, tag);
        mod.sample(1, {.length = 100});
        std::vector<uint8_t> m = mod.bytes();
        const std::vector<uint8_t> before = m;
        mix_samples[1] = mix_sample{};
        EXPECT_EQ(pt_takemod(m.data(), m.size()), 0) << tag;
        EXPECT_STREQ(pt_errorstr, "pt_takemod error: unknown module type!");
        EXPECT_EQ(pt_channels, 6);
        EXPECT_EQ(mix_samples[1].data, nullptr); // no sample registered
        EXPECT_EQ(m, before);                    // nothing converted
    }
}

TEST_F(Loader, SongTablesAndSampleHeaders) {
    test_module mod(4);
    mod.order({0, 2, 1});
    for (int i = 3; i < 128; i++) mod.cell(0, 0, 0, 0, 0, 0, 0);
    mod.restart(127);
    mod.sample(1, {.length = 200, .finetune = 0xF7, .volume = 80, .loopstart = 20, .looplength = 2});
    mod.sample(3, {.length = 100, .finetune = 3, .volume = 10, .loopstart = 10, .looplength = 50});
    std::vector<uint8_t> m = mod.bytes();
    m[pt_orders_at + 100] = 3; // an order entry past the song length still counts for the pattern count
    ASSERT_EQ(pt_takemod(m.data(), m.size()), 1);
    EXPECT_EQ(pt_songlen, 3);
    EXPECT_EQ(pt_repstart, 0); // 127 becomes 0
    EXPECT_EQ(pt_lastpattern, 3);
    EXPECT_EQ(pt_finetune[1], 7);
    EXPECT_EQ(pt_volume[1], 64);
    EXPECT_EQ(pt_loope[1], 2u);
    EXPECT_EQ(mix_samples[1].looped, 0); // a one-word loop does not loop
    EXPECT_EQ(mix_samples[1].length, 200u);
    const uint8_t* data = m.data() + pt_patterns_at + 4 * 1024;
    EXPECT_EQ(mix_samples[1].data, reinterpret_cast<const int8_t*>(data));
    EXPECT_EQ(mix_samples[2].length, 0u); // empty slot: no data taken
    EXPECT_EQ(mix_samples[3].data, reinterpret_cast<const int8_t*>(data + 200));
    EXPECT_EQ(mix_samples[3].loopstart, 10u);
    EXPECT_EQ(mix_samples[3].loopend, 60u);
    EXPECT_EQ(mix_samples[3].looped, 1);
    // In a song of 128 orders a restart byte of 126 is kept, and 127 still becomes 0.
    mod.order(std::vector<int>(128, 0));
    for (int restart : {126, 127}) {
        mod.restart(restart);
        m = mod.bytes();
        ASSERT_EQ(pt_takemod(m.data(), m.size()), 1);
        EXPECT_EQ(pt_repstart, restart == 126 ? 126 : 0);
    }
}

TEST_F(Loader, CellsAreConvertedIntoTheLoadersTable) {
    test_module mod;
    mod.cell(0, 0, 0, 856, 0x1F, 0xC, 0x40);
    mod.cell(0, 0, 1, 0, 0x10, 0xF, 0x06);
    mod.cell(0, 0, 2, 1712, 1, 0, 0);
    mod.cell(0, 0, 3, 113, 0, 0, 0);
    mod.cell(0, 1, 0, 855, 0, 0, 0);    // between two notes: the higher one
    mod.cell(0, 1, 1, 4000, 0, 0, 0);   // below the lowest note: the lowest
    mod.cell(0, 1, 2, 1, 0, 0, 0);      // above every note: none
    mod.cell(0, 1, 3, 0x0FFF, 0, 0, 0); // largest period
    // Above the classic range the periods are halved with rounding: 127 / 2 gives 64, so 63 is the next
    // note's (60). The replayer plays every note up there at period 0, so only the cell shows this.
    mod.cell(0, 2, 0, 63, 0, 0, 0);
    mod.cell(0, 2, 1, 64, 0, 0, 0);
    const std::vector<uint8_t> m = mod.bytes();
    ASSERT_EQ(pt_takemod(m.data(), m.size()), 1);
    const uint8_t* c = pt_patterns;
    EXPECT_EQ(std::vector<uint8_t>(c, c + 16),
              (std::vector<uint8_t>{0x1F, 12, 0xC, 0x40, 0x10, 84, 0xF, 0x06, 1, 0, 0, 0, 0, 47, 0, 0}));
    EXPECT_EQ(std::vector<uint8_t>(c + 16, c + 32),
              (std::vector<uint8_t>{0, 13, 0, 0, 0, 0, 0, 0, 0, 84, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(c[32 + 1], 58);
    EXPECT_EQ(c[36 + 1], 57);
}

// Samples play from the module itself, except where the funk effect (EFx, x > 0) would invert loops in
// place: then every sample plays from a copy of its data made at load time.
TEST_F(Loader, OnlyAModuleThatInvertsLoopsHasItsSamplesCopied) {
    const struct {
        int cmd, param;
        bool copied;
    } cases[] = {
        {0xE, 0xF1, true}, {0xE, 0xFF, true}, {0xE, 0xF0, false}, {0xE, 0xE1, false}, {0xF, 0xF1, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.cmd << " " << c.param);
        test_module mod;
        mod.sample(1, {.length = 64, .loopstart = 16, .looplength = 32});
        mod.sample(3, {.length = 32});
        mod.cell(0, 63, 2, 0, 0, c.cmd, c.param);
        const std::vector<uint8_t> m = mod.bytes();
        ASSERT_EQ(pt_takemod(m.data(), m.size()), 1);
        const int8_t* in_module = reinterpret_cast<const int8_t*>(m.data() + pt_patterns_at + 1024);
        for (int s : {1, 3}) {
            const int8_t* own = in_module + (s == 1 ? 0 : 64);
            EXPECT_EQ(mix_samples[s].data == own, !c.copied) << s;
            EXPECT_EQ(pt_funkdata[s] != nullptr, c.copied) << s;
            EXPECT_TRUE(std::equal(own, own + mix_samples[s].length, mix_samples[s].data)) << s;
        }
        EXPECT_EQ(pt_funkdata[2], nullptr); // no data, nothing to copy
    }
}

TEST_F(Loader, PeriodTableRows) {
    EXPECT_EQ(pt_periodtable[0][12], 856);
    EXPECT_EQ(pt_periodtable[0][47], 113);
    EXPECT_EQ(pt_periodtable[7][12], 814);  // finetune +7
    EXPECT_EQ(pt_periodtable[8][12], 907);  // finetune -8
    EXPECT_EQ(pt_periodtable[15][47], 114); // finetune -1
    for (int f = 0; f < 16; f++) {
        EXPECT_EQ(pt_periodtable[f][84], 0);
        // Periods fall with the note; in the top octaves integer periods may repeat.
        for (int n = 1; n < 84; n++) {
            if (n <= 60) {
                EXPECT_LT(pt_periodtable[f][n], pt_periodtable[f][n - 1]) << f << " " << n;
            } else {
                EXPECT_LE(pt_periodtable[f][n], pt_periodtable[f][n - 1]) << f << " " << n;
            }
        }
    }
}

TEST_F(Loader, ShortModulesAreRefused) {
    test_module mod(2);
    mod.order({0, 1});
    std::vector<uint8_t> m = mod.bytes();
    EXPECT_EQ(pt_takemod(m.data(), pt_patterns_at - 1), 0);
    EXPECT_STREQ(pt_errorstr, "pt_takemod error: module too short for its header!");
    EXPECT_EQ(pt_takemod(m.data(), pt_patterns_at + 2048 - 1), 0);
    EXPECT_STREQ(pt_errorstr, "pt_takemod error: module too short for its patterns!");
    EXPECT_EQ(pt_takemod(nullptr, 0), 0);
    EXPECT_EQ(pt_takemod(m.data(), m.size()), 1);
    EXPECT_STREQ(pt_errorstr, "");
}

TEST_F(Loader, SamplesAndLoopsAreClampedToTheDataPresent) {
    test_module mod;
    mod.sample(1, {.length = 100, .finetune = 0, .volume = 64, .loopstart = 40, .looplength = 60});
    mod.sample(2, {.length = 100, .finetune = 0, .volume = 64, .loopstart = 10, .looplength = 80});
    mod.sample(3, {.length = 100});
    std::vector<uint8_t> m = mod.bytes();
    const size_t data = pt_patterns_at + 1024;
    ASSERT_EQ(pt_takemod(m.data(), data + 150), 1); // sample 2 cut at 50 bytes, sample 3 has none
    EXPECT_EQ(mix_samples[1].length, 100u);
    EXPECT_EQ(mix_samples[1].loopend, 100u);
    EXPECT_EQ(mix_samples[2].length, 50u);
    EXPECT_EQ(mix_samples[2].loopstart, 10u);
    EXPECT_EQ(mix_samples[2].loopend, 50u);
    EXPECT_EQ(mix_samples[2].looped, 1);
    EXPECT_EQ(mix_samples[3].length, 0u);
    EXPECT_EQ(mix_samples[3].data, nullptr);
    ASSERT_EQ(pt_takemod(m.data(), data + 100 + 14), 1); // 4 bytes of sample 2's loop left
    EXPECT_EQ(mix_samples[2].length, 14u);
    EXPECT_EQ(mix_samples[2].looped, 1);
    EXPECT_EQ(mix_samples[2].loopend, 14u);
    ASSERT_EQ(pt_takemod(m.data(), data + 100 + 12), 1); // 2 bytes left: too short to loop
    EXPECT_EQ(mix_samples[2].looped, 0);
    ASSERT_EQ(pt_takemod(m.data(), data + 100 + 8), 1); // the loop starts past the data
    EXPECT_EQ(mix_samples[2].looped, 0);
    EXPECT_EQ(mix_samples[2].loopstart, 0u);
}

TEST_F(Loader, EmbeddedSong) {
    std::vector<uint8_t> m = read_file(std::string(SHORELINE_SOURCE_DIR) + "/data/moddi.mod");
    ASSERT_GT(m.size(), pt_patterns_at);
    ASSERT_EQ(pt_takemod(m.data(), m.size()), 1);
    EXPECT_EQ(pt_channels, 4);
    EXPECT_EQ(pt_songlen, 21);
    EXPECT_EQ(pt_lastpattern, 6);
    int registered = 0, looped = 0;
    for (int s = 1; s < 32; s++) {
        registered += mix_samples[s].length > 0;
        looped += mix_samples[s].looped;
    }
    EXPECT_EQ(registered, 9);
    EXPECT_EQ(looped, 2);
}

// Every broken module is refused with a message, or loads and plays half a minute without a fault (run
// the suite under the sanitizers to see faults). Which of the two is fixed per file.
TEST_F(Loader, MalformedModulesAreRefusedOrPlaySafely) {
    const struct {
        const char* file;
        bool refused;
    } cases[] = {
        {"load_chip_shift_base_finetune.mod", true},
        {"load_chip_truncated.mod", true},
        {"load_flt_umr.mod", true},
        {"load_hmn_truncated.mod", true},
        {"load_ice_truncated.mod", true},
        {"load_mod_no_null_terminator.mod", true},
        {"load_mod_no_valid_orders.mod", true},
        {"load_mod_shift_base_finetune.mod", false},
        {"load_st_shift_base_finetune.mod", true},
        {"load_st_truncated.mod", true},
        {"play_hmn_bad_loop_index.mod", true},
        {"play_hmn_bad_megaarp.mod", true},
        {"play_mod_bad_invloop.mod", false},
        {"truncated_song_fairli.mod", false},
        {"unknown_tag_15_samples.mod", true},
        {"unknown_tag_FEST.mod", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        std::vector<uint8_t> m = read_testdata(std::string("mod/malformed/") + c.file);
        if (m.empty()) continue; // missing: read_testdata has named it
        sd_mix_init(44100);
        mzx_tickrate = 52;
        const bool refused = pt_takemod(m.data(), m.size()) == 0;
        EXPECT_EQ(refused, c.refused) << pt_errorstr;
        if (refused) {
            EXPECT_STRNE(pt_errorstr, "");
            continue;
        }
        pt_init();
        mix_pending = 0;
        static int16_t buffer[2048];
        for (int b = 0; b < 30 * 44100 / 2048; b++)
            mix_newhand(nullptr, reinterpret_cast<uint8_t*>(buffer), 4096);
    }
}

} // namespace
