// Panorama: two 982x240 images (background and keyed foreground) wrapped round a curved surface, the
// foreground scrolling at twice the background's speed (main thread). pano_init computes the warp once;
// pano_effect is integer only. Scroll positions are unsigned 32-bit: sums wrap at 2^32 before the
// modulo by the image width.
//
// Where at least 8 neighbouring screen columns of a row sample neighbouring image columns of one image
// row (mostly near the middle), they are drawn as a run, four pixels a step (lanes.h); towards the edges
// columns repeat and rows change every few pixels, and pixels are drawn one by one.
#include "fx.h"

#include "lanes.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

const uint32_t* tausta = nullptr;
const uint32_t* paalline = nullptr;

namespace {

constexpr int kW = kScreenW, kH = kScreenH;
constexpr uint32_t kImageW = kPanoW;

uint32_t column[kW];          // image column at scroll position 0, per screen column
uint32_t row_offset[kW * kH]; // word offset of the image row to sample (1..238) in either image, per pixel

// Runs of at least kMinRun screen columns of a row that sample consecutive image columns of one image
// row; rows' runs in order, row i's from run_first[i] on.
constexpr int kMinRun = 8;
struct Run {
    uint16_t start, length; // screen columns
    uint32_t offset;        // row_offset of the run
};
std::vector<Run> runs;
int run_first[kH + 1];

// Without a vector unit each row is drawn as stretches of columns that sample one image row (a few
// pixels near the edges, most of a row near the middle): a pixel then costs two look-ups, its column's
// image column and the texel. Rows' stretches in order, row i's from stretch_first[i] on.
struct Stretch {
    uint16_t start, length;
    uint32_t offset; // row_offset of the stretch, in words
};
std::vector<Stretch> stretches;
int stretch_first[kH + 1];

using namespace lanes;

// 32-bit ARM's NEON draws the stretches too: its hand-written loop beats the runs in 16-byte lanes.
#if defined(__ARM_NEON) && defined(__thumb2__) && defined(__OPTIMIZE__)
constexpr bool kStretches = true;
#else
constexpr bool kStretches = false;
#endif

// Where the stretches are drawn, the images as indices into their colours (at most 256 of them, as
// pano_init found them): pano_effect_mapped draws any word per colour, a blur's quotients for one. A
// pixel's cell holds its index in the low byte and, in the high byte, how many pixels its run of that
// colour in its image row still has from it on (1..255; a longer run counts as several): pano_runs steps
// from run to run with it.
constexpr bool kIndexed = !kVectorUnit || kStretches;
constexpr size_t kImageWords = size_t{kImageW} * kH;
uint16_t back_cells[kIndexed ? kImageWords : 1], fore_cells[kIndexed ? kImageWords : 1];
uint32_t image_colours[256];
int colour_count = 0; // 0: the images have more colours, or are not indexed

// first_at[v]: the first screen column whose image column is column[0] + v or more (kW for none), for v
// up to the columns' span plus the longest step of a run; reach[j] = first_at + column[j] - column[0].
constexpr int kMaxSpan = 1024;
uint16_t first_at[kMaxSpan + 256];
const uint16_t* reach[kW];

// Cells of both images' words; false for more than 256 colours, or columns that span too much.
bool index_images(const uint32_t* back, const uint32_t* front) {
    if (column[kW - 1] - column[0] >= kMaxSpan) return false;
    colour_count = 1;
    image_colours[0] = back[0];
    uint32_t last = back[0];
    uint16_t last_index = 0;
    for (const auto& [image, cells] : {std::pair{back, back_cells}, std::pair{front, fore_cells}}) {
        for (size_t k = 0; k < kImageWords; k++) {
            const uint32_t w = image[k];
            if (w != last) { // mostly the word before it
                int i = 0;
                while (i < colour_count && image_colours[i] != w) i++;
                if (i == colour_count) {
                    if (colour_count == 256) return false;
                    image_colours[colour_count++] = w;
                }
                last = w;
                last_index = static_cast<uint16_t>(i);
            }
            cells[k] = last_index;
        }
        for (size_t row = 0; row < kImageWords; row += kImageW) {
            uint16_t* const c = cells + row;
            uint32_t left = 1 << 8;
            c[kImageW - 1] = static_cast<uint16_t>(c[kImageW - 1] | left);
            for (size_t x = kImageW - 1; x-- > 0;) {
                left = c[x] == (c[x + 1] & 255) && left < 255 << 8 ? left + (1 << 8) : 1 << 8;
                c[x] = static_cast<uint16_t>(c[x] | left);
            }
        }
    }
    for (uint32_t v = 0, j = 0; v < std::size(first_at); v++) {
        while (j < kW && column[j] - column[0] < v) j++;
        first_at[v] = static_cast<uint16_t>(j);
    }
    for (int j = 0; j < kW; j++) reach[j] = first_at + (column[j] - column[0]);
    return true;
}

// dest[x] = fore[x] unless it is the key, else back[x], for x of 0..n-1.
void select_span(uint32_t* dest, const uint32_t* fore, const uint32_t* back, int n, uint32_t key) {
    if (kVectorUnit && n >= 4) {
        // Four pixels a step, the last step ending at n (it may draw pixels again, with the same result).
        const Words keys = Words{} + key;
        for (int x = 0;; x += 4) {
            if (x > n - 4) x = n - 4;
            const Words f = load<Words>(fore + x), b = load<Words>(back + x);
            store(dest + x, f == keys ? b : f);
            if (x == n - 4) return;
        }
    }
    for (int x = 0; x < n; x++) dest[x] = fore[x] != key ? fore[x] : back[x];
}

// Pixels first .. end - 1 of a row one by one; row 0 of the image column each screen column samples in
// `back` and `fore`.
void draw_pixels(uint32_t* dest, const uint32_t* offset, const uint32_t* const* back,
                 const uint32_t* const* fore, int first, int end, uint32_t key) {
    int j = first;
    for (; j + 4 <= end; j += 4) { // four pixels a step
        const uint32_t r0 = offset[j], r1 = offset[j + 1], r2 = offset[j + 2], r3 = offset[j + 3];
        const uint32_t f0 = fore[j][r0], f1 = fore[j + 1][r1], f2 = fore[j + 2][r2], f3 = fore[j + 3][r3];
        dest[j] = f0 != key ? f0 : back[j][r0];
        dest[j + 1] = f1 != key ? f1 : back[j + 1][r1];
        dest[j + 2] = f2 != key ? f2 : back[j + 2][r2];
        dest[j + 3] = f3 != key ? f3 : back[j + 3][r3];
    }
    for (; j < end; j++) {
        const uint32_t f = fore[j][offset[j]];
        dest[j] = f != key ? f : back[j][offset[j]];
    }
}

} // namespace

int pano_init(const uint32_t* back, const uint32_t* front) {
    tausta = back;
    paalline = front;
    for (int j = 0; j < kW; j++)
        column[j] = static_cast<uint32_t>(std::atan2(j - 160.0, 200.0) * 200 + kImageW);
    double bend[kW]; // the same cosine for every row
    for (int j = 0; j < kW; j++) bend[j] = std::cos((j - 160) * 0.004);
    for (int i = 0; i < kH; i++) {
        const double a = std::atan2(i - 120.0, 200.0);
        for (int j = 0; j < kW; j++)
            row_offset[i * kW + j] =
                static_cast<uint32_t>(static_cast<int>(bend[j] * a * 220 + 120)) * kImageW;
    }
    runs.clear();
    for (int i = 0; i < kH; i++) {
        run_first[i] = static_cast<int>(runs.size());
        const uint32_t* offset = row_offset + i * kW;
        for (int start = 0, j = 1; j <= kW; j++) {
            if (j < kW && column[j] == column[j - 1] + 1 && offset[j] == offset[j - 1]) continue;
            if (j - start >= kMinRun)
                runs.push_back(
                    {static_cast<uint16_t>(start), static_cast<uint16_t>(j - start), offset[start]});
            start = j;
        }
    }
    run_first[kH] = static_cast<int>(runs.size());
    stretches.clear();
    for (int i = 0; i < kH; i++) {
        stretch_first[i] = static_cast<int>(stretches.size());
        const uint32_t* offset = row_offset + i * kW;
        for (int start = 0, j = 1; j <= kW; j++) {
            if (j < kW && offset[j] == offset[start]) continue;
            stretches.push_back(
                {static_cast<uint16_t>(start), static_cast<uint16_t>(j - start), offset[start]});
            start = j;
        }
    }
    stretch_first[kH] = static_cast<int>(stretches.size());
    if (!kIndexed || !back || !front || !index_images(back, front)) colour_count = 0;
    return 1;
}

namespace {

// pano_effect without a vector unit: per stretch, each column's row-0 pointers (foreground, background
// side by side) and the stretch's offset. With cells (T of uint16_t) a texel is the word of its colour in
// `map`, and the key a colour index.
template <class T>
void draw_stretches(uint32_t* dest, uint32_t position, const T* back, const T* front, uint32_t key,
                    const uint32_t* map = nullptr) {
    constexpr bool kMapped = sizeof(T) == 2;
    auto colour = [](T texel) { return kMapped ? texel & 255u : uint32_t{texel}; };
    auto word = [map, colour](T texel) { return kMapped ? map[colour(texel)] : uint32_t{texel}; };
    const T* layers[kW][2];
    for (int j = 0; j < kW; j++) {
        layers[j][0] = front + (2 * position + column[j]) % kImageW;
        layers[j][1] = back + (position + column[j]) % kImageW;
    }
    for (int i = 0; i < kH; i++, dest += kW)
        for (int k = stretch_first[i]; k < stretch_first[i + 1]; k++) {
            const Stretch& st = stretches[k];
            const uint32_t offset = st.offset;
            const T* const* l = layers[st.start];
            uint32_t* d = dest + st.start;
            uint32_t* const end = d + st.length;
#if defined(__thumb2__) && defined(__OPTIMIZE__)
            // By hand four pixels a step, 5.5 instructions a pixel (2 more where the background shows, 1
            // more for the map); a stretch starts with the pixels beyond whole steps.
            uint32_t v;
            for (int n = st.length & 3; n > 0; n--, l += 2) {
                const T f = l[0][offset];
                *d++ = word(colour(f) != key ? f : l[1][offset]);
            }
            // clang-format off
            if (d == end) continue;
#define PANO_PIXEL(L, LOAD, MAP)                                                                             \
    "ldr    %[v], [%[l]], #8\n\t"                                                                            \
    LOAD                                                                                                     \
    "cmp    %[v], %[key]\n\t"                                                                                \
    "bne    " L "f\n\t"                                                                                      \
    "ldr    %[v], [%[l], #-4]\n\t"                                                                           \
    LOAD                                                                                                     \
    L ":\n\t"                                                                                                \
    MAP                                                                                                      \
    "str    %[v], [%[d]], #4\n\t"
#define PANO_FOUR(LOAD, MAP)                                                                                 \
    "1:\n\t"                                                                                                 \
    PANO_PIXEL("2", LOAD, MAP) PANO_PIXEL("3", LOAD, MAP) PANO_PIXEL("4", LOAD, MAP) PANO_PIXEL("5", LOAD, MAP) \
    "cmp    %[d], %[end]\n\t"                                                                                \
    "bne    1b"
            // A cell's low byte is its colour index.
            static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "a cell's low byte comes first");
            if constexpr (kMapped)
                asm volatile(PANO_FOUR("ldrb   %[v], [%[v], %[offset], lsl #1]\n\t",
                                       "ldr    %[v], [%[map], %[v], lsl #2]\n\t")
                             : [v] "=&r"(v), [l] "+r"(l), [d] "+r"(d)
                             : [offset] "r"(offset), [key] "r"(key), [end] "r"(end), [map] "r"(map)
                             : "cc", "memory");
            else
                asm volatile(PANO_FOUR("ldr    %[v], [%[v], %[offset], lsl #2]\n\t", "")
                             : [v] "=&r"(v), [l] "+r"(l), [d] "+r"(d)
                             : [offset] "r"(offset), [key] "r"(key), [end] "r"(end)
                             : "cc", "memory");
#undef PANO_FOUR
#undef PANO_PIXEL
                // clang-format on
#else
            for (; d != end; d++, l += 2) {
                const T f = l[0][offset];
                *d = word(colour(f) != key ? f : l[1][offset]);
            }
#endif
        }
}

} // namespace

void pano_effect(uint32_t* dest, uint32_t position) {
    if (!tausta || !paalline) return; // pano_init not called yet
    if constexpr (!kVectorUnit || kStretches)
        return draw_stretches(dest, position, tausta, paalline, paalline[0]);
    const uint32_t* back[kW]; // row 0 of the column each screen column samples, per layer
    const uint32_t* fore[kW];
    for (int j = 0; j < kW; j++) {
        back[j] = tausta + (position + column[j]) % kImageW;
        fore[j] = paalline + (2 * position + column[j]) % kImageW;
    }
    const uint32_t key = paalline[0];
    // Where a layer's image column does not follow on from the previous screen column's (the image wraps
    // round, or the unsigned sum does), a run must be split: unbroken[j] is the last column from j on up
    // to which every column follows on.
    uint16_t unbroken[kW];
    unbroken[kW - 1] = kW - 1;
    for (int j = kW - 1; j > 0; j--) {
        const ptrdiff_t step = column[j] - column[j - 1];
        const bool follows = back[j] - back[j - 1] == step && fore[j] - fore[j - 1] == step;
        unbroken[j - 1] = follows ? unbroken[j] : static_cast<uint16_t>(j - 1);
    }
    const uint32_t* offset = row_offset;
    for (int i = 0; i < kH; i++, dest += kW, offset += kW) {
        int j = 0; // pixels before j are drawn
        for (int k = run_first[i]; k < run_first[i + 1]; k++) {
            const Run& run = runs[k];
            draw_pixels(dest, offset, back, fore, j, run.start, key);
            j = run.start + run.length;
            for (int x = run.start; x < j;) { // pieces that do not cross a break
                const int n = std::min(j, unbroken[x] + 1) - x;
                select_span(dest + x, fore[x] + run.offset, back[x] + run.offset, n, key);
                x += n;
            }
        }
        draw_pixels(dest, offset, back, fore, j, kW, key);
    }
}

void pano_effect_grid(uint32_t* dest, uint32_t position, int step, int period, uint32_t rows) {
    if (!tausta || !paalline || step < 1 || period < 1 || period > 32) return;
    const uint32_t key = paalline[0];
    // Row 0 of the image column each drawn screen column samples: foreground, background.
    const uint32_t* layers[kW][2];
    for (int j = 0; j < kW; j += step) {
        layers[j][0] = paalline + (2 * position + column[j]) % kImageW;
        layers[j][1] = tausta + (position + column[j]) % kImageW;
    }
    for (int i = 0, phase = 0; i < kH; i++, phase = phase + 1 == period ? 0 : phase + 1) { // i % period
        if (!(rows >> phase & 1)) continue;
        const uint32_t* offset = row_offset + i * kW;
        uint32_t* d = dest + i * kW;
        for (int j = 0; j < kW; j += step) {
            const uint32_t r = offset[j];
            const uint32_t f = layers[j][0][r];
            d[j] = f != key ? f : layers[j][1][r];
        }
    }
}

int pano_colours(const uint32_t** colours) {
    *colours = image_colours;
    return tausta && paalline ? colour_count : 0;
}

void pano_effect_mapped(uint32_t* dest, uint32_t position, const uint32_t* map) {
    if (!tausta || !paalline || colour_count == 0) return;
    if constexpr (kIndexed) draw_stretches(dest, position, back_cells, fore_cells, fore_cells[0] & 255u, map);
}

// A screen column's image column moves on with its screen column's, (position + column[j]) mod kImageW,
// until the image row ends: so the run of one colour that an image column starts covers the screen
// columns whose column[] lies less than its length beyond, up to reach[j][length]. Where the unsigned
// sums wrap round 2^32 inside a row that does not hold, and nothing is drawn.
bool pano_runs(uint32_t position, const uint32_t* map, PanoRun* runs, int* row_first) {
    if (!kIndexed || !tausta || !paalline || colour_count == 0) return false;
    const uint32_t fore_start = 2 * position + column[0], back_start = position + column[0];
    const uint32_t span = column[kW - 1] - column[0];
    if (fore_start > fore_start + span || back_start > back_start + span) return false;
    // Per screen column: row 0 of the cells of its image column in either layer, and where its runs end.
    struct Column {
        const uint16_t *fore, *back;
        const uint16_t* reach;
        uint32_t pad; // 16 bytes: a column's entry is found with a shift
    };
    Column columns[kW];
    for (int j = 0; j < kW; j++)
        columns[j] = {fore_cells + (2 * position + column[j]) % kImageW,
                      back_cells + (position + column[j]) % kImageW, reach[j], 0};
    const uint32_t key = fore_cells[0] & 255u;
    // A word that no colour maps to starts each row, so that its first run is always a run of its own.
    uint32_t none = 0;
    for (int i = 0; i < colour_count;) i = map[i] == none ? (none++, 0) : i + 1;
    PanoRun* out = runs;
    for (int i = 0; i < kH; i++) {
        row_first[i] = static_cast<int>(out - runs);
        uint32_t last = none;
        for (int k = stretch_first[i]; k < stretch_first[i + 1]; k++) {
            const Stretch& st = stretches[k];
            const uint32_t offset = st.offset;
            const uint32_t end = st.start + st.length;
            const Column* c = columns + st.start;
            for (;;) {
                const uint32_t f = c->fore[offset];
                uint32_t next = std::min<uint32_t>(c->reach[f >> 8], end);
                uint32_t w;
                if ((f & 255u) != key) {
                    w = map[f & 255u];
                } else {
                    const uint32_t b = c->back[offset];
                    w = map[b & 255u];
                    next = std::min<uint32_t>(c->reach[b >> 8], next);
                }
                if (w != last) {
                    out->word = last = w;
                    out++;
                }
                out[-1].end = static_cast<uint16_t>(next);
                if (next == end) break;
                c = columns + next;
            }
        }
    }
    row_first[kH] = static_cast<int>(out - runs);
    return true;
}
