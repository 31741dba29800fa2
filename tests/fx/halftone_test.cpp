// halftone: the dot profile and ramp on a frame that holds a single dot, levels and gains, clipping,
// the footprint of the dot grid and the reference on random frames.
#include "fx.h"
#include "reference.h"
#include "test_picture.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

constexpr int kW = 320, kH = 240;

// A 4x4 frame holds exactly one dot, at (0, 0): its lower-right quarter, profile rows and columns 3..6:
//   21 106 192 277 / 106 142 212 291 / 192 212 262 -- / 277 291 -- --
std::vector<uint32_t> single_dot(uint32_t source00, int gain, uint32_t dest_fill) {
    halftone_init(4, 4);
    auto src = random_frame(16, 41);
    src[0] = source00;
    std::vector<uint32_t> d(16, dest_fill);
    halftone(d.data(), src.data(), gain);
    return d;
}

TEST(Halftone, WhiteDotProfileAndRamp) {
    const uint32_t W = 0x00FFFFFF, X = 0x00EAEAEA, Y = 0x00BDBDBD, Z = 0x00939393; // 234, 189, 147
    const std::vector<uint32_t> want = {W, W, W, Y, W, W, W, Z, W, W, X, 0, Y, Z, 0, 0};
    EXPECT_EQ(single_dot(0x00FFFFFF, 255, 0), want);
    // The level table saturates: 218 * 300 >= 65280.
    EXPECT_EQ(single_dot(0x00DADADA, 300, 0), want);
}

TEST(Halftone, PartialLevelAddsRampWithSaturation) {
    // Level 100: t = 21 < 100 -> 255; t = 106 -> ramp[6] = 237; 142 -> ramp[42] = 129; 192 and up:
    // beyond 100 + 85, unchanged. Destination channels start at 0x50; the top byte stays.
    const auto d = single_dot(0x00646464, 255, 0xAB505050);
    EXPECT_EQ(d[0], 0xABFFFFFFu);
    EXPECT_EQ(d[1], 0xABFFFFFFu); // 0x50 + 237 saturates
    EXPECT_EQ(d[5], 0xABD1D1D1u); // 0x50 + 129 = 209
    EXPECT_EQ(d[2], 0xAB505050u);
    EXPECT_EQ(d[15], 0xAB505050u); // outside the dot
}

TEST(Halftone, ChannelsAreIndependentAndLevelsBelowFourDrawNothing) {
    // Blue 3 (level 3): nothing; green 4: only the centre pixel (21 < 4 fails, 21 < 4 + 85 -> ramp[17]);
    // red 255: the full dot.
    const auto d = single_dot(0x00FF0403, 255, 0);
    for (uint32_t w : d) EXPECT_EQ(w & 255, 0u);
    EXPECT_EQ(d[0] >> 8 & 255, static_cast<uint32_t>(256 * (85 - 17) / 85));
    EXPECT_EQ(d[1] >> 8 & 255, 0u); // 106 >= 4 + 85
    EXPECT_EQ(d[0] >> 16, 255u);
    // Gain 0 draws nothing at all; so does a negative gain.
    EXPECT_EQ(single_dot(0x00FFFFFF, 0, 0), std::vector<uint32_t>(16, 0));
    EXPECT_EQ(single_dot(0x00FFFFFF, -255, 0), std::vector<uint32_t>(16, 0));
}

TEST(Halftone, DotAveragesOnlySamplesInsideTheFrame) {
    // The dot at (0, 0) reads only source pixel (0, 0): the rest of the source is random above.
    EXPECT_EQ(single_dot(0, 255, 0), std::vector<uint32_t>(16, 0));
    // A 7x6 frame has dots at (0, 0), (6, 0) and (3, 5); the last averages (0, 2), (3, 2), (0, 5) and
    // (3, 5): (0 + 252 + 0 + 252) / 4 = 126 in blue. Its pixel (1, 5) has threshold 192: ramp[66] = 57.
    halftone_init(7, 6);
    std::vector<uint32_t> src(42, 0);
    src[2 * 7 + 3] = src[5 * 7 + 3] = 0x000000FC;
    std::vector<uint32_t> d(42, 0);
    halftone(d.data(), src.data(), 255);
    EXPECT_EQ(d[5 * 7 + 3], 0x000000FFu);
    EXPECT_EQ(d[5 * 7 + 1], 57u);
    EXPECT_EQ(d[5 * 7 + 0], 0u);
    EXPECT_EQ(d[0], 0u);
}

TEST(Halftone, BlackSourceLeavesDestinationAndOnlyDotFootprintsAreWritten) {
    halftone_init(kW, kH);
    const std::vector<uint32_t> black(kW * kH, 0);
    auto d = random_frame(kW * kH, 42, true);
    const auto before = d;
    halftone(d.data(), black.data(), 255);
    EXPECT_EQ(d, before);

    // Footprint of the grid: pixels whose offset from some dot centre is in the profile.
    std::vector<bool> covered(kW * kH, false);
    for (int y = 0, line = 0; y < kH; y += 5, line++)
        for (int x = line % 2 ? 3 : 0; x < kW; x += 6)
            for (int r = -3; r <= 3; r++)
                for (int c = -3; c <= 3; c++)
                    if (r * r + c * c <= 12 && y + r >= 0 && y + r < kH && x + c >= 0 && x + c < kW)
                        covered[(y + r) * kW + x + c] = true;
    const std::vector<uint32_t> white(kW * kH, 0x00FFFFFF);
    std::vector<uint32_t> e(kW * kH, 0);
    halftone(e.data(), white.data(), 255);
    for (int p = 0; p < kW * kH; p++) ASSERT_EQ(e[p] != 0, covered[p]) << p;
}

TEST(Halftone, MatchesReferenceAlsoOntoBlack) {
    // Heights around the 5-row dot spacing: a last row below every dot (5, 10), a last line reaching
    // past the frame (4, 9), one line only (1, 4, 5).
    for (auto [w, h] : {std::pair{kW, kH}, std::pair{31, 17}, std::pair{1, 1}, std::pair{6, 200},
                        std::pair{7, 5}, std::pair{13, 4}, std::pair{5, 9}, std::pair{12, 10}}) {
        halftone_init(w, h);
        ref::halftone_init(w, h);
        const auto src = random_frame(static_cast<size_t>(w) * h, 43);
        // Smooth source too, so that large levels and edges of the ramp occur.
        std::vector<uint32_t> smooth(static_cast<size_t>(w) * h);
        for (int i = 0; i < w * h; i++)
            smooth[i] = static_cast<uint32_t>(i % w * 255 / w) * 0x010101u ^ (i / w & 255);
        for (const std::vector<uint32_t>* s : {&src, const_cast<const std::vector<uint32_t>*>(&smooth)})
            for (int gain : {0, 1, 100, 180, 255, 260}) {
                auto want = random_frame(static_cast<size_t>(w) * h, 44, true), got = want;
                ref::halftone(want.data(), s->data(), gain);
                halftone(got.data(), s->data(), gain);
                ASSERT_EQ(got, want) << w << "x" << h << " gain " << gain;
                want.assign(want.size(), 0);
                ref::halftone(want.data(), s->data(), gain);
                halftone_fill(got.data(), s->data(), gain); // got still holds the frame drawn onto
                ASSERT_EQ(got, want) << w << "x" << h << " gain " << gain << " onto black";
                // Onto black a dot line's rows y - 1 and y + 1 are the same (the halftone scene blurs one).
                for (int y = 5; y + 1 < h; y += 5)
                    ASSERT_TRUE(std::equal(want.begin() + (y - 1) * w, want.begin() + y * w,
                                           want.begin() + (y + 1) * w))
                        << w << "x" << h << " row " << y + 1;
            }
    }
}

} // namespace
