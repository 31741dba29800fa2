// video.h: frames to a video file through ffmpeg, found at run time in PATH (or given by --ffmpeg).
//
// USAGE: video_open() starts ffmpeg reading raw frames from a pipe into a temporary video file;
// video_write() per frame; video_close() waits for it. video_mux() then joins that picture with a
// finished WAV soundtrack into the final container (picture copied, sound encoded). ffmpeg is run
// directly (no shell), so no file name is ever interpreted.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <sys/types.h>

#include "output.h"

struct video_pipe {
    pid_t pid = -1;
    FILE* in = nullptr; // ffmpeg's standard input
    frame_layout layout;
    uint32_t* row = nullptr;   // one picture row, layout.width words; its margins stay black
    uint32_t* black = nullptr; // a black row of as many
};

// Starts ffmpeg encoding pictures of layout.width x layout.height at fps into out (its extension picks
// the container). A missing ffmpeg gives a message that says so.
bool video_open(video_pipe* v, const char* ffmpeg, const char* out, const frame_layout& layout, int fps,
                std::string* err);
bool video_write(video_pipe* v, const uint32_t* frame, std::string* err);
// Closes the pipe and waits for ffmpeg; false unless it exited with status 0.
bool video_close(video_pipe* v, std::string* err);
// Kills nothing: closes the pipe (ffmpeg sees the end of its input) and reaps it.
void video_abort(video_pipe* v);

// Writes out from the picture of video and the sound of wav.
bool video_mux(const char* ffmpeg, const char* video, const char* wav, const char* out, std::string* err);

// Runs argv (argv[0] looked up in PATH) with standard input from a new pipe if to_stdin is non-null;
// returns its pid or -1 with a message. Exposed for the tests.
pid_t spawn_program(char* const argv[], FILE** to_stdin, std::string* err);
// Waits for pid; true if it exited with status 0, else a message naming the program.
bool wait_program(pid_t pid, const char* name, std::string* err);
