// encoder.cpp: the PNG writer thread of `capture`. The main thread fills slots; this thread empties them
// in order. Shared: the slot ring (head, queued) and the failure, all under `lock`.
#include "encoder.h"

#include <cstdio>
#include <cstring>

namespace {

bool encode(png_encoder* e, const png_encoder::slot& s, std::string* err) {
    out_file of;
    if (!out_open(&of, s.path, err)) return false;
    if (!write_png(of.f, s.frame.data(), e->layout, e->row.data(), err)) {
        out_abort(&of);
        *err = std::string("cannot write '") + s.path + "': " + *err;
        return false;
    }
    return out_commit(&of, err);
}

void run_worker(png_encoder* e) {
    std::unique_lock<std::mutex> guard(e->lock);
    for (;;) {
        e->work.wait(guard, [e] { return e->queued > 0 || e->stopping; });
        if (e->queued == 0 || e->dropping) break;
        const png_encoder::slot& s = e->slots[e->head];
        guard.unlock();
        std::string err;
        bool ok = encode(e, s, &err);
        guard.lock();
        if (!ok && !e->failed) e->failed = true, e->error = err;
        e->head = (e->head + 1) % kEncoderSlots;
        --e->queued;
        if (e->failed) e->dropping = true; // nothing after a failure is worth writing
        e->space.notify_one();
    }
    e->queued = 0;
    e->space.notify_one();
}

void stop(png_encoder* e, bool drop) {
    if (!e->worker.joinable()) return;
    {
        std::lock_guard<std::mutex> guard(e->lock);
        e->stopping = true;
        e->dropping = e->dropping || drop;
    }
    e->work.notify_one();
    e->worker.join();
}

} // namespace

bool encoder_start(png_encoder* e, const frame_layout& layout) {
    e->layout = layout;
    e->row.resize(static_cast<size_t>(layout.width) * 3);
    for (auto& s : e->slots) s.frame.resize(static_cast<size_t>(kScreenW) * kScreenH);
    e->worker = std::thread(run_worker, e);
    return true;
}

bool encoder_submit(png_encoder* e, const uint32_t* frame, const char* path) {
    std::unique_lock<std::mutex> guard(e->lock);
    e->space.wait(guard, [e] { return e->queued < kEncoderSlots || e->failed; });
    if (e->failed) return false;
    png_encoder::slot& s = e->slots[(e->head + e->queued) % kEncoderSlots];
    guard.unlock(); // the worker never reads a slot before it is queued
    memcpy(s.frame.data(), frame, s.frame.size() * sizeof(uint32_t));
    snprintf(s.path, sizeof s.path, "%s", path);
    guard.lock();
    ++e->queued;
    e->work.notify_one();
    return true;
}

bool encoder_finish(png_encoder* e, std::string* err) {
    stop(e, false);
    if (e->failed) *err = e->error;
    return !e->failed;
}

void encoder_abort(png_encoder* e) {
    stop(e, true);
}
