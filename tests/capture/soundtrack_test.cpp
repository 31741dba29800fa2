// Cutting the mixer's output to the captured frames: the right samples, in order, however the mixer's
// buffers and the frames interleave; and the progress line shown to the user.
#include "progress.h"
#include "soundtrack.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// The mixer's output stands in as sample s = s mod 32768, so any sample out of place shows.
struct mixer_stub {
    int64_t next = 0;
    void produce(soundtrack* st, int count) {
        std::vector<int16_t> buf(count);
        for (int i = 0; i < count; ++i) buf[i] = static_cast<int16_t>((next + i) % 32768);
        next += count;
        st_audio(st, buf.data(), buf.size());
    }
};

bool collect(const int16_t* samples, size_t count, void* ctx) {
    auto* out = static_cast<std::vector<int16_t>*>(ctx);
    out->insert(out->end(), samples, samples + count);
    return true;
}

void expect_run(const std::vector<int16_t>& got, int64_t first, int64_t count) {
    ASSERT_EQ(static_cast<int64_t>(got.size()), count);
    for (int64_t i = 0; i < count; ++i) ASSERT_EQ(got[i], static_cast<int16_t>((first + i) % 32768)) << i;
}

// Plays `frames` frames at fps with the offline driver's rule: buffer j of 2048 samples is mixed as soon
// as the clock reaches its start, and presenting frame k moves the clock to frame k + 1.
void play(soundtrack* st, int fps, int frames, int first_captured, int last_captured) {
    mixer_stub mixer;
    mixer.produce(st, 2048);
    for (int k = 0; k < frames; ++k) {
        st_frame(st, k, k >= first_captured && k <= last_captured);
        while (mixer.next <= frame_sample(k + 1, fps)) mixer.produce(st, 2048);
    }
}

TEST(CaptureSoundtrack, FramesOwnExactlyTheirSamples) {
    EXPECT_EQ(frame_sample(1, 50), 882);
    EXPECT_EQ(frame_sample(7, 60), 5145);
    EXPECT_EQ(frame_sample(3, 240), 551); // 551.25: rounded down, never accumulated
    EXPECT_EQ(frame_sample(240, 240), 44100);

    for (int fps : {1, 7, 50, 60, 240}) {
        std::vector<int16_t> got;
        soundtrack st;
        st_init(&st, fps, collect, &got);
        play(&st, fps, 3 * fps + 5, 0, 3 * fps + 4);
        int64_t padded = -1;
        ASSERT_TRUE(st_finish(&st, &padded));
        EXPECT_EQ(padded, 0);
        expect_run(got, 0, frame_sample(3 * fps + 5, fps));
    }
}

TEST(CaptureSoundtrack, RangeInTheMiddleStartsAtItsFirstFrame) {
    std::vector<int16_t> got;
    soundtrack st;
    st_init(&st, 60, collect, &got);
    play(&st, 60, 400, 123, 250);
    ASSERT_TRUE(st_finish(&st, nullptr));
    expect_run(got, frame_sample(123, 60), frame_sample(251, 60) - frame_sample(123, 60));
    EXPECT_LT(st.pending.size(), 4096u) << "samples nobody owns must not pile up";
}

TEST(CaptureSoundtrack, AudioLaggingBehindFramesAndSilencePadding) {
    // Samples that arrive after their frame are still written in order; if the demo ends before the mixer
    // produced the last frame's share, the rest is silence so the soundtrack lasts as long as the frames.
    std::vector<int16_t> got;
    soundtrack st;
    st_init(&st, 50, collect, &got);
    mixer_stub mixer;
    for (int k = 0; k < 10; ++k) st_frame(&st, k, k >= 2);
    mixer.produce(&st, 1000);
    mixer.produce(&st, 5000);
    int64_t padded = 0;
    ASSERT_TRUE(st_finish(&st, &padded));
    EXPECT_EQ(padded, 10 * 882 - 6000);
    ASSERT_EQ(got.size(), 8u * 882);
    std::vector<int16_t> head(got.begin(), got.begin() + (6000 - 2 * 882));
    expect_run(head, 2 * 882, static_cast<int64_t>(head.size()));
    for (size_t i = head.size(); i < got.size(); ++i) ASSERT_EQ(got[i], 0);
}

bool refuse(const int16_t*, size_t, void* ctx) {
    ++*static_cast<int*>(ctx);
    return false;
}

TEST(CaptureSoundtrack, AFailingSinkIsToldOnceAndStopsEverything) {
    int calls = 0;
    soundtrack st;
    st_init(&st, 50, refuse, &calls);
    play(&st, 50, 20, 0, 19);
    EXPECT_TRUE(st.failed);
    EXPECT_FALSE(st_finish(&st, nullptr));
    EXPECT_EQ(calls, 1);
}

TEST(CaptureProgress, LineFitsAndEstimates) {
    char line[256];
    format_progress(line, sizeof line, 79, 8, 1316, 5231, 0.5, 10.0);
    EXPECT_LE(strlen(line), 79u);
    EXPECT_NE(strstr(line, "section  8/11"), nullptr) << line;
    EXPECT_NE(strstr(line, "13:16"), nullptr) << line;
    EXPECT_NE(strstr(line, "5231"), nullptr) << line;
    EXPECT_NE(strstr(line, " 50%"), nullptr) << line;
    EXPECT_NE(strstr(line, "ETA 0:10"), nullptr) << line;
    format_progress(line, sizeof line, 79, 1, 3, 2, 0.001, 0.1);
    EXPECT_NE(strstr(line, "ETA -:--"), nullptr) << "no estimate from the first frames: " << line;
    for (int width : {0, 10, 40, 200}) {
        format_progress(line, sizeof line, width, 11, 1999, 123456, 1.0, 60);
        EXPECT_LE(strlen(line), static_cast<size_t>(width)) << width;
    }
    char d[16];
    format_duration(d, sizeof d, 59.6);
    EXPECT_STREQ(d, "1:00");
    format_duration(d, sizeof d, 3725);
    EXPECT_STREQ(d, "1:02:05");
    format_duration(d, sizeof d, -1);
    EXPECT_STREQ(d, "-:--");

    // Song positions skip rows 64..99 of every order: 13:63 is next to 14:0.
    EXPECT_EQ(position_rows(1363) + 1, position_rows(1400));
    EXPECT_DOUBLE_EQ(range_fraction(1000, 0, 2000), 0.5);
    EXPECT_DOUBLE_EQ(range_fraction(1432, 1400, 1500), 0.5);
    EXPECT_DOUBLE_EQ(range_fraction(50, 100, 200), 0.0);
    EXPECT_DOUBLE_EQ(range_fraction(300, 100, 200), 1.0);
}

} // namespace
