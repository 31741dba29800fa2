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

// Copies the frame (320x240 0x00RRGGBB) enlarged scale times, nearest neighbour, as 8-bit RGB rows:
// dst holds 320 * scale * 3 bytes per row and 240 * scale rows.
void scale_row_rgb(const uint32_t* src_row, int scale, uint8_t* dst);

// Encodes the frame as an 8-bit RGB PNG of 320 * scale x 240 * scale pixels. row holds
// 320 * kMaxScale * 3 bytes. False with a message if libpng or a write fails.
bool write_png(FILE* f, const uint32_t* frame, int scale, uint8_t* row, std::string* err);

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
