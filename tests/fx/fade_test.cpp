// cross_fade and add_fade: exact table arithmetic, saturation, aliasing and the reference on random frames.
#include "fx.h"
#include "reference.h"
#include "test_picture.h"

#include <gtest/gtest.h>

namespace {

constexpr int kPixels = 76800;

std::vector<uint32_t> filled(int n, uint32_t word) {
    return std::vector<uint32_t>(n, word);
}

// Runs of a few colours as the demo's frames have, some alike but for the top byte; `black` of 8 runs are
// black.
std::vector<uint32_t> posterised(int n, uint32_t seed, uint32_t black = 2) {
    static constexpr uint32_t kColours[] = {0x00EE8800u, 0xFFEE8800u, 0x00FFFFFFu, 0x01000000u, 0x80FF01FEu};
    std::mt19937 rng(seed);
    std::vector<uint32_t> v;
    while (static_cast<int>(v.size()) < n)
        v.insert(v.end(), rng() % 3 ? 1 + rng() % 12 : 1, rng() % 8 < black ? 0 : kColours[rng() % 5]);
    v.resize(n);
    return v;
}

TEST(CrossFade, EndLevelsCopyOneSourceExactly) {
    const auto a = random_frame(kPixels, 1, true), b = random_frame(kPixels, 2, true);
    std::vector<uint32_t> d(kPixels);
    cross_fade(a.data(), b.data(), d.data(), kPixels, 0);
    EXPECT_EQ(d, a);
    cross_fade(a.data(), b.data(), d.data(), kPixels, 255);
    EXPECT_EQ(d, b);
}

TEST(CrossFade, EntriesTruncateSeparately) {
    std::vector<uint32_t> d(4);
    const auto ones = filled(4, 0x01010101u), full = filled(4, 0xFFFFFFFFu);
    cross_fade(ones.data(), ones.data(), d.data(), 4, 128); // 127/255 and 128/255 both give 0
    EXPECT_EQ(d, filled(4, 0));
    cross_fade(full.data(), full.data(), d.data(), 4, 128); // 127 + 128
    EXPECT_EQ(d, full);
    const auto x = filled(1, 0x00C80064u), y = filled(1, 0x00140050u);
    cross_fade(x.data(), y.data(), d.data(), 1, 100);
    // red 200*155/255 + 20*100/255 = 121 + 7, green 0, blue 100*155/255 + 80*100/255 = 60 + 31
    EXPECT_EQ(d[0], 0x0080005Bu);
}

TEST(CrossFade, OutOfRangeLevelIsClampedInsteadOfOverflowing) {
    const auto a = random_frame(64, 3, true), b = random_frame(64, 4, true);
    std::vector<uint32_t> d(64);
    cross_fade(a.data(), b.data(), d.data(), 64, 300);
    EXPECT_EQ(d, b);
    cross_fade(a.data(), b.data(), d.data(), 64, -5);
    EXPECT_EQ(d, a);
}

TEST(AddFade, GainsAndSaturation) {
    const auto a = random_frame(kPixels, 5, true), b = random_frame(kPixels, 6, true);
    std::vector<uint32_t> d(kPixels);
    add_fade(a.data(), b.data(), d.data(), kPixels, 255, 0);
    EXPECT_EQ(d, a);

    // gain 256: the entry for 255 is 256, clamped to 255 when the table is built; 128 stays 128
    const auto x = filled(1, 0x0080FF00u), zero = filled(1, 0);
    add_fade(x.data(), zero.data(), d.data(), 1, 256, 0);
    EXPECT_EQ(d[0], 0x0080FF00u);

    // 200 + 220 * 120 / 255 = 200 + 103 = 303, stored as 255; 10 + 103 = 113
    const auto p = filled(1, 0x00C8000Au), q = filled(1, 0x00DC00DCu);
    add_fade(p.data(), q.data(), d.data(), 1, 255, 120);
    EXPECT_EQ(d[0], 0x00FF0071u);
}

TEST(AddFade, NegativeAndHugeGainsStayInByteRange) {
    const auto a = filled(1, 0x00FF8001u);
    std::vector<uint32_t> d(1);
    add_fade(a.data(), a.data(), d.data(), 1, -300, 0);
    EXPECT_EQ(d[0], 0u);
    add_fade(a.data(), a.data(), d.data(), 1, 2000000000, 0);
    EXPECT_EQ(d[0], 0x00FFFFFFu);
}

TEST(AddFade, OneSourceInPlaceAndAFrameOfOneColour) {
    // add_fade(x, x, x, n, gain, 0) weighs x in place; add_colour(x, n, c, gain) is add_fade(x, c, x, n,
    // 255, gain) for a frame c of one colour. Counts around the groups of eight words.
    const auto a = random_frame(kPixels, 11, true);
    for (int gain : {0, 1, 20, 120, 254, 255, 256, 1000, 70000})
        for (int n : {1, 7, 8, 9, 77, kPixels}) {
            std::vector<uint32_t> want(n), got(a.begin(), a.begin() + n);
            ref::add_fade(a.data(), a.data(), want.data(), n, gain, 0);
            add_fade(got.data(), got.data(), got.data(), n, gain, 0);
            ASSERT_EQ(got, want) << "in place, gain " << gain << " count " << n;
            for (uint32_t colour : {0x00FFDDCCu, 0xFFFFFFFFu, 0x01020304u, 0u}) {
                const auto c = filled(n, colour);
                ref::add_fade(a.data(), c.data(), want.data(), n, 255, gain);
                got.assign(a.begin(), a.begin() + n);
                add_colour(got.data(), n, colour, gain);
                ASSERT_EQ(got, want) << std::hex << colour << std::dec << " gain " << gain << " count " << n;
            }
        }
    auto d = a;
    add_colour(d.data(), kPixels, 0x00FFFFFFu, -5); // a negative gain counts as 0, as in add_fade
    EXPECT_EQ(d, a);
}

TEST(CrossFade, RedAndGreenWeighedOntoTheOtherSource) {
    // add_red_green_weighed(f, o, n, w) is cross_fade(o', f, f, n, w) for a frame f without blue and top
    // bytes and o' weighed by 255 - w (so o is added as it is); f's blue and top bytes are left out. Counts
    // around the groups of four words, every weight's ends and middle.
    const auto noise = random_frame(kPixels, 12, true);
    std::vector<uint32_t> rg(kPixels), other(kPixels);
    for (const int w : {0, 1, 77, 128, 254, 255})
        for (const int n : {1, 3, 4, 5, 77, kPixels}) {
            for (int k = 0; k < n; k++) {
                rg[size_t(k)] = noise[size_t(k)] & 0x00FFFF00u;
                other[size_t(k)] = noise[size_t(kPixels - 1 - k)] & 0x00FFFFFFu;
            }
            std::vector<uint32_t> kept(n), want(n);
            add_fade(other.data(), other.data(), kept.data(), n, 255 - w, 0);
            add_fade(kept.data(), rg.data(), want.data(), n, 255, w);
            std::vector<uint32_t> got(n);
            for (int k = 0; k < n; k++) got[size_t(k)] = rg[size_t(k)] | 0xFF0000FFu; // bytes that count as 0
            add_red_green_weighed(got.data(), kept.data(), n, w);
            ASSERT_EQ(got, want) << "weight " << w << " count " << n;
        }
}

TEST(Fades, CountOfZeroOrLessWritesNothing) {
    const auto a = filled(2, 0x00FFFFFFu);
    auto d = filled(2, 0x12345678u);
    cross_fade(a.data(), a.data(), d.data(), 0, 100);
    add_fade(a.data(), a.data(), d.data(), -1, 100, 100);
    clear_words(d.data(), 0);
    clear_words(d.data(), -1);
    EXPECT_EQ(d, filled(2, 0x12345678u));
}

TEST(Fades, ClearWordsClearsTheCountAndNothingAfter) {
    // Whole blocks of 32 words and the words after them, from an odd address on too.
    for (const int offset : {0, 1})
        for (const int n : {1, 31, 32, 33, 95, 129, 76800}) {
            auto d = filled(n + 40, 0x12345678u);
            clear_words(d.data() + offset, n);
            for (int k = 0; k < n + 40; k++)
                ASSERT_EQ(d[size_t(k)], k >= offset && k < offset + n ? 0u : 0x12345678u)
                    << "count " << n << " offset " << offset << " word " << k;
        }
}

TEST(Fades, MatchReferenceAlsoInPlace) {
    const auto a = random_frame(kPixels, 7, true), b = random_frame(kPixels, 8, true);
    std::vector<uint32_t> want(kPixels), got(kPixels);
    for (int level = 0; level <= 255; level += 17) {
        ref::cross_fade(a.data(), b.data(), want.data(), kPixels, level);
        cross_fade(a.data(), b.data(), got.data(), kPixels, level);
        ASSERT_EQ(got, want) << "level " << level;
        got = a; // destination is the first source
        cross_fade(got.data(), b.data(), got.data(), kPixels, level);
        ASSERT_EQ(got, want) << "in place (first) level " << level;
        got = b; // destination is the second source
        cross_fade(a.data(), got.data(), got.data(), kPixels, level);
        ASSERT_EQ(got, want) << "in place (second) level " << level;
    }
    for (int ga = 0; ga <= 256; ga += 32)
        for (int gb : {0, 20, 120, 256}) {
            ref::add_fade(a.data(), b.data(), want.data(), kPixels, ga, gb);
            add_fade(a.data(), b.data(), got.data(), kPixels, ga, gb);
            ASSERT_EQ(got, want) << ga << " " << gb;
            got = b;
            add_fade(a.data(), got.data(), got.data(), kPixels, ga, gb);
            ASSERT_EQ(got, want) << "in place " << ga << " " << gb;
        }
}

TEST(Fades, PosterisedFramesMatchReferenceInPlaceAndNot) {
    // Words that repeat the word before reuse its weighed word, black words add nothing; counts around
    // groups of eight words and of the chunks that a blacker destination source is copied aside in, the
    // destination as either source, both sources, or neither, and either source the blacker.
    for (int count : {1, 3, 4, 5, 8, 9, 15, 520, 1001})
        for (auto [black_a, black_b] : {std::pair{2u, 2u}, {7u, 1u}, {1u, 7u}}) {
            const auto a = posterised(count, 30 + count, black_a), b = posterised(count, 40 + count, black_b);
            std::vector<uint32_t> want(count), got(count);
            auto check = [&](auto fade, auto reference, const char* what) {
                reference(a.data(), b.data(), want.data());
                fade(a.data(), b.data(), got.data());
                ASSERT_EQ(got, want) << what << ", count " << count << ", black " << black_a << "/"
                                     << black_b;
                got = a;
                fade(got.data(), b.data(), got.data());
                ASSERT_EQ(got, want) << what << ", count " << count << ", black " << black_a << "/" << black_b
                                     << ", in place of a";
                got = b;
                fade(a.data(), got.data(), got.data());
                ASSERT_EQ(got, want) << what << ", count " << count << ", black " << black_a << "/" << black_b
                                     << ", in place of b";
                reference(a.data(), a.data(), want.data());
                got = a;
                fade(got.data(), got.data(), got.data());
                ASSERT_EQ(got, want) << what << ", count " << count << ", black " << black_a << "/" << black_b
                                     << ", both sources in place";
            };
            for (int level : {1, 100, 254})
                check([&](const uint32_t* x, const uint32_t* y,
                          uint32_t* d) { cross_fade(x, y, d, count, level); },
                      [&](const uint32_t* x, const uint32_t* y, uint32_t* d) {
                          ref::cross_fade(x, y, d, count, level);
                      },
                      "cross_fade");
            for (auto [ga, gb] :
                 {std::pair{0, 90}, {90, 0}, {255, 90}, {90, 256}, {37, 200}, {255, 255}, {0, 0}})
                check([&](const uint32_t* x, const uint32_t* y,
                          uint32_t* d) { add_fade(x, y, d, count, ga, gb); },
                      [&](const uint32_t* x, const uint32_t* y, uint32_t* d) {
                          ref::add_fade(x, y, d, count, ga, gb);
                      },
                      "add_fade");
        }
}

TEST(Fades, EveryWeightOfEveryByteAlsoInTheTail) {
    // 67 words: the first 64 hold every byte value in each source, the last 3 (12 bytes, past the last
    // whole 16-byte chunk) are random.
    auto a = random_frame(67, 9, true), b = random_frame(67, 10, true);
    for (int i = 0; i < 256; i++) {
        reinterpret_cast<uint8_t*>(a.data())[i] = static_cast<uint8_t>(i);
        reinterpret_cast<uint8_t*>(b.data())[i] = static_cast<uint8_t>(i * 37 + 11); // 37 is odd: all values
    }
    std::vector<uint32_t> want(67), got(67);
    for (int level = 0; level <= 255; level++) {
        ref::cross_fade(a.data(), b.data(), want.data(), 67, level);
        cross_fade(a.data(), b.data(), got.data(), 67, level);
        ASSERT_EQ(got, want) << "level " << level;
    }
    for (int g = 0; g <= 256; g++)
        for (int other : {0, 1, 128, 254, 255, 256}) {
            ref::add_fade(a.data(), b.data(), want.data(), 67, g, other);
            add_fade(a.data(), b.data(), got.data(), 67, g, other);
            ASSERT_EQ(got, want) << g << " " << other;
            ref::add_fade(a.data(), b.data(), want.data(), 67, other, g);
            add_fade(a.data(), b.data(), got.data(), 67, other, g);
            ASSERT_EQ(got, want) << other << " " << g;
        }
}

} // namespace
