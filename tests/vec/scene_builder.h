// scene_builder.h: writes small 3D Studio scenes in tests, chunk by chunk (little endian, lengths patched
// when a chunk ends), so that each test states exactly the bytes it feeds the reader.
#pragma once
#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

struct SceneBuilder {
    std::vector<uint8_t> bytes;
    std::vector<size_t> open;

    void raw(std::initializer_list<uint8_t> b) { bytes.insert(bytes.end(), b); }
    void u16(unsigned v) { raw({uint8_t(v), uint8_t(v >> 8)}); }
    void u32(uint32_t v) { raw({uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}); }
    void f32(float v) {
        uint32_t b;
        std::memcpy(&b, &v, 4);
        u32(b);
    }
    void str(const std::string& s) {
        bytes.insert(bytes.end(), s.begin(), s.end());
        bytes.push_back(0);
    }
    size_t begin(unsigned id) {
        size_t at = bytes.size();
        u16(id);
        u32(0);
        return at;
    }
    void end_at(size_t at) {
        uint32_t len = uint32_t(bytes.size() - at);
        std::memcpy(&bytes[at + 2], &len, 4);
    }
    void push(unsigned id) { open.push_back(begin(id)); }
    void end() {
        end_at(open.back());
        open.pop_back();
    }
    void begin_main() { push(0x4D4D); }
    void begin_editor() { push(0x3D3D); }
    void begin_keyframes() { push(0xB000); }

    // A named triangle mesh; `group_face` (when not -1) is the face that the material group names.
    void mesh(const std::string& name, const std::vector<std::array<float, 3>>& verts,
              const std::vector<std::array<unsigned, 3>>& faces, const std::string& material = "",
              bool faces_first = false, int group_face = -1) {
        size_t obj = begin(0x4000);
        str(name);
        size_t tri = begin(0x4100);
        auto write_verts = [&] {
            size_t v = begin(0x4110);
            u16(unsigned(verts.size()));
            for (const auto& p : verts)
                for (float c : p) f32(c);
            end_at(v);
        };
        auto write_faces = [&] {
            size_t f = begin(0x4120);
            u16(unsigned(faces.size()));
            for (const auto& t : faces) {
                for (unsigned i : t) u16(i);
                u16(7);
            }
            if (!material.empty() || group_face >= 0) {
                size_t g = begin(0x4130);
                str(material);
                u16(1);
                u16(group_face >= 0 ? unsigned(group_face) : 0);
                end_at(g);
            }
            end_at(f);
        };
        if (faces_first) {
            write_faces();
            write_verts();
        } else {
            write_verts();
            write_faces();
        }
        end_at(tri);
        end_at(obj);
    }

    void camera(const std::string& name, std::array<float, 3> pos, std::array<float, 3> target, float roll) {
        size_t obj = begin(0x4000);
        str(name);
        size_t cam = begin(0x4700);
        for (float c : pos) f32(c);
        for (float c : target) f32(c);
        f32(roll);
        f32(35.0f);
        end_at(cam);
        end_at(obj);
    }

    // A mesh of `count` vertices on a grid and `count` faces between them.
    void grid_mesh(const std::string& name, unsigned count) {
        std::vector<std::array<float, 3>> verts;
        std::vector<std::array<unsigned, 3>> faces;
        for (unsigned i = 0; i < count; i++) {
            verts.push_back({float(i % 64), float(i / 64), float(i % 7)});
            faces.push_back({i, (i + 1) % count, (i + 64) % count});
        }
        mesh(name, verts, faces);
    }

    // The smallest object node that still names its object and parent: only its header, no id (the reader
    // numbers such nodes in file order), no pivot.
    void short_node(const std::string& name, unsigned parent) {
        push(0xB002);
        push(0xB010);
        str(name);
        u16(0);
        u16(0);
        u16(parent);
        end();
        end();
    }

    void node(unsigned tag, unsigned id, const std::string& name, unsigned parent, std::array<float, 3> pivot,
              const std::string& instance = "") {
        size_t n = begin(tag);
        size_t i = begin(0xB030);
        u16(id);
        end_at(i);
        size_t h = begin(0xB010);
        str(name);
        u16(0);
        u16(0);
        u16(parent);
        end_at(h);
        if (!instance.empty()) {
            size_t in = begin(0xB011);
            str(instance);
            end_at(in);
        }
        size_t p = begin(0xB013);
        for (float c : pivot) f32(c);
        end_at(p);
        end_at(n);
    }
};
