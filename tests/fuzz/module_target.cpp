// module_target.cpp: the module fuzz target. The module is copied into a buffer of exactly its size, so a
// read past its end is caught, and played on the offline device's virtual clock from 0 ms.
#include <cstdio>
#include <vector>

#include "fuzz_targets.h"
#include "sound_internal.h"

namespace {

constexpr int kTickRate = 52;     // as the demo plays: 848 samples a tick
constexpr uint32_t kTicks = 300;  // about 5.8 s of song
constexpr uint32_t kStepMs = 250; // virtual clock steps: several device buffers each

// The song position is -37 before the first tick, else order * 100 + row with a row below 64. The order
// is below 128, except right after a position jump Bxx (xx up to 255), when it reads xx - 1 until the
// next row starts (B00 reads -37 too).
bool position_ok(int p) {
    return p == -37 || (p >= 0 && p / 100 < 255 && p % 100 < 64);
}

} // namespace

bool fuzz_module(const uint8_t* data, size_t size) {
    std::vector<uint8_t> module(data, data + size);
    if (!mzx_init()) {
        std::fprintf(stderr, "fuzz_module: the offline device did not open\n");
        return false;
    }
    bool ok = true;
    if (mzx_get(module.data(), module.size())) {
        sd_offline_run(0); // the clock is monotonic: start it again at 0 before the unpause
        mzx_start(kTickRate);
        const uint32_t end_ms = kTicks * 1000 / kTickRate;
        for (uint32_t ms = 0; ms <= end_ms && ok; ms += kStepMs) {
            sd_offline_run(ms);
            if (!position_ok(mzx_position())) {
                std::fprintf(stderr, "fuzz_module: song position %d at %u ms\n", mzx_position(), ms);
                ok = false;
            }
        }
    }
    mzx_close();
    return ok;
}
