// sd_offline.cpp: an audio device without hardware, driven by a virtual clock. It defines the same entry
// points as the SDL driver, so a program links one or the other. Device time starts at the unpause: buffer
// k (2048 samples) is requested from mix_newhand once the clock reads k * 2048 / 44100 s after it, buffer
// 0 at the unpause itself. Everything runs on the caller's thread; the results are deterministic.
#include "sound_internal.h"

constexpr int sd_offline_samples = 2048;

static int sd_offline_rate = 44100;
static bool sd_offline_open = false;
static bool sd_offline_paused = true;
static bool sd_offline_stalled = false;
static uint32_t sd_offline_now = 0;   // last clock reading, ms
static uint32_t sd_offline_start = 0; // clock reading at the unpause
static uint64_t sd_offline_done = 0;  // buffers requested since the unpause
static int16_t sd_offline_buffer[sd_offline_samples];
static void (*sd_offline_sink)(const int16_t*, int, void*) = nullptr;
static void* sd_offline_ctx = nullptr;

static void sd_dsp16_shutdown() {
    sd_offline_open = false;
    sd_offline_paused = true;
}

// Requests every buffer due by the last clock reading.
static void sd_offline_pump() {
    if (!sd_offline_open || sd_offline_paused || sd_offline_stalled) return;
    const uint64_t elapsed = sd_offline_now - sd_offline_start; // ms, wraps with the 32-bit clock
    const uint64_t rate = static_cast<uint64_t>(sd_offline_rate > 0 ? sd_offline_rate : 44100);
    // Buffer k is due when elapsed * rate >= k * 2048 * 1000.
    while (sd_offline_done * sd_offline_samples * 1000 <= elapsed * rate) {
        mix_newhand(nullptr, reinterpret_cast<uint8_t*>(sd_offline_buffer), sizeof sd_offline_buffer);
        sd_offline_done++;
        if (sd_offline_sink) sd_offline_sink(sd_offline_buffer, sd_offline_samples, sd_offline_ctx);
    }
}

int sd_dsp16_init(int rate, int, int) {
    sd_offline_rate = rate;
    sd_offline_open = true;
    sd_offline_paused = true;
    sd_install_mixer_driver(rate, sd_dsp16_shutdown, "offline audio");
    return 1;
}

void sd_dsp16_pause(int pause_on) {
    if (pause_on) {
        sd_offline_paused = true;
        return;
    }
    if (!sd_offline_open || !sd_offline_paused) return;
    sd_offline_paused = false;
    sd_offline_start = sd_offline_now;
    sd_offline_done = 0;
    sd_offline_pump();
}

void sd_offline_run(uint32_t now_ms) {
    sd_offline_now = now_ms;
    sd_offline_pump();
}

void sd_offline_set_sink(void (*sink)(const int16_t* samples, int count, void* ctx), void* ctx) {
    sd_offline_sink = sink;
    sd_offline_ctx = ctx;
}

void sd_offline_stall(int stalled) {
    sd_offline_stalled = stalled != 0;
}
