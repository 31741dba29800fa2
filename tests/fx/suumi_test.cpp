// suumi_effect: layer order over the cycle, fade weights, output size and the reference over many times.
#include "fx.h"
#include "reference.h"
#include "test_picture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr int kW = 320, kH = 240;

// Picture `id`: red = id * 60, green = row, blue = column, so every output word names its source.
std::vector<uint32_t> picture(int id) {
    std::vector<uint32_t> p(256 * 256);
    for (int r = 0; r < 256; r++)
        for (int c = 0; c < 256; c++) p[r * 256 + c] = static_cast<uint32_t>(id * 60) << 16 | r << 8 | c;
    return p;
}

class Suumi : public ::testing::Test {
  protected:
    std::vector<uint32_t> p1 = picture(1), p2 = picture(2), p3 = picture(3);
    std::vector<uint32_t> out = std::vector<uint32_t>(kW * kH);
    void SetUp() override { ASSERT_EQ(suumi_init(kW, kH), 0); }
    uint32_t red_everywhere(int t) {
        suumi_effect(out.data(), t, 5.0, p1.data(), p2.data(), p3.data());
        const uint32_t red = out[0] >> 16;
        for (uint32_t w : out)
            if (w >> 16 != red) return 0xFFFF;
        return red;
    }
};

TEST_F(Suumi, LayersTakeTurnsEvery256Ticks) {
    // At the start of a cycle the fade weight is 0: the output is the main layer alone.
    EXPECT_EQ(red_everywhere(0), 60u);
    EXPECT_EQ(red_everywhere(256), 120u);
    EXPECT_EQ(red_everywhere(512), 180u);
    EXPECT_EQ(red_everywhere(768), 60u);
    // At weight 255 the output is the faded-in layer alone.
    EXPECT_EQ(red_everywhere(255), 120u);
    EXPECT_EQ(red_everywhere(511), 180u);
    EXPECT_EQ(red_everywhere(767), 60u);
    // Negative t: (first, second) and the low 8 bits of t as weight; -1 is weight 255, -256 weight 0.
    EXPECT_EQ(red_everywhere(-1), 120u);
    EXPECT_EQ(red_everywhere(-256), 60u);
    EXPECT_EQ(red_everywhere(-300), 60u * 43 / 255 + 120u * 212 / 255); // weight -300 & 255 = 212
}

TEST_F(Suumi, StartOfCycleSamplesTheMainPictureAlone) {
    // t = 0: S = 256, a = 1 + 3.7699...; the faded-in picture has no influence at all.
    suumi_effect(out.data(), 0, 5.0, p1.data(), p2.data(), p3.data());
    const auto first = out;
    const auto noise = random_frame(256 * 256, 31);
    suumi_effect(out.data(), 0, 5.0, p1.data(), noise.data(), p3.data());
    EXPECT_EQ(out, first);
    // Top-left pixel: corner A = (256 cos a + 128.5, 256 sin a + 128.5) in 16.16, truncated.
    const double a = 1 + 3.7699111843077517;
    const int u = static_cast<int>((256 * std::cos(a) + 128.5) * 65536),
              v = static_cast<int>((256 * std::sin(a) + 128.5) * 65536);
    EXPECT_EQ(out[0], 60u << 16 | static_cast<uint32_t>((v >> 16) & 255) << 8 |
                          static_cast<uint32_t>((u >> 16) & 255));
}

TEST_F(Suumi, SizeIsHonoured) {
    // Widths that are not whole groups of 4 pixels, or span more than one 256-pixel stretch, too.
    for (auto [w, h] : {std::pair{100, 50}, std::pair{103, 7}, std::pair{1, 3}, std::pair{515, 2}}) {
        std::vector<uint32_t> small(w * h + 8, 0xDEADu);
        suumi_init(w, h);
        for (int t : {300, 512, 767}) { // a blend, the main picture alone, the faded-in one alone
            suumi_effect(small.data(), t, 5.0, p1.data(), p2.data(), p3.data());
            EXPECT_EQ(small[w * h], 0xDEADu); // nothing past width * height
            std::vector<uint32_t> want(w * h);
            ref::suumi_effect(want.data(), w, h, t, 5.0, p1.data(), p2.data(), p3.data());
            EXPECT_TRUE(std::equal(want.begin(), want.end(), small.begin())) << w << "x" << h << " t " << t;
        }
    }
    std::vector<uint32_t> small(100 * 50 + 8, 0xDEADu);
    suumi_init(0, 50);
    suumi_effect(small.data(), 300, 5.0, p1.data(), p2.data(), p3.data());
    suumi_init(100, -1);
    suumi_effect(small.data(), 300, 5.0, p1.data(), p2.data(), p3.data());
    EXPECT_EQ(small, std::vector<uint32_t>(small.size(), 0xDEADu));
}

TEST_F(Suumi, StrangeExponentDoesNotCrash) {
    suumi_effect(out.data(), 100, std::nan(""), p1.data(), p2.data(), p3.data());
    suumi_effect(out.data(), 0, -3.0, p1.data(), p2.data(), p3.data()); // 0^-3 is infinite: S = 0
    SUCCEED();
}

TEST_F(Suumi, MatchesReferenceOverTime) {
    const auto r1 = random_frame(256 * 256, 32), r2 = random_frame(256 * 256, 33),
               r3 = random_frame(256 * 256, 34);
    std::vector<uint32_t> want(kW * kH);
    for (int t = -1000; t < 3000; t += 37) {
        for (double e : {5.0, 2.0}) {
            ref::suumi_effect(want.data(), kW, kH, t, e, r1.data(), r2.data(), r3.data());
            suumi_effect(out.data(), t, e, r1.data(), r2.data(), r3.data());
            ASSERT_EQ(out, want) << "t " << t << " e " << e;
        }
    }
}

// Three grey pictures, a palette and the pictures in its colours; coverage bytes in runs of every length
// from 1 on, across word boundaries.
struct PalettedSetup {
    std::vector<uint8_t> g1, g2, g3;
    std::vector<uint32_t> palette, c1, c2, c3;
    std::vector<uint8_t> covered, masks; // any non-zero byte; the bytes venkula_coverage gives

    PalettedSetup() : g1(256 * 256), g2(256 * 256), g3(256 * 256), palette(random_frame(256, 41, true)) {
        for (int i = 0; i < 256 * 256; i++) {
            g1[size_t(i)] = static_cast<uint8_t>(i * 7 + (i >> 8));
            g2[size_t(i)] = static_cast<uint8_t>((i >> 8) ^ i);
            g3[size_t(i)] = static_cast<uint8_t>(i * 131 >> 5);
        }
        colour();
        covered.resize(kW * kH);
        for (size_t p = 0, run = 1, left = 1, on = 0; p < covered.size(); p++, left--) {
            if (left == 0) {
                on ^= 1;
                run = run % 23 + 1;
                left = run;
            }
            covered[p] = on ? static_cast<uint8_t>(p % 5 == 0 ? 0xFF : 1 + p % 3) : 0;
        }
        masks.resize(covered.size());
        constexpr uint8_t kMaskBytes[] = {0xFF, 0xC0, 0x7F, 0x60, 0x40};
        for (size_t p = 0; p < masks.size(); p++) masks[p] = covered[p] ? kMaskBytes[p * 7 / 3 % 5] : 0;
    }
    void colour() {
        c1.resize(256 * 256), c2.resize(256 * 256), c3.resize(256 * 256);
        for (int i = 0; i < 256 * 256; i++) {
            c1[size_t(i)] = palette[g1[size_t(i)]];
            c2[size_t(i)] = palette[g2[size_t(i)]];
            c3[size_t(i)] = palette[g3[size_t(i)]];
        }
    }
    // The masked zoomer's pixel p at time t, from suumi_effect over the coloured pictures (in want).
    uint32_t masked(const std::vector<uint32_t>& want, size_t p) const {
        const uint32_t b = masks[p];
        return (b >= 0x80 ? want[p] : want[p] >> 1) & (b * 0x010101u);
    }
};

TEST_F(Suumi, PalettedPicturesGiveTheFramesOfTheirColours) {
    // The paletted zoomer draws what suumi_effect draws over the pictures in colour, on every covered
    // pixel and on no other.
    const PalettedSetup z;
    std::vector<uint32_t> want(kW * kH), got(kW * kH);
    for (int t : {0, 1, 100, 255, 256, 400, 511, 600, 767, 100080, -5}) {
        suumi_effect(want.data(), t, 5.0, z.c1.data(), z.c2.data(), z.c3.data());
        suumi_effect_paletted(got.data(), t, 5.0, z.g1.data(), z.g2.data(), z.g3.data(), z.palette.data(),
                              nullptr);
        ASSERT_EQ(got, want) << t;
        std::fill(got.begin(), got.end(), 0x12345678u);
        suumi_effect_paletted(got.data(), t, 5.0, z.g1.data(), z.g2.data(), z.g3.data(), z.palette.data(),
                              z.covered.data());
        for (size_t p = 0; p < got.size(); p++)
            ASSERT_EQ(got[p], z.covered[p] ? want[p] : 0x12345678u) << t << " pixel " << p;
        // Through the hole mask's bytes: every pixel written, masked (and below 0x80 halved first).
        std::fill(got.begin(), got.end(), 0x12345678u);
        suumi_effect_masked(got.data(), t, 5.0, z.g1.data(), z.g2.data(), z.g3.data(), z.palette.data(),
                            z.masks.data());
        for (size_t p = 0; p < got.size(); p++) ASSERT_EQ(got[p], z.masked(want, p)) << t << " pixel " << p;
    }
}

TEST_F(Suumi, MaskedZoomerAddsItsWeighedColoursAndGivesItsSamples) {
    // Added to a frame weighed by 255 - w, the covered pixels gain their masked colours weighed by w,
    // byte by byte, and no other pixel changes; the samples are the masked pixels of every 5th row and
    // column. Both with blue in the palette and without (red and green only: a loop of its own).
    PalettedSetup z;
    const auto base = random_frame(kW * kH, 7, true);
    auto weigh = [](uint32_t x, int w) {
        uint32_t out = 0;
        for (int s = 0; s < 32; s += 8) out |= ((x >> s & 255) * static_cast<uint32_t>(w) / 255) << s;
        return out;
    };
    std::vector<uint32_t> want(kW * kH), got(kW * kH);
    for (const bool blue : {true, false}) {
        if (!blue) {
            for (uint32_t& c : z.palette) c &= 0x00FFFF00u;
            z.colour();
        }
        for (int t : {0, 100, 300, 600, -5}) {
            suumi_effect(want.data(), t, 5.0, z.c1.data(), z.c2.data(), z.c3.data());
            for (int w : {0, 1, 128, 254, 255}) {
                for (size_t p = 0; p < got.size(); p++) got[p] = weigh(base[p], 255 - w);
                suumi_effect_masked_add(got.data(), t, 5.0, z.g1.data(), z.g2.data(), z.g3.data(),
                                        z.palette.data(), z.masks.data(), w);
                for (size_t p = 0; p < got.size(); p++)
                    ASSERT_EQ(got[p],
                              weigh(base[p], 255 - w) + (z.masks[p] ? weigh(z.masked(want, p), w) : 0))
                        << "blue " << blue << " t " << t << " w " << w << " pixel " << p;
            }
            std::fill(got.begin(), got.end(), 0x12345678u);
            suumi_effect_masked_samples(got.data(), t, 5.0, z.g1.data(), z.g2.data(), z.g3.data(),
                                        z.palette.data(), z.masks.data(), 5);
            for (size_t p = 0; p < got.size(); p++)
                ASSERT_EQ(got[p], p / kW % 5 == 0 && p % kW % 5 == 0 ? z.masked(want, p) : 0x12345678u)
                    << "blue " << blue << " t " << t << " pixel " << p;
        }
    }
}
TEST_F(Suumi, MaskedZoomersOfFewColoursDrawTheFramesOfTheirColours) {
    // Pictures whose bytes lie below a short palette of 8 colours or fewer (drawn through a table of
    // texel pairs where rows are drawn in groups): the masked and the added frames are those of the
    // pictures in colour, at widths with and without pixels after the last group, with blue in the
    // palette. The palette is read no further than its size.
    PalettedSetup z;
    auto weigh = [](uint32_t x, int w) {
        uint32_t out = 0;
        for (int s = 0; s < 32; s += 8) out |= ((x >> s & 255) * static_cast<uint32_t>(w) / 255) << s;
        return out;
    };
    for (const int size : {8, 5, 1}) {
        for (auto* g : {&z.g1, &z.g2, &z.g3})
            for (uint8_t& b : *g) b = static_cast<uint8_t>(b % size);
        z.colour();
        const std::vector<uint32_t> palette(z.palette.begin(), z.palette.begin() + size);
        for (const int w : {kW, 317, 6}) {
            const int h = w == kW ? kH : 9, n = w * h;
            suumi_init(w, h);
            std::vector<uint32_t> want(n), got(n + 4, 0xDEADu);
            const auto base = random_frame(n, 3, true);
            for (const int t : {100, 300, 600}) {
                suumi_effect(want.data(), t, 5.0, z.c1.data(), z.c2.data(), z.c3.data());
                suumi_effect_masked(got.data(), t, 5.0, z.g1.data(), z.g2.data(), z.g3.data(), palette.data(),
                                    z.masks.data(), size);
                for (int p = 0; p < n; p++)
                    ASSERT_EQ(got[size_t(p)], z.masked(want, size_t(p)))
                        << "size " << size << " width " << w << " t " << t << " pixel " << p;
                for (const int level : {1, 128, 255}) {
                    for (int p = 0; p < n; p++) got[size_t(p)] = weigh(base[size_t(p)], 255 - level);
                    suumi_effect_masked_add(got.data(), t, 5.0, z.g1.data(), z.g2.data(), z.g3.data(),
                                            palette.data(), z.masks.data(), level, size);
                    for (int p = 0; p < n; p++)
                        ASSERT_EQ(got[size_t(p)],
                                  weigh(base[size_t(p)], 255 - level) +
                                      (z.masks[size_t(p)] ? weigh(z.masked(want, size_t(p)), level) : 0))
                            << "size " << size << " width " << w << " t " << t << " level " << level
                            << " pixel " << p;
                }
                EXPECT_EQ(got[size_t(n)], 0xDEADu);
            }
        }
    }
}

TEST_F(Suumi, MaskedZoomerRowsOfAnyWidth) {
    // Rows drawn in groups of four pixels and the pixels after the last group: widths of 3, 6 and 317, a
    // palette with blue and one without, masked and added, nothing past width * height.
    PalettedSetup z;
    for (const bool blue : {true, false}) {
        if (!blue) {
            for (uint32_t& c : z.palette) c &= 0x00FFFF00u;
            z.colour();
        }
        for (const int w : {3, 6, 317}) {
            const int h = 9, n = w * h;
            suumi_init(w, h);
            std::vector<uint32_t> want(n), got(n + 4, 0xDEADu), added(n + 4, 0xDEADu);
            suumi_effect(want.data(), 300, 5.0, z.c1.data(), z.c2.data(), z.c3.data());
            suumi_effect_masked(got.data(), 300, 5.0, z.g1.data(), z.g2.data(), z.g3.data(), z.palette.data(),
                                z.masks.data());
            std::fill(added.begin(), added.begin() + n, 0x00010101u);
            suumi_effect_masked_add(added.data(), 300, 5.0, z.g1.data(), z.g2.data(), z.g3.data(),
                                    z.palette.data(), z.masks.data(), 128);
            for (int p = 0; p < n; p++) {
                const uint32_t m = z.masked(want, size_t(p));
                uint32_t weighed = 0;
                for (int s = 0; s < 32; s += 8) weighed |= ((m >> s & 255) * 128 / 255) << s;
                ASSERT_EQ(got[size_t(p)], m) << "blue " << blue << " width " << w << " pixel " << p;
                ASSERT_EQ(added[size_t(p)], 0x00010101u + (z.masks[size_t(p)] ? weighed : 0))
                    << "blue " << blue << " width " << w << " pixel " << p;
            }
            EXPECT_EQ(got[size_t(n)], 0xDEADu);
            EXPECT_EQ(added[size_t(n)], 0xDEADu);
        }
    }
}
} // namespace
