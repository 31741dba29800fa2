// The software mixer: gain, step and loop arithmetic, the take-over of settings, clamping, the audio
// callback's tick carry-over (checked against a plain tick-by-tick render of the same module), and the
// whole mixer against a plain one that applies the same rules a sample at a time.
#include "modbuild.h"
#include "sound_internal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

class Mixer : public ::testing::Test {
  protected:
    int8_t data[64];
    int16_t out[64];

    void SetUp() override {
        sd_mix_setfunctions();
        sd_mix_init(44100);
        sd_setmainvolume(64);
        sd_setactivechannels(4);
        for (int i = 0; i < 64; i++) data[i] = static_cast<int8_t>(i + 1); // byte i holds i + 1
    }
    // Channel 0 plays slot 1 at one byte per output sample.
    void play(uint32_t length, uint32_t loopstart, uint32_t loopend, int looped, int volume = 1) {
        sd_getsample(1, data, length, loopstart, loopend, looped);
        sd_selectchannel(0);
        sd_setsample(1);
        sd_setvolume(volume);
        sd_setoffset(0);
        mix_channels[0].stepint = 1;
        mix_channels[0].stepfrac = 0;
        mix_channels[0].newstep = 1;
    }
    // Output divided by the gain of volume 1 at main volume 64 (((1 * 255 * 64) >> 7) / 63 = 2).
    std::vector<int> bytes(int n) {
        sd_mix_mono(out, n, 1);
        std::vector<int> v;
        for (int k = 0; k < n; k++) v.push_back(out[k] / 2);
        return v;
    }
};

TEST_F(Mixer, GainIsComputedInUnsignedIntegers) {
    play(64, 0, 0, 0, 64);
    sd_mix_mono(out, 1, 1);
    EXPECT_EQ(out[0], 2 * 129); // advanced to byte 1 (value 2) before the first sample is taken
    sd_setmainvolume(300);
    EXPECT_EQ(sd_mix_mainvolume, 252);
    sd_setmainvolume(253);
    EXPECT_EQ(sd_mix_mainvolume, 252);
    sd_setmainvolume(252);
    EXPECT_EQ(sd_mix_mainvolume, 252);
    sd_setvolume(64);
    sd_mix_mono(out, 1, 1);
    EXPECT_EQ(out[0], 3 * ((64u * 255u * 252u >> 7) / 63u));
}

TEST_F(Mixer, AmigaPeriodStep) {
    sd_selectchannel(2);
    sd_setamigaperiod(428);
    EXPECT_EQ(mix_channels[2].stepint, 0u);
    EXPECT_EQ(mix_channels[2].stepfrac, 807083520u); // 0.1879138... of a byte, top 24 bits
    EXPECT_EQ(mix_channels[2].stepfrac & 0xFF, 0u);
    sd_setamigaperiod(40);
    EXPECT_EQ(mix_channels[2].stepint, 2u); // 3546836 / 40 / 44100 = 2.01...
    mix_channels[2].newstep = 0;
    sd_setamigaperiod(0);
    EXPECT_EQ(mix_channels[2].stepint, 0u);
    EXPECT_EQ(mix_channels[2].stepfrac, 0u);
    EXPECT_EQ(mix_channels[2].newstep, 1u);
}

TEST_F(Mixer, LoopContinuesAtLoopStartPlusOne) {
    play(16, 4, 8, 1);
    const std::vector<int> expected = {2, 3, 4, 5, 6, 7, 8, 9, 6, 7, 8, 9, 6};
    EXPECT_EQ(bytes(13), expected); // byte 8 (the loop end) is played, then 5
}

TEST_F(Mixer, LoopEndingAtTheEndOfTheDataReadsTheLoopStartInstead) {
    play(8, 4, 8, 1);
    const std::vector<int> expected = {2, 3, 4, 5, 6, 7, 8, 5, 6, 7, 8, 5};
    EXPECT_EQ(bytes(12), expected); // position 8 lies past the data: byte 4 stands in
}

TEST_F(Mixer, OneShotEndsAndThenPlaysItsFirstByte) {
    play(4, 0, 0, 0);
    const std::vector<int> first = {2, 3, 4, 1, 1, 1};
    EXPECT_EQ(bytes(6), first); // the gain of the call is kept after the end
    EXPECT_EQ(mix_voices[0].volume, 0u);
    EXPECT_EQ(mix_voices[0].stepint, 0u);
    const std::vector<int> next = {1, 1, 1}; // volume back from the settings, position and step stay 0
    EXPECT_EQ(bytes(3), next);
}

// The two corners where a voice that stops or stands still must still follow the position rules.
TEST_F(Mixer, StoppedOrStandingVoicesKeepThePositionRules) {
    // A one-shot voice that ends keeps the fraction of the step that reached the end: given the step
    // 1.5 again, it goes on from 0.5 (bytes 2, 3), not from 0 (bytes 1, 3).
    play(4, 0, 0, 0);
    mix_channels[0].stepfrac = 0x80000000u;
    EXPECT_EQ(bytes(4), (std::vector<int>{2, 4, 1, 1})); // 1.5, 3.0, then 4.5 ends the sample
    EXPECT_EQ(mix_voices[0].posint, 0u);
    EXPECT_EQ(mix_voices[0].posfrac, 0x80000000u);
    mix_channels[0].stepint = 1;
    mix_channels[0].stepfrac = 0x80000000u;
    mix_channels[0].newstep = 1;
    EXPECT_EQ(bytes(2), (std::vector<int>{3, 4}));

    // A looping voice whose step is 0 and which stands past its loop end (a sample swapped in under a
    // playing position) continues at the loop start + 1 like any other looping position.
    play(64, 0, 0, 0);
    EXPECT_EQ(bytes(20).back(), 21);
    sd_getsample(2, data, 32, 4, 8, 1);
    sd_setsample(2);
    sd_setamigaperiod(0);
    EXPECT_EQ(bytes(3), (std::vector<int>{6, 6, 6}));
    EXPECT_EQ(mix_voices[0].posint, 5u);
}

TEST_F(Mixer, SilentChannelDoesNotAdvance) {
    play(64, 0, 0, 0);
    EXPECT_EQ(bytes(3), (std::vector<int>{2, 3, 4}));
    sd_setvolume(0);
    EXPECT_EQ(bytes(5), (std::vector<int>{0, 0, 0, 0, 0}));
    sd_setvolume(1);
    EXPECT_EQ(bytes(2), (std::vector<int>{5, 6}));
}

TEST_F(Mixer, SettingsTakeOverKeepsPositionAndStepUnlessWritten) {
    play(64, 0, 0, 0);
    bytes(4);
    sd_getsample(2, data + 32, 16, 0, 0, 0);
    sd_setsample(2); // new data, same position
    EXPECT_EQ(bytes(2), (std::vector<int>{32 + 6, 32 + 7}));
    sd_setoffset(1);
    EXPECT_EQ(bytes(1), (std::vector<int>{32 + 3}));
    mix_channels[0].stepint = 5; // written without the flag: ignored
    EXPECT_EQ(bytes(1), (std::vector<int>{32 + 4}));
}

TEST_F(Mixer, OffsetBeyondLoopEndOrLength) {
    sd_getsample(1, data, 32, 4, 8, 1);
    sd_selectchannel(0);
    sd_setsample(1);
    mix_channels[0].newpos = 0;
    mix_channels[0].posint = 3;
    sd_setoffset(12); // past the loop end: plays once
    EXPECT_EQ(mix_channels[0].looped, 0u);
    EXPECT_EQ(mix_channels[0].posint, 12u);
    sd_setsample(1);
    mix_channels[0].newpos = 0;
    sd_setoffset(40); // not below the length: nothing else changes
    EXPECT_EQ(mix_channels[0].looped, 0u);
    EXPECT_EQ(mix_channels[0].posint, 12u);
    EXPECT_EQ(mix_channels[0].newpos, 0u);
    sd_setsample(1);
    sd_setoffset(8); // at the loop end: still looped
    EXPECT_EQ(mix_channels[0].looped, 1u);
}

TEST_F(Mixer, OutputIsClampedNotScaled) {
    for (int8_t& b : data) b = 127;
    sd_getsample(1, data, 64, 0, 0, 0);
    for (int c = 0; c < 4; c++) {
        sd_selectchannel(c);
        sd_setsample(1);
        sd_setvolume(64);
        sd_setamigaperiod(428);
    }
    sd_mix_mono(out, 4, 1);
    EXPECT_EQ(out[0], 32767);
    for (int8_t& b : data) b = -128;
    sd_mix_mono(out, 4, 1);
    EXPECT_EQ(out[0], -32768);
    sd_selectchannel(1);
    sd_setvolume(0);
    sd_selectchannel(2);
    sd_setvolume(0);
    sd_selectchannel(3);
    sd_setvolume(0);
    sd_mix_mono(out, 1, 1);
    EXPECT_EQ(out[0], -128 * 129);
}

TEST_F(Mixer, OnlyActiveChannelsAreMixed) {
    sd_setactivechannels(1);
    sd_getsample(1, data, 64, 0, 0, 0);
    sd_selectchannel(1);
    sd_setsample(1);
    sd_setvolume(64);
    sd_setamigaperiod(428);
    sd_mix_mono(out, 4, 1);
    EXPECT_EQ(out[3], 0);
}

// The callback against a render that mixes tick by tick: same samples, same number of ticks.
TEST(MixerCallback, TickCarryOverMatchesAPlainTickByTickRender) {
    test_module mod;
    mod.sample(1, {.length = 1000, .finetune = 0, .volume = 64, .loopstart = 100, .looplength = 800});
    mod.cell(0, 0, 0, 0, 0, 0xF, 0x1F); // 31 ticks a row: pt_vbcount counts the ticks played
    for (int r = 0; r < 64; r++) mod.cell(0, r, 1, 214 + (r % 5) * 20, 1, 0x0, r % 2 ? 0x37 : 0);
    std::vector<uint8_t> a = mod.bytes(), b = mod.bytes();
    constexpr int ticks = 24;
    std::vector<int16_t> reference(ticks * 848);

    sd_mix_setfunctions();
    sd_mix_init(44100);
    sd_setmainvolume(64);
    mzx_tickrate = 52;
    ASSERT_EQ(pt_takemod(a.data(), a.size()), 1);
    pt_init();
    for (int t = 0; t < ticks; t++) {
        pt_play();
        sd_mix_mono(reference.data() + t * 848, 848, 1);
    }

    sd_mix_init(44100);
    sd_setmainvolume(64);
    ASSERT_EQ(pt_takemod(b.data(), b.size()), 1);
    pt_init();
    mix_pending = 0;
    std::vector<int16_t> heard(ticks * 848 + 2048);
    mix_newhand(nullptr, reinterpret_cast<uint8_t*>(heard.data()), 4096);
    EXPECT_EQ(pt_vbcount, 2); // three ticks: row 0's tick 0, then ticks 1 and 2
    EXPECT_EQ(mix_pending, 3 * 848 - 2048);
    mix_newhand(nullptr, reinterpret_cast<uint8_t*>(heard.data() + 2048), 4096);
    EXPECT_EQ(pt_vbcount, 4);
    EXPECT_EQ(mix_pending, 5 * 848 - 2 * 2048);
    for (int k = 2; k * 2048 < ticks * 848; k++) {
        mix_newhand(nullptr, reinterpret_cast<uint8_t*>(heard.data() + k * 2048), 4096);
    }
    for (size_t i = 0; i < reference.size(); i++) ASSERT_EQ(heard[i], reference[i]) << "sample " << i;
}

TEST(MixerCallback, TickLengthFollowsTheTickRate) {
    mzx_tickrate = 52;
    EXPECT_EQ(mix_ticklength(), 848);
    mzx_tickrate = 50;
    EXPECT_EQ(mix_ticklength(), 882);
    mzx_tickrate = 0; // not allowed: treated as the slowest rate whose tick fits in one buffer
    EXPECT_EQ(mix_ticklength(), 2004);
    mzx_tickrate = 52;
}

// The mixer's rules one sample at a time, on copies of the settings and voices.
std::vector<int16_t> plain_mix(int n, std::vector<mix_channel>& set, std::vector<mix_channel>& voice,
                               int channels, int main_volume, bool sixteen) {
    std::vector<int32_t> sum(n, 0);
    for (int c = 0; c < channels; c++) {
        mix_channel& v = voice[c];
        const mix_channel kept = v;
        v = set[c];
        if (set[c].newpos) {
            set[c].newpos = 0;
        } else {
            v.posint = kept.posint, v.posfrac = kept.posfrac;
        }
        if (set[c].newstep) {
            set[c].newstep = 0;
        } else {
            v.stepint = kept.stepint, v.stepfrac = kept.stepfrac;
        }
        v.newpos = v.newstep = 0;
    }
    for (int c = 0; c < channels; c++) {
        mix_channel& v = voice[c];
        if (v.length == 0 || v.volume == 0 || v.data == nullptr) continue;
        const int32_t gain =
            static_cast<int32_t>(((v.volume * 255u * static_cast<uint32_t>(main_volume)) >> 7) / 63u);
        const uint32_t restart = v.loopstart + 1 < v.length ? v.loopstart + 1 : v.loopstart;
        uint64_t pos = uint64_t{v.posint} << 32 | v.posfrac;
        uint64_t step = uint64_t{v.stepint} << 32 | v.stepfrac;
        const bool standing = step == 0 && v.posint < v.length;
        if (standing && v.looped && v.posint > v.loopend) pos = uint64_t{restart} << 32 | v.posfrac;
        bool ended = false;
        for (int k = 0; k < n; k++) {
            int value;
            if (standing) {
                value = v.data[pos >> 32];
            } else if (v.looped) {
                pos += step;
                if ((pos >> 32) > v.loopend) pos = uint64_t{restart} << 32 | (pos & 0xFFFFFFFFu);
                const uint32_t p = static_cast<uint32_t>(pos >> 32);
                value = v.data[p < v.length ? p : v.loopstart];
            } else if (!ended && (pos += step) < uint64_t{v.length} << 32) {
                value = v.data[pos >> 32];
            } else {
                if (!ended) pos &= 0xFFFFFFFFu, step = 0, v.volume = 0;
                ended = true;
                value = v.data[0];
            }
            sum[k] += value * gain;
        }
        v.posint = static_cast<uint32_t>(pos >> 32), v.posfrac = static_cast<uint32_t>(pos);
        v.stepint = static_cast<uint32_t>(step >> 32), v.stepfrac = static_cast<uint32_t>(step);
    }
    std::vector<int16_t> out(n);
    auto* out8 = reinterpret_cast<uint8_t*>(out.data());
    for (int k = 0; k < n; k++) {
        const int32_t s = std::clamp(sum[k], -32768, 32767);
        if (sixteen)
            out[k] = static_cast<int16_t>(s);
        else
            out8[k] = static_cast<uint8_t>((s >> 8) + 128);
    }
    return out;
}

// Random voices over the cases the mixer treats apart: steps below 1/16, 1/16..1/4 and up to a byte,
// whole bytes; loops short and long, ending inside, at or past the end of the data, of one byte; one-shots
// ending; standing voices; gains past 16 bits; every channel count; calls of many lengths.
TEST(MixerOracle, MatchesAPlainSampleBySampleMixer) {
    std::mt19937 rng(11);
    auto pick = [&](uint32_t lo, uint32_t hi) {
        return std::uniform_int_distribution<uint32_t>(lo, hi)(rng);
    };
    std::vector<int8_t> bytes(6000);
    for (int8_t& b : bytes) b = static_cast<int8_t>(pick(0, 255));
    sd_mix_setfunctions();
    for (int round = 0; round < 300; round++) {
        sd_mix_init(44100);
        const int channels = static_cast<int>(pick(1, 32));
        sd_setactivechannels(channels);
        sd_setmainvolume(round % 50 == 7 ? -3 : static_cast<int>(pick(0, 252)));
        auto shuffle_voice = [&](int c) {
            mix_channel& ch = mix_channels[c];
            const uint32_t length = pick(0, 9) == 0 ? pick(1, 4)
                                    : pick(0, 1)    ? pick(5, 300)
                                                    : pick(300, 5000);
            ch.data = bytes.data() + pick(0, 5999 - length);
            ch.length = length;
            ch.looped = pick(0, 3) != 0;
            ch.loopstart = pick(0, length - 1);
            const uint32_t shape = pick(0, 3);
            ch.loopend = shape == 0   ? length
                         : shape == 1 ? ch.loopstart + pick(0, 3)
                                      : pick(ch.loopstart, length + 20);
            ch.volume = pick(0, 20) == 0 ? pick(20000, 70000) : pick(0, 64);
            const uint32_t kind = pick(0, 5);
            ch.stepint = kind == 5 ? pick(1, 3) : 0;
            ch.stepfrac = kind == 0   ? pick(0, 1u << 28)
                          : kind == 1 ? pick((1u << 28) + 1, 1u << 30)
                          : kind == 4 ? 0
                                      : pick(0, 0xFFFFFFFFu);
            ch.posint = pick(0, 5) == 0 ? pick(0, length + 40) : pick(0, length - 1);
            ch.posfrac = pick(0, 0xFFFFFFFFu);
            ch.newpos = ch.newstep = pick(0, 3) != 0;
        };
        for (int c = 0; c < 32; c++) shuffle_voice(c);
        for (int call = 0; call < 6; call++) {
            const int n = call == 5 && round % 30 == 0
                              ? mix_buffer_samples
                              : static_cast<int>(pick(0, 1) ? pick(1, 40) : pick(41, 2100));
            const bool sixteen = pick(0, 7) != 0;
            std::vector<mix_channel> set(mix_channels, mix_channels + 32), voice(mix_voices, mix_voices + 32);
            const std::vector<int16_t> want = plain_mix(n, set, voice, channels, sd_mix_mainvolume, sixteen);
            std::vector<int16_t> got(n);
            sd_mix_mono(got.data(), n, sixteen);
            // 16-bit samples, or as many 8-bit ones in the first n bytes
            const auto* g = reinterpret_cast<const uint8_t*>(got.data());
            const auto* w = reinterpret_cast<const uint8_t*>(want.data());
            ASSERT_EQ(std::vector<uint8_t>(g, g + (sixteen ? 2 : 1) * n),
                      std::vector<uint8_t>(w, w + (sixteen ? 2 : 1) * n))
                << "round " << round << " call " << call << " n " << n;
            for (int c = 0; c < channels; c++) {
                const mix_channel &a = mix_voices[c], &b = voice[c];
                ASSERT_EQ(std::tie(a.posint, a.posfrac, a.stepint, a.stepfrac, a.volume),
                          std::tie(b.posint, b.posfrac, b.stepint, b.stepfrac, b.volume))
                    << "round " << round << " call " << call << " voice " << c;
            }
            if (pick(0, 1)) shuffle_voice(static_cast<int>(pick(0, static_cast<uint32_t>(channels) - 1)));
        }
    }
}

} // namespace
