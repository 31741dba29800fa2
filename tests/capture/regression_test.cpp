// Regression table of the whole demo: frames at probe positions in every section and the complete
// soundtrack, hashed at 50 fps, must match the table below. A change to any picture or sound fails here.
// When a change is intended, regenerate the table in one step and say why in the commit:
//   build/tools/capture/capture --digest > tests/capture/regression_table.inc
#include "digest.h"

#include <gtest/gtest.h>

namespace {

#include "regression_table.inc"

constexpr int kTableSize = sizeof kExpectedProbes / sizeof kExpectedProbes[0];

TEST(CaptureRegression, WholeDemoMatchesTheTable) {
    digest_result got;
    std::string err;
    ASSERT_TRUE(digest_demo(&got, &err)) << err;
    ASSERT_EQ(kTableSize, kProbeCount) << "the table is from another probe list: regenerate it";
    int changed = 0;
    for (int i = 0; i < kProbeCount; ++i) {
        const digest_entry& want = kExpectedProbes[i];
        const digest_entry& have = got.probes[i];
        EXPECT_EQ(have.position, want.position);
        EXPECT_EQ(have.section, want.section) << "probe at song position " << want.position;
        EXPECT_EQ(have.frame, want.frame) << "probe at song position " << want.position << ": timing changed";
        if (have.hash != want.hash) {
            ++changed;
            ADD_FAILURE() << "picture changed at song position " << want.position << " (section "
                          << have.section << ", frame " << have.frame << ")";
        }
    }
    EXPECT_EQ(got.frames, kExpectedFrames) << "the demo's length in frames changed";
    EXPECT_EQ(got.samples, kExpectedSamples) << "the soundtrack's length changed";
    EXPECT_EQ(got.audio_hash, kExpectedAudioHash) << "the soundtrack changed";
    if (changed > 0 || got.audio_hash != kExpectedAudioHash) {
        printf(
            "Current table (if the change is intended, store it in tests/capture/regression_table.inc):\n");
        print_digest(stdout, &got);
    }
}

// Every section owns at least one probe, so no section can change unnoticed.
TEST(CaptureRegression, ProbesCoverEverySection) {
    bool seen[12] = {};
    for (const digest_entry& e : kExpectedProbes)
        if (e.section >= 1 && e.section <= 11) seen[e.section] = true;
    for (int s = 1; s <= 11; ++s) EXPECT_TRUE(seen[s]) << "section " << s << " has no probe";
}

TEST(CaptureRegression, HashesSeeEveryByteOfAFrame) {
    static uint32_t frame[320 * 240];
    uint64_t blank = hash_frame(frame);
    EXPECT_EQ(blank, hash_frame(frame));
    // The top byte is always 0 in a frame, but a stray write there is a fault to catch too.
    for (int at : {0, 319, 320 * 240 - 1}) {
        for (uint32_t bit : {1u, 1u << 8, 1u << 16, 1u << 24}) {
            frame[at] ^= bit;
            EXPECT_NE(hash_frame(frame), blank) << at << " " << bit;
            frame[at] ^= bit;
        }
    }
    const int16_t a[2] = {1, 256}, b[2] = {256, 1};
    EXPECT_NE(hash_samples(kFnvOffset, a, 2), hash_samples(kFnvOffset, b, 2));
    // Hashing in pieces equals hashing at once, so buffer sizes never change the table.
    EXPECT_EQ(hash_samples(hash_samples(kFnvOffset, a, 1), a + 1, 1), hash_samples(kFnvOffset, a, 2));
}

} // namespace
