// pt_play.cpp: the replayer. pt_play() plays one tick of the classic four-channel tracker's song: on the
// first tick of a row it reads the row's cells, on the other ticks it runs the running effects, and it
// drives every channel through the driver table. It keeps the classic tracker's own behaviour, quirks
// included (offset added twice, lone sample numbers swap the sample, period limits, arpeggio reading past
// the end of a finetune row, fine slides and note delays repeated by a row delay...).
//
// Periods are Amiga periods (3546836 / period bytes per second); volumes 0..64; speed in ticks per row.
// Runs on the audio thread (from mix_newhand), or on the main thread while the device is paused.
#include "sound_internal.h"

#include <cstdlib>
#include <cstring>

int pt_songpos = 0;
int pt_rowcount = 0;
int pt_vbtempo = 6;
int pt_bpmtempo = 125;
int pt_vbcount = 5;
int pt_firstline = 0; // 1 during the tick that read a new row
int pt_curpattern = 0;
int pt_pattdelay = 0; // rows still to repeat the current row (a row delay being played)
int pt_pattloop[pt_maxchannels];
int pt_pattloopstart[pt_maxchannels];
const int16_t* pt_vibratotable[pt_maxchannels];
const int16_t* pt_tremolotable[pt_maxchannels];
int16_t pt_ramptable[64];
int16_t
    pt_randtable[64]; // filled for completeness: waveform 3 plays as a square, as the classic tracker does
int pt_pan[pt_maxchannels] = {0, 255, 255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255, 255, 0,
                              0, 255, 255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255, 255, 0};
int pt_glissando[pt_maxchannels];
std::atomic<int> pt_position{0};

// Waveform magnitudes indexed by position / 4 (0..63): the first half is added, the second subtracted.
static constexpr int16_t pt_sinetable[64] = {0,   24,  49,  74,  97,  120, 141, 161, 180, 197, 212, 224, 235,
                                             244, 250, 253, 255, 253, 250, 244, 235, 224, 212, 197, 180, 161,
                                             141, 120, 97,  74,  49,  24,  0,   24,  49,  74,  97,  120, 141,
                                             161, 180, 197, 212, 224, 235, 244, 250, 253, 255, 253, 250, 244,
                                             235, 224, 212, 197, 180, 161, 141, 120, 97,  74,  49,  24};
static int16_t pt_sawtable[64]; // ramp magnitudes, from pt_ramptable
static constexpr int16_t pt_squaretable[64] = {
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255};
static constexpr uint8_t pt_funktable[16] = {0, 5, 6, 7, 8, 10, 11, 13, 16, 19, 22, 26, 32, 43, 64, 128};

constexpr int pt_minperiod = 113; // porta up/down limits
constexpr int pt_maxperiod = 856;

// Per-channel replayer state.
struct pt_chan {
    // the cell being played
    int note; // note index 0..83, pt_nonote for none
    int cmd;
    int param;
    int cellsample; // sample number as written in the cell (0..255)
    // the instrument
    int sample;     // 1..31, 0 before any
    uint32_t start; // byte offset where a trigger starts (moves with the offset command)
    int length;     // words still to play from start (16-bit arithmetic, as the tracker keeps it)
    int finetune;   // 0..15
    int volume;     // 0..64
    int period;     // current period (without vibrato or arpeggio)
    // effect memories
    int wantperiod;
    int portadir;
    int portaspeed;
    int vibratocmd;
    uint8_t vibratopos;
    int tremolocmd;
    uint8_t tremolopos;
    int wavecontrol;
    int offset;
    int funkspeed;
    int funkoffset;
    uint32_t wavestart; // byte that the next inversion step flips
    // what goes to the mixer at the end of the tick
    int outperiod;
    int outvolume;
    bool trigger;
    uint32_t trigstart; // start and length as they were when the trigger was asked for
    int triglength;
    bool swap;
    int sentperiod;
};

static pt_chan pt_ch[pt_maxchannels];
static int pt_readorder = 0; // order of the next row to read
static int pt_readrow = 0;   // row of the next row to read
static int pt_playorder = 0; // order and row of the row being played
static int pt_playrow = 0;
static int pt_breakrow = 0;
static bool pt_posjump = false;  // a break or jump: go to the next order at the end of this tick
static bool pt_loopjump = false; // a pattern loop: go back within the pattern
static int pt_pattdelaynew = 0;  // a row delay just read
static int pt_lowmask = 0xFF;

// The classic tracker's period table as it lies in memory: 16 rows of 36 notes and a closing 0, so that
// reading past a row's end gives 0 and then the next finetune's notes.
static int pt_period37(int index) {
    if (index < 0 || index >= 16 * 37) return 0;
    const int col = index % 37;
    return col == 36 ? 0 : pt_periodtable[index / 37][pt_classic_first + col];
}

// Index (0..36) in the classic note range of the cell's note.
static int pt_classicindex(int note) {
    const int i = note - pt_classic_first;
    return i < 0 ? 0 : (i > pt_classic_notes ? pt_classic_notes : i);
}

// Period of the cell's note as the tracker stores it (the finetune-0 period).
static int pt_cellperiod(const pt_chan& ch) {
    return pt_periodtable[0][ch.note];
}

static bool pt_hasnote(const pt_chan& ch) {
    return ch.note < pt_nonote;
}

static void pt_trigger(pt_chan& ch) {
    ch.trigger = true;
    ch.trigstart = ch.start;
    ch.triglength = ch.length;
    ch.swap = false;
    ch.outperiod = ch.period;
}

// --- running effects ---

static void pt_portaup(pt_chan& ch) {
    int p = (ch.period - (ch.param & pt_lowmask)) & 0xFFFF;
    pt_lowmask = 0xFF;
    if ((p & 0xFFF) < pt_minperiod) p = (p & 0xF000) | pt_minperiod;
    ch.period = p;
    ch.outperiod = p & 0xFFF;
}

static void pt_portadown(pt_chan& ch) {
    int p = (ch.period + (ch.param & pt_lowmask)) & 0xFFFF;
    pt_lowmask = 0xFF;
    if ((p & 0xFFF) > pt_maxperiod) p = (p & 0xF000) | pt_maxperiod;
    ch.period = p;
    ch.outperiod = p & 0xFFF;
}

static void pt_settoneporta(pt_chan& ch) {
    const int cell = pt_cellperiod(ch);
    const int base = ch.finetune * 37;
    int i = 0;
    for (;;) {
        if (cell >= pt_period37(base + i)) break;
        if (++i >= 37) {
            i = 35;
            break;
        }
    }
    if ((ch.finetune & 8) && i > 0) i--;
    ch.wantperiod = pt_period37(base + i);
    ch.portadir = 0;
    if (ch.period == ch.wantperiod) {
        ch.wantperiod = 0;
    } else if (ch.period > ch.wantperiod) {
        ch.portadir = 1;
    }
}

static void pt_toneportnochange(pt_chan& ch, int c) {
    if (ch.wantperiod <= 0) return;
    if (ch.portadir) {
        ch.period -= ch.portaspeed;
        if (ch.period <= ch.wantperiod) {
            ch.period = ch.wantperiod;
            ch.wantperiod = 0;
        }
    } else {
        ch.period += ch.portaspeed;
        if (ch.period >= ch.wantperiod) {
            ch.period = ch.wantperiod;
            ch.wantperiod = 0;
        }
    }
    if ((pt_glissando[c] & 0x0F) == 0) {
        ch.outperiod = ch.period;
    } else {
        // Glissando: the nearest note at or below the period in this finetune's row.
        const int base = ch.finetune * 37;
        int i = 0;
        for (;;) {
            if (ch.period >= pt_period37(base + i)) break;
            if (++i >= 37) {
                i = 35;
                break;
            }
        }
        ch.outperiod = pt_period37(base + i);
    }
}

static void pt_toneporta(pt_chan& ch, int c) {
    if (ch.param) {
        ch.portaspeed = ch.param;
        ch.param = 0;
    }
    pt_toneportnochange(ch, c);
}

static void pt_vibrato2(pt_chan& ch, int c) {
    const int depth = pt_vibratotable[c][(ch.vibratopos >> 2) & 63];
    const int delta = (depth * (ch.vibratocmd & 0x0F)) >> 7;
    ch.outperiod = ch.vibratopos < 128 ? ch.period + delta : ch.period - delta;
    ch.vibratopos = static_cast<uint8_t>(ch.vibratopos + ((ch.vibratocmd >> 2) & 0x3C));
}

static void pt_vibrato(pt_chan& ch, int c) {
    if (ch.param & 0x0F) ch.vibratocmd = (ch.vibratocmd & 0xF0) | (ch.param & 0x0F);
    if (ch.param & 0xF0) ch.vibratocmd = (ch.param & 0xF0) | (ch.vibratocmd & 0x0F);
    pt_vibrato2(ch, c);
}

static void pt_tremolo(pt_chan& ch, int c) {
    if (ch.param & 0x0F) ch.tremolocmd = (ch.tremolocmd & 0xF0) | (ch.param & 0x0F);
    if (ch.param & 0xF0) ch.tremolocmd = (ch.param & 0xF0) | (ch.tremolocmd & 0x0F);
    int index = (ch.tremolopos >> 2) & 63;
    // The classic tracker takes the ramp's direction from the vibrato position.
    if (pt_tremolotable[c] == pt_sawtable) index = (index & 31) | ((ch.vibratopos >> 2) & 32);
    const int delta = (pt_tremolotable[c][index] * (ch.tremolocmd & 0x0F)) >> 6;
    int v;
    if (ch.tremolopos < 128) {
        v = ch.volume + delta;
        if (v > 64) v = 64;
    } else {
        v = ch.volume - delta;
        if (v < 0) v = 0;
    }
    ch.outvolume = v;
    ch.tremolopos = static_cast<uint8_t>(ch.tremolopos + ((ch.tremolocmd >> 2) & 0x3C));
}

static void pt_volslideup(pt_chan& ch, int x) {
    ch.volume += x;
    if (ch.volume > 64) ch.volume = 64;
}

static void pt_volslidedown(pt_chan& ch, int x) {
    ch.volume -= x;
    if (ch.volume < 0) ch.volume = 0;
}

static void pt_volumeslide(pt_chan& ch) {
    if ((ch.param & 0xF0) == 0) {
        pt_volslidedown(ch, ch.param & 0x0F);
    } else {
        pt_volslideup(ch, ch.param >> 4);
    }
}

static void pt_arpeggio(pt_chan& ch) {
    const int step = pt_vbcount % 3;
    if (step == 0) {
        ch.outperiod = ch.period;
        return;
    }
    const int arp = step == 1 ? ch.param >> 4 : ch.param & 0x0F;
    const int base = ch.finetune * 37;
    for (int i = 0; i < 37; i++) {
        if (ch.period >= pt_period37(base + i)) {
            ch.outperiod = pt_period37(base + i + arp);
            return;
        }
    }
}

// Inverts the sample loop byte by byte, at a speed set by EFx (the loop data is changed in place).
static void pt_updatefunk(pt_chan& ch) {
    if (ch.funkspeed == 0) return;
    ch.funkoffset += pt_funktable[ch.funkspeed];
    if (ch.funkoffset < 128) return;
    ch.funkoffset = 0;
    const int s = ch.sample;
    if (s == 0 || pt_funkdata[s] == nullptr) return;
    uint32_t loopstart = pt_loopstart[s];
    uint32_t loopend = loopstart + pt_loope[s];
    if (loopend <= loopstart) loopend = loopstart + 2;
    if (loopend > pt_length[s]) loopend = pt_length[s];
    if (loopstart >= loopend) return;
    if (++ch.wavestart >= loopend || ch.wavestart < loopstart) ch.wavestart = loopstart;
    int8_t& b = pt_funkdata[s][ch.wavestart];
    b = static_cast<int8_t>(-1 - b);
}

static void pt_sampleoffset(pt_chan& ch) {
    if (ch.param) ch.offset = ch.param;
    const int words = ch.offset << 7;
    if (static_cast<int16_t>(words) < static_cast<int16_t>(ch.length)) {
        ch.length = (ch.length - words) & 0xFFFF;
        ch.start += static_cast<uint32_t>(words) * 2;
    } else {
        ch.length = 1;
    }
}

static void pt_retrig(pt_chan& ch) {
    const int x = ch.param & 0x0F;
    if (x == 0) return;
    if (pt_vbcount == 0 && pt_hasnote(ch)) return;
    if (pt_vbcount % x == 0) pt_trigger(ch);
}

static void pt_ecommands(pt_chan& ch, int c) {
    const int x = ch.param & 0x0F;
    switch (ch.param >> 4) {
    case 0x0: // filter: no filter here
        break;
    case 0x1:
        if (pt_vbcount == 0) {
            pt_lowmask = 0x0F;
            pt_portaup(ch);
        }
        break;
    case 0x2:
        if (pt_vbcount == 0) {
            pt_lowmask = 0x0F;
            pt_portadown(ch);
        }
        break;
    case 0x3:
        pt_glissando[c] = x;
        break;
    case 0x4:
        ch.wavecontrol = (ch.wavecontrol & 0xF0) | x;
        pt_vibratotable[c] = (x & 3) == 0 ? pt_sinetable : (x & 3) == 1 ? pt_sawtable : pt_squaretable;
        break;
    case 0x5:
        ch.finetune = x;
        break;
    case 0x6:
        if (pt_vbcount != 0) break;
        if (x == 0) {
            pt_pattloopstart[c] = pt_playrow;
        } else {
            if (pt_pattloop[c] == 0) {
                pt_pattloop[c] = x;
            } else if (--pt_pattloop[c] == 0) {
                break;
            }
            pt_breakrow = pt_pattloopstart[c];
            pt_loopjump = true;
        }
        break;
    case 0x7:
        ch.wavecontrol = (ch.wavecontrol & 0x0F) | (x << 4);
        pt_tremolotable[c] = (x & 3) == 0 ? pt_sinetable : (x & 3) == 1 ? pt_sawtable : pt_squaretable;
        break;
    case 0x8: // unused
        break;
    case 0x9:
        pt_retrig(ch);
        break;
    case 0xA:
        if (pt_vbcount == 0) {
            pt_volslideup(ch, x);
            ch.outvolume = ch.volume;
        }
        break;
    case 0xB:
        if (pt_vbcount == 0) {
            pt_volslidedown(ch, x);
            ch.outvolume = ch.volume;
        }
        break;
    case 0xC:
        if (pt_vbcount == x) ch.volume = 0;
        break;
    case 0xD:
        if (pt_vbcount == x && pt_hasnote(ch)) pt_trigger(ch);
        break;
    case 0xE:
        if (pt_vbcount == 0 && pt_pattdelay == 0) pt_pattdelaynew = x + 1;
        break;
    case 0xF:
        ch.funkspeed = x;
        if (x) pt_updatefunk(ch);
        break;
    }
}

// Effects of the ticks after the first (and of the first tick of a repeated row).
static void pt_checkeffects(pt_chan& ch, int c) {
    pt_updatefunk(ch);
    if (ch.cmd || ch.param) {
        switch (ch.cmd) {
        case 0x0:
            pt_arpeggio(ch);
            break;
        case 0x1:
            pt_portaup(ch);
            break;
        case 0x2:
            pt_portadown(ch);
            break;
        case 0x3:
            pt_toneporta(ch, c);
            break;
        case 0x4:
            pt_vibrato(ch, c);
            break;
        case 0x5:
            pt_toneportnochange(ch, c);
            pt_volumeslide(ch);
            break;
        case 0x6:
            pt_vibrato2(ch, c);
            pt_volumeslide(ch);
            break;
        case 0xE:
            pt_ecommands(ch, c);
            break;
        case 0x7:
            ch.outperiod = ch.period;
            pt_tremolo(ch, c);
            break;
        case 0xA:
            ch.outperiod = ch.period;
            pt_volumeslide(ch);
            break;
        default:
            ch.outperiod = ch.period;
            break;
        }
    }
    if (ch.cmd != 0x7) ch.outvolume = ch.volume;
}

// Commands of the first tick of a row. All but the sample offset end by writing the period.
static void pt_checkmoreeffects(pt_chan& ch, int c) {
    pt_updatefunk(ch);
    switch (ch.cmd) {
    case 0x9:
        pt_sampleoffset(ch);
        return;
    case 0xB: {
        // The order one before the target: the row counter runs out at the end of this row. The order
        // counter keeps 7 bits; a target past the song's end starts it again from order 0 (the restart
        // order is for the song's natural end).
        const int target = (ch.param & 0x7F) < pt_songlen ? ch.param & 0x7F : 0;
        pt_readorder = (target - 1) & 0xFF;
        pt_breakrow = 0;
        pt_posjump = true;
        pt_songpos = ch.param - 1;
        pt_rowcount = 63;
        break;
    }
    case 0xD: {
        int row = (ch.param >> 4) * 10 + (ch.param & 0x0F);
        if (row >= pt_rows) row = 0;
        pt_breakrow = row;
        pt_posjump = true;
        pt_rowcount = 63;
        break;
    }
    case 0xE:
        pt_ecommands(ch, c);
        break;
    case 0xF:
        if (ch.param == 0) break;
        if (ch.param < 32) {
            pt_vbtempo = ch.param;
            pt_vbcount = 0;
        } else {
            pt_bpmtempo = ch.param;
        }
        break;
    case 0xC:
        ch.volume = ch.param > 64 ? 64 : ch.param;
        ch.outvolume = ch.volume;
        break;
    default:
        break;
    }
    ch.outperiod = ch.period;
}

static void pt_setperiod(pt_chan& ch, int c) {
    ch.period = pt_period37(ch.finetune * 37 + pt_classicindex(ch.note));
    if (!(ch.cmd == 0xE && (ch.param >> 4) == 0xD)) {
        if ((ch.wavecontrol & 0x04) == 0) ch.vibratopos = 0;
        if ((ch.wavecontrol & 0x40) == 0) ch.tremolopos = 0;
        pt_trigger(ch);
    }
    pt_checkmoreeffects(ch, c);
}

static void pt_playvoice(pt_chan& ch, int c, const uint8_t* cell) {
    if (ch.note == pt_nonote && ch.cellsample == 0 && ch.cmd == 0 && ch.param == 0) ch.outperiod = ch.period;
    ch.cellsample = cell[0];
    ch.note = cell[1] < pt_nonote ? cell[1] : pt_nonote;
    ch.cmd = cell[2] & 0x0F;
    ch.param = cell[3];

    const int s = ch.cellsample;
    if (s >= 1 && s <= 31) { // numbers above 31 are ignored
        ch.sample = s;
        ch.start = 0;
        ch.finetune = pt_finetune[s];
        ch.volume = pt_volume[s];
        const uint32_t words = pt_loopstart[s] > 0 ? (pt_loopstart[s] + pt_loope[s]) / 2 : pt_length[s] / 2;
        ch.length = static_cast<int>(words & 0xFFFF);
        ch.wavestart = pt_loopstart[s];
        ch.outvolume = ch.volume;
        ch.swap = true; // takes the new sample without restarting, unless a note triggers it
    }
    if (pt_hasnote(ch)) {
        if (ch.cmd == 0xE && (ch.param >> 4) == 0x5) {
            ch.finetune = ch.param & 0x0F;
            pt_setperiod(ch, c);
        } else if (ch.cmd == 0x3 || ch.cmd == 0x5) {
            pt_settoneporta(ch);
            pt_checkmoreeffects(ch, c);
        } else if (ch.cmd == 0x9) {
            pt_checkmoreeffects(ch, c);
            pt_setperiod(ch, c);
        } else {
            pt_setperiod(ch, c);
        }
    } else {
        pt_checkmoreeffects(ch, c);
    }
}

static void pt_nextposition() {
    pt_readrow = pt_breakrow;
    pt_breakrow = 0;
    pt_posjump = false;
    pt_readorder = (pt_readorder + 1) & 0x7F;
    if (pt_readorder >= pt_songlen) pt_readorder = pt_repstart;
}

// Hands this tick's results to the mixer.
static void pt_output() {
    for (int c = 0; c < pt_channels; c++) {
        pt_chan& ch = pt_ch[c];
        sd_selectchannel(c);
        if (ch.trigger && ch.sample) {
            const int s = ch.sample;
            sd_setsample(s);
            sd_setpanning(pt_pan[c]);
            uint32_t offset = ch.trigstart;
            if (ch.triglength <= 1 && pt_length[s] > 2) {
                // Offset past the end: the tracker plays one word, then goes on in the loop.
                offset = pt_loope[s] >= 3 ? pt_loopstart[s] : pt_length[s] - 1;
            } else if (offset >= pt_length[s] && pt_length[s] > 0) {
                offset = pt_length[s] - 1;
            }
            sd_setoffset(offset);
            sd_setamigaperiod(ch.outperiod);
            ch.sentperiod = ch.outperiod;
        } else {
            bool resend = false;
            if (ch.swap && ch.sample) {
                // A looped sample swapped in also wakes a voice whose one-shot sample has ended.
                sd_setsample(ch.sample);
                resend = pt_loope[ch.sample] >= 3;
            }
            if (resend || ch.outperiod != ch.sentperiod) {
                sd_setamigaperiod(ch.outperiod);
                ch.sentperiod = ch.outperiod;
            }
        }
        ch.trigger = ch.swap = false;
        sd_setvolume(ch.outvolume);
    }
}

void pt_play() {
    if (pt_patterns == nullptr || sd_selectchannel == nullptr) return; // no song, or no driver to play it
    pt_vbcount++;
    if (pt_vbcount >= pt_vbtempo) {
        pt_vbcount = 0;
        pt_firstline = pt_pattdelay == 0;
        if (pt_pattdelay == 0) {
            pt_playorder = pt_readorder;
            pt_playrow = pt_readrow;
            pt_songpos = pt_playorder;
            pt_rowcount = pt_playrow;
            pt_curpattern = pt_order[pt_playorder];
            const size_t rowbytes = static_cast<size_t>(pt_channels) * pt_cellbytes;
            const uint8_t* cells =
                pt_patterns + (static_cast<size_t>(pt_curpattern) * pt_rows + pt_playrow) * rowbytes;
            for (int c = 0; c < pt_channels; c++) {
                pt_playvoice(pt_ch[c], c, cells + c * pt_cellbytes);
                pt_ch[c].outvolume = pt_ch[c].volume; // a row starts without tremolo
            }
        } else {
            for (int c = 0; c < pt_channels; c++) pt_checkeffects(pt_ch[c], c);
        }
        pt_readrow++;
        if (pt_pattdelaynew) {
            pt_pattdelay = pt_pattdelaynew;
            pt_pattdelaynew = 0;
        }
        if (pt_pattdelay) {
            if (--pt_pattdelay) pt_readrow--;
        }
        if (pt_loopjump) {
            pt_loopjump = false;
            pt_readrow = pt_breakrow;
            pt_breakrow = 0;
        }
        if (pt_readrow >= pt_rows) pt_nextposition();
    } else {
        pt_firstline = 0;
        for (int c = 0; c < pt_channels; c++) pt_checkeffects(pt_ch[c], c);
    }
    if (pt_posjump) pt_nextposition();
    pt_position.store(pt_songpos * 100 + pt_rowcount, std::memory_order_release);
    pt_output();
}

void pt_init() {
    std::memset(pt_ch, 0, sizeof pt_ch);
    for (pt_chan& ch : pt_ch) {
        ch.note = pt_nonote;
        ch.sentperiod = -1;
    }
    std::memset(pt_pattloop, 0, sizeof pt_pattloop);
    std::memset(pt_pattloopstart, 0, sizeof pt_pattloopstart);
    // Glissando too: a module played again (or the next one) must not start with it on.
    std::memset(pt_glissando, 0, sizeof pt_glissando);
    pt_songpos = -1;
    pt_rowcount = 63;
    pt_vbtempo = 6;
    pt_bpmtempo = 125;
    pt_vbcount = 5;
    pt_firstline = 0;
    pt_curpattern = 0;
    pt_pattdelay = 0;
    pt_pattdelaynew = 0;
    pt_readorder = 0;
    pt_readrow = 0;
    pt_playorder = 0;
    pt_playrow = 0;
    pt_breakrow = 0;
    pt_posjump = false;
    pt_loopjump = false;
    pt_lowmask = 0xFF;
    for (int c = 0; c < pt_maxchannels; c++) {
        pt_vibratotable[c] = pt_sinetable;
        pt_tremolotable[c] = pt_sinetable;
    }
    for (int i = 0; i < 64; i++) {
        pt_ramptable[i] = static_cast<int16_t>(255 - 8 * i);
        pt_randtable[i] = static_cast<int16_t>(std::rand() % 511 - 256);
    }
    // Ramp magnitudes: rising 0..248 over the first half, falling 255..7 over the second.
    for (int i = 0; i < 32; i++) {
        pt_sawtable[i] = static_cast<int16_t>(255 - pt_ramptable[i]);
        pt_sawtable[32 + i] = pt_ramptable[i];
    }
    pt_position.store(pt_songpos * 100 + pt_rowcount, std::memory_order_release);
}

void pt_getstate(pt_tickstate* state) {
    state->order = pt_playorder;
    state->row = pt_playrow;
    for (int c = 0; c < pt_maxchannels; c++) {
        state->period[c] = c < pt_channels ? pt_ch[c].outperiod : 0;
        state->volume[c] = c < pt_channels ? pt_ch[c].outvolume : 0;
    }
}
