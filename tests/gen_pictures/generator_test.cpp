// The committed pictures are exactly what the generator makes: run it into a fresh directory
// and compare byte for byte.
#include "picture_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string quoted(const std::string& s) {
    return "'" + s + "'";
}

TEST(PictureGenerator, ReproducesTheCommittedPictures) {
    fs::path dir = fs::temp_directory_path() / ("gen_pictures_test_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    ASSERT_TRUE(fs::create_directories(dir));
    int rc = std::system((quoted(GEN_PICTURES_EXE) + " " + quoted(dir.string())).c_str());
    ASSERT_EQ(rc, 0);
    for (const char* name : {"muotokuva.raw", "naama.raw", "tekstit.raw"}) {
        std::vector<uint8_t> made = read_picture_file((dir / name).string());
        std::vector<uint8_t> committed = read_committed(name);
        ASSERT_EQ(made.size(), 65536u) << name;
        ASSERT_EQ(committed.size(), 65536u) << name;
        size_t differ = 0;
        for (size_t i = 0; i < made.size(); ++i) differ += made[i] != committed[i];
        EXPECT_EQ(differ, 0u) << name << ": regenerate with gen_pictures data/";
    }
    fs::remove_all(dir);
}

TEST(PictureGenerator, ReportsAnUnwritableOutputDirectory) {
    std::string cmd = quoted(GEN_PICTURES_EXE) + " /nonexistent/gen_pictures_out 2>/dev/null";
    int rc = std::system(cmd.c_str());
    EXPECT_NE(rc, 0);
    rc = std::system((quoted(GEN_PICTURES_EXE) + " 2>/dev/null").c_str());
    EXPECT_NE(rc, 0) << "missing argument";
}

} // namespace
