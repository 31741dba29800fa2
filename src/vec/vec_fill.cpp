// vec_fill.cpp: the polygon filler of the vector engine: fill settings, the product table, the edge walker
// and the 32-bit solid span filler.
//
// Corners arrive in 1/256 pixel (x, y as 24.8 fixed point). Edges pointing down the screen fill the right
// edge table, the others the left one; each table row holds x in 24.8 fixed point followed by the row's
// interpolants (texture coordinates, shade, z). With 32 bits per pixel only fill type 1 (one colour per
// polygon, shaded through the product table) is drawn; with 8 bits per pixel the interpolant list and the
// edge walker are prepared but no span routine is installed. Main thread only.
#include "vec.h"
#include "vec_local.h"

#include <cstring>

namespace {

constexpr int kMaxWidth = 640;
constexpr int kMaxHeight = 480;
constexpr int kEdgeRows = 640;
constexpr int kEdgeWords = 8; // x followed by up to seven interpolants: 32 bytes per row

// Words of vec_pvert interpolated for each bit of a fill type (bit 9 is ignored).
constexpr uint32_t kWordsOfBit[8] = {0x01, 0x41, 0x0D, 0x31, 0x3D, 0x01, 0x80, 0x80};
constexpr int kWordZ = 7;

using span_fn = void (*)(int top, int bottom, uint32_t colour);

struct fill_settings {
    int width = 320, height = 200, bits = 8;
    void* target = nullptr;
    int32_t* zbuffer = nullptr;
    const void* texture[4] = {}; // slots 1..3
    bool type_known = false;
    uint32_t type = 0;
    int type_result = 0;
    span_fn span = nullptr;
    int words[8] = {0}; // interpolated vec_pvert word indices, x first
    int nwords = 1;
    bool perspective = false;
};

fill_settings fill;
uint8_t product[65536];                  // [i * 256 + j] = i * j >> 8
int32_t edges[2][kEdgeRows][kEdgeWords]; // [0] left, [1] right

int32_t saturate(int64_t v) {
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

int32_t word_of(const vec_pvert& p, int w) {
    switch (w) {
    case 0:
        return p.x;
    case 1:
        return p.y;
    case 2:
        return p.u;
    case 3:
        return p.v;
    case 4:
        return p.u2;
    case 5:
        return p.v2;
    case 6:
        return p.shade;
    default:
        return p.z;
    }
}

// The value a walker carries for word w of corner p: z becomes 256 / z in 16.16 for the perspective walker.
int64_t carried(const vec_pvert& p, int w) {
    if (w == kWordZ && fill.perspective) return (int64_t{256} << 16) / p.z;
    return word_of(p, w);
}

// num / den truncated toward zero, for den > 0. 32-bit ARM has no integer division instruction and
// divides in a library call; for 32-bit operands the double quotient truncates to the integer quotient
// (both are exact doubles, and the quotient's rounding error stays below the distance 1 / den from any
// integer it is not).
int64_t divide(int64_t num, int64_t den) {
    if (num < INT32_MIN || num > INT32_MAX || den > INT32_MAX) return num / den;
    // Converted from 32 bits (from 64 would be a library call too); |quotient| <= |num| fits as well.
    const double q =
        static_cast<double>(static_cast<int32_t>(num)) / static_cast<double>(static_cast<int32_t>(den));
    return static_cast<int32_t>(q);
}

// Walks one edge into the left or right table, one entry per row it crosses. Values are sampled at the
// bottom of each row: start = upper + step * (256 - frac) / 256 with frac the sub-pixel part of upper.y.
void walk_edge(const vec_pvert& from, const vec_pvert& to) {
    const bool down = from.y <= to.y;
    const vec_pvert& upper = down ? from : to;
    const vec_pvert& lower = down ? to : from;
    int row = upper.y >> 8;
    int last = (lower.y >> 8) - 1;
    if (last < row) return;
    if (fill.perspective && (upper.z <= 0 || lower.z <= 0)) return;
    if (last > fill.height - 1) last = fill.height - 1;
    const int64_t dy = static_cast<int64_t>(lower.y) - upper.y; // > 0 here
    const int64_t frac = upper.y & 255;

    int64_t value[kEdgeWords], step[kEdgeWords];
    for (int k = 0; k < fill.nwords; k++) {
        const int w = fill.words[k];
        const int64_t a = carried(upper, w), b = carried(lower, w);
        step[k] = divide((b - a) * 256, dy);
        value[k] = a + step[k] * (256 - frac) / 256;
    }
    if (row < 0) {
        if (last < 0) return;
        for (int k = 0; k < fill.nwords; k++) value[k] += step[k] * -row;
        row = 0;
    }
    int32_t(*table)[kEdgeWords] = edges[down ? 1 : 0];
    if (fill.nwords == 1) { // x alone, as for every 32-bit polygon
        int64_t x = value[0];
        const int64_t end = x + step[0] * (last - row);
        if (x >= INT32_MIN && x <= INT32_MAX && end >= INT32_MIN && end <= INT32_MAX) {
            // Every value fits: 32-bit sums (unsigned, so that the step past the last row may wrap),
            // nothing to saturate.
            uint32_t x32 = static_cast<uint32_t>(x);
            const uint32_t step32 = static_cast<uint32_t>(step[0]);
            for (; row <= last; row++, x32 += step32) table[row][0] = static_cast<int32_t>(x32);
            return;
        }
        for (; row <= last; row++, x += step[0]) table[row][0] = saturate(x);
        return;
    }
    for (; row <= last; row++) {
        for (int k = 0; k < fill.nwords; k++) {
            table[row][k] = saturate(value[k]);
            value[k] += step[k];
        }
    }
}

// Fills rows bottom - 1 up to top with one colour word, from left.x >> 8 up to (excluding) right.x >> 8.
void span_solid32(int top, int bottom, uint32_t colour) {
    auto* screen = static_cast<uint32_t*>(fill.target);
    const int width = fill.width;
    for (int y = bottom - 1; y >= top; y--) {
        int x0 = edges[0][y][0] >> 8;
        int x1 = edges[1][y][0] >> 8;
        if (x0 < 0) x0 = 0;
        if (x1 > width) x1 = width;
        uint32_t* row = screen + static_cast<size_t>(y) * width;
        for (int x = x0; x < x1; x++) row[x] = colour;
    }
}

} // namespace

void vec_init_fill() {
    for (int i = 0; i < 256; i++)
        for (int j = 0; j < 256; j++) product[i * 256 + j] = static_cast<uint8_t>((i * j) >> 8);
}

void vec_close_fill() {}

int vec_set_fillres(int width, int height, int bits) {
    // Only byte and 32-bit word targets can be written; other depths would write past a smaller buffer.
    if (bits != 8 && bits != 32) return 1;
    if ((width < height ? width : height) <= 0 || width > kMaxWidth || height > kMaxHeight) return 1;
    if (bits != fill.bits) fill.type_known = false;
    fill.width = width;
    fill.height = height;
    fill.bits = bits;
    return 0;
}

int vec_set_bufs(void* screen, int32_t* zbuffer) {
    if (!screen) return 1;
    fill.target = screen;
    fill.zbuffer = zbuffer;
    return 0;
}

int32_t* vec_tell_zbuffer() {
    return fill.zbuffer;
}

void vec_clear_zbuffer() {
    if (fill.zbuffer)
        memset(fill.zbuffer, 0, sizeof(int32_t) * static_cast<size_t>(fill.width) * fill.height);
}

void vec_set_texture(const void* image, int slot) {
    if (slot >= 1 && slot <= 3) fill.texture[slot] = image;
}

int vec_set_filltype(uint32_t type) {
    // The decision is remembered with the type, so a refused type stays refused on the next polygon.
    if (fill.type_known && type == fill.type) return fill.type_result;
    fill.type_known = true;
    fill.type = type;
    if (fill.bits > 8) {
        fill.span = span_solid32;
        fill.words[0] = 0;
        fill.nwords = 1;
        fill.perspective = false;
        fill.type_result = type != 1;
        return fill.type_result;
    }
    uint32_t mask = 0;
    const uint32_t bits = type & ~kVecUnshaded;
    for (int b = 0; b < 8; b++)
        if (bits & (1u << b)) mask |= kWordsOfBit[b];
    mask |= 1; // x is always walked
    fill.nwords = 0;
    for (int w = 0; w < 8; w++)
        if (mask & (1u << w)) fill.words[fill.nwords++] = w;
    fill.perspective = (type & kVecPerspective) != 0;
    fill.span = nullptr;
    fill.type_result = 0;
    return 0;
}

void vec_poly(int count, vec_pvert* corners, uint32_t colour) {
    if (count < 3 || !corners || !fill.target || !fill.type_known || fill.type_result != 0) return;
    int minx = corners[0].x >> 8, maxx = minx;
    int miny = corners[0].y >> 8, maxy = miny;
    for (int i = 1; i < count; i++) {
        const int x = corners[i].x >> 8, y = corners[i].y >> 8;
        if (x < minx) minx = x;
        if (x > maxx) maxx = x;
        if (y < miny) miny = y;
        if (y > maxy) maxy = y;
    }
    if (maxx < 0 || minx >= fill.width || maxy < 0 || miny >= fill.height) return;
    const int top = miny < 0 ? 0 : miny;
    const int bottom = maxy > fill.height ? fill.height : maxy;

    const uint32_t type = fill.type;
    if ((type & (kVecUnshaded | kVecFlat)) == kVecFlat) {
        const int32_t s = corners[0].shade;
        if (fill.bits == 8) {
            colour += static_cast<uint32_t>(s >> 8);
        } else {
            const uint8_t* p = product + (s & 0xFF00);
            colour = static_cast<uint32_t>(p[colour & 0xFF]) |
                     static_cast<uint32_t>(p[(colour >> 8) & 0xFF]) << 8 |
                     static_cast<uint32_t>(p[(colour >> 16) & 0xFF]) << 16;
        }
    }

    // Rows no edge reaches (degenerate or reversed polygons) stay empty instead of reusing old rows.
    for (int y = top; y < bottom; y++) {
        edges[0][y][0] = INT32_MAX;
        edges[1][y][0] = INT32_MIN;
    }
    for (int i = 0; i < count - 1; i++) walk_edge(corners[i], corners[i + 1]);
    walk_edge(corners[count - 1], corners[0]);
    if (fill.span) fill.span(top, bottom, colour);
}

const int32_t* vec_edge_row(int side, int row) {
    if (side < 0 || side > 1 || row < 0 || row >= kEdgeRows) return nullptr;
    return edges[side][row];
}

int vec_fill_words(int* words) {
    for (int k = 0; k < fill.nwords; k++) words[k] = fill.words[k];
    return fill.nwords;
}
