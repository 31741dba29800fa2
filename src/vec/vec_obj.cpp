// vec_obj.cpp: engine set-up and the records of the vector engine: worlds and cameras, the object list with
// its hierarchy, objects and their copies, vertex normals, and the engine-wide settings.
//
// Objects are allocated with malloc while a scene is built and never per frame. An object shares its mesh
// (faces, verts, uv, normals, share block) with its copies; the share block counts the extra owners.
// Vertex normals are face normals scaled to length 30976 and averaged per vertex. Main thread only.
#include "vec.h"
#include "vec_local.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <unordered_set>

vec_settings vec_state = {
    0,                          // initcount
    {900.0f, 1000.0f, -400.0f}, // lsrc
    0.0f,                       // shade_min
    65280.0f,                   // shade_max
    65536.0f,                   // shade_range
    320,
    200,
    256,
    0,
    0,
};

namespace {

constexpr float kNormalLength = 30976.0f;
constexpr int kMaxFacesPerVertex = 15; // adjacency entries per vertex (a count word precedes them)
constexpr int kMaxFaces = 65536;
constexpr int32_t kAbsentBit = 1 << 27;

// Integer square roots: floor(sqrt(i)) for i < 65536.
uint8_t sqrt_table[65536];
bool sqrt_ready = false;

void set_identity(vec_matrix m) {
    vec_init_qmatr(m);
}

// Allocates n floats, zeroed; n = 0 gives null.
float* alloc_floats(long n) {
    if (n <= 0) return nullptr;
    return static_cast<float*>(calloc(static_cast<size_t>(n), sizeof(float)));
}

// Appends a node for obj at the tail of the list; the parent is the last node whose level is smaller.
//
// The parent is found on the tail's parent chain: every node's parent is the nearest earlier node of a
// smaller level, so the nodes that the chain skips have a level at least that of a later node and can
// never be the nearest smaller one again. Each node is stepped over at most once by later appends:
// appending n nodes takes O(n) steps in all, whatever the levels.
int append_node(vec_world* world, vec_object* obj, int level) {
    auto* node = static_cast<vec_objnode*>(calloc(1, sizeof(vec_objnode)));
    if (!node) return 1;
    node->object = obj;
    node->level = level;
    node->mask = 15;
    vec_objlist* list = world->objects;
    vec_objnode* tail = list->first ? list->last : nullptr;
    if (list->first && !tail) // a list put together by hand: find its tail once
        for (tail = list->first; tail->next;) tail = tail->next;
    vec_objnode* parent = tail;
    while (parent && parent->level >= level) parent = parent->parent;
    node->parent = parent;
    if (tail)
        tail->next = node;
    else
        list->first = node;
    list->last = node;
    obj->share->lists++;
    list->count++;
    return 0;
}

// A face may be drawn only if its first three words are vertices of the object and the fourth is a
// vertex or negative (absent).
bool faces_valid(const vec_object* obj) {
    for (int i = 0; i < obj->nfaces; i++) {
        const int32_t* w = obj->faces[i].v;
        for (int k = 0; k < 3; k++)
            if (w[k] < 0 || w[k] >= obj->nverts) return false;
        if (w[3] >= obj->nverts) return false;
    }
    return true;
}

void release_normals(vec_object* obj) {
    if (obj->share->normcopies == 0) {
        free(obj->normals);
        free(obj->tnormals);
        obj->normals = nullptr;
        obj->tnormals = nullptr;
    }
}

int calc_normals(vec_object* obj) {
    const int nv = obj->nverts;
    const int nf = obj->nfaces;
    if (!obj->normals) {
        obj->normals = alloc_floats(3L * nv);
        obj->tnormals = alloc_floats(3L * nv);
        obj->share->normcopies = 0;
        if (!obj->normals || !obj->tnormals) {
            release_normals(obj);
            return 1;
        }
    }
    float* facenorm = alloc_floats(3L * nf);
    auto* adjacent = static_cast<int32_t*>(calloc(static_cast<size_t>(nv) * 16, sizeof(int32_t)));
    if ((nf > 0 && !facenorm) || !adjacent) {
        release_normals(obj);
        free(facenorm);
        free(adjacent);
        return 1;
    }

    const float* v = obj->verts;
    for (int i = 0; i < nf; i++) {
        const int32_t* w = obj->faces[i].v;
        const float* a = v + 3 * w[0];
        const float* b = v + 3 * w[1];
        const float* c = v + 3 * w[2];
        float ab[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        float ac[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        float* n = facenorm + 3 * i;
        vec_crossproduct(ab, ac, n);
        vec_normalizevector(n);
        n[0] *= kNormalLength;
        n[1] *= kNormalLength;
        n[2] *= kNormalLength;
    }

    // Faces of each vertex: a count followed by up to 15 face numbers; later faces are ignored.
    for (int i = 0; i < nf; i++) {
        for (int k = 0; k < 4; k++) {
            int32_t idx = obj->faces[i].v[k];
            if ((idx & kAbsentBit) || idx < 0 || idx >= nv) continue;
            int32_t* entry = adjacent + 16 * idx;
            if (entry[0] < kMaxFacesPerVertex) entry[1 + entry[0]++] = i;
        }
    }

    float* out = obj->normals;
    memset(out, 0, sizeof(float) * 3 * static_cast<size_t>(nv));
    for (int i = 0; i < nv; i++) {
        const int32_t* entry = adjacent + 16 * i;
        int k = entry[0];
        if (k == 0) continue;
        float sum[3] = {0.0f, 0.0f, 0.0f};
        for (int j = 0; j < k; j++) {
            const float* n = facenorm + 3 * entry[1 + j];
            sum[0] += n[0];
            sum[1] += n[1];
            sum[2] += n[2];
        }
        float inv = 1.0f / static_cast<float>(k);
        out[3 * i] = sum[0] * inv;
        out[3 * i + 1] = sum[1] * inv;
        out[3 * i + 2] = sum[2] * inv;
    }
    free(facenorm);
    free(adjacent);
    return 0;
}

} // namespace

// --- set-up ---

int vec_init_sys() {
    vec_calc_sqrt();
    vec_state.sorttype = 1;
    vec_init_fill();
    return 0;
}

void vec_close_sys() {
    vec_close_fill();
    vec_release_render_scratch();
}

int vec_init(vec_world* world) {
    if (!world) return 1;
    if (vec_state.initcount == 0 && vec_init_sys() != 0) return 1;
    memset(world, 0, sizeof(*world));
    world->cammode = 0;
    world->objects = static_cast<vec_objlist*>(calloc(1, sizeof(vec_objlist)));
    if (!world->objects) return 1;
    world->front[2] = -1.0f;
    world->up[1] = 1.0f;
    set_identity(world->matrix);
    world->aspect = 256;
    world->yres = 200;
    world->xres = 320;
    world->bits = 8;
    vec_state.initcount++;
    return 0;
}

void vec_close(vec_world* world) {
    if (!world || vec_state.initcount <= 0) return;
    if (--vec_state.initcount == 0) vec_close_sys();
}

void vec_free_world(vec_world* world) {
    if (!world || !world->objects) return;
    vec_objlist* list = world->objects;
    for (vec_objnode* n = list->first; n; n = n->next)
        if (n->object) n->object->share->lists--;
    // The same object may sit in the list more than once: release it only once.
    std::unordered_set<const vec_object*> released;
    released.reserve(static_cast<size_t>(list->count > 0 ? list->count : 0));
    for (vec_objnode* n = list->first; n;) {
        vec_object* obj = n->object;
        if (obj && released.insert(obj).second) vec_free_object(obj);
        vec_objnode* next = n->next;
        free(n);
        n = next;
    }
    free(list);
    world->objects = nullptr;
    world->seek = nullptr;
}

int vec_init_cam(vec_world* cam, vec_world* world) {
    if (!cam || !world) return 1;
    if (cam != world) memcpy(cam, world, sizeof(*cam));
    return 0;
}

int vec_set_camres(vec_world* cam, int width, int height, int bits) {
    if (!cam || vec_set_res(width, height, bits) != 0) return 1;
    cam->bits = bits;
    cam->xres = width;
    cam->yres = height;
    if (cam->zbuffer) {
        free(cam->zbuffer);
        cam->zbuffer = static_cast<int32_t*>(calloc(static_cast<size_t>(width) * height, sizeof(int32_t)));
    }
    return 0;
}

int vec_set_zbuffer(vec_world* cam, int on) {
    if (!cam) return 1;
    free(cam->zbuffer);
    cam->zbuffer = nullptr;
    if (!on) return 0;
    if (cam->xres <= 0 || cam->yres <= 0) return 1;
    cam->zbuffer = static_cast<int32_t*>(calloc(static_cast<size_t>(cam->xres) * cam->yres, sizeof(int32_t)));
    return cam->zbuffer ? 0 : 1;
}

int vec_set_res(int width, int height, int bits) {
    if (vec_set_fillres(width, height, bits) != 0) return 1;
    vec_state.view_w = width;
    vec_state.view_h = height;
    return 0;
}

int vec_set_aspect(int aspect) {
    if (aspect < 0) return 1;
    vec_state.aspect = aspect;
    return 0;
}

void vec_set_lsrc(const float* position) {
    if (!position) return;
    for (int i = 0; i < 3; i++) vec_state.lsrc[i] = position[i];
}

void vec_set_range(int base, int range) {
    if (base < 0 || range < 0) return;
    // Computed in 64 bits so that large arguments cannot overflow; the results are floats anyway.
    vec_state.shade_min = static_cast<float>(static_cast<int64_t>(base) * 256);
    vec_state.shade_max = static_cast<float>((static_cast<int64_t>(base) + range - 1) * 256);
    vec_state.shade_range = static_cast<float>(static_cast<int64_t>(range) * 256);
}

void vec_set_mirror(int flag) {
    vec_state.mirror = flag ? 1 : 0;
}

// --- object list ---

void vec_seek_set(vec_world* world) {
    if (world) world->seek = nullptr;
}

vec_object* vec_seek_obj(vec_world* world) {
    if (!world || !world->objects) return nullptr;
    world->seek = world->seek ? world->seek->next : world->objects->first;
    return world->seek ? world->seek->object : nullptr;
}

int vec_add_object(vec_world* world, vec_object* obj, int level) {
    if (!world || !obj || !world->objects || !obj->share) return 1;
    return append_node(world, obj, level);
}

// --- objects ---

vec_object* vec_alloc_object(int nverts, int nfaces, int with_uv) {
    if (nverts < 0 || nfaces < 0 || nfaces > kMaxFaces) return nullptr;
    auto* obj = static_cast<vec_object*>(calloc(1, sizeof(vec_object)));
    auto* share = static_cast<vec_objshare*>(calloc(1, sizeof(vec_objshare)));
    if (!obj || !share) {
        free(obj);
        free(share);
        return nullptr;
    }
    obj->share = share;
    if (with_uv) obj->uv = alloc_floats(2L * nverts);
    obj->tverts = alloc_floats(3L * nverts);
    obj->scrverts = alloc_floats(2L * nverts);
    if (nfaces > 0)
        obj->faces = static_cast<vec_face*>(calloc(static_cast<size_t>(nfaces), sizeof(vec_face)));
    if (nverts > 0) obj->verts = alloc_floats(3L * nverts);
    bool vert_arrays = nverts == 0 || (obj->verts && obj->tverts && obj->scrverts && (!with_uv || obj->uv));
    if ((nfaces > 0 && !obj->faces) || !vert_arrays) {
        vec_free_object(obj);
        return nullptr;
    }
    obj->nfaces = nfaces;
    obj->nverts = nverts;
    return obj;
}

int vec_init_object(vec_object* obj) {
    if (!obj || !obj->share) return 1;
    if ((obj->nverts > 0 && !obj->verts) || (obj->nfaces > 0 && !obj->faces)) return 1;
    if (!faces_valid(obj)) return 1;

    obj->depth = -obj->pos[2];
    obj->color = 0x808080;
    obj->flags = kVecFlat;
    set_identity(obj->matrix);
    set_identity(obj->work);

    // Reverse the winding of every face.
    for (int i = 0; i < obj->nfaces; i++) {
        int32_t t = obj->faces[i].v[0];
        obj->faces[i].v[0] = obj->faces[i].v[2];
        obj->faces[i].v[2] = t;
    }

    // Bounding radius about the pivot (the local translation column holds minus the pivot).
    const float t[3] = {obj->local[0][3], obj->local[1][3], obj->local[2][3]};
    float maxsq = 0.0f;
    for (int i = 0; i < obj->nverts; i++) {
        const float* v = obj->verts + 3 * i;
        float x = v[0] + t[0], y = v[1] + t[1], z = v[2] + t[2];
        float sq = x * x + y * y + z * z;
        if (sq > maxsq) maxsq = sq;
    }
    obj->radius = static_cast<float>(std::sqrt(static_cast<double>(maxsq))) + 1.0f;

    if (obj->nverts == 0) return 0;
    return calc_normals(obj);
}

vec_object* vec_copy_object(vec_world* world, vec_object* src, int n) {
    (void)n;
    if (!world || !src || !src->share || !world->objects) return nullptr;
    auto* obj = static_cast<vec_object*>(malloc(sizeof(vec_object)));
    if (!obj) return nullptr;
    memcpy(obj, src, sizeof(*obj));
    obj->tverts = alloc_floats(3L * src->nverts);
    obj->scrverts = alloc_floats(2L * src->nverts);
    obj->tnormals = src->normals ? alloc_floats(3L * src->nverts) : nullptr;
    bool ok = src->nverts == 0 || (obj->tverts && obj->scrverts && (!src->normals || obj->tnormals));
    if (!ok) {
        // Nothing shared has been counted yet: release only what this copy owns.
        free(obj->tverts);
        free(obj->scrverts);
        free(obj->tnormals);
        free(obj);
        return nullptr;
    }
    if (obj->normals) obj->share->normcopies++;
    obj->share->copies++;
    if (append_node(world, obj, -1) != 0) {
        // vec_free_object would keep the copy while the source is listed; undo the counts by hand.
        if (obj->normals) obj->share->normcopies--;
        obj->share->copies--;
        free(obj->tverts);
        free(obj->scrverts);
        free(obj->tnormals);
        free(obj);
        return nullptr;
    }
    return obj;
}

void vec_free_object(vec_object* obj) {
    if (!obj) return;
    vec_objshare* share = obj->share;
    if (share && share->lists != 0) return;
    if (share && share->normcopies > 0)
        share->normcopies--;
    else
        free(obj->normals);
    if (share && share->copies > 0) {
        share->copies--;
    } else {
        free(obj->faces);
        free(obj->verts);
        free(obj->uv);
        free(share);
    }
    free(obj->tverts);
    free(obj->scrverts);
    free(obj->tnormals);
    free(obj);
}

// --- square roots ---

void vec_calc_sqrt() {
    if (sqrt_ready) return;
    int r = 0;
    for (int i = 0; i < 65536; i++) {
        while ((r + 1) * (r + 1) <= i) r++;
        sqrt_table[i] = static_cast<uint8_t>(r);
    }
    sqrt_ready = true;
}

uint32_t vec_isqrt(uint32_t n) {
    if (!sqrt_ready) vec_calc_sqrt();
    if (n < 65536) return sqrt_table[n];
    // Scale into the table by an even shift; one more than the scaled root is an overestimate, from which
    // Newton steps descend to the floor of the root.
    int shift = 0;
    uint32_t m = n;
    while (m >= 65536) {
        m >>= 2;
        shift++;
    }
    uint64_t r = static_cast<uint64_t>(sqrt_table[m] + 1) << shift;
    for (;;) {
        uint64_t next = (r + n / r) / 2;
        if (next >= r) break;
        r = next;
    }
    return static_cast<uint32_t>(r);
}
