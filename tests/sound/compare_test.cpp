// Plays every reference module tick by tick with our replayer and with libxmp (classic tracker mode) and
// compares the order/row flow (must agree on every tick) and each channel's period (±1) and volume (must
// agree on at least 99% of ticks). Where libxmp is known to play a case differently from the classic
// tracker, the case is listed in known_divergences with its reason, and its channel state is excused.
#include "sound_internal.h"
#include "testdata.h"

#include <gtest/gtest.h>
#include <xmp.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace {

struct comparison {
    long ticks = 0;
    long flow_mismatch = 0;
    long state_mismatch = 0; // ticks on which any channel's period or volume differs
    std::string first_flow;
    std::string first_state;
};

constexpr long max_ticks = 52L * 60 * 20;

comparison compare_module(const char* path, std::vector<uint8_t> ours, bool verbose) {
    comparison r;
    std::vector<uint8_t> theirs = ours;

    sd_mix_setfunctions();
    sd_mix_init(44100);
    mzx_tickrate = 52;
    EXPECT_EQ(pt_takemod(ours.data(), ours.size()), 1) << pt_errorstr;
    pt_init();

    xmp_context ctx = xmp_create_context();
    EXPECT_EQ(xmp_load_module_from_memory(ctx, theirs.data(), static_cast<long>(theirs.size())), 0);
    xmp_start_player(ctx, 44100, XMP_FORMAT_MONO);
    xmp_set_player(ctx, XMP_PLAYER_MODE, XMP_MODE_PROTRACKER);
    xmp_set_player(ctx, XMP_PLAYER_INTERP, XMP_INTERP_NEAREST);

    pt_tickstate st{};
    static int16_t mixbuf[4096];
    xmp_frame_info fi{};
    for (long t = 0; t < max_ticks; t++) {
        if (xmp_play_frame(ctx) != 0) break;
        xmp_get_frame_info(ctx, &fi);
        if (fi.loop_count > 0) break;
        pt_play();
        pt_getstate(&st);
        // A one-shot sample that has ended is silent for libxmp: read that from the voices as the previous
        // tick left them (unless this tick restarts them), then mix this tick as long as libxmp's.
        for (int c = 0; c < pt_channels; c++) {
            const mix_channel& v = mix_voices[c];
            const bool restarted = mix_channels[c].newstep || mix_channels[c].newpos;
            if (!restarted && v.stepint == 0 && v.stepfrac == 0 && v.posint == 0) st.volume[c] = 0;
            if (mix_channels[c].length == 0) st.volume[c] = 0;
        }
        sd_mix_mono(mixbuf, std::min(fi.buffer_size / 2, 4096), 1);
        r.ticks++;
        char buf[256];
        if (st.order != fi.pos || st.row != fi.row) {
            if (r.flow_mismatch++ == 0) {
                std::snprintf(buf, sizeof buf, "tick %ld: ours %d/%d, libxmp %d/%d frame %d", t, st.order,
                              st.row, fi.pos, fi.row, fi.frame);
                r.first_flow = buf;
            }
            if (verbose && r.flow_mismatch < 10)
                std::printf("%s flow t%ld ours %d/%d xmp %d/%d f%d\n", path, t, st.order, st.row, fi.pos,
                            fi.row, fi.frame);
        }
        bool same = true;
        for (int c = 0; c < pt_channels; c++) {
            const int xp = static_cast<int>((fi.channel_info[c].period + 2048) / 4096);
            const int xv = fi.channel_info[c].volume;
            const bool silent_both = st.volume[c] == 0 && xv == 0;
            if ((!silent_both && std::abs(xp - st.period[c]) > 1) || xv != st.volume[c]) {
                same = false;
                if (verbose && r.state_mismatch < 40)
                    std::printf("%s t%ld %d/%d f%d ch%d ours p%d v%d xmp p%d v%d\n", path, t, fi.pos, fi.row,
                                fi.frame, c, st.period[c], st.volume[c], xp, xv);
                if (r.first_state.empty()) {
                    std::snprintf(
                        buf, sizeof buf,
                        "tick %ld (%d/%d frame %d) channel %d: ours period %d volume %d, libxmp %d %d", t,
                        fi.pos, fi.row, fi.frame, c, st.period[c], st.volume[c], xp, xv);
                    r.first_state = buf;
                }
            }
        }
        if (!same) r.state_mismatch++;
    }
    xmp_end_player(ctx);
    xmp_release_module(ctx);
    xmp_free_context(ctx);
    return r;
}

// Every reference module, listed rather than found, so that a missing file fails its own comparison.
const std::vector<std::string> compliance_modules = {"AmigaLimitsFinetune.mod",
                                                     "ArpWraparound.mod",
                                                     "DelayBreak.mod",
                                                     "InstrDelay.mod",
                                                     "InstrSwapRetrigger.mod",
                                                     "NoteDelay-NextRow.mod",
                                                     "PTInstrSwap.mod",
                                                     "PTInstrVolume.mod",
                                                     "PTRetrigger.mod",
                                                     "PTStoppedSwap.mod",
                                                     "PTSwapEmpty.mod",
                                                     "PTSwapNoLoop.mod",
                                                     "PatLoop-Break.mod",
                                                     "PatternDelaysRetrig.mod",
                                                     "PatternJump.mod",
                                                     "PortaSmpChange.mod",
                                                     "PortaSwapPT.mod",
                                                     "PortaTarget.mod",
                                                     "TempoChange.mod",
                                                     "VibratoReset.mod",
                                                     "finetune.mod",
                                                     "ptoffset.mod"};
const std::vector<std::string> song_modules = {"ZONE-2A.mod",  "blue_damage.mod", "flowerpower.mod",
                                               "ode2ptk.mod",  "ponylips.mod",    "reborning.mod",
                                               "sundance.mod", "zob-the-zob.mod"};

std::vector<std::string> in_folder(const char* folder, const std::vector<std::string>& names) {
    std::vector<std::string> out;
    for (const std::string& n : names) out.push_back(std::string("mod/") + folder + "/" + n);
    return out;
}

// Modules on which libxmp's channel state is known to differ from the classic tracker's, with the reason
// and the agreement we measure (a floor, so that a regression still shows). Order/row flow must agree on
// these too.
struct divergence {
    const char* module;
    double floor; // percent of ticks on which the channel state agrees
    const char* reason;
};
constexpr divergence known_divergences[] = {
    {"ArpWraparound.mod", 33.0,
     "an arpeggio past the top note reads on into the next finetune row (first 0, then C-1); libxmp clamps"},
    {"DelayBreak.mod", 59.0, "E9x restarts a one-shot sample that has ended; libxmp leaves it silent"},
    {"PTRetrigger.mod", 92.0, "E9x restarts a one-shot sample that has ended; libxmp leaves it silent"},
    {"NoteDelay-NextRow.mod", 1.0,
     "a note delayed past the row's end takes effect as a pitch change on the next row; libxmp drops it"},
    {"PatternDelaysRetrig.mod", 81.0,
     "fine slides repeat on every repetition of a delayed row; libxmp slides once"},
    {"PortaSwapPT.mod", 34.0,
     "a sample number next to a tone portamento sets the new finetune for the target at once; libxmp keeps "
     "the "
     "old one"},
    {"InstrDelay.mod", 95.0,
     "a lone sample number swaps the sample in the mixer at once (the mixer's sample change keeps the "
     "position); "
     "the hardware and libxmp wait for the loop end"},
    {"InstrSwapRetrigger.mod", 95.0, "sample swap at once, as for InstrDelay.mod"},
    {"PTStoppedSwap.mod", 5.0, "sample swap at once, as for InstrDelay.mod; an ended voice stays ended"},
    {"PTSwapEmpty.mod", 75.0, "sample swap at once, as for InstrDelay.mod"},
    {"PTSwapNoLoop.mod", 53.0, "sample swap at once, as for InstrDelay.mod"},
};

const divergence* find_divergence(const std::string& name) {
    for (const divergence& d : known_divergences) {
        if (name == d.module) return &d;
    }
    return nullptr;
}

class Compare : public ::testing::TestWithParam<std::string> {};

TEST_P(Compare, FlowAndChannelState) {
    const bool verbose = std::getenv("COMPARE_VERBOSE") != nullptr;
    const std::string& path = GetParam();
    const std::string name = std::filesystem::path(path).filename().string();
    std::vector<uint8_t> module = read_testdata(path);
    if (HasFailure()) return; // missing: read_testdata has named it
    const comparison r = compare_module(path.c_str(), std::move(module), verbose);
    const double agree = r.ticks ? 100.0 * static_cast<double>(r.ticks - r.state_mismatch) / r.ticks : 0;
    std::printf("%-28s ticks %6ld flow mismatches %ld, channel state agrees on %.3f%% of ticks\n",
                name.c_str(), r.ticks, r.flow_mismatch, agree);
    ASSERT_GT(r.ticks, 0);
    EXPECT_EQ(r.flow_mismatch, 0) << r.first_flow;
    const divergence* d = find_divergence(name);
    EXPECT_GE(agree, d ? d->floor : 99.0)
        << r.first_state << (d ? std::string(" (known: ") + d->reason + ")" : "");
}

std::string test_name(const ::testing::TestParamInfo<std::string>& info) {
    std::string n = std::filesystem::path(info.param).stem().string();
    for (char& ch : n) {
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    }
    return n;
}

// A module added to a folder but not to the lists above would never be compared.
TEST(CompareData, EveryModuleInTheFoldersIsListed) {
    const struct {
        const char* folder;
        const std::vector<std::string>& names;
    } sets[] = {{"compliance", compliance_modules}, {"songs", song_modules}};
    for (const auto& [folder, names] : sets) {
        const std::string dir = testdata_path(std::string("mod/") + folder);
        const std::set<std::string> listed(names.begin(), names.end());
        std::error_code err;
        for (const auto& e : std::filesystem::directory_iterator(dir, err)) {
            const std::string name = e.path().filename().string();
            EXPECT_TRUE(e.path().extension() != ".mod" || listed.count(name)) << e.path() << " is not listed";
        }
        EXPECT_FALSE(err) << "cannot list " << dir << ": " << err.message();
    }
}

INSTANTIATE_TEST_SUITE_P(Compliance, Compare,
                         ::testing::ValuesIn(in_folder("compliance", compliance_modules)), test_name);
INSTANTIATE_TEST_SUITE_P(Songs, Compare, ::testing::ValuesIn(in_folder("songs", song_modules)), test_name);

} // namespace
