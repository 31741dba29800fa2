// Runs the fuzz targets' entry code over every input kept because it once made a target fail
// (tests/data/fuzz/<target>/<fault>) and over the seed corpora the fuzzers start from, so that the ordinary
// and the sanitizer builds of the test suite catch a fault coming back.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_targets.h"

namespace {

namespace fs = std::filesystem;

struct Target {
    const char* name; // folder under tests/data/fuzz
    bool (*entry)(const uint8_t*, size_t);
    std::vector<fs::path> seeds; // folders or single files
};

std::vector<fs::path> inputs_in(const fs::path& p) {
    std::vector<fs::path> out;
    if (fs::is_regular_file(p)) return {p};
    for (const auto& e : fs::directory_iterator(p))
        if (e.is_regular_file() && e.path().extension() != ".txt") out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

void replay(const Target& t, const fs::path& input) {
    SCOPED_TRACE(input.string());
    std::ifstream in(input, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_TRUE(t.entry(bytes.data(), bytes.size()));
}

TEST(FuzzReplay, KeptFaultsAndSeedsPass) {
    const fs::path data = fs::path(SHORELINE_TESTDATA), source = fs::path(SHORELINE_SOURCE_DIR);
    const Target targets[] = {
        {"module",
         fuzz_module,
         {data / "mod" / "compliance", data / "mod" / "songs", data / "mod" / "malformed",
          source / "data" / "moddi.mod"}},
        {"scene",
         fuzz_scene,
         {data / "3ds" / "valid", data / "3ds" / "malformed", source / "data" / "pallo.3ds"}},
        {"options", fuzz_options, {source / "tests" / "fuzz" / "seeds" / "options"}},
    };
    for (const Target& t : targets) {
        SCOPED_TRACE(t.name);
        const fs::path kept = source / "tests" / "data" / "fuzz" / t.name;
        if (fs::exists(kept))
            for (const fs::path& input : inputs_in(kept)) replay(t, input);
        for (const fs::path& seed : t.seeds) {
            ASSERT_TRUE(fs::exists(seed)) << "missing seed corpus " << seed;
            for (const fs::path& input : inputs_in(seed)) replay(t, input);
        }
    }
}

} // namespace
