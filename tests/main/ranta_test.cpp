// Tests of the shore scene: its set-up as the sequencer relies on it, that it draws only where its polygons
// are (and the same there whatever lies below), that a frame depends on the clock alone, and that a scene the
// reader refuses is reported and leaves nothing to draw.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "assets.h"
#include "ranta.h"
#include "vec.h"

namespace {

constexpr int kPixels = 320 * 240;

std::vector<const vec_object*> objects() {
    std::vector<const vec_object*> out;
    for (const vec_objnode* n = ranta_inspect().world->objects->first; n; n = n->next)
        out.push_back(n->object);
    return out;
}

// One set-up for the whole suite, as in the demo; the frame is heap memory of exactly one frame so that the
// sanitizers catch a write outside it.
class Shore : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        frame = new uint32_t[kPixels];
        std::srand(77);
        ASSERT_EQ(ranta_init(frame), 0);
    }
    static void TearDownTestSuite() { delete[] frame; }
    void draw(int clock, uint32_t background) {
        for (int i = 0; i < kPixels; i++) frame[i] = background;
        ranta_effect(clock);
    }
    static uint32_t* frame;
};
uint32_t* Shore::frame = nullptr;

TEST_F(Shore, SetsUpTheWorldTheCameraAndTheFlightTable) {
    const ranta_view scene = ranta_inspect();
    const vec_world& cam = *scene.cam;
    EXPECT_EQ(cam.xres, 320);
    EXPECT_EQ(cam.yres, 240);
    EXPECT_EQ(cam.bits, 32);
    EXPECT_EQ(cam.screen, frame);
    EXPECT_EQ(cam.zbuffer, nullptr);
    EXPECT_EQ(cam.objects, scene.world->objects); // the camera sees the world's list
    EXPECT_STREQ(cam.name, "Camera01");

    // The scene's seven objects, then nine copies of the last one: ten balls sharing one mesh.
    const auto objs = objects();
    ASSERT_EQ(objs.size(), 16u);
    const vec_object* ball = objs[6];
    EXPECT_STREQ(ball->name, "pallo");
    for (size_t i = 7; i < 16; i++) {
        EXPECT_EQ(objs[i]->faces, ball->faces);
        EXPECT_NE(objs[i]->tverts, ball->tverts); // each instance projects its own vertices
    }

    // Each ball flies at a radius round the lighthouse and a rhythm in the ranges the scene is built for.
    for (int i = 0; i < ranta_balls; i++) {
        EXPECT_GE(scene.korpa[i], 25000.0f) << i;
        EXPECT_LE(scene.korpa[i], 54999.0f) << i;
        EXPECT_GE(scene.nurpo[i], 100) << i;
        EXPECT_LE(scene.nurpo[i], 449) << i;
    }
}

// Ball i flies at radius korpa[i] round the lighthouse and comes back to where it was after 4 * nurpo[i]
// ticks.
TEST_F(Shore, BallsFlyAtTheirRadiusAndPace) {
    const auto objs = objects();
    const float* korpa = ranta_inspect().korpa;
    const int* nurpo = ranta_inspect().nurpo;
    for (int i = 0; i < ranta_balls; i++) {
        draw(100, 0);
        const vec_object* b = objs[i == 0 ? 6 : size_t(6 + i)];
        const float x = b->pos[0], y = b->pos[1];
        EXPECT_NEAR(std::sqrt(x * x + y * y), korpa[i], korpa[i] * 1e-5f) << i;
        draw(100 + 4 * nurpo[i], 0);
        EXPECT_NEAR(b->pos[0], x, 2.0f) << i;
        EXPECT_NEAR(b->pos[1], y, 2.0f) << i;
        draw(100 + nurpo[i], 0); // a quarter round later it is elsewhere
        EXPECT_GT(std::fabs(b->pos[0] - x) + std::fabs(b->pos[1] - y), korpa[i] * 0.5f) << i;
    }
}

// The scene covers part of the frame, not all of it, and what it draws does not depend on the pixels below.
TEST_F(Shore, DrawsOnlyOverItsPolygons) {
    std::vector<uint32_t> on_black(kPixels);
    for (int clock : {0, 333, 1200, 2900, 6000}) {
        SCOPED_TRACE(clock);
        draw(clock, 0x00000000);
        on_black.assign(frame, frame + kPixels);
        draw(clock, 0x00FF00FF); // a colour the scene never uses
        int covered = 0;
        for (int i = 0; i < kPixels; i++) {
            if (frame[i] == 0x00FF00FF) {
                ASSERT_EQ(on_black[size_t(i)], 0u) << "pixel " << i;
                continue;
            }
            ASSERT_EQ(frame[i], on_black[size_t(i)]) << "pixel " << i;
            ASSERT_EQ(frame[i] >> 24, 0u);
            covered++;
        }
        EXPECT_GT(covered, kPixels / 20); // the lighthouse, its islet and the balls are plainly there
        EXPECT_LT(covered, kPixels / 2);  // and the portrait still shows around them
    }
}

// The picture follows the clock alone: the same clock gives the same frame whatever was drawn before (no
// rotation or motion piles up from frame to frame), and the scene moves as the clock runs.
TEST_F(Shore, FrameDependsOnlyOnTheClock) {
    std::vector<uint32_t> first(kPixels);
    draw(100, 0);
    draw(400, 0);
    first.assign(frame, frame + kPixels);
    for (int before : {3000, 401, 0}) {
        draw(before, 0);
        draw(before, 0);
        draw(400, 0);
        EXPECT_TRUE(std::equal(first.begin(), first.end(), frame)) << "after " << before;
    }
    draw(425, 0);
    EXPECT_FALSE(std::equal(first.begin(), first.end(), frame));
}

// A second start-up in one process (tests, the capture tool) replaces the scene instead of piling a second
// world on the first (the sanitizer build's leak check sees a scene that is not released), and draws the
// same.
TEST_F(Shore, ASecondStartUpReplacesTheScene) {
    draw(400, 0);
    std::vector<uint32_t> first(frame, frame + kPixels);
    const int count = ranta_inspect().world->objects->count;
    std::srand(77);
    ASSERT_EQ(ranta_init(frame), 0);
    EXPECT_EQ(ranta_inspect().world->objects->count, count);
    draw(400, 0);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), frame));
}

// A scene the reader refuses (a malformed file, or one without a camera 1) is reported, and the scene of an
// earlier start-up is gone: nothing is drawn until a start-up succeeds.
TEST(ShoreFailure, AnUnreadableSceneIsReportedAndLeavesNothingToDraw) {
    const uint8_t broken[] = {0x4D, 0x4D, 0xFF, 0, 0, 0, 0x3D, 0x3D};
    std::vector<uint8_t> no_camera(pallo, pallo + 6);
    no_camera[2] = 6;
    no_camera[3] = no_camera[4] = no_camera[5] = 0;
    std::vector<uint32_t> frame(kPixels);
    for (const std::vector<uint8_t>& scene :
         {std::vector<uint8_t>(broken, broken + sizeof broken), no_camera}) {
        ASSERT_EQ(ranta_init(frame.data()), 0);
        EXPECT_EQ(ranta_init_scene(frame.data(), scene.data(), scene.size()), 1);
        EXPECT_EQ(ranta_inspect().world->objects, nullptr);
        std::fill(frame.begin(), frame.end(), 0x00123456u);
        ranta_effect(400);
        EXPECT_EQ(std::count(frame.begin(), frame.end(), 0x00123456u), kPixels);
    }
}

} // namespace
