// Tests of the 3D Studio scene reader: every reference scene read as the independent reader lib3ds reads it,
// hand-built scenes for the hierarchy and the refusals, and a bit-flip/truncation loop under the sanitizers.
#include <gtest/gtest.h>
#include <lib3ds/camera.h>
#include <lib3ds/file.h>
#include <lib3ds/mesh.h>
#include <lib3ds/node.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "scene_builder.h"
#include "testdata.h"
#include "vec.h"

namespace {

namespace fs = std::filesystem;

// The reference scenes, listed rather than found, so that a missing one fails by name.
const std::vector<std::string> valid_scenes = {"CameraRollAnim.3ds",
                                               "CameraRollAnimWithChildObject.3ds",
                                               "RotatingCube.3DS",
                                               "TargetCameraAnim.3ds",
                                               "cube_with_diffuse_texture.3DS",
                                               "cube_with_shiny_texture.3DS",
                                               "cubes_with_alpha.3DS",
                                               "fels.3ds",
                                               "test1.3ds"};
const std::vector<std::string> malformed_scenes = {"empty.3ds"};

// The paths of the listed scenes in folder; a failure of the running test for each one that is missing.
std::vector<fs::path> scene_files(const char* folder, const std::vector<std::string>& names) {
    std::vector<fs::path> out;
    for (const std::string& name : names) {
        const fs::path p = testdata_path(std::string("3ds/") + folder + "/" + name);
        std::error_code err;
        if (fs::is_regular_file(p, err))
            out.push_back(p);
        else
            ADD_FAILURE() << "missing reference file " << p.string();
    }
    return out;
}

std::vector<uint8_t> slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<vec_objnode*> nodes_of(const vec_world& w) {
    std::vector<vec_objnode*> out;
    for (vec_objnode* n = w.objects->first; n; n = n->next) out.push_back(n);
    return out;
}

// A fresh world per load, released afterwards.
struct Fresh {
    vec_world world{};
    Fresh() { EXPECT_EQ(vec_init(&world), 0); }
    ~Fresh() {
        vec_free_world(&world);
        vec_close(&world);
    }
};

std::string trunc(const char* s, size_t n) {
    return std::string(s).substr(0, n);
}

int lib3ds_depth(const Lib3dsNode* n) {
    int d = 0;
    for (const Lib3dsNode* p = n->parent; p; p = p->parent) d++;
    return d;
}

const Lib3dsNode* find_node(const Lib3dsNode* first, const std::string& name) {
    for (const Lib3dsNode* n = first; n; n = n->next) {
        std::string shown = std::strcmp(n->name, "$$$DUMMY") == 0 ? n->data.object.instance : n->name;
        if (trunc(shown.c_str(), 10) == name) return n;
        if (const Lib3dsNode* c = find_node(n->childs, name)) return c;
    }
    return nullptr;
}

// Objects are checked against lib3ds: mesh data for every object carrying a mesh, and for every object that
// a key-frame node made: its level and its parent.
TEST(SceneReader, ReadsEveryReferenceSceneAsLib3dsDoes) {
    auto files = scene_files("valid", valid_scenes);
    files.push_back(fs::path(SHORELINE_SOURCE_DIR) / "data" / "pallo.3ds");
    ASSERT_FALSE(files.empty());
    for (const fs::path& path : files) {
        SCOPED_TRACE(path.filename().string());
        Lib3dsFile* ref = lib3ds_file_load(path.c_str());
        ASSERT_NE(ref, nullptr);
        Fresh f;
        vec_set_source(0);
        ASSERT_EQ(vec_load_objects(path.c_str(), 0, &f.world), 0);
        const auto nodes = nodes_of(f.world);

        int meshes = 0;
        for (Lib3dsMesh* m = ref->meshes; m; m = m->next) {
            meshes++;
            const std::string name = trunc(m->name, 10);
            SCOPED_TRACE(name);
            const vec_object* o = nullptr;
            for (vec_objnode* n : nodes)
                if (n->object->name == name && n->object->nverts == int(m->points)) o = n->object;
            ASSERT_NE(o, nullptr);
            ASSERT_EQ(o->nfaces, int(m->faces));
            for (int i = 0; i < o->nverts; i++)
                for (int k = 0; k < 3; k++) ASSERT_EQ(o->verts[3 * i + k], m->pointL[i].pos[k] * 256.0f);
            // The engine reverses each face's winding when it sets the object up.
            for (int i = 0; i < o->nfaces; i++) {
                ASSERT_EQ(o->faces[i].v[2], m->faceL[i].points[0]);
                ASSERT_EQ(o->faces[i].v[1], m->faceL[i].points[1]);
                ASSERT_EQ(o->faces[i].v[0], m->faceL[i].points[2]);
                ASSERT_EQ(o->faces[i].v[3], -1);
            }
            ASSERT_EQ(o->uv != nullptr, m->texels > 0);
            for (int i = 0; i < o->nverts && i < int(m->texels); i++) {
                ASSERT_EQ(o->uv[2 * i], m->texelL[i][0] * 65536.0f);
                ASSERT_EQ(o->uv[2 * i + 1], m->texelL[i][1] * 65536.0f);
            }
            for (int r = 0; r < 3; r++)
                for (int c = 0; c < 3; c++)
                    ASSERT_EQ(o->local[r][c], m->matrix[c][r]); // lib3ds: column-major
            bool material_seen = o->material[0] == 0;
            for (unsigned i = 0; i < m->faces; i++)
                material_seen |= trunc(m->faceL[i].material, 16) == o->material;
            EXPECT_TRUE(material_seen) << o->material;
        }

        int from_nodes = 0;
        for (vec_objnode* n : nodes) {
            const Lib3dsNode* r = find_node(ref->nodes, n->object->name);
            if (!r) {
                EXPECT_EQ(n->level, 0) << n->object->name; // a mesh that no node names
                EXPECT_EQ(n->parent, nullptr);
                continue;
            }
            from_nodes++;
            SCOPED_TRACE(n->object->name);
            EXPECT_EQ(n->level, lib3ds_depth(r));
            if (r->parent) {
                ASSERT_NE(n->parent, nullptr);
                EXPECT_EQ(find_node(ref->nodes, n->parent->object->name), r->parent);
            } else {
                EXPECT_EQ(n->parent, nullptr);
            }
            if (r->type == LIB3DS_OBJECT_NODE) {
                for (int k = 0; k < 3; k++) EXPECT_EQ(n->object->pivot[k], r->data.object.pivot[k] * 256.0f);
            }
        }
        EXPECT_GE(int(nodes.size()), meshes);
        EXPECT_EQ(from_nodes > 0, ref->nodes != nullptr);

        int cameras = 0;
        for (Lib3dsCamera* c = ref->cameras; c; c = c->next) {
            cameras++;
            vec_world cam{};
            ASSERT_EQ(vec_load_camera(path.c_str(), 0, cameras, &cam), 0);
            EXPECT_EQ(cam.name, trunc(c->name, 10));
            for (int k = 0; k < 3; k++) {
                EXPECT_EQ(cam.pos[k], c->position[k] * 256.0f);
                EXPECT_EQ(cam.target[k], c->target[k] * 256.0f);
            }
            EXPECT_EQ(cam.angles[2], c->roll * (1024.0f / 360.0f));
        }
        vec_world cam{};
        EXPECT_EQ(vec_load_camera(path.c_str(), 0, cameras + 1, &cam), 1);
        EXPECT_EQ(vec_load_camera(path.c_str(), 0, 0, &cam), 1);
        lib3ds_file_free(ref);
    }
}

TEST(SceneReader, MemoryAndFileSourcesAgree) {
    for (const fs::path& path : scene_files("valid", valid_scenes)) {
        SCOPED_TRACE(path.filename().string());
        const std::vector<uint8_t> bytes = slurp(path);
        Fresh a, b;
        vec_set_source(0);
        ASSERT_EQ(vec_load_objects(path.c_str(), 0, &a.world), 0);
        ASSERT_EQ(vec_get_objects(bytes.data(), bytes.size(), &b.world), 0);
        // vec_get_objects leaves the file source selected.
        ASSERT_EQ(vec_load_objects(path.c_str(), 0, &b.world), 0);
        const auto na = nodes_of(a.world), nb = nodes_of(b.world);
        ASSERT_EQ(nb.size(), 2 * na.size());
        for (size_t i = 0; i < na.size(); i++) {
            const vec_object *x = na[i]->object, *y = nb[i]->object;
            EXPECT_STREQ(x->name, y->name);
            ASSERT_EQ(x->nverts, y->nverts);
            for (int k = 0; k < 3 * x->nverts; k++) ASSERT_EQ(x->verts[k], y->verts[k]);
            EXPECT_EQ(na[i]->level, nb[i]->level);
        }
    }
}

// --- hand-built scenes ---

std::vector<uint8_t> cube_scene(bool faces_first = false) {
    SceneBuilder s;
    s.begin_main();
    s.begin_editor();
    s.mesh("Cube", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 1}}, {{0, 1, 2}, {0, 2, 3}}, "Stone",
           faces_first);
    s.camera("Cam", {1, 2, 3}, {4, 5, 6}, 90.0f);
    s.end();
    s.end();
    return s.bytes;
}

TEST(SceneReader, ReadsUnitsNamesAndFaceOrder) {
    for (bool faces_first : {false, true}) {
        const auto bytes = cube_scene(faces_first);
        Fresh f;
        ASSERT_EQ(vec_get_objects(bytes.data(), bytes.size(), &f.world), 0);
        const auto nodes = nodes_of(f.world);
        ASSERT_EQ(nodes.size(), 1u);
        const vec_object* o = nodes[0]->object;
        EXPECT_STREQ(o->name, "Cube");
        EXPECT_STREQ(o->material, "Stone");
        EXPECT_EQ(o->verts[3 * 3 + 2], 256.0f);
        EXPECT_EQ(o->faces[1].v[0], 3); // file order 0 2 3, reversed by the engine
        EXPECT_EQ(o->faces[1].v[2], 0);
        EXPECT_EQ(o->uv, nullptr);

        vec_world cam{};
        ASSERT_EQ(vec_get_camera(bytes.data(), bytes.size(), 1, &cam), 0);
        EXPECT_STREQ(cam.name, "Cam");
        EXPECT_EQ(cam.pos[1], 512.0f);
        EXPECT_EQ(cam.target[2], 1536.0f);
        EXPECT_EQ(cam.angles[2], 256.0f); // 90 degrees = a quarter of 1024
        EXPECT_EQ(vec_get_camera(bytes.data(), bytes.size(), 2, &cam), 1);
        EXPECT_STREQ(vec_errorstr, "no such camera in the scene");
        ASSERT_EQ(vec_get_camera(bytes.data(), bytes.size(), 1, &cam), 0);
        EXPECT_STREQ(vec_errorstr, "");
    }
}

TEST(SceneReader, TruncatesLongNames) {
    SceneBuilder s;
    s.begin_main();
    s.begin_editor();
    s.mesh("AVeryLongObjectName", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}},
           "AMaterialNameLongerThan16");
    s.end();
    s.end();
    Fresh f;
    ASSERT_EQ(vec_get_objects(s.bytes.data(), s.bytes.size(), &f.world), 0);
    EXPECT_STREQ(f.world.objects->first->object->name, "AVeryLongO");
    EXPECT_STREQ(f.world.objects->first->object->material, "AMaterialNameLon");
}

// Nodes: a helper root with two children, the second of which has a child; then a node naming a parent id
// that does not exist (a root), and a spot light's node as the parent of an object (a helper named after
// it); the mesh no node names comes last at level 0.
TEST(SceneReader, BuildsTheNodeHierarchy) {
    SceneBuilder s;
    s.begin_main();
    s.begin_editor();
    for (const char* name : {"a", "b", "c", "d", "e", "loose"})
        s.mesh(name, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    s.end();
    s.begin_keyframes();
    s.node(0xB002, 10, "$$$DUMMY", 0xFFFF, {1, 2, 3}, "helper");
    s.node(0xB002, 11, "a", 10, {0, 0, 0});
    s.node(0xB002, 12, "b", 10, {0, 0, 0});
    s.node(0xB002, 13, "c", 12, {0, 0, 0});
    s.node(0xB002, 14, "d", 99, {0, 0, 0});
    s.node(0xB007, 15, "spot", 0xFFFF, {0, 0, 0});
    s.node(0xB002, 16, "e", 15, {0, 0, 0});
    s.end();
    s.end();
    Fresh f;
    ASSERT_EQ(vec_get_objects(s.bytes.data(), s.bytes.size(), &f.world), 0);
    const auto nodes = nodes_of(f.world);
    ASSERT_EQ(nodes.size(), 8u);
    const char* names[] = {"helper", "a", "b", "c", "d", "spot", "e", "loose"};
    const int levels[] = {0, 1, 1, 2, 0, 0, 1, 0};
    const int parents[] = {-1, 0, 0, 2, -1, -1, 5, -1};
    for (int i = 0; i < 8; i++) {
        SCOPED_TRACE(i);
        EXPECT_STREQ(nodes[i]->object->name, names[i]);
        EXPECT_EQ(nodes[i]->level, levels[i]);
        EXPECT_EQ(nodes[i]->parent, parents[i] < 0 ? nullptr : nodes[parents[i]]);
    }
    // The helper has no mesh; its pivot is kept and its translation column is minus the pivot.
    EXPECT_EQ(nodes[0]->object->nverts, 0);
    EXPECT_EQ(nodes[0]->object->pivot[2], 768.0f);
    EXPECT_EQ(nodes[0]->object->local[2][3], -768.0f);
}

// Each case is a fault that would make the engine read out of bounds or loop; each must be refused with
// result 1 and leave the world untouched, even when earlier objects of the same file were fine.
TEST(SceneReader, RefusesMalformedScenes) {
    struct Case {
        const char* fault;
        std::vector<uint8_t> bytes;
    };
    std::vector<Case> cases;
    auto scene = [](auto body) {
        SceneBuilder s;
        s.begin_main();
        s.begin_editor();
        s.mesh("good", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
        body(s);
        s.end();
        s.end();
        return s.bytes;
    };
    cases.push_back({"face index past the vertices", scene([](SceneBuilder& s) {
                         s.mesh("bad", {{0, 0, 0}, {1, 0, 0}}, {{0, 1, 2}});
                     })});
    cases.push_back({"vertex not a number", scene([](SceneBuilder& s) {
                         s.mesh("bad", {{0, 0, 0}, {1, std::nanf(""), 0}, {0, 1, 0}}, {{0, 1, 2}});
                     })});
    cases.push_back({"vertex out of range", scene([](SceneBuilder& s) {
                         s.mesh("bad", {{0, 0, 0}, {1e30f, 0, 0}, {0, 1, 0}}, {});
                     })});
    cases.push_back({"material group names a missing face", scene([](SceneBuilder& s) {
                         s.mesh("bad", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, "m", false, 5);
                     })});
    cases.push_back({"name without terminator", scene([](SceneBuilder& s) {
                         size_t at = s.begin(0x4000);
                         s.raw({'a', 'b', 'c'});
                         s.end_at(at);
                     })});
    cases.push_back({"chunk longer than its parent", scene([](SceneBuilder& s) {
                         size_t at = s.begin(0x4000);
                         s.raw({'x', 0, 0x10, 0x41, 0xFF, 0xFF, 0, 0});
                         s.end_at(at);
                     })});
    cases.push_back({"chunk length below its header", scene([](SceneBuilder& s) {
                         s.raw({0x00, 0x40, 3, 0, 0, 0});
                     })});
    cases.push_back({"vertex count past the chunk", scene([](SceneBuilder& s) {
                         size_t obj = s.begin(0x4000);
                         s.raw({'x', 0});
                         size_t tri = s.begin(0x4100);
                         size_t v = s.begin(0x4110);
                         s.raw({100, 0, 0, 0, 0, 0});
                         s.end_at(v);
                         s.end_at(tri);
                         s.end_at(obj);
                     })});
    {
        SceneBuilder s;
        s.begin_main();
        s.begin_editor();
        s.mesh("a", {{0, 0, 0}}, {});
        s.end();
        s.begin_keyframes();
        s.node(0xB002, 1, "a", 2, {0, 0, 0});
        s.node(0xB002, 2, "$$$DUMMY", 1, {0, 0, 0}, "loop");
        s.end();
        s.end();
        cases.push_back({"parent cycle", s.bytes});
    }
    {
        SceneBuilder s;
        s.raw({0x3D, 0x3D, 6, 0, 0, 0});
        cases.push_back({"no main chunk", s.bytes});
    }
    cases.push_back({"empty", {}});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        Fresh f;
        vec_world cam{};
        EXPECT_EQ(vec_get_objects(c.bytes.data(), c.bytes.size(), &f.world), 1);
        EXPECT_STREQ(vec_errorstr, "malformed scene");
        EXPECT_EQ(f.world.objects->count, 0);
        EXPECT_EQ(vec_get_camera(c.bytes.data(), c.bytes.size(), 1, &cam), 1);
    }
    for (const fs::path& path : scene_files("malformed", malformed_scenes)) {
        SCOPED_TRACE(path.string());
        Fresh f;
        vec_world cam{};
        vec_set_source(0);
        EXPECT_EQ(vec_load_objects(path.c_str(), 0, &f.world), 1);
        EXPECT_EQ(vec_load_camera(path.c_str(), 0, 1, &cam), 1);
        EXPECT_EQ(f.world.objects->count, 0);
    }
    Fresh f;
    EXPECT_EQ(vec_load_objects("/nonexistent/scene.3ds", 0, &f.world), 1);
    EXPECT_STREQ(vec_errorstr, "cannot read the scene file");
    EXPECT_EQ(vec_get_objects(nullptr, 0, &f.world), 1);
    EXPECT_EQ(vec_get_objects(cube_scene().data(), 40, nullptr), 1);
}

// Every index and count a scene gives, at its last valid value and one past it: a mesh of three vertices, two
// faces, one material group and three texture coordinates, and two nodes with ids 0 and 1.
TEST(SceneReader, ChecksEveryIndexUpToOnePastTheEnd) {
    struct Knobs {
        unsigned vert_count = 3, face_count = 2, uv_count = 3, group_count = 1;
        unsigned face_vertex = 2, group_face = 1, parent = 0;
        bool group = true;
    };
    auto scene = [](const Knobs& k) {
        SceneBuilder s;
        s.begin_main();
        s.begin_editor();
        const size_t obj = s.begin(0x4000);
        s.str("m");
        const size_t tri = s.begin(0x4100);
        const size_t v = s.begin(0x4110);
        s.u16(k.vert_count);
        for (float c : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 0.f}) s.f32(c);
        s.end_at(v);
        const size_t f = s.begin(0x4120);
        s.u16(k.face_count);
        for (unsigned i : {0u, 1u, k.face_vertex, 7u, 0u, 2u, 1u, 7u}) s.u16(i);
        if (k.group) {
            const size_t g = s.begin(0x4130);
            s.str("mat");
            s.u16(k.group_count);
            s.u16(k.group_face);
            s.end_at(g);
        }
        s.end_at(f);
        const size_t t = s.begin(0x4140);
        s.u16(k.uv_count);
        for (int i = 0; i < 6; i++) s.f32(0.5f);
        s.end_at(t);
        s.end_at(tri);
        s.end_at(obj);
        s.end();
        s.begin_keyframes();
        s.node(0xB002, 0, "m", 0xFFFF, {0, 0, 0});
        s.node(0xB002, 1, "$$$DUMMY", k.parent, {0, 0, 0}, "helper");
        s.end();
        s.end();
        return s.bytes;
    };
    struct Case {
        const char* what;
        Knobs knobs;
        int result;
        int helper_level; // when accepted
    };
    const Case cases[] = {
        {"as built", {}, 0, 1},
        {"face vertex one past the vertices", {.face_vertex = 3}, 1, 0},
        {"material group face one past the faces", {.group_face = 2}, 1, 0},
        {"vertex count one past the data", {.vert_count = 4}, 1, 0},
        {"face count one past the data", {.face_count = 3, .group = false}, 1, 0},
        {"texture coordinate count one past the data", {.uv_count = 4}, 1, 0},
        {"material group count one past the data", {.group_count = 2}, 1, 0},
        {"parent is the node itself", {.parent = 1}, 1, 0},
        {"parent one past the last node id: a root", {.parent = 2}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto bytes = scene(c.knobs);
        Fresh f;
        ASSERT_EQ(vec_get_objects(bytes.data(), bytes.size(), &f.world), c.result);
        if (c.result != 0) {
            EXPECT_EQ(f.world.objects->count, 0);
            continue;
        }
        const auto nodes = nodes_of(f.world);
        ASSERT_EQ(nodes.size(), 2u);
        EXPECT_STREQ(nodes[0]->object->material, "mat");
        EXPECT_EQ(nodes[0]->object->faces[0].v[0], 2); // the face's last vertex (the engine reverses faces)
        EXPECT_EQ(nodes[1]->level, c.helper_level);
    }
}

// Scenes built to exhaust memory or time. Every node that names a mesh gets its own copy of it, so a file
// whose nodes name one large mesh thousands of times is refused before anything is built; long chains and
// flat lists of helpers load whole, with the hierarchy intact.
TEST(SceneReader, BoundsWhatItsNodesBuild) {
    auto named_by = [](int nodes) {
        SceneBuilder s;
        s.begin_main();
        s.begin_editor();
        s.grid_mesh("big", 4000);
        s.end();
        s.begin_keyframes();
        for (int i = 0; i < nodes; i++) s.short_node("big", 0xFFFF);
        s.end();
        s.end();
        return s.bytes;
    };
    {
        const auto bytes = named_by(8000); // 240 KB that would build 8000 copies of 4000 vertices
        Fresh f;
        EXPECT_EQ(vec_get_objects(bytes.data(), bytes.size(), &f.world), 1);
        EXPECT_STREQ(vec_errorstr, "scene refused: its nodes build more than its size allows");
        EXPECT_EQ(f.world.objects->count, 0);
        vec_world cam{};
        EXPECT_EQ(vec_get_camera(bytes.data(), bytes.size(), 1, &cam), 1); // no camera, but parsed fine
        EXPECT_STREQ(vec_errorstr, "no such camera in the scene");
    }
    {
        const auto bytes = named_by(3);
        Fresh f;
        ASSERT_EQ(vec_get_objects(bytes.data(), bytes.size(), &f.world), 0);
        const auto nodes = nodes_of(f.world);
        ASSERT_EQ(nodes.size(), 3u);
        for (vec_objnode* n : nodes) EXPECT_EQ(n->object->nverts, 4000);
        EXPECT_NE(nodes[0]->object->verts, nodes[2]->object->verts);
    }
    constexpr int kHelpers = 20000;
    for (bool chain : {true, false}) {
        SCOPED_TRACE(chain ? "chain" : "flat");
        SceneBuilder s;
        s.begin_main();
        s.begin_keyframes();
        for (int i = 0; i < kHelpers; i++)
            s.short_node("$$$DUMMY", chain && i > 0 ? unsigned(i - 1) : 0xFFFF);
        s.end();
        s.end();
        Fresh f;
        ASSERT_EQ(vec_get_objects(s.bytes.data(), s.bytes.size(), &f.world), 0);
        const auto nodes = nodes_of(f.world);
        ASSERT_EQ(nodes.size(), size_t(kHelpers));
        for (int i = 0; i < kHelpers; i++) {
            ASSERT_EQ(nodes[i]->level, chain ? i : 0);
            ASSERT_EQ(nodes[i]->parent, chain && i > 0 ? nodes[i - 1] : nullptr);
        }
    }
}

// Nodes without an id chunk are numbered in file order, beyond the 16-bit ids once there are more than
// 65536 of them; such numbers were once used to index the table of 65536 ids.
TEST(SceneReader, NumbersNodesBeyondSixteenBits) {
    SceneBuilder s;
    s.begin_main();
    s.begin_editor();
    s.mesh("a", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    s.end();
    s.begin_keyframes();
    for (int i = 0; i < 70000; i++) {
        s.push(0xB001); // an empty ambient node: builds nothing
        s.end();
    }
    s.short_node("a", 0xFFFF);
    s.end();
    s.end();
    Fresh f;
    ASSERT_EQ(vec_get_objects(s.bytes.data(), s.bytes.size(), &f.world), 0);
    ASSERT_EQ(f.world.objects->count, 1);
    EXPECT_STREQ(f.world.objects->first->object->name, "a");
}

// Whatever the reader accepts must be safe for the engine: indices inside the vertices, finite data.
void expect_sane(const vec_world& w) {
    for (vec_objnode* n = w.objects->first; n; n = n->next) {
        const vec_object* o = n->object;
        for (int i = 0; i < o->nfaces; i++)
            for (int k = 0; k < 3; k++) ASSERT_TRUE(o->faces[i].v[k] >= 0 && o->faces[i].v[k] < o->nverts);
        for (int i = 0; i < 3 * o->nverts; i++) ASSERT_TRUE(std::isfinite(o->verts[i]));
        ASSERT_LT(std::strlen(o->name), sizeof o->name);
    }
}

// The fuzz loop: every reference scene cut at every length (with the main chunk's length made to fit, so the
// cut lands inside inner chunks) and with random bits flipped. Nothing may crash, read past the end or leave
// half a scene; ASan/UBSan builds run the same loop.
TEST(SceneReader, SurvivesTruncationAndBitFlips) {
    uint32_t seed = 12345;
    auto rnd = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    int accepted = 0, refused = 0;
    auto probe = [&](const std::vector<uint8_t>& bytes) {
        Fresh f;
        vec_world cam{};
        int r = vec_get_objects(bytes.data(), bytes.size(), &f.world);
        (r == 0 ? accepted : refused)++;
        if (r == 0) {
            expect_sane(f.world);
        } else {
            ASSERT_EQ(f.world.objects->count, 0);
        }
        vec_get_camera(bytes.data(), bytes.size(), 1, &cam);
    };
    std::vector<fs::path> seeds = scene_files("valid", valid_scenes);
    seeds.push_back(fs::path(SHORELINE_SOURCE_DIR) / "data" / "pallo.3ds");
    for (const fs::path& path : seeds) {
        SCOPED_TRACE(path.filename().string());
        const std::vector<uint8_t> original = slurp(path);
        for (size_t len = 0; len < original.size(); len += 1 + len / 64) {
            std::vector<uint8_t> cut(original.begin(), original.begin() + long(len));
            probe(cut);
            if (len >= 6) {
                for (int i = 0; i < 4; i++) cut[2 + size_t(i)] = uint8_t(len >> (8 * i));
                probe(cut);
            }
        }
        for (int round = 0; round < 300; round++) {
            std::vector<uint8_t> flipped = original;
            for (int i = 0, n = 1 + int(rnd() % 4); i < n; i++)
                flipped[rnd() % flipped.size()] ^= uint8_t(1 << (rnd() % 8));
            probe(flipped);
        }
    }
    EXPECT_GT(accepted, 0);
    EXPECT_GT(refused, 0);
}

} // namespace
