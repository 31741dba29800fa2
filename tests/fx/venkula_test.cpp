// venkula: lattice and lens tables at named pixels, the mask-then-halve order, and the reference on
// random frames for many times and both lens settings.
#include "fx.h"
#include "reference.h"
#include "test_picture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr int kW = 320, kPixels = 76800;

// Scroll of the lattice at a time, as venkula computes it.
void scroll(int time, int& g, int& m) {
    const double t = time;
    g = static_cast<int>(t + 5000 * std::sin(t * 0.0016666666666666668));
    m = static_cast<int>(100 * std::cos(t * 0.04524886877828054));
}

// Mask word of lattice cell (row, column) and whether it halves the mirror pixel.
uint32_t cell_mask(int row, int col) {
    const int f = (row - 128) * (row - 128) + (col - 128) * (col - 128);
    return f <= 9700 ? 0xFFFFFFFFu : f <= 10000 ? 0xC0C0C0C0u : 0;
}
bool cell_shades(int row, int col) {
    return (row - 128) * (row - 128) + (col - 128) * (col - 128) >= 9200;
}

TEST(Venkula, BlackSourceGivesBlack) {
    venkula_init(1200, 280);
    const std::vector<uint32_t> src(kPixels, 0);
    std::vector<uint32_t> d(kPixels, 0x55555555u);
    venkula(1234, d.data(), src.data());
    EXPECT_EQ(d, src);
}

TEST(Venkula, CentreAndAxisPixelsHaveNoLensOffset) {
    // Both lie in the bottom half: halved by their mirror's cell first, then masked by their own.
    // Centre (0, 0): offsets 0; mirror (-1, -1): D = int(1200 - sqrt(200)) = 1185, offsets -4 and -4.
    // Axis (120, 0): D = 0, offsets 0; mirror (-121, -1): D = int(1200 - 1210.04) = -10,
    // column offset -10 * -121 / 280 = 4, row offset 0.
    venkula_init(1200, 280);
    const std::vector<uint32_t> src(kPixels, 0xFFFFFFFFu);
    std::vector<uint32_t> d(kPixels);
    for (int time : {0, 1, 77, 600, 9999}) {
        venkula(time, d.data(), src.data());
        int g, m;
        scroll(time, g, m);
        const int row = (3 * m) & 255, col = g & 255;
        const uint32_t centre_in = cell_shades((3 * m - 4) & 255, (g - 4) & 255) ? 0x7F7F7Fu : 0xFFFFFFFFu;
        EXPECT_EQ(d[120 * kW + 160], centre_in & cell_mask(row, col)) << time;
        const uint32_t axis_in = cell_shades(row, (g + 4) & 255) ? 0x7F7F7Fu : 0xFFFFFFFFu;
        EXPECT_EQ(d[120 * kW + 280], axis_in & cell_mask(row, col)) << time;
        if (time == 0) {
            // g = 0, m = 100: cell (44, 0), f = 128^2 + 84^2 = 23440, outside the holes: black.
            EXPECT_EQ(g, 0);
            EXPECT_EQ(m, 100);
            EXPECT_EQ(d[120 * kW + 160], 0u);
        }
    }
}

TEST(Venkula, MaskBeforeHalveAboveTheMiddleHalveBeforeMaskBelow) {
    // Uniform source 0xFFFFFFFF: the rim mask then a halving gives 0x60 per channel (top byte 0);
    // a halving then the rim mask gives 0x40. Both must occur for the rim cells of the two halves.
    venkula_init(1200, 280);
    const std::vector<uint32_t> src(kPixels, 0xFFFFFFFFu);
    std::vector<uint32_t> want(kPixels), got(kPixels);
    bool seen_top = false, seen_bottom = false;
    for (int time = 0; time < 2000 && !(seen_top && seen_bottom); time += 37) {
        venkula(time, got.data(), src.data());
        for (int p = 0; p < kPixels; p++) {
            if (p < kPixels / 2 && got[p] == 0x00606060u) seen_top = true;
            if (p >= kPixels / 2 && got[p] == 0x00404040u) seen_bottom = true;
            ASSERT_NE(got[p], p < kPixels / 2 ? 0x00404040u : 0x00606060u) << "order wrong at " << p;
        }
    }
    EXPECT_TRUE(seen_top);
    EXPECT_TRUE(seen_bottom);
}

TEST(Venkula, ExplicitPixelAgainstHandComputedCell) {
    // Pixel (x, y) = (10, -20) from the centre, lens (1200, 280): D = int(1200 - sqrt(100 * 500)) = 976,
    // column offset 976 * 10 / 280 = 34, row offset 976 * -20 / 280 = -69 (truncated toward zero).
    venkula_init(1200, 280);
    const int p = (120 - 20) * kW + 160 + 10, q = kPixels - 1 - p;
    // Mirror pixel (-11, 19) from the centre: D = int(1200 - sqrt(100 * 482)) = 980,
    // offsets 980 * -11 / 280 = -38 and 980 * 19 / 280 = 66.
    const auto src = random_frame(kPixels, 21, true);
    std::vector<uint32_t> d(kPixels);
    for (int time : {0, 3, 250, 4000}) {
        venkula(time, d.data(), src.data());
        int g, m;
        scroll(time, g, m);
        const int pr = (3 * m - 69) & 255, pc = (g + 34) & 255;
        const int qr = (3 * m + 66) & 255, qc = (g - 38) & 255;
        uint32_t a = src[p] & cell_mask(pr, pc);
        if (cell_shades(qr, qc)) a = (a >> 1) & 0x7F7F7F;
        EXPECT_EQ(d[p], a) << time;
        uint32_t b = src[q];
        if (cell_shades(pr, pc)) b = (b >> 1) & 0x7F7F7F;
        EXPECT_EQ(d[q], b & cell_mask(qr, qc)) << time;
    }
}

TEST(Venkula, DivisorZeroKeepsThePreviousLens) {
    const auto src = random_frame(kPixels, 24, true);
    std::vector<uint32_t> want(kPixels), got(kPixels);
    ref::venkula_init(1200, 280);
    ref::venkula(55, want.data(), src.data());
    venkula_init(1200, 280);
    venkula_init(900, 0);
    venkula(55, got.data(), src.data());
    EXPECT_EQ(got, want);
}

TEST(Venkula, EveryChangeOfTheLensSettingsIsMade) {
    // A lens is kept only while both settings stay the same; a divisor of 0 keeps the previous one.
    const auto src = random_frame(kPixels, 26, true);
    std::vector<uint32_t> want(kPixels), got(kPixels);
    const std::pair<int, int> steps[] = {{1200, 280}, {1200, 280}, {1200, 180}, {500, 180},
                                         {500, 280},  {500, 0},    {-300, 7},   {500, 280}};
    for (auto [depth, divisor] : steps) {
        venkula_init(depth, divisor);
        if (divisor != 0) ref::venkula_init(depth, divisor);
        for (int time : {40, 3001}) {
            ref::venkula(time, want.data(), src.data());
            venkula(time, got.data(), src.data());
            ASSERT_EQ(got, want) << depth << "/" << divisor << " t " << time;
        }
    }
}

TEST(Venkula, MatchesReferenceOverTimeAndInPlace) {
    const auto src = random_frame(kPixels, 25, true);
    std::vector<uint32_t> want(kPixels), got(kPixels);
    for (auto [depth, divisor] : {std::pair{1200, 280}, std::pair{500, 180}}) {
        venkula_init(depth, divisor);
        ref::venkula_init(depth, divisor);
        for (int time = -500; time < 20000; time += 373) {
            ref::venkula(time, want.data(), src.data());
            venkula(time, got.data(), src.data());
            ASSERT_EQ(got, want) << depth << " t " << time;
        }
        got = src; // destination equal to the source
        ref::venkula(999, want.data(), src.data());
        venkula(999, got.data(), got.data());
        ASSERT_EQ(got, want);
    }
}

TEST(Venkula, CoverageTellsWhatTheMaskDoesToEachPixel) {
    // Each pixel's byte gives its masked value for any source without a top byte: black for 0, masked by
    // the byte in all three channels, halved first below 0x80. Noise reaches every class of cell pair.
    auto noise = random_frame(kPixels, 26, true);
    for (uint32_t& w : noise) w &= 0x00FFFFFFu;
    std::vector<uint32_t> masked(kPixels);
    std::vector<uint8_t> covered(kPixels);
    for (auto [depth, divisor] : {std::pair{1200, 280}, std::pair{500, 180}}) {
        venkula_init(depth, divisor);
        for (int time : {-77, 0, 1234, 9999}) {
            venkula_coverage(time, covered.data());
            venkula(time, masked.data(), noise.data());
            int shown = 0, halved = 0;
            for (int p = 0; p < kPixels; p++) {
                const uint32_t b = covered[p], s = noise[p];
                ASSERT_EQ(masked[p], (b >= 0x80 ? s : s >> 1) & (b * 0x010101u))
                    << "t " << time << " pixel " << p;
                shown += b != 0;
                halved += b != 0 && b < 0x80;
            }
            EXPECT_GT(shown, kPixels / 3);
            EXPECT_LT(shown, kPixels * 2 / 3);
            EXPECT_GT(halved, 0);
        }
    }
}

} // namespace
