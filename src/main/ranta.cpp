// ranta.cpp: the shore scene of section 8. A lighthouse on a rocky islet with two boulders off shore, and ten
// balls (the scene's last object and nine copies) flying round it like gulls, while the camera circles the
// islet. Drawn with the vector engine, flat shaded, into the frame buffer given to ranta_init, over whatever
// the frame already holds: only the pixels under its polygons change. Main thread.
//
// Units: world coordinates are scene units * 256 (the islet is about 240 units across, the camera some 430
// units out); angles of the engine in 1/1024 turn; the clock in demo ticks (50 a second, four times faster
// from song position 1300). korpa[i] is ball i's flight radius in world units, nurpo[i] its rhythm in ticks:
// one round takes 4 * nurpo[i] ticks and one climb and fall 2 * nurpo[i].
#include "ranta.h"

#include "assets.h"
#include "screen.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>

namespace {

vec_world world;
vec_world cam;
float korpa[ranta_balls];
int nurpo[ranta_balls];

constexpr float kUnit = 256.0f; // world units per scene unit
constexpr double kTwoPi = 2 * std::numbers::pi;

// Flat colours 0x00RRGGBB, chosen to stand out against the warm halftone portrait.
struct Paint {
    const char* name;
    uint32_t color;
};
constexpr Paint kPaints[] = {
    {"kallio", 0x8CA0B8}, // slate-blue rock
    {"kivi", 0x7A8EA6},   // boulders
    {"torni", 0xF4F2EC},  // white tower
    {"lyhty", 0xFFE070},  // lantern
    {"katto", 0x3C6CE0},  // blue roof
};
constexpr uint32_t kBallColors[ranta_balls] = {0x9CF0FF, 0xFFFFFF, 0xB8FF9C, 0xFFF29C, 0x9CC8FF,
                                               0xE0B8FF, 0x9CFFE0, 0xFFFFD0, 0xC0E8FF, 0xD8FFB0};

// The light stands high up, off to the camera's left and ahead of it, and travels round with it, so the
// faces towards the viewer stay lit whichever side of the islet the camera is on.
constexpr double kLightTurn = -0.9;      // radians from the camera's bearing
constexpr double kLightDistance = 900.0; // scene units from the lighthouse
constexpr double kLightHeight = 800.0;
constexpr int kShadeBase = 56; // darkest shade of a face turned away from the light, of 255
constexpr int kShadeRange = 199;

vec_object* balls[ranta_balls];
int ball_count = 0;
vec_object* lantern = nullptr;

// The camera's resting place as the scene file gives it, relative to the point it looks at.
float target0[3];
float orbit_radius, orbit_angle, orbit_height;

// Releases the scene of an earlier start-up (tests and capture start the demo more than once), leaving
// nothing for ranta_effect to draw.
void release_scene() {
    if (world.objects) {
        vec_free_world(&world);
        vec_close(&world);
    }
    cam = vec_world{};
    ball_count = 0;
    lantern = nullptr;
}

} // namespace

int ranta_init_scene(uint32_t* target, const uint8_t* scene, size_t size) {
    release_scene();
    if (vec_init(&world) != 0) return 1;
    vec_init_cam(&cam, &world);
    vec_set_camres(&cam, kScreenW, kScreenH, 32);
    cam.screen = target;
    if (vec_get_camera(scene, size, 1, &cam) == 1 || vec_get_objects(scene, size, &world) == 1) {
        release_scene();
        return 1;
    }
    vec_set_range(0, 255);
    vec_object* last = nullptr;
    for (vec_objnode* n = world.objects->first; n; n = n->next) last = n->object;
    if (last) balls[ball_count++] = last;
    for (int i = 0; i < ranta_balls - 1; i++) {
        vec_object* copy = vec_copy_object(&world, last, 1);
        if (copy) balls[ball_count++] = copy;
    }
    for (int i = 0; i < ranta_balls; i++) {
        korpa[i] = float(std::rand() % 30000 + 25000);
        nurpo[i] = std::rand() % 350 + 100;
    }
    vec_set_zbuffer(&cam, 0);

    for (vec_objnode* n = world.objects->first; n; n = n->next) {
        vec_object* o = n->object;
        for (const Paint& p : kPaints)
            if (std::strcmp(o->name, p.name) == 0) o->color = p.color;
        if (std::strcmp(o->name, "lyhty") == 0) lantern = o;
    }
    for (int i = 0; i < ball_count; i++) balls[i]->color = kBallColors[i];
    const float dx = cam.pos[0] - cam.target[0], dy = cam.pos[1] - cam.target[1];
    std::memcpy(target0, cam.target, sizeof target0);
    orbit_radius = std::sqrt(dx * dx + dy * dy);
    // In double, rounded once to float: a float atan2 is not correctly rounded in every C library, and
    // its last bit would turn the camera's whole path (and with it most frames of the scene).
    orbit_angle = static_cast<float>(std::atan2(static_cast<double>(dy), static_cast<double>(dx)));
    orbit_height = cam.pos[2] - cam.target[2];
    return 0;
}

int ranta_init(uint32_t* target) {
    return ranta_init_scene(target, pallo, pallo_size);
}

ranta_view ranta_inspect() {
    return {&world, &cam, korpa, nurpo};
}

void ranta_effect(int clock) {
    if (ball_count == 0) return;
    const double t = clock;

    // The camera drifts round the islet (a turn in about 80 s), breathing in and out and rising and sinking,
    // always looking at the lighthouse, with a slight roll.
    const double angle = orbit_angle + t * 0.0016 + 0.3 * std::sin(t * 0.0021);
    const double radius = orbit_radius * (1.0 + 0.14 * std::sin(t * 0.0031));
    cam.pos[0] = target0[0] + float(radius * std::cos(angle));
    cam.pos[1] = target0[1] + float(radius * std::sin(angle));
    cam.pos[2] = target0[2] + orbit_height + float(50.0 * kUnit * std::sin(t * 0.0047));
    std::memcpy(cam.target, target0, sizeof target0);
    cam.angles[2] = float(14.0 * std::sin(t * 0.0037));

    // Each ball circles the lighthouse at its own radius and pace (every other one the other way round),
    // climbing and falling, and tumbling as it goes.
    for (int i = 0; i < ball_count; i++) {
        vec_object* b = balls[i];
        const double round = kTwoPi * (t / (4.0 * nurpo[i]) + i / double(ranta_balls));
        const double a = i % 2 ? -round : round;
        const double climb = std::sin(kTwoPi * t / (2.0 * nurpo[i]) + i);
        b->pos[0] = float(korpa[i] * std::cos(a));
        b->pos[1] = float(korpa[i] * std::sin(a));
        b->pos[2] = float((74.0 + 34.0 * climb) * kUnit);
        vec_init_qmatr(b->matrix);
        b->turn[0] = float(std::fmod(t * 3.0 + 100.0 * i, 1024.0));
        b->turn[1] = float(std::fmod(t * 5.0, 1024.0));
        b->turn[2] = float(std::fmod(a * (1024.0 / kTwoPi), 1024.0));
    }

    // The lantern's light swells and fades as if its beam swept past.
    if (lantern) {
        const int glow = int(200.0 + 55.0 * std::sin(t * 0.05));
        lantern->color = uint32_t(glow) << 16 | uint32_t(glow * 224 / 255) << 8 | uint32_t(glow * 112 / 255);
    }

    const float light[3] = {target0[0] + float(kLightDistance * kUnit * std::cos(angle + kLightTurn)),
                            target0[1] + float(kLightDistance * kUnit * std::sin(angle + kLightTurn)),
                            target0[2] + float(kLightHeight * kUnit)};
    vec_set_lsrc(light);
    vec_set_range(kShadeBase, kShadeRange);
    vec_render_world(&cam);
}
