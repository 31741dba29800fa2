// png_out.h: pictures of 0x00RRGGBB pixels written as 8-bit RGB PNG files (libpng), whole files atomically
// as outfile.h describes. The one PNG encoder of the tools.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

// Fills rgb (width * 3 bytes) with row y of the picture. Rows are asked for in order, and rgb still holds
// the previous row when the function is called, so a row repeated (an enlarged picture) needs no work.
using png_row_fn = void (*)(int y, const void* ctx, uint8_t* rgb);

// Encodes a width x height picture, row by row from row(y, ctx, rgb), into an open file; rgb is the
// caller's buffer of width * 3 bytes. fast: compression level 1 and the Sub filter (large flat frames
// written in bulk), else libpng's defaults. False with a message if libpng or a write fails.
bool write_png_rows(FILE* f, int width, int height, bool fast, png_row_fn row, const void* ctx, uint8_t* rgb,
                    std::string* err);

// Encodes width x height pixels (rows of width words) with libpng's defaults.
bool write_png_rgb(FILE* f, const uint32_t* pixels, int width, int height, std::string* err);

// The same as the whole file at path.
bool save_png(const char* path, const uint32_t* pixels, int width, int height, std::string* err);
