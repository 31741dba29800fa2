// horiz_maf and vert_maf: edge darkening, window shapes, rectangles and the reference on random frames.
#include "fx.h"
#include "reference.h"
#include "test_picture.h"

#include <gtest/gtest.h>

namespace {

constexpr int kW = 320, kH = 240, kPixels = kW * kH;

class Maf : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        init_maf();
        ref::init_maf();
    }
};

// Sum of v / n over the window of output x, with pixels outside 0..len-1 contributing nothing.
uint32_t window_sum(const std::vector<uint32_t>& line, int x, int n) {
    const int k = n / 2;
    uint32_t out = 0;
    for (int ch = 0; ch < 3; ch++) {
        uint32_t s = 0;
        for (int i = x - (n - k) + 1; i <= x + k; i++)
            if (i >= 0 && i < static_cast<int>(line.size())) s += ((line[i] >> (8 * ch)) & 255) / n;
        out |= s << (8 * ch);
    }
    return out;
}

// Runs of a few colours, as the demo's posterised pictures have: runs of 1 to 40 pixels, some colours
// alike but for the top byte, and stretches where single pixels alternate.
std::vector<uint32_t> posterised_frame(size_t words, uint32_t seed) {
    static constexpr uint32_t kColours[] = {0x00000000u, 0x00EE8800u, 0xFFEE8800u, 0x00FFFFFFu,
                                            0x01020304u, 0x00885500u, 0x00FF0000u, 0x7F000001u};
    std::mt19937 rng(seed);
    std::vector<uint32_t> v;
    while (v.size() < words) {
        const uint32_t c = kColours[rng() % 8], run = rng() % 4 ? 1 + rng() % 40 : 8;
        for (uint32_t i = 0; i < run; i++) v.push_back(run == 8 && i % 2 ? kColours[(rng() % 8)] : c);
    }
    v.resize(words);
    return v;
}

TEST_F(Maf, UniformRowEdgesDarken) {
    const std::vector<uint32_t> white(kPixels, 0x00FFFFFFu);
    std::vector<uint32_t> d(kPixels);
    horiz_maf(white.data(), d.data(), 0, 0, 0, 0, kW, kH, kW, kH, 2); // window x .. x+1
    EXPECT_EQ(d[5 * kW + 0], 0x00FEFEFEu);
    EXPECT_EQ(d[5 * kW + 318], 0x00FEFEFEu);
    EXPECT_EQ(d[5 * kW + 319], 0x007F7F7Fu);
    horiz_maf(white.data(), d.data(), 0, 0, 0, 0, kW, kH, kW, kH, 3); // x-1 .. x+1
    EXPECT_EQ(d[0], 0x00AAAAAAu);
    EXPECT_EQ(d[1], 0x00FFFFFFu);
    EXPECT_EQ(d[318], 0x00FFFFFFu);
    EXPECT_EQ(d[319], 0x00AAAAAAu);
    horiz_maf(white.data(), d.data(), 0, 0, 0, 0, kW, kH, kW, kH, 4); // x-1 .. x+2: 63 * 4 = 252
    EXPECT_EQ(d[0], 0x00BDBDBDu);
    EXPECT_EQ(d[1], 0x00FCFCFCu);
    EXPECT_EQ(d[318], 0x00BDBDBDu);
    EXPECT_EQ(d[319], 0x007E7E7Eu);
}

TEST_F(Maf, VerticalWindow110OnUniformColumn) {
    const std::vector<uint32_t> src(kPixels, 0x00FF80C8u);
    std::vector<uint32_t> d(kPixels);
    vert_maf(src.data(), d.data(), 0, 0, 0, 0, kW, kH, kW, kH, 110);
    const uint32_t full = 110u * (255 / 110) << 16 | 110u * (128 / 110) << 8 | 110u * (200 / 110);
    for (int c : {0, 77, 319}) {
        for (int y = 54; y < 240 - 55; y++) ASSERT_EQ(d[y * kW + c], full) << y;
        // row 53 lacks one row above, row 185 one row below
        EXPECT_EQ(d[53 * kW + c], 109u * 2 << 16 | 109u * 1 << 8 | 109u * 1);
        EXPECT_EQ(d[185 * kW + c], 109u * 2 << 16 | 109u * 1 << 8 | 109u * 1);
        EXPECT_EQ(d[0 * kW + c], 56u * 2 << 16 | 56u * 1 << 8 | 56u * 1);   // rows 0 .. 55
        EXPECT_EQ(d[239 * kW + c], 55u * 2 << 16 | 55u * 1 << 8 | 55u * 1); // rows 185 .. 239
    }
}

TEST_F(Maf, WindowZeroIsBlack) {
    const auto src = random_frame(kPixels, 12);
    std::vector<uint32_t> d(kPixels, 0xABCDEFu);
    horiz_maf(src.data(), d.data(), 0, 0, 0, 0, kW, kH, kW, kH, 0);
    EXPECT_EQ(d, std::vector<uint32_t>(kPixels, 0));
    d.assign(kPixels, 0xABCDEFu);
    vert_maf(src.data(), d.data(), 0, 0, 0, 0, kW, kH, kW, kH, 0);
    EXPECT_EQ(d, std::vector<uint32_t>(kPixels, 0));
}

TEST_F(Maf, OnlyTheRectangleIsReadAndWritten) {
    constexpr int pitch = 40, rows = 30;
    auto src = random_frame(pitch * rows, 13);
    const uint32_t poison = 0x00FFFFFFu;
    // Outside the source rectangle (x 5..24, y 4..19) the source is white: any read of it shows.
    for (int y = 0; y < rows; y++)
        for (int x = 0; x < pitch; x++)
            if (x < 5 || x >= 25 || y < 4 || y >= 20) src[y * pitch + x] = poison;
    for (auto filter : {horiz_maf, vert_maf})
        for (int n : {1, 2, 5, 16}) {
            std::vector<uint32_t> d(pitch * rows, 0x01020304u);
            filter(src.data(), d.data(), 5, 4, 12, 9, 20, 16, pitch, rows, n);
            for (int y = 0; y < rows; y++)
                for (int x = 0; x < pitch; x++) {
                    const bool inside = x >= 12 && x < 32 && y >= 9 && y < 25;
                    if (!inside) {
                        ASSERT_EQ(d[y * pitch + x], 0x01020304u) << x << "," << y;
                        continue;
                    }
                    // Recompute the output from the rectangle alone.
                    std::vector<uint32_t> line;
                    const bool h = filter == horiz_maf;
                    const int len = h ? 20 : 16, pos = h ? x - 12 : y - 9;
                    for (int i = 0; i < len; i++)
                        line.push_back(h ? src[(y - 9 + 4) * pitch + 5 + i]
                                         : src[(4 + i) * pitch + x - 12 + 5]);
                    ASSERT_EQ(d[y * pitch + x], window_sum(line, pos, n)) << x << "," << y << " n " << n;
                }
        }
}

TEST_F(Maf, WindowLongerThanTheLineOnlyDarkens) {
    // Beyond the documented range: the window may exceed the line; pixels outside it still count 0.
    std::vector<uint32_t> src = random_frame(6 * 10, 14);
    for (int n : {7, 11, 25, 639}) {
        std::vector<uint32_t> d(60);
        horiz_maf(src.data(), d.data(), 0, 0, 0, 0, 6, 10, 6, 10, n);
        for (int y = 0; y < 10; y++) {
            const std::vector<uint32_t> line(src.begin() + y * 6, src.begin() + y * 6 + 6);
            for (int x = 0; x < 6; x++) ASSERT_EQ(d[y * 6 + x], window_sum(line, x, n)) << n;
        }
        vert_maf(src.data(), d.data(), 0, 0, 0, 0, 6, 10, 6, 10, n);
        for (int x = 0; x < 6; x++) {
            std::vector<uint32_t> line;
            for (int y = 0; y < 10; y++) line.push_back(src[y * 6 + x]);
            for (int y = 0; y < 10; y++) ASSERT_EQ(d[y * 6 + x], window_sum(line, y, n)) << n;
        }
    }
}

TEST_F(Maf, WindowWithoutTableRowWritesNothing) {
    const auto src = random_frame(100, 15);
    std::vector<uint32_t> d(100, 7);
    horiz_maf(src.data(), d.data(), 0, 0, 0, 0, 10, 10, 10, 10, 640);
    vert_maf(src.data(), d.data(), 0, 0, 0, 0, 10, 10, 10, 10, -1);
    EXPECT_EQ(d, std::vector<uint32_t>(100, 7));
}

TEST_F(Maf, MatchesReferenceOnFullFrames) {
    const auto src = random_frame(kPixels, 16, true);
    std::vector<uint32_t> want(kPixels), got(kPixels);
    // Window 1 must drop the top bytes of the source (which has them). The reference needs n <= len.
    for (int n = 1; n <= 320; n += (n < 45 ? 1 : n < 240 ? 13 : 5)) {
        ref::horiz_maf(src.data(), want.data(), 0, 0, 0, 0, kW, kH, kW, n);
        horiz_maf(src.data(), got.data(), 0, 0, 0, 0, kW, kH, kW, kH, n);
        ASSERT_EQ(got, want) << "horizontal " << n;
        if (n > kH) continue;
        ref::vert_maf(src.data(), want.data(), 0, 0, 0, 0, kW, kH, kW, n);
        vert_maf(src.data(), got.data(), 0, 0, 0, 0, kW, kH, kW, kH, n);
        ASSERT_EQ(got, want) << "vertical " << n;
    }
    // From 256 on every quotient v / n is 0.
    ref::horiz_maf(src.data(), want.data(), 0, 0, 0, 0, kW, kH, kW, 255);
    EXPECT_NE(want, std::vector<uint32_t>(kPixels, 0));
    for (int n : {256, 257, 320, 639}) {
        got.assign(kPixels, 1);
        horiz_maf(src.data(), got.data(), 0, 0, 0, 0, kW, kH, kW, kH, n);
        EXPECT_EQ(got, std::vector<uint32_t>(kPixels, 0)) << n;
        got.assign(kPixels, 1);
        vert_maf(src.data(), got.data(), 0, 0, 0, 0, kW, kH, kW, kH, n);
        EXPECT_EQ(got, std::vector<uint32_t>(kPixels, 0)) << n;
    }
}

TEST_F(Maf, EveryRowLengthInsideALargerFrame) {
    // Widths around whole groups of four pixels, at an offset in a wider frame, so that a read or write
    // past the rectangle's end shows.
    constexpr int pitch = 340, rows = 24, x0 = 17, y0 = 1, h = 20;
    const auto src = random_frame(pitch * rows, 18, true);
    for (auto filter : {horiz_maf, vert_maf})
        for (int w : {1, 2, 3, 4, 5, 6, 7, 9, 15, 16, 17, 318, 319, 320})
            for (int n : {2, 3, 4, 5, 8, 21, 41, 255}) {
                // Pixel i of line `line` (a row for horiz_maf, a column for vert_maf), as (x, y).
                const bool along_rows = filter == horiz_maf;
                auto place = [&](int line, int i) {
                    return along_rows ? std::pair{i, line} : std::pair{line, i};
                };
                std::vector<uint32_t> want(pitch * rows, 0x00ABCDEFu), got = want;
                for (int line = 0; line < (along_rows ? h : w); line++) {
                    const int len = along_rows ? w : h;
                    std::vector<uint32_t> pixels;
                    for (int i = 0; i < len; i++) {
                        const auto [x, y] = place(line, i);
                        pixels.push_back(src[(y + 2) * pitch + x + 3]); // source rectangle at (3, 2)
                    }
                    for (int i = 0; i < len; i++) {
                        const auto [x, y] = place(line, i);
                        want[(y0 + y) * pitch + x0 + x] = window_sum(pixels, i, n);
                    }
                }
                filter(src.data(), got.data(), 3, 2, x0, y0, w, h, pitch, rows, n);
                ASSERT_EQ(got, want) << (along_rows ? "horizontal" : "vertical") << ", width " << w
                                     << ", window " << n;
            }
}

TEST_F(Maf, PosterisedRowsMatchTheWindowSums) {
    // Pixels that repeat their left neighbour reuse its quotients (or its faded word, for window 1): runs
    // of every length against groups of eight pixels, windows at the ends of the range (2 halves, 255 the
    // largest that divides).
    constexpr int pitch = 331, rows = 6;
    const auto src = posterised_frame(pitch * rows, 20);
    for (int w : {1, 2, 3, 4, 5, 8, 9, 37, 320, 331})
        for (int n : {1, 2, 3, 4, 7, 20, 41, 254, 255, 256})
            for (int level : {0, 77}) {
                std::vector<uint32_t> want(pitch * rows, 0x00ABCDEFu), got = want;
                const std::vector<uint32_t> black(pitch, 0);
                for (int y = 0; y < rows; y++) {
                    const std::vector<uint32_t> line(src.begin() + y * pitch, src.begin() + y * pitch + w);
                    for (int x = 0; x < w; x++) want[y * pitch + x] = window_sum(line, x, n);
                    cross_fade(want.data() + y * pitch, black.data(), want.data() + y * pitch, w, level);
                }
                horiz_maf_fade(src.data(), got.data(), 0, 0, 0, 0, w, rows, pitch, rows, n, level);
                ASSERT_EQ(got, want) << "width " << w << ", window " << n << ", level " << level;
            }
}

TEST_F(Maf, PosterisedFullFramesMatchReference) {
    // Both directions over whole frames of runs: a word repeating its left neighbour reuses its quotients
    // in the column sums too.
    const auto src = posterised_frame(kPixels, 24);
    std::vector<uint32_t> want(kPixels), got(kPixels);
    for (int n : {2, 3, 6, 17, 110, 239}) {
        ref::horiz_maf(src.data(), want.data(), 0, 0, 0, 0, kW, kH, kW, n);
        horiz_maf(src.data(), got.data(), 0, 0, 0, 0, kW, kH, kW, kH, n);
        ASSERT_EQ(got, want) << "horizontal " << n;
        ref::vert_maf(src.data(), want.data(), 0, 0, 0, 0, kW, kH, kW, n);
        vert_maf(src.data(), got.data(), 0, 0, 0, 0, kW, kH, kW, kH, n);
        ASSERT_EQ(got, want) << "vertical " << n;
    }
}

TEST_F(Maf, VerticalOnBlackWithSparseColour) {
    // Black rows and the black ends of rows add nothing; a word with only its top byte set is black too,
    // while a lit word in the first or the last column counts.
    constexpr int w = 37, h = 40;
    for (uint32_t seed : {21u, 22u, 23u}) {
        std::vector<uint32_t> src(w * h, 0);
        std::mt19937 rng(seed);
        for (int i = 0; i < 30; i++) src[rng() % (w * h)] = rng() % 2 ? 0xFF000000u : rng() | 0x00010000u;
        const auto runs = posterised_frame(w, seed);
        std::copy(runs.begin(), runs.end(), src.begin() + 7 * w); // one row of colour runs
        src[11 * w] = src[12 * w - 1] = 0x00FFFFFFu;
        for (int n : {2, 3, 8, 25, 40}) {
            std::vector<uint32_t> want(w * h), got(w * h, 1);
            ref::vert_maf(src.data(), want.data(), 0, 0, 0, 0, w, h, w, n);
            vert_maf(src.data(), got.data(), 0, 0, 0, 0, w, h, w, h, n);
            ASSERT_EQ(got, want) << "seed " << seed << ", window " << n;
        }
    }
}

TEST_F(Maf, FadedBlurIsTheBlurCrossFadedToBlack) {
    constexpr int pitch = 1100, rows = 5; // rows up to 1100 pixels: both row paths
    const auto src = random_frame(pitch * rows, 19, true);
    const std::vector<uint32_t> black(pitch * rows, 0);
    for (int w : {1, 7, 320, 1100})
        for (int n : {0, 1, 2, 5, 41, 300})
            for (int level : {-5, 0, 1, 90, 254, 255, 300}) {
                std::vector<uint32_t> want(pitch * rows, 0x00ABCDEFu), got = want, blurred(pitch * rows);
                horiz_maf(src.data(), blurred.data(), 0, 0, 0, 0, w, rows, pitch, rows, n);
                for (int y = 0; y < rows; y++)
                    cross_fade(blurred.data() + y * pitch, black.data(), want.data() + y * pitch, w, level);
                horiz_maf_fade(src.data(), got.data(), 0, 0, 0, 0, w, rows, pitch, rows, n, level);
                ASSERT_EQ(got, want) << "width " << w << ", window " << n << ", level " << level;
            }
    // A second level fades the faded sums once more, each fade truncated on its own.
    for (int n : {1, 5, 41})
        for (auto [level, then] :
             {std::pair{90, 100}, std::pair{0, 254}, std::pair{200, 255}, std::pair{17, 1}}) {
            std::vector<uint32_t> want(pitch * rows), got(pitch * rows), blurred(pitch * rows);
            horiz_maf(src.data(), blurred.data(), 0, 0, 0, 0, 320, rows, pitch, rows, n);
            for (int y = 0; y < rows; y++) {
                cross_fade(blurred.data() + y * pitch, black.data(), want.data() + y * pitch, 320, level);
                cross_fade(want.data() + y * pitch, black.data(), want.data() + y * pitch, 320, then);
            }
            horiz_maf_fade(src.data(), got.data(), 0, 0, 0, 0, 320, rows, pitch, rows, n, level, then);
            ASSERT_EQ(got, want) << "window " << n << ", levels " << level << " then " << then;
        }
    // A window outside 0..639 writes nothing, whatever the level.
    std::vector<uint32_t> d(pitch * rows, 7);
    for (int level : {0, 100, 255})
        horiz_maf_fade(src.data(), d.data(), 0, 0, 0, 0, 9, 3, pitch, rows, 640, level);
    EXPECT_EQ(d, std::vector<uint32_t>(pitch * rows, 7));
}

TEST_F(Maf, DividedFramesBlurAsTheirPixels) {
    // A frame of each pixel's quotients v / n blurs and fades as the pixels do: both row paths, the
    // windows that divide and those that do not (whose frame is the pixels, or anything for 0 and 256
    // on), single and double fades.
    constexpr int pitch = 1100, rows = 4;
    const auto src = random_frame(pitch * rows, 23, true);
    for (int w : {3, 320, 1100})
        for (int n : {0, 1, 2, 7, 41, 255, 300})
            for (auto [level, then] :
                 {std::pair{0, 0}, std::pair{90, 0}, std::pair{90, 100}, std::pair{255, 0}}) {
                std::vector<uint32_t> divided(pitch * rows);
                for (size_t k = 0; k < divided.size(); k++) {
                    const uint32_t v = src[k], d = n >= 1 && n < 256 ? static_cast<uint32_t>(n) : 1;
                    divided[k] = (v >> 16 & 255) / d << 16 | (v >> 8 & 255) / d << 8 | (v & 255) / d;
                }
                std::vector<uint32_t> want(pitch * rows, 0x00ABCDEFu), got = want;
                horiz_maf_fade(src.data(), want.data(), 0, 0, 0, 0, w, rows, pitch, rows, n, level, then);
                horiz_maf_fade_divided(divided.data(), got.data(), 0, 0, 0, 0, w, rows, pitch, rows, n, level,
                                       then);
                ASSERT_EQ(got, want) << "width " << w << ", window " << n << ", levels " << level << " "
                                     << then;
            }
}

TEST_F(Maf, RunsBlurAsTheFrameTheyMake) {
    // Rows given as runs of quotient words blur and fade as the frame of those words does: runs of 1 to
    // 40 pixels and whole rows of one run, windows wider than runs and than the row, words with and
    // without blue, rows of a band left alone.
    constexpr int rows = 6;
    const auto colours = posterised_frame(kW * rows, 29);
    for (int n : {1, 2, 3, 8, 41, 255})
        for (auto [level, then] : {std::pair{0, 0}, std::pair{90, 0}, std::pair{90, 100}, std::pair{255, 0}})
            for (bool blue : {true, false}) {
                std::vector<uint32_t> divided(kW * rows);
                for (size_t k = 0; k < divided.size(); k++) {
                    const uint32_t v = colours[k] & (blue ? 0x00FFFFFFu : 0x00FFFF00u),
                                   d = static_cast<uint32_t>(n);
                    divided[k] = (v >> 16 & 255) / d << 16 | (v >> 8 & 255) / d << 8 | (v & 255) / d;
                }
                std::fill(divided.begin() + 2 * kW, divided.begin() + 3 * kW, divided[2 * kW]); // one run
                std::vector<PanoRun> runs;
                std::vector<int> row_first;
                for (int y = 0; y < rows; y++) {
                    row_first.push_back(static_cast<int>(runs.size()));
                    for (int x = 0; x < kW; x++) {
                        const uint32_t w = divided[y * kW + x];
                        if (x == 0 || w != runs.back().word) runs.push_back({w, 0});
                        runs.back().end = static_cast<uint16_t>(x + 1);
                    }
                }
                row_first.push_back(static_cast<int>(runs.size()));
                std::vector<uint32_t> want(kW * rows, 0x00ABCDEFu), got = want;
                horiz_maf_fade_divided(divided.data(), want.data(), 0, 1, 0, 1, kW, rows - 2, kW, rows, n,
                                       level, then);
                horiz_maf_fade_runs(runs.data(), row_first.data(), got.data(), 1, rows - 2, kW, n, level,
                                    then);
                ASSERT_EQ(got, want) << "window " << n << ", levels " << level << " " << then << ", blue "
                                     << blue;
            }
    // Windows outside 1..255 are refused, and rows whose runs do not end one after the other at the
    // row's end are left alone (runs that repeat an end, stop short, go past it, or none at all).
    const std::vector<PanoRun> runs = {{0x00010101u, kW},
                                       {0x00010101u, 100},
                                       {0x00020202u, 100},
                                       {0x00010101u, kW - 1},
                                       {0x00010101u, kW + 8}};
    const std::vector<int> row_first = {0, 1, 3, 4, 5, 5};
    std::vector<uint32_t> d(kW * 5, 7);
    for (int n : {-1, 0, 256})
        horiz_maf_fade_runs(runs.data(), row_first.data(), d.data(), 0, 1, kW, n, 0, 0);
    horiz_maf_fade_runs(runs.data(), row_first.data(), d.data(), 1, 4, kW, 5, 0, 0);
    EXPECT_EQ(d, std::vector<uint32_t>(kW * 5, 7));
}

TEST_F(Maf, WideRectanglesTakeTheLongRowAndColumnChunkPaths) {
    constexpr int w = 1100, h = 9; // rows beyond the prefix buffer, columns beyond one chunk
    const auto src = random_frame(w * h, 17);
    std::vector<uint32_t> want(w * h), got(w * h);
    for (int n : {1, 6, 9}) {
        ref::horiz_maf(src.data(), want.data(), 0, 0, 0, 0, w, h, w, n);
        horiz_maf(src.data(), got.data(), 0, 0, 0, 0, w, h, w, h, n);
        ASSERT_EQ(got, want) << n;
        ref::vert_maf(src.data(), want.data(), 0, 0, 0, 0, w, h, w, n);
        vert_maf(src.data(), got.data(), 0, 0, 0, 0, w, h, w, h, n);
        ASSERT_EQ(got, want) << n;
    }
}

} // namespace
