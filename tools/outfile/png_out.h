// png_out.h: pictures of 0x00RRGGBB pixels written as 8-bit RGB PNG files (libpng, default compression),
// atomically as outfile.h describes. For the tools that write pictures for people to look at.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

// Encodes width x height pixels (rows of width words) into an open file; false with a message if libpng
// or a write fails.
bool write_png_rgb(FILE* f, const uint32_t* pixels, int width, int height, std::string* err);

// The same as the whole file at path.
bool save_png(const char* path, const uint32_t* pixels, int width, int height, std::string* err);
