// The caption bitmap and the lettering renderer: every band's ink stays where the demo can show
// it whole, and the renderer fits, aligns and anti-aliases as laid out.
#include "lettering.h"
#include "picture_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr int kSide = 256;

struct Ink {
    int first = kSide, last = -1, top = kBandRows, bottom = -1;
    int full = 0, partial = 0; // pixels at coverage 255 / between 1 and 254
    int width() const { return last - first + 1; }
    int middle() const { return (first + last) / 2; }
};

Ink measure(const uint8_t* band) {
    Ink ink;
    for (int y = 0; y < kBandRows; ++y) {
        for (int x = 0; x < kBandWidth; ++x) {
            uint8_t v = band[y * kBandWidth + x];
            if (!v) continue;
            ink.first = std::min(ink.first, x);
            ink.last = std::max(ink.last, x);
            ink.top = std::min(ink.top, y);
            ink.bottom = std::max(ink.bottom, y);
            (v == 255 ? ink.full : ink.partial)++;
        }
    }
    return ink;
}

class CommittedCaptions : public ::testing::Test {
  protected:
    void SetUp() override {
        bitmap = read_committed("tekstit.raw");
        ASSERT_EQ(bitmap.size(), size_t(kSide * kSide));
    }
    Ink band(int b) const { return measure(bitmap.data() + b * kBandRows * kBandWidth); }
    std::vector<uint8_t> bitmap;
};

TEST_F(CommittedCaptions, RowsBelowTheSixBandsAreEmpty) {
    for (int p = 144 * kSide; p < kSide * kSide; ++p) ASSERT_EQ(bitmap[p], 0) << "row " << p / kSide;
}

TEST_F(CommittedCaptions, EveryBandIsInkedWholeAndAntiAliased) {
    for (int b = 0; b < kBandCount; ++b) {
        Ink ink = band(b);
        ASSERT_GE(ink.last, 0) << "band " << b << " is blank";
        // Blank first and last rows: no letter was cut by the band edge or runs into its neighbour.
        EXPECT_GT(ink.top, 0) << "band " << b;
        EXPECT_LT(ink.bottom, kBandRows - 1) << "band " << b;
        EXPECT_GT(ink.full, 0) << "band " << b;
        EXPECT_GT(ink.partial, ink.full / 4) << "band " << b << " has hard edges";
    }
}

TEST_F(CommittedCaptions, BandsFitWhereTheDemoDrawsThem) {
    // Title: centred on the screen from x = 125 and repeated 78 columns apart in the ticker, so its
    // ink must stay well inside the first 78 columns with a gap between copies.
    Ink title = band(0);
    EXPECT_GE(title.first, 0);
    EXPECT_LE(title.width(), 70);
    EXPECT_LE(title.last, 73);
    EXPECT_NEAR(title.middle(), 35, 3);
    // Subtitle drawn from x = 65: centred on screen column 160, band column 95.
    Ink subtitle = band(1);
    EXPECT_NEAR(subtitle.middle(), 95, 3);
    EXPECT_LE(subtitle.width(), 190);
    // Three lines drawn at x = 6: left-aligned, within the screen.
    for (int b = 2; b <= 4; ++b) {
        Ink line = band(b);
        EXPECT_LE(line.first, 2) << "band " << b;
        EXPECT_LE(line.last, 250) << "band " << b;
        EXPECT_GT(line.width(), 120) << "band " << b;
    }
    // Closing words drawn from x = 120: centred on the screen at band column 40.
    Ink closing = band(5);
    EXPECT_NEAR(closing.middle(), 40, 3);
    EXPECT_LE(closing.width(), 82);
}

TEST(Lettering, ShippedTextsUseOnlyKnownGlyphs) {
    for (const BandLayout& b : kCaptionBands) EXPECT_TRUE(lettering_supported(b.text)) << b.text;
    EXPECT_FALSE(lettering_supported("sea?"));
    EXPECT_FALSE(lettering_supported("SEA"));
    EXPECT_TRUE(lettering_supported(""));
}

TEST(Lettering, ShrinksTooWideTextToItsBudget) {
    static uint8_t band[kBandWidth * kBandRows];
    BandLayout wide = {"waves fold the last light in", 14.0, 1.2, 16.0, true, 0, 0, 90};
    int width = render_band(wide, band);
    Ink ink = measure(band);
    EXPECT_EQ(width, ink.width());
    EXPECT_LE(width, 90);
    EXPECT_GT(width, 80) << "shrunk far more than needed";
    EXPECT_EQ(ink.first, 0);
}

TEST(Lettering, AlignsLeftOrCentresTheInk) {
    static uint8_t band[kBandWidth * kBandRows];
    BandLayout left = {"sea", 12.0, 1.2, 16.0, true, 20, 0, 200};
    int width = render_band(left, band);
    Ink ink = measure(band);
    EXPECT_EQ(ink.first, 20);
    EXPECT_EQ(ink.width(), width);

    BandLayout centred = {"sea", 12.0, 1.2, 16.0, false, 0, 128, 200};
    render_band(centred, band);
    Ink mid = measure(band);
    EXPECT_EQ(mid.width(), width) << "placement moves ink by whole columns only";
    EXPECT_NEAR(mid.middle(), 128, 1);
}

TEST(Lettering, BlankTextClearsTheBand) {
    static uint8_t band[kBandWidth * kBandRows];
    std::memset(band, 7, sizeof band);
    BandLayout blank = {"   ", 12.0, 1.2, 16.0, true, 0, 0, 200};
    EXPECT_EQ(render_band(blank, band), 0);
    for (uint8_t v : band) ASSERT_EQ(v, 0);
}

TEST(Lettering, LargerLetteringCoversMore) {
    static uint8_t band[kBandWidth * kBandRows];
    BandLayout small = {"tide", 8.0, 1.2, 16.0, true, 0, 0, 250};
    BandLayout large = {"tide", 14.0, 1.2, 16.0, true, 0, 0, 250};
    render_band(small, band);
    Ink a = measure(band);
    long sum_a = 0;
    for (uint8_t v : band) sum_a += v;
    render_band(large, band);
    Ink b = measure(band);
    long sum_b = 0;
    for (uint8_t v : band) sum_b += v;
    EXPECT_GT(b.width(), a.width());
    EXPECT_LT(b.top, a.top); // taller letters reach higher above the shared baseline
    // Ink grows roughly with the square of the size: (14/8)^2 ~ 3.
    EXPECT_GT(sum_b, 2 * sum_a);
    EXPECT_LT(sum_b, 4 * sum_a);

    BandLayout heavy = large;
    heavy.pen = 1.8;
    render_band(heavy, band);
    long sum_heavy = 0;
    for (uint8_t v : band) sum_heavy += v;
    EXPECT_GT(sum_heavy, sum_b * 5 / 4) << "a broader pen lays down more ink";
}

} // namespace
