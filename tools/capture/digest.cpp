// digest.cpp: hashing of frames and soundtrack for the regression table (main thread).
#include "digest.h"

#include "output.h"

const int kProbePositions[kProbeCount] = {
    10,   60,         // 1: panorama
    120,  160,        // 2: cross-fade to the halftone scene
    232,  350,        // 3: halftone scene, time reversed on beats
    415,              // 4: flares blended in
    500,  640,        // 5: flares and bouncing bands
    720,  760,        // 6: cross-fade to the zoomer
    808,  950,        // 7: zoomer with flashes
    1150, 1250, 1310, // 8: halftone portrait, shore scene; flicker, wobble
    1520,             // 8: twister fading in
    1640, 1760,       // 9: twister with thumbnails
    1812, 1830,       // 10: fade to black (black from about 1845)
    1905, 1930, 1960, // 11: caption, blur, black
};

uint64_t fnv1a(uint64_t hash, const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        hash ^= bytes[i];
        hash *= 0x100000001b3ull;
    }
    return hash;
}

uint64_t hash_frame(const uint32_t* frame) {
    uint64_t hash = kFnvOffset;
    uint8_t row[kFrameW * 4];
    for (int y = 0; y < kFrameH; ++y) {
        for (int x = 0; x < kFrameW; ++x) {
            uint32_t w = frame[y * kFrameW + x];
            for (int b = 0; b < 4; ++b) row[x * 4 + b] = static_cast<uint8_t>(w >> (8 * b));
        }
        hash = fnv1a(hash, row, sizeof row);
    }
    return hash;
}

uint64_t hash_samples(uint64_t hash, const int16_t* samples, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        uint16_t v = static_cast<uint16_t>(samples[i]);
        uint8_t bytes[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
        hash = fnv1a(hash, bytes, 2);
    }
    return hash;
}

void digest_init(digest_result* d) {
    *d = digest_result{};
    d->audio_hash = kFnvOffset;
}

void digest_frame(digest_result* d, const uint32_t* frame, int section, int position) {
    bool hashed = false;
    uint64_t hash = 0;
    while (d->found < kProbeCount && position >= kProbePositions[d->found]) {
        if (!hashed) hash = hash_frame(frame), hashed = true;
        d->probes[d->found] = {section, kProbePositions[d->found], static_cast<int>(d->frames), hash};
        ++d->found;
    }
    ++d->frames;
}

bool digest_audio(const int16_t* samples, size_t count, void* ctx) {
    auto* d = static_cast<digest_result*>(ctx);
    d->audio_hash = hash_samples(d->audio_hash, samples, count);
    d->samples += static_cast<int64_t>(count);
    return true;
}

void print_digest(FILE* out, const digest_result* d) {
    fprintf(out, "// Regression table of the demo at %d fps, printed by `capture --digest`.\n", kDigestFps);
    fprintf(out, "// Regenerate only for an intended change, and say why in the commit:\n");
    fprintf(out, "//   build/tools/capture/capture --digest > tests/capture/regression_table.inc\n");
    fprintf(out, "// {section, probe song position, frame index, FNV-1a 64 of the frame}\n");
    fprintf(out, "static const digest_entry kExpectedProbes[] = {\n");
    for (int i = 0; i < d->found; ++i) {
        const digest_entry& e = d->probes[i];
        fprintf(out, "    {%d, %d, %d, 0x%016llxull},\n", e.section, e.position, e.frame,
                static_cast<unsigned long long>(e.hash));
    }
    fprintf(out, "};\n");
    fprintf(out, "static const int64_t kExpectedFrames = %lld;\n", static_cast<long long>(d->frames));
    fprintf(out, "static const int64_t kExpectedSamples = %lld;\n", static_cast<long long>(d->samples));
    fprintf(out, "static const uint64_t kExpectedAudioHash = 0x%016llxull;\n",
            static_cast<unsigned long long>(d->audio_hash));
}
