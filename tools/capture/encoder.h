// encoder.h: PNG frames encoded and written on a second thread, so that the demo draws the next frames
// while the last ones are compressed (encoding costs several times as much as drawing).
//
// USAGE (main thread): encoder_start; encoder_submit per frame (copies it, waits only while every
// slot is taken); encoder_finish waits for the rest and reports the first failure; encoder_abort drops
// what is queued. Each file is written atomically (output.h); the worker thread touches nothing else.
#pragma once
#include "output.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

constexpr int kEncoderSlots = 4;

struct png_encoder {
    struct slot {
        std::vector<uint32_t> frame; // 320x240, allocated at start
        char path[kPathMax];
    };
    slot slots[kEncoderSlots];
    frame_layout layout;
    std::vector<uint8_t> row; // the worker's picture row
    std::thread worker;
    std::mutex lock;
    std::condition_variable work, space;
    int head = 0, queued = 0; // slots[head] is the oldest queued frame
    bool stopping = false, dropping = false, failed = false;
    std::string error;
};

bool encoder_start(png_encoder* e, const frame_layout& layout);
// False (nothing queued) once a frame has failed; the caller then ends the capture.
bool encoder_submit(png_encoder* e, const uint32_t* frame, const char* path);
// Waits for every queued frame; false with the first failure's message.
bool encoder_finish(png_encoder* e, std::string* err);
void encoder_abort(png_encoder* e);
