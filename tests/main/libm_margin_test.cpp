// The demo's frames do not depend on the last bit of any libm result.
//
// sin, cos, atan2 and pow are not correctly rounded on every platform: another C library, or the same one
// on another CPU (x86-64 picks FMA variants at run time, armhf has no FMA), may return the neighbouring
// double. Two faithfully rounded results of the same value are at most one unit in the last place (ulp)
// apart, so this test plays the whole demo at 50 fps (every call the regression table depends on) with the
// libm calls of the demo's code wrapped (linker --wrap) and every inexact result moved one ulp: all up,
// all down, and at random per call. Every frame must stay bit-identical to the unmoved run. Results that
// are exact in mathematics (sin 0, cos 0, atan2(0, x > 0), whole powers of whole numbers) are the same in
// every faithful libm and stay unmoved. The float versions are wrapped too, in case the demo's code ever
// calls them. sqrt is correctly rounded by IEEE 754 and fmod is exact, so they are not wrapped.
#include "offline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

enum class Nudge { none, up, down, random };

Nudge mode = Nudge::none;
uint64_t rng_state = 0;
long nudged = 0; // inexact results seen (and moved, unless the mode is none) in this run

// Direction of the next move: +1, -1 or 0 (random mode: each a third of the time).
int direction() {
    switch (mode) {
    case Nudge::up:
        return 1;
    case Nudge::down:
        return -1;
    case Nudge::random:
        rng_state ^= rng_state << 13, rng_state ^= rng_state >> 7, rng_state ^= rng_state << 17;
        return static_cast<int>(rng_state % 3) - 1;
    case Nudge::none:
        break;
    }
    return 0;
}

// One ulp towards the direction, kept within [-limit, limit] (|sin|, |cos| never exceed 1, so no faithful
// libm returns more).
template <class T> T nudge(T r, T limit) {
    ++nudged;
    const int d = direction();
    if (d == 0) return r;
    r = std::nextafter(r, d > 0 ? INFINITY : -INFINITY);
    return std::fmin(std::fmax(r, -limit), limit);
}

template <class T> bool whole(T v) {
    return std::isfinite(v) && v == std::trunc(v);
}

template <class T> T moved_sin(T x, T r) {
    return x == 0 ? r : nudge(r, T(1));
}
template <class T> T moved_atan2(T y, T x, T r) {
    return y == 0 && !std::signbit(x) ? r : nudge(r, T(INFINITY));
}
template <class T> T moved_pow(T x, T y, T r) {
    // A whole power of a whole number is exact while it fits the significand.
    const T largest_exact = std::ldexp(T(1), std::numeric_limits<T>::digits);
    const bool exact =
        y == 0 || x == 1 || x == 0 || (whole(x) && whole(y) && y > 0 && std::fabs(r) <= largest_exact);
    return exact ? r : nudge(r, T(INFINITY));
}

} // namespace

// With --wrap=F the linker sends the demo's calls of F to __wrap_F and __real_F to the libm function.
#define WRAP_SIN(f, T)                                                                                       \
    T __real_##f(T);                                                                                         \
    T __wrap_##f(T x) {                                                                                      \
        return moved_sin(x, __real_##f(x));                                                                  \
    }
#define WRAP_SINCOS(f, T)                                                                                    \
    void __real_##f(T, T*, T*);                                                                              \
    void __wrap_##f(T x, T* s, T* c) {                                                                       \
        __real_##f(x, s, c);                                                                                 \
        *s = moved_sin(x, *s);                                                                               \
        *c = moved_sin(x, *c);                                                                               \
    }
#define WRAP_BINARY(f, T, moved)                                                                             \
    T __real_##f(T, T);                                                                                      \
    T __wrap_##f(T a, T b) {                                                                                 \
        return moved(a, b, __real_##f(a, b));                                                                \
    }

extern "C" {
WRAP_SIN(sin, double)
WRAP_SIN(cos, double)
WRAP_SINCOS(sincos, double)
WRAP_BINARY(atan2, double, moved_atan2)
WRAP_BINARY(pow, double, moved_pow)
WRAP_SIN(sinf, float)
WRAP_SIN(cosf, float)
WRAP_SINCOS(sincosf, float)
WRAP_BINARY(atan2f, float, moved_atan2)
WRAP_BINARY(powf, float, moved_pow)
}

namespace {

struct Playback {
    std::vector<uint64_t> frames; // FNV-1a of every frame's words
    std::vector<int> sections;
    long nudged = 0;
};

void on_frame(const uint32_t* frame, int section, int, uint32_t, void* ctx) {
    auto* run = static_cast<Playback*>(ctx);
    uint64_t h = 1469598103934665603ull;
    for (int i = 0; i < 320 * 240; i++) h = (h ^ frame[i]) * 1099511628211ull;
    run->frames.push_back(h);
    run->sections.push_back(section);
}

Playback play(Nudge how, uint64_t seed = 0) {
    mode = how;
    rng_state = seed;
    nudged = 0;
    Playback run;
    run.frames.reserve(8000);
    run.sections.reserve(8000);
    offline_hooks hooks{50, on_frame, nullptr, nullptr, &run};
    EXPECT_EQ(offline_run(&hooks), 0);
    run.nudged = nudged;
    mode = Nudge::none;
    return run;
}

TEST(LibmMargin, NoFrameDependsOnTheLastBitOfAMathResult) {
    const Playback exact = play(Nudge::none);
    ASSERT_GT(exact.frames.size(), 7000u) << "the demo ended early";
    // The wrappers must be in the way of the demo's calls, or this test proves nothing.
    ASSERT_GT(exact.nudged, 100000) << "the demo's libm calls did not go through the wrappers";

    const struct {
        const char* name;
        Nudge how;
        uint64_t seed;
    } kRuns[] = {
        {"every result one ulp up", Nudge::up, 0},
        {"every result one ulp down", Nudge::down, 0},
        {"each result up, down or kept at random", Nudge::random, 0x9E3779B97F4A7C15ull},
    };
    for (const auto& r : kRuns) {
        SCOPED_TRACE(r.name);
        const Playback moved = play(r.how, r.seed);
        ASSERT_EQ(moved.frames.size(), exact.frames.size());
        EXPECT_EQ(moved.nudged, exact.nudged) << "the demo made other libm calls";
        size_t changed = 0, first = 0;
        for (size_t i = 0; i < exact.frames.size(); i++)
            if (moved.frames[i] != exact.frames[i] && changed++ == 0) first = i;
        EXPECT_EQ(changed, 0u) << changed << " frames changed, the first is frame " << first << " (section "
                               << exact.sections[first] << ")";
    }
}

} // namespace
