// sd_table.cpp: the driver table, fourteen function pointers that a driver fills when it starts, and the
// driver's two report strings. The loader, replayer and front-end reach the sound output only through it.
#include "sound.h"

void (*sd_init)() = nullptr;
void (*sd_start)() = nullptr;
void (*sd_stop)(int) = nullptr;
void (*sd_secondhand)() = nullptr;
void (*sd_shutdown)() = nullptr;
int (*sd_getsample)(int, int8_t*, uint32_t, uint32_t, uint32_t, int) = nullptr;
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
