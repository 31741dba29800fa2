// Speed of the vector engine at 320x240, 32 bits per pixel: one frame of a scene of a few hundred
// flat-shaded polygons (ns per frame), a large filled triangle, the depth sort of a full polygon list, and
// one read of the demo's scene file into a world.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "assets.h"
#include "vec.h"

namespace {

constexpr int kW = 320, kH = 240;

// A sphere of `rings` x `segments` quads split into triangles, wound counter-clockwise seen from outside.
vec_object* make_sphere(float radius, int rings, int segments) {
    std::vector<float> v;
    for (int r = 0; r <= rings; r++) {
        const double t = M_PI * r / rings;
        for (int s = 0; s < segments; s++) {
            const double p = 2 * M_PI * s / segments;
            v.push_back(static_cast<float>(radius * std::sin(t) * std::cos(p)));
            v.push_back(static_cast<float>(radius * std::sin(t) * std::sin(p)));
            v.push_back(static_cast<float>(radius * std::cos(t)));
        }
    }
    std::vector<int> f;
    auto tri = [&](int a, int b, int c) {
        // Outward if the normal points away from the centre.
        const float* pa = &v[3 * a];
        const float* pb = &v[3 * b];
        const float* pc = &v[3 * c];
        const float ab[3] = {pb[0] - pa[0], pb[1] - pa[1], pb[2] - pa[2]};
        const float ac[3] = {pc[0] - pa[0], pc[1] - pa[1], pc[2] - pa[2]};
        float n[3];
        vec_crossproduct(ab, ac, n);
        const float d =
            n[0] * (pa[0] + pb[0] + pc[0]) + n[1] * (pa[1] + pb[1] + pc[1]) + n[2] * (pa[2] + pb[2] + pc[2]);
        if (d >= 0)
            f.insert(f.end(), {a, b, c});
        else
            f.insert(f.end(), {a, c, b});
    };
    for (int r = 0; r < rings; r++)
        for (int s = 0; s < segments; s++) {
            const int a = r * segments + s, b = r * segments + (s + 1) % segments;
            const int c = a + segments, d = b + segments;
            if (r > 0) tri(a, c, b);
            if (r < rings - 1) tri(b, c, d);
        }
    const int nv = static_cast<int>(v.size() / 3), nf = static_cast<int>(f.size() / 3);
    vec_object* o = vec_alloc_object(nv, nf, 0);
    for (int i = 0; i < nv * 3; i++) o->verts[i] = v[i];
    for (int i = 0; i < nf; i++) o->faces[i] = {{f[3 * i], f[3 * i + 1], f[3 * i + 2], -1}};
    vec_init_qmatr(o->local);
    vec_init_object(o);
    return o;
}

// One sphere of 16 x 24 quads (720 triangles, about half of them facing the camera) and nine copies of a
// smaller one: about 600 polygons drawn per frame.
void BM_RenderFrame(benchmark::State& state) {
    static vec_world world, cam;
    vec_init(&world);
    vec_init_cam(&cam, &world);
    vec_set_camres(&cam, kW, kH, 32);
    std::vector<uint32_t> fb(kW * kH);
    cam.screen = fb.data();
    cam.pos[1] = -1600.0f;
    cam.pos[2] = 400.0f;
    vec_set_range(40, 215);
    vec_object* big = make_sphere(500.0f, 16, 24);
    big->color = 0x00C08040;
    vec_add_object(&world, big, 0);
    vec_object* small = make_sphere(90.0f, 6, 10);
    vec_add_object(&world, small, 0);
    for (int i = 0; i < 9; i++) {
        vec_object* c = vec_copy_object(&world, small, 1);
        c->pos[0] = static_cast<float>(-800 + 200 * i);
        c->pos[1] = -700.0f;
        c->color = 0x004080C0;
    }
    small->pos[2] = 700.0f;
    long polys = 0;
    for (auto _ : state) {
        big->turn[2] = 3.0f;
        big->turn[0] = 1.0f;
        vec_render_world(&cam);
        benchmark::DoNotOptimize(fb.data());
        benchmark::ClobberMemory();
    }
    vec_init_sort();
    for (vec_object* o = (vec_seek_set(&world), vec_seek_obj(&world)); o; o = vec_seek_obj(&world))
        if (o->depth < 2147483648.0f) polys = vec_visicalc(o);
    state.counters["polygons"] = static_cast<double>(polys);
    vec_free_world(&world);
    vec_close(&world);
}
BENCHMARK(BM_RenderFrame);

void BM_FillTriangle(benchmark::State& state) {
    vec_init_fill();
    std::vector<uint32_t> fb(kW * kH);
    vec_set_fillres(kW, kH, 32);
    vec_set_bufs(fb.data(), nullptr);
    vec_set_filltype(1);
    for (auto _ : state) {
        vec_pvert c[3] = {};
        c[0].x = 160 * 256;
        c[0].y = 10 * 256 + 77;
        c[1].x = 310 * 256 + 5;
        c[1].y = 230 * 256;
        c[2].x = 10 * 256;
        c[2].y = 200 * 256 + 130;
        c[0].shade = 0xC000;
        vec_poly(3, c, 0x00FFC080);
        benchmark::DoNotOptimize(fb.data());
    }
}
BENCHMARK(BM_FillTriangle);

void BM_SortFullList(benchmark::State& state) {
    std::vector<int32_t> keys(65536);
    uint32_t seed = 1;
    for (auto& k : keys) {
        seed = seed * 1664525u + 1013904223u;
        k = static_cast<int32_t>(seed >> 12);
    }
    std::vector<vec_sortpair> scratch(2 * keys.size());
    for (auto _ : state) {
        const vec_sortpair* out = byte_radix(65536, keys.data(), scratch.data(), 3);
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_SortFullList);

void BM_ReadScene(benchmark::State& state) {
    for (auto _ : state) {
        vec_world w{};
        vec_init(&w);
        benchmark::DoNotOptimize(vec_get_objects(pallo, pallo_size, &w));
        vec_free_world(&w);
        vec_close(&w);
    }
}
BENCHMARK(BM_ReadScene);

} // namespace

BENCHMARK_MAIN();
