// flarez over the generated test portrait: the two portrait frames, the timed blends, sprites added
// with saturation and clipping, and the reference over the whole sequence.
#include "fx.h"
#include "reference.h"
#include "sine.h"
#include "test_picture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr int kW = 320, kPixels = 76800;

// The reference keeps reading the portrait it was given, so it lives for the whole run.
const std::vector<uint8_t>& test_portrait() {
    static const std::vector<uint8_t> p = [] {
        std::vector<uint8_t> v(256 * 256);
        for (int i = 0; i < 256 * 256; i++) v[size_t(i)] = test_grey(i / 256, i % 256);
        return v;
    }();
    return p;
}

uint32_t portrait_colour(int row, int col) {
    return 0x5F0006u + (static_cast<uint32_t>(test_grey(row, col) / 3) << 8);
}

class Flare : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        init_flare_from(test_portrait().data());
        ref::init_flare(test_portrait().data());
    }
    std::vector<uint32_t> frame(int t, uint32_t fill = 0) {
        std::vector<uint32_t> d(kPixels, fill);
        flarez(d.data(), t);
        return d;
    }
};

TEST_F(Flare, EarlyFramesShowTheSmallPortrait) {
    const auto d = frame(0, 0x12345678u);
    // 128x128 at (96, 56); each pixel keeps the odd row and odd column of its 2x2 block.
    EXPECT_EQ(d[56 * kW + 96], portrait_colour(1, 1));
    EXPECT_EQ(d[(56 + 10) * kW + 96 + 20], portrait_colour(21, 41));
    EXPECT_EQ(d[(56 + 127) * kW + 96 + 127], portrait_colour(255, 255));
    EXPECT_EQ(d[55 * kW + 100], 0u);
    EXPECT_EQ(d[56 * kW + 95], 0u);
    EXPECT_EQ(d[(56 + 128) * kW + 100], 0u);
    EXPECT_EQ(d[60 * kW + 96 + 128], 0u);
    EXPECT_EQ(frame(63), d);
    EXPECT_EQ(frame(64, 0xFFFFFFFFu), d); // morph at level 0
    EXPECT_EQ(frame(-5), d);
}

TEST_F(Flare, LargePortraitAndTheMorph) {
    const auto large = frame(564, 0xFFFFFFFFu); // flash-back at level 0: the large portrait alone
    // 171x171 at (75, 35); later source pixels replace earlier ones.
    EXPECT_EQ(large[35 * kW + 75], portrait_colour(1, 1));
    EXPECT_EQ(large[205 * kW + 245], portrait_colour(255, 255));
    EXPECT_EQ(large[34 * kW + 100], 0u);
    EXPECT_EQ(large[100 * kW + 74], 0u);
    EXPECT_EQ(large[206 * kW + 100], 0u);
    EXPECT_EQ(large[100 * kW + 246], 0u);
    const auto small = frame(0);
    std::vector<uint32_t> want(kPixels);
    for (int t : {65, 100, 127}) {
        cross_fade(small.data(), large.data(), want.data(), kPixels, 4 * (t - 64));
        EXPECT_EQ(frame(t, 0xFFFFFFFFu), want) << t;
    }
}

TEST_F(Flare, SpritesAddWithSaturationAndKeepTheTopByte) {
    // t = 300: no blend. Every channel only grows; the top byte is untouched; blue and red saturate
    // where bright sprites overlap a bright background.
    const uint32_t fill = 0x7FF0A0F8u;
    const auto d = frame(300, fill);
    bool grew = false;
    for (uint32_t w : d) {
        ASSERT_EQ(w >> 24, 0x7Fu);
        ASSERT_GE(w >> 16 & 255, 0xF0u);
        ASSERT_GE(w >> 8 & 255, 0xA0u);
        ASSERT_GE(w & 255, 0xF8u);
        grew |= w != fill;
    }
    EXPECT_TRUE(grew);
}

TEST_F(Flare, MatchesReferenceOverTheSequence) {
    std::vector<uint32_t> want(kPixels), got(kPixels);
    for (int t = 0; t < 1400; t += (t < 760 ? 3 : 41)) {
        const auto start = random_frame(kPixels, 50 + t, t % 2 == 1);
        want = got = start;
        ref::flarez(want.data(), t);
        flarez(got.data(), t);
        ASSERT_EQ(got, want) << "t " << t;
    }
}

TEST_F(Flare, LateTimesStayDefined) {
    // Far beyond the sequence the spread stays at 1000; no overflow of the spread arithmetic.
    const auto a = frame(2000000000), b = frame(2000000001);
    EXPECT_NE(a, std::vector<uint32_t>(kPixels, 0));
    (void)b;
}

// The sprites' own sine: within 4e-16 of the library's (which is within half a unit in the last place of
// the true value) over the waves' arguments, negative ones and the quadrant edges; the sprites' places are
// checked against the library's through the reference above.
TEST(Sine, AgreesWithTheLibraryToTheLastBits) {
    double worst = 0;
    auto check = [&](double x) {
        worst =
            std::max({worst, std::fabs(sine::sin(x) - std::sin(x)), std::fabs(sine::cos(x) - std::cos(x))});
    };
    for (int k = -4000; k <= 4000; k++) {
        check(k * 0.125);
        check(k * 1.5707963267948966); // next to the multiples of pi/2
        check(k * 0.7853981633974483); // next to the quadrant edges
    }
    for (int i = 0; i < 1024; i++) check(i * (1 / 2.2) + 1300 * (1.0 / 43));
    EXPECT_LE(worst, 4e-16);
    EXPECT_EQ(sine::sin(0.0), 0.0);
    EXPECT_EQ(sine::cos(0.0), 1.0);
}

} // namespace
