// png_out.cpp: the PNG writer of the picture tools (see png_out.h).
#include "png_out.h"

#include "outfile.h"

#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <png.h>
#include <vector>

namespace {

struct png_failure {
    jmp_buf jump;
    char message[200];
};

void on_png_error(png_structp png, png_const_charp message) {
    auto* failure = static_cast<png_failure*>(png_get_error_ptr(png));
    snprintf(failure->message, sizeof failure->message, "%s", message);
    longjmp(failure->jump, 1);
}

void on_png_warning(png_structp, png_const_charp) {}

} // namespace

bool write_png_rows(FILE* f, int width, int height, bool fast, png_row_fn row, const void* ctx, uint8_t* rgb,
                    std::string* err) {
    png_failure failure{};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, on_png_error, on_png_warning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        *err = "out of memory for the PNG encoder";
        return false;
    }
    if (setjmp(failure.jump)) {
        png_destroy_write_struct(&png, &info);
        *err = std::string("PNG encoder: ") + failure.message;
        if (ferror(f)) *err += std::string(" (") + strerror(errno) + ")";
        return false;
    }
    png_init_io(png, f);
    if (fast) {
        png_set_compression_level(png, 1);
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    }
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; y++) {
        row(y, ctx, rgb);
        png_write_row(png, rgb);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

namespace {

struct plain_picture {
    const uint32_t* pixels;
    int width;
};

void plain_row(int y, const void* ctx, uint8_t* rgb) {
    const auto* p = static_cast<const plain_picture*>(ctx);
    const uint32_t* src = p->pixels + static_cast<size_t>(y) * p->width;
    for (int x = 0; x < p->width; x++) {
        *rgb++ = static_cast<uint8_t>(src[x] >> 16);
        *rgb++ = static_cast<uint8_t>(src[x] >> 8);
        *rgb++ = static_cast<uint8_t>(src[x]);
    }
}

} // namespace

bool write_png_rgb(FILE* f, const uint32_t* pixels, int width, int height, std::string* err) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * 3);
    const plain_picture picture{pixels, width};
    return write_png_rows(f, width, height, false, plain_row, &picture, rgb.data(), err);
}

bool save_png(const char* path, const uint32_t* pixels, int width, int height, std::string* err) {
    out_file of;
    if (!out_open(&of, path, err)) return false;
    if (!write_png_rgb(of.f, pixels, width, height, err)) {
        *err = std::string("cannot write '") + path + "': " + *err;
        out_abort(&of);
        return false;
    }
    return out_commit(&of, err);
}
