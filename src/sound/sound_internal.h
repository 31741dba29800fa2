// sound_internal.h: the music system's internals, shared by its own files, tests, benchmark and tools.
//
// Mixer: 32 sample slots and two copies of the channel state (settings written through the driver table,
// voices played by the mixing loop); positions and steps are 32.32 fixed point in bytes of 8-bit data.
// Loader and replayer: song tables, the period table and the replayer's per-channel state.
// Threads: the driver routines and pt_play run on the audio thread once the device is unpaused; the
// loader and the set-up calls run on the main thread while the device is paused.
#pragma once
#include "sound.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

// --- software mixer ---
constexpr int mix_maxchannels = 32;
constexpr int mix_maxsamples = 32;
constexpr int mix_buffer_samples = 20480; // most samples one sd_mix_mono call may produce

struct mix_sample {
    const int8_t* data;
    uint32_t length; // bytes
    uint32_t loopstart;
    uint32_t loopend; // loop start + loop length
    int looped;
};

struct mix_channel {
    const int8_t* data;
    uint32_t sample;  // slot last assigned
    uint32_t volume;  // 0..64 in normal use, not clamped
    uint32_t posfrac; // 2^32 = one byte
    uint32_t posint;
    uint32_t stepfrac; // only the top 24 bits are ever set
    uint32_t stepint;
    uint32_t loopstart;
    uint32_t loopend;
    uint32_t looped;
    uint32_t length;
    uint32_t panning; // stored only
    uint32_t reserved;
    uint32_t newstep; // set when a step was written, cleared when the mixer takes it over
    uint32_t newpos;  // likewise for the position
};

extern mix_sample mix_samples[mix_maxsamples];
extern mix_channel mix_channels[mix_maxchannels];
extern mix_channel mix_voices[mix_maxchannels];
extern mix_channel* mix_current;
extern int sd_mix_rate;
extern int sd_mix_numchannels;
extern int sd_mix_mainvolume;
extern int32_t mix_buffer[mix_buffer_samples];
extern int mix_filled;
extern int mix_pending;

void sd_mix_init(int rate);
void sd_mix_setfunctions();

// Called by a device driver once its device is open: fills the driver table with the mixer's routines, a
// mixer reset at `rate` (sd_init), start/stop/secondhand that do nothing and the driver's own shutdown,
// and names the device.
void sd_install_mixer_driver(int rate, void (*shutdown)(), const char* devicename);
void sd_mix_mono(int16_t* out, int n, int sixteen);
int sd_mix_getsample(int slot, const int8_t* data, uint32_t length, uint32_t loopstart, uint32_t loopend,
                     int looped);
void sd_mix_selectchannel(int channel);
void sd_mix_setsample(int slot);
void sd_mix_setvolume(int volume);
void sd_mix_setpanning(int panning);
void sd_mix_setoffset(uint32_t offset);
void sd_mix_setamigaperiod(int period);
void sd_mix_setmainvolume(int volume);
void sd_mix_setactivechannels(int count);

// Tick length in output samples for the current mzx_tickrate (rates below 22 are treated as 22).
int mix_ticklength();

// --- the module format ---
// Layout, in bytes from the start of the module (16-bit values big-endian): a 20-byte title, 31 sample
// headers, the song length, the restart order, the order table, the type tag, then the pattern data
// (patterns of pt_rows rows of `channels` cells) and the sample data (signed 8-bit, in header order).
constexpr size_t pt_sampleheaders_at = 20;
constexpr size_t pt_sampleheader_bytes = 30; // name (22), then the fields below
constexpr size_t pt_samplelength_at = 22;    // within a header: length in words
constexpr size_t pt_finetune_at = 24;        // finetune (low four bits)
constexpr size_t pt_samplevolume_at = 25;    // volume
constexpr size_t pt_loopstart_at = 26;       // loop start in words
constexpr size_t pt_looplength_at = 28;      // loop length in words
constexpr size_t pt_songlen_at = 950;
constexpr size_t pt_restart_at = 951;
constexpr size_t pt_orders_at = 952;
constexpr size_t pt_tag_at = 1080;
constexpr size_t pt_patterns_at = 1084;
constexpr int pt_samples = 32; // sample numbers 1..31; 0 is none
constexpr int pt_orders = 128;
constexpr int pt_rows = 64;
constexpr int pt_cellbytes = 4; // a cell in the module, and converted
static_assert(pt_sampleheaders_at + (pt_samples - 1) * pt_sampleheader_bytes == pt_songlen_at);
static_assert(pt_orders_at + pt_orders == pt_tag_at && pt_tag_at + 4 == pt_patterns_at);
static_assert(pt_looplength_at + 2 == pt_sampleheader_bytes);

// --- loader ---
constexpr int pt_maxchannels = 32;
constexpr int pt_notes = 84; // note indices 0..83; 84 = no note
constexpr int pt_nonote = 84;
constexpr int pt_periodrow = 85;     // entries per finetune row (84 notes and a closing 0)
constexpr int pt_classic_first = 12; // note index of the classic tracker's lowest note (period 856)
constexpr int pt_classic_notes = 36; // the classic tracker's three octaves

extern const int16_t (&pt_periodtable)[16][pt_periodrow]; // finetune rows 0..7, -8..-1
extern const char* pt_errorstr;

extern int pt_channels;
extern int pt_songlen;
extern int pt_repstart;
extern uint8_t pt_order[pt_orders];
extern int pt_lastpattern;
extern const uint8_t* pt_patterns;              // converted cells: pattern, row, channel, 4 bytes
extern uint32_t pt_length[pt_samples];          // bytes, clamped to the data present
extern uint32_t pt_loopstart[pt_samples];       // bytes
extern uint32_t pt_loope[pt_samples];           // loop length in bytes
extern int pt_finetune[pt_samples];             // 0..15
extern int pt_volume[pt_samples];               // 0..64
extern const int8_t* pt_sampledata[pt_samples]; // start of each sample's data (null when it has none)
// The same data where the replayer may write it: a copy owned by the loader, made only for a module whose
// patterns use the funk effect (EFx inverts loops in place); null otherwise.
extern int8_t* pt_funkdata[pt_samples];

int pt_takemod(const uint8_t* module, size_t size);
void pt_init();

// --- replayer ---
extern int pt_songpos;   // order being played (-1 before the first tick)
extern int pt_rowcount;  // row as reported: 63 once a break or jump has been read
extern int pt_vbtempo;   // ticks per row
extern int pt_bpmtempo;  // stored only; the tick length does not follow it
extern int pt_vbcount;   // tick within the row
extern int pt_firstline; // 1 during the tick that read a new row
extern int pt_curpattern;
extern int pt_pattdelay;
extern int pt_pattloop[pt_maxchannels];
extern int pt_pattloopstart[pt_maxchannels];
extern const int16_t* pt_vibratotable[pt_maxchannels];
extern const int16_t* pt_tremolotable[pt_maxchannels];
extern int16_t pt_ramptable[64];
extern int16_t pt_randtable[64];
extern int pt_pan[pt_maxchannels];
extern int pt_glissando[pt_maxchannels];

// order * 100 + row, published once at the end of every tick (and by mzx_get).
extern std::atomic<int> pt_position;

// What the replayer plays this tick, for comparisons: the order and row really being played (a break or
// jump is not yet visible here) and each channel's period and volume as sent to the mixer.
struct pt_tickstate {
    int order;
    int row;
    int period[pt_maxchannels];
    int volume[pt_maxchannels];
};
void pt_getstate(pt_tickstate* state);

void pt_play();
