// Display layer without a display: the modes it accepts, frames to the hook, exit requests from the hook.
#include "gfx.h"
#include "gfx_offline.h"

#include <gtest/gtest.h>

namespace {
struct Seen {
    const uint32_t* frame = nullptr;
    int frames = 0;
    int exit_answer = 0;
    int asked = 0;
};
void present(const uint32_t* frame, void* ctx) {
    auto* seen = static_cast<Seen*>(ctx);
    seen->frame = frame;
    seen->frames++;
}
int ask(void* ctx) {
    auto* seen = static_cast<Seen*>(ctx);
    seen->asked++;
    return seen->exit_answer;
}
} // namespace

TEST(GfxOffline, SameModesAsTheDisplay) {
    EXPECT_EQ(gfx_init(1), 0);
    EXPECT_EQ(gfx_init(2), 0);
    EXPECT_EQ(gfx_init(3), 1);
    EXPECT_EQ(gfx_init_size(0, 10), 1);
}

TEST(GfxOffline, FramesAndExitRequestsGoThroughTheHooks) {
    Seen seen;
    gfx_offline_set_hooks(present, ask, &seen);
    const uint32_t frame[4] = {};
    EXPECT_EQ(gfx_blit(frame), 0);
    EXPECT_EQ(seen.frame, frame);
    EXPECT_EQ(gfx_exitevent(), 0);
    seen.exit_answer = 7;
    EXPECT_EQ(gfx_exitevent(), 1);
    EXPECT_EQ(seen.asked, 2);
    gfx_offline_set_hooks(nullptr, nullptr, nullptr);
    EXPECT_EQ(gfx_blit(frame), 0);
    EXPECT_EQ(gfx_exitevent(), 0);
    EXPECT_EQ(seen.frames, 1);
}
