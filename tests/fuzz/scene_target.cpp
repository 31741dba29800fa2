// scene_target.cpp: the scene fuzz target. A 64x48 frame is rendered with the scene's first camera (the
// default camera if it has none) and its objects, once as read and once with a z-buffer. Frame and
// z-buffer are allocated to their exact sizes, so a write outside them is caught.
#include <cmath>
#include <cstdio>
#include <vector>

#include "fuzz_targets.h"
#include "vec.h"

namespace {

constexpr int kW = 64, kH = 48;

// What the reader promises of every object it builds: faces inside the vertices, finite coordinates.
bool object_ok(const vec_object* o) {
    for (int i = 0; i < o->nfaces; i++)
        for (int k = 0; k < 3; k++)
            if (o->faces[i].v[k] < 0 || o->faces[i].v[k] >= o->nverts) return false;
    for (int i = 0; i < 3 * o->nverts; i++)
        if (!std::isfinite(o->verts[i])) return false;
    return true;
}

} // namespace

bool fuzz_scene(const uint8_t* data, size_t size) {
    vec_world world, cam;
    if (vec_init(&world) != 0 || vec_init_cam(&cam, &world) != 0) return false;
    std::vector<uint32_t> frame(size_t(kW) * kH);
    vec_set_camres(&cam, kW, kH, 32);
    cam.screen = frame.data();
    vec_set_range(0, 255);
    vec_get_camera(data, size, 1, &cam);
    bool ok = true;
    if (vec_get_objects(data, size, &world) == 0) {
        for (vec_objnode* n = world.objects->first; n && ok; n = n->next) {
            ok = object_ok(n->object);
            if (!ok)
                std::fprintf(stderr, "fuzz_scene: object %s breaks the reader's promises\n", n->object->name);
        }
        if (ok) {
            vec_render_world(&cam);
            vec_set_zbuffer(&cam, 1);
            vec_render_world(&cam);
            vec_set_zbuffer(&cam, 0);
        }
    }
    vec_free_world(&world);
    vec_close(&world);
    return ok;
}
