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

// Mixing runs in two passes. First each voice's sample bytes are gathered in play order into a lane
// (stepping, the loop and the end rules); then the lanes are weighted by their gains and summed, two at
// a time, the last two together with the output's clamp. The sums are exact integers, so the order in
// which voices are added does not matter.
static int16_t mix_lanes[2][mix_buffer_samples];

// The gathering loops work on the position and step as one 64-bit number (integer part in the high word):
// adding the steps that way gives exactly the 32-bit fraction addition with its carry. They run in
// stretches that cannot reach the end of the data or the loop, so the inner loop carries no test; one
// step at the edge then does the wrap or the end.

// The bytes data[(pos + step) >> 32], data[(pos + 2 step) >> 32]... of a stretch of m steps into out;
// returns the position after them, which stays below 2^64 in a stretch. The byte index and the fraction
// are added separately, the fraction's carry into the index: the same sum as the 64-bit one, and on most
// processors one add-with-carry instead of a shift per byte. Even and odd samples take turns on two
// positions, each advancing by two steps, so that the additions of neighbouring samples do not wait for
// each other.
struct mix_cursor {
    uint64_t index;
    uint32_t frac;
    void advance(uint64_t step_index, uint32_t step_frac) {
        const uint32_t next = frac + step_frac;
        index += step_index + (next < frac);
        frac = next;
    }
};

static uint64_t mix_gather(const int8_t* data, uint64_t pos, uint64_t step, int16_t* out, int m) {
    const uint64_t pos1 = pos + step, step2 = 2 * step;
    mix_cursor even{pos1 >> 32, static_cast<uint32_t>(pos1)};
    mix_cursor odd{(pos1 + step) >> 32, static_cast<uint32_t>(pos1 + step)};
    const uint64_t step2_index = step2 >> 32;
    const uint32_t step2_frac = static_cast<uint32_t>(step2);
    int k = 0;
#pragma GCC unroll 4
    for (; k + 2 <= m; k += 2) {
        out[k] = data[even.index];
        out[k + 1] = data[odd.index];
        even.advance(step2_index, step2_frac);
        odd.advance(step2_index, step2_frac);
    }
    if (k < m) out[k] = data[even.index];
    return pos + static_cast<uint64_t>(m) * step;
}

#if defined(__SSE2__) || defined(__ARM_NEON)
using mix_words = int16_t __attribute__((vector_size(16)));

// Every signed byte value repeated over 8 words: a run's store pattern in one load.
struct mix_splat_table {
    int16_t words[256][8];
    constexpr mix_splat_table() : words() {
        for (int b = 0; b < 256; b++)
            for (int i = 0; i < 8; i++) words[b][i] = static_cast<int16_t>(b < 128 ? b : b - 256);
    }
};
static constexpr mix_splat_table mix_splat;

// A stretch (as below) whose step is a fraction of a byte with 4 <= q = 2^32 / step < 16 (the lower
// notes): every byte is read by a run of q or q + 1 samples, written with two 8-sample stores that later
// runs overwrite. A run starts where the fraction has just carried, below the step; it is q + 1 samples
// long unless q steps from its start already carry.
static uint64_t mix_runs(const int8_t* data, uint64_t pos, uint32_t step, int16_t* out, int m) {
    const uint32_t q = static_cast<uint32_t>((uint64_t{1} << 32) / step);
    const uint64_t q_steps = uint64_t{q} * step;
    uint64_t p = pos + step; // the next sample's position
    int k = 0;
    for (; k < m && static_cast<uint32_t>(p) >= step; k++, p += step) out[k] = data[p >> 32];
    const uint8_t* src = reinterpret_cast<const uint8_t*>(data) + (p >> 32);
    uint32_t frac = static_cast<uint32_t>(p);
    // A run is q long when frac >= threshold; either way the fraction grows by the run's steps mod 2^32.
    const uint32_t threshold = static_cast<uint32_t>((uint64_t{1} << 32) - q_steps);
    const uint32_t grow_short = static_cast<uint32_t>(q_steps), grow_long = grow_short + step;
    for (; k + 16 <= m; src++) {
        mix_words w;
        std::memcpy(&w, mix_splat.words[*src], sizeof w);
        std::memcpy(out + k, &w, sizeof w);
        std::memcpy(out + k + 8, &w, sizeof w);
        const bool early = frac >= threshold;
        k += static_cast<int>(early ? q : q + 1);
        frac += early ? grow_short : grow_long;
    }
    p = static_cast<uint64_t>(src - reinterpret_cast<const uint8_t*>(data)) << 32 | frac;
    return mix_gather(data, p - step, step, out + k, m - k);
}
#endif

static uint64_t mix_stretch(const int8_t* data, uint64_t pos, uint64_t step, int16_t* out, int m) {
#if defined(__SSE2__) || defined(__ARM_NEON)
    const uint32_t step_frac = static_cast<uint32_t>(step);
    if (step >> 32 == 0 && step_frac > 1u << 28 && step_frac <= 1u << 30)
        return mix_runs(data, pos, step_frac, out, m);
#endif
    return mix_gather(data, pos, step, out, m);
}

// How many steps fit in a distance: floor(d / step), or `most` when more fit (or the step is 0). One
// division per voice and call gives the reciprocal; a stretch then costs two multiplications instead of
// a 64-bit division, which is slow on most processors and a library call on 32-bit ones.
struct mix_steps {
    uint64_t step, inverse;
    explicit mix_steps(uint64_t s) : step(s), inverse(s != 0 ? ~uint64_t{0} / s : 0) {}
    int fit(uint64_t d, int most) const {
        if (step == 0) return most;
        // inverse <= 2^64 / step < inverse + 1, so the estimate is the quotient or one less.
        uint64_t q = mulhi(d, inverse);
        if (d - q * step >= step) q++;
        return q < static_cast<uint64_t>(most) ? static_cast<int>(q) : most;
    }
    static uint64_t mulhi(uint64_t a, uint64_t b) {
#ifdef __SIZEOF_INT128__
        return static_cast<uint64_t>((static_cast<unsigned __int128>(a) * b) >> 64);
#else
        const uint64_t al = a & 0xFFFFFFFFu, ah = a >> 32, bl = b & 0xFFFFFFFFu, bh = b >> 32;
        const uint64_t mid = (al * bl >> 32) + (al * bh & 0xFFFFFFFFu) + (ah * bl & 0xFFFFFFFFu);
        return ah * bh + (al * bh >> 32) + (ah * bl >> 32) + (mid >> 32);
#endif
    }
};

// A short loop, played from inside at less than a byte a step: every step moves on by 0 or 1 bytes, so
// passing the loop end lands exactly on the restart byte and the loop's bytes simply repeat with period
// loopend - restart + 1. Laid out end to end for the bytes this call moves over, they are read with no
// wrap at all. False (nothing done) when the voice is not such a case or wraps less than once a call.
constexpr uint32_t mix_short_period = 1024;
static int8_t mix_unrolled[mix_short_period + mix_buffer_samples + 2];

static bool mix_short_loop(mix_channel& v, int16_t* out, int n, uint32_t restart) {
    const uint32_t posint = v.posint, loopend = v.loopend;
    if (v.stepint != 0 || v.stepfrac == 0 || posint < restart || posint > loopend) return false;
    const uint32_t period = loopend - restart + 1;
    const uint64_t travel = (static_cast<uint64_t>(v.stepfrac) * static_cast<uint32_t>(n)) >> 32;
    if (period > mix_short_period || travel < period) return false;
    // Bytes of virtual positions 0 .. at + travel + 1, position i standing for restart + i % period.
    const uint32_t at = posint - restart;
    const size_t size = at + travel + 2;
    for (uint32_t i = 0; i < period; i++) {
        const uint32_t p = restart + i;
        mix_unrolled[i] = v.data[p < v.length ? p : v.loopstart];
    }
    for (size_t have = period; have < size; have *= 2)
        std::memcpy(mix_unrolled + have, mix_unrolled, std::min(have, size - have));
    const uint64_t end =
        mix_stretch(mix_unrolled, static_cast<uint64_t>(at) << 32 | v.posfrac, v.stepfrac, out, n);
    v.posint = restart + static_cast<uint32_t>((end >> 32) % period);
    v.posfrac = static_cast<uint32_t>(end);
    return true;
}

// n bytes of a looping voice. Past loopend the position continues at loopstart + 1 (the overshoot is
// dropped, the fraction kept). The byte at the loop end is played; when the loop ends at the very end of
// the data, the byte at the loop start stands in for it.
static void mix_looped(mix_channel& v, int16_t* out, int n) {
    const int8_t* data = v.data;
    uint64_t pos = static_cast<uint64_t>(v.posint) << 32 | v.posfrac;
    const uint64_t step = static_cast<uint64_t>(v.stepint) << 32 | v.stepfrac;
    const uint32_t loopstart = v.loopstart, loopend = v.loopend, length = v.length;
    const uint32_t restart = loopstart + 1 < length ? loopstart + 1 : loopstart;
    if (mix_short_loop(v, out, n, restart)) return;
    // Positions below this are read directly and cannot have passed the loop end.
    const uint64_t safe = static_cast<uint64_t>(loopend < length ? loopend + 1 : length) << 32;
    // A loop reaching past the data: positions from its end up to the last one of the loop end's byte
    // all play the byte at the loop start.
    const bool past_data = loopend >= length;
    const uint64_t past_last = static_cast<uint64_t>(loopend) << 32 | 0xFFFFFFFFu;
    const mix_steps steps(step);
    int k = 0;
    while (k < n) {
        if (pos < safe) {
            const int m = steps.fit(safe - 1 - pos, n - k); // steps that stay below safe
            pos = mix_stretch(data, pos, step, out + k, m);
            k += m;
            if (k == n) break;
        } else if (past_data && pos <= past_last) {
            const int m = steps.fit(past_last - pos, n - k);
            std::fill(out + k, out + k + m, static_cast<int16_t>(data[loopstart]));
            pos += static_cast<uint64_t>(m) * step;
            k += m;
            if (k == n) break;
        }
        pos += step;
        uint32_t posint = static_cast<uint32_t>(pos >> 32);
        if (posint > loopend) {
            posint = restart;
            pos = static_cast<uint64_t>(posint) << 32 | (pos & 0xFFFFFFFFu);
        }
        out[k++] = data[posint < length ? posint : loopstart];
    }
    v.posint = static_cast<uint32_t>(pos >> 32);
    v.posfrac = static_cast<uint32_t>(pos);
}

// n bytes of a one-shot voice; at the end of the data the voice stops (byte position, step and volume 0;
// the fraction of the step that reached the end stays) and goes on giving its first byte, as the settings
// will give its volume back at the next call.
static void mix_oneshot(mix_channel& v, int16_t* out, int n) {
    const int8_t* data = v.data;
    uint64_t pos = static_cast<uint64_t>(v.posint) << 32 | v.posfrac;
    const uint64_t step = static_cast<uint64_t>(v.stepint) << 32 | v.stepfrac;
    const uint64_t end = static_cast<uint64_t>(v.length) << 32;
    int k = 0;
    if (pos < end) {
        const int m = mix_steps(step).fit(end - 1 - pos, n);
        pos = mix_stretch(data, pos, step, out, m);
        k = m;
    }
    if (k < n) {
        // The next step reaches the end: the voice stops at byte 0, keeping the fraction.
        pos = (pos + step) & 0xFFFFFFFFu;
        v.stepint = v.stepfrac = 0;
        v.volume = 0;
        std::fill(out + k, out + n, static_cast<int16_t>(data[0]));
    }
    v.posint = static_cast<uint32_t>(pos >> 32);
    v.posfrac = static_cast<uint32_t>(pos);
}

// The weighted sum of two lanes: a[k] * ga + b[k] * gb, plus acc[k] when acc is given.
#if defined(__SSE2__) && !defined(SHORELINE_NO_SIMD)
// Eight sums at a time, handed to put(k, lo, hi) as two vectors of four: the lanes' words interleaved
// (a, b) and multiplied by (ga, gb) with pmaddwd, exact in 32 bits. Gains fit 16 bits in normal use (at
// most 510); larger ones, possible through the driver calls, are left to the plain loop. Returns the
// number of sums done.
template <class Put>
static int mix_pairs(const int16_t* a, int32_t ga, const int16_t* b, int32_t gb, const int32_t* acc, int n,
                     Put put) {
    if (ga > 32767 || gb > 32767) return 0;
    const __m128i gains = _mm_set1_epi32(gb << 16 | ga);
    int k = 0;
    for (; k + 8 <= n; k += 8) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + k));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + k));
        __m128i lo = _mm_madd_epi16(_mm_unpacklo_epi16(va, vb), gains);
        __m128i hi = _mm_madd_epi16(_mm_unpackhi_epi16(va, vb), gains);
        if (acc) {
            lo = _mm_add_epi32(lo, _mm_loadu_si128(reinterpret_cast<const __m128i*>(acc + k)));
            hi = _mm_add_epi32(hi, _mm_loadu_si128(reinterpret_cast<const __m128i*>(acc + k + 4)));
        }
        put(k, lo, hi);
    }
    return k;
}
#endif

// acc[k] = (add ? acc[k] : 0) + a[k] * ga + b[k] * gb
static void mix_sum(int32_t* acc, bool add, const int16_t* a, int32_t ga, const int16_t* b, int32_t gb,
                    int n) {
    int k = 0;
#if defined(__SSE2__) && !defined(SHORELINE_NO_SIMD)
    k = mix_pairs(a, ga, b, gb, add ? acc : nullptr, n, [acc](int at, __m128i lo, __m128i hi) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(acc + at), lo);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(acc + at + 4), hi);
    });
#endif
    for (; k < n; k++) acc[k] = (add ? acc[k] : 0) + a[k] * ga + b[k] * gb;
}

// out[k] = clamp((acc ? acc[k] : 0) + a[k] * ga + b[k] * gb) to 16 bits
static void mix_sum_out(int16_t* out, const int32_t* acc, const int16_t* a, int32_t ga, const int16_t* b,
                        int32_t gb, int n) {
    int k = 0;
#if defined(__SSE2__) && !defined(SHORELINE_NO_SIMD)
    // The saturating pack clamps exactly like the plain loop below.
    k = mix_pairs(a, ga, b, gb, acc, n, [out](int at, __m128i lo, __m128i hi) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at), _mm_packs_epi32(lo, hi));
    });
#endif
    for (; k < n; k++)
        out[k] = static_cast<int16_t>(std::clamp((acc ? acc[k] : 0) + a[k] * ga + b[k] * gb, -32768, 32767));
}

void sd_mix_mono(int16_t* out, int n, int sixteen) {
    n = std::clamp(n, 0, mix_buffer_samples);
    const int channels = std::clamp(sd_mix_numchannels, 0, mix_maxchannels);
    for (int c = 0; c < channels; c++) mix_takeover(c);
    int32_t gains[2] = {0, 0};
    int held = 0;        // lanes gathered and not yet summed
    bool summed = false; // mix_buffer holds the sum of earlier lanes
    for (int c = 0; c < channels; c++) {
        mix_channel& v = mix_voices[c];
        if (v.length == 0 || v.volume == 0 || v.data == nullptr) continue;
        const uint32_t gain = ((v.volume * 255u * static_cast<uint32_t>(sd_mix_mainvolume)) >> 7) / 63u;
        const bool standing = v.stepint == 0 && v.stepfrac == 0 && v.posint < v.length;
        if (standing) {
            // A voice that does not move (an ended one-shot, or period 0) gives a constant. A looping one
            // that stands past its loop end first takes the loop rule like any other position.
            if (v.looped && v.posint > v.loopend)
                v.posint = v.loopstart + 1 < v.length ? v.loopstart + 1 : v.loopstart;
            if (v.data[v.posint] == 0 || gain == 0) continue;
        }
        if (held == 2) {
            mix_sum(mix_buffer, summed, mix_lanes[0], gains[0], mix_lanes[1], gains[1], n);
            summed = true;
            held = 0;
        }
        int16_t* lane = mix_lanes[held];
        if (standing)
            std::fill(lane, lane + n, static_cast<int16_t>(v.data[v.posint]));
        else if (v.looped)
            mix_looped(v, lane, n);
        else
            mix_oneshot(v, lane, n);
        gains[held++] = static_cast<int32_t>(gain);
    }
    if (held < 2) gains[1] = 0; // a lane without a voice adds nothing
    if (held < 1) gains[0] = 0;
    if (sixteen) {
        mix_sum_out(out, summed ? mix_buffer : nullptr, mix_lanes[0], gains[0], mix_lanes[1], gains[1], n);
    } else {
        // 8-bit unsigned output, kept for completeness: the top byte of the clamped sample.
        mix_sum(mix_buffer, summed, mix_lanes[0], gains[0], mix_lanes[1], gains[1], n);
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
