// Tests of the shore scene file: the committed data/pallo.3ds is what the generator writes, and it holds what
// the shore scene needs (camera 1, the lighthouse hierarchy, the ball last), read alike by lib3ds and by us.
#include <gtest/gtest.h>
#include <lib3ds/file.h>
#include <lib3ds/mesh.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "assets.h"
#include "pallo_gen.h"
#include "vec.h"

namespace {

TEST(SceneGenerator, ReproducesTheCommittedFile) {
    std::ifstream in(SHORELINE_SOURCE_DIR "/data/pallo.3ds", std::ios::binary);
    const std::vector<uint8_t> committed{std::istreambuf_iterator<char>(in),
                                         std::istreambuf_iterator<char>()};
    const std::vector<uint8_t> made = make_pallo();
    EXPECT_EQ(made, make_pallo()); // same bytes on every run
    EXPECT_EQ(made, committed) << "run gen_pallo data/pallo.3ds";
    ASSERT_EQ(pallo_size, committed.size());
    EXPECT_EQ(std::memcmp(pallo, committed.data(), pallo_size), 0); // the embedded copy
}

TEST(SceneFile, HoldsTheShoreScene) {
    vec_world world{}, cam{};
    ASSERT_EQ(vec_init(&world), 0);
    ASSERT_EQ(vec_init_cam(&cam, &world), 0);
    ASSERT_EQ(vec_get_camera(pallo, pallo_size, 1, &cam), 0);
    ASSERT_EQ(vec_get_objects(pallo, pallo_size, &world), 0);
    EXPECT_STREQ(cam.name, "Camera01");
    EXPECT_LT(cam.pos[1], 0.0f); // out at sea, looking inland
    EXPECT_GT(cam.target[2], 0.0f);

    // A helper holds the islet, the boulders and the tower; the tower holds the lantern and the roof.
    const char* names[] = {"saari", "kallio", "kivi", "torni", "lyhty", "katto", "pallo"};
    const int levels[] = {0, 1, 1, 1, 2, 2, 0};
    int i = 0;
    for (vec_objnode* n = world.objects->first; n; n = n->next, i++) {
        ASSERT_LT(i, 7);
        EXPECT_STREQ(n->object->name, names[i]);
        EXPECT_EQ(n->level, levels[i]);
        EXPECT_EQ(n->object->nverts > 0, i > 0) << names[i];
    }
    EXPECT_EQ(i, 7);

    Lib3dsFile* ref = lib3ds_file_load(SHORELINE_SOURCE_DIR "/data/pallo.3ds");
    ASSERT_NE(ref, nullptr);
    int meshes = 0, faces = 0;
    for (Lib3dsMesh* m = ref->meshes; m; m = m->next, meshes++) faces += int(m->faces);
    EXPECT_EQ(meshes, 6);
    EXPECT_LT(faces, 1000); // small enough for a fraction of a frame
    lib3ds_file_free(ref);
    vec_free_world(&world);
    vec_close(&world);
}

} // namespace
