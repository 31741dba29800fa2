// Picture generator: renders the two portraits and the caption bitmap and writes them as
// muotokuva.raw, naama.raw and tekstit.raw (65536 bytes each) into the directory given.
// Usage: gen_pictures OUTPUT_DIR      (the committed files live in data/)
#include "lettering.h"
#include "outfile.h"
#include "portrait.h"

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

bool write_file(const std::string& path, const uint8_t* bytes, size_t size) {
    std::string err;
    if (write_whole_file(path.c_str(), bytes, size, &err)) return true;
    std::fprintf(stderr, "gen_pictures: %s\n", err.c_str());
    return false;
}

uint8_t picture[kPictureBytes];

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: gen_pictures OUTPUT_DIR\n");
        return 2;
    }
    std::string dir = argv[1];
    std::error_code error;
    if (!std::filesystem::is_directory(dir, error)) { // refuse before the slow rendering
        std::fprintf(stderr, "gen_pictures: %s is not a directory\n", dir.c_str());
        return 1;
    }
    render_portrait(Sitter::woman_in_stripes, picture);
    if (!write_file(dir + "/muotokuva.raw", picture, kPictureBytes)) return 1;
    render_portrait(Sitter::fisherman, picture);
    if (!write_file(dir + "/naama.raw", picture, kPictureBytes)) return 1;
    render_captions(picture);
    if (!write_file(dir + "/tekstit.raw", picture, kPictureBytes)) return 1;
    return 0;
}
