// Fades: byte-wise blends of two frame buffers, used by every scene (main thread).
// Every byte of a 0x00RRGGBB word is blended alike, the top byte included. Each weight table entry is
// truncated on its own, so a mix may come out slightly darker than the exact weighted mean.
// The destination may be either source: byte k of both sources is read before byte k is written.
#include "fx.h"

#include <algorithm>

// keep[i] = i * (255 - level) / 255, take[i] = i * level / 255; the level is clamped to 0..255 so that
// the sum of the two entries never exceeds a byte.
void cross_fade(const uint32_t* a, const uint32_t* b, uint32_t* dst, int count, int level) {
    if (count <= 0) return;
    level = std::clamp(level, 0, 255);
    uint8_t keep[256], take[256];
    int keep_sum = 0, take_sum = 0;
    for (int i = 0; i < 256; i++) {
        keep[i] = static_cast<uint8_t>(keep_sum / 255);
        take[i] = static_cast<uint8_t>(take_sum / 255);
        keep_sum += 255 - level;
        take_sum += level;
    }
    // Byte-wise through the words; both sources are read before the destination word is written.
    for (int p = 0; p < count; p++) {
        const uint32_t x = a[p], y = b[p];
        dst[p] = static_cast<uint32_t>(keep[x & 255] + take[y & 255]) |
                 static_cast<uint32_t>(keep[(x >> 8) & 255] + take[(y >> 8) & 255]) << 8 |
                 static_cast<uint32_t>(keep[(x >> 16) & 255] + take[(y >> 16) & 255]) << 16 |
                 static_cast<uint32_t>(keep[x >> 24] + take[y >> 24]) << 24;
    }
}

// Fills t[i] = min(255, i * gain / 255). A negative gain counts as 0; gains beyond 255 * 255 give the
// same table as 255 * 255 (every entry above 0 is 255), which keeps the running sum from overflowing.
static void gain_table(uint16_t* t, int gain) {
    gain = std::clamp(gain, 0, 255 * 255);
    int sum = 0;
    for (int i = 0; i < 256; i++) {
        t[i] = static_cast<uint16_t>(std::min(255, sum / 255));
        sum += gain;
    }
}

void add_fade(const uint32_t* a, const uint32_t* b, uint32_t* dst, int count, int gain_a, int gain_b) {
    if (count <= 0) return;
    uint16_t ta[256], tb[256];
    gain_table(ta, gain_a);
    gain_table(tb, gain_b);
    // sat[s] = min(s, 255) for every possible sum s of two entries.
    uint8_t sat[511];
    for (int s = 0; s < 511; s++) sat[s] = static_cast<uint8_t>(std::min(s, 255));
    for (int p = 0; p < count; p++) {
        const uint32_t x = a[p], y = b[p];
        dst[p] = static_cast<uint32_t>(sat[ta[x & 255] + tb[y & 255]]) |
                 static_cast<uint32_t>(sat[ta[(x >> 8) & 255] + tb[(y >> 8) & 255]]) << 8 |
                 static_cast<uint32_t>(sat[ta[(x >> 16) & 255] + tb[(y >> 16) & 255]]) << 16 |
                 static_cast<uint32_t>(sat[ta[x >> 24] + tb[y >> 24]]) << 24;
    }
}
