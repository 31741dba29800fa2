// Test helper: reads a committed 256x256 picture from data/ (exactly 65536 bytes).
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

inline std::vector<uint8_t> read_picture_file(const std::string& path) {
    std::vector<uint8_t> bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return bytes;
    for (int c; (c = std::fgetc(f)) != EOF;) bytes.push_back(uint8_t(c));
    std::fclose(f);
    return bytes;
}

inline std::vector<uint8_t> read_committed(const char* name) {
    return read_picture_file(std::string(SHORELINE_SOURCE_DIR) + "/data/" + name);
}
