// video.cpp: runs ffmpeg for `capture` (main thread): raw 0x00RRGGBB frames down a pipe, then a second
// run that adds the soundtrack.
#include "video.h"

#include "output.h"

#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <strings.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// Frame words in memory order: B, G, R, 0 on little-endian machines.
constexpr const char* kPixelFormat = std::endian::native == std::endian::little ? "bgr0" : "0rgb";

// Containers whose usual players want 4:2:0 chroma; scaled frames keep it nearly lossless.
bool wants_yuv420(const char* out) {
    const char* dot = strrchr(out, '.');
    if (!dot) return false;
    for (const char* ext : {".mp4", ".m4v", ".mov", ".mkv", ".webm", ".avi"})
        if (strcasecmp(dot, ext) == 0) return true;
    return false;
}

void free_rows(video_pipe* v) {
    free(v->row);
    free(v->black);
    v->row = v->black = nullptr;
}

} // namespace

pid_t spawn_program(char* const argv[], FILE** to_stdin, std::string* err) {
    int fds[2] = {-1, -1};
    if (to_stdin && pipe2(fds, O_CLOEXEC) != 0) {
        *err = std::string("cannot make a pipe: ") + strerror(errno);
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (to_stdin)
        posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    else
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (to_stdin) close(fds[0]);
    if (rc != 0) {
        if (to_stdin) close(fds[1]);
        if (rc == ENOENT)
            *err = std::string("cannot find '") + argv[0] +
                   "': videos need ffmpeg (install it, or give its path with --ffmpeg=PROG); a PNG "
                   "sequence and a WAV need nothing else";
        else
            *err = std::string("cannot run '") + argv[0] + "': " + strerror(rc);
        return -1;
    }
    if (to_stdin) {
        *to_stdin = fdopen(fds[1], "wb");
        if (!*to_stdin) {
            *err = std::string("cannot open the pipe to '") + argv[0] + "': " + strerror(errno);
            close(fds[1]);
            wait_program(pid, argv[0], err);
            return -1;
        }
    }
    return pid;
}

bool wait_program(pid_t pid, const char* name, std::string* err) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            *err = std::string("lost track of '") + name + "': " + strerror(errno);
            return false;
        }
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    if (WIFEXITED(status))
        *err = std::string("'") + name + "' failed with status " + std::to_string(WEXITSTATUS(status));
    else
        *err = std::string("'") + name + "' was killed by signal " + std::to_string(WTERMSIG(status));
    return false;
}

bool video_open(video_pipe* v, const char* ffmpeg, const char* out, const frame_layout& layout, int fps,
                std::string* err) {
    *v = video_pipe{};
    v->layout = layout;
    std::string size = std::to_string(layout.width) + "x" + std::to_string(layout.height);
    std::string rate = std::to_string(fps);
    const char* args[32];
    int n = 0;
    for (const char* a :
         {ffmpeg, "-hide_banner", "-loglevel", "error", "-y", "-f", "rawvideo", "-pix_fmt", kPixelFormat,
          "-video_size", size.c_str(), "-framerate", rate.c_str(), "-i", "pipe:0"})
        args[n++] = a;
    if (wants_yuv420(out)) args[n++] = "-pix_fmt", args[n++] = "yuv420p";
    args[n++] = out;
    args[n] = nullptr;
    v->row = static_cast<uint32_t*>(calloc(layout.width, sizeof(uint32_t)));
    v->black = static_cast<uint32_t*>(calloc(layout.width, sizeof(uint32_t)));
    if (!v->row || !v->black) {
        free_rows(v);
        *err = "out of memory";
        return false;
    }
    v->pid = spawn_program(const_cast<char* const*>(args), &v->in, err);
    if (v->pid < 0) {
        free_rows(v);
        return false;
    }
    return true;
}

bool video_write(video_pipe* v, const uint32_t* frame, std::string* err) {
    const frame_layout& l = v->layout;
    const size_t width = static_cast<size_t>(l.width);
    auto put = [&](const uint32_t* row) {
        if (fwrite(row, sizeof *row, width, v->in) == width) return true;
        if (errno == EPIPE)
            *err = "ffmpeg ended before the last frame (its own message, if any, is above)";
        else
            *err = std::string("cannot send frames to ffmpeg: ") + strerror(errno);
        return false;
    };
    for (int y = 0; y < l.top; ++y)
        if (!put(v->black)) return false;
    for (int y = 0; y < kScreenH; ++y) {
        const uint32_t* src = frame + y * kScreenW;
        const uint32_t* row = src;
        if (l.scale > 1 || l.width != kScreenW) {
            uint32_t* dst = v->row + l.left;
            for (int x = 0; x < kScreenW; ++x)
                for (int i = 0; i < l.scale; ++i) *dst++ = src[x];
            row = v->row;
        }
        for (int i = 0; i < l.scale; ++i)
            if (!put(row)) return false;
    }
    for (int y = l.top + kScreenH * l.scale; y < l.height; ++y)
        if (!put(v->black)) return false;
    return true;
}

bool video_close(video_pipe* v, std::string* err) {
    bool ok = fclose(v->in) == 0;
    if (!ok) *err = std::string("ffmpeg stopped reading frames: ") + strerror(errno);
    v->in = nullptr;
    std::string wait_err;
    if (!wait_program(v->pid, "ffmpeg", &wait_err) && ok) ok = false, *err = wait_err;
    v->pid = -1;
    free_rows(v);
    return ok;
}

void video_abort(video_pipe* v) {
    if (v->in) fclose(v->in);
    v->in = nullptr;
    std::string ignored;
    if (v->pid > 0) wait_program(v->pid, "ffmpeg", &ignored);
    v->pid = -1;
    free_rows(v);
}

bool video_mux(const char* ffmpeg, const char* video, const char* wav, const char* out, std::string* err) {
    const char* args[] = {ffmpeg, "-hide_banner", "-loglevel", "error", "-nostdin", "-y",
                          "-i",   video,          "-i",        wav,     "-map",     "0:v:0",
                          "-map", "1:a:0",        "-c:v",      "copy",  out,        nullptr};
    pid_t pid = spawn_program(const_cast<char* const*>(args), nullptr, err);
    return pid > 0 && wait_program(pid, ffmpeg, err);
}
