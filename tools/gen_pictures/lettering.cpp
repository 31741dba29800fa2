// Stroke-font caption renderer (see lettering.h).
// Glyph units: baseline at y = 0, y up, x-height 5, capitals 7.5, ascenders 8, descenders -2.8.
// A glyph is a small path program: "M x y" moves the pen, "L x y" draws a line, "C x1 y1 x2 y2 x y"
// a cubic curve, "E cx cy rx ry e0 e1" an elliptical arc from e0 to e1 eighths of a turn
// (counter-clockwise when e1 > e0). Paths are flattened to segments, slanted a little, and inked
// with a round pen; each pixel's coverage counts its 8x8 subsamples that lie under the pen.
#include "lettering.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

struct Glyph {
    char code;
    double advance; // ink width in units; letters are spaced by kTracking on top
    const char* path;
};

// clang-format off
constexpr Glyph kGlyphs[] = {
    {' ', 1.6, ""},
    {'.', 0.6, "M 0.3 0 L 0.3 0.1"},
    {',', 0.8, "M 0.6 0.2 L 0.1 -1.3"},
    {'\'', 0.6, "M 0.4 8 L 0.2 6.2"},
    {'S', 4.8, "M 4.6 6.4 C 4.1 7.2 3.3 7.5 2.4 7.5 C 1.1 7.5 0.3 6.8 0.3 5.7 C 0.3 4.6 1.2 4.2 2.5 3.8 "
               "C 3.9 3.4 4.8 2.9 4.8 1.8 C 4.8 0.7 3.8 0 2.5 0 C 1.4 0 0.5 0.4 0 1.2"},
    {'a', 4.4, "E 2.2 2.5 2.2 2.5 0 8 M 4.4 5 L 4.4 0"},
    {'b', 4.6, "M 0 8 L 0 0 E 2.3 2.5 2.3 2.5 0 8"},
    {'c', 4.3, "E 2.3 2.5 2.3 2.5 1 7"},
    {'d', 4.6, "E 2.3 2.5 2.3 2.5 0 8 M 4.6 8 L 4.6 0"},
    {'e', 4.6, "M 0.1 2.5 L 4.6 2.5 E 2.3 2.5 2.3 2.5 0 7"},
    {'f', 3.4, "M 1.4 0 L 1.4 6.2 C 1.4 7.6 2.2 8 3.4 7.8 M 0 5 L 3.2 5"},
    {'g', 4.4, "E 2.2 2.5 2.2 2.5 0 8 M 4.4 5 L 4.4 -1 C 4.4 -2.4 3.4 -2.8 2.2 -2.8 C 1.2 -2.8 0.5 -2.4 0.3 -1.8"},
    {'h', 4.2, "M 0 8 L 0 0 M 0 3.2 C 0 4.4 1 5 2.2 5 C 3.4 5 4.2 4.4 4.2 3.2 L 4.2 0"},
    {'i', 0.6, "M 0.3 0 L 0.3 5 M 0.3 6.8 L 0.3 6.9"},
    {'j', 1.5, "M 1.2 5 L 1.2 -1.4 C 1.2 -2.4 0.6 -2.8 -0.4 -2.7 M 1.2 6.8 L 1.2 6.9"},
    {'k', 4.0, "M 0 8 L 0 0 M 3.8 5 L 0 1.8 M 1.4 2.9 L 4 0"},
    {'l', 0.6, "M 0.3 8 L 0.3 0"},
    {'m', 6.6, "M 0 0 L 0 5 M 0 3.3 C 0 4.5 0.7 5 1.7 5 C 2.7 5 3.3 4.5 3.3 3.3 L 3.3 0 "
               "M 3.3 3.3 C 3.3 4.5 4 5 5 5 C 6 5 6.6 4.5 6.6 3.3 L 6.6 0"},
    {'n', 4.2, "M 0 0 L 0 5 M 0 3.2 C 0 4.4 1 5 2.2 5 C 3.4 5 4.2 4.4 4.2 3.2 L 4.2 0"},
    {'o', 4.6, "E 2.3 2.5 2.3 2.5 0 8"},
    {'p', 4.6, "M 0 5 L 0 -2.8 E 2.3 2.5 2.3 2.5 0 8"},
    {'q', 4.6, "E 2.3 2.5 2.3 2.5 0 8 M 4.6 5 L 4.6 -2.8"},
    {'r', 3.4, "M 0 0 L 0 5 M 0 3 C 0 4.3 1 5 2.2 5 C 2.8 5 3.2 4.8 3.4 4.5"},
    {'s', 4.1, "M 3.9 4.2 C 3.5 4.8 2.8 5 2 5 C 1 5 0.3 4.5 0.3 3.7 C 0.3 2.9 1 2.6 2.1 2.4 "
               "C 3.3 2.2 4 1.9 4 1.2 C 4 0.4 3.2 0 2.1 0 C 1.2 0 0.5 0.3 0.1 0.9"},
    {'t', 3.2, "M 1.2 7 L 1.2 1.1 C 1.2 0.3 1.6 0 2.3 0 C 2.7 0 3 0.1 3.2 0.3 M 0 5 L 3 5"},
    {'u', 4.2, "M 0 5 L 0 1.8 C 0 0.6 0.8 0 2.1 0 C 3.4 0 4.2 0.6 4.2 1.8 M 4.2 5 L 4.2 0"},
    {'v', 4.2, "M 0 5 L 2.1 0 L 4.2 5"},
    {'w', 6.2, "M 0 5 L 1.6 0 L 3.1 4 L 4.6 0 L 6.2 5"},
    {'x', 4.0, "M 0 5 L 4 0 M 4 5 L 0 0"},
    {'y', 4.2, "M 0 5 L 2.1 0 M 4.2 5 L 1.6 -1.6 C 1.2 -2.5 0.8 -2.8 0 -2.8"},
    {'z', 4.0, "M 0.2 5 L 4 5 L 0 0 L 4 0"},
};
// clang-format on

constexpr double kTracking = 1.5;  // units between one glyph's ink and the next
constexpr double kPenWidth = 1.2;  // units
constexpr double kSlant = 0.12;    // x shift per unit of height
constexpr double kCapUnits = 7.5;  // capital height in units
constexpr int kCurvePieces = 12;   // segments per cubic curve
constexpr int kSub = 8;            // subsamples per pixel side (8 x 8 = 64 bits)
constexpr int kScratchWidth = 640; // a line is drawn here before it is placed in its band
constexpr double kPenStart = 16.0; // scratch column of the first pen position

// 4/3 tan(pi/16): the handle length of a cubic that follows an eighth of a circle.
constexpr double kEighthHandle = 0.26521648984;
constexpr double kRoot2Half = 0.70710678118654752;
constexpr double kEighthCos[8] = {1, kRoot2Half, 0, -kRoot2Half, -1, -kRoot2Half, 0, kRoot2Half};
constexpr double kEighthSin[8] = {0, kRoot2Half, 1, kRoot2Half, 0, -kRoot2Half, -1, -kRoot2Half};

struct Point {
    double x, y;
};
struct Segment {
    Point a, b;
};

constexpr int kMaxSegments = 8192;

// Flattened lettering of one line, in scratch pixel coordinates.
struct Strokes {
    Segment seg[kMaxSegments];
    int count = 0;
};

const Glyph* find_glyph(char c) {
    for (const Glyph& g : kGlyphs)
        if (g.code == c) return &g;
    return nullptr;
}

// Maps glyph units to scratch pixels for one glyph placed at pen position `pen` (units).
struct Placement {
    double pen, scale, baseline;
    Point to_pixels(Point u) const {
        return {kPenStart + (pen + u.x + kSlant * u.y) * scale, baseline - u.y * scale};
    }
};

void add_segment(Strokes& s, Point a, Point b) {
    if (s.count < kMaxSegments) s.seg[s.count++] = {a, b};
}

void add_cubic(Strokes& s, const Placement& pl, Point p0, Point p1, Point p2, Point p3) {
    Point prev = pl.to_pixels(p0);
    for (int i = 1; i <= kCurvePieces; ++i) {
        double t = double(i) / kCurvePieces, u = 1.0 - t;
        double w0 = u * u * u, w1 = 3.0 * u * u * t, w2 = 3.0 * u * t * t, w3 = t * t * t;
        Point q = {w0 * p0.x + w1 * p1.x + w2 * p2.x + w3 * p3.x,
                   w0 * p0.y + w1 * p1.y + w2 * p2.y + w3 * p3.y};
        Point next = pl.to_pixels(q);
        add_segment(s, prev, next);
        prev = next;
    }
}

// One eighth-turn arc of the ellipse (c, r) from eighth e to e + dir (dir = +1 or -1).
void add_eighth(Strokes& s, const Placement& pl, Point c, Point r, int e, int dir) {
    int e0 = ((e % 8) + 8) % 8, e1 = (((e + dir) % 8) + 8) % 8;
    double k = kEighthHandle * dir;
    Point p0 = {c.x + r.x * kEighthCos[e0], c.y + r.y * kEighthSin[e0]};
    Point p3 = {c.x + r.x * kEighthCos[e1], c.y + r.y * kEighthSin[e1]};
    Point p1 = {p0.x - k * r.x * kEighthSin[e0], p0.y + k * r.y * kEighthCos[e0]};
    Point p2 = {p3.x + k * r.x * kEighthSin[e1], p3.y - k * r.y * kEighthCos[e1]};
    add_cubic(s, pl, p0, p1, p2, p3);
}

// Runs one glyph's path program. Paths are our own constants, so a malformed one is a bug: it stops.
void add_glyph(Strokes& s, const Placement& pl, const char* path) {
    Point pen = {0, 0};
    const char* p = path;
    auto number = [&p]() {
        char* end = nullptr;
        double v = std::strtod(p, &end);
        p = end;
        return v;
    };
    while (*p) {
        char op = *p++;
        if (op == ' ') continue;
        if (op == 'M') {
            pen.x = number();
            pen.y = number();
        } else if (op == 'L') {
            Point to = {number(), number()}; // braced lists evaluate left to right
            add_segment(s, pl.to_pixels(pen), pl.to_pixels(to));
            pen = to;
        } else if (op == 'C') {
            double v[6];
            for (double& x : v) x = number();
            Point to = {v[4], v[5]};
            add_cubic(s, pl, pen, {v[0], v[1]}, {v[2], v[3]}, to);
            pen = to;
        } else if (op == 'E') {
            double v[6];
            for (double& x : v) x = number();
            int e0 = int(v[4]), e1 = int(v[5]);
            int dir = e1 > e0 ? 1 : -1;
            for (int e = e0; e != e1; e += dir) add_eighth(s, pl, {v[0], v[1]}, {v[2], v[3]}, e, dir);
        } else {
            return;
        }
    }
}

// Lays out `text` at `scale` pixels per unit along `baseline`.
void build_strokes(Strokes& s, const char* text, double scale, double baseline) {
    s.count = 0;
    double pen = 0.0;
    for (const char* c = text; *c; ++c) {
        const Glyph* g = find_glyph(*c);
        if (!g) continue;
        add_glyph(s, {pen, scale, baseline}, g->path);
        pen += g->advance + kTracking;
    }
}

// Inks the strokes into `cover` (kScratchWidth x kBandRows bytes) with a round pen of `radius`
// pixels: each pixel keeps a 64-bit mask of its subsamples under the pen.
void ink(const Strokes& s, double radius, uint8_t* cover) {
    static uint64_t mask[kScratchWidth * kBandRows];
    std::memset(mask, 0, sizeof mask);
    double r2 = radius * radius;
    for (int i = 0; i < s.count; ++i) {
        Point a = s.seg[i].a, b = s.seg[i].b;
        int x0 = std::max(0, int(std::floor(std::min(a.x, b.x) - radius)));
        int x1 = std::min(kScratchWidth - 1, int(std::floor(std::max(a.x, b.x) + radius)));
        int y0 = std::max(0, int(std::floor(std::min(a.y, b.y) - radius)));
        int y1 = std::min(kBandRows - 1, int(std::floor(std::max(a.y, b.y) + radius)));
        double dx = b.x - a.x, dy = b.y - a.y, len2 = dx * dx + dy * dy;
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) {
                uint64_t bits = 0;
                for (int sy = 0; sy < kSub; ++sy) {
                    double py = y + (sy + 0.5) / kSub - a.y;
                    for (int sx = 0; sx < kSub; ++sx) {
                        double px = x + (sx + 0.5) / kSub - a.x;
                        double t = len2 > 0.0 ? std::clamp((px * dx + py * dy) / len2, 0.0, 1.0) : 0.0;
                        double ex = px - t * dx, ey = py - t * dy;
                        if (ex * ex + ey * ey <= r2) bits |= uint64_t(1) << (sy * kSub + sx);
                    }
                }
                mask[y * kScratchWidth + x] |= bits;
            }
        }
    }
    for (int i = 0; i < kScratchWidth * kBandRows; ++i)
        cover[i] = uint8_t((std::popcount(mask[i]) * 255 + 32) / 64);
}

struct InkSpan {
    int first, last; // inked scratch columns, first > last when nothing is inked
};

InkSpan ink_span(const uint8_t* cover) {
    InkSpan span = {kScratchWidth, -1};
    for (int y = 0; y < kBandRows; ++y) {
        for (int x = 0; x < kScratchWidth; ++x) {
            if (cover[y * kScratchWidth + x]) {
                span.first = std::min(span.first, x);
                span.last = std::max(span.last, x);
            }
        }
    }
    return span;
}

} // namespace

// clang-format off
const BandLayout kCaptionBands[kBandCount] = {
    {"Shoreline",                     15.0, 1.45, 19.0, false, 0, 35, 70},
    {"an evening by the sea",         12.5, 1.2, 16.0, false, 0, 95, 188},
    {"salt wind and a low gold sun",  12.5, 1.2, 16.0, true, 1, 0, 248},
    {"waves fold the last light in",  12.5, 1.2, 16.0, true, 1, 0, 248},
    {"and the shore keeps every tide", 12.5, 1.2, 16.0, true, 1, 0, 248},
    {"good night",                    12.5, 1.2, 16.0, false, 0, 40, 80},
};
// clang-format on

bool lettering_supported(const char* text) {
    for (const char* c = text; *c; ++c)
        if (!find_glyph(*c)) return false;
    return true;
}

int render_band(const BandLayout& layout, uint8_t* band) {
    static Strokes strokes;
    static uint8_t cover[kScratchWidth * kBandRows];
    std::memset(band, 0, kBandWidth * kBandRows);
    double scale = layout.cap_height / kCapUnits;
    InkSpan span = {0, -1};
    // Shrink until the ink fits its budget; a few rounds settle it since width is nearly linear in scale.
    for (int round = 0; round < 8; ++round) {
        build_strokes(strokes, layout.text, scale, layout.baseline);
        ink(strokes, 0.5 * layout.pen * scale, cover);
        span = ink_span(cover);
        int width = span.last - span.first + 1;
        if (width <= layout.max_width) break;
        scale *= 0.995 * layout.max_width / width;
    }
    if (span.last < span.first) return 0;
    int width = span.last - span.first + 1;
    int left = layout.align_left ? layout.left : layout.centre - width / 2;
    for (int y = 0; y < kBandRows; ++y) {
        for (int x = 0; x < width; ++x) {
            int to = left + x;
            if (to >= 0 && to < kBandWidth)
                band[y * kBandWidth + to] = cover[y * kScratchWidth + span.first + x];
        }
    }
    return width;
}

void render_captions(uint8_t* bitmap) {
    std::memset(bitmap, 0, kBandWidth * kBandWidth);
    for (int b = 0; b < kBandCount; ++b) render_band(kCaptionBands[b], bitmap + b * kBandRows * kBandWidth);
}
