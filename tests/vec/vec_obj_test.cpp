// Worlds, cameras, the object list and its hierarchy, objects, copies, normals and engine settings.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "vec.h"
#include "vec_local.h"
#include "vec_test_util.h"

namespace {

class VecObjects : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(vec_init(&world), 0);
        reset_engine_settings();
    }
    void TearDown() override {
        vec_free_world(&world);
        vec_close(&world);
    }
    vec_world world;
};

TEST(VecSetup, InitCountsAndClearsTheRecord) {
    const int count = vec_state.initcount;
    EXPECT_EQ(vec_init(nullptr), 1);
    EXPECT_EQ(vec_state.initcount, count);

    vec_world a, b;
    memset(&a, 0x5A, sizeof(a));
    ASSERT_EQ(vec_init(&a), 0);
    if (count == 0) {
        EXPECT_EQ(vec_tell_sorttype(), 1); // the first init ran the system start-up
    }
    EXPECT_EQ(vec_init(&b), 0);
    EXPECT_EQ(vec_state.initcount, count + 2);
    EXPECT_NE(a.objects, b.objects); // each world its own empty list
    EXPECT_EQ(a.objects->first, nullptr);
    EXPECT_EQ(a.seek, nullptr); // the record was cleared first
    EXPECT_EQ(a.matrix[0][1], 0.0f);

    vec_free_world(&b);
    vec_close(&b);
    EXPECT_EQ(vec_state.initcount, count + 1);
    vec_free_world(&a);
    vec_close(&a);
    EXPECT_EQ(vec_state.initcount, count);
    vec_close(&a); // one close too many does not take the count below zero
    EXPECT_GE(vec_state.initcount, 0);
}

TEST(VecSetup, SettingsRefuseBadValues) {
    reset_engine_settings();
    vec_set_range(80, 176);
    EXPECT_EQ(vec_state.shade_min, 20480.0f);
    EXPECT_EQ(vec_state.shade_max, 65280.0f);
    EXPECT_EQ(vec_state.shade_range, 45056.0f);
    vec_set_range(-1, 10);
    vec_set_range(10, -1);
    EXPECT_EQ(vec_state.shade_min, 20480.0f);
    EXPECT_EQ(vec_state.shade_range, 45056.0f);

    EXPECT_EQ(vec_set_res(320, 240, 32), 0);
    EXPECT_EQ(vec_set_res(641, 200, 32), 1);
    EXPECT_EQ(vec_set_res(320, 200, 4), 1);
    EXPECT_EQ(vec_set_res(320, 481, 32), 1);
    EXPECT_EQ(vec_set_res(0, 200, 32), 1);
    EXPECT_EQ(vec_state.view_w, 320);
    EXPECT_EQ(vec_state.view_h, 240);

    EXPECT_EQ(vec_set_aspect(-1), 1);
    EXPECT_EQ(vec_state.aspect, 256);
    reset_engine_settings();
}

TEST_F(VecObjects, CameraSharesTheListAndZBuffer) {
    vec_world cam;
    EXPECT_EQ(vec_init_cam(nullptr, &world), 1);
    EXPECT_EQ(vec_init_cam(&cam, nullptr), 1);
    ASSERT_EQ(vec_init_cam(&cam, &world), 0);
    vec_object* o = make_cube(10);
    ASSERT_NE(o, nullptr);
    ASSERT_EQ(vec_add_object(&world, o, 0), 0);
    vec_seek_set(&cam);
    EXPECT_EQ(vec_seek_obj(&cam), o); // added after the copy, still seen

    EXPECT_EQ(vec_set_camres(&cam, 700, 240, 32), 1);
    EXPECT_EQ(cam.xres, 320);
    ASSERT_EQ(vec_set_camres(&cam, 64, 48, 32), 0);
    EXPECT_EQ(cam.xres, 64);
    EXPECT_EQ(cam.bits, 32);
    EXPECT_EQ(cam.zbuffer, nullptr);
    ASSERT_EQ(vec_set_zbuffer(&cam, 1), 0);
    ASSERT_NE(cam.zbuffer, nullptr);
    EXPECT_EQ(cam.zbuffer[64 * 48 - 1], 0);
    ASSERT_EQ(vec_set_camres(&cam, 32, 16, 32), 0); // a z-buffer follows the new size
    ASSERT_NE(cam.zbuffer, nullptr);
    EXPECT_EQ(cam.zbuffer[32 * 16 - 1], 0);
    EXPECT_EQ(vec_set_zbuffer(&cam, 0), 0);
    EXPECT_EQ(cam.zbuffer, nullptr);
}

TEST_F(VecObjects, SeekWalksTheListAndStartsAgain) {
    for (int i = 0; i < 3; i++) EXPECT_EQ(vec_seek_obj(&world), nullptr); // empty list
    vec_object* a = make_cube(1);
    vec_object* b = make_cube(2);
    vec_add_object(&world, a, 0);
    vec_add_object(&world, b, 0);
    vec_seek_set(&world);
    EXPECT_EQ(vec_seek_obj(&world), a);
    EXPECT_EQ(vec_seek_obj(&world), b);
    EXPECT_EQ(vec_seek_obj(&world), nullptr);
    EXPECT_EQ(world.seek, nullptr);
    EXPECT_EQ(vec_seek_obj(&world), a);
}

TEST_F(VecObjects, LevelsGiveParentsAndCopiesHaveNone) {
    vec_object* o[4];
    const int levels[4] = {0, 1, 2, 1};
    for (int i = 0; i < 4; i++) {
        o[i] = make_cube(5);
        ASSERT_EQ(vec_add_object(&world, o[i], levels[i]), 0);
    }
    EXPECT_EQ(vec_add_object(nullptr, o[0], 0), 1);
    EXPECT_EQ(vec_add_object(&world, nullptr, 0), 1);
    vec_objnode* n[4];
    n[0] = world.objects->first;
    for (int i = 1; i < 4; i++) n[i] = n[i - 1]->next;
    EXPECT_EQ(n[3]->next, nullptr);
    EXPECT_EQ(n[0]->parent, nullptr);
    EXPECT_EQ(n[1]->parent, n[0]);
    EXPECT_EQ(n[2]->parent, n[1]);
    EXPECT_EQ(n[3]->parent, n[0]);
    EXPECT_EQ(world.objects->count, 4);

    vec_object* c = vec_copy_object(&world, o[2], 1);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(n[3]->next->object, c);
    EXPECT_EQ(n[3]->next->parent, nullptr);
    EXPECT_EQ(n[3]->next->level, -1);
    EXPECT_EQ(world.objects->count, 5);
}

// Any order of levels, copies (-1) included: each parent is the nearest earlier node of a smaller level,
// exactly as a walk over the whole list finds it; a list emptied by hand takes new nodes again.
TEST_F(VecObjects, ParentsAreTheNearestEarlierSmallerLevelForAnyOrder) {
    vec_object* o = make_cube(1);
    ASSERT_NE(o, nullptr);
    uint32_t seed = 7;
    std::vector<int> levels;
    for (int i = 0; i < 3000; i++) {
        seed = seed * 1664525u + 1013904223u;
        // Runs that climb, fall back and jump, with the occasional copy level.
        const int level = i % 500 < 200 ? i % 500 / 20 : static_cast<int>(seed >> 28) - 1;
        levels.push_back(level);
        ASSERT_EQ(vec_add_object(&world, o, level), 0);
    }
    std::vector<vec_objnode*> nodes;
    for (vec_objnode* n = world.objects->first; n; n = n->next) nodes.push_back(n);
    ASSERT_EQ(nodes.size(), levels.size());
    EXPECT_EQ(world.objects->last, nodes.back());
    for (size_t i = 0; i < nodes.size(); i++) {
        vec_objnode* expected = nullptr;
        for (size_t j = 0; j < i; j++)
            if (levels[j] < levels[i]) expected = nodes[j];
        ASSERT_EQ(nodes[i]->parent, expected) << "node " << i << " at level " << levels[i];
    }
    EXPECT_EQ(o->share->lists, 3000);

    vec_world w;
    ASSERT_EQ(vec_init(&w), 0);
    vec_object* a = make_cube(1);
    ASSERT_EQ(vec_add_object(&w, a, 0), 0);
    free(w.objects->first); // taken out by hand: the stale tail must not be used
    w.objects->first = nullptr;
    w.objects->count = 0;
    ASSERT_EQ(vec_add_object(&w, a, 1), 0);
    EXPECT_EQ(w.objects->first, w.objects->last);
    EXPECT_EQ(w.objects->first->parent, nullptr);
    a->share->lists = 1;
    vec_free_world(&w);
    vec_close(&w);
}

TEST_F(VecObjects, AllocationLimits) {
    EXPECT_EQ(vec_alloc_object(10, 65537, 0), nullptr);
    EXPECT_EQ(vec_alloc_object(-1, 1, 0), nullptr);
    EXPECT_EQ(vec_alloc_object(1, -1, 0), nullptr);
    vec_object* e = vec_alloc_object(0, 0, 0);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->faces, nullptr);
    EXPECT_EQ(e->verts, nullptr);
    EXPECT_EQ(vec_init_object(e), 0);
    EXPECT_EQ(e->radius, 1.0f);
    EXPECT_EQ(e->normals, nullptr);
    vec_free_object(e);

    vec_object* o = vec_alloc_object(5, 65536, 1);
    ASSERT_NE(o, nullptr);
    EXPECT_NE(o->uv, nullptr);
    EXPECT_EQ(o->matrix[0][0], 0.0f); // matrices stay zero until vec_init_object
    vec_free_object(o);
}

TEST_F(VecObjects, InitReversesWindingAndMeasuresRadius) {
    vec_object* o = vec_alloc_object(4, 2, 0);
    ASSERT_NE(o, nullptr);
    const float v[12] = {0, 0, 0, 100, 0, 0, 0, 100, 0, 0, 0, 50};
    memcpy(o->verts, v, sizeof(v));
    const int32_t f[8] = {0, 1, 2, -1, 0, 2, 3, -1};
    memcpy(o->faces, f, sizeof(f));
    o->local[0][3] = -10.0f; // pivot at x = 10
    o->pos[2] = 42.0f;
    ASSERT_EQ(vec_init_object(o), 0);
    EXPECT_EQ(o->faces[0].v[0], 2);
    EXPECT_EQ(o->faces[0].v[2], 0);
    EXPECT_EQ(o->faces[1].v[0], 3);
    EXPECT_EQ(o->faces[1].v[3], -1);
    EXPECT_EQ(o->depth, -42.0f);
    // Farthest vertex from the pivot: (0, 100, 0) - (10, 0, 0).
    EXPECT_EQ(o->radius, static_cast<float>(std::sqrt(10100.0)) + 1.0f);

    // Face 0 lies in z = 0, counter-clockwise seen from +z in file order: its scaled normal points to -z
    // after the reversal. Vertex 1 only touches face 0.
    EXPECT_EQ(o->normals[3 * 1 + 2], -30976.0f);
    EXPECT_EQ(o->normals[3 * 1 + 0], 0.0f);
    // Vertex 0 averages face 0 (-z) and face 1 (in x = 0, normal -x after the reversal).
    EXPECT_NEAR(o->normals[0], -30976.0f / 2, 1e-2);
    EXPECT_NEAR(o->normals[2], -30976.0f / 2, 1e-2);
    vec_free_object(o);
}

TEST_F(VecObjects, NormalsOfDegenerateAndCrowdedVertices) {
    // A face whose vertices coincide gets the fallback normal (1, 0, 0) * 30976.
    vec_object* d = make_mesh({5, 5, 5, 5, 5, 5, 5, 5, 5}, {0, 1, 2});
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->normals[0], 30976.0f);
    EXPECT_EQ(d->normals[1], 0.0f);
    EXPECT_EQ(d->normals[2], 0.0f);
    vec_free_object(d);

    // Vertex 0 touches twenty faces: fifteen facing one way, then five facing the other. Only the first
    // fifteen count, so its normal stays the full first direction.
    std::vector<float> v = {0, 0, 0};
    std::vector<int> t;
    for (int i = 0; i < 20; i++) {
        v.insert(v.end(), {1, static_cast<float>(i), 0, 1, static_cast<float>(i) + 1, 0});
        const int a = 1 + 2 * i, b = a + 1;
        if (i < 15)
            t.insert(t.end(), {0, a, b});
        else
            t.insert(t.end(), {0, b, a});
    }
    vec_object* c = make_mesh(v, t);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(std::fabs(c->normals[3 * 1 + 2]), 30976.0f);
    EXPECT_NEAR(c->normals[2], c->normals[3 * 1 + 2], 0.01);
    vec_free_object(c);
}

TEST_F(VecObjects, RefusesFacesThatNameMissingVertices) {
    vec_object* o = vec_alloc_object(3, 1, 0);
    ASSERT_NE(o, nullptr);
    const int32_t bad[4] = {0, 1, 3, -1};
    memcpy(o->faces, bad, sizeof(bad));
    EXPECT_EQ(vec_init_object(o), 1);
    const int32_t neg[4] = {0, -1, 2, -1};
    memcpy(o->faces, neg, sizeof(neg));
    EXPECT_EQ(vec_init_object(o), 1);
    const int32_t quad[4] = {0, 1, 2, 7};
    memcpy(o->faces, quad, sizeof(quad));
    EXPECT_EQ(vec_init_object(o), 1);
    const int32_t good[4] = {0, 1, 2, -1};
    memcpy(o->faces, good, sizeof(good));
    EXPECT_EQ(vec_init_object(o), 0);
    vec_free_object(o);
}

TEST_F(VecObjects, CopiesShareTheMeshAndCannotBeFreedWhileListed) {
    vec_object* src = make_cube(30);
    ASSERT_NE(src, nullptr);
    src->color = 0x123456;
    EXPECT_EQ(vec_copy_object(nullptr, src, 1), nullptr);
    EXPECT_EQ(vec_copy_object(&world, nullptr, 1), nullptr);

    // An unlisted source and its copy release the shared mesh exactly once, whichever goes first.
    ASSERT_EQ(vec_add_object(&world, src, 0), 0);
    vec_object* c = vec_copy_object(&world, src, 1);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->verts, src->verts); // shared mesh, own per-instance arrays
    EXPECT_NE(c->tverts, src->tverts);
    EXPECT_NE(c->tnormals, src->tnormals);
    EXPECT_EQ(c->color, 0x123456u);
    EXPECT_EQ(src->share->copies, 1);
    EXPECT_EQ(src->share->normcopies, 1);
    EXPECT_EQ(src->share->lists, 2);

    vec_free_object(src); // both are listed: nothing happens
    vec_free_object(c);
    EXPECT_EQ(world.objects->count, 2);
    EXPECT_EQ(src->share->copies, 1);
    // vec_free_world in TearDown releases both; the leak checker sees the rest.
}

TEST_F(VecObjects, UnlistedCopiesReleaseInAnyOrder) {
    vec_world w;
    ASSERT_EQ(vec_init(&w), 0);
    vec_object* src = make_cube(30);
    ASSERT_NE(src, nullptr);
    vec_object* c = vec_copy_object(&w, src, 0);
    ASSERT_NE(c, nullptr);
    // Take the copy out of the list again by hand, as a shut-down would.
    vec_objnode* node = w.objects->first;
    w.objects->first = nullptr;
    w.objects->count = 0;
    free(node);
    src->share->lists = 0;
    vec_free_object(src); // the copy still owns the mesh
    EXPECT_NE(c->verts[0], 12345.0f);
    vec_free_object(c);
    vec_free_world(&w);
    vec_close(&w);
}

TEST_F(VecObjects, FreeWorldTakesEachObjectOnce) {
    vec_object* o = make_cube(3);
    ASSERT_EQ(vec_add_object(&world, o, 0), 0);
    ASSERT_EQ(vec_add_object(&world, o, 1), 0); // listed twice
    ASSERT_NE(vec_copy_object(&world, o, 0), nullptr);
    vec_free_world(&world);
    EXPECT_EQ(world.objects, nullptr);
    EXPECT_EQ(vec_seek_obj(&world), nullptr);
}

} // namespace
