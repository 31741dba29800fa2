// sd_table.cpp: the driver table, fourteen function pointers that a driver fills when it starts, and the
// driver's two report strings. The loader, replayer and front-end reach the sound output only through it.
#include "sound_internal.h"

void (*sd_init)() = nullptr;
void (*sd_start)() = nullptr;
void (*sd_stop)(int) = nullptr;
void (*sd_secondhand)() = nullptr;
void (*sd_shutdown)() = nullptr;
int (*sd_getsample)(int, const int8_t*, uint32_t, uint32_t, uint32_t, int) = nullptr;
void (*sd_setactivechannels)(int) = nullptr;
void (*sd_selectchannel)(int) = nullptr;
void (*sd_setsample)(int) = nullptr;
void (*sd_setvolume)(int) = nullptr;
void (*sd_setpanning)(int) = nullptr;
void (*sd_setoffset)(uint32_t) = nullptr;
void (*sd_setamigaperiod)(int) = nullptr;
void (*sd_setmainvolume)(int) = nullptr;

const char* sd_errorstr = "";
const char* sd_devicename = "";

// What both device drivers (the SDL one and the offline one) install alike: the mixer reset at the rate the
// driver was opened with, start/stop/secondhand that do nothing (the device's pause state starts and stops
// output), the driver's own shutdown, and the mixer's nine channel routines.
static int sd_dsp16_rate = 44100;

static void sd_dsp16_mixinit() {
    sd_mix_init(sd_dsp16_rate);
}
static void sd_dsp16_start() {}
static void sd_dsp16_stop(int) {}
static void sd_dsp16_secondhand() {}

void sd_install_mixer_driver(int rate, void (*shutdown)(), const char* devicename) {
    sd_dsp16_rate = rate;
    sd_init = sd_dsp16_mixinit;
    sd_secondhand = sd_dsp16_secondhand;
    sd_start = sd_dsp16_start;
    sd_stop = sd_dsp16_stop;
    sd_shutdown = shutdown;
    sd_mix_setfunctions();
    sd_devicename = devicename;
}
