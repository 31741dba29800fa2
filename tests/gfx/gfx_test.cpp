// Display layer over SDL 1.2, run headless on SDL's dummy video driver: the RGB565 conversion, the
// surface it opens, the presentation (pitch included) and the exit requests.
#include "gfx.h"
#include "rgb565.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <vector>

namespace {
class GfxSdl : public ::testing::Test {
  protected:
    void SetUp() override { setenv("SDL_VIDEODRIVER", "dummy", 1); }
    void TearDown() override { gfx_close(); }
    static uint16_t pixel_at(int x, int y) {
        SDL_Surface* s = SDL_GetVideoSurface();
        return *reinterpret_cast<const uint16_t*>(static_cast<const uint8_t*>(s->pixels) + y * s->pitch +
                                                  x * 2);
    }
};
} // namespace

TEST(Rgb565, KeepsTheTopBitsOfEachChannel) {
    EXPECT_EQ(rgb565(0x00FFFFFF), 0xFFFF);
    EXPECT_EQ(rgb565(0x00FF0000), 0xF800);
    EXPECT_EQ(rgb565(0x0000FF00), 0x07E0);
    EXPECT_EQ(rgb565(0x000000FF), 0x001F);
    EXPECT_EQ(rgb565(0x00070307), 0x0000); // below one step in every channel: truncated, not rounded
    EXPECT_EQ(rgb565(0x00080408), 0x0821);
    EXPECT_EQ(rgb565(0x00123456), (0x12 >> 3) << 11 | (0x34 >> 2) << 5 | 0x56 >> 3);
}

TEST(Rgb565, IgnoresTheTopByte) {
    EXPECT_EQ(rgb565(0xFF000000), 0x0000);
    for (uint32_t p : {0x00000000u, 0x00FFFFFFu, 0x00A5C3E1u}) EXPECT_EQ(rgb565(p | 0x7F000000), rgb565(p));
}

TEST(Rgb565, RowsOfAnyLengthConvertEveryPixel) {
    // The row converter works four pixels at a time; lengths that are not multiples of four must still
    // convert every pixel and write nothing past the end.
    for (int n : {0, 1, 3, 4, 5, 7, 320}) {
        std::vector<uint32_t> src(n);
        for (int i = 0; i < n; i++) src[i] = 0x00010203u * static_cast<uint32_t>(i * 37 + 11);
        std::vector<uint16_t> dst(n + 1, 0xBEEF);
        rgb565_row(src.data(), dst.data(), n);
        for (int i = 0; i < n; i++) EXPECT_EQ(dst[i], rgb565(src[i])) << "n " << n << " i " << i;
        EXPECT_EQ(dst[n], 0xBEEF) << "n " << n;
    }
}

TEST(Rgb565, PaddedRowsAreNotSheared) {
    // 3 pixels of 16 bits per row, rows 8 bytes apart: the padding must stay untouched.
    const uint32_t frame[12] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0,        0xFF0000,
                                0x00FF00, 0x0000FF, 0xFFFFFF, 0,        0x808080, 0x404040};
    uint16_t surface[4 * 4];
    std::fill(std::begin(surface), std::end(surface), 0xBEEF);
    rgb565_frame(frame, 3, 4, reinterpret_cast<uint8_t*>(surface), 8);
    for (int y = 0; y < 4; y++) {
        for (int x = 0; x < 3; x++) EXPECT_EQ(surface[y * 4 + x], rgb565(frame[y * 3 + x])) << x << "," << y;
        EXPECT_EQ(surface[y * 4 + 3], 0xBEEF) << "padding of row " << y;
    }
}

TEST_F(GfxSdl, UnknownModeFailsWithoutTouchingSdl) {
    EXPECT_EQ(gfx_init(3), 1);
    EXPECT_EQ(gfx_init(0), 1);
    EXPECT_EQ(SDL_WasInit(SDL_INIT_EVERYTHING), 0u);
}

TEST_F(GfxSdl, ModesOpenTheirSurfaces) {
    ASSERT_EQ(gfx_init(1), 0);
    SDL_Surface* s = SDL_GetVideoSurface();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->w, 320);
    EXPECT_EQ(s->h, 240);
    EXPECT_EQ(s->format->BitsPerPixel, 16);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    gfx_close();
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
    ASSERT_EQ(gfx_init(2), 0);
    EXPECT_EQ(SDL_GetVideoSurface()->h, 200);
}

TEST_F(GfxSdl, PresentsEveryPixelConverted) {
    ASSERT_EQ(gfx_init(1), 0);
    std::vector<uint32_t> frame(320 * 240);
    for (int i = 0; i < 320 * 240; i++) frame[i] = 0xAB000000u | static_cast<uint32_t>(i * 2654435761u >> 8);
    EXPECT_EQ(gfx_blit(frame.data()), 0);
    for (int y = 0; y < 240; y += 7)
        for (int x = 0; x < 320; x += 3)
            ASSERT_EQ(pixel_at(x, y), rgb565(frame[y * 320 + x])) << x << "," << y;
    EXPECT_EQ(pixel_at(319, 239), rgb565(frame.back()));
}

TEST_F(GfxSdl, OpeningFailsWithoutAUsableDisplay) {
    setenv("SDL_VIDEODRIVER", "nonexistent", 1);
    EXPECT_EQ(gfx_init(1), 1);
}

TEST_F(GfxSdl, QuitEventEndsTheDemoAndStaysPending) {
    ASSERT_EQ(gfx_init(1), 0);
    EXPECT_EQ(gfx_exitevent(), 0);
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    ASSERT_EQ(SDL_PushEvent(&quit), 0);
    EXPECT_EQ(gfx_exitevent(), 1);
    EXPECT_EQ(gfx_exitevent(), 1); // peeked, not taken off the queue
    SDL_Event taken;
    EXPECT_EQ(SDL_PeepEvents(&taken, 1, SDL_GETEVENT, SDL_QUITMASK), 1);
}

TEST_F(GfxSdl, OnlyEscapeHeldEndsTheDemo) {
    ASSERT_EQ(gfx_init(1), 0);
    // The dummy driver has no keyboard: hold keys by writing SDL's own key state array.
    int count = 0;
    Uint8* keys = SDL_GetKeyState(&count);
    ASSERT_GT(count, SDLK_ESCAPE);
    for (SDLKey other : {SDLK_SPACE, SDLK_RETURN, SDLK_q, SDLK_LEFT}) {
        keys[other] = 1;
        EXPECT_EQ(gfx_exitevent(), 0) << "key " << other;
        keys[other] = 0;
    }
    keys[SDLK_ESCAPE] = 1;
    EXPECT_EQ(gfx_exitevent(), 1);
    EXPECT_EQ(gfx_exitevent(), 1);
    keys[SDLK_ESCAPE] = 0;
    EXPECT_EQ(gfx_exitevent(), 0); // released: nothing else pending
}
