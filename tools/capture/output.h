// output.h: the files `capture` writes. Every file is written under a temporary name beside its final
// name and renamed onto it only when complete, so an interrupted or failed capture never leaves a file
// that looks finished. Devices and pipes (/dev/null, /dev/full, a FIFO) are written in place. Missing
// folders on the way to an output are created.
//
// USAGE: out_open -> fwrite into .f -> out_commit (checks every byte reached the file) or out_abort.
// PNG: write_png() encodes one frame into an open file. WAV: wav_open -> wav_write... -> wav_finish.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

constexpr int kFrameW = 320;
constexpr int kFrameH = 240;
constexpr int kSampleRate = 44100;
constexpr size_t kPathMax = 4096;

struct out_file {
    FILE* f = nullptr;
    bool direct = false; // the target is not a regular file: written in place, never renamed
    char path[kPathMax] = {};
    char temp[kPathMax] = {};
};

// Writes into dst the temporary name used for final: ".tmp-PID-N." + its base name in the same folder
// (so the rename stays on one file system and the extension still tells tools the format).
bool temp_name_for(const char* final_path, char* dst, size_t size);

// Creates the folders that lead to path (like mkdir -p on its folder part); false with a message naming
// the folder that cannot be made.
bool make_parent_folders(const char* path, std::string* err);

// Creates the folders that lead to path, then the temporary file (or opens a device in place).
bool out_open(out_file* of, const char* path, std::string* err);
bool out_commit(out_file* of, std::string* err);
void out_abort(out_file* of); // closes and removes the temporary file; safe on a closed out_file

// Renames a finished temporary file onto its final name (for files written by another program).
bool commit_temp(const char* temp, const char* final_path, std::string* err);

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
