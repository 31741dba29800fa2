// pt_load.cpp: the tracker module loader (pt_takemod), the replayer's reset (pt_init) and the period table.
//
// The module lies whole in memory and is only read: every pattern cell is converted into the loader's own
// table as {sample, note index, command, parameter}. Samples are played from the module, which must
// therefore stay valid while it plays, with one exception: the funk effect (EFx) inverts a sample's loop
// byte by byte as it plays, so the samples of a module whose patterns use it are copied once, here.
// Every read is bounded by the module's size: a module too short for its header, orders or patterns is
// refused, and sample lengths and loops are clamped to the data present. Runs on the main thread while
// the audio device is paused.
#include "sound_internal.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

// Periods of the classic tracker's three octaves for each finetune (rows 0..7, -8..-1). The full table
// adds an octave below (doubled periods) and three above (halved, rounded) and closes each row with 0.
static constexpr int16_t pt_classic[16][pt_classic_notes] = {
    {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453, 428, 404, 381, 360, 339, 320,
     302, 285, 269, 254, 240, 226, 214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113},
    {850, 802, 757, 715, 674, 637, 601, 567, 535, 505, 477, 450, 425, 401, 379, 357, 337, 318,
     300, 284, 268, 253, 239, 225, 213, 201, 189, 179, 169, 159, 150, 142, 134, 126, 119, 113},
    {844, 796, 752, 709, 670, 632, 597, 563, 532, 502, 474, 447, 422, 398, 376, 355, 335, 316,
     298, 282, 266, 251, 237, 224, 211, 199, 188, 177, 167, 158, 149, 141, 133, 125, 118, 112},
    {838, 791, 746, 704, 665, 628, 592, 559, 528, 498, 470, 444, 419, 395, 373, 352, 332, 314,
     296, 280, 264, 249, 235, 222, 209, 198, 187, 176, 166, 157, 148, 140, 132, 125, 118, 111},
    {832, 785, 741, 699, 660, 623, 588, 555, 524, 495, 467, 441, 416, 392, 370, 350, 330, 312,
     294, 278, 262, 247, 233, 220, 208, 196, 185, 175, 165, 156, 147, 139, 131, 124, 117, 110},
    {826, 779, 736, 694, 655, 619, 584, 551, 520, 491, 463, 437, 413, 390, 368, 347, 328, 309,
     292, 276, 260, 245, 232, 219, 206, 195, 184, 174, 164, 155, 146, 138, 130, 123, 116, 109},
    {820, 774, 730, 689, 651, 614, 580, 547, 516, 487, 460, 434, 410, 387, 365, 345, 325, 307,
     290, 274, 258, 244, 230, 217, 205, 193, 183, 172, 163, 154, 145, 137, 129, 122, 115, 109},
    {814, 768, 725, 684, 646, 610, 575, 543, 513, 484, 457, 431, 407, 384, 363, 342, 323, 305,
     288, 272, 256, 242, 228, 216, 204, 192, 181, 171, 161, 152, 144, 136, 128, 121, 114, 108},
    {907, 856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453, 428, 404, 381, 360, 339,
     320, 302, 285, 269, 254, 240, 226, 214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120},
    {900, 850, 802, 757, 715, 675, 636, 601, 567, 535, 505, 477, 450, 425, 401, 379, 357, 337,
     318, 300, 284, 268, 253, 238, 225, 212, 200, 189, 179, 169, 159, 150, 142, 134, 126, 119},
    {894, 844, 796, 752, 709, 670, 632, 597, 563, 532, 502, 474, 447, 422, 398, 376, 355, 335,
     316, 298, 282, 266, 251, 237, 223, 211, 199, 188, 177, 167, 158, 149, 141, 133, 125, 118},
    {887, 838, 791, 746, 704, 665, 628, 592, 559, 528, 498, 470, 444, 419, 395, 373, 352, 332,
     314, 296, 280, 264, 249, 235, 222, 209, 198, 187, 176, 166, 157, 148, 140, 132, 125, 118},
    {881, 832, 785, 741, 699, 660, 623, 588, 555, 524, 494, 467, 441, 416, 392, 370, 350, 330,
     312, 294, 278, 262, 247, 233, 220, 208, 196, 185, 175, 165, 156, 147, 139, 131, 123, 117},
    {875, 826, 779, 736, 694, 655, 619, 584, 551, 520, 491, 463, 437, 413, 390, 368, 347, 328,
     309, 292, 276, 260, 245, 232, 219, 206, 195, 184, 174, 164, 155, 146, 138, 130, 123, 116},
    {868, 820, 774, 730, 689, 651, 614, 580, 547, 516, 487, 460, 434, 410, 387, 365, 345, 325,
     307, 290, 274, 258, 244, 230, 217, 205, 193, 183, 172, 163, 154, 145, 137, 129, 122, 115},
    {862, 814, 768, 725, 684, 646, 610, 575, 543, 513, 484, 457, 431, 407, 384, 363, 342, 323,
     305, 288, 272, 256, 242, 228, 216, 203, 192, 181, 171, 161, 152, 144, 136, 128, 121, 114},
};

static constexpr auto pt_build_periods() {
    struct table {
        int16_t p[16][pt_periodrow];
    } t{};
    for (int f = 0; f < 16; f++) {
        for (int n = 0; n < 12; n++) t.p[f][n] = static_cast<int16_t>(pt_classic[f][n] * 2);
        for (int n = 0; n < pt_classic_notes; n++) t.p[f][pt_classic_first + n] = pt_classic[f][n];
        for (int n = 48; n < pt_notes; n++) {
            const int octaves = (n - 36) / 12; // 1..3 octaves above the classic top octave
            const int base = pt_classic[f][24 + n % 12];
            const int div = 1 << octaves;
            t.p[f][n] = static_cast<int16_t>((base + div / 2) / div);
        }
        t.p[f][pt_notes] = 0;
    }
    return t;
}
static constexpr auto pt_periods = pt_build_periods();
const int16_t (&pt_periodtable)[16][pt_periodrow] = pt_periods.p;

const char* pt_errorstr = "";
int pt_channels = 4;
int pt_songlen = 1;
int pt_repstart = 0;
uint8_t pt_order[pt_orders];
int pt_lastpattern = 0;
const uint8_t* pt_patterns = nullptr;
uint32_t pt_length[pt_samples];
uint32_t pt_loopstart[pt_samples];
uint32_t pt_loope[pt_samples];
int pt_finetune[pt_samples];
int pt_volume[pt_samples];
const int8_t* pt_sampledata[pt_samples];
int8_t* pt_funkdata[pt_samples];

struct pt_tag {
    char tag[5];
    int channels;
};
static constexpr pt_tag pt_tags[] = {
    {"2CHN", 2},  {"4CHN", 4},  {"M.K.", 4},  {"M!K!", 4},  {"FLT4", 4},  {"FLT8", 8},
    {"OCTA", 8},  {"6CHN", 6},  {"8CHN", 8},  {"10CH", 10}, {"12CH", 12}, {"14CH", 14},
    {"16CH", 16}, {"18CH", 18}, {"20CH", 20}, {"22CH", 22}, {"24CH", 24}, {"26CH", 26},
    {"28CH", 28}, {"30CH", 30}, {"32CH", 32}, {"STOP", 0},
};

// The converted cells of the module taken last. An order entry is a byte, so a module names at most 256
// patterns; at 32 channels that is 2 MiB, of which a program touches only what its modules fill.
constexpr int pt_maxpatterns = 256;
static uint8_t pt_cells[pt_maxpatterns * pt_maxchannels * pt_rows * pt_cellbytes];
static std::vector<int8_t> pt_samplecopy; // the sample data of a module that inverts loops

static uint32_t pt_be16(const uint8_t* p) {
    return static_cast<uint32_t>(p[0] << 8 | p[1]);
}

// The channel count of the module's type tag; 0 for a tag that is not in the table.
static int pt_channelsof(const uint8_t* module) {
    for (const pt_tag& t : pt_tags) {
        if (t.channels == 0) break;
        if (std::strncmp(reinterpret_cast<const char*>(module + pt_tag_at), t.tag, 4) == 0) return t.channels;
    }
    return 0;
}

// Whether any cell of the patterns turns the funk effect on (command E, parameter F1..FF).
static bool pt_inverts_loops(const uint8_t* cells, size_t bytes) {
    for (size_t i = 0; i < bytes; i += pt_cellbytes)
        if ((cells[i + 2] & 0x0F) == 0xE && (cells[i + 3] & 0xF0) == 0xF0 && (cells[i + 3] & 0x0F) != 0)
            return true;
    return false;
}

// The note index of a period: the first note of the finetune-0 row whose period it reaches.
static uint8_t pt_noteindex(int period) {
    if (period == 0) return pt_nonote;
    for (int k = 0; k < pt_notes; k++) {
        if (period >= pt_periods.p[0][k]) return static_cast<uint8_t>(k);
    }
    return pt_nonote;
}

// Converts the module's cells b0 b1 b2 b3 into {sample, note index, command, parameter}.
static void pt_convertcells(const uint8_t* in, size_t bytes) {
    for (size_t i = 0; i < bytes; i += pt_cellbytes) {
        const uint8_t b0 = in[i], b1 = in[i + 1], b2 = in[i + 2];
        pt_cells[i] = static_cast<uint8_t>((b0 & 0xF0) | (b2 >> 4));
        pt_cells[i + 1] = pt_noteindex((b0 & 0x0F) << 8 | b1);
        pt_cells[i + 2] = b2 & 0x0F;
        pt_cells[i + 3] = in[i + 3];
    }
}

// Reads the sample headers and registers every sample with the mixer, its data starting at `offset` (in
// pt_samplecopy instead when `copied`), lengths and loops clamped to the data present.
static void pt_takesamples(const uint8_t* module, size_t size, size_t offset, bool copied) {
    const size_t data_at = offset;
    for (int s = 1; s < pt_samples; s++) {
        const uint8_t* h = module + pt_sampleheaders_at + (s - 1) * pt_sampleheader_bytes;
        const size_t left = size - offset;
        const uint32_t length =
            static_cast<uint32_t>(std::min<size_t>(pt_be16(h + pt_samplelength_at) * 2, left));
        uint32_t loopstart = pt_be16(h + pt_loopstart_at) * 2;
        uint32_t looplength = pt_be16(h + pt_looplength_at) * 2;
        int looped = looplength >= 3 ? 1 : 0;
        if (loopstart >= length) {
            loopstart = 0;
            looped = 0;
            looplength = std::min<uint32_t>(looplength, length);
        } else if (looplength > length - loopstart) {
            looplength = length - loopstart;
            if (looplength < 3) looped = 0;
        }
        pt_length[s] = length;
        pt_loopstart[s] = loopstart;
        pt_loope[s] = looplength;
        pt_finetune[s] = h[pt_finetune_at] & 0x0F;
        pt_volume[s] = std::min(static_cast<int>(h[pt_samplevolume_at]), 64);
        pt_funkdata[s] = copied && length ? pt_samplecopy.data() + (offset - data_at) : nullptr;
        pt_sampledata[s] = !length          ? nullptr
                           : pt_funkdata[s] ? pt_funkdata[s]
                                            : reinterpret_cast<const int8_t*>(module + offset);
        // Empty slots are registered too, so that nothing of an earlier module stays behind.
        if (sd_getsample)
            sd_getsample(s, pt_sampledata[s], length, loopstart, loopstart + looplength, looped);
        offset += length;
    }
}

int pt_takemod(const uint8_t* module, size_t size) {
    if (module == nullptr || size < pt_patterns_at) {
        pt_errorstr = "pt_takemod error: module too short for its header!";
        return 0;
    }
    const int channels = pt_channelsof(module);
    if (channels == 0) {
        pt_errorstr = "pt_takemod error: unknown module type!";
        return 0;
    }
    const uint8_t* orders = module + pt_orders_at;
    const int lastpattern = *std::max_element(orders, orders + pt_orders);
    const size_t patterns_size = static_cast<size_t>(lastpattern + 1) * channels * pt_rows * pt_cellbytes;
    if (patterns_size > size - pt_patterns_at) {
        pt_errorstr = "pt_takemod error: module too short for its patterns!";
        return 0;
    }
    const uint8_t* cells = module + pt_patterns_at;
    const size_t samples_at = pt_patterns_at + patterns_size;
    const bool copy_samples = pt_inverts_loops(cells, patterns_size);
    if (copy_samples) {
        try {
            pt_samplecopy.assign(module + samples_at, module + size);
        } catch (const std::bad_alloc&) {
            pt_errorstr = "pt_takemod error: no memory for the samples!";
            return 0;
        }
    }

    pt_channels = channels;
    pt_songlen = std::clamp(static_cast<int>(module[pt_songlen_at]), 1, pt_orders);
    pt_repstart = module[pt_restart_at] >= 127 ? 0 : module[pt_restart_at];
    if (pt_repstart >= pt_songlen) pt_repstart = 0;
    std::memcpy(pt_order, orders, sizeof pt_order);
    pt_lastpattern = lastpattern;
    pt_convertcells(cells, patterns_size);
    pt_patterns = pt_cells;
    pt_takesamples(module, size, samples_at, copy_samples);
    if (sd_setactivechannels) sd_setactivechannels(channels);
    pt_errorstr = "";
    return 1;
}
