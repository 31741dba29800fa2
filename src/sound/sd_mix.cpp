// sd_mix.cpp: the software mixer and the audio callback mix_newhand.
//
// Mixes up to 32 channels of signed 8-bit samples into mono signed 16-bit output. Play positions and
// steps are 32.32 fixed point in bytes. The driver routines write mix_channels (the settings); every
// mixing call takes them over into mix_voices, keeping a voice's position and step unless new ones were
// written. Runs on the audio thread once the device is unpaused; set-up calls come while it is paused.
#include "sound_internal.h"

#include <algorithm>
#include <cstring>
#if defined(__SSE2__) && !defined(SHORELINE_NO_SIMD)
#include <emmintrin.h>
#endif

mix_sample mix_samples[mix_maxsamples];
mix_channel mix_channels[mix_maxchannels];
mix_channel mix_voices[mix_maxchannels];
mix_channel* mix_current = &mix_channels[0];
int sd_mix_rate = 44100;
int sd_mix_numchannels = 4;
int sd_mix_mainvolume = 63;
int32_t mix_buffer[mix_buffer_samples];
int mix_filled = 0;
int mix_pending = 0;

constexpr double mix_paulaclock = 3546836.0; // Amiga period clock: period p plays 3546836 / p bytes per s
constexpr int mix_min_tickrate = 22;         // a tick must fit in one 2048-sample buffer

void sd_mix_init(int rate) {
    sd_mix_rate = rate;
    for (int c = 0; c < mix_maxchannels; c++) {
        for (mix_channel* ch : {&mix_channels[c], &mix_voices[c]}) {
            *ch = mix_channel{};
            ch->panning = 127;
            ch->newstep = 1;
            ch->newpos = 1;
        }
    }
    for (mix_sample& s : mix_samples) s = mix_sample{};
    mix_current = &mix_channels[0];
    // A new run starts with a whole tick: nothing of an earlier run's last tick is carried over.
    mix_filled = 0;
    mix_pending = 0;
}

void sd_mix_setfunctions() {
    sd_getsample = sd_mix_getsample;
    sd_selectchannel = sd_mix_selectchannel;
    sd_setsample = sd_mix_setsample;
    sd_setamigaperiod = sd_mix_setamigaperiod;
    sd_setvolume = sd_mix_setvolume;
    sd_setpanning = sd_mix_setpanning;
    sd_setoffset = sd_mix_setoffset;
    sd_setmainvolume = sd_mix_setmainvolume;
    sd_setactivechannels = sd_mix_setactivechannels;
}

int sd_mix_getsample(int slot, const int8_t* data, uint32_t length, uint32_t loopstart, uint32_t loopend,
                     int looped) {
    if (static_cast<unsigned>(slot) >= mix_maxsamples) return 0;
    mix_sample& s = mix_samples[slot];
    s.data = data;
    s.length = length;
    s.loopstart = loopstart;
    s.loopend = loopend;
    s.looped = looped;
    return 1;
}

void sd_mix_selectchannel(int channel) {
    if (static_cast<unsigned>(channel) < mix_maxchannels) mix_current = &mix_channels[channel];
}

void sd_mix_setsample(int slot) {
    if (static_cast<unsigned>(slot) >= mix_maxsamples) return;
    const mix_sample& s = mix_samples[slot];
    mix_current->data = s.data;
    mix_current->length = s.length;
    mix_current->loopstart = s.loopstart;
    mix_current->loopend = s.loopend;
    mix_current->looped = static_cast<uint32_t>(s.looped);
    mix_current->sample = static_cast<uint32_t>(slot);
}

void sd_mix_setvolume(int volume) {
    mix_current->volume = static_cast<uint32_t>(volume);
}

void sd_mix_setpanning(int panning) {
    mix_current->panning = static_cast<uint32_t>(panning);
}

void sd_mix_setoffset(uint32_t offset) {
    if (mix_current->loopend < offset) mix_current->looped = 0; // starts past the loop: play once
    if (offset < mix_current->length) {
        mix_current->posint = offset;
        mix_current->posfrac = 0;
        mix_current->newpos = 1;
    }
}

void sd_mix_setamigaperiod(int period) {
    if (period <= 0) {
        mix_current->stepint = 0;
        mix_current->stepfrac = 0;
    } else {
        const uint32_t p = static_cast<uint32_t>(period);
        const uint32_t rate = static_cast<uint32_t>(sd_mix_rate);
        mix_current->stepint = (3546836u / p) / rate;
        const double step = mix_paulaclock / (static_cast<double>(p) * static_cast<double>(rate));
        const double frac = step - static_cast<double>(static_cast<uint32_t>(step));
        mix_current->stepfrac = static_cast<uint32_t>(frac * 16777216.0) << 8;
    }
    mix_current->newstep = 1;
}

void sd_mix_setmainvolume(int volume) {
    sd_mix_mainvolume = volume >= 253 ? 252 : volume;
}

void sd_mix_setactivechannels(int count) {
    sd_mix_numchannels = std::clamp(count, 0, mix_maxchannels);
}

// Takes the settings over into the voice, keeping its position and step unless new ones were written.
static void mix_takeover(int c) {
    mix_channel& set = mix_channels[c];
    mix_channel& v = mix_voices[c];
    const uint32_t posint = v.posint, posfrac = v.posfrac, stepint = v.stepint, stepfrac = v.stepfrac;
    v = set;
    if (set.newpos) {
        set.newpos = 0;
    } else {
        v.posint = posint;
        v.posfrac = posfrac;
    }
    if (set.newstep) {
        set.newstep = 0;
    } else {
        v.stepint = stepint;
        v.stepfrac = stepfrac;
    }
    v.newpos = v.newstep = 0;
}

// The first voice mixed in a call stores into the accumulators, the others add, so that no clearing pass
// is needed.
template <bool First> static inline void mix_put(int32_t& acc, int32_t value) {
    if constexpr (First) {
        acc = value;
    } else {
        acc += value;
    }
}

// The mixing loops work on the position and step as one 64-bit number (integer part in the high word):
// adding the steps that way gives exactly the 32-bit fraction addition with its carry. They run in
// stretches that cannot reach the end of the data or the loop, so the inner loop carries no test; one
// step at the edge then does the wrap or the end.

// Adds n samples of a looping voice. Past loopend the position continues at loopstart + 1 (the overshoot
// is dropped, the fraction kept). The byte at the loop end is played; when the loop ends at the very end
// of the data, the byte at the loop start stands in for it.
template <bool First> static void mix_looped(mix_channel& v, int32_t* acc, int n, int32_t gain) {
    const int8_t* data = v.data;
    uint64_t pos = static_cast<uint64_t>(v.posint) << 32 | v.posfrac;
    const uint64_t step = static_cast<uint64_t>(v.stepint) << 32 | v.stepfrac;
    const uint32_t loopstart = v.loopstart, loopend = v.loopend, length = v.length;
    const uint32_t restart = loopstart + 1 < length ? loopstart + 1 : loopstart;
    // Positions below this are read directly and cannot have passed the loop end.
    const uint64_t safe = static_cast<uint64_t>(loopend < length ? loopend + 1 : length) << 32;
    int k = 0;
    while (k < n) {
        if (pos < safe) {
            int m = n - k;
            if (step != 0) {
                const uint64_t fit = (safe - 1 - pos) / step; // steps that stay below safe
                if (fit < static_cast<uint64_t>(m)) m = static_cast<int>(fit);
            }
            for (int end = k + m; k < end; k++) {
                pos += step;
                mix_put<First>(acc[k], data[pos >> 32] * gain);
            }
            if (k == n) break;
        }
        pos += step;
        uint32_t posint = static_cast<uint32_t>(pos >> 32);
        if (posint > loopend) {
            posint = restart;
            pos = static_cast<uint64_t>(posint) << 32 | (pos & 0xFFFFFFFFu);
        }
        mix_put<First>(acc[k++], data[posint < length ? posint : loopstart] * gain);
    }
    v.posint = static_cast<uint32_t>(pos >> 32);
    v.posfrac = static_cast<uint32_t>(pos);
}

// Adds n samples of a one-shot voice; at the end of the data the voice stops (byte position, step and volume
// 0; the fraction of the step that reached the end stays) and goes on adding its first byte, as the settings
// will give its volume back at the next call.
template <bool First> static void mix_oneshot(mix_channel& v, int32_t* acc, int n, int32_t gain) {
    const int8_t* data = v.data;
    uint64_t pos = static_cast<uint64_t>(v.posint) << 32 | v.posfrac;
    const uint64_t step = static_cast<uint64_t>(v.stepint) << 32 | v.stepfrac;
    const uint64_t end = static_cast<uint64_t>(v.length) << 32;
    int k = 0;
    if (pos < end) {
        int m = n;
        if (step != 0) {
            const uint64_t fit = (end - 1 - pos) / step;
            if (fit < static_cast<uint64_t>(m)) m = static_cast<int>(fit);
        }
        for (; k < m; k++) {
            pos += step;
            mix_put<First>(acc[k], data[pos >> 32] * gain);
        }
    }
    if (k < n) {
        // The next step reaches the end: the voice stops at byte 0, keeping the fraction.
        pos = (pos + step) & 0xFFFFFFFFu;
        v.stepint = v.stepfrac = 0;
        v.volume = 0;
        const int32_t first = data[0] * gain;
        for (; k < n; k++) mix_put<First>(acc[k], first);
    }
    v.posint = static_cast<uint32_t>(pos >> 32);
    v.posfrac = static_cast<uint32_t>(pos);
}

void sd_mix_mono(int16_t* out, int n, int sixteen) {
    n = std::clamp(n, 0, mix_buffer_samples);
    const int channels = std::clamp(sd_mix_numchannels, 0, mix_maxchannels);
    for (int c = 0; c < channels; c++) mix_takeover(c);
    bool first = true;
    for (int c = 0; c < channels; c++) {
        mix_channel& v = mix_voices[c];
        if (v.length == 0 || v.volume == 0 || v.data == nullptr) continue;
        const uint32_t gain = ((v.volume * 255u * static_cast<uint32_t>(sd_mix_mainvolume)) >> 7) / 63u;
        const int32_t g = static_cast<int32_t>(gain);
        if (v.stepint == 0 && v.stepfrac == 0 && v.posint < v.length) {
            // A voice that does not move (an ended one-shot, or period 0) adds a constant. A looping one
            // that stands past its loop end first takes the loop rule like any other position.
            if (v.looped && v.posint > v.loopend)
                v.posint = v.loopstart + 1 < v.length ? v.loopstart + 1 : v.loopstart;
            const int32_t level = v.data[v.posint] * g;
            if (level == 0) continue;
            if (first) {
                for (int k = 0; k < n; k++) mix_buffer[k] = level;
            } else {
                for (int k = 0; k < n; k++) mix_buffer[k] += level;
            }
        } else if (v.looped) {
            first ? mix_looped<true>(v, mix_buffer, n, g) : mix_looped<false>(v, mix_buffer, n, g);
        } else {
            first ? mix_oneshot<true>(v, mix_buffer, n, g) : mix_oneshot<false>(v, mix_buffer, n, g);
        }
        first = false;
    }
    if (first) std::memset(mix_buffer, 0, sizeof(int32_t) * static_cast<size_t>(n)); // nothing was mixed
    if (sixteen) {
        int k = 0;
#if defined(__SSE2__) && !defined(SHORELINE_NO_SIMD)
        // The saturating pack clamps exactly like the scalar loop below.
        for (; k + 8 <= n; k += 8) {
            const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mix_buffer + k));
            const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mix_buffer + k + 4));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), _mm_packs_epi32(lo, hi));
        }
#endif
        for (; k < n; k++) out[k] = static_cast<int16_t>(std::clamp(mix_buffer[k], -32768, 32767));
    } else {
        // 8-bit unsigned output, kept for completeness: the top byte of the clamped sample.
        uint8_t* out8 = reinterpret_cast<uint8_t*>(out);
        for (int k = 0; k < n; k++) {
            out8[k] = static_cast<uint8_t>((std::clamp(mix_buffer[k], -32768, 32767) >> 8) + 128);
        }
    }
}

int mix_ticklength() {
    return 44100 / std::max(mzx_tickrate, mix_min_tickrate);
}

void mix_newhand(void*, uint8_t* stream, int len) {
    int16_t* out = reinterpret_cast<int16_t*>(stream);
    const int total = std::max(len, 0) / 2;
    const int tick = mix_ticklength();
    mix_filled = 0;
    if (mix_pending != 0) {
        // The rest of the tick begun in the previous buffer.
        const int n = std::min(mix_pending, total);
        sd_mix_mono(out, n, 1);
        mix_filled = n;
        if (n < mix_pending) { // only when a buffer is shorter than a tick
            mix_pending -= n;
            return;
        }
    }
    while (mix_filled + tick <= total) {
        pt_play();
        sd_mix_mono(out + mix_filled, tick, 1);
        mix_filled += tick;
    }
    mix_pending = total - mix_filled;
    pt_play();
    sd_mix_mono(out + mix_filled, mix_pending, 1);
    mix_pending = mix_filled + tick - total;
}
