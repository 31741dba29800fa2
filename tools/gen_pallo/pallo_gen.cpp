// pallo_gen.cpp: the shore scene, written as a 3D Studio file. A rocky islet with a lighthouse (tower,
// lantern and roof below one helper node), two boulders off shore, and last a small faceted ball that the
// shore scene copies and flies around the lighthouse. Camera 1 looks at the lighthouse from the sea.
//
// Scene units, z up; faces wind counter-clockwise seen from outside. Coordinates are rounded to 1/64 unit
// so that the bytes do not depend on the last bit of the maths library; the only randomness is a fixed LCG.
#include "pallo_gen.h"

#include <cmath>
#include <cstring>
#include <string>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Mesh {
    std::string name, material;
    std::vector<float> verts;    // x, y, z per vertex
    std::vector<uint16_t> faces; // a, b, c per face
    std::vector<float> uv;       // u, v per vertex, or empty
    float pivot[3] = {};

    int add(double x, double y, double z) {
        for (double c : {x, y, z}) verts.push_back(float(std::round(c * 64.0) / 64.0));
        return int(verts.size() / 3 - 1);
    }
    void tri(int a, int b, int c) {
        for (int i : {a, b, c}) faces.push_back(uint16_t(i));
    }
    void quad(int a, int b, int c, int d) { // a b c d counter-clockwise
        tri(a, b, c);
        tri(a, c, d);
    }
};

// A fixed linear congruential generator: jitter in [-1, 1) in steps of 1/1024.
struct Jitter {
    uint32_t state;
    double next() {
        state = state * 1103515245u + 12345u;
        return double(int((state >> 16) & 2047) - 1024) / 1024.0;
    }
};

// A closed-at-the-top body of revolution: rings of `sides` vertices (radius, height, jitter), bottom open,
// the top closed by a fan to an apex (or left open when apex_z is NaN).
Mesh lathe(const char* name, const char* material, int sides,
           const std::vector<std::pair<double, double>>& rings, double apex_z, double jitter, uint32_t seed,
           double cx = 0.0, double cy = 0.0, double squash = 1.0) {
    Mesh m;
    m.name = name;
    m.material = material;
    Jitter rnd{seed};
    for (auto [radius, z] : rings) {
        for (int i = 0; i < sides; i++) {
            double a = 2.0 * kPi * i / sides + jitter * 0.15 * rnd.next();
            double r = radius * (1.0 + jitter * rnd.next());
            m.add(cx + r * std::cos(a), cy + squash * r * std::sin(a), z * (1.0 + 0.5 * jitter * rnd.next()));
        }
    }
    for (int k = 0; k + 1 < int(rings.size()); k++) {
        for (int i = 0; i < sides; i++) {
            int j = (i + 1) % sides;
            m.quad(k * sides + i, k * sides + j, (k + 1) * sides + j, (k + 1) * sides + i);
        }
    }
    if (!std::isnan(apex_z)) {
        int top = m.add(cx, cy, apex_z);
        int last = (int(rings.size()) - 1) * sides;
        for (int i = 0; i < sides; i++) m.tri(last + i, last + (i + 1) % sides, top);
    }
    m.pivot[0] = float(cx);
    m.pivot[1] = float(cy);
    m.pivot[2] = float(rings.front().second + apex_z) * 0.5f;
    return m;
}

// The ball: an icosahedron split once (42 vertices, 80 faces) with spherical texture coordinates.
Mesh ball(double radius) {
    Mesh m;
    m.name = "pallo";
    m.material = "PALLO";
    const double t = (1.0 + std::sqrt(5.0)) / 2.0;
    const double base[12][3] = {{-1, t, 0},  {1, t, 0},  {-1, -t, 0}, {1, -t, 0}, {0, -1, t},  {0, 1, t},
                                {0, -1, -t}, {0, 1, -t}, {t, 0, -1},  {t, 0, 1},  {-t, 0, -1}, {-t, 0, 1}};
    const int ico[20][3] = {{0, 11, 5}, {0, 5, 1},  {0, 1, 7},   {0, 7, 10}, {0, 10, 11},
                            {1, 5, 9},  {5, 11, 4}, {11, 10, 2}, {10, 7, 6}, {7, 1, 8},
                            {3, 9, 4},  {3, 4, 2},  {3, 2, 6},   {3, 6, 8},  {3, 8, 9},
                            {4, 9, 5},  {2, 4, 11}, {6, 2, 10},  {8, 6, 7},  {9, 8, 1}};
    std::vector<double> dirs;
    auto push = [&](double x, double y, double z) {
        double l = std::sqrt(x * x + y * y + z * z);
        dirs.insert(dirs.end(), {x / l, y / l, z / l});
        return int(dirs.size() / 3 - 1);
    };
    for (const auto& v : base) push(v[0], v[1], v[2]);
    std::vector<std::pair<uint32_t, int>> midpoints;
    auto mid = [&](int a, int b) {
        uint32_t key = uint32_t(a < b ? a : b) << 16 | uint32_t(a < b ? b : a);
        for (auto [k, i] : midpoints)
            if (k == key) return i;
        int i = push(dirs[3 * a] + dirs[3 * b], dirs[3 * a + 1] + dirs[3 * b + 1],
                     dirs[3 * a + 2] + dirs[3 * b + 2]);
        midpoints.emplace_back(key, i);
        return i;
    };
    std::vector<int> faces;
    for (const auto& f : ico) {
        int ab = mid(f[0], f[1]), bc = mid(f[1], f[2]), ca = mid(f[2], f[0]);
        faces.insert(faces.end(), {f[0], ab, ca, f[1], bc, ab, f[2], ca, bc, ab, bc, ca});
    }
    for (size_t i = 0; i < dirs.size(); i += 3) {
        m.add(radius * dirs[i], radius * dirs[i + 1], radius * dirs[i + 2]);
        double u = std::atan2(dirs[i + 1], dirs[i]) / (2.0 * kPi) + 0.5, v = std::acos(dirs[i + 2]) / kPi;
        m.uv.push_back(float(std::round(u * 1024.0) / 1024.0));
        m.uv.push_back(float(std::round(v * 1024.0) / 1024.0));
    }
    for (size_t i = 0; i < faces.size(); i += 3) m.tri(faces[i], faces[i + 1], faces[i + 2]);
    return m;
}

// Little-endian chunk writer: begin() leaves room for the header, end() fills in the length.
struct Writer {
    std::vector<uint8_t> out;
    void u8(unsigned v) { out.push_back(uint8_t(v)); }
    void u16(unsigned v) {
        u8(v & 0xFF);
        u8(v >> 8 & 0xFF);
    }
    void u32(uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    void f32(float v) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        u32(bits);
    }
    void str(const std::string& s) {
        out.insert(out.end(), s.begin(), s.end());
        u8(0);
    }
    size_t begin(unsigned id) {
        size_t at = out.size();
        u16(id);
        u32(0);
        return at;
    }
    void end(size_t at) {
        uint32_t len = uint32_t(out.size() - at);
        for (int i = 0; i < 4; i++) out[at + 2 + i] = uint8_t(len >> (8 * i));
    }
};

struct Material {
    const char* name;
    uint32_t rgb;
};

void write_material(Writer& w, const Material& m) {
    size_t mat = w.begin(0xAFFF);
    size_t name = w.begin(0xA000);
    w.str(m.name);
    w.end(name);
    size_t diffuse = w.begin(0xA020);
    size_t rgb = w.begin(0x0011);
    w.u8(m.rgb >> 16 & 0xFF);
    w.u8(m.rgb >> 8 & 0xFF);
    w.u8(m.rgb & 0xFF);
    w.end(rgb);
    w.end(diffuse);
    w.end(mat);
}

void write_mesh(Writer& w, const Mesh& m) {
    size_t obj = w.begin(0x4000);
    w.str(m.name);
    size_t tri = w.begin(0x4100);
    size_t verts = w.begin(0x4110);
    w.u16(unsigned(m.verts.size() / 3));
    for (float v : m.verts) w.f32(v);
    w.end(verts);
    if (!m.uv.empty()) {
        size_t uv = w.begin(0x4140);
        w.u16(unsigned(m.uv.size() / 2));
        for (float v : m.uv) w.f32(v);
        w.end(uv);
    }
    size_t axes = w.begin(0x4160); // identity axes, origin 0: vertices are in scene coordinates
    for (int i = 0; i < 12; i++) w.f32(i < 9 && i % 4 == 0 ? 1.0f : 0.0f);
    w.end(axes);
    size_t faces = w.begin(0x4120);
    const unsigned nfaces = unsigned(m.faces.size() / 3);
    w.u16(nfaces);
    for (size_t i = 0; i < m.faces.size(); i += 3) {
        w.u16(m.faces[i]);
        w.u16(m.faces[i + 1]);
        w.u16(m.faces[i + 2]);
        w.u16(7); // all three edges visible
    }
    size_t group = w.begin(0x4130);
    w.str(m.material);
    w.u16(nfaces);
    for (unsigned i = 0; i < nfaces; i++) w.u16(i);
    w.end(group);
    w.end(faces);
    w.end(tri);
    w.end(obj);
}

void write_camera(Writer& w, const char* name, const float pos[3], const float target[3], float roll,
                  float lens) {
    size_t obj = w.begin(0x4000);
    w.str(name);
    size_t cam = w.begin(0x4700);
    for (int i = 0; i < 3; i++) w.f32(pos[i]);
    for (int i = 0; i < 3; i++) w.f32(target[i]);
    w.f32(roll);
    w.f32(lens);
    w.end(cam);
    w.end(obj);
}

void write_node(Writer& w, int id, const std::string& name, int parent, const float pivot[3],
                const char* instance = nullptr) {
    size_t node = w.begin(0xB002);
    size_t nid = w.begin(0xB030);
    w.u16(unsigned(id));
    w.end(nid);
    size_t hdr = w.begin(0xB010);
    w.str(name);
    w.u16(0);
    w.u16(0);
    w.u16(unsigned(parent) & 0xFFFF);
    w.end(hdr);
    if (instance) {
        size_t inst = w.begin(0xB011);
        w.str(instance);
        w.end(inst);
    }
    size_t piv = w.begin(0xB013);
    for (int i = 0; i < 3; i++) w.f32(pivot[i]);
    w.end(piv);
    w.end(node);
}

} // namespace

std::vector<uint8_t> make_pallo() {
    const double nan = std::nan("");
    std::vector<Mesh> meshes;
    // The islet: a jagged low dome.
    meshes.push_back(lathe("kallio", "KALLIO", 14, {{104, -4}, {80, 11}, {50, 24}, {26, 32}}, 36, 0.16, 7));
    // Two boulders off shore, one mesh.
    Mesh a = lathe("kivi", "KIVI", 7, {{26, -3}, {20, 10}, {9, 17}}, 19, 0.22, 11, 150, -40, 0.8);
    Mesh b = lathe("kivi", "KIVI", 6, {{18, -3}, {12, 9}}, 13, 0.22, 23, -140, -95, 0.9);
    const int base = int(a.verts.size() / 3);
    a.verts.insert(a.verts.end(), b.verts.begin(), b.verts.end());
    for (uint16_t f : b.faces) a.faces.push_back(uint16_t(f + base));
    a.pivot[0] = 5;
    a.pivot[1] = -68;
    a.pivot[2] = 8;
    meshes.push_back(a);
    // The lighthouse: a tapering tower, a lantern and a roof.
    meshes.push_back(lathe("torni", "TORNI", 8, {{18, 30}, {15, 70}, {12, 108}}, nan, 0.0, 1));
    meshes.back().pivot[2] = 69;
    meshes.push_back(lathe("lyhty", "LYHTY", 8, {{17, 108}, {11, 111}, {11, 124}}, nan, 0.0, 1));
    meshes.back().pivot[2] = 116;
    meshes.push_back(lathe("katto", "KATTO", 8, {{16, 124}}, 146, 0.0, 1));
    meshes.back().pivot[2] = 131;
    meshes.push_back(ball(11));

    const Material materials[] = {{"KALLIO", 0x8CA0B8}, {"KIVI", 0x70849C},  {"TORNI", 0xF4F2EC},
                                  {"LYHTY", 0xFFE070},  {"KATTO", 0x2C58C8}, {"PALLO", 0x90F0FF}};

    Writer w;
    size_t main = w.begin(0x4D4D);
    size_t version = w.begin(0x0002);
    w.u32(3);
    w.end(version);
    size_t editor = w.begin(0x3D3D);
    size_t mesh_version = w.begin(0x3D3E);
    w.u32(3);
    w.end(mesh_version);
    size_t scale = w.begin(0x0100);
    w.f32(1.0f);
    w.end(scale);
    for (const Material& m : materials) write_material(w, m);
    for (const Mesh& m : meshes) write_mesh(w, m);
    const float cam_pos[3] = {50, -370, 140}, cam_target[3] = {0, 0, 66};
    write_camera(w, "Camera01", cam_pos, cam_target, 0.0f, 35.0f);
    w.end(editor);

    size_t keys = w.begin(0xB000);
    size_t header = w.begin(0xB00A);
    w.u16(5);
    w.str("pallo");
    w.u32(100);
    w.end(header);
    size_t segment = w.begin(0xB008);
    w.u32(0);
    w.u32(100);
    w.end(segment);
    // Hierarchy: a helper "saari" holds the islet, the boulders and the tower; the tower holds the lantern
    // and the roof. The ball stands alone and last, so that it is the last object of the world.
    const float origin[3] = {0, 0, 0};
    write_node(w, 0, "$$$DUMMY", -1, origin, "saari");
    write_node(w, 1, "kallio", 0, meshes[0].pivot);
    write_node(w, 2, "kivi", 0, meshes[1].pivot);
    write_node(w, 3, "torni", 0, meshes[2].pivot);
    write_node(w, 4, "lyhty", 3, meshes[3].pivot);
    write_node(w, 5, "katto", 3, meshes[4].pivot);
    write_node(w, 6, "pallo", -1, meshes[5].pivot);
    w.end(keys);
    w.end(main);
    return w.out;
}
