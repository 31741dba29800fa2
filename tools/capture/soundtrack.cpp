// soundtrack.cpp: keeps the mixer's samples until the captured frames that own them are known.
// Main thread (the offline driver calls the mixer there too).
#include "soundtrack.h"

#include "output.h"

#include <algorithm>

namespace {

// Writes what is decided: samples in [start, until) go to the sink, everything below the end of the
// decided part is dropped. Before the first captured frame, samples below `until` (the end of the
// frames already passed over) can never be needed.
bool flush(soundtrack* st) {
    int64_t decided = st->over ? st->received : std::min(st->received, st->until);
    if (st->start >= 0 && !st->failed) {
        int64_t from = std::max(st->base, st->start);
        int64_t to = std::min(decided, st->until);
        if (to > from) {
            const int16_t* p = st->pending.data() + (from - st->base);
            if (!st->sink(p, static_cast<size_t>(to - from), st->ctx)) st->failed = true;
            st->written += to - from;
        }
    }
    if (decided > st->base) {
        st->pending.erase(st->pending.begin(), st->pending.begin() + (decided - st->base));
        st->base = decided;
    }
    return !st->failed;
}

} // namespace

int64_t frame_sample(int64_t frame, int fps) {
    return frame * kSampleRate / fps;
}

void st_init(soundtrack* st, int fps, sample_sink sink, void* ctx) {
    *st = soundtrack{};
    st->fps = fps;
    st->sink = sink;
    st->ctx = ctx;
    st->pending.reserve(1 << 16);
}

bool st_audio(soundtrack* st, const int16_t* samples, size_t count) {
    st->pending.insert(st->pending.end(), samples, samples + count);
    st->received += static_cast<int64_t>(count);
    return flush(st);
}

bool st_frame(soundtrack* st, int64_t frame, bool captured) {
    if (captured) {
        if (st->start < 0) st->start = frame_sample(frame, st->fps);
        st->until = frame_sample(frame + 1, st->fps);
    } else if (st->start < 0) {
        st->until = frame_sample(frame + 1, st->fps);
    } else {
        st->over = true; // after the capture: nothing more is owned
    }
    return flush(st);
}

bool st_finish(soundtrack* st, int64_t* padded) {
    int64_t missing = st->start >= 0 ? st->until - std::max(st->received, st->start) : 0;
    if (missing > 0) {
        static const int16_t silence[1024] = {};
        int64_t left = missing;
        while (left > 0 && !st->failed) {
            size_t n = static_cast<size_t>(std::min<int64_t>(left, 1024));
            if (!st->sink(silence, n, st->ctx)) st->failed = true;
            st->written += static_cast<int64_t>(n);
            left -= static_cast<int64_t>(n);
        }
    }
    if (padded) *padded = std::max<int64_t>(missing, 0);
    return !st->failed;
}
