// digest.cpp: hashing of frames and soundtrack for the regression table, and its printed form (main thread).
#include "digest.h"

#include "output.h"
#include "soundtrack.h"

#include <algorithm>

namespace {

constexpr int kLanes = 8;
constexpr uint64_t kMul = 0x9e3779b97f4a7c15ull; // odd: multiplying is a bijection mod 2^64

// The splitmix64 finaliser: a bijection that spreads every input bit over the whole word.
constexpr uint64_t mix64(uint64_t x) {
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9ull;
    x ^= x >> 27;
    x *= 0x94d049bb133111ebull;
    return x ^ (x >> 31);
}

struct lanes {
    uint64_t h[kLanes];
    lanes() {
        for (int l = 0; l < kLanes; ++l) h[l] = mix64(static_cast<uint64_t>(l) + 1);
    }
};

inline void step(uint64_t& h, uint64_t v) {
    h = (h ^ v) * kMul;
    h ^= h >> 32;
}

// The lanes in order, each through a bijection, after the value count (so that lengths differ).
uint64_t finish(const lanes& s, uint64_t count) {
    uint64_t x = mix64(count);
    for (int l = 0; l < kLanes; ++l) x = mix64(x ^ s.h[l]);
    return x;
}

uint64_t fold(const std::vector<uint64_t>& values) {
    lanes s;
    for (size_t i = 0; i < values.size(); ++i) step(s.h[i % kLanes], values[i]);
    return finish(s, values.size());
}

} // namespace

uint64_t hash_words(const uint32_t* words, size_t count) {
    lanes s;
    size_t i = 0;
    for (; i + 2 * kLanes <= count; i += 2 * kLanes) {
        for (int l = 0; l < kLanes; ++l)
            step(s.h[l], words[i + 2 * l] | static_cast<uint64_t>(words[i + 2 * l + 1]) << 32);
    }
    for (int l = 0; i < count; i += 2, ++l) {
        uint64_t v = words[i];
        if (i + 1 < count) v |= static_cast<uint64_t>(words[i + 1]) << 32;
        step(s.h[l], v);
    }
    return finish(s, count);
}

uint64_t hash_samples(const int16_t* samples, size_t count) {
    lanes s;
    for (size_t i = 0, l = 0; i < count; i += 4, l = (l + 1) % kLanes) {
        uint64_t v = 0;
        for (size_t k = 0; k < 4 && i + k < count; ++k)
            v |= static_cast<uint64_t>(static_cast<uint16_t>(samples[i + k])) << (16 * k);
        step(s.h[l], v);
    }
    return finish(s, count);
}

uint64_t hash_frame(const uint32_t* frame) {
    return hash_words(frame, static_cast<size_t>(kScreenW) * kScreenH);
}

std::vector<digest_section> digest_sections(const std::vector<digest_frame>& frames) {
    std::vector<digest_section> out;
    std::vector<uint64_t> pictures, sounds;
    for (size_t f = 0; f < frames.size();) {
        size_t end = f;
        pictures.clear();
        sounds.clear();
        for (; end < frames.size() && frames[end].section == frames[f].section; ++end) {
            pictures.push_back(frames[end].picture);
            sounds.push_back(frames[end].sound);
        }
        out.push_back({frames[f].section, static_cast<int>(f), static_cast<int>(end - f), frames[f].position,
                       fold(pictures), fold(sounds)});
        f = end;
    }
    return out;
}

void digest_init(digest_result* d) {
    *d = digest_result{};
    d->frames.reserve(8192);
    d->sound.reserve(8192);
    d->pending.reserve(static_cast<size_t>(kSampleRate / kDigestFps));
}

void digest_frame_shown(digest_result* d, const uint32_t* frame, int section, int position) {
    d->frames.push_back({section, position, hash_frame(frame), 0});
}

bool digest_audio(const int16_t* samples, size_t count, void* ctx) {
    auto* d = static_cast<digest_result*>(ctx);
    d->samples += static_cast<int64_t>(count);
    while (count > 0) {
        const int64_t k = static_cast<int64_t>(d->sound.size());
        const size_t share =
            static_cast<size_t>(frame_sample(k + 1, kDigestFps) - frame_sample(k, kDigestFps));
        const size_t take = std::min(count, share - d->pending.size());
        d->pending.insert(d->pending.end(), samples, samples + take);
        samples += take;
        count -= take;
        if (d->pending.size() == share) {
            d->sound.push_back(hash_samples(d->pending.data(), share));
            d->pending.clear();
        }
    }
    return true;
}

bool digest_finish(digest_result* d) {
    if (!d->pending.empty() || d->sound.size() != d->frames.size()) return false;
    for (size_t f = 0; f < d->frames.size(); ++f) d->frames[f].sound = d->sound[f];
    d->sections = digest_sections(d->frames);
    return true;
}

void print_digest(FILE* out, const digest_result* d) {
    auto hex = [](uint64_t v) { return static_cast<unsigned long long>(v); };
    fprintf(out, "// Regression table of the demo at %d fps, printed by `capture --digest`.\n", kDigestFps);
    fprintf(out, "// Regenerate only for an intended change, and say why in the commit:\n");
    fprintf(out, "//   build/tools/capture/capture --digest > tests/capture/regression_table.inc\n");
    fprintf(out, "// tools/capture/digest.h says how frames and the samples they own are hashed.\n");
    fprintf(out, "static const int64_t kExpectedFrames = %zu;\n", d->frames.size());
    fprintf(out, "static const int64_t kExpectedSamples = %lld;\n", static_cast<long long>(d->samples));
    fprintf(out,
            "// {section, first frame, frames, song position of the first frame, fold of the pictures, of "
            "the sound}\n");
    fprintf(out, "static const digest_section kExpectedSections[] = {\n");
    for (const digest_section& s : d->sections) {
        fprintf(out, "    {%d, %d, %d, %d, 0x%016llx, 0x%016llx},\n", s.section, s.first_frame, s.frames,
                s.position, hex(s.picture), hex(s.sound));
    }
    fprintf(out, "};\n");
    fprintf(out, "// {picture, sound} of every frame in order\n");
    fprintf(out, "static const uint64_t kExpectedHashes[][2] = {\n");
    for (const digest_section& s : d->sections) {
        fprintf(out, "// section %d\n", s.section);
        for (int f = s.first_frame; f < s.first_frame + s.frames; ++f) {
            const digest_frame& fr = d->frames[static_cast<size_t>(f)];
            fprintf(out, "{0x%016llx,0x%016llx},\n", hex(fr.picture), hex(fr.sound));
        }
    }
    fprintf(out, "};\n");
}
