// Regression table of the whole demo: every frame at 50 fps and the samples each frame owns must hash as the
// table below says. A change to any picture or sound fails here, naming each section that changed with its
// first changed frame. When a change is intended, regenerate the table in one step and say why in the
// commit:
//   build/tools/capture/capture --digest > tests/capture/regression_table.inc
#include "digest.h"

#include <gtest/gtest.h>

#include <set>

namespace {

#include "regression_table.inc"

constexpr int64_t kTableRows = sizeof kExpectedHashes / sizeof kExpectedHashes[0];
constexpr int kSamplesPerFrame = 44100 / kDigestFps;

TEST(CaptureRegression, EveryFrameAndItsSoundMatchTheTable) {
    ASSERT_EQ(kTableRows, kExpectedFrames) << "the table is damaged: regenerate it";
    digest_result got;
    std::string err;
    ASSERT_TRUE(digest_demo(&got, &err)) << err;
    EXPECT_EQ(static_cast<int64_t>(got.frames.size()), kExpectedFrames)
        << "the demo's length in frames changed";
    EXPECT_EQ(got.samples, kExpectedSamples) << "the soundtrack's length changed";
    ASSERT_EQ(got.sections.size(), std::size(kExpectedSections));
    bool changed = false;
    for (size_t i = 0; i < got.sections.size(); ++i) {
        const digest_section &want = kExpectedSections[i], &have = got.sections[i];
        const int s = want.section;
        EXPECT_EQ(have.section, s);
        EXPECT_EQ(have.first_frame, want.first_frame) << "section " << s << " starts on another frame";
        EXPECT_EQ(have.frames, want.frames) << "section " << s << " lasts another number of frames";
        EXPECT_EQ(have.position, want.position) << "section " << s << " starts at another song position";
        const char* what[2] = {"picture", "sound"};
        for (int kind = 0; kind < 2; ++kind) {
            const int end = std::min(want.first_frame + want.frames, static_cast<int>(got.frames.size()));
            for (int f = want.first_frame; f < end; ++f) {
                const digest_frame& fr = got.frames[static_cast<size_t>(f)];
                if ((kind == 0 ? fr.picture : fr.sound) == kExpectedHashes[f][kind]) continue;
                changed = true;
                ADD_FAILURE() << "section " << s << ": the " << what[kind] << " changed from frame " << f
                              << " on (song position " << fr.position << ", frame " << f - want.first_frame
                              << " of the section"
                              << (kind == 1
                                      ? ", samples from " + std::to_string(int64_t{f} * kSamplesPerFrame)
                                      : std::string())
                              << ")";
                break;
            }
        }
        if (!changed) {
            EXPECT_EQ(have.picture, want.picture) << "section " << s << ": the table is damaged";
            EXPECT_EQ(have.sound, want.sound) << "section " << s << ": the table is damaged";
        }
    }
    if (changed) {
        printf("If the change is intended, regenerate the table:\n"
               "  build/tools/capture/capture --digest > tests/capture/regression_table.inc\n");
    }
}

// Each lane step is a bijection, so a change confined to one word can never be missed; this checks every
// bit of every word over runs that end in each possible partial round of the lanes, and whole frames.
TEST(CaptureRegression, HashesSeeEverySingleBitChange) {
    for (size_t n : {1, 16, 17, 37}) {
        std::vector<uint32_t> words(n);
        for (size_t i = 0; i < n; ++i) words[i] = static_cast<uint32_t>(i * 0x01010101u);
        std::set<uint64_t> seen = {hash_words(words.data(), n)};
        for (uint32_t& w : words) {
            for (int bit = 0; bit < 32; ++bit) {
                w ^= 1u << bit;
                seen.insert(hash_words(words.data(), n));
                w ^= 1u << bit;
            }
        }
        EXPECT_EQ(seen.size(), 1 + 32 * n) << n << " words";
        words.push_back(0);
        EXPECT_EQ(seen.count(hash_words(words.data(), n + 1)), 0u) << "a longer run hashes alike";
    }
    static uint32_t frame[320 * 240];
    std::set<uint64_t> seen = {hash_frame(frame)};
    for (int at : {0, 1, 17, 320 * 120 + 160, 320 * 240 - 1}) {
        for (int bit = 0; bit < 32; ++bit) {
            frame[at] ^= 1u << bit;
            seen.insert(hash_frame(frame));
            frame[at] ^= 1u << bit;
        }
    }
    EXPECT_EQ(seen.size(), 1u + 5 * 32);

    std::vector<int16_t> samples(kSamplesPerFrame);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(i * 37);
    std::set<uint64_t> heard = {hash_samples(samples.data(), samples.size())};
    for (int16_t& s : samples) {
        for (int bit = 0; bit < 16; ++bit) {
            s = static_cast<int16_t>(s ^ (1 << bit));
            heard.insert(hash_samples(samples.data(), samples.size()));
            s = static_cast<int16_t>(s ^ (1 << bit));
        }
    }
    EXPECT_EQ(heard.size(), 1 + 16 * samples.size());
}

// Each frame's sound hash covers exactly its own samples, however the soundtrack cutter hands them over.
TEST(CaptureRegression, SoundIsHashedPerFrameHoweverTheSamplesArrive) {
    std::vector<int16_t> track(3 * kSamplesPerFrame);
    for (size_t i = 0; i < track.size(); ++i) track[i] = static_cast<int16_t>(i * 7919);
    digest_result whole, pieces;
    digest_init(&whole);
    digest_init(&pieces);
    digest_audio(track.data(), track.size(), &whole);
    size_t at = 0;
    for (size_t n : {1, 880, 2, 1000, 763}) {
        digest_audio(track.data() + at, n, &pieces);
        at += n;
    }
    ASSERT_EQ(at, track.size());
    ASSERT_EQ(whole.sound.size(), 3u);
    EXPECT_EQ(pieces.sound, whole.sound);
    for (size_t f = 0; f < 3; ++f)
        EXPECT_EQ(whole.sound[f], hash_samples(track.data() + f * kSamplesPerFrame, kSamplesPerFrame)) << f;
    EXPECT_EQ(whole.samples, static_cast<int64_t>(track.size()));
}

} // namespace
