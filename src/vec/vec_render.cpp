// vec_render.cpp: the render pipeline of the vector engine: camera matrix, hierarchy, bounding-sphere
// culling, projection, back-face test and depth keys, flat and smooth shading, the near-plane clipper and
// the hand-over of every polygon to the filler.
//
// Camera space: x right, y up, view along -z; the near plane is z = -105. Screen positions are floats in
// 1/256 pixel with (0, 0) the top-left corner. Shades are intensity * 256. The polygon list (at most 65536
// faces a frame) and the sort scratch are static; the per-node pivot array grows only when the object list
// does. Main thread only.
#include "vec.h"
#include "vec_local.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kMaxPolys = 65536;
constexpr float kNearDist = 105.0f;
constexpr float kCullScale = -1.421875f;
constexpr float kTexCentre = 32768.0f;

// The polygon list: depth key, face offset (complemented for a back face) and object of every face.
int32_t poly_key[kMaxPolys];
int32_t poly_ref[kMaxPolys];
vec_object* poly_obj[kMaxPolys];
int poly_count = 0;
vec_sortpair sort_scratch[2 * kMaxPolys];

// Camera-space pivot of every node, filled by the scene pass.
float* pivots = nullptr;
int pivot_capacity = 0;

vec_matrix rotation_only; // object-to-camera matrix without its translation

// A corner on its way to the filler: camera-space position, screen position and the vec_pvert words.
struct corner {
    float cx, cy, cz;
    float sx, sy;
    float u, v, u2, v2, shade, z;
};

float fabs_trunc(float v) {
    return static_cast<float>(std::abs(vec_trunc(v)));
}

// Scene pass: camera matrix, object-to-camera matrices and culling; then the camera's view size, aspect
// and buffers become the engine's (each only if the one before was accepted).
void scene_pass(vec_world* cam) {
    vec_objlist* list = cam->objects;
    const int nodes = list ? list->count : 0;
    const float b = static_cast<float>(cam->aspect / 128);

    bool ready = true;
    if (nodes > pivot_capacity) {
        auto* grown = static_cast<float*>(realloc(pivots, sizeof(float) * 3 * static_cast<size_t>(nodes)));
        if (grown) {
            pivots = grown;
            pivot_capacity = nodes;
        } else {
            ready = false;
        }
    }

    if (ready && list) {
        vec_matrix& m = cam->matrix;
        switch (cam->cammode) {
        case 0: {
            vec_init_qmatr(m);
            const float dir[3] = {cam->target[0] - cam->pos[0], cam->target[1] - cam->pos[1],
                                  cam->target[2] - cam->pos[2]};
            vec_calc_qtodir(m, dir, cam->angles[2]);
            break;
        }
        case 1:
            vec_init_qmatr(m);
            vec_calc_qrot(m, cam->angles[0], cam->angles[1], cam->angles[2]);
            break;
        case 2:
            vec_init_qmatr(m);
            vec_calc_qtoaxis(m, cam->front, cam->up);
            break;
        default:
            break; // keep last frame's rotation
        }
        m[0][3] = -cam->eyeofs[0];
        m[1][3] = -cam->eyeofs[1];
        m[2][3] = -cam->eyeofs[2];

        int i = 0;
        for (vec_objnode* node = list->first; node && i < nodes; node = node->next, i++) {
            vec_object* o = node->object;
            vec_rotate_object(o);
            vec_translate_object(o);
            memcpy(o->work, o->matrix, sizeof(vec_matrix));
            if (node->parent) {
                vec_matrixmul_4x4(node->parent->object->work, o->work, o->work);
            } else {
                vec_mirror_object(o);
                for (int r = 0; r < 3; r++) o->work[r][3] = o->pos[r] + o->work[r][3] - cam->pos[r];
                vec_matrixmul_4x4(m, o->work, o->work);
            }
            const float pivot[3] = {-o->local[0][3], -o->local[1][3], -o->local[2][3]};
            vec_transf_vects(1, o->work, pivot, pivots + 3 * i);
        }

        i = 0;
        for (vec_objnode* node = list->first; node && i < nodes; node = node->next, i++) {
            vec_object* o = node->object;
            const float* c = pivots + 3 * i;
            const float g = o->radius * kCullScale;
            const float zp = -c[2];
            const bool culled =
                !(zp == zp) || fabs_trunc(c[0]) + g > zp || zp < (fabs_trunc(c[1]) + g) * b || o->nverts <= 0;
            o->depth = culled ? kVecCulled : zp;
        }
    }

    if (vec_set_aspect(cam->aspect) == 0 && vec_set_res(cam->xres, cam->yres, cam->bits) == 0)
        vec_set_bufs(cam->screen, cam->zbuffer);
}

// Cuts a polygon of n corners by the near plane; returns the corner count of the part in front of it
// (up to n + 1). New corners lie on the plane and are projected with the view's scale factors.
int clip_near(const corner* in, int n, corner* out, int width, int height, float aspect) {
    const float xs = static_cast<float>(192 * width) / kNearDist;
    const float ys = static_cast<float>(height) * aspect / kNearDist;
    const float cx = static_cast<float>(128 * width), cy = static_cast<float>(128 * height);
    int m = 0;
    for (int i = 0; i < n; i++) {
        const corner& p = in[i];
        const corner& q = in[i + 1 < n ? i + 1 : 0]; // no division (a library call on 32-bit ARM)
        const bool p_in = p.cz <= kVecNearZ, q_in = q.cz <= kVecNearZ;
        if (p_in) out[m++] = p;
        if (p_in == q_in) continue;
        const corner& a = p_in ? p : q; // inside
        const corner& o = p_in ? q : p; // outside
        const float t = (a.cz + kNearDist) / (a.cz - o.cz);
        auto lerp = [t](float from, float to) { return from + t * (to - from); };
        corner c;
        c.cx = lerp(a.cx, o.cx);
        c.cy = lerp(a.cy, o.cy);
        c.cz = lerp(a.cz, o.cz);
        c.sx = c.cx * xs + cx;
        c.sy = cy - c.cy * ys;
        c.u = lerp(a.u, o.u);
        c.v = lerp(a.v, o.v);
        c.u2 = lerp(a.u2, o.u2);
        c.v2 = lerp(a.v2, o.v2);
        c.shade = lerp(a.shade, o.shade);
        c.z = lerp(a.z, o.z);
        out[m++] = c;
    }
    return m;
}

void select_textures(const vec_object* o) {
    const uint32_t v = o->flags & ~(kVecFlat | kVecZTest | kVecPerspective | kVecTwoSided | kVecUnshaded);
    switch (v) {
    case kVecUvMap:
    case kVecUvMap | kVecSmooth:
    case kVecPlainTexture:
        vec_set_texture(o->texture[0], 1);
        break;
    case kVecNormalMap:
        vec_set_texture(o->texture[2], 1);
        break;
    case kVecUvMap | kVecNormalMap:
        vec_set_texture(o->texture[0], 1);
        vec_set_texture(o->texture[2], 2);
        break;
    case kVecBothMaps:
        vec_set_texture(o->texture[0], 1);
        vec_set_texture(o->texture[2], 2);
        vec_set_texture(o->texture[3], 3);
        break;
    default:
        break;
    }
}

// Draws one entry of the polygon list.
void draw_poly(vec_object* o, int32_t ref, bool zbuffer) {
    const uint32_t flags = o->flags;
    const uint32_t type = (flags | (zbuffer ? kVecZTest : 0u)) & ~kVecTwoSided;
    if (vec_set_filltype(type) != 0) return;
    select_textures(o);
    const bool front = ref >= 0;
    const int32_t f = front ? ref : ~ref;
    if ((flags & kVecTwoSided) && !front && o->texture[1]) vec_set_texture(o->texture[1], 1);

    static constexpr int kForward[4] = {0, 1, 2, 3};
    static constexpr int kBackward[4] = {2, 1, 0, 3};
    const int* order = (front != (vec_state.mirror != 0)) ? kForward : kBackward;
    const int32_t* words = &o->faces[0].v[0];
    const bool with_uv = (flags & kVecTexturedByUv) && o->uv;
    const bool with_normals = (flags & kVecTexturedByNormals) && o->tnormals;
    const bool with_z = zbuffer || (flags & kVecPerspective);

    const bool smooth = flags & kVecSmooth;
    corner cs[4];
    int n = 0;
    bool clip = false;
    for (int k = 0; k < 4; k++) {
        const int word = f + order[k];
        const int32_t vi = words[word];
        if (vi < 0) continue;
        corner& c = cs[n++];
        const float* t = o->tverts + 3 * vi;
        c.cx = t[0];
        c.cy = t[1];
        c.cz = t[2];
        c.sx = o->scrverts[2 * vi];
        c.sy = o->scrverts[2 * vi + 1];
        c.u = with_uv ? o->uv[2 * vi] : 0.0f;
        c.v = with_uv ? o->uv[2 * vi + 1] : 0.0f;
        c.u2 = with_normals ? kTexCentre + o->tnormals[3 * vi] : 0.0f;
        c.v2 = with_normals ? kTexCentre - o->tnormals[3 * vi + 1] : 0.0f;
        c.shade = smooth ? vec_shade(o, word) : 0.0f;
        c.z = with_z ? -t[2] : 0.0f;
        if (c.cz > kVecNearZ) clip = true;
    }
    if (n < 3) return;

    corner clipped[5];
    const corner* src = cs;
    if (clip) {
        n = clip_near(cs, n, clipped, vec_state.view_w, vec_state.view_h,
                      static_cast<float>(vec_state.aspect));
        if (n < 3 || n > 4) return;
        src = clipped;
    }

    // Words a corner does not carry are 0 (their corner values are 0.0); only the others are converted.
    vec_pvert pv[4];
    for (int k = 0; k < n; k++) {
        const corner& c = src[k];
        pv[k] = {vec_trunc(c.sx),
                 vec_trunc(c.sy),
                 with_uv ? vec_trunc(c.u) : 0,
                 with_uv ? vec_trunc(c.v) : 0,
                 with_normals ? vec_trunc(c.u2) : 0,
                 with_normals ? vec_trunc(c.v2) : 0,
                 smooth ? vec_trunc(c.shade) : 0,
                 with_z ? vec_trunc(c.z) : 0};
    }
    if (flags & kVecFlat) pv[0].shade = vec_trunc(vec_shade(o, f));
    vec_poly(n, pv, o->color);
}

} // namespace

void vec_release_render_scratch() {
    free(pivots);
    pivots = nullptr;
    pivot_capacity = 0;
}

void vec_init_sort() {
    vec_state.sorttype = 0;
    poly_count = 0;
}

int vec_tell_sorttype() {
    return vec_state.sorttype;
}

int vec_render_world(vec_world* cam) {
    vec_init_sort();
    if (!cam) return 0;
    scene_pass(cam);
    if (cam->objects) {
        for (vec_objnode* node = cam->objects->first; node; node = node->next) {
            vec_object* o = node->object;
            if (!(o->depth < kVecCulled)) continue;
            vec_project_object(o, cam->xres, cam->yres, static_cast<float>(cam->aspect));
            vec_visicalc(o);
            if (o->flags & (kVecFlat | kVecSmooth)) vec_init_shading(o);
        }
    }
    return vec_draw_objects();
}

void vec_project_object(vec_object* obj, int width, int height, float aspect) {
    vec_transf_vects(obj->nverts, obj->work, obj->verts, obj->tverts);
    if ((obj->flags & kVecTexturedByNormals) && obj->tnormals && obj->normals) {
        memcpy(rotation_only, obj->work, sizeof(vec_matrix));
        rotation_only[0][3] = rotation_only[1][3] = rotation_only[2][3] = 0.0f;
        vec_transf_vects(obj->nverts, rotation_only, obj->normals, obj->tnormals);
    }
    const float xs = static_cast<float>(192 * width);
    const float ys = static_cast<float>(height) * aspect;
    const float cx = static_cast<float>(128 * width);
    const float cy = static_cast<float>(128 * height);
    for (int k = 0; k < obj->nverts; k++) {
        const float* t = obj->tverts + 3 * k;
        float* s = obj->scrverts + 2 * k;
        const float zp = -t[2];
        if (zp >= kNearDist) {
            const float i = 1.0f / zp;
            s[0] = i * t[0] * xs + cx;
            s[1] = cy - i * t[1] * ys;
        } else {
            s[0] = cx;
            s[1] = cy;
        }
    }
}

int vec_visicalc(vec_object* obj) {
    const bool zflag = vec_tell_zbuffer() != nullptr && !(obj->flags & kVecTwoSided);
    const float* tv = obj->tverts;
    const float* sv = obj->scrverts;
    for (int i = 0; i < obj->nfaces; i++) {
        const int32_t* w = obj->faces[i].v;
        const int a = w[0], b = w[1], c = w[2];
        const float za = tv[3 * a + 2], zb = tv[3 * b + 2], zc = tv[3 * c + 2];
        const int32_t s =
            vec_trunc(static_cast<float>(vec_trunc(static_cast<float>(vec_trunc(za)) + zb)) + zc);
        const int near = (za > kVecNearZ) + (zb > kVecNearZ) + (zc > kVecNearZ);
        if (near == 3) continue;
        bool front = true;
        if (near == 0) {
            const float* pa = sv + 2 * a;
            const float* pb = sv + 2 * b;
            const float* pc = sv + 2 * c;
            const float l = (pb[1] - pa[1]) * (pc[0] - pb[0]);
            const float r = (pc[1] - pb[1]) * (pb[0] - pa[0]);
            front = (l <= r) != (vec_state.mirror != 0);
            if (!front && !(obj->flags & kVecTwoSided)) continue;
        }
        if (poly_count >= kMaxPolys) break;
        const int32_t key = zflag ? (s <= 0 ? s : 0) : (s < 0 ? -s : 0);
        poly_key[poly_count] = key >> 8;
        poly_ref[poly_count] = front ? 4 * i : ~(4 * i);
        poly_obj[poly_count] = obj;
        poly_count++;
    }
    return poly_count;
}

void vec_init_shading(vec_object* obj) {
    const float d[3] = {obj->pos[0] - vec_state.lsrc[0], obj->pos[1] - vec_state.lsrc[1],
                        obj->pos[2] - vec_state.lsrc[2]};
    vec_inverse_transf(obj->matrix, d, obj->light);
}

float vec_shade(vec_object* obj, int index) {
    const int32_t* words = &obj->faces[0].v[0];
    float n[3];
    if (obj->flags & kVecSmooth) {
        const int32_t v = words[index];
        if (!obj->normals || v < 0 || v >= obj->nverts) return vec_state.shade_min;
        n[0] = obj->normals[3 * v];
        n[1] = obj->normals[3 * v + 1];
        n[2] = obj->normals[3 * v + 2];
    } else {
        const float* va = obj->verts + 3 * words[index];
        const float* vb = obj->verts + 3 * words[index + 1];
        const float* vc = obj->verts + 3 * words[index + 2];
        const float ab[3] = {vb[0] - va[0], vb[1] - va[1], vb[2] - va[2]};
        const float ac[3] = {vc[0] - va[0], vc[1] - va[1], vc[2] - va[2]};
        vec_crossproduct(ab, ac, n);
        vec_normalizevector(n);
    }
    const float* l = obj->light;
    const float ll = l[0] * l[0] + l[1] * l[1] + l[2] * l[2];
    const float nn = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
    const float d = static_cast<float>(std::sqrt(static_cast<double>(ll * nn)));
    const float u = d == 0.0f ? 0.0f : (l[1] * n[1] + l[0] * n[0] + l[2] * n[2]) * vec_state.shade_range / d;
    float shade = u + vec_state.shade_min;
    if (shade < vec_state.shade_min) shade = vec_state.shade_min;
    if (shade > vec_state.shade_max) shade = vec_state.shade_max;
    return shade;
}

int vec_draw_objects() {
    const bool zbuffer = vec_tell_zbuffer() != nullptr;
    if (zbuffer) vec_clear_zbuffer();
    const vec_sortpair* sorted = byte_radix(poly_count, poly_key, sort_scratch, 3);
    for (int i = poly_count - 1; i >= 0; i--) {
        const int k = sorted[i].index;
        draw_poly(poly_obj[k], poly_ref[k], zbuffer);
    }
    return 0;
}
