// pano_effect: warp tables at named pixels, keyed foreground, unsigned wrap-around of the scroll and the
// reference over many positions.
#include "fx.h"
#include "reference.h"
#include "test_picture.h"

#include <gtest/gtest.h>

namespace {

constexpr int kW = 320, kH = 240, kImgW = 982, kImg = kImgW * kH;
constexpr uint32_t kKey = 0x00ABCDEFu;

// Pixel words that tell the layer, image row and image column they came from.
uint32_t back_word(int row, int col) {
    return 0x000000u | static_cast<uint32_t>(row) << 10 | static_cast<uint32_t>(col);
}
uint32_t fore_word(int row, int col) {
    return 0x800000u | static_cast<uint32_t>(row) << 10 | static_cast<uint32_t>(col);
}

struct Images {
    std::vector<uint32_t> back, fore;
    // Foreground: opaque where (row + col) % 3 == 0, else the key colour.
    explicit Images(bool all_key) : back(kImg), fore(kImg) {
        for (int r = 0; r < kH; r++)
            for (int c = 0; c < kImgW; c++) {
                back[r * kImgW + c] = back_word(r, c);
                fore[r * kImgW + c] = !all_key && (r + c) % 3 == 0 ? fore_word(r, c) : kKey;
            }
        fore[0] = kKey;
    }
};

TEST(Pano, ColumnsAndRowsAtNamedPixels) {
    Images img(true); // background only
    EXPECT_EQ(pano_init(img.back.data(), img.fore.data()), 1);
    EXPECT_EQ(tausta, img.back.data());
    EXPECT_EQ(paalline, img.fore.data());
    std::vector<uint32_t> d(kW * kH);
    pano_effect(d.data(), 0);
    // Middle row samples image row 120; columns 847 (left edge), 982 mod 982 = 0 (middle), 1116 - 982.
    EXPECT_EQ(d[120 * kW + 0], back_word(120, 847));
    EXPECT_EQ(d[120 * kW + 160], back_word(120, 0));
    EXPECT_EQ(d[120 * kW + 319], back_word(120, 134));
    for (int j = 0; j < kW; j++) ASSERT_EQ(d[120 * kW + j] >> 10 & 255, 120u) << j;
    // Rows stay within 1..238 and are pulled toward row 120 at the sides.
    for (int i = 0; i < kH; i++)
        for (int j = 0; j < kW; j++) {
            const uint32_t row = d[i * kW + j] >> 10 & 255;
            ASSERT_GE(row, 1u);
            ASSERT_LE(row, 238u);
        }
    EXPECT_LT(d[0 * kW + 160] >> 10 & 255, d[0 * kW + 0] >> 10 & 255);
}

TEST(Pano, KeyColourShowsTheBackgroundWherever) {
    Images img(false);
    pano_init(img.back.data(), img.fore.data());
    std::vector<uint32_t> d(kW * kH);
    pano_effect(d.data(), 12345);
    int fore = 0, back = 0;
    for (uint32_t w : d) {
        ASSERT_NE(w, kKey);
        (w & 0x800000u ? fore : back)++;
    }
    EXPECT_GT(fore, 10000);
    EXPECT_GT(back, 10000);
}

TEST(Pano, ScrollPeriodsAndUnsignedWrap) {
    Images img(false);
    pano_init(img.back.data(), img.fore.data());
    std::vector<uint32_t> a(kW * kH), b(kW * kH);
    pano_effect(a.data(), 100);
    pano_effect(b.data(), 100 + 982);
    EXPECT_EQ(a, b);
    // +491: the foreground (twice the speed) is where it was, the background shifted by 491 columns.
    pano_effect(b.data(), 100 + 491);
    for (int p = 0; p < kW * kH; p++) {
        if (a[p] & 0x800000u) {
            ASSERT_EQ(b[p], a[p]);
        } else if (!(b[p] & 0x800000u)) {
            ASSERT_EQ(b[p] & 1023, ((a[p] & 1023) + 491) % 982);
        }
    }
    // -1 as an unsigned scroll: background column = column table - 1, foreground = column table - 2.
    Images keyed(true);
    pano_init(keyed.back.data(), keyed.fore.data());
    pano_effect(a.data(), static_cast<uint32_t>(-1));
    EXPECT_EQ(a[120 * kW + 0], back_word(120, 846));
    EXPECT_EQ(a[120 * kW + 160], back_word(120, 981));
    // Near 2^32 the sums wrap before the modulo: 4294967295 + 982 wraps to 981.
    pano_effect(a.data(), 4294967295u);
    pano_effect(b.data(), 4294967295u - 982u);
    EXPECT_NE(a, b); // 2^32 is no multiple of 982, so the period breaks at the wrap
}

TEST(Pano, MatchesReference) {
    Images img(false);
    pano_init(img.back.data(), img.fore.data());
    ref::pano_init(img.back.data(), img.fore.data());
    std::vector<uint32_t> want(kW * kH), got(kW * kH);
    // 4294966314 = 2^32 - 982: the background's column sum wraps round 2^32 at the middle column;
    // 2147483157 * 2 = 2^32 - 982: the foreground's does.
    for (uint32_t p : {0u, 1u, 491u, 981u, 5000u, 9999u, 10000u, 2147483157u, 2147483647u, 2147483648u,
                       4294966000u, 4294966314u, 4294967295u}) {
        ref::pano_effect(want.data(), p);
        pano_effect(got.data(), p);
        ASSERT_EQ(got, want) << p;
    }
}

TEST(Pano, MappedColoursDrawTheSameFrameThroughTheMap) {
    // Images of few colours are kept as indices where there is no vector unit: every pixel is then drawn
    // as its colour's word of the map (here each colour's complement), key included. Images of more than
    // 256 colours are not indexed, and the test images have more.
    std::vector<uint32_t> back(kImg), fore(kImg);
    for (int k = 0; k < kImg; k++) {
        back[size_t(k)] = 0x00100000u * static_cast<uint32_t>(k % 7) + static_cast<uint32_t>(k / kImgW % 3);
        fore[size_t(k)] = k % 5 == 0 ? kKey : 0x00000100u * static_cast<uint32_t>(k % 11);
    }
    fore[0] = kKey;
    pano_init(back.data(), fore.data());
    const uint32_t* colours = nullptr;
    const int count = pano_colours(&colours);
    if (count == 0) GTEST_SKIP() << "the images are kept as words here";
    EXPECT_EQ(count, 7 * 3 + 1 + 10);
    std::vector<uint32_t> map(static_cast<size_t>(count)), want(kW * kH), got(kW * kH);
    for (int i = 0; i < count; i++) map[size_t(i)] = ~colours[i];
    for (uint32_t p : {0u, 491u, 4294966314u}) {
        pano_effect(want.data(), p);
        for (uint32_t& w : want) w = ~w;
        pano_effect_mapped(got.data(), p, map.data());
        ASSERT_EQ(got, want) << p;
    }
    Images img(false);
    pano_init(img.back.data(), img.fore.data());
    EXPECT_EQ(pano_colours(&colours), 0);
}

TEST(Pano, RunsAreTheMappedFrameRowByRow) {
    // Images of long runs (up to 350 pixels, longer than a cell counts) and short ones, the foreground
    // keyed in wide and narrow gaps: every row's runs, laid end to end, are the mapped frame's row, and
    // neighbouring runs differ. Where a row's sums wrap round 2^32 there are no runs.
    std::vector<uint32_t> back(kImg), fore(kImg);
    for (int r = 0; r < kH; r++)
        for (int c = 0; c < kImgW; c++) {
            const int k = r * kImgW + c;
            back[size_t(k)] = 0x00010000u * static_cast<uint32_t>(c / (50 + 100 * (r % 4)) % 3);
            const int band = c / (3 + r % 29);
            fore[size_t(k)] = band % 4 == 0 ? 0x00000100u * static_cast<uint32_t>(band % 5) : kKey;
        }
    fore[0] = kKey;
    pano_init(back.data(), fore.data());
    const uint32_t* colours = nullptr;
    const int count = pano_colours(&colours);
    if (count == 0) GTEST_SKIP() << "the images are kept as words here";
    std::vector<uint32_t> map(static_cast<size_t>(count)), frame(kW * kH);
    // Two colours map alike, and one to ~0u, which must start a row's runs as well as any word.
    for (int i = 0; i < count; i++) map[size_t(i)] = i == 1 ? ~0u : colours[i] >> 1;
    std::vector<PanoRun> runs(kW * kH);
    std::vector<int> row_first(kH + 1);
    for (uint32_t p : {0u, 1u, 491u, 981u, 9634u, 2147483000u}) {
        std::fill(runs.begin(), runs.end(), PanoRun{0x12345678u, 7});
        ASSERT_TRUE(pano_runs(p, map.data(), runs.data(), row_first.data())) << p;
        pano_effect_mapped(frame.data(), p, map.data());
        EXPECT_EQ(row_first[0], 0);
        for (int i = 0; i < kH; i++) {
            int x = 0;
            for (int r = row_first[i]; r < row_first[i + 1]; r++) {
                ASSERT_GT(runs[r].end, x) << p << ": row " << i;
                if (r > row_first[i]) {
                    ASSERT_NE(runs[r].word, runs[r - 1].word) << p << ": row " << i;
                }
                for (; x < runs[r].end; x++)
                    ASSERT_EQ(runs[r].word, frame[i * kW + x]) << p << ": " << i << "," << x;
            }
            ASSERT_EQ(x, kW) << p << ": row " << i;
        }
    }
    for (uint32_t p : {4294966314u, 2147483157u})
        EXPECT_FALSE(pano_runs(p, map.data(), runs.data(), row_first.data())) << p;
}

TEST(Pano, GridDrawsOnlyItsPixelsAndThoseAsTheFullFrame) {
    Images img(false);
    pano_init(img.back.data(), img.fore.data());
    std::vector<uint32_t> full(kW * kH);
    struct Grid {
        int step, period;
        uint32_t rows;
    };
    for (uint32_t p : {77u, 4294967295u})
        for (Grid g : {Grid{3, 5, 0b101}, Grid{1, 1, 1}, Grid{7, 32, 0x80000001u}, Grid{320, 2, 0b10},
                       Grid{2, 3, 0}}) {
            pano_effect(full.data(), p);
            std::vector<uint32_t> d(kW * kH, 0x12345678u);
            pano_effect_grid(d.data(), p, g.step, g.period, g.rows);
            for (int i = 0; i < kH; i++)
                for (int j = 0; j < kW; j++) {
                    const bool on = j % g.step == 0 && (g.rows >> (i % g.period) & 1);
                    ASSERT_EQ(d[i * kW + j], on ? full[i * kW + j] : 0x12345678u)
                        << p << " step " << g.step << ": " << i << "," << j;
                }
        }
    // A grid it cannot draw leaves the frame alone.
    std::vector<uint32_t> d(kW * kH, 5);
    for (Grid g : {Grid{0, 5, 1}, Grid{3, 0, 1}, Grid{3, 33, 1}})
        pano_effect_grid(d.data(), 0, g.step, g.period, g.rows);
    EXPECT_EQ(d, std::vector<uint32_t>(kW * kH, 5));
}

} // namespace
