// testdata.h: the reference files under tests/data (modules and scenes nobody here wrote). Tests name
// every file they read, so a missing one fails with its path instead of shrinking a list or a loop.
#pragma once
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

inline std::string testdata_path(const std::string& relative) {
    return std::string(SHORELINE_TESTDATA) + "/" + relative;
}

// The bytes of a reference file; a failure of the running test, naming the path, if it cannot be read
// (an empty file reads as empty and is no failure).
inline std::vector<uint8_t> read_testdata(const std::string& relative) {
    const std::string path = testdata_path(relative);
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        ADD_FAILURE() << "missing reference file " << path;
        return {};
    }
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}
