// output.cpp: atomic output files, the PNG encoder (libpng) and the streaming WAV writer of `capture`.
// All run on the main thread, between frames of the offline demo.
#include "output.h"

#include <atomic>
#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

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

bool temp_name_for(const char* final_path, char* dst, size_t size) {
    static std::atomic<unsigned> serial{0}; // the PNG writer thread names files too
    const char* slash = strrchr(final_path, '/');
    int dir_len = slash ? static_cast<int>(slash - final_path + 1) : 0;
    const char* base = final_path + dir_len;
    int n = snprintf(dst, size, "%.*s.tmp-%ld-%u.%s", dir_len, final_path, static_cast<long>(getpid()),
                     ++serial, base);
    return n > 0 && static_cast<size_t>(n) < size;
}

bool make_parent_folders(const char* path, std::string* err) {
    char folder[kPathMax];
    const char* slash = strrchr(path, '/');
    if (!slash || slash == path) return true;
    const size_t len = static_cast<size_t>(slash - path);
    if (len >= sizeof folder) {
        *err = std::string("output name too long: '") + path + "'";
        return false;
    }
    memcpy(folder, path, len);
    folder[len] = '\0';
    // As mkdir -p: every prefix that ends before a '/', then the folder itself.
    for (size_t i = 1; i <= len; ++i) {
        if (i < len && folder[i] != '/') continue;
        folder[i] = '\0';
        struct stat st;
        if (stat(folder, &st) != 0 && mkdir(folder, 0777) != 0 && errno != EEXIST) {
            *err = describe("cannot create folder", folder, errno);
            return false;
        }
        if (i < len) folder[i] = '/';
    }
    return true;
}

bool out_open(out_file* of, const char* path, std::string* err) {
    *of = out_file{};
    if (strlen(path) >= sizeof of->path) {
        *err = std::string("output name too long: '") + path + "'";
        return false;
    }
    snprintf(of->path, sizeof of->path, "%s", path);
    struct stat st;
    if (stat(path, &st) == 0 && S_ISDIR(st.st_mode)) {
        *err = std::string("'") + path + "' is a folder";
        return false;
    }
    if (stat(path, &st) == 0 && !S_ISREG(st.st_mode)) {
        of->direct = true;
        of->f = fopen(path, "wbe");
        if (!of->f) {
            *err = describe("cannot write", path, errno);
            return false;
        }
        return true;
    }
    if (!temp_name_for(path, of->temp, sizeof of->temp)) {
        *err = std::string("output name too long: '") + path + "'";
        return false;
    }
    if (!make_parent_folders(path, err)) {
        of->temp[0] = '\0';
        return false;
    }
    int fd = open(of->temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        *err = describe("cannot create", path, errno);
        of->temp[0] = '\0';
        return false;
    }
    of->f = fdopen(fd, "wb");
    if (!of->f) {
        *err = describe("cannot create", path, errno);
        close(fd);
        unlink(of->temp);
        of->temp[0] = '\0';
        return false;
    }
    return true;
}

bool out_commit(out_file* of, std::string* err) {
    bool ok = fflush(of->f) == 0 && !ferror(of->f);
    int error = errno;
    if (fclose(of->f) != 0 && ok) ok = false, error = errno;
    of->f = nullptr;
    if (!ok) {
        *err = describe("cannot write", of->path, error);
        if (!of->direct) unlink(of->temp);
        of->temp[0] = '\0';
        return false;
    }
    if (of->direct) return true;
    bool renamed = commit_temp(of->temp, of->path, err);
    of->temp[0] = '\0';
    return renamed;
}

void out_abort(out_file* of) {
    if (of->f) fclose(of->f);
    of->f = nullptr;
    if (!of->direct && of->temp[0]) unlink(of->temp);
    of->temp[0] = '\0';
}

bool commit_temp(const char* temp, const char* final_path, std::string* err) {
    if (rename(temp, final_path) != 0) {
        *err = describe("cannot create", final_path, errno);
        unlink(temp);
        return false;
    }
    return true;
}

void scale_row_rgb(const uint32_t* src_row, int scale, uint8_t* dst) {
    for (int x = 0; x < kFrameW; ++x) {
        uint32_t c = src_row[x];
        for (int i = 0; i < scale; ++i) {
            *dst++ = static_cast<uint8_t>(c >> 16);
            *dst++ = static_cast<uint8_t>(c >> 8);
            *dst++ = static_cast<uint8_t>(c);
        }
    }
}

bool write_png(FILE* f, const uint32_t* frame, int scale, uint8_t* row, std::string* err) {
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
    // Fast settings: these frames are large flat areas, which the Sub filter and level 1 handle well.
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_IHDR(png, info, kFrameW * scale, kFrameH * scale, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < kFrameH; ++y) {
        scale_row_rgb(frame + y * kFrameW, scale, row);
        for (int i = 0; i < scale; ++i) png_write_row(png, row);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
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
