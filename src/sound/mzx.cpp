// mzx.cpp: the music front-end: open the driver, load the module, start the song, read the song clock.
// All calls come from the main thread; the position is read through pt_position, which the replayer
// publishes once per tick on the audio thread.
#include "sound_internal.h"

int mzx_mode = 0;
int mzx_tickrate = 0;

int mzx_init() {
    mzx_mode = 2;
    if (sd_dsp16_init(44100, 0, 0) == 0) return 0;
    sd_init();
    sd_setmainvolume(64);
    sd_start();
    return 1;
}

int mzx_get(const uint8_t* module, size_t size) {
    pt_rowcount = 0;
    pt_songpos = 0;
    pt_position.store(0, std::memory_order_release);
    if (pt_takemod(module, size) == 0) return 0;
    pt_init();
    return 1;
}

void mzx_start(int rate) {
    mzx_tickrate = rate;
    sd_dsp16_pause(0);
}

int mzx_position() {
    return pt_position.load(std::memory_order_acquire);
}

void mzx_close() {
    if (sd_stop) sd_stop(0);
    if (sd_shutdown) sd_shutdown();
}
