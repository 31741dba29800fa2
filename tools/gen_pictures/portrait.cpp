// Ray-marched portraits for the picture generator (see portrait.h).
// Units: scene space, y up, the camera on the -z axis looking toward +z; 1 unit is about 32 pixels.
// Only +, -, *, /, sqrt, floor, min and max are used: no libm transcendental whose last bit could
// differ between C libraries, so the posterised output is the same on every IEEE machine.
#include "portrait.h"

#include <algorithm>
#include <cmath>

namespace {

struct V3 {
    double x, y, z;
};
V3 operator+(V3 a, V3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
V3 operator-(V3 a, V3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
V3 operator*(V3 a, double s) {
    return {a.x * s, a.y * s, a.z * s};
}
V3 mul(V3 a, V3 b) {
    return {a.x * b.x, a.y * b.y, a.z * b.z};
}
V3 div(V3 a, V3 b) {
    return {a.x / b.x, a.y / b.y, a.z / b.z};
}
double dot(V3 a, V3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
double length(V3 a) {
    return std::sqrt(dot(a, a));
}
V3 normalize(V3 a) {
    return a * (1.0 / length(a));
}

// A rotation about one axis given by its tangent (no sin/cos needed): c = 1/sqrt(1+t^2), s = t*c.
struct Turn {
    double c, s;
};
Turn turn(double tangent) {
    double c = 1.0 / std::sqrt(1.0 + tangent * tangent);
    return {c, tangent * c};
}
V3 yaw(V3 p, Turn t) {
    return {t.c * p.x + t.s * p.z, p.y, -t.s * p.x + t.c * p.z};
}
V3 pitch(V3 p, Turn t) {
    return {p.x, t.c * p.y - t.s * p.z, t.s * p.y + t.c * p.z};
}
V3 roll(V3 p, Turn t) {
    return {t.c * p.x - t.s * p.y, t.s * p.x + t.c * p.y, p.z};
}

double sd_sphere(V3 p, V3 c, double r) {
    return length(p - c) - r;
}

// Approximate ellipsoid distance: exact on the surface, bounded elsewhere.
double sd_ellipsoid(V3 p, V3 c, V3 r) {
    V3 q = p - c;
    double k0 = length(div(q, r));
    double k1 = length(div(q, mul(r, r)));
    if (k1 < 1e-12) return -std::min(r.x, std::min(r.y, r.z));
    return k0 * (k0 - 1.0) / k1;
}

double sd_capsule(V3 p, V3 a, V3 b, double r) {
    V3 pa = p - a, ba = b - a;
    double h = std::clamp(dot(pa, ba) / dot(ba, ba), 0.0, 1.0);
    return length(pa - ba * h) - r;
}

// Ring about the y axis through c: major radius big, tube radius small.
double sd_torus(V3 p, V3 c, double big, double small) {
    V3 q = p - c;
    double ring = std::sqrt(q.x * q.x + q.z * q.z) - big;
    return std::sqrt(ring * ring + q.y * q.y) - small;
}

// Polynomial smooth minimum / maximum with blend width k.
double smin(double a, double b, double k) {
    double h = std::max(k - std::fabs(a - b), 0.0) / k;
    return std::min(a, b) - h * h * k * 0.25;
}
double smax(double a, double b, double k) {
    return -smin(-a, -b, k);
}

double fract(double x) {
    return x - std::floor(x);
}

enum Material { skin, hair, eye_white, iris, lips, cloth, cloth_dark, knit, beard, beard_light };

constexpr double kAlbedo[] = {0.86, 0.30, 0.8, 0.1, 0.58, 0.78, 0.22, 0.46, 0.3, 0.5};

struct Sample {
    double d;
    Material m;
};
void keep_nearer(Sample& s, double d, Material m) {
    if (d < s.d) s = {d, m};
}

// Face features shared by both sitters, in head space (face toward -z, origin at the skull centre).
struct FaceShape {
    double jaw_width;  // x radius of the lower face
    double nose_len;   // how far the nose tip stands out
    double chin_drop;  // how low the chin reaches
    double brow_depth; // how much the brow overhangs the eyes
    double lid_drop;   // how far the upper lids come down over the eyes
};

struct Face {
    double flesh; // skull, face and ears
    double eyes;  // eyeballs
    double mouth; // lips
};

Face face(V3 p, const FaceShape& f) {
    V3 m = {std::fabs(p.x), p.y, p.z}; // features mirrored about the face's middle
    double d = sd_ellipsoid(p, {0, 0.12, 0.06}, {0.6, 0.7, 0.68});
    d = smin(d, sd_ellipsoid(p, {0, -0.34, -0.1}, {f.jaw_width, 0.46, 0.5}), 0.22);
    d = smin(d, sd_sphere(p, {0, -0.62 - f.chin_drop, -0.36}, 0.17), 0.2);
    d = smin(d, sd_ellipsoid(m, {0.3, -0.12, -0.36}, {0.2, 0.15, 0.18}), 0.16);
    // Brows: a gentle arch from the nose bridge to the temple.
    V3 brow_mid = {0.2, 0.2, -0.56 - f.brow_depth};
    d = smin(d, sd_capsule(m, {0.07, 0.16, -0.56 - f.brow_depth}, brow_mid, 0.06), 0.1);
    d = smin(d, sd_capsule(m, brow_mid, {0.34, 0.15, -0.47}, 0.06), 0.1);
    // Nose: a ridge with a rounded tip and two wings.
    V3 tip = {0, -0.28, -0.66 - f.nose_len};
    d = smin(d, sd_capsule(p, {0, 0.05, -0.58}, tip, 0.055), 0.08);
    d = smin(d, sd_sphere(p, tip, 0.085), 0.06);
    d = smin(d, sd_sphere(m, {0.07, -0.3, -0.6 - 0.6 * f.nose_len}, 0.05), 0.05);
    // Eye sockets are carved out, then the eyeballs sit in them.
    d = smax(d, -sd_sphere(m, {0.21, 0.04, -0.64}, 0.13), 0.07);
    // Ears.
    d = smin(d, sd_ellipsoid(m, {0.6, -0.06, 0.06}, {0.07, 0.17, 0.11}), 0.05);
    // Upper lids hood the eyeballs so the eyes read as eyes, not as marbles.
    d = smin(d, sd_ellipsoid(m, {0.21, 0.115 - f.lid_drop, -0.54}, {0.13, 0.06, 0.1}), 0.03);
    double eyes = sd_sphere(m, {0.21, 0.035, -0.52}, 0.1);
    // Lips: two soft rolls with the mouth line between.
    double mouth = sd_ellipsoid(p, {0, -0.45, -0.565}, {0.15, 0.04, 0.07});
    mouth = std::min(mouth, sd_ellipsoid(p, {0, -0.53, -0.55}, {0.13, 0.045, 0.07}));
    return {d, eyes, mouth};
}

// Eyeball material: a dark iris round the forward axis of the ball, white elsewhere.
Material eye_material(V3 head_point) {
    V3 m = {std::fabs(head_point.x), head_point.y, head_point.z};
    V3 q = m - V3{0.21, 0.035, -0.52};
    return (q.z < 0.0 && q.x * q.x + q.y * q.y < 0.05 * 0.05) ? iris : eye_white;
}

// Sitter 1: a woman with bobbed hair, turned a little to her right, in a striped top.
Sample woman(V3 p) {
    const V3 head_at = {0.02, 0.45, 0.0};
    V3 h = pitch(roll(yaw(p - head_at, turn(-0.52)), turn(0.06)), turn(0.08));
    Face fc = face(h, {0.43, 0.02, -0.04, -0.02, 0.012});
    Sample s = {fc.flesh, skin};
    keep_nearer(s, fc.eyes, eye_white);
    if (fc.mouth < s.d + 0.004) s = {std::min(fc.mouth, s.d), lips};
    if (s.m == eye_white) s.m = eye_material(h);

    // Hair: a bob over the skull, cut back above the forehead and falling to the jaw behind the ear.
    double cap = sd_ellipsoid(h, {0, 0.14, 0.1}, {0.71, 0.82, 0.78});
    double hairline = -(h.z + 0.35 + 1.2 * (h.y - 0.3));
    double hair_d = smax(cap, hairline, 0.1);
    double drape = smax(sd_ellipsoid(h, {0, -0.22, 0.3}, {0.7, 0.62, 0.5}), -(h.z + 0.02), 0.1);
    hair_d = smin(hair_d, drape, 0.15);
    // A side-swept fringe over her left brow.
    hair_d = smin(hair_d, sd_ellipsoid(h, {0.22, 0.5, -0.42}, {0.42, 0.16, 0.26}), 0.12);
    keep_nearer(s, hair_d, hair);

    // Neck and shoulders in body space (turned less than the head).
    V3 b = yaw(p, turn(-0.18));
    double body = sd_capsule(b, {0, 0.0, 0.08}, {0, -0.9, 0.14}, 0.3);
    double torso = sd_ellipsoid(b, {0, -1.68, 0.22}, {1.26, 0.92, 0.58});
    torso =
        smin(torso, sd_ellipsoid({std::fabs(b.x), b.y, b.z}, {0.82, -1.16, 0.25}, {0.44, 0.36, 0.42}), 0.2);
    double skin_body = smin(body, torso, 0.28);
    // The top covers the torso below a scooped neckline; the rest is bare skin.
    double neckline = -0.94 - 0.22 * (1.0 - std::min(1.0, b.x * b.x * 2.5));
    if (skin_body < s.d) {
        Material m = skin;
        if (b.y < neckline) m = fract(b.y * 4.2) < 0.5 ? cloth : cloth_dark;
        s = {skin_body, m};
    }
    return s;
}

// Sitter 2: a bearded fisherman in a knitted cap and a roll-neck sweater, almost facing us.
Sample fisherman(V3 p) {
    const V3 head_at = {0.0, 0.22, 0.0};
    V3 h = pitch(yaw(p - head_at, turn(0.2)), turn(-0.05));
    Face fc = face(h, {0.47, 0.05, 0.03, 0.03, 0.025});
    Sample s = {fc.flesh, skin};
    keep_nearer(s, fc.eyes, eye_white);
    if (s.m == eye_white) s.m = eye_material(h);

    // Beard and moustache wrap the lower face, leaving the lips showing between.
    double beard_d = sd_ellipsoid(h, {0, -0.5, -0.18}, {0.56, 0.5, 0.52});
    beard_d = smax(beard_d, h.y + 0.12 + 0.25 * (h.z + 0.5), 0.08);
    beard_d =
        smin(beard_d, sd_capsule({std::fabs(h.x), h.y, h.z}, {0.02, -0.4, -0.67}, {0.22, -0.47, -0.58}, 0.05),
             0.04);
    beard_d = smax(beard_d, -sd_ellipsoid(h, {0, -0.5, -0.6}, {0.13, 0.045, 0.2}), 0.03);
    // Curls: alternate darker and lighter tufts so the posterised beard reads as hair.
    keep_nearer(s, beard_d, fract(h.x * 8.0 + 3.0 * h.y * h.y) < 0.45 ? beard : beard_light);
    keep_nearer(s, fc.mouth + 0.01, lips);

    // Knitted cap with a turned-up brim.
    double cap = sd_ellipsoid(h, {0, 0.3, 0.06}, {0.66, 0.78, 0.71});
    cap = smax(cap, -(h.y - 0.2 + 0.3 * h.z), 0.05);
    double brim = sd_torus(pitch(h, turn(-0.3)), {0, 0.24, 0.0}, 0.63, 0.11);
    double cap_d = smin(cap, brim, 0.05);
    if (cap_d < s.d) s = {cap_d, brim < cap ? knit : (fract(h.x * 7.0) < 0.5 ? knit : cloth_dark)};

    // Roll neck and broad shoulders.
    V3 b = yaw(p, turn(0.08));
    double collar = sd_torus(b, {0, -0.98, 0.08}, 0.34, 0.15);
    collar = smin(collar, sd_torus(b, {0, -1.2, 0.08}, 0.37, 0.16), 0.06);
    double torso = sd_ellipsoid(b, {0, -2.3, 0.25}, {1.6, 1.05, 0.7});
    torso = smin(torso, sd_ellipsoid({std::fabs(b.x), b.y, b.z}, {1.0, -1.78, 0.3}, {0.6, 0.42, 0.5}), 0.25);
    double neck = sd_capsule(b, {0, -0.3, 0.1}, {0, -1.0, 0.12}, 0.26);
    keep_nearer(s, neck, skin);
    double sweater = smin(collar, torso, 0.12);
    if (sweater < s.d) s = {sweater, (collar < torso + 0.02 || fract(b.x * 5.0) < 0.3) ? knit : cloth_dark};
    return s;
}

struct Scene {
    Sample (*map)(V3);
    V3 eye;       // camera position
    double focal; // focal length in half-widths of the picture
    V3 key_light; // direction toward the key light
    V3 rim_light; // direction toward the rim light
};

double distance(const Scene& sc, V3 p) {
    return sc.map(p).d;
}

V3 normal_at(const Scene& sc, V3 p) {
    constexpr double e = 0.0015;
    const V3 k1 = {1, -1, -1}, k2 = {-1, -1, 1}, k3 = {-1, 1, -1}, k4 = {1, 1, 1};
    V3 n = k1 * distance(sc, p + k1 * e) + k2 * distance(sc, p + k2 * e) + k3 * distance(sc, p + k3 * e) +
           k4 * distance(sc, p + k4 * e);
    return normalize(n);
}

// Penumbra estimate toward a light: 1 = fully lit.
double soft_shadow(const Scene& sc, V3 p, V3 dir) {
    double lit = 1.0, t = 0.03;
    for (int i = 0; i < 40 && t < 4.0; ++i) {
        double h = distance(sc, p + dir * t);
        lit = std::min(lit, 10.0 * h / t);
        if (lit < 0.001) return 0.0;
        t += std::clamp(h, 0.02, 0.3);
    }
    return std::clamp(lit, 0.0, 1.0);
}

double occlusion(const Scene& sc, V3 p, V3 n) {
    double shade = 0.0, weight = 1.0;
    for (int i = 1; i <= 5; ++i) {
        double step = 0.06 * i;
        shade += (step - distance(sc, p + n * step)) * weight;
        weight *= 0.6;
    }
    return std::clamp(1.0 - 2.2 * shade, 0.0, 1.0);
}

// Brightness 0..1+ of the ray through picture point (u, v) in -1..1, or -1 when it misses.
double trace(const Scene& sc, double u, double v) {
    V3 dir = normalize({u, v, sc.focal});
    double t = 4.0;
    for (int i = 0; i < 220 && t < 14.0; ++i) {
        V3 p = sc.eye + dir * t;
        Sample s = sc.map(p);
        if (s.d < 0.0004 * t) {
            V3 n = normal_at(sc, p);
            V3 lift = p + n * 0.004;
            double diffuse = std::max(0.0, dot(n, sc.key_light)) * soft_shadow(sc, lift, sc.key_light);
            double ao = occlusion(sc, p, n);
            double back = std::max(0.0, dot(n, sc.rim_light));
            double facing = 1.0 - std::max(0.0, -dot(n, dir));
            double rim = back * facing * facing;
            double albedo = kAlbedo[s.m];
            return albedo * (0.95 * diffuse + 0.18 * ao) + 0.45 * rim * ao * (0.2 + 0.8 * albedo);
        }
        t += 0.8 * s.d;
    }
    return -1.0;
}

static_assert(kPortraitLevel[0] > kPortraitKey, "no figure level may equal the background key");

uint8_t posterise(double brightness) {
    constexpr double kStep[kPortraitLevels - 1] = {0.12, 0.27, 0.45, 0.66};
    int level = 0;
    while (level < kPortraitLevels - 1 && brightness >= kStep[level]) ++level;
    return kPortraitLevel[level];
}

} // namespace

void render_portrait(Sitter sitter, uint8_t* picture) {
    Scene sc;
    if (sitter == Sitter::woman_in_stripes) {
        sc = {woman, {0, 0.0, -9.0}, 5.2, normalize({-0.6, 0.55, -0.6}), normalize({0.8, 0.3, 0.6})};
    } else {
        sc = {fisherman, {0, -0.05, -8.0}, 4.6, normalize({0.65, 0.5, -0.6}), normalize({-0.8, 0.4, 0.5})};
    }
    // 2x2 samples per pixel: a pixel belongs to the figure when most of its samples hit it.
    constexpr int kSub = 2;
    for (int row = 0; row < kPictureSide; ++row) {
        for (int col = 0; col < kPictureSide; ++col) {
            int hits = 0;
            double sum = 0.0;
            for (int sy = 0; sy < kSub; ++sy) {
                for (int sx = 0; sx < kSub; ++sx) {
                    double u = ((col + (sx + 0.5) / kSub) - 128.0) / 128.0;
                    double v = (128.0 - (row + (sy + 0.5) / kSub)) / 128.0;
                    double b = trace(sc, u, v);
                    if (b >= 0.0) {
                        ++hits;
                        sum += b;
                    }
                }
            }
            picture[row * kPictureSide + col] =
                (2 * hits > kSub * kSub) ? posterise(sum / hits) : kPortraitKey;
        }
    }
}
