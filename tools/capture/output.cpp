// output.cpp: the frames of `capture` as PNG pictures (png_out) and its streaming WAV writer.
// All run on the main thread, between frames of the offline demo.
#include "output.h"

#include "png_out.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr uint32_t kWavHeaderSize = 44;
constexpr uint32_t kMaxWavSamples = (0xFFFFFFFFu - kWavHeaderSize) / 2;

std::string describe(const char* what, const char* path, int error) {
    return std::string(what) + " '" + path + "': " + strerror(error);
}

void put_le16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void put_le32(uint8_t* p, uint32_t v) {
    put_le16(p, v & 0xFFFF);
    put_le16(p + 2, v >> 16);
}

void wav_header(uint8_t* h, uint32_t samples) {
    uint32_t data_bytes = samples * 2;
    memcpy(h, "RIFF", 4);
    put_le32(h + 4, kWavHeaderSize - 8 + data_bytes);
    memcpy(h + 8, "WAVEfmt ", 8);
    put_le32(h + 16, 16);              // fmt chunk size
    put_le16(h + 20, 1);               // PCM
    put_le16(h + 22, 1);               // mono
    put_le32(h + 24, kSampleRate);     // samples per second
    put_le32(h + 28, kSampleRate * 2); // bytes per second
    put_le16(h + 32, 2);               // bytes per sample frame
    put_le16(h + 34, 16);              // bits per sample
    memcpy(h + 36, "data", 4);
    put_le32(h + 40, data_bytes);
}

struct laid_out_frame {
    const uint32_t* frame;
    const frame_layout* layout;
};

// Each frame row is converted once and then written scale times; a black margin row is cleared once.
void laid_out_row(int y, const void* ctx, uint8_t* rgb) {
    const auto* s = static_cast<const laid_out_frame*>(ctx);
    const frame_layout& l = *s->layout;
    const int sy = y - l.top, rows = kScreenH * l.scale;
    if (sy < 0 || sy >= rows) {
        if (y == 0 || sy == rows) memset(rgb, 0, static_cast<size_t>(l.width) * 3);
    } else if (sy % l.scale == 0) {
        layout_row_rgb(s->frame + (sy / l.scale) * kScreenW, l, rgb);
    }
}

} // namespace

frame_layout scaled_layout(int scale) {
    return frame_layout{scale, kScreenW * scale, kScreenH * scale, 0, 0};
}

frame_layout fitted_layout(int width, int height) {
    int scale = std::min(width / kScreenW, height / kScreenH);
    return frame_layout{scale, width, height, (width - kScreenW * scale) / 2,
                        (height - kScreenH * scale) / 2};
}

void layout_row_rgb(const uint32_t* src_row, const frame_layout& layout, uint8_t* dst) {
    const size_t left = static_cast<size_t>(layout.left) * 3;
    const size_t right = static_cast<size_t>(layout.width - layout.left - kScreenW * layout.scale) * 3;
    memset(dst, 0, left);
    dst += left;
    for (int x = 0; x < kScreenW; ++x) {
        uint32_t c = src_row[x];
        for (int i = 0; i < layout.scale; ++i) {
            *dst++ = static_cast<uint8_t>(c >> 16);
            *dst++ = static_cast<uint8_t>(c >> 8);
            *dst++ = static_cast<uint8_t>(c);
        }
    }
    memset(dst, 0, right);
}

bool write_png(FILE* f, const uint32_t* frame, const frame_layout& layout, uint8_t* row, std::string* err) {
    // Fast settings: these frames are large flat areas, which the Sub filter and level 1 handle well.
    const laid_out_frame s{frame, &layout};
    return write_png_rows(f, layout.width, layout.height, true, laid_out_row, &s, row, err);
}

bool wav_open(wav_writer* w, const char* path, std::string* err) {
    *w = wav_writer{};
    if (!out_open(&w->file, path, err)) return false;
    uint8_t header[kWavHeaderSize];
    // Until finish patches them, the sizes say "unknown length" as streaming writers do.
    wav_header(header, kMaxWavSamples);
    if (fwrite(header, 1, sizeof header, w->file.f) != sizeof header) {
        *err = describe("cannot write", path, errno);
        out_abort(&w->file);
        return false;
    }
    return true;
}

bool wav_write(wav_writer* w, const int16_t* samples, size_t count) {
    if (w->failed) return false;
    if (count > kMaxWavSamples - w->samples) return w->failed = true, false;
    uint8_t bytes[2048];
    while (count > 0) {
        size_t n = count < sizeof bytes / 2 ? count : sizeof bytes / 2;
        for (size_t i = 0; i < n; ++i) put_le16(bytes + 2 * i, static_cast<uint16_t>(samples[i]));
        if (fwrite(bytes, 2, n, w->file.f) != n) return w->failed = true, false;
        samples += n;
        count -= n;
        w->samples += static_cast<uint32_t>(n);
    }
    return true;
}

bool wav_finish(wav_writer* w, std::string* err) {
    if (w->failed || ferror(w->file.f)) {
        *err = describe("cannot write", w->file.path, errno ? errno : EIO);
        wav_abort(w);
        return false;
    }
    uint8_t header[kWavHeaderSize];
    wav_header(header, w->samples);
    // A pipe cannot seek back: its reader keeps the "unknown length" header.
    if (fseek(w->file.f, 0, SEEK_SET) == 0) {
        if (fwrite(header, 1, sizeof header, w->file.f) != sizeof header) {
            *err = describe("cannot write", w->file.path, errno);
            wav_abort(w);
            return false;
        }
    } else if (!w->file.direct) {
        *err = describe("cannot write", w->file.path, errno);
        wav_abort(w);
        return false;
    }
    return out_commit(&w->file, err);
}

void wav_abort(wav_writer* w) {
    out_abort(&w->file);
}
