// The render pipeline: projection, culling, back faces, depth order, shading, hierarchy, mirroring and the
// near-plane clipper, checked on the pictures it draws.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "vec.h"
#include "vec_local.h"
#include "vec_test_util.h"

namespace {

constexpr int kW = 320, kH = 240;

class VecRender : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(vec_init(&world), 0);
        reset_engine_settings();
        const float overhead[3] = {0.0f, 0.0f, 100000.0f};
        vec_set_lsrc(overhead);
        ASSERT_EQ(vec_init_cam(&cam, &world), 0);
        ASSERT_EQ(vec_set_camres(&cam, kW, kH, 32), 0);
        fb.assign(kW * kH, 0);
        cam.screen = fb.data();
        look_from(0, 0, 1000);
    }
    void TearDown() override {
        vec_set_zbuffer(&cam, 0);
        vec_free_world(&world);
        vec_close(&world);
        reset_engine_settings();
    }
    void look_from(float x, float y, float z) {
        cam.pos[0] = x;
        cam.pos[1] = y;
        cam.pos[2] = z;
    }
    vec_object* add(vec_object* o, uint32_t colour, int level = 0) {
        EXPECT_NE(o, nullptr);
        o->color = colour;
        EXPECT_EQ(vec_add_object(&world, o, level), 0);
        return o;
    }
    void render() {
        std::fill(fb.begin(), fb.end(), 0);
        vec_render_world(&cam);
    }
    uint32_t at(int x, int y) const { return fb[y * kW + x]; }
    vec_world world, cam;
    std::vector<uint32_t> fb;
};

TEST(VecProject, ScreenPositionsInSubpixels) {
    vec_object* o = make_mesh({1, 1, -240, -2, 3, -480, 0, 0, -100, 5, 5, -105}, {0, 1, 2, 0, 2, 3});
    ASSERT_NE(o, nullptr);
    vec_init_qmatr(o->work);
    vec_project_object(o, kW, kH, 256.0f);
    // One unit at distance 240 is one pixel both ways; y grows downwards.
    EXPECT_NEAR(o->scrverts[0], 160.0f * 256 + 256, 1e-2);
    EXPECT_NEAR(o->scrverts[1], 120.0f * 256 - 256, 1e-2);
    EXPECT_NEAR(o->scrverts[2], 160.0f * 256 - 256, 1e-2);
    EXPECT_NEAR(o->scrverts[3], 120.0f * 256 - 384, 1e-2);
    // Closer than the near plane: the centre. At the plane: projected.
    EXPECT_EQ(o->scrverts[4], 160.0f * 256);
    EXPECT_EQ(o->scrverts[5], 120.0f * 256);
    EXPECT_NEAR(o->scrverts[6], 160.0f * 256 + 5.0f / 105 * 192 * kW, 1e-2);
    // The aspect scales y only.
    vec_project_object(o, kW, kH, 512.0f);
    EXPECT_NEAR(o->scrverts[0], 160.0f * 256 + 256, 1e-2);
    EXPECT_NEAR(o->scrverts[1], 120.0f * 256 - 512, 1e-2);
    // The translation of work is applied.
    o->work[0][3] = 240.0f;
    vec_project_object(o, kW, kH, 256.0f);
    EXPECT_EQ(o->tverts[0], 241.0f);
    vec_free_object(o);
}

TEST_F(VecRender, DrawsAShadedSquareFacingTheCamera) {
    add(make_square(100), 0x00FFFFFF);
    render();
    // Half-size 100 at distance 1000 is 24 pixels: columns 136..183, rows 96..143 or so.
    EXPECT_EQ(at(160, 120), 0x00FEFEFEu); // full light through the product table
    EXPECT_EQ(at(140, 100), 0x00FEFEFEu);
    EXPECT_EQ(at(130, 120), 0u);
    EXPECT_EQ(at(160, 90), 0u);
    const int n = count_pixels(fb);
    EXPECT_NEAR(n, 48 * 48, 2 * 48 * 2);

    // Light at cos 0.6 off the normal: shade 0.6 * 65536 = 0x9999, so each byte is 255 * 0x99 >> 8.
    const float side[3] = {0.0f, 80000.0f, 60000.0f};
    vec_set_lsrc(side);
    render();
    EXPECT_EQ(at(160, 120), 0x00989898u);
    // Light behind the square: the shade minimum.
    const float below[3] = {0.0f, 0.0f, -100000.0f};
    vec_set_lsrc(below);
    vec_set_range(80, 176);
    render();
    EXPECT_EQ(at(160, 120), 0x004F4F4Fu); // 80 * 255 >> 8
}

TEST_F(VecRender, BackFacesAreSkippedUnlessDoubleSided) {
    vec_object* o = add(make_square(100), 0x00FFFFFF);
    look_from(0, 0, -1000); // behind the square
    render();
    EXPECT_EQ(count_pixels(fb), 0);
    o->flags |= kVecTwoSided; // drawn with the corners reversed
    render();
    EXPECT_GT(count_pixels(fb), 2000);
}

TEST_F(VecRender, NearerPolygonsAreDrawnLast) {
    // The nearer square is listed first; the depth sort still draws it over the farther one.
    vec_object* near = add(make_square(100), 0x0000FF00);
    vec_object* far = add(make_square(200), 0x00FF0000);
    near->pos[2] = 300.0f;
    render();
    EXPECT_EQ(at(160, 120), 0x0000FE00u);
    EXPECT_EQ(at(160 - 40, 120), 0x00FE0000u); // outside the near square, inside the far one
    (void)far;
}

TEST_F(VecRender, CullsWholeObjects) {
    vec_object* in = add(make_cube(50), 0x00FFFFFF);
    vec_object* behind = add(make_cube(50), 0x00FFFFFF);
    vec_object* aside = add(make_cube(50), 0x00FFFFFF);
    vec_object* empty = vec_alloc_object(0, 0, 0);
    ASSERT_EQ(vec_init_object(empty), 0);
    add(empty, 0);
    behind->pos[2] = 3000.0f; // pivot 2000 behind the camera
    aside->pos[0] = 5000.0f;  // far out to the side
    // An object whose pivot (minus the local translation) lies behind the camera, though its position
    // does not.
    vec_object* pivoted = add(make_cube(50), 0x00FFFFFF);
    pivoted->local[2][3] = -2500.0f;
    // Vertically the test is scaled by aspect / 128 = 2: at distance 1000 a radius of 87.6 is culled from
    // 500 + 1.421875 * 87.6 = 624.6 up.
    vec_object* above = add(make_cube(50), 0x00FFFFFF);
    vec_object* high = add(make_cube(50), 0x00FFFFFF);
    above->pos[1] = 640.0f;
    high->pos[1] = -610.0f;
    render();
    EXPECT_EQ(above->depth, kVecCulled);
    EXPECT_EQ(high->depth, 1000.0f);
    EXPECT_EQ(in->depth, 1000.0f);
    EXPECT_EQ(behind->depth, kVecCulled);
    EXPECT_EQ(aside->depth, kVecCulled);
    EXPECT_EQ(empty->depth, kVecCulled);
    EXPECT_EQ(pivoted->depth, kVecCulled);
    EXPECT_GT(count_pixels(fb), 0);
    EXPECT_EQ(vec_tell_sorttype(), 0);
}

TEST_F(VecRender, ZBufferOnAThirtyTwoBitTargetDrawsNothing) {
    add(make_square(100), 0x00FFFFFF);
    ASSERT_EQ(vec_set_zbuffer(&cam, 1), 0);
    render();
    EXPECT_EQ(count_pixels(fb), 0);
    ASSERT_EQ(vec_set_zbuffer(&cam, 0), 0);
    render();
    EXPECT_GT(count_pixels(fb), 0);
}

TEST_F(VecRender, ChildrenFollowTheirParents) {
    vec_object* parent = add(make_cube(20), 0x00FFFFFF, 0);
    vec_object* child = add(make_cube(10), 0x00FFFFFF, 1);
    child->matrix[0][3] = 100.0f; // offset from the parent
    render();
    const float cx = child->work[0][3], cy = child->work[1][3];
    EXPECT_EQ(cx - parent->work[0][3], 100.0f);
    parent->move[1] = 60.0f;
    render();
    EXPECT_EQ(child->work[1][3] - cy, 60.0f);
    EXPECT_EQ(child->work[0][3], cx);
    // A parent's turn turns the child about the parent: a quarter turn about z moves it from +x to -y.
    parent->turn[2] = 256.0f;
    render();
    EXPECT_NEAR(child->work[0][3] - parent->work[0][3], 0.0f, 1e-3);
    EXPECT_NEAR(child->work[1][3] - parent->work[1][3], -100.0f, 1e-3);
}

TEST_F(VecRender, MirrorFlipsFacingAndStillFills) {
    add(make_square(100), 0x00FFFFFF);
    render();
    const int above_plain = count_pixels(fb);
    vec_set_mirror(1);
    render();
    EXPECT_EQ(count_pixels(fb), 0); // mirrored in z, the square faces away
    look_from(0, 0, -1000);         // the light stays overhead: shading works on the unmirrored object
    render();
    EXPECT_NEAR(count_pixels(fb), above_plain, 100);
    EXPECT_NE(at(160, 120), 0u);
    vec_set_mirror(0);
    render();
    EXPECT_EQ(count_pixels(fb), 0);
}

TEST_F(VecRender, FacesThroughTheNearPlaneAreClipped) {
    // A floor 100 below the eye, reaching from behind the camera far ahead.
    vec_object* floor = add(
        make_mesh({-300, -100, 800, 300, -100, 800, 300, -100, -3000, -300, -100, -3000}, {0, 1, 2, 0, 2, 3}),
        0x00FFFFFF);
    const float overhead[3] = {0.0f, 100000.0f, 0.0f};
    vec_set_lsrc(overhead);
    look_from(0, 0, 0);
    cam.target[2] = -1000.0f;
    render();
    EXPECT_NE(floor->depth, kVecCulled);
    // Below the horizon on the centre column, down to the bottom row; nothing above it.
    EXPECT_NE(at(160, 239), 0u);
    EXPECT_NE(at(160, 140), 0u);
    for (int y = 0; y < 120; y++) ASSERT_EQ(at(160, y), 0u) << y;

    // Every corner behind the camera except one of a triangle: a clipped triangle is drawn ...
    vec_object* tri = add(make_mesh({0, -100, 500, 100, -100, 500, 0, -100, -2000}, {0, 1, 2}), 0x00FFFFFF);
    floor->pos[0] = 100000.0f; // out of view
    render();
    EXPECT_GT(count_pixels(fb), 0);
    // ... but a quad that one corner takes to five corners is not.
    tri->pos[0] = 100000.0f;
    const float qv[12] = {-300, -100, 500, 300, -100, -2000, 300, -100, -3000, -300, -100, -3000};
    vec_object* quad = add(make_quad(qv), 0x00FFFFFF);
    render();
    EXPECT_EQ(count_pixels(fb), 0);
    quad->pos[2] = -1000.0f; // wholly in front: drawn as a quad
    render();
    EXPECT_GT(count_pixels(fb), 0);
}

// A triangle reaching behind the camera is cut where the near plane is: it draws as the quad cut from it by
// hand, whose two new corners lie on its edges at the plane's depth.
TEST_F(VecRender, NearPlaneCutsWhereThePlaneIs) {
    const float overhead[3] = {0.0f, 100000.0f, 0.0f};
    vec_set_lsrc(overhead);
    look_from(0, 0, 0);
    cam.target[2] = -1000.0f;
    const std::vector<float> a = {-200, -100, -600}, b = {250, -40, -900}, c = {60, -160, 400};
    auto on_plane = [](const std::vector<float>& in, const std::vector<float>& out) {
        const double t = (-105.0 - in[2]) / (out[2] - in[2]);
        return std::vector<float>{static_cast<float>(in[0] + t * (out[0] - in[0])),
                                  static_cast<float>(in[1] + t * (out[1] - in[1])), -105.0f};
    };
    std::vector<float> corners = a;
    for (const auto& v : {b, c}) corners.insert(corners.end(), v.begin(), v.end());
    vec_object* tri = add(make_mesh(corners, {0, 2, 1}), 0x00FFFFFF);
    render();
    const std::vector<uint32_t> clipped = fb;

    tri->pos[0] = 100000.0f; // out of view
    corners = a;
    for (const auto& v : {on_plane(a, c), on_plane(b, c), b})
        corners.insert(corners.end(), v.begin(), v.end());
    add(make_quad(corners.data()), 0x00FFFFFF);
    render();
    int differ = 0;
    for (size_t i = 0; i < fb.size(); i++) differ += fb[i] != clipped[i];
    EXPECT_GT(count_pixels(clipped), 20000);
    // A corner rounded the other way may move an edge by a pixel here and there.
    EXPECT_LE(differ, 16) << "of " << count_pixels(clipped);
}

TEST_F(VecRender, VisibilityOfFacesNearTheCamera) {
    vec_object* o = make_mesh({0, 0, -50,  10, 0, -50,  0, 10, -50,   // all three too close
                               0, 0, -50,  10, 0, -500, 0, 10, -500,  // one too close
                               0, 0, -500, 10, 0, -500, 0, 10, -500}, // all in front
                              {0, 1, 2, 3, 4, 5, 6, 7, 8});
    ASSERT_NE(o, nullptr);
    vec_init_qmatr(o->work);
    vec_project_object(o, kW, kH, 256.0f);
    vec_init_sort();
    EXPECT_EQ(vec_visicalc(o), 2);
    // Turned round, the last face is a back face and drops out; the one crossing the plane stays.
    for (int i = 0; i < 3; i++) std::swap(o->faces[i].v[0], o->faces[i].v[2]);
    vec_init_sort();
    EXPECT_EQ(vec_visicalc(o), 1);
    vec_set_mirror(1); // ... which the mirror flag inverts
    vec_init_sort();
    EXPECT_EQ(vec_visicalc(o), 1 + 1);
    vec_set_mirror(0);
    o->flags |= kVecTwoSided;
    vec_init_sort();
    EXPECT_EQ(vec_visicalc(o), 2);
    vec_free_object(o);

    // A face that projects to a single point has L = R: it counts as facing the camera.
    vec_object* dot = make_mesh({0, 0, -500, 0, 0, -500, 0, 0, -500}, {0, 1, 2});
    ASSERT_NE(dot, nullptr);
    vec_init_qmatr(dot->work);
    vec_project_object(dot, kW, kH, 256.0f);
    vec_init_sort();
    EXPECT_EQ(vec_visicalc(dot), 1);
    vec_set_mirror(1);
    vec_init_sort();
    EXPECT_EQ(vec_visicalc(dot), 0);
    vec_set_mirror(0);
    vec_free_object(dot);
}

TEST_F(VecRender, PolygonListStopsWhenFull) {
    // 2 x 40000 faces, all the same small triangle: the list takes 65536 and drops the rest.
    for (int k = 0; k < 2; k++) {
        vec_object* o = vec_alloc_object(3, 40000, 0);
        const float v[9] = {0, 0, 0, 10, 0, 0, 0, 10, 0};
        memcpy(o->verts, v, sizeof(v));
        for (int i = 0; i < 40000; i++) {
            o->faces[i].v[0] = 0;
            o->faces[i].v[1] = 1;
            o->faces[i].v[2] = 2;
            o->faces[i].v[3] = -1;
        }
        vec_init_qmatr(o->local);
        ASSERT_EQ(vec_init_object(o), 0);
        add(o, 0x00FFFFFF);
    }
    vec_object* first = world.objects->first->object;
    vec_object* second = world.objects->first->next->object;
    render();
    EXPECT_GT(count_pixels(fb), 0);
    vec_init_sort();
    EXPECT_EQ(vec_visicalc(first), 40000);
    EXPECT_EQ(vec_visicalc(second), 65536);
}

TEST_F(VecRender, SmoothShadeUsesVertexNormals) {
    vec_object* o = add(make_square(100), 0x00FFFFFF);
    render();
    o->flags = kVecSmooth;
    vec_init_shading(o);
    // Every vertex of the flat square has the face's scaled normal: full light.
    EXPECT_EQ(vec_shade(o, 0), 65280.0f);
    o->flags = kVecFlat;
    EXPECT_EQ(vec_shade(o, 0), 65280.0f);
    o->light[0] = o->light[1] = o->light[2] = 0.0f; // no light vector: zero, then the minimum
    EXPECT_EQ(vec_shade(o, 0), 0.0f);
}

TEST_F(VecRender, CameraModes) {
    add(make_square(100), 0x00FFFFFF);
    cam.cammode = 2; // front and up: front becomes camera-space +z, so the view looks the other way
    cam.front[2] = 1.0f;
    render();
    EXPECT_NE(at(160, 120), 0u);
    cam.cammode = 1; // from angles: none, the identity orientation
    render();
    EXPECT_NE(at(160, 120), 0u);
    cam.eyeofs[0] = 3000.0f; // the eye moved far to the right of the view
    render();
    EXPECT_EQ(count_pixels(fb), 0);
    cam.eyeofs[0] = 0.0f;
    cam.cammode = 9; // unknown: keeps the last rotation
    render();
    EXPECT_NE(at(160, 120), 0u);
    // A camera without a target buffer leaves the filler's target as it was and does not crash.
    vec_world blind;
    ASSERT_EQ(vec_init_cam(&blind, &cam), 0);
    blind.screen = nullptr;
    blind.cammode = 0;
    vec_render_world(&blind);
}

// Random scenes, some with huge or non-finite coordinates and cameras inside them: every write stays in the
// frame buffer (the sanitizer build checks the reads).
TEST_F(VecRender, RandomScenesStayInsideTheFrame) {
    constexpr int kGuard = 4096;
    std::vector<uint32_t> big(kW * kH + kGuard, 0);
    cam.screen = big.data();
    uint32_t seed = 2024;
    auto rnd = [&seed](float lo, float hi) {
        seed = seed * 1664525u + 1013904223u;
        return lo + (hi - lo) * static_cast<float>(seed >> 8) / 16777216.0f;
    };
    for (int k = 0; k < 6; k++) {
        std::vector<float> v;
        std::vector<int> t;
        const float scale = k < 3 ? 800.0f : 5e7f;
        for (int i = 0; i < 30; i++)
            v.insert(v.end(), {rnd(-scale, scale), rnd(-scale, scale), rnd(-scale, scale)});
        if (k == 5) v[4] = NAN;
        if (k == 4) v[7] = INFINITY;
        for (int i = 0; i < 40; i++)
            t.insert(t.end(), {static_cast<int>(rnd(0, 29.99f)), static_cast<int>(rnd(0, 29.99f)),
                               static_cast<int>(rnd(0, 29.99f))});
        vec_object* o = add(make_mesh(v, t), 0x00FFFFFF, k % 2);
        o->flags |= k == 2 ? kVecTwoSided : 0u;
    }
    for (int frame = 0; frame < 200; frame++) {
        look_from(rnd(-2000, 2000), rnd(-2000, 2000), rnd(-2000, 2000));
        cam.target[0] = rnd(-500, 500);
        cam.angles[2] = rnd(-1024, 1024);
        vec_set_mirror(frame % 7 == 0);
        for (vec_objnode* n = world.objects->first; n; n = n->next) {
            n->object->turn[0] = rnd(-20, 20);
            n->object->move[2] = rnd(-50, 50);
        }
        vec_render_world(&cam);
        for (int i = kW * kH; i < kW * kH + kGuard; i++) ASSERT_EQ(big[i], 0u) << "frame " << frame;
    }
    vec_set_mirror(0);
    EXPECT_GT(count_pixels(big), 0);
}

} // namespace
