// vec_sort.cpp: the depth sorts of the render pipeline. Both return (key, input index) pairs in ascending key
// order and are stable; they work in the caller's scratch of 2 * count pairs and allocate nothing.
// Main thread only (counting_sort keeps its bucket counters in a static table).
#include "vec.h"

namespace {

constexpr int kMaxCountingKey = 65535;
int buckets[kMaxCountingKey + 2];

} // namespace

const vec_sortpair* byte_radix(int count, const int32_t* keys, vec_sortpair* scratch, int passes) {
    if (count <= 0 || !keys || !scratch) return scratch;
    if (passes < 0) passes = 0;
    if (passes > 4) passes = 4;
    vec_sortpair* src = scratch;
    vec_sortpair* dst = scratch + count;
    for (int i = 0; i < count; i++) src[i] = {keys[i], i};

    for (int pass = 0; pass < passes; pass++) {
        const int shift = 8 * pass;
        int offset[256] = {0};
        for (int i = 0; i < count; i++) offset[(static_cast<uint32_t>(src[i].key) >> shift) & 0xFF]++;
        // A byte that every key shares would leave the order as it is: skip the pass.
        if (offset[(static_cast<uint32_t>(src[0].key) >> shift) & 0xFF] == count) continue;
        int sum = 0;
        for (int b = 0; b < 256; b++) {
            const int n = offset[b];
            offset[b] = sum;
            sum += n;
        }
        for (int i = 0; i < count; i++)
            dst[offset[(static_cast<uint32_t>(src[i].key) >> shift) & 0xFF]++] = src[i];
        vec_sortpair* t = src;
        src = dst;
        dst = t;
    }
    return src;
}

const vec_sortpair* counting_sort(int count, const int32_t* keys, vec_sortpair* scratch, int maxkey) {
    if (count <= 0 || !keys || !scratch) return scratch;
    if (maxkey < 0 || maxkey > kMaxCountingKey) return nullptr;
    // Keys outside 0..maxkey are sorted as if they were the nearest bound; the pair keeps the real key.
    auto bucket = [maxkey](int32_t key) { return key < 0 ? 0 : key > maxkey ? maxkey : key; };
    for (int b = 0; b <= maxkey + 1; b++) buckets[b] = 0;
    for (int i = 0; i < count; i++) buckets[bucket(keys[i]) + 1]++;
    for (int b = 1; b <= maxkey + 1; b++) buckets[b] += buckets[b - 1];
    vec_sortpair* out = scratch + count;
    for (int i = 0; i < count; i++) out[buckets[bucket(keys[i])]++] = {keys[i], i};
    return out;
}
