// output.h: the files `capture` writes, each atomically (outfile.h: written under a temporary name and
// renamed only when complete; devices and pipes written in place).
//
// PNG: write_png() encodes one frame into an open file. WAV: wav_open -> wav_write... -> wav_finish.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "outfile.h"
#include "screen.h"

constexpr int kSampleRate = 44100;

// Where the 320x240 frame goes in a written picture (PNG or video): enlarged scale times, nearest
// neighbour, with its top left corner at (left, top) of a width x height picture whose rest is black.
struct frame_layout {
    int scale = 1;
    int width = kScreenW, height = kScreenH;
    int left = 0, top = 0;
};

// The frame alone, enlarged scale times (--scale).
frame_layout scaled_layout(int scale);
// The frame enlarged by the largest whole factor that fits a width x height picture, centred (--fit);
// scale 0 if not even the frame itself fits.
frame_layout fitted_layout(int width, int height);

// One row of the frame (320 pixels) as a row of the picture, 8-bit RGB: layout.width * 3 bytes, the
// margins black.
void layout_row_rgb(const uint32_t* src_row, const frame_layout& layout, uint8_t* dst);

// Encodes the frame as an 8-bit RGB PNG of layout.width x layout.height pixels. row holds
// layout.width * 3 bytes. False with a message if libpng or a write fails.
bool write_png(FILE* f, const uint32_t* frame, const frame_layout& layout, uint8_t* row, std::string* err);

struct wav_writer {
    out_file file;
    uint32_t samples = 0;
    bool failed = false;
};

// Opens path and writes a 44-byte header for 44100 Hz mono 16-bit PCM (sizes patched at finish).
bool wav_open(wav_writer* w, const char* path, std::string* err);
// Appends samples (stored little-endian); false once any write has failed.
bool wav_write(wav_writer* w, const int16_t* samples, size_t count);
// Fills in the sizes and commits the file.
bool wav_finish(wav_writer* w, std::string* err);
void wav_abort(wav_writer* w);
