// The polygon filler: settings, fill types, the product-table shading, spans, clipping and the edge walker.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "vec.h"
#include "vec_local.h"
#include "vec_test_util.h"

namespace {

// A corner at (x, y) pixels, given in 1/256 pixel.
vec_pvert corner_at(double x, double y, int32_t shade = 0, int32_t z = 0) {
    vec_pvert p{};
    p.x = static_cast<int32_t>(std::lround(x * 256));
    p.y = static_cast<int32_t>(std::lround(y * 256));
    p.shade = shade;
    p.z = z;
    return p;
}

class VecFill : public ::testing::Test {
  protected:
    static constexpr int kW = 64, kH = 48, kGuard = 256;
    void SetUp() override {
        vec_init_fill();
        buf.assign(kW * kH + kGuard, 0);
        ASSERT_EQ(vec_set_fillres(kW, kH, 32), 0);
        ASSERT_EQ(vec_set_bufs(buf.data(), nullptr), 0);
        ASSERT_EQ(vec_set_filltype(1), 0);
    }
    uint32_t at(int x, int y) const { return buf[y * kW + x]; }
    void poly(std::vector<vec_pvert> c, uint32_t colour, int32_t shade = 0xFF00) {
        c[0].shade = shade;
        vec_poly(static_cast<int>(c.size()), c.data(), colour);
    }
    std::vector<uint32_t> buf;
};

TEST(VecFillSettings, ResolutionsBuffersAndTypes) {
    EXPECT_EQ(vec_set_fillres(641, 200, 32), 1);
    EXPECT_EQ(vec_set_fillres(320, 0, 32), 1);
    EXPECT_EQ(vec_set_fillres(320, 481, 32), 1);
    EXPECT_EQ(vec_set_fillres(320, 200, 7), 1);
    EXPECT_EQ(vec_set_fillres(320, 200, 16), 1); // no 16-bit span writer: refused rather than overrun
    EXPECT_EQ(vec_set_fillres(640, 480, 8), 0);
    EXPECT_EQ(vec_set_bufs(nullptr, nullptr), 1);

    ASSERT_EQ(vec_set_fillres(320, 200, 32), 0);
    EXPECT_EQ(vec_set_filltype(1), 0);
    EXPECT_EQ(vec_set_filltype(0x41), 1);
    EXPECT_EQ(vec_set_filltype(0x41), 1); // a refused type stays refused for the next polygon
    EXPECT_EQ(vec_set_filltype(0x201), 1);
    EXPECT_EQ(vec_set_filltype(2), 1);
    EXPECT_EQ(vec_set_filltype(1), 0);
    EXPECT_EQ(vec_set_filltype(1), 0);

    // Texture slots 1..3 only; anything else is ignored without harm.
    const uint8_t tex[4] = {};
    vec_set_texture(tex, 0);
    vec_set_texture(tex, 4);
    vec_set_texture(tex, 2);
}

TEST(VecFillSettings, ClearZBufferWritesTheFillAreaOnly) {
    std::vector<uint32_t> screen(8 * 4);
    std::vector<int32_t> z(8 * 4 + 8, 7);
    ASSERT_EQ(vec_set_fillres(8, 4, 32), 0);
    ASSERT_EQ(vec_set_bufs(screen.data(), z.data()), 0);
    EXPECT_EQ(vec_tell_zbuffer(), z.data());
    vec_clear_zbuffer();
    for (int i = 0; i < 32; i++) EXPECT_EQ(z[i], 0) << i;
    for (int i = 32; i < 40; i++) EXPECT_EQ(z[i], 7) << i;
    ASSERT_EQ(vec_set_bufs(screen.data(), nullptr), 0);
    EXPECT_EQ(vec_tell_zbuffer(), nullptr);
    vec_clear_zbuffer(); // no buffer: nothing to do
}

TEST_F(VecFill, ShadesEachColourByteThroughTheProductTable) {
    poly({corner_at(0, 0), corner_at(4, 0), corner_at(4, 4), corner_at(0, 4)}, 0x00FF80FF, 0x8000);
    EXPECT_EQ(at(1, 1), 0x007F407Fu);
    poly({corner_at(0, 0), corner_at(4, 0), corner_at(4, 4), corner_at(0, 4)}, 0x00FF80FF, 0xFF00);
    EXPECT_EQ(at(1, 1), 0x00FE7FFEu);
    // Only bits 8..15 of the shade count: 0x1FF7F is taken as 0xFF00.
    poly({corner_at(0, 0), corner_at(4, 0), corner_at(4, 4), corner_at(0, 4)}, 0x00FF80FF, 0x1FF7F);
    EXPECT_EQ(at(1, 1), 0x00FE7FFEu);
    poly({corner_at(0, 0), corner_at(4, 0), corner_at(4, 4), corner_at(0, 4)}, 0x00FF80FF, 0);
    EXPECT_EQ(at(1, 1), 0u);
}

TEST_F(VecFill, SpansCoverFromLeftUpToRight) {
    // Left edge at 10.5 pixels, right edge at 20.0: columns 10 to 19 in rows 2 to 4.
    poly({corner_at(10.5, 2), corner_at(20, 2), corner_at(20, 5), corner_at(10.5, 5)}, 0xFFFFFF);
    for (int y = 0; y < kH; y++)
        for (int x = 0; x < kW; x++) {
            const bool inside = y >= 2 && y <= 4 && x >= 10 && x <= 19;
            ASSERT_EQ(at(x, y) != 0, inside) << x << "," << y;
        }
    // The same rectangle wound the other way round has its edges in the wrong tables: nothing is drawn.
    std::fill(buf.begin(), buf.end(), 0);
    poly({corner_at(10.5, 2), corner_at(10.5, 5), corner_at(20, 5), corner_at(20, 2)}, 0xFFFFFF);
    EXPECT_EQ(count_pixels(buf), 0);
}

TEST_F(VecFill, ClipsToTheFillArea) {
    // Larger than the area on every side: exactly the area is filled, the guard words behind it are not.
    poly({corner_at(-500, -300), corner_at(700, -300), corner_at(700, 900), corner_at(-500, 900)}, 0xABCDEF);
    for (int i = 0; i < kW * kH; i++) ASSERT_NE(buf[i], 0u) << i;
    for (int i = kW * kH; i < kW * kH + kGuard; i++) ASSERT_EQ(buf[i], 0u) << i;

    // Wholly outside on any side: nothing.
    std::fill(buf.begin(), buf.end(), 0);
    poly({corner_at(kW, 0), corner_at(kW + 9, 0), corner_at(kW + 9, 9)}, 0xFFFFFF);
    poly({corner_at(-9, 0), corner_at(-1, 0), corner_at(-1, 9)}, 0xFFFFFF);
    poly({corner_at(0, kH), corner_at(9, kH), corner_at(9, kH + 9)}, 0xFFFFFF);
    poly({corner_at(0, -20), corner_at(9, -20), corner_at(9, -1)}, 0xFFFFFF);
    EXPECT_EQ(count_pixels(buf), 0);

    // Extreme coordinates (as a projection close to the near plane can give) stay inside the buffers.
    vec_pvert wild[3] = {corner_at(0, 0), corner_at(0, 0), corner_at(0, 0)};
    wild[0].x = INT32_MIN;
    wild[0].y = INT32_MIN;
    wild[1].x = INT32_MAX;
    wild[1].y = 5 * 256;
    wild[2].x = 3 * 256;
    wild[2].y = INT32_MAX;
    wild[0].shade = 0xFF00;
    vec_poly(3, wild, 0xFFFFFF);
    for (int i = kW * kH; i < kW * kH + kGuard; i++) ASSERT_EQ(buf[i], 0u) << i;
    // Fewer than three corners draw nothing.
    std::fill(buf.begin(), buf.end(), 0);
    vec_poly(2, wild, 0xFFFFFF);
    EXPECT_EQ(count_pixels(buf), 0);
}

// Exact coverage: pixel (x, r) is filled when x lies between the left and right edges taken at the bottom
// of row r, y = r + 1. The filler steps in 1/256 pixel, so only the pixel at either end of a span may differ.
TEST_F(VecFill, TrianglesMatchExactCoverage) {
    uint32_t seed = 99;
    auto rnd = [&seed](double lo, double hi) {
        seed = seed * 1103515245u + 12345u;
        return lo + (hi - lo) * ((seed >> 8) & 0xFFFF) / 65535.0;
    };
    for (int n = 0; n < 200; n++) {
        double px[3], py[3];
        for (int k = 0; k < 3; k++) {
            px[k] = std::round(rnd(-10, kW + 10) * 256) / 256;
            py[k] = std::round(rnd(-10, kH + 10) * 256) / 256;
        }
        // Clockwise on screen (y down): the down-going edges are on the right.
        const double area = (px[1] - px[0]) * (py[2] - py[0]) - (px[2] - px[0]) * (py[1] - py[0]);
        if (std::fabs(area) < 4) continue;
        if (area < 0) {
            std::swap(px[1], px[2]);
            std::swap(py[1], py[2]);
        }
        std::fill(buf.begin(), buf.end(), 0);
        poly({corner_at(px[0], py[0]), corner_at(px[1], py[1]), corner_at(px[2], py[2])}, 0xFFFFFF);
        for (int r = 0; r < kH; r++) {
            const double y = r + 1;
            double lo = 1e9, hi = -1e9;
            bool any = false;
            for (int k = 0; k < 3; k++) {
                const int j = (k + 1) % 3;
                const double y0 = std::min(py[k], py[j]), y1 = std::max(py[k], py[j]);
                // Rows an edge covers: floor(y0) .. floor(y1) - 1.
                if (!(r >= std::floor(y0) && r < std::floor(y1))) continue;
                const double x = px[k] + (px[j] - px[k]) * (y - py[k]) / (py[j] - py[k]);
                if (py[k] <= py[j])
                    hi = x;
                else
                    lo = x;
                any = true;
            }
            int mismatches = 0;
            for (int x = 0; x < kW; x++) {
                const bool expected = any && x >= std::floor(lo) && x < std::floor(hi);
                mismatches += expected != (at(x, r) != 0);
            }
            ASSERT_LE(mismatches, 2) << "triangle " << n << " row " << r;
        }
        for (int i = kW * kH; i < kW * kH + kGuard; i++) ASSERT_EQ(buf[i], 0u);
    }
}

TEST(VecFillEdges, WordListsOfEightBitFillTypes) {
    ASSERT_EQ(vec_set_fillres(320, 200, 8), 0);
    struct {
        uint32_t type;
        std::vector<int> words;
    } cases[] = {
        {0x001, {0}}, {0x002, {0, 6}}, {0x004, {0, 2, 3}},    {0x008, {0, 4, 5}}, {0x010, {0, 2, 3, 4, 5}},
        {0x020, {0}}, {0x041, {0, 7}}, {0x085, {0, 2, 3, 7}}, {0x203, {0, 6}},    {0x01E, {0, 2, 3, 4, 5, 6}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(vec_set_filltype(c.type), 0) << c.type;
        int words[8];
        const int n = vec_fill_words(words);
        EXPECT_EQ(std::vector<int>(words, words + n), c.words) << std::hex << c.type;
    }
    ASSERT_EQ(vec_set_fillres(320, 200, 32), 0);
    EXPECT_EQ(vec_set_filltype(0x002), 1); // the same type on a 32-bit target is refused
}

TEST(VecFillEdges, WalkerStepsEveryInterpolantPerRow) {
    std::vector<uint8_t> screen(320 * 200);
    ASSERT_EQ(vec_set_fillres(320, 200, 8), 0);
    ASSERT_EQ(vec_set_bufs(screen.data(), nullptr), 0);
    ASSERT_EQ(vec_set_filltype(2), 0); // x and shade
    // A (0, 0.5) -> B (100, 100.5) goes down: right table; C (0, 100.5) -> A goes up: left table.
    vec_pvert c[3] = {corner_at(0, 0.5, 0), corner_at(100, 100.5, 25600), corner_at(0, 100.5, 0)};
    vec_poly(3, c, 3);
    // Right edge: one pixel and 256 shade per row, sampled at the bottom of each row (half a row in for
    // the first row, which starts half-way down).
    EXPECT_EQ(vec_edge_row(1, 0)[0], 128);
    EXPECT_EQ(vec_edge_row(1, 0)[1], 128);
    EXPECT_EQ(vec_edge_row(1, 49)[0], 128 + 49 * 256);
    EXPECT_EQ(vec_edge_row(1, 49)[1], 128 + 49 * 256);
    EXPECT_EQ(vec_edge_row(1, 99)[0], 128 + 99 * 256);
    EXPECT_EQ(vec_edge_row(1, 10)[1] - vec_edge_row(1, 9)[1], 256);
    EXPECT_EQ(vec_edge_row(0, 50)[0], 0);
    EXPECT_EQ(vec_edge_row(0, 50)[1], 0);
    EXPECT_EQ(std::count(screen.begin(), screen.end(), 0), 320 * 200); // no 8-bit span routine

    // Rows above the top are skipped with the values advanced past them.
    vec_pvert d[3] = {corner_at(0, -100), corner_at(200, 100), corner_at(0, 100)};
    vec_poly(3, d, 3);
    EXPECT_EQ(vec_edge_row(1, 0)[0], 101 * 256);
    EXPECT_EQ(vec_edge_row(1, 50)[0], 151 * 256);

    // The perspective walker carries z as 256 / z (16.16) and drops an edge with a corner at z <= 0.
    ASSERT_EQ(vec_set_filltype(0x81), 0);
    vec_pvert e[3] = {corner_at(0, 0, 0, 256), corner_at(50, 50, 0, 512), corner_at(0, 50, 0, 256)};
    vec_poly(3, e, 3);
    EXPECT_EQ(vec_edge_row(1, 0)[1], 65536 - (32768 * 256 / (50 * 256)));
    EXPECT_EQ(vec_edge_row(0, 10)[1], 65536);
    e[2].z = 0;
    vec_poly(3, e, 3);
    EXPECT_EQ(vec_edge_row(0, 10)[0], INT32_MAX); // the left edges were dropped: the rows stay empty

    ASSERT_EQ(vec_set_fillres(320, 200, 32), 0);
}

} // namespace
