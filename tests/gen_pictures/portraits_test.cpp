// The committed portraits: keyed background, posterised figure, and what the demo's effects need
// of them (sky only around the figure, a face under the zoom centre, a portrait in the sprite grid).
#include "picture_files.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

constexpr int kSide = 256;

class EachPortrait : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        px = read_committed(GetParam());
        ASSERT_EQ(px.size(), size_t(kSide * kSide)) << GetParam();
        key = px[0];
    }
    uint8_t at(int x, int y) const { return px[y * kSide + x]; }
    std::vector<uint8_t> px;
    uint8_t key = 0;
};

TEST_P(EachPortrait, KeyValueMarksOneBackgroundAroundTheFigure) {
    // Every key pixel must be sky: reachable from the border through key pixels. A key value inside
    // the figure would punch an orange hole through it in the panorama and the zoomer.
    std::vector<uint8_t> seen(px.size(), 0);
    std::vector<int> todo;
    for (int i = 0; i < kSide; ++i) {
        for (int p : {i, (kSide - 1) * kSide + i, i * kSide, i * kSide + kSide - 1}) {
            if (px[p] == key && !seen[p]) {
                seen[p] = 1;
                todo.push_back(p);
            }
        }
    }
    while (!todo.empty()) {
        int p = todo.back();
        todo.pop_back();
        int x = p % kSide, y = p / kSide;
        const int nx[4] = {x - 1, x + 1, x, x}, ny[4] = {y, y, y - 1, y + 1};
        for (int k = 0; k < 4; ++k) {
            if (nx[k] < 0 || ny[k] < 0 || nx[k] >= kSide || ny[k] >= kSide) continue;
            int q = ny[k] * kSide + nx[k];
            if (px[q] == key && !seen[q]) {
                seen[q] = 1;
                todo.push_back(q);
            }
        }
    }
    int figure = 0, enclosed = 0;
    for (size_t p = 0; p < px.size(); ++p) {
        if (px[p] != key)
            ++figure;
        else if (!seen[p])
            ++enclosed;
    }
    EXPECT_EQ(enclosed, 0) << "key-valued pixels inside the figure";
    EXPECT_EQ(at(0, 0), at(kSide - 1, 0)) << "top corners are both sky";
    // A bust, not a speck nor a full frame.
    EXPECT_GT(figure, kSide * kSide / 5);
    EXPECT_LT(figure, kSide * kSide * 4 / 5);
}

TEST_P(EachPortrait, FigureIsPosterisedIntoAFewWellUsedLevels) {
    std::map<int, int> count;
    int figure = 0;
    for (uint8_t v : px) {
        if (v == key) continue;
        ++count[v];
        ++figure;
    }
    ASSERT_GE(count.size(), 3u);
    EXPECT_LE(count.size(), 8u) << "too many grey levels for a posterised picture";
    for (auto [level, n] : count) EXPECT_GT(n, figure / 100) << "level " << level << " is barely used";
    // Dark and light levels both present: the picture keeps its contrast in the dark red panorama.
    EXPECT_GE(count.rbegin()->first - count.begin()->first, 150);
}

INSTANTIATE_TEST_SUITE_P(Committed, EachPortrait, ::testing::Values("muotokuva.raw", "naama.raw"));

TEST(Portraits, AreTwoDifferentPictures) {
    std::vector<uint8_t> a = read_committed("muotokuva.raw"), b = read_committed("naama.raw");
    ASSERT_EQ(a.size(), b.size());
    int figure_a = 0, figure_b = 0, both = 0;
    for (size_t p = 0; p < a.size(); ++p) {
        bool in_a = a[p] != a[0], in_b = b[p] != b[0];
        figure_a += in_a;
        figure_b += in_b;
        both += in_a && in_b;
    }
    // Different silhouettes: the overlap is clearly smaller than either figure.
    EXPECT_LT(both, figure_a * 9 / 10);
    EXPECT_LT(both, figure_b * 9 / 10);
}

TEST(Portraits, ZoomerCentreFallsOnTheFace) {
    // The zoomer dives into texel (128, 128) of naama over and over; sky there would leave the
    // zoom staring at flat orange.
    std::vector<uint8_t> px = read_committed("naama.raw");
    ASSERT_EQ(px.size(), size_t(kSide * kSide));
    std::set<int> levels;
    for (int y = 112; y < 144; ++y) {
        for (int x = 112; x < 144; ++x) {
            ASSERT_NE(px[y * kSide + x], px[0]) << "sky at " << x << "," << y;
            levels.insert(px[y * kSide + x]);
        }
    }
    EXPECT_GE(levels.size(), 3u) << "the centre should show facial detail";
}

TEST(Portraits, SpriteGridSampledEveryEighthPixelShowsThePortrait) {
    std::vector<uint8_t> px = read_committed("naama.raw");
    ASSERT_EQ(px.size(), size_t(kSide * kSide));
    std::set<int> levels;
    int on_figure = 0;
    for (int i = 0; i < 1024; ++i) {
        uint8_t g = px[8 * (i >> 5) * kSide + 8 * (i & 31)];
        if (g == px[0]) continue;
        ++on_figure;
        levels.insert(g / 3); // the sprite's green channel
    }
    EXPECT_GT(on_figure, 300);
    EXPECT_GE(levels.size(), 4u);
}

} // namespace
