// vec_test_util.h: meshes and engine set-up shared by the vector engine tests. Meshes are written in the
// scene file's convention (faces counter-clockwise seen from outside); vec_init_object reverses them.
#pragma once
#include <cstdint>
#include <vector>

#include "vec.h"

// Engine-wide settings back to their start values (tests share one process).
inline void reset_engine_settings() {
    const float light[3] = {900.0f, 1000.0f, -400.0f};
    vec_set_lsrc(light);
    vec_set_range(0, 256);
    vec_set_mirror(0);
    vec_set_aspect(256);
}

// An object from vertex and face lists (three indices per face), initialised and ready to list.
inline vec_object* make_mesh(const std::vector<float>& verts, const std::vector<int>& tris) {
    const int nv = static_cast<int>(verts.size() / 3), nf = static_cast<int>(tris.size() / 3);
    vec_object* o = vec_alloc_object(nv, nf, 0);
    if (!o) return nullptr;
    for (int i = 0; i < nv * 3; i++) o->verts[i] = verts[i];
    for (int i = 0; i < nf; i++) {
        for (int k = 0; k < 3; k++) o->faces[i].v[k] = tris[3 * i + k];
        o->faces[i].v[3] = -1;
    }
    vec_init_qmatr(o->local);
    if (vec_init_object(o) != 0) {
        vec_free_object(o);
        return nullptr;
    }
    return o;
}

// One four-corner face from four vertices (x, y, z each), in the order given, initialised and ready to list.
inline vec_object* make_quad(const float* verts) {
    vec_object* o = vec_alloc_object(4, 1, 0);
    if (!o) return nullptr;
    for (int i = 0; i < 12; i++) o->verts[i] = verts[i];
    for (int k = 0; k < 4; k++) o->faces[0].v[k] = k;
    vec_init_qmatr(o->local);
    if (vec_init_object(o) != 0) {
        vec_free_object(o);
        return nullptr;
    }
    return o;
}

// An axis-aligned cube of half-size h about the origin, twelve outward-facing triangles.
inline vec_object* make_cube(float h) {
    std::vector<float> v;
    for (int i = 0; i < 8; i++) {
        v.push_back(i & 1 ? h : -h);
        v.push_back(i & 2 ? h : -h);
        v.push_back(i & 4 ? h : -h);
    }
    // Counter-clockwise seen from outside: -x, +x, -y, +y, -z, +z.
    const std::vector<int> t = {0, 4, 6, 0, 6, 2, 1, 3, 7, 1, 7, 5, 0, 1, 5, 0, 5, 4,
                                2, 6, 7, 2, 7, 3, 0, 2, 3, 0, 3, 1, 4, 5, 7, 4, 7, 6};
    return make_mesh(v, t);
}

// A square of half-size h in the plane z = 0, facing +z (two triangles).
inline vec_object* make_square(float h) {
    return make_mesh({-h, -h, 0, h, -h, 0, h, h, 0, -h, h, 0}, {0, 1, 2, 0, 2, 3});
}

inline int count_pixels(const std::vector<uint32_t>& fb, uint32_t background = 0) {
    int n = 0;
    for (uint32_t p : fb) n += p != background;
    return n;
}
