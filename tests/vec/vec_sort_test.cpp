// The depth sorts: ascending, stable, and limited to the bytes or range they are asked to sort by.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

#include "vec.h"

namespace {

std::vector<int32_t> random_keys(int n, uint32_t seed, uint32_t mask) {
    std::vector<int32_t> k(n);
    for (auto& key : k) {
        seed = seed * 1664525u + 1013904223u;
        key = static_cast<int32_t>((seed ^ (seed >> 13)) & mask);
    }
    return k;
}

// The expected order: input indices stably sorted by f(key).
template <class F> std::vector<int> stable_order(const std::vector<int32_t>& keys, F f) {
    std::vector<int> idx(keys.size());
    std::iota(idx.begin(), idx.end(), 0);
    std::stable_sort(idx.begin(), idx.end(), [&](int a, int b) { return f(keys[a]) < f(keys[b]); });
    return idx;
}

TEST(VecSort, ByteRadixSortsTheLowBytesStably) {
    for (int passes = 1; passes <= 4; passes++) {
        // Few distinct values so that stability matters; the top bytes are set to show they are ignored.
        std::vector<int32_t> keys = random_keys(5000, 7u + passes, 0xFF0F0F0F);
        std::vector<vec_sortpair> scratch(2 * keys.size());
        const vec_sortpair* out =
            byte_radix(static_cast<int>(keys.size()), keys.data(), scratch.data(), passes);
        const uint32_t mask = passes == 4 ? 0xFFFFFFFFu : (1u << (8 * passes)) - 1;
        const auto expected =
            stable_order(keys, [mask](int32_t k) { return static_cast<uint32_t>(k) & mask; });
        for (size_t i = 0; i < keys.size(); i++) {
            ASSERT_EQ(out[i].index, expected[i]) << "passes " << passes << " at " << i;
            ASSERT_EQ(out[i].key, keys[expected[i]]);
        }
    }
}

TEST(VecSort, ByteRadixOnDepthKeys) {
    // Keys as the pipeline makes them: non-negative distances >> 8, or negated ones with a z-buffer. The
    // negative ones sort by their low three bytes, so -1 comes after every other small negative key.
    const std::vector<int32_t> keys = {5, -1, 0, 70000, 5, -300, 65536, 0};
    vec_sortpair scratch[16];
    const vec_sortpair* out = byte_radix(8, keys.data(), scratch, 3);
    const int order[8] = {2, 7, 0, 4, 6, 3, 5, 1};
    for (int i = 0; i < 8; i++) EXPECT_EQ(out[i].index, order[i]) << i;

    EXPECT_EQ(byte_radix(0, keys.data(), scratch, 3), scratch); // nothing to sort
    const int32_t one = 42;
    EXPECT_EQ(byte_radix(1, &one, scratch, 3)[0].index, 0);
    // All keys alike: the input order is kept.
    const std::vector<int32_t> same(100, 0x00123456);
    std::vector<vec_sortpair> big(200);
    const vec_sortpair* s = byte_radix(100, same.data(), big.data(), 3);
    for (int i = 0; i < 100; i++) ASSERT_EQ(s[i].index, i);
}

TEST(VecSort, CountingSortWithinItsRange) {
    std::vector<int32_t> keys = random_keys(3000, 11, 0x3FF);
    keys[10] = -5;   // below the range: sorts as 0
    keys[20] = 5000; // above: sorts as the maximum
    std::vector<vec_sortpair> scratch(2 * keys.size());
    const vec_sortpair* out = counting_sort(static_cast<int>(keys.size()), keys.data(), scratch.data(), 1023);
    ASSERT_NE(out, nullptr);
    const auto expected = stable_order(keys, [](int32_t k) { return std::clamp(k, 0, 1023); });
    for (size_t i = 0; i < keys.size(); i++) {
        ASSERT_EQ(out[i].index, expected[i]) << i;
        ASSERT_EQ(out[i].key, keys[expected[i]]);
    }
    EXPECT_EQ(counting_sort(3, keys.data(), scratch.data(), 65536), nullptr);
    EXPECT_EQ(counting_sort(3, keys.data(), scratch.data(), -1), nullptr);
    EXPECT_NE(counting_sort(3, keys.data(), scratch.data(), 65535), nullptr);
}

} // namespace
