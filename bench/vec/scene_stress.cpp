// scene_stress: writes hostile 3D Studio scenes and measures reading one, for the scene reader's memory and
// time bounds. Peak memory is best read from outside: /usr/bin/time -v scene_stress load FILE.
//
//   scene_stress write shared NODES FILE   one 4000-vertex, 4000-face mesh named by NODES object nodes
//   scene_stress write chain NODES FILE    NODES helper nodes, each the child of the one before
//   scene_stress write flat NODES FILE     NODES helper nodes, all roots
//   scene_stress write bare NODES FILE     NODES empty 6-byte key-frame nodes, which build nothing
//   scene_stress write padded NODES FILE   "shared", then bare nodes up to 1 MB: the most a 1 MB file can
//   cost scene_stress load FILE                 reads FILE into a world and frees it: result, object count,
//   times
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "scene_builder.h"
#include "vec.h"

namespace {

constexpr unsigned kNoParent = 0xFFFF;

bool write_scene(const std::string& kind, int nodes, const char* path) {
    SceneBuilder s;
    s.begin_main();
    if (kind == "shared" || kind == "padded") {
        s.begin_editor();
        s.grid_mesh("m", 4000);
        s.end();
        s.begin_keyframes();
        for (int i = 0; i < nodes; i++) s.short_node("m", kNoParent);
        while (kind == "padded" && s.bytes.size() + 12 <= 1 << 20) {
            s.push(0xB001);
            s.end();
        }
        s.end();
    } else if (kind == "chain" || kind == "flat") {
        s.begin_keyframes();
        for (int i = 0; i < nodes; i++)
            s.short_node("$$$DUMMY", kind == "flat" || i == 0 ? kNoParent : unsigned(i - 1));
        s.end();
    } else if (kind == "bare") {
        s.begin_keyframes();
        for (int i = 0; i < nodes; i++) {
            s.push(0xB001);
            s.end();
        }
        s.end();
    } else {
        return false;
    }
    s.end();
    FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    const bool ok = std::fwrite(s.bytes.data(), 1, s.bytes.size(), f) == s.bytes.size();
    return std::fclose(f) == 0 && ok;
}

double seconds_since(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

int load(const char* path) {
    vec_world world{};
    if (vec_init(&world) != 0) return 1;
    vec_set_source(0);
    const auto t0 = std::chrono::steady_clock::now();
    const int result = vec_load_objects(path, 0, &world);
    const double load_s = seconds_since(t0);
    const int count = world.objects->count;
    const auto t1 = std::chrono::steady_clock::now();
    vec_free_world(&world);
    const double free_s = seconds_since(t1);
    vec_close(&world);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%s: result %d, %d objects, load %.2f ms, free %.2f ms, peak RSS %.1f MB\n", path, result,
                count, 1e3 * load_s, 1e3 * free_s, double(usage.ru_maxrss) / 1024.0);
    return 0;
}

int usage() {
    std::fprintf(stderr, "usage: scene_stress write shared|chain|flat|bare NODES FILE\n"
                         "       scene_stress load FILE\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "load") == 0) return load(argv[2]);
    if (argc != 5 || std::strcmp(argv[1], "write") != 0) return usage();
    const int nodes = std::atoi(argv[3]);
    // Node ids are 16-bit; only bare nodes carry none.
    if (nodes < 1 || nodes > (std::strcmp(argv[2], "bare") == 0 ? 1 << 20 : 65535)) return usage();
    if (!write_scene(argv[2], nodes, argv[4])) {
        std::fprintf(stderr, "scene_stress: cannot write %s\n", argv[4]);
        return 1;
    }
    return 0;
}
