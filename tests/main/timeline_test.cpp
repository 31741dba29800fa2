// The whole demo played on the virtual clock: sections against the song, the beat triggers against the
// rows they are meant for, the exit path, reproducibility and independence from the frame rate.
#include "assets.h"
#include "demo.h"
#include "demo_local.h"
#include "fx.h"
#include "offline.h"
#include "sound.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace {
constexpr int kEnds[12] = {0, 100, 200, 400, 430, 700, 800, 1100, 1600, 1800, 1900, 2000};

uint64_t hash_words(const uint32_t* w, int n) {
    uint64_t h = 1469598103934665603ull;
    for (int i = 0; i < n; i++) h = (h ^ w[i]) * 1099511628211ull;
    return h;
}

struct Frame {
    int section, position;
    uint32_t ms;
    uint64_t hash;
};
struct Trigger {
    size_t frame; // index of the frame being drawn when it fired
    int section, position, clock;
    bool operator==(const Trigger&) const = default;
};
void PrintTo(const Trigger& t, std::ostream* os) {
    *os << "{frame " << t.frame << " section " << t.section << " pos " << t.position << " E " << t.clock
        << "}";
}

struct Playback {
    int fps = 50;
    int stop_in_section = 0;   // ask to leave once a frame of this section has been shown (0: never)
    std::vector<uint8_t> song; // played instead of the embedded song when not empty
    bool hashes = false;
    std::vector<Frame> frames;
    std::vector<Trigger> triggers;
    uint64_t samples = 0, audio_hash = 1469598103934665603ull;
    int audio_buffers = 0, odd_buffers = 0;
    size_t exit_granted_at = SIZE_MAX; // frames shown when the exit request was first granted
    int asked = 0;
    int status = -1;
};

Playback* current = nullptr;

void on_trigger(int section, int position, int clock) {
    current->triggers.push_back({current->frames.size(), section, position, clock});
}

Playback play(Playback run) {
    offline_hooks hooks{};
    hooks.fps = run.fps;
    hooks.ctx = &run;
    if (!run.song.empty()) {
        hooks.module = run.song.data();
        hooks.module_size = run.song.size();
    }
    hooks.frame = [](const uint32_t* frame, int section, int position, uint32_t ms, void* ctx) {
        auto* r = static_cast<Playback*>(ctx);
        r->frames.push_back({section, position, ms, r->hashes ? hash_words(frame, kScreenWords) : 0});
    };
    hooks.audio = [](const int16_t* samples, int count, void* ctx) {
        auto* r = static_cast<Playback*>(ctx);
        r->samples += count;
        r->audio_buffers++;
        if (count != 2048) r->odd_buffers++;
        for (int i = 0; i < count; i++)
            r->audio_hash = (r->audio_hash ^ static_cast<uint16_t>(samples[i])) * 1099511628211ull;
    };
    hooks.exit = [](void* ctx) {
        auto* r = static_cast<Playback*>(ctx);
        r->asked++;
        const bool leave =
            r->stop_in_section != 0 && !r->frames.empty() && r->frames.back().section == r->stop_in_section;
        if (leave && r->exit_granted_at == SIZE_MAX) r->exit_granted_at = r->frames.size();
        return leave ? 1 : 0;
    };
    current = &run;
    demo_on_trigger = on_trigger;
    run.status = offline_run(&hooks);
    demo_on_trigger = nullptr;
    current = nullptr;
    return run;
}

int sq(int v) {
    return v * v;
}

bool accent_row(int row) {
    return row == 0 || row == 3 || row == 24 || row == 27 || row == 42 || row == 59 || row == 62;
}

// The triggers the timeline must fire, worked out from the frames alone: which section each frame
// belongs to, the song position it saw and the virtual time it was drawn at.
std::vector<Trigger> expected_triggers(const std::vector<Frame>& frames) {
    constexpr int kClockOf[12] = {0, 1, 2, 2, 4, 4, 6, 6, 8, 8, 10, 11}; // section -> section of its clock
    int start_tick[12] = {};
    for (size_t f = frames.size(); f-- > 0;)
        start_tick[frames[f].section] = static_cast<int>(frames[f].ms / 20);
    auto clock_at = [&](size_t f) {
        return static_cast<int>(frames[f].ms / 20) - start_tick[kClockOf[frames[f].section]];
    };
    std::vector<Trigger> out;
    // A trigger that blocks its kind until its end value has passed: it may fire while idle, and the end
    // is cleared only after the frame has been drawn.
    struct Beat {
        int length, end = 0;
    };
    Beat flash1{20}, pop{30}, band{42}, wobble{20}, flash1300{20}, slot{42};
    int last_position = -1;
    auto step = [&](Beat& b, bool fires, size_t f, int fire_clock) {
        if (b.end == 0 && fires) {
            out.push_back({f, frames[f].section, frames[f].position, fire_clock});
            b.end = fire_clock + b.length;
        }
    };
    auto settle = [&](Beat& b, int e) {
        if (b.end != 0 && b.end < e) b.end = 0;
    };
    for (size_t f = 0; f < frames.size(); f++) {
        const int s = frames[f].section, p = frames[f].position, row = p % 100, e = clock_at(f);
        const int previous_e = f > 0 ? clock_at(f - 1) : 0;
        switch (s) {
        case 1:
            step(flash1, p == 8 || p == 40, f, e);
            settle(flash1, e);
            break;
        case 3:
            step(pop, row == 0 || row == 32, f, e);
            settle(pop, e);
            break;
        case 5:
            step(band, row == 0 || row == 32, f, e);
            settle(band, e);
            break;
        case 7:
            if (p != last_position) {
                last_position = p;
                if ((p >= 900 && accent_row(row)) || (p < 900 && (row == 8 || row == 40)))
                    out.push_back({f, 7, p, e});
            }
            break;
        case 8:
            step(wobble, p >= 1300 && (row == 0 || row == 32), f, e);
            step(flash1300, p == 1300, f, e);
            settle(wobble, e);
            settle(flash1300, e);
            break;
        case 9:
            step(slot, (p < 1701 && accent_row(row)) || (p >= 1701 && (row == 8 || row == 40)), f,
                 previous_e);
            settle(slot, e);
            break;
        case 10:
            step(slot, row == 8 || row == 40, f, previous_e);
            settle(slot, e);
            break;
        default:
            break;
        }
    }
    return out;
}

const Playback& full_run() {
    static const Playback run = play([] {
        Playback r;
        r.hashes = true;
        return r;
    }());
    return run;
}
} // namespace

TEST(Timeline, EachSectionRunsFromItsSongPositionToItsEnd) {
    const Playback& run = full_run();
    ASSERT_EQ(run.status, 0);
    ASSERT_FALSE(run.frames.empty());
    EXPECT_EQ(run.frames.front().section, 1);
    EXPECT_EQ(run.frames.front().position, 0); // the start-up wait ends on the song's first tick
    int count[12] = {};
    for (size_t f = 0; f < run.frames.size(); f++) {
        const Frame& fr = run.frames[f];
        ASSERT_TRUE(fr.section >= 1 && fr.section <= 11) << f;
        count[fr.section]++;
        EXPECT_GE(fr.position, kEnds[fr.section - 1]) << "frame " << f << " section " << fr.section;
        EXPECT_LT(fr.position, kEnds[fr.section]) << "frame " << f << " section " << fr.section;
        EXPECT_EQ(fr.ms, f * 20) << "frame " << f; // 50 frames per second of virtual time
        if (f > 0) {
            EXPECT_GE(fr.section, run.frames[f - 1].section) << f;
            // At 50 frames per second every row is seen, so a section starts exactly at its position.
            if (fr.section != run.frames[f - 1].section) {
                EXPECT_EQ(fr.position, kEnds[fr.section - 1]) << f;
            }
        }
    }
    for (int s = 1; s <= 11; s++) EXPECT_GT(count[s], 0) << "section " << s;
    EXPECT_EQ(run.frames.back().position % 100, 63); // the last frame shows the final row of order 19
    EXPECT_EQ(run.asked, static_cast<int>(run.frames.size()));
    // The offline device fed the mixer's output in whole buffers, in step with the virtual clock.
    EXPECT_EQ(run.odd_buffers, 0);
    const double audio_s = run.samples / 44100.0, video_s = run.frames.back().ms / 1000.0;
    EXPECT_GE(audio_s, video_s);
    EXPECT_LT(audio_s, video_s + 0.1);
}

TEST(Timeline, TriggersFireOnTheirRowsAndNoOthers) {
    const Playback& run = full_run();
    const auto expected = expected_triggers(run.frames);
    int per_section[12] = {};
    for (const Trigger& t : expected) per_section[t.section]++;
    for (int s : {1, 3, 5, 7, 8, 9, 10})
        EXPECT_GT(per_section[s], 0) << "no trigger expected in section " << s;
    EXPECT_EQ(per_section[1], 2); // rows 8 and 40
    EXPECT_EQ(run.triggers, expected);
}

// The clock value at which the section-1 flash covering tick `tick` started, or -1 when none runs.
int flash_started(const Playback& run, int tick) {
    int start = -1;
    for (const Trigger& t : run.triggers)
        if (t.section == 1 && t.clock <= tick && tick <= t.clock + 21) start = t.clock;
    return start;
}

TEST(Timeline, ClosingCaptionStandsThenBlursAwayIntoBlack) {
    const Playback& run = full_run();
    const std::vector<uint32_t> black(kScreenWords, 0);
    const uint64_t black_hash = hash_words(black.data(), kScreenWords);
    size_t first = 0;
    while (first < run.frames.size() && run.frames[first].section != 11) first++;
    ASSERT_LT(first, run.frames.size());
    const uint64_t still = run.frames[first].hash;
    EXPECT_NE(still, black_hash);
    uint64_t previous = still;
    int blurred = 0, dark = 0;
    for (size_t f = first; f < run.frames.size(); f++) {
        const int k = static_cast<int>((run.frames[f].ms - run.frames[first].ms) / 20) - 100;
        if (k <= 1) {
            EXPECT_EQ(run.frames[f].hash, still) << "tick " << k + 100; // windows 1 and 1 (sharp)
        } else if (k <= 110) {
            EXPECT_NE(run.frames[f].hash, previous) << "tick " << k + 100; // a wider blur every tick
            EXPECT_NE(run.frames[f].hash, black_hash) << "tick " << k + 100;
            blurred++;
        } else {
            EXPECT_EQ(run.frames[f].hash, black_hash) << "tick " << k + 100;
            dark++;
        }
        previous = run.frames[f].hash;
    }
    EXPECT_GT(blurred, 100);
    EXPECT_GT(dark, 0);
}

// The timed events of sections 1 to 4, 6 and 7, each checked on the frames where it starts and ends: the
// frame shown must be the one composed again from the compositors and effects for the clock it was drawn
// at, with the event's state that clock gives (flashes of 21 ticks from their trigger, the section 3 caption
// pop of 31 ticks and the scene time turning back after each trigger, the section 2 and 6 cross-fades
// ramping up over 255 ticks, the section 4 fade-out from gain 256 over 86 ticks and fade-in over 85).
TEST(Timeline, TimedEventsStartAndEndOnTheFramesTheirClocksGive) {
    const Playback& run = full_run();
    int start[12] = {}; // first demo tick of each section
    for (size_t f = run.frames.size(); f-- > 0;)
        start[run.frames[f].section] = static_cast<int>(run.frames[f].ms / 20);
    std::vector<Trigger> beats[12];
    for (const Trigger& t : run.triggers) beats[t.section].push_back(t);
    ASSERT_EQ(beats[1].size(), 2u);
    ASSERT_GE(beats[3].size(), 3u);

    static uint32_t flash_colour[kScreenWords], other[kScreenWords], frame[kScreenWords];
    std::fill_n(flash_colour, kScreenWords, 0x00FFDDCCu);
    auto flash = [](uint32_t* x, int e, int from) {
        if (from <= e && e <= from + 20)
            add_fade(x, flash_colour, x, kScreenWords, 255, 120 - sq(e - from - 10));
    };
    auto bands = [](uint32_t* x) {
        for (int j = 0; j < 3; j++) caption_blend(6, 84 + 24 * j, 2 + j, 200, x);
    };
    struct Event {
        std::string what;
        int section, clock_section; // the section whose start the event's clock counts from
        std::vector<int> clocks;
        std::function<void(uint32_t*, int)> draw;
    };
    std::vector<Event> events;
    for (const Trigger& t : beats[1]) {
        const int from = t.clock;
        events.push_back(
            {"section 1 flash", 1, 1, {from - 1, from, from + 20, from + 21}, [=](uint32_t* x, int e) {
                 pano_scene(x, e);
                 flash(x, e, from);
             }});
    }
    events.push_back({"section 2 cross-fade and opening flash",
                      2,
                      2,
                      {0, 1, 20, 21, 254, 255, 256},
                      [&](uint32_t* x, int e) {
                          pano_scene(other, e + start[2] - start[1]);
                          halftone_scene(x, e);
                          cross_fade(other, x, x, kScreenWords, std::min(e, 255));
                          flash(x, e, 0);
                      }});
    for (size_t i = 1; i < 3; i++) { // the scene time turns forward, then back again
        const int from = beats[3][i].clock;
        events.push_back({"section 3 beat " + std::to_string(i),
                          3,
                          2,
                          {from - 1, from, from + 1, from + 30, from + 31},
                          [&, from](uint32_t* x, int e) {
                              reversing_clock scene;
                              scene.origin = start[2];
                              for (const Trigger& b : beats[3])
                                  if (b.clock <= e) scene.reverse(start[2] + b.clock);
                              halftone_scene(x, scene.time(start[2] + e));
                              if (e < from || e > from + 30) return;
                              caption_blend(125, 114, 0, 255 - sq(e - from - 15), x);
                              caption_blend(65, 138, 1, 255 - sq(e - from - 15), x);
                          }});
    }
    events.push_back({"section 4 fades", 4, 4, {0, 1, 84, 85, 86, 87}, [&](uint32_t* x, int e) {
                          halftone_scene(other, e + start[4] - start[2]);
                          std::fill_n(x, kScreenWords, 0u);
                          flarez(x, e);
                          bands(x);
                          add_fade(other, x, x, kScreenWords, std::max(0, 256 - 3 * e), std::min(3 * e, 255));
                      }});
    events.push_back({"section 6 cross-fade", 6, 6, {0, 1, 254, 255, 256}, [&](uint32_t* x, int e) {
                          std::fill_n(other, kScreenWords, 0u);
                          flarez(other, e + start[6] - start[4]);
                          bands(other);
                          zoom_scene(x, e);
                          cross_fade(other, x, x, kScreenWords, std::min(e, 255));
                      }});
    for (size_t i = 1; i + 1 < beats[7].size(); i++) { // a flash that no other one restarts or overlaps
        const int from = beats[7][i].clock;
        if (beats[7][i - 1].clock + 21 >= from - 1 || beats[7][i + 1].clock <= from + 22) continue;
        events.push_back(
            {"section 7 flash", 7, 6, {from - 1, from, from + 20, from + 21}, [=](uint32_t* x, int e) {
                 zoom_scene(x, e);
                 flash(x, e, from);
             }});
        break;
    }
    ASSERT_EQ(events.back().section, 7);

    for (const Event& ev : events) {
        for (int e : ev.clocks) {
            const size_t f = static_cast<size_t>(start[ev.clock_section] + e);
            ASSERT_LT(f, run.frames.size());
            ASSERT_EQ(run.frames[f].section, ev.section) << ev.what << " at clock " << e;
            ev.draw(frame, e);
            EXPECT_EQ(run.frames[f].hash, hash_words(frame, kScreenWords))
                << ev.what << ": frame " << f << " (clock " << e << ") is not the one its clock gives";
        }
    }
}

TEST(Timeline, SameClockGivesTheSameFrameAtAnyFrameRate) {
    // Frames drawn at the same virtual time are identical whatever the frame rate. A beat flash starts on
    // the first frame that sees its row, which a slower frame rate may see later; frames are compared
    // wherever the two runs agree on the flash (both idle, or both started on the same tick).
    constexpr int kRates[] = {50, 25, 20, 10};
    std::vector<Playback> runs;
    for (int fps : kRates) {
        Playback r;
        r.fps = fps;
        r.stop_in_section = 2;
        r.hashes = true;
        runs.push_back(r);
    }
    for (Playback& r : runs) r = play(r);
    const Playback& at50 = runs[0];
    ASSERT_EQ(at50.status, 0);
    for (size_t i = 1; i < runs.size(); i++) {
        const Playback& other = runs[i];
        const int fps = kRates[i];
        int compared = 0, flashing = 0;
        for (const Frame& fr : other.frames) {
            if (fr.section != 1 || fr.ms % 20 != 0) continue;
            const Frame& ref = at50.frames[fr.ms / 20];
            ASSERT_EQ(ref.ms, fr.ms);
            EXPECT_EQ(ref.position, fr.position) << fps << " fps at " << fr.ms << " ms";
            const int tick = static_cast<int>(fr.ms / 20);
            if (flash_started(at50, tick) != flash_started(other, tick)) continue;
            EXPECT_EQ(ref.hash, fr.hash) << fps << " fps at " << fr.ms << " ms";
            compared++;
            if (flash_started(other, tick) >= 0) flashing++;
        }
        EXPECT_GT(compared, 20) << fps << " fps";
        if (fps == 10) {
            EXPECT_GT(flashing, 0) << "no frame with a flash was compared";
        }
    }
}

TEST(Timeline, PlaysTheSameAgainInTheSameProcess) {
    Playback probe;
    probe.stop_in_section = 3;
    probe.hashes = true;
    const Playback first = play(probe), second = play(probe);
    ASSERT_EQ(first.frames.size(), second.frames.size());
    for (size_t f = 0; f < first.frames.size(); f++) {
        ASSERT_EQ(first.frames[f].position, second.frames[f].position) << f;
        ASSERT_EQ(first.frames[f].hash, second.frames[f].hash) << f;
    }
    EXPECT_EQ(first.audio_hash, second.audio_hash);
    EXPECT_EQ(first.triggers, second.triggers);
}

TEST(Timeline, LeavingDuringSection2StillPreparesTheLaterSections) {
    Playback probe;
    probe.stop_in_section = 2;
    const Playback run = play(probe);
    EXPECT_EQ(run.status, 0);
    ASSERT_NE(run.exit_granted_at, SIZE_MAX);
    EXPECT_EQ(run.frames.size(), run.exit_granted_at) << "a frame was shown after the exit request";
    EXPECT_EQ(run.frames.back().section, 2);
    EXPECT_EQ(demo_section, 11); // every later section was entered and left at its first test
    // The zoomer texture was built (before section 6)...
    EXPECT_GT(std::count_if(zoom_texture, zoom_texture + 65536, [](uint32_t t) { return t != 0; }), 0);
    // ...the twin portrait was laid out (before section 8), and screen_b's upper half was cleared
    // again (before section 10), leaving the lower copy.
    EXPECT_EQ(std::count(screen_b, screen_b + kScreenWords, 0u), kScreenWords);
    for (int r = 0; r < kScreenH; r += 17)
        for (int c = 0; c < 256; c += 5) {
            const uint32_t v = muotokuva[r * 256 + c];
            ASSERT_EQ(screen_b[(kScreenH + r) * kScreenW + 32 + c], (v << 16) | ((v >> 1) << 8))
                << r << "," << c;
        }
    EXPECT_TRUE(std::none_of(run.triggers.begin(), run.triggers.end(),
                             [](const Trigger& t) { return t.section > 2; }));
}

TEST(Timeline, RefusesAFrameRateOutOfRange) {
    offline_hooks hooks{};
    hooks.fps = 0;
    EXPECT_EQ(offline_run(&hooks), 1);
    hooks.fps = 241;
    EXPECT_EQ(offline_run(&hooks), 1);
    EXPECT_EQ(offline_run(nullptr), 1);
}

// A song the loader refuses, or a sound device that never plays the first tick, ends start-up with the
// music failure after a bounded wait: no frame, status 1, and the next run plays as usual.
TEST(Timeline, StartUpEndsWhenTheSongCannotStart) {
    std::vector<uint8_t> untagged(moddi, moddi + moddi_size);
    untagged[1080] = '?'; // "?.K." is no module type
    const struct {
        const char* fault;
        std::vector<uint8_t> song;
        bool stall;
    } cases[] = {
        {"module refused", untagged, false},
        {"device never starts", {}, true},
    };
    Playback probe;
    probe.stop_in_section = 1;
    alarm(60); // a start-up that waits for ever ends the test here
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        Playback faulty = probe;
        faulty.song = c.song;
        sd_offline_stall(c.stall);
        testing::internal::CaptureStderr();
        const Playback failed = play(faulty);
        const std::string err = testing::internal::GetCapturedStderr();
        sd_offline_stall(0);
        EXPECT_EQ(failed.status, 1);
        EXPECT_EQ(err, "MZX failure\n");
        EXPECT_TRUE(failed.frames.empty());
        EXPECT_EQ(failed.samples, 0u);

        const Playback next = play(probe);
        EXPECT_EQ(next.status, 0);
        ASSERT_FALSE(next.frames.empty());
        EXPECT_EQ(next.frames.front().section, 1);
        EXPECT_EQ(next.frames.front().position, 0);
    }
    alarm(0);
}
