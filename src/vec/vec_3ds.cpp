// vec_3ds.cpp: the 3D Studio scene reader of the vector engine (vec_set_source, vec_load_camera,
// vec_load_objects, vec_get_camera, vec_get_objects). Main thread, scene set-up only.
//
// A scene is a tree of chunks: a 16-bit id and a 32-bit length that counts the 6-byte header, little endian.
// The reader walks the main chunk (0x4D4D) once, checking every length against its parent, and collects
//   - the editor section (0x3D3D): named objects (0x4000) holding a triangle mesh (0x4100: vertices 0x4110,
//     faces 0x4120 with material groups 0x4130, texture coordinates 0x4140, local axes 0x4160) or a camera
//     (0x4700: position, target, roll in degrees, lens);
//   - the key-frame section (0xB000): nodes 0xB001..0xB007 with their id (0xB030), header (0xB010: name,
//     two flag words, parent id), instance name (0xB011, names "$$$DUMMY" helpers) and pivot (0xB013).
// Everything is validated before anything is allocated, so a refused scene (result 1, the reason in
// vec_errorstr) leaves the world as it was. Units written into the records: positions and pivots x 256,
// texture coordinates x 65536, roll in 1/1024 turn. Safe for untrusted data: every read is bounded by the
// data's size, and a scene of N bytes takes time linear in N and memory of at most kCostPerFileByte * N plus
// a fixed allowance for its objects: each node naming a mesh gets a whole copy of it, so a scene whose nodes
// name its meshes more often than that allows is refused before anything is built.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "vec.h"

namespace {

constexpr uint16_t kMain = 0x4D4D;
constexpr uint16_t kEditor = 0x3D3D;
constexpr uint16_t kNamedObject = 0x4000;
constexpr uint16_t kTriMesh = 0x4100;
constexpr uint16_t kVertices = 0x4110;
constexpr uint16_t kFaces = 0x4120;
constexpr uint16_t kFaceMaterial = 0x4130;
constexpr uint16_t kTexCoords = 0x4140;
constexpr uint16_t kLocalAxes = 0x4160;
constexpr uint16_t kCamera = 0x4700;
constexpr uint16_t kKeyframes = 0xB000;
constexpr uint16_t kFirstNodeTag = 0xB001; // ambient, object, camera, target, light, light target, spot
constexpr uint16_t kLastNodeTag = 0xB007;
constexpr uint16_t kObjectNode = 0xB002;
constexpr uint16_t kNodeHeader = 0xB010;
constexpr uint16_t kInstanceName = 0xB011;
constexpr uint16_t kPivot = 0xB013;
constexpr uint16_t kNodeId = 0xB030;
constexpr uint16_t kNoParent = 0xFFFF;

constexpr size_t kHeader = 6;
constexpr float kWorldScale = 256.0f;
constexpr float kUvScale = 65536.0f;
constexpr float kDegreesToAngle = 1024.0f / 360.0f;
// Coordinates beyond this many scene units are refused: times 256 they would leave the int32 range that the
// engine's depth and screen arithmetic truncates into.
constexpr float kMaxCoordinate = 4194304.0f;
constexpr long kMaxFileSize = 64L << 20;
constexpr size_t kMaxObjects = 65536;

// Memory that building an object takes: the record with its share block and list node; per vertex the
// object-space, camera-space and screen positions, the normals in object and camera space and the texture
// coordinates; per face its index words.
constexpr size_t kObjectCost = sizeof(vec_object) + sizeof(vec_objshare) + sizeof(vec_objnode);
constexpr size_t kVertexCost = sizeof(float) * (3 + 3 + 2 + 3 + 3 + 2);
constexpr size_t kFaceCost = sizeof(vec_face);
// The objects of a scene may cost this many bytes per byte of the file, plus the allowance. A mesh built
// once costs at most about six times its bytes in the file and a helper node about 25 times the 20 bytes it
// takes at least, so every scene that builds each of its meshes about once fits.
constexpr size_t kCostPerFileByte = 32;
constexpr size_t kCostAllowance = size_t(1) << 20;

constexpr const char* kErrRead = "cannot read the scene file";
constexpr const char* kErrMalformed = "malformed scene";
constexpr const char* kErrTooLarge = "scene refused: its nodes build more than its size allows";
constexpr const char* kErrMemory = "out of memory while building the scene";
constexpr const char* kErrCamera = "no such camera in the scene";
constexpr std::string_view kDummyName = "$$$DUMMY";

int source_is_memory = 0;

// A byte range of the scene: [begin, end) inside data.
struct Range {
    size_t begin, end;
};

struct Chunk {
    uint16_t id;
    Range body; // the bytes after the 6-byte header
};

// Bounded little-endian reads. A failed read sets `bad` and returns 0; callers test `bad` once per chunk.
struct Reader {
    const uint8_t* data;
    size_t size;
    bool bad = false;

    bool has(size_t off, size_t end, size_t n) const { return off <= end && end <= size && n <= end - off; }
    uint16_t u16(size_t& off, size_t end) {
        if (!has(off, end, 2)) return fail();
        uint16_t v = uint16_t(data[off] | data[off + 1] << 8);
        off += 2;
        return v;
    }
    uint32_t u32(size_t& off, size_t end) {
        if (!has(off, end, 4)) return fail();
        uint32_t v = uint32_t(data[off]) | uint32_t(data[off + 1]) << 8 | uint32_t(data[off + 2]) << 16 |
                     uint32_t(data[off + 3]) << 24;
        off += 4;
        return v;
    }
    // A float that must be finite and within the coordinate range.
    float f32(size_t& off, size_t end) {
        uint32_t bits = u32(off, end);
        float v;
        std::memcpy(&v, &bits, sizeof v);
        if (!std::isfinite(v) || std::fabs(v) > kMaxCoordinate) {
            bad = true;
            return 0.0f;
        }
        return v;
    }
    // A NUL-terminated string inside [off, end); the view excludes the terminator.
    std::string_view str(size_t& off, size_t end) {
        if (!has(off, end, 0)) return fail(), std::string_view{};
        const void* nul = std::memchr(data + off, 0, end - off);
        if (!nul) return fail(), std::string_view{};
        size_t n = size_t(static_cast<const uint8_t*>(nul) - (data + off));
        std::string_view s(reinterpret_cast<const char*>(data + off), n);
        off += n + 1;
        return s;
    }
    // The next chunk of a chunk list [off, end); false at the end of the list or (with `bad`) on a bad
    // length.
    bool next(size_t& off, size_t end, Chunk& c) {
        if (bad || off >= end) return false;
        if (end - off < kHeader) return fail(), false;
        size_t at = off;
        c.id = u16(at, end);
        uint32_t len = u32(at, end);
        if (len < kHeader || len > end - off) return fail(), false;
        c.body = {off + kHeader, off + len};
        off += len;
        return true;
    }
    uint16_t fail() {
        bad = true;
        return 0;
    }
};

struct MeshInfo {
    std::string_view name;
    size_t verts = 0, faces = 0, uv = 0; // offsets of the arrays after their counts
    int nverts = 0, nfaces = 0, nuv = 0;
    bool has_axes = false;
    float axes[12] = {}; // x axis, y axis, z axis, origin
    std::string_view material;
    bool used = false; // claimed by a key-frame node
};

struct CameraInfo {
    std::string_view name;
    float pos[3], target[3], roll;
};

struct NodeInfo {
    uint16_t tag = 0;
    int id = 0;
    std::string_view name, instance;
    int parent_id = kNoParent;
    float pivot[3] = {};
    int parent = -1; // index of the parent node
    int first_child = -1, next_sibling = -1;
    bool wanted = false; // an object node, or an ancestor of one
};

struct Scene {
    std::vector<MeshInfo> meshes;
    std::vector<CameraInfo> cameras;
    std::vector<NodeInfo> nodes;
};

// An object to build: a mesh (or none, for a hierarchy helper) with its name, pivot and level.
struct Plan {
    const MeshInfo* mesh;
    std::string_view name;
    float pivot[3];
    int level;
};

void read_vec3(Reader& r, size_t& off, size_t end, float* out) {
    for (int i = 0; i < 3; i++) out[i] = r.f32(off, end);
}

bool read_faces(Reader& r, Range body, MeshInfo& m) {
    size_t off = body.begin;
    m.nfaces = r.u16(off, body.end);
    if (r.bad || size_t(m.nfaces) * 8 > body.end - off) return false;
    m.faces = off;
    off += size_t(m.nfaces) * 8;
    Chunk c;
    while (r.next(off, body.end, c)) {
        if (c.id != kFaceMaterial) continue;
        size_t at = c.body.begin;
        std::string_view material = r.str(at, c.body.end);
        int count = r.u16(at, c.body.end);
        if (r.bad || size_t(count) * 2 > c.body.end - at) return false;
        for (int i = 0; i < count; i++)
            if (r.u16(at, c.body.end) >= m.nfaces) return false;
        if (m.material.empty()) m.material = material;
    }
    return !r.bad;
}

bool read_mesh(Reader& r, Range body, MeshInfo& m) {
    size_t off = body.begin;
    Chunk c;
    while (r.next(off, body.end, c)) {
        size_t at = c.body.begin;
        switch (c.id) {
        case kVertices:
            m.nverts = r.u16(at, c.body.end);
            if (r.bad || size_t(m.nverts) * 12 > c.body.end - at) return false;
            m.verts = at;
            for (int i = 0; i < m.nverts * 3; i++) r.f32(at, c.body.end);
            break;
        case kFaces:
            if (!read_faces(r, c.body, m)) return false;
            break;
        case kTexCoords:
            m.nuv = r.u16(at, c.body.end);
            if (r.bad || size_t(m.nuv) * 8 > c.body.end - at) return false;
            m.uv = at;
            for (int i = 0; i < m.nuv * 2; i++) r.f32(at, c.body.end);
            break;
        case kLocalAxes:
            for (float& a : m.axes) a = r.f32(at, c.body.end);
            m.has_axes = true;
            break;
        default:
            break;
        }
        if (r.bad) return false;
    }
    if (r.bad) return false;
    // Faces may precede the vertices in the file, so their indices are checked once the mesh is complete.
    for (size_t i = 0; i < size_t(m.nfaces); i++) {
        size_t at = m.faces + 8 * i;
        for (int k = 0; k < 3; k++)
            if (r.u16(at, body.end) >= m.nverts) return false;
    }
    return !r.bad;
}

bool read_editor(Reader& r, Range body, Scene& s) {
    size_t off = body.begin;
    Chunk c;
    while (r.next(off, body.end, c)) {
        if (c.id != kNamedObject) continue;
        size_t at = c.body.begin;
        std::string_view name = r.str(at, c.body.end);
        Chunk sub;
        while (r.next(at, c.body.end, sub)) {
            if (sub.id == kTriMesh) {
                MeshInfo m;
                m.name = name;
                if (!read_mesh(r, sub.body, m)) return false;
                s.meshes.push_back(m);
            } else if (sub.id == kCamera) {
                CameraInfo cam;
                cam.name = name;
                size_t p = sub.body.begin;
                read_vec3(r, p, sub.body.end, cam.pos);
                read_vec3(r, p, sub.body.end, cam.target);
                cam.roll = r.f32(p, sub.body.end);
                r.f32(p, sub.body.end); // lens, unused
                Chunk range;            // then the optional cone and ranges chunks, checked only
                while (r.next(p, sub.body.end, range)) {
                }
                if (r.bad) return false;
                s.cameras.push_back(cam);
            }
        }
        if (r.bad) return false;
    }
    return !r.bad;
}

bool read_node(Reader& r, Chunk node, int index, NodeInfo& n) {
    n.tag = node.id;
    n.id = index; // files without node ids number their nodes in order
    size_t off = node.body.begin;
    Chunk c;
    while (r.next(off, node.body.end, c)) {
        size_t at = c.body.begin;
        switch (c.id) {
        case kNodeId:
            n.id = r.u16(at, c.body.end);
            break;
        case kNodeHeader:
            n.name = r.str(at, c.body.end);
            r.u16(at, c.body.end); // flags
            r.u16(at, c.body.end);
            n.parent_id = r.u16(at, c.body.end);
            break;
        case kInstanceName:
            n.instance = r.str(at, c.body.end);
            break;
        case kPivot:
            read_vec3(r, at, c.body.end, n.pivot);
            break;
        default:
            break;
        }
        if (r.bad) return false;
    }
    return !r.bad;
}

bool read_keyframes(Reader& r, Range body, Scene& s) {
    size_t off = body.begin;
    Chunk c;
    while (r.next(off, body.end, c)) {
        if (c.id < kFirstNodeTag || c.id > kLastNodeTag) continue;
        NodeInfo n;
        if (!read_node(r, c, int(s.nodes.size()), n)) return false;
        s.nodes.push_back(n);
    }
    return !r.bad;
}

// Links every node to its parent (the first node carrying the parent id; an unknown id makes a root), lists
// each node's children in file order and refuses a cycle. Marks the object nodes and their ancestors as the
// nodes that become objects.
bool link_nodes(Scene& s) {
    const int count = int(s.nodes.size());
    std::vector<int> by_id(0x10000, -1);
    // A node numbered by its place beyond 65535 cannot be named as a parent by a 16-bit id.
    for (int i = count - 1; i >= 0; i--)
        if (s.nodes[i].id <= 0xFFFF) by_id[size_t(s.nodes[i].id)] = i;
    std::vector<int> last_child(size_t(count), -1);
    for (int i = 0; i < count; i++) {
        NodeInfo& n = s.nodes[i];
        if (n.parent_id == kNoParent) continue;
        n.parent = by_id[size_t(n.parent_id)];
        if (n.parent < 0) continue;
        NodeInfo& p = s.nodes[n.parent];
        if (p.first_child < 0)
            p.first_child = i;
        else
            s.nodes[last_child[size_t(n.parent)]].next_sibling = i;
        last_child[size_t(n.parent)] = i;
    }
    // Every node outside a cycle is reached from a root.
    int reached = 0;
    std::vector<int> stack;
    for (int i = 0; i < count; i++) {
        if (s.nodes[i].parent >= 0) continue;
        stack.push_back(i);
        while (!stack.empty()) {
            int k = stack.back();
            stack.pop_back();
            reached++;
            for (int c = s.nodes[k].first_child; c >= 0; c = s.nodes[c].next_sibling) stack.push_back(c);
        }
    }
    if (reached != count) return false;
    for (NodeInfo& n : s.nodes) {
        if (n.tag != kObjectNode) continue;
        for (NodeInfo* p = &n; p && !p->wanted; p = p->parent >= 0 ? &s.nodes[p->parent] : nullptr)
            p->wanted = true;
    }
    return true;
}

bool parse_scene(const uint8_t* data, size_t size, Scene& s) {
    if (!data) return false;
    Reader r{data, size};
    size_t off = 0;
    Chunk main;
    if (!r.next(off, size, main) || main.id != kMain) return false;
    off = main.body.begin;
    Chunk c;
    while (r.next(off, main.body.end, c)) {
        if (c.id == kEditor && !read_editor(r, c.body, s)) return false;
        if (c.id == kKeyframes && !read_keyframes(r, c.body, s)) return false;
    }
    return !r.bad && link_nodes(s);
}

// The objects to build, depth-first with parents before children and siblings in file order; levels count the
// depth in the node tree. Meshes that no node names follow at level 0 in file order.
bool plan_objects(Scene& s, std::vector<Plan>& plans) {
    std::unordered_map<std::string_view, MeshInfo*> mesh_by_name;
    for (MeshInfo& m : s.meshes) mesh_by_name.emplace(m.name, &m);
    std::vector<std::pair<int, int>> stack; // node, level
    for (int root = int(s.nodes.size()) - 1; root >= 0; root--)
        if (s.nodes[root].parent < 0) stack.emplace_back(root, 0);
    std::vector<int> children;
    while (!stack.empty()) {
        auto [k, level] = stack.back();
        stack.pop_back();
        const NodeInfo& n = s.nodes[k];
        if (!n.wanted) continue;
        Plan p{nullptr, n.name, {n.pivot[0], n.pivot[1], n.pivot[2]}, level};
        if (n.tag == kObjectNode && n.name == kDummyName) {
            p.name = n.instance;
        } else if (n.tag == kObjectNode) {
            auto it = mesh_by_name.find(n.name);
            if (it != mesh_by_name.end()) {
                p.mesh = it->second;
                it->second->used = true;
            }
        }
        plans.push_back(p);
        children.clear();
        for (int c = n.first_child; c >= 0; c = s.nodes[c].next_sibling) children.push_back(c);
        for (size_t i = children.size(); i-- > 0;) stack.emplace_back(children[i], level + 1);
    }
    for (const MeshInfo& m : s.meshes)
        if (!m.used) plans.push_back(Plan{&m, m.name, {0, 0, 0}, 0});
    return plans.size() <= kMaxObjects;
}

// True if building the plans stays within what a file of `size` bytes may cost.
bool within_budget(const std::vector<Plan>& plans, size_t size) {
    const size_t budget = size > (SIZE_MAX - kCostAllowance) / kCostPerFileByte
                              ? SIZE_MAX
                              : kCostAllowance + kCostPerFileByte * size;
    size_t cost = 0; // at most 65536 objects of 65535 vertices and faces: no overflow
    for (const Plan& p : plans) {
        cost += kObjectCost;
        if (p.mesh) cost += size_t(p.mesh->nverts) * kVertexCost + size_t(p.mesh->nfaces) * kFaceCost;
        if (cost > budget) return false;
    }
    return true;
}

void copy_name(char* dst, size_t capacity, std::string_view src) {
    size_t n = src.size() < capacity - 1 ? src.size() : capacity - 1;
    if (n > 0) std::memcpy(dst, src.data(), n);
    dst[n] = 0;
}

float le_float(const uint8_t* p) {
    uint32_t bits = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// Builds one object from a validated plan; null if memory runs out.
vec_object* build_object(const uint8_t* data, const Plan& p) {
    const MeshInfo* m = p.mesh;
    const int nverts = m ? m->nverts : 0, nfaces = m ? m->nfaces : 0;
    vec_object* obj = vec_alloc_object(nverts, nfaces, m && m->nuv > 0);
    if (!obj) return nullptr;
    for (int i = 0; i < nverts * 3; i++)
        obj->verts[i] = le_float(data + m->verts + 4 * size_t(i)) * kWorldScale;
    for (int i = 0; i < nfaces; i++) {
        const uint8_t* f = data + m->faces + 8 * size_t(i);
        for (int k = 0; k < 3; k++) obj->faces[i].v[k] = f[2 * k] | f[2 * k + 1] << 8;
        obj->faces[i].v[3] = -1;
    }
    if (obj->uv) {
        const int nuv = m->nuv < nverts ? m->nuv : nverts;
        for (int i = 0; i < nverts * 2; i++)
            obj->uv[i] = i < nuv * 2 ? le_float(data + m->uv + 4 * size_t(i)) * kUvScale : 0.0f;
    }
    // Local axes as the columns of the 3x3 part; the translation column holds minus the pivot.
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++) obj->local[r][c] = r == c ? 1.0f : 0.0f;
    if (m && m->has_axes)
        for (int r = 0; r < 3; r++)
            for (int c = 0; c < 3; c++) obj->local[r][c] = m->axes[3 * c + r];
    for (int r = 0; r < 3; r++) {
        obj->pivot[r] = p.pivot[r] * kWorldScale;
        obj->local[r][3] = -obj->pivot[r];
    }
    copy_name(obj->name, sizeof obj->name, p.name);
    if (m) copy_name(obj->material, sizeof obj->material, m->material);
    if (vec_init_object(obj) != 0) {
        vec_free_object(obj);
        return nullptr;
    }
    return obj;
}

int refuse(const char* reason) {
    vec_errorstr = reason;
    return 1;
}

int load_objects(const uint8_t* data, size_t size, vec_world* world) {
    Scene s;
    if (!world || !world->objects || !parse_scene(data, size, s)) return refuse(kErrMalformed);
    std::vector<Plan> plans;
    if (!plan_objects(s, plans) || !within_budget(plans, size)) return refuse(kErrTooLarge);

    std::vector<vec_object*> built;
    built.reserve(plans.size());
    for (const Plan& p : plans) {
        vec_object* obj = build_object(data, p);
        if (!obj) {
            for (vec_object* o : built) vec_free_object(o);
            return refuse(kErrMemory);
        }
        built.push_back(obj);
    }
    for (size_t i = 0; i < built.size(); i++) {
        if (vec_add_object(world, built[i], plans[i].level) != 0) {
            // Only a node allocation can fail here; the objects not yet listed are released.
            for (size_t j = i; j < built.size(); j++) vec_free_object(built[j]);
            return refuse(kErrMemory);
        }
    }
    vec_errorstr = "";
    return 0;
}

int load_camera(const uint8_t* data, size_t size, int number, vec_world* cam) {
    Scene s;
    if (!cam || !parse_scene(data, size, s)) return refuse(kErrMalformed);
    if (number < 1 || size_t(number) > s.cameras.size()) return refuse(kErrCamera);
    const CameraInfo& c = s.cameras[size_t(number) - 1];
    for (int i = 0; i < 3; i++) {
        cam->pos[i] = c.pos[i] * kWorldScale;
        cam->target[i] = c.target[i] * kWorldScale;
    }
    cam->angles[2] = c.roll * kDegreesToAngle;
    copy_name(cam->name, sizeof cam->name, c.name);
    vec_errorstr = "";
    return 0;
}

// Reads a whole file into memory for the file source; false if it cannot be read or is implausibly large.
bool read_file(const char* path, std::vector<uint8_t>& out) {
    if (!path) return false;
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    bool ok = std::fseek(f, 0, SEEK_END) == 0;
    long len = ok ? std::ftell(f) : -1;
    ok = ok && len >= 0 && len <= kMaxFileSize && std::fseek(f, 0, SEEK_SET) == 0;
    if (ok) {
        out.resize(size_t(len));
        ok = std::fread(out.data(), 1, out.size(), f) == out.size();
    }
    std::fclose(f);
    return ok;
}

} // namespace

const char* vec_errorstr = "";

void vec_set_source(int memory) {
    source_is_memory = memory != 0;
}

int vec_load_camera(const void* src, size_t size, int number, vec_world* cam) {
    if (source_is_memory) return load_camera(static_cast<const uint8_t*>(src), size, number, cam);
    std::vector<uint8_t> bytes;
    if (!read_file(static_cast<const char*>(src), bytes)) return refuse(kErrRead);
    return load_camera(bytes.data(), bytes.size(), number, cam);
}

int vec_load_objects(const void* src, size_t size, vec_world* world) {
    if (source_is_memory) return load_objects(static_cast<const uint8_t*>(src), size, world);
    std::vector<uint8_t> bytes;
    if (!read_file(static_cast<const char*>(src), bytes)) return refuse(kErrRead);
    return load_objects(bytes.data(), bytes.size(), world);
}

int vec_get_camera(const uint8_t* scene, size_t size, int number, vec_world* cam) {
    vec_set_source(1);
    int result = vec_load_camera(scene, size, number, cam);
    vec_set_source(0);
    return result;
}

int vec_get_objects(const uint8_t* scene, size_t size, vec_world* world) {
    vec_set_source(1);
    int result = vec_load_objects(scene, size, world);
    vec_set_source(0);
    return result;
}
