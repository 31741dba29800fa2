// The replayer on small modules built in code: row/order flow and the reported position, and the classic
// tracker's effect behaviour that libxmp does not model (arpeggio wrap, repeated fine slides...).
#include "modbuild.h"
#include "sound_internal.h"

#include <gtest/gtest.h>

namespace {

class Replayer : public ::testing::Test {
  protected:
    test_module mod{2};
    std::vector<uint8_t> bytes;
    pt_tickstate st{};

    void SetUp() override {
        mod.sample(1, {.length = 4096, .finetune = 0, .volume = 48});
        mod.sample(2, {.length = 64, .finetune = 0, .volume = 20, .loopstart = 0, .looplength = 64});
    }
    void load() {
        bytes = mod.bytes();
        sd_mix_setfunctions();
        sd_mix_init(44100);
        mzx_tickrate = 52;
        ASSERT_EQ(pt_takemod(bytes.data(), bytes.size()), 1) << pt_errorstr;
        pt_init();
    }
    // Plays n ticks and returns the state after the last.
    const pt_tickstate& tick(int n = 1) {
        for (int i = 0; i < n; i++) pt_play();
        pt_getstate(&st);
        return st;
    }
    // Plays one tick and says whether channel c was restarted (a new play position written).
    bool restarted(int c) {
        int16_t none[1];
        sd_mix_mono(none, 0, 1); // takes the settings over, clearing the flags
        pt_play();
        pt_getstate(&st);
        return mix_channels[c].newpos != 0;
    }
};

TEST_F(Replayer, RowsOrdersAndReportedPosition) {
    mod.order({0, 1, 0});
    load();
    EXPECT_EQ(pt_position.load(), -37); // before the first tick
    EXPECT_EQ(tick().row, 0);
    EXPECT_EQ(pt_position.load(), 0);
    EXPECT_EQ(pt_firstline, 1);
    tick();
    EXPECT_EQ(pt_firstline, 0);
    tick(4);
    EXPECT_EQ(pt_position.load(), 0); // constant during the row
    tick();
    EXPECT_EQ(pt_position.load(), 1);
    tick(62 * 6);
    EXPECT_EQ(pt_position.load(), 63);
    tick(5);
    EXPECT_EQ(pt_position.load(), 63);
    tick();
    EXPECT_EQ(pt_position.load(), 100);
    tick(64 * 6 * 2);
    EXPECT_EQ(pt_position.load(), 0); // wrapped to the restart order after the last order
}

TEST_F(Replayer, BreakAndJumpReadAsRow63UntilTheNextRow) {
    mod.order({0, 1, 0, 1});
    mod.cell(0, 2, 1, 0, 0, 0xD, 0x12); // break to row 12 (decimal parameter)
    mod.cell(1, 13, 3, 0, 0, 0xB, 3);   // jump to order 3
    load();
    tick(2 * 6 + 1);
    EXPECT_EQ(pt_position.load(), 63);
    EXPECT_EQ(st.row, 2); // the row really being played
    tick(5);
    EXPECT_EQ(pt_position.load(), 63);
    tick();
    EXPECT_EQ(pt_position.load(), 112);
    EXPECT_EQ(pt_position.load() / 100, st.order);
    tick(6);
    EXPECT_EQ(pt_position.load(), 263); // order one below the target, row 63
    EXPECT_EQ(st.order * 100 + st.row, 113);
    tick(6);
    EXPECT_EQ(pt_position.load(), 300);
}

// Out-of-range targets, as the classic tracker (and libxmp in its classic mode) plays them: a break row is
// read as two decimal digits and one above 63 starts the next pattern at row 0; a jump to an order at or
// past the song's end starts the song again from order 0, while the song's own end, also through a break in
// its last order, goes on at the restart order (1 here). The break or jump is at row 1 of the given order,
// so a jump to order 0 comes back to itself.
TEST_F(Replayer, OutOfRangeBreakRowsAndJumpOrders) {
    struct Case {
        int order, cmd, param;
        std::vector<int> next; // order * 100 + row of the three rows played after it
    };
    const Case cases[] = {
        {0, 0xD, 0x62, {162, 163, 200}}, {0, 0xD, 0x63, {163, 200, 201}}, {0, 0xD, 0x64, {100, 101, 102}},
        {0, 0xD, 0x70, {100, 101, 102}}, {0, 0xD, 0x99, {100, 101, 102}}, {0, 0xD, 0x3F, {145, 146, 147}},
        {0, 0xD, 0xFF, {100, 101, 102}}, {2, 0xD, 0x10, {110, 111, 112}}, {2, 0xD, 0x64, {100, 101, 102}},
        {0, 0xB, 0x00, {0, 1, 0}},       {0, 0xB, 0x02, {200, 201, 202}}, {0, 0xB, 0x03, {0, 1, 0}},
        {0, 0xB, 0x05, {0, 1, 0}},       {0, 0xB, 0x7F, {0, 1, 0}},       {0, 0xB, 0x80, {0, 1, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "order " << c.order << ", command " << std::hex << c.cmd << " " << c.param);
        mod = test_module(3);
        SetUp();
        mod.order({0, 1, 2});
        mod.restart(1);
        mod.cell(c.order, 1, 0, 0, 0, c.cmd, c.param);
        load();
        tick(6 * (64 * c.order + 2));
        std::vector<int> next;
        for (int r = 0; r < 3; r++, tick(5)) next.push_back(tick().order * 100 + st.row);
        EXPECT_EQ(next, c.next);
    }
}

TEST_F(Replayer, JumpRightOfBreakCancelsTheBreakRow) {
    mod.order({0, 1});
    mod.cell(0, 0, 0, 0, 0, 0xD, 0x10);
    mod.cell(0, 0, 1, 0, 0, 0xB, 1);
    load();
    tick(7);
    EXPECT_EQ(pt_position.load(), 100);
}

TEST_F(Replayer, PatternLoopAndPatternDelay) {
    mod.cell(0, 1, 0, 0, 0, 0xE, 0x60);
    mod.cell(0, 2, 0, 0, 0, 0xE, 0x62); // rows 1..2 three times
    mod.cell(0, 5, 1, 0, 0, 0xE, 0xE2); // row 5 lasts three rows
    load();
    std::vector<int> rows;
    for (int t = 0; t < 12 * 6; t++) {
        tick();
        if (pt_vbcount == 0) rows.push_back(st.row);
    }
    const std::vector<int> expected = {0, 1, 2, 1, 2, 1, 2, 3, 4, 5, 5, 5};
    EXPECT_EQ(rows, expected);
}

TEST_F(Replayer, SpeedAndTempo) {
    mod.cell(0, 0, 0, 0, 0, 0xF, 3);
    mod.cell(0, 1, 0, 0, 0, 0xF, 0x80);
    load();
    tick(3);
    EXPECT_EQ(tick().row, 1);
    EXPECT_EQ(pt_bpmtempo, 128);
    EXPECT_EQ(pt_vbtempo, 3);
    EXPECT_EQ(mix_ticklength(), 848); // the tempo does not change the tick length
}

TEST_F(Replayer, ArpeggioReadsPastTheTopNoteIntoTheNextFinetuneRow) {
    mod.cell(0, 0, 0, 113, 1, 0x0, 0x12);
    load();
    EXPECT_EQ(tick().period[0], 113);
    EXPECT_EQ(tick().period[0], 0);   // one note above the top: the row's closing 0
    EXPECT_EQ(tick().period[0], 850); // two above: the next finetune's lowest note
    EXPECT_EQ(tick().period[0], 113);
}

TEST_F(Replayer, PortamentoLimits) {
    mod.cell(0, 0, 0, 120, 1, 0x1, 0x05);
    mod.cell(0, 1, 0, 808, 1, 0x2, 0x20);
    load();
    EXPECT_EQ(tick(2).period[0], 115);
    EXPECT_EQ(tick().period[0], 113); // 110 is above the top note
    EXPECT_EQ(tick(4).period[0], 808);
    EXPECT_EQ(tick().period[0], 840);
    EXPECT_EQ(tick().period[0], 856); // 872 is below the lowest note
}

TEST_F(Replayer, TonePortamentoTargetRules) {
    mod.cell(0, 0, 0, 428, 1, 0, 0);
    mod.cell(0, 1, 0, 214, 0, 0x3, 0x01); // slide toward 214 by 1 per tick: ends the row at 423
    mod.cell(0, 2, 0, 428, 1, 0, 0);      // a new note does not forget the target...
    mod.cell(0, 3, 0, 0, 0, 0x3, 0x00);   // ...so this slides on toward 214
    mod.cell(0, 4, 0, 0, 0, 0x3, 0xFF);   // reaches 214 at once: the target is cleared
    mod.cell(0, 5, 0, 0, 0, 0x1, 0x10);   // 214 - 5 * 16
    mod.cell(0, 6, 0, 0, 0, 0x3, 0x00);   // no target: stays
    load();
    EXPECT_EQ(tick(6 + 1).period[0], 428); // tick 0 of row 1: no slide yet
    EXPECT_EQ(tick(5).period[0], 423);
    EXPECT_EQ(tick().period[0], 428);
    EXPECT_EQ(tick(6 + 1).period[0], 427);
    EXPECT_EQ(tick(5 + 2).period[0], 214);
    EXPECT_EQ(tick(4 + 6).period[0], 214 - 80);
    EXPECT_EQ(tick(6).period[0], 214 - 80);
}

TEST_F(Replayer, SampleOffsetIsAddedTwice) {
    mod.cell(0, 0, 0, 428, 1, 0x9, 0x01);
    mod.cell(0, 1, 0, 428, 0, 0x0, 0x00);
    load();
    ASSERT_TRUE(restarted(0));
    EXPECT_EQ(mix_channels[0].posint, 256u);
    tick(5);
    ASSERT_TRUE(restarted(0));
    EXPECT_EQ(mix_channels[0].posint, 512u); // the note without a sample number starts at twice the offset
}

TEST_F(Replayer, RetriggerNoteDelayAndNoteCut) {
    mod.cell(0, 0, 0, 428, 1, 0xE, 0x93);
    mod.cell(0, 1, 0, 428, 1, 0xE, 0xD2);
    mod.cell(0, 2, 0, 0, 0, 0xE, 0xC3);
    load();
    const std::vector<bool> retrig = {false, false, false, true, false, false};
    for (int t = 0; t < 6; t++) {
        const bool r = restarted(0);
        if (t > 0) {
            EXPECT_EQ(r, retrig[t]) << "tick " << t;
        }
    }
    const std::vector<bool> delayed = {false, false, true, false, false, false};
    for (int t = 0; t < 6; t++) EXPECT_EQ(restarted(0), delayed[t]) << "tick " << t;
    EXPECT_EQ(tick(3).volume[0], 48);
    EXPECT_EQ(tick().volume[0], 0); // cut at tick 3
}

TEST_F(Replayer, FineSlidesRepeatOnEveryRepetitionOfADelayedRow) {
    mod.cell(0, 0, 0, 428, 1, 0, 0);
    mod.cell(0, 1, 0, 0, 0, 0xE, 0x12);
    mod.cell(0, 1, 1, 0, 0, 0xE, 0xE2);
    load();
    tick(6 + 6 * 3);
    EXPECT_EQ(st.period[0], 428 - 3 * 2);
}

TEST_F(Replayer, VolumeCommands) {
    mod.cell(0, 0, 0, 428, 1, 0xC, 0x50); // above 64: 64
    mod.cell(0, 1, 0, 0, 0, 0xA, 0x40);   // slide up 4 per tick, clamped
    mod.cell(0, 2, 0, 0, 0, 0xA, 0x03);   // slide down 3 per tick
    mod.cell(0, 3, 0, 0, 0, 0xE, 0xB5);   // fine slide down 5, once
    mod.cell(0, 4, 0, 0, 0, 0xA, 0x0F);   // down to 0, clamped
    mod.cell(0, 5, 0, 0, 2, 0x0, 0x00);   // a lone sample number restores the sample's volume
    load();
    EXPECT_EQ(tick(6).volume[0], 64);
    EXPECT_EQ(tick(6).volume[0], 64);
    EXPECT_EQ(tick(6).volume[0], 64 - 15);
    EXPECT_EQ(tick(6).volume[0], 64 - 20);
    EXPECT_EQ(tick(6).volume[0], 0);
    EXPECT_EQ(tick().volume[0], 20);
}

TEST_F(Replayer, VibratoSkipsTheFirstTickOfTheRow) {
    mod.cell(0, 0, 0, 428, 1, 0x4, 0x8F);
    mod.cell(0, 1, 0, 0, 0, 0x4, 0x00);
    load();
    EXPECT_EQ(tick().period[0], 428);
    EXPECT_EQ(tick().period[0], 428);      // position 0: sine 0
    EXPECT_EQ(tick().period[0], 428 + 21); // position 32: sine 180 * depth 15 >> 7
}

TEST_F(Replayer, SampleNumbersAbove31AreIgnored) {
    mod.cell(0, 0, 0, 428, 1, 0, 0);
    mod.cell(0, 1, 0, 428, 40, 0, 0);
    load();
    tick(7);
    EXPECT_EQ(mix_channels[0].sample, 1u);
    EXPECT_EQ(st.volume[0], 48);
}

} // namespace
