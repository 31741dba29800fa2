// Synthesises the song's nine instruments as signed 8-bit samples.
// Pitched instruments are rendered at the rate at which period 428 (note C-2) plays them, 3546836 / 428 Hz,
// so C-2 sounds their base pitch; drums and the riser at twice that rate, for C-3. Looped instruments are
// additive sums whose partials make a whole number of cycles in the loop, so the loop is seamless; one
// spare word after the loop repeats its start, as the mixer reads the byte at the loop end.
#include "gen_song.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRate = 3546836.0 / 428.0; // playback rate of note C-2
constexpr double kDrumRate = 2.0 * kRate;   // drums are played at C-3
constexpr double kBase = kRate / 32.0;      // pitch of C-2: 32 samples per cycle (about 259 Hz)

// Small deterministic noise source (xorshift32), uniform in [-1, 1).
struct Noise {
    uint32_t state;
    double next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<double>(state) / 2147483648.0 - 1.0;
    }
};

// Scales the float signal to the given peak, rounds to bytes and forces an even length with a silent first
// byte (a one-shot channel that has ended keeps replaying byte 0).
std::vector<int8_t> quantise(std::vector<double> x, double peak) {
    double top = 1e-9;
    for (double v : x) top = std::max(top, std::fabs(v));
    if (x.size() % 2) x.push_back(0.0);
    std::vector<int8_t> out(x.size());
    for (size_t i = 0; i < x.size(); i++) {
        double v = std::round(x[i] / top * peak);
        out[i] = static_cast<int8_t>(std::clamp(v, -127.0, 127.0));
    }
    out[0] = 0;
    return out;
}

// Linear fade over the last `n` samples so a one-shot ends on silence.
void fade_tail(std::vector<double>& x, size_t n) {
    n = std::min(n, x.size());
    for (size_t i = 0; i < n; i++) x[x.size() - 1 - i] *= static_cast<double>(i) / static_cast<double>(n);
}

// Kick drum: a sine falling from about 170 Hz to 48 Hz, slightly saturated.
std::vector<double> kick_body(size_t n, double rate) {
    std::vector<double> x(n);
    double phase = 0.0;
    for (size_t i = 0; i < n; i++) {
        double t = static_cast<double>(i) / rate;
        double f = 48.0 + 120.0 * std::exp(-t / 0.035);
        phase += 2.0 * kPi * f / rate;
        double attack = std::min(1.0, t / 0.0015);
        x[i] = std::tanh(1.8 * std::sin(phase) * attack * std::exp(-t / 0.16)) / std::tanh(1.8);
    }
    return x;
}

Sample kick() {
    auto x = kick_body(static_cast<size_t>(0.32 * kDrumRate), kDrumRate);
    Noise noise{0x1234567u};
    for (size_t i = 1; i < 80; i++) x[i] += 0.25 * noise.next() * std::exp(-static_cast<double>(i) / 20.0);
    fade_tail(x, 200);
    return {"kick", quantise(x, 127), 56};
}

Sample snare() {
    size_t n = static_cast<size_t>(0.28 * kDrumRate);
    std::vector<double> x(n);
    Noise noise{0xBADC0DEu};
    double prev = 0.0;
    for (size_t i = 0; i < n; i++) {
        double t = static_cast<double>(i) / kDrumRate;
        double white = noise.next();
        double bright = white - 0.6 * prev; // tilt the noise towards the highs
        prev = white;
        double tone = std::sin(2 * kPi * 185 * t) + 0.5 * std::sin(2 * kPi * 330 * t);
        double attack = std::min(1.0, t / 0.001);
        x[i] = attack * (0.6 * bright * std::exp(-t / 0.07) + 0.5 * tone * std::exp(-t / 0.045));
    }
    fade_tail(x, 200);
    return {"snare", quantise(x, 120), 48};
}

// High-passed noise, differenced twice.
std::vector<double> hiss(size_t n, uint32_t seed) {
    std::vector<double> x(n);
    Noise noise{seed};
    double p1 = 0.0, p2 = 0.0;
    for (size_t i = 0; i < n; i++) {
        double w = noise.next();
        double d1 = w - p1;
        p1 = w;
        x[i] = 0.5 * (d1 - p2);
        p2 = d1;
    }
    return x;
}

Sample hat() {
    size_t n = static_cast<size_t>(0.09 * kDrumRate);
    auto x = hiss(n, 0xC0FFEEu);
    for (size_t i = 0; i < n; i++) x[i] *= std::exp(-static_cast<double>(i) / kDrumRate / 0.018);
    fade_tail(x, 100);
    return {"hat", quantise(x, 90), 26};
}

// Kick with a crash cymbal: the hit that marks the song's accents.
Sample boom() {
    size_t n = static_cast<size_t>(1.6 * kDrumRate);
    auto body = kick_body(n, kDrumRate);
    auto noise = hiss(n, 0xFACADEu);
    constexpr double kRing[6] = {1187.0, 1541.0, 2011.0, 2633.0, 3371.0, 4409.0}; // inharmonic metal
    std::vector<double> x(n);
    for (size_t i = 0; i < n; i++) {
        double t = static_cast<double>(i) / kDrumRate;
        double metal = 0.0;
        for (double f : kRing) metal += std::sin(2 * kPi * f * t) > 0 ? 0.08 : -0.08;
        double crash = (noise[i] + metal) * std::min(1.0, t / 0.002) * std::exp(-t / 0.45);
        x[i] = 0.75 * body[i] + 0.4 * crash;
    }
    fade_tail(x, 2000);
    return {"boom", quantise(x, 127), 60};
}

// Plucked bass: a sawtooth whose brightness closes quickly, base pitch two octaves below C-2.
Sample bass() {
    size_t n = static_cast<size_t>(1.1 * kRate);
    double f = kBase / 4.0;
    std::vector<double> x(n);
    for (size_t i = 0; i < n; i++) {
        double t = static_cast<double>(i) / kRate;
        double cutoff = 2.0 + 16.0 * std::exp(-t / 0.15); // in harmonics
        double v = 0.5 * std::sin(2 * kPi * f * t);
        for (int k = 1; k <= 40; k++) {
            double ratio = k / cutoff;
            v += std::sin(2 * kPi * f * k * t) / k / (1.0 + ratio * ratio * ratio * ratio);
        }
        x[i] = v * std::min(1.0, t / 0.004) * std::exp(-t / 0.9);
    }
    fade_tail(x, 500);
    return {"bass", quantise(x, 115), 44};
}

// Loop of `loop` samples after an attack of `attack` samples; `wave(i)` must repeat every `loop` samples.
template <class Wave>
Sample looped(const char* name, uint32_t attack, uint32_t loop, double peak, int volume, Wave wave) {
    std::vector<double> x(attack + loop + 2);
    for (size_t i = 0; i < x.size(); i++) {
        double ramp = i < attack ? static_cast<double>(i) / attack : 1.0;
        x[i] = ramp * wave(static_cast<double>(i));
    }
    Sample s{name, quantise(x, peak), volume, attack, loop};
    // the spare word repeats the loop start exactly, whatever rounding did
    s.data[attack + loop] = s.data[attack];
    s.data[attack + loop + 1] = s.data[attack + 1];
    return s;
}

// Pad: root, fifth and octave, each voice a soft sawtooth with detuned companions (whole cycles per loop).
Sample pad() {
    constexpr uint32_t kLoop = 8192; // 256 cycles of the base pitch
    struct Voice {
        double cycles, gain, phase;
    };
    constexpr Voice kVoices[] = {{256, 1.0, 0.0},  {254, 0.6, 1.3},  {258, 0.6, 2.9},
                                 {384, 0.7, 0.4},  {382, 0.45, 4.1}, {386, 0.45, 5.2},
                                 {512, 0.45, 2.2}, {509, 0.3, 3.7},  {515, 0.3, 0.9}};
    return looped("pad", 512, kLoop, 100, 24, [&](double i) {
        double v = 0.0;
        for (const Voice& voice : kVoices)
            for (int k = 1; k <= 6; k++)
                v += voice.gain * std::sin(2 * kPi * voice.cycles * k * i / kLoop + voice.phase * k) /
                     std::pow(k, 1.5);
        return v;
    });
}

// Lead: a pulse wave whose width and pitch sway slowly (128 cycles of the base pitch per loop).
Sample lead() {
    constexpr uint32_t kLoop = 4096;
    return looped("lead", 64, kLoop, 100, 36, [&](double i) {
        double u = i / kLoop;
        double phase = 2 * kPi * 128 * u + 0.15 * std::sin(2 * kPi * 3 * u);
        double duty = 0.5 + 0.18 * std::sin(2 * kPi * u);
        double v = 0.0;
        for (int k = 1; k <= 14; k++) {
            double soften = 1.0 / (1.0 + (k / 10.0) * (k / 10.0));
            v += 2.0 / (k * kPi) * std::sin(kPi * k * duty) * std::cos(k * phase) * soften;
        }
        return v;
    });
}

// Bell: two-operator FM whose brightness dies away, with a faint inharmonic shimmer.
Sample bell() {
    size_t n = static_cast<size_t>(1.2 * kRate);
    std::vector<double> x(n);
    for (size_t i = 0; i < n; i++) {
        double t = static_cast<double>(i) / kRate;
        double index = 2.0 * std::exp(-t / 0.15) + 0.3;
        double v = std::sin(2 * kPi * kBase * t + index * std::sin(2 * kPi * 2 * kBase * t));
        v += 0.15 * std::sin(2 * kPi * 5.43 * kBase * t) * std::exp(-t / 0.05);
        x[i] = v * std::min(1.0, t / 0.002) * std::exp(-t / 0.4);
    }
    fade_tail(x, 400);
    return {"bell", quantise(x, 110), 20};
}

// Riser: band-passed noise sweeping up over 32 rows, growing louder, with a rising tone under it.
Sample riser() {
    constexpr double kSeconds = 32 * 6 * 848 / 44100.0;
    size_t n = static_cast<size_t>(kSeconds * kDrumRate) & ~size_t{1};
    std::vector<double> x(n);
    Noise noise{0x5EEDu};
    double low = 0.0, band = 0.0, phase = 0.0;
    for (size_t i = 0; i < n; i++) {
        double u = static_cast<double>(i) / static_cast<double>(n);
        double centre = 250.0 * std::pow(10.0, u);
        double g = 2.0 * std::sin(kPi * centre / kDrumRate);
        double high = noise.next() - low - 0.35 * band; // state-variable filter
        band += g * high;
        low += g * band;
        phase += 2 * kPi * (200.0 + 600.0 * u * u) / kDrumRate;
        x[i] = (0.1 + 0.9 * u * u) * (band + 0.3 * std::sin(phase));
    }
    fade_tail(x, 300);
    return {"riser", quantise(x, 100), 40};
}

} // namespace

std::vector<Sample> make_samples() {
    return {kick(), snare(), hat(), boom(), bass(), pad(), lead(), bell(), riser()};
}
