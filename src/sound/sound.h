// sound.h: the music system's public interface.
//
// USAGE (main thread):
//   mzx_init()                 open the audio driver (device paused); 0 = failure, see sd_errorstr
//   mzx_get(module, size)      load a tracker module (only read; must stay valid while it plays)
//   mzx_start(52)              unpause: the replayer ticks 52 times a second on the audio thread
//   mzx_position()             order * 100 + row, safe to read from any thread at any time
//   mzx_close()                stop and close the device
//
// The driver table (sd_*) is filled by a driver's init routine; the loader and the replayer reach the
// mixer only through it. Two drivers define the same entry points and are linked alternatively:
// sd_dsp16.cpp (library `sound_sdl`) opens an SDL 1.2 audio device; sd_offline.cpp (library
// `sound_offline`) is a device without hardware, driven by a virtual clock (tests, capture).
#pragma once
#include <cstddef>
#include <cstdint>

// --- front-end and song clock ---
extern int mzx_mode;     // 0 before mzx_init, 2 once the audio driver has been chosen
extern int mzx_tickrate; // replayer ticks per second, set by mzx_start

int mzx_init();
int mzx_get(const uint8_t* module, size_t size);
void mzx_start(int rate);
int mzx_position();
void mzx_close();

// --- driver table (null until a driver has started) ---
extern void (*sd_init)();
extern void (*sd_start)();
extern void (*sd_stop)(int);
extern void (*sd_secondhand)();
extern void (*sd_shutdown)();
extern int (*sd_getsample)(int slot, const int8_t* data, uint32_t length, uint32_t loopstart,
                           uint32_t loopend, int looped);
extern void (*sd_setactivechannels)(int count);
extern void (*sd_selectchannel)(int channel);
extern void (*sd_setsample)(int slot);
extern void (*sd_setvolume)(int volume);
extern void (*sd_setpanning)(int panning);
extern void (*sd_setoffset)(uint32_t offset);
extern void (*sd_setamigaperiod)(int period);
extern void (*sd_setmainvolume)(int volume);

extern const char* sd_errorstr;   // "" or the driver's last error
extern const char* sd_devicename; // "" or the name of the started driver

// --- the audio device: defined by whichever driver is linked ---
int sd_dsp16_init(int rate, int, int); // opens the device paused and fills the table; 1 = success
void sd_dsp16_pause(int pause_on);     // SDL_PauseAudio under the device lock for the SDL driver

// --- offline device (library `sound_offline` only) ---
// Device time starts at the unpause: buffer k (2048 samples) is requested from mix_newhand as soon as the
// virtual clock has reached k * 2048 / 44100 s after it, the first one at the unpause itself.
void sd_offline_run(uint32_t now_ms); // the virtual clock now reads now_ms: request every buffer due by then
// Receives every buffer that mix_newhand filled, in order (null: none).
void sd_offline_set_sink(void (*sink)(const int16_t* samples, int count, void* ctx), void* ctx);
// While stalled (non-zero) the device requests nothing, as a sound card whose callback never runs.
void sd_offline_stall(int stalled);

// --- the SDL audio callback (software mixer) ---
void mix_newhand(void* userdata, uint8_t* stream, int len);
