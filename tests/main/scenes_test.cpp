// The sequencer's drawing operations: captions (over a caption bitmap of the test's own), thumbnails, the
// asset preparation and the panorama compositor, on frames built in the test.
#include "demo.h"
#include "demo_local.h"

#include "assets.h"
#include "fx.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {
constexpr uint32_t kOrange = 0x00EE8800;

std::vector<uint32_t> patterned_frame(uint32_t top = 0) {
    std::vector<uint32_t> f(kScreenWords);
    for (int i = 0; i < kScreenWords; i++) f[i] = top | ((static_cast<uint32_t>(i) * 2654435761u) >> 8);
    return f;
}

// One pixel blended by hand: channels move towards 255, 255 and 170 by the weight w = level * v / 255.
uint32_t blended(uint32_t p, int v, int level) {
    const uint32_t w = level * v / 255;
    auto ch = [&](int shift, uint32_t add) {
        return (((p >> shift) & 0xFF) * (255 - w) / 255 + add) << shift;
    };
    return (p & 0xFF000000) | ch(16, w) | ch(8, w) | ch(0, 2 * w / 3);
}

class Captions : public ::testing::Test {
  protected:
    std::vector<uint8_t> bitmap = std::vector<uint8_t>(256 * 256, 0);
    uint8_t& coverage(int band, int row, int col) { return bitmap[size_t((24 * band + row) * 256 + col)]; }
    void caption_blend(int x, int y, int band, int level, uint32_t* dest) {
        caption_blend_from(bitmap.data(), x, y, band, level, dest);
    }
};
} // namespace

TEST_F(Captions, FullCoverageReachesTheCaptionColourAndLevelScalesIt) {
    for (int c = 0; c < 256; c++) coverage(2, 5, c) = 255;
    auto frame = patterned_frame(0x5A000000);
    const auto before = frame;
    caption_blend(30, 50, 2, 255, frame.data());
    for (int i = 0; i < kScreenWords; i++) {
        const int row = i / kScreenW, col = i % kScreenW;
        if (row == 55 && col >= 30 && col < 286)
            ASSERT_EQ(frame[i], 0x5A000000u | 0x00FFFFAA) << col;
        else
            ASSERT_EQ(frame[i], before[i]) << row << "," << col;
    }
    std::vector<uint32_t> black(kScreenWords, 0);
    caption_blend(0, 0, 2, 200, black.data());
    EXPECT_EQ(black[5 * kScreenW + 7], (200u << 16) | (200u << 8) | 133u);
    auto same = before;
    caption_blend(30, 50, 2, 0, same.data());
    EXPECT_EQ(same, before);
}

TEST_F(Captions, PartialCoverageBlendsEachChannel) {
    coverage(0, 0, 0) = 128;
    coverage(0, 0, 1) = 1;
    coverage(0, 0, 2) = 254;
    std::vector<uint32_t> frame(kScreenWords, 0x00FFFFFF);
    frame[1] = 0x00000000;
    frame[2] = 0x00102030;
    caption_blend(0, 0, 0, 255, frame.data());
    EXPECT_EQ(frame[0], 0x00FFFFD4u); // w 128: blue 255 * 127 / 255 + 85 = 212
    EXPECT_EQ(frame[1], 0x00010100u); // w 1: 2 / 3 of one step is nothing
    EXPECT_EQ(frame[2], blended(0x00102030, 254, 255));
    EXPECT_EQ(frame[3], 0x00FFFFFFu); // coverage 0 is transparent
}

TEST_F(Captions, EveryLevelAndCoverageMatchesTheHandBlend) {
    // Runs of zero, full and partial coverage, at offsets that cut the band anywhere in a group of pixels.
    for (int r = 0; r < 24; r++)
        for (int c = 0; c < 256; c++) {
            const uint32_t h = (static_cast<uint32_t>(r * 256 + c) * 2654435761u) >> 24;
            coverage(3, r, c) = (c / 8) % 3 == 0 ? 0 : (c / 8) % 3 == 1 ? 255 : static_cast<uint8_t>(h);
        }
    for (int level : {1, 2, 77, 128, 200, 254, 255})
        for (int x : {-3, 0, 1, 63, 66}) {
            auto frame = patterned_frame(0xC3000000);
            const auto before = frame;
            caption_blend(x, 7, 3, level, frame.data());
            for (int row = 7; row < 31; row++)
                for (int col = 0; col < kScreenW; col++) {
                    const int i = row * kScreenW + col, b = col - x;
                    const uint32_t want =
                        b >= 0 && b < 256 ? blended(before[i], coverage(3, row - 7, b), level) : before[i];
                    ASSERT_EQ(frame[i], want)
                        << "level " << level << " x " << x << " at " << row << "," << col;
                }
        }
}

TEST_F(Captions, ColumnsAreClippedToTheFrame) {
    for (int r = 0; r < 24; r++)
        for (int c = 0; c < 256; c++) coverage(4, r, c) = static_cast<uint8_t>(1 + (c * 7 + r * 3) % 255);
    // Right edge: only frame columns 300..319, from bitmap columns 0..19.
    auto frame = patterned_frame();
    const auto before = frame;
    caption_blend(300, 100, 4, 230, frame.data());
    for (int row = 0; row < kScreenH; row++)
        for (int col = 0; col < kScreenW; col++) {
            const int i = row * kScreenW + col;
            const bool inside = row >= 100 && row < 124 && col >= 300;
            ASSERT_EQ(frame[i],
                      inside ? blended(before[i], coverage(4, row - 100, col - 300), 230) : before[i])
                << row << "," << col;
        }
    // Left edge: bitmap columns 77..255 land on frame columns 0..178.
    frame = before;
    caption_blend(-77, 216, 4, 255, frame.data());
    for (int row = 216; row < kScreenH; row++)
        for (int col = 0; col < kScreenW; col++) {
            const int i = row * kScreenW + col;
            ASSERT_EQ(frame[i],
                      col <= 178 ? blended(before[i], coverage(4, row - 216, col + 77), 255) : before[i])
                << row << "," << col;
        }
    // Nothing of a band entirely outside the columns is drawn.
    frame = before;
    caption_blend(320, 0, 4, 255, frame.data());
    caption_blend(-256, 0, 4, 255, frame.data());
    EXPECT_EQ(frame, before);
}

TEST_F(Captions, RowsOutsideTheFrameAreNeverWritten) {
    for (int r = 0; r < 24; r++) coverage(0, r, 0) = 255;
    std::vector<uint32_t> frame(kScreenWords, 0);
    caption_blend(0, 230, 0, 255, frame.data()); // would run 14 rows past the end of the frame
    caption_blend(0, -5, 0, 255, frame.data());
    caption_blend(0, 0, 6, 255, frame.data()); // no band 6
    EXPECT_EQ(std::count(frame.begin(), frame.end(), 0u), kScreenWords);
}

TEST(Thumbnails, SampleEveryFifthPixelHalvedInsideABorder) {
    std::vector<uint32_t> white(kScreenWords, 0x00FFFFFF);
    make_thumb(white.data());
    for (int i = 0; i < kThumbH; i++)
        for (int j = 0; j < kThumbW; j++) {
            const bool border = i == 0 || i == kThumbH - 1 || j == 0 || j == kThumbW - 1;
            ASSERT_EQ(thumb[i * kThumbW + j], border ? 0x00885500u : 0x007F7F7Fu) << i << "," << j;
        }
    const auto frame = patterned_frame(0xFF000000);
    make_thumb(frame.data());
    EXPECT_EQ(thumb[1 * kThumbW + 1], (frame[5 * kScreenW + 5] >> 1) & 0x7F7F7F7F);
    EXPECT_EQ(thumb[46 * kThumbW + 62], (frame[230 * kScreenW + 310] >> 1) & 0x7F7F7F7F);
    EXPECT_EQ(thumb[20 * kThumbW + 33] >> 24, 0x7Fu); // the top byte is halved like the others
}

TEST(Thumbnails, PastingClipsOnEverySide) {
    for (int i = 0; i < kThumbW * kThumbH; i++) thumb[i] = 0x01000000u | static_cast<uint32_t>(i);
    const std::vector<uint32_t> base(kScreenWords, 0x00123456);
    auto check = [&](int x, int y) {
        std::vector<uint32_t> frame = base;
        paste_thumb(frame.data(), x, y);
        for (int row = 0; row < kScreenH; row++)
            for (int col = 0; col < kScreenW; col++) {
                const int tr = row - y, tc = col - x;
                const bool covered = tr >= 0 && tr < kThumbH && tc >= 0 && tc < kThumbW;
                ASSERT_EQ(frame[row * kScreenW + col], covered ? thumb[tr * kThumbW + tc] : 0x00123456u)
                    << "paste at " << x << "," << y << ": " << row << "," << col;
            }
    };
    check(245, 0);
    check(100, 220); // 20 rows
    check(300, 50);  // 20 columns
    check(-10, 30);  // thumbnail columns 10..63 at frame columns 0..53
    check(12, -10);  // the strip: frame rows 0..37 show thumbnail rows 10..47
    check(-70, 5);
    check(320, 5);
    check(5, 240);
    check(5, -48);
}

TEST(Preparation, PanoramaTables) {
    make_pano_tables();
    const uint8_t key = muotokuva[0];
    auto back = [](int r, int c) { return pano_back[r * kPanoW + c]; };
    auto band = [&](int picture_row, int c) {
        const uint8_t s = muotokuva[picture_row * 256 + 44 + 2 * (c % 82)];
        return s == key ? kOrange : static_cast<uint32_t>(3 * s / 5) << 16;
    };
    for (int c = 0; c < kPanoW; c++) {
        for (int r = 0; r <= 72; r++) ASSERT_EQ(back(r, c), kOrange) << r << "," << c;
        for (int r = 201; r < kScreenH; r++) ASSERT_EQ(back(r, c), 0u) << r << "," << c;
        ASSERT_EQ(back(73, c), band(0, c)) << c;
        ASSERT_EQ(back(200, c), band(254, c)) << c;
        ASSERT_EQ(back(137, c), back(137, c % 82)) << c; // repeats every 82 columns
        for (int r : {0, 100, 239})
            ASSERT_EQ(pano_front[r * kPanoW + c], static_cast<uint32_t>(muotokuva[r * 256 + c % 256]) << 16);
    }
    EXPECT_EQ(pano_front[0], static_cast<uint32_t>(key) << 16); // the foreground's transparent key
}

TEST(Preparation, ZoomTextureTintsThePortrait) {
    make_zoom_texture();
    int keyed = 0;
    for (int i = 0; i < 256 * 256; i++) {
        const uint32_t v = naama[i];
        keyed += v == naama[0];
        // The key becomes the panorama's orange, everything else 3/4 of its value in red (255 -> 0xBF).
        ASSERT_EQ(zoom_texture[i], v == naama[0] ? kOrange : (3 * v / 4) << 16) << i;
    }
    EXPECT_GT(keyed, 0);
}

TEST(Preparation, PortraitScreenHoldsThePictureTwice) {
    std::fill(screen_b, screen_b + kScreenWords, 0xDEADBEEF);
    make_portrait_screen();
    for (int r = 0; r < kScreenH; r++)
        for (int c = 0; c < kScreenW; c++) {
            const uint32_t upper = screen_b[r * kScreenW + c];
            ASSERT_EQ(upper, screen_b[(kScreenH + r) * kScreenW + c]) << r << "," << c;
            if (c < 32 || c >= 288) {
                ASSERT_EQ(upper, 0u) << r << "," << c;
            } else {
                const uint32_t v = muotokuva[r * 256 + c - 32];
                ASSERT_EQ(upper, (v << 16) | ((v / 2) << 8)) << r << "," << c;
            }
        }
}

TEST(Compositors, PanoramaSceneAtTimeZero) {
    // At t = 0 the panorama is blurred with the widest window (41), faded to level 90 towards black,
    // and both titles are still at level 0.
    init_maf();
    make_pano_tables();
    pano_init(pano_back, pano_front);
    std::vector<uint32_t> expected(kScreenWords), blurred(kScreenWords), black(kScreenWords, 0);
    pano_effect(expected.data(), 10000);
    horiz_maf(expected.data(), blurred.data(), 0, 0, 0, 0, 320, 240, 320, 240, 41);
    cross_fade(blurred.data(), black.data(), expected.data(), kScreenWords, 90);
    std::vector<uint32_t> frame(kScreenWords, 0x00FFFFFF);
    pano_scene(frame.data(), 0);
    EXPECT_EQ(frame, expected);
}

// pano_halftone_fade is the panorama cross-faded into the halftone scene: at the fade's ends, with the
// titles coming up and at full level (the caption rows are weighed apart from the rest). The halftone
// scene has neither blue nor top bytes, which the fade leaves out.
TEST(Compositors, PanoramaHalftoneFadeIsTheCrossFadeOfBothScenes) {
    init_maf();
    make_pano_tables();
    pano_init(pano_back, pano_front);
    halftone_init(kScreenW, kScreenH);
    std::vector<uint32_t> halftone(kScreenWords), panorama(kScreenWords), want(kScreenWords),
        scratch(kScreenWords), got(kScreenWords);
    for (int t : {0, 200, 700})
        for (int level : {0, 1, 77, 254, 255}) {
            pano_scene(panorama.data(), t);
            halftone_scene(halftone.data(), t / 3);
            for (const uint32_t w : halftone) ASSERT_EQ(w & 0xFF0000FFu, 0u) << "a blue or top byte, t " << t;
            cross_fade(panorama.data(), halftone.data(), want.data(), kScreenWords, level);
            pano_halftone_fade(scratch.data(), got.data(), t, t / 3, level);
            ASSERT_EQ(got, want) << "t " << t << ", level " << level;
        }
}

// zoom_cross_fade is the zoom scene cross-faded into the frame, thumbnails included, at the fade's ends
// and between.
TEST(Compositors, ZoomCrossFadeIsTheZoomSceneCrossFadedIn) {
    make_zoom_texture();
    std::vector<uint32_t> other(kScreenWords), zoom(kScreenWords), want(kScreenWords), scratch(kScreenWords);
    for (int i = 0; i < kScreenWords; i++)
        other[size_t(i)] = (static_cast<uint32_t>(i) * 2654435761u) & 0x00FFFFFFu;
    for (int t : {0, 37, 200, 1000})
        for (int level : {0, 1, 77, 254, 255}) {
            zoom_scene(zoom.data(), t);
            cross_fade(other.data(), zoom.data(), want.data(), kScreenWords, level);
            std::vector<uint32_t> got = other;
            zoom_cross_fade(scratch.data(), got.data(), t, level);
            ASSERT_EQ(got, want) << "t " << t << ", level " << level;
        }
}

// The titles fade in one after the other: band 0 reaches full level at t = 255, band 1 at t = 383. A pixel
// of full coverage shows exactly the caption colour at full level, whatever lies below, and not before.
TEST(Compositors, PanoramaTitlesReachFullLevelOneAfterTheOther) {
    init_maf();
    make_pano_tables();
    pano_init(pano_back, pano_front);
    std::vector<uint32_t> frame(kScreenWords);
    const struct { int band, x, y, full_at; } titles[] = {{0, 125, 114, 255}, {1, 65, 138, 383}};
    for (const auto& title : titles) {
        SCOPED_TRACE(title.band);
        std::vector<int> covered; // frame pixels under the band's fully covered bitmap pixels
        for (int r = 0; r < 24; r++)
            for (int c = 0; c < 256 && title.x + c < kScreenW; c++)
                if (tekstit[(24 * title.band + r) * 256 + c] == 255)
                    covered.push_back((title.y + r) * kScreenW + title.x + c);
        ASSERT_FALSE(covered.empty());
        auto all_caption_colour = [&](int t) {
            pano_scene(frame.data(), t);
            return std::all_of(covered.begin(), covered.end(),
                               [&](int i) { return frame[i] == 0x00FFFFAAu; });
        };
        EXPECT_FALSE(all_caption_colour(title.full_at - 1));
        EXPECT_TRUE(all_caption_colour(title.full_at));
        EXPECT_TRUE(all_caption_colour(title.full_at + 500));
    }
}

TEST(Compositors, HalftoneSceneDrawsOnlyThePanoramaPixelsItSamples) {
    // The scene draws the panorama only where the halftone samples it; the result must be the
    // halftone of the whole panorama, blurred, with the thumbnail strip.
    init_maf();
    make_pano_tables();
    pano_init(pano_back, pano_front);
    halftone_init(kScreenW, kScreenH);
    for (int t : {0, 5, 333}) {
        std::vector<uint32_t> pano(kScreenWords), dots(kScreenWords, 0), expected(kScreenWords);
        pano_effect(pano.data(), static_cast<uint32_t>(10000 - t));
        halftone(dots.data(), pano.data(), 255);
        horiz_maf(dots.data(), expected.data(), 0, 0, 0, 0, 320, 240, 320, 240,
                  static_cast<int>(std::sin(t * 0.1) * 8 + 10));
        make_thumb(expected.data());
        for (int x : {12, 90, 168, 246}) paste_thumb(expected.data(), x, -10);
        std::vector<uint32_t> frame(kScreenWords, 0x00FFFFFF);
        halftone_scene(frame.data(), t);
        ASSERT_EQ(frame, expected) << t;
    }
}

TEST(Timing, BounceTracesThreeArcs) {
    for (int t : {0, 24, 36, 42}) EXPECT_EQ(bounce_offset(t), 0) << t;
    EXPECT_EQ(bounce_offset(12), 48);
    EXPECT_EQ(bounce_offset(30), 12);
    EXPECT_EQ(bounce_offset(39), 3);
    EXPECT_EQ(bounce_offset(1), (144 - 121) / 3);
    EXPECT_EQ(bounce_offset(25), (36 - 25) / 3);
    for (int t = 0; t <= 42; t++) EXPECT_GE(bounce_offset(t), 0) << t;
}

TEST(Timing, ReversingClockRunsOnWithoutAJump) {
    reversing_clock clock;
    clock.origin = 100; // started at tick 100
    EXPECT_EQ(clock.time(150), 50);
    clock.reverse(150); // first beat: the time stays where it was, then runs backwards
    EXPECT_EQ(clock.time(150), 50);
    EXPECT_EQ(clock.time(160), 40);
    clock.reverse(170); // second beat: forwards again from 30
    EXPECT_EQ(clock.time(170), 30);
    EXPECT_EQ(clock.time(175), 35);
    clock.reverse(175);
    EXPECT_EQ(clock.time(185), 25);
}
