// Output files of capture: PNG pixels read back through libpng, WAV layout, atomic replacement, folders
// made on the way, and failures (full disk, a folder that cannot be made) that must leave no file behind.
#include "encoder.h"
#include "output.h"
#include "video.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <png.h>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string make_temp_dir() {
    char tmpl[] = "/tmp/capture-test-XXXXXX";
    EXPECT_NE(mkdtemp(tmpl), nullptr);
    return tmpl;
}

std::vector<std::string> list_dir(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    while (dirent* e = d ? readdir(d) : nullptr)
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
    if (d) closedir(d);
    return names;
}

void remove_dir(const std::string& dir) {
    for (const std::string& name : list_dir(dir)) unlink((dir + "/" + name).c_str());
    rmdir(dir.c_str());
}

std::vector<uint8_t> read_file(const std::string& path) {
    std::vector<uint8_t> bytes;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return bytes;
    int c;
    while ((c = fgetc(f)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
    fclose(f);
    return bytes;
}

// Decodes an 8-bit RGB PNG into 0x00RRGGBB words.
bool decode_png(const std::string& path, int* w, int* h, std::vector<uint32_t>* pixels) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return false;
    *w = static_cast<int>(image.width);
    *h = static_cast<int>(image.height);
    pixels->resize(static_cast<size_t>(*w) * *h);
    for (size_t i = 0; i < pixels->size(); ++i)
        (*pixels)[i] = rgb[3 * i] << 16 | rgb[3 * i + 1] << 8 | rgb[3 * i + 2];
    return true;
}

std::vector<uint32_t> test_frame() {
    std::vector<uint32_t> frame(kScreenW * kScreenH);
    for (int y = 0; y < kScreenH; ++y)
        for (int x = 0; x < kScreenW; ++x)
            frame[y * kScreenW + x] =
                static_cast<uint32_t>((x * 7) & 0xFF) << 16 | ((y * 3) & 0xFF) << 8 | ((x ^ y) & 0xFF);
    return frame;
}

bool write_png_file(const std::string& path, const std::vector<uint32_t>& frame, const frame_layout& layout,
                    std::string* err) {
    std::vector<uint8_t> row(static_cast<size_t>(layout.width) * 3);
    out_file of;
    if (!out_open(&of, path.c_str(), err)) return false;
    if (!write_png(of.f, frame.data(), layout, row.data(), err)) {
        out_abort(&of);
        return false;
    }
    return out_commit(&of, err);
}

// The pixels of a picture that are not where layout puts them: frame pixel (x, y) in the
// scale x scale square at (left + x * scale, top + y * scale), black elsewhere.
long misplaced_pixels(const uint32_t* pixels, const std::vector<uint32_t>& frame, const frame_layout& l) {
    long wrong = 0;
    for (int y = 0; y < l.height; ++y) {
        for (int x = 0; x < l.width; ++x) {
            int fx = x - l.left, fy = y - l.top;
            bool inside = fx >= 0 && fy >= 0 && fx < kScreenW * l.scale && fy < kScreenH * l.scale;
            uint32_t want = inside ? frame[(fy / l.scale) * kScreenW + fx / l.scale] : 0;
            wrong += pixels[static_cast<size_t>(y) * l.width + x] != want;
        }
    }
    return wrong;
}

// A test frame without black pixels, so that a margin cannot pass for picture.
std::vector<uint32_t> bright_frame() {
    std::vector<uint32_t> frame = test_frame();
    for (uint32_t& p : frame) p |= 0x010101;
    return frame;
}

TEST(CaptureOutput, FittedLayoutsTakeTheLargestWholeScaleCentred) {
    auto same = [](const frame_layout& a, const frame_layout& b) {
        return a.scale == b.scale && a.width == b.width && a.height == b.height && a.left == b.left &&
               a.top == b.top;
    };
    // 1920x1080: 6 across but 4.5 down, so 4 (1280x960), with 320 columns and 60 rows of black each side.
    EXPECT_TRUE(same(fitted_layout(1920, 1080), frame_layout{4, 1920, 1080, 320, 60}));
    // 3840x2160: 9 down (2880x2160 fills the height), 480 columns each side.
    EXPECT_TRUE(same(fitted_layout(3840, 2160), frame_layout{9, 3840, 2160, 480, 0}));
    EXPECT_TRUE(same(fitted_layout(kScreenW, kScreenH), scaled_layout(1)));
    EXPECT_TRUE(same(fitted_layout(961, 721), frame_layout{3, 961, 721, 0, 0})); // odd margins round down
    EXPECT_EQ(fitted_layout(319, 1000).scale, 0);
    EXPECT_TRUE(same(scaled_layout(3), frame_layout{3, 960, 720, 0, 0}));
}

TEST(CaptureOutput, PngHoldsTheFrameLaidOutByNearestNeighbour) {
    std::string dir = make_temp_dir();
    std::vector<uint32_t> frame = bright_frame();
    for (const frame_layout& layout : {scaled_layout(1), scaled_layout(3), fitted_layout(1920, 1080)}) {
        std::string path = dir + "/f" + std::to_string(layout.width) + ".png";
        std::string err;
        ASSERT_TRUE(write_png_file(path, frame, layout, &err)) << err;
        int w = 0, h = 0;
        std::vector<uint32_t> pixels;
        ASSERT_TRUE(decode_png(path, &w, &h, &pixels));
        ASSERT_EQ(w, layout.width);
        ASSERT_EQ(h, layout.height);
        EXPECT_EQ(misplaced_pixels(pixels.data(), frame, layout), 0) << w << "x" << h;
    }
    // Same frame, same bytes: nothing like a time stamp goes into the file.
    std::string err;
    ASSERT_TRUE(write_png_file(dir + "/again.png", frame, scaled_layout(1), &err)) << err;
    EXPECT_EQ(read_file(dir + "/again.png"), read_file(dir + "/f320.png"));
    remove_dir(dir);
}

TEST(CaptureOutput, FilesAppearOnlyWhenComplete) {
    std::string dir = make_temp_dir();
    std::string path = dir + "/out.wav";
    {
        FILE* old = fopen(path.c_str(), "wb");
        fputs("old contents", old);
        fclose(old);
    }
    std::string err;
    wav_writer w;
    ASSERT_TRUE(wav_open(&w, path.c_str(), &err)) << err;
    int16_t samples[3] = {1, -2, 3};
    ASSERT_TRUE(wav_write(&w, samples, 3));
    fflush(w.file.f);
    // While writing, the old file is untouched and the new one waits under a hidden temporary name.
    EXPECT_EQ(read_file(path).size(), 12u);
    EXPECT_EQ(list_dir(dir).size(), 2u);
    wav_abort(&w);
    EXPECT_EQ(read_file(path).size(), 12u);
    EXPECT_EQ(list_dir(dir).size(), 1u) << "the abandoned temporary file must be gone";

    ASSERT_TRUE(wav_open(&w, path.c_str(), &err)) << err;
    ASSERT_TRUE(wav_write(&w, samples, 3));
    ASSERT_TRUE(wav_finish(&w, &err)) << err;
    EXPECT_EQ(read_file(path).size(), 44u + 6u);
    EXPECT_EQ(list_dir(dir).size(), 1u);
    remove_dir(dir);
}

// Missing folders on the way are made when the file is opened; the file itself still appears only
// when complete.
TEST(CaptureOutput, MissingFoldersAreCreated) {
    std::string dir = make_temp_dir();
    const std::string folder = dir + "/shots/a";
    for (const std::string& path : {folder + "/s.wav", dir + "/shots//a/./s.wav"}) {
        SCOPED_TRACE(path);
        std::string err;
        wav_writer w;
        ASSERT_TRUE(wav_open(&w, path.c_str(), &err)) << err;
        const int16_t samples[2] = {5, -5};
        ASSERT_TRUE(wav_write(&w, samples, 2));
        const std::vector<std::string> writing = list_dir(folder);
        ASSERT_EQ(writing.size(), 1u);
        EXPECT_EQ(writing[0].rfind(".tmp-", 0), 0u) << writing[0];
        ASSERT_TRUE(wav_finish(&w, &err)) << err;
        EXPECT_EQ(read_file(folder + "/s.wav").size(), 48u);
        EXPECT_EQ(list_dir(folder), std::vector<std::string>{"s.wav"});
        unlink((folder + "/s.wav").c_str());
    }
    remove_dir(folder);
    remove_dir(dir + "/shots");
    remove_dir(dir);
}

TEST(CaptureOutput, WavHeaderAndLittleEndianSamples) {
    std::string dir = make_temp_dir();
    std::string path = dir + "/s.wav";
    std::string err;
    wav_writer w;
    ASSERT_TRUE(wav_open(&w, path.c_str(), &err)) << err;
    std::vector<int16_t> samples(5000);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(i * 37 - 30000);
    samples[0] = -32768;
    samples[1] = 32767;
    ASSERT_TRUE(wav_write(&w, samples.data(), 1)); // odd-sized pieces cross the writer's buffer
    ASSERT_TRUE(wav_write(&w, samples.data() + 1, samples.size() - 1));
    ASSERT_TRUE(wav_finish(&w, &err)) << err;
    std::vector<uint8_t> b = read_file(path);
    ASSERT_EQ(b.size(), 44 + 2 * samples.size());
    auto le32 = [&](size_t at) {
        return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
    };
    auto le16 = [&](size_t at) { return b[at] | b[at + 1] << 8; };
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    EXPECT_EQ(le32(4), b.size() - 8);
    EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(le32(16), 16u);
    EXPECT_EQ(le16(20), 1u);     // PCM
    EXPECT_EQ(le16(22), 1u);     // mono
    EXPECT_EQ(le32(24), 44100u); // rate
    EXPECT_EQ(le32(28), 88200u); // bytes per second
    EXPECT_EQ(le16(32), 2u);
    EXPECT_EQ(le16(34), 16u);
    EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
    EXPECT_EQ(le32(40), 2 * samples.size());
    for (size_t i = 0; i < samples.size(); ++i)
        ASSERT_EQ(static_cast<int16_t>(le16(44 + 2 * i)), samples[i]) << i;
    remove_dir(dir);
}

TEST(CaptureOutput, FailuresAreReportedAndLeaveNothing) {
    std::string err;
    wav_writer w;
    // A folder that cannot be made (a device is in the way), and one that cannot be written into.
    EXPECT_FALSE(wav_open(&w, "/dev/null/sub/s.wav", &err));
    EXPECT_EQ(err, "cannot create folder '/dev/null/sub': Not a directory");
    EXPECT_FALSE(wav_open(&w, "/dev/null/s.wav", &err));
    EXPECT_NE(err.find("Not a directory"), std::string::npos) << err;

    std::string dir = make_temp_dir();
    err.clear();
    EXPECT_FALSE(wav_open(&w, dir.c_str(), &err));
    EXPECT_NE(err.find("is a folder"), std::string::npos) << err;

    // A full disk: the device is written in place and every lost byte is noticed, at the latest on close.
    if (access("/dev/full", W_OK) == 0) {
        ASSERT_TRUE(wav_open(&w, "/dev/full", &err)) << err;
        std::vector<int16_t> samples(100000);
        bool wrote = wav_write(&w, samples.data(), samples.size());
        EXPECT_FALSE(wrote && wav_finish(&w, &err));
        if (!wrote) wav_abort(&w);
        err.clear();
        EXPECT_FALSE(write_png_file("/dev/full", test_frame(), scaled_layout(2), &err));
        EXPECT_NE(err.find("No space left on device"), std::string::npos) << err;
        struct stat st;
        EXPECT_TRUE(stat("/dev/full", &st) == 0 && S_ISCHR(st.st_mode)) << "the device must stay a device";
    }
    if (geteuid() != 0) { // root writes anywhere
        chmod(dir.c_str(), 0500);
        EXPECT_FALSE(write_png_file(dir + "/f.png", test_frame(), scaled_layout(1), &err));
        EXPECT_NE(err.find("Permission denied"), std::string::npos) << err;
        chmod(dir.c_str(), 0700);
    }
    EXPECT_TRUE(list_dir(dir).empty());
    remove_dir(dir);
}

TEST(CaptureOutput, WriterThreadKeepsFramesApartAndReportsTheFirstFailure) {
    std::string dir = make_temp_dir();
    std::vector<uint32_t> frame = test_frame();
    {
        png_encoder e;
        encoder_start(&e, scaled_layout(2));
        // More frames than slots, each different, and the source reused at once: every file must hold
        // the frame as it was when submitted.
        for (int i = 0; i < 3 * kEncoderSlots; ++i) {
            frame[0] = static_cast<uint32_t>(i);
            ASSERT_TRUE(encoder_submit(&e, frame.data(), (dir + "/f" + std::to_string(i) + ".png").c_str()));
        }
        std::string err;
        ASSERT_TRUE(encoder_finish(&e, &err)) << err;
        for (int i = 0; i < 3 * kEncoderSlots; ++i) {
            int w = 0, h = 0;
            std::vector<uint32_t> pixels;
            ASSERT_TRUE(decode_png(dir + "/f" + std::to_string(i) + ".png", &w, &h, &pixels));
            ASSERT_EQ(w, 640);
            EXPECT_EQ(pixels[0], static_cast<uint32_t>(i));
            EXPECT_EQ(pixels[641], static_cast<uint32_t>(i)); // scaled: (1, 1) is still frame (0, 0)
            EXPECT_EQ(pixels[2], frame[1]);
        }
    }
    remove_dir(dir);
    {
        png_encoder e;
        encoder_start(&e, scaled_layout(1));
        bool refused = false;
        for (int i = 0; i < 100 && !refused; ++i)
            refused = !encoder_submit(&e, frame.data(), "/dev/null/f.png");
        std::string err;
        EXPECT_FALSE(encoder_finish(&e, &err));
        EXPECT_NE(err.find("Not a directory"), std::string::npos) << err;
    }
    {
        png_encoder e; // abandoned with frames still queued: returns at once, writes nothing more
        encoder_start(&e, scaled_layout(1));
        encoder_abort(&e);
    }
}

// The frames ffmpeg is sent: a stand-in that stores its standard input in the file named last on its
// command line, as ffmpeg would write its output there.
TEST(CaptureOutput, VideoFramesAreLaidOutAsPngsAre) {
    std::string dir = make_temp_dir();
    const std::string fake = dir + "/fake-ffmpeg";
    {
        FILE* script = fopen(fake.c_str(), "w");
        ASSERT_NE(script, nullptr);
        fputs("#!/bin/sh\nfor last; do :; done\nexec cat > \"$last\"\n", script);
        fclose(script);
        chmod(fake.c_str(), 0755);
    }
    const std::vector<uint32_t> frames[2] = {bright_frame(), test_frame()};
    for (const frame_layout& layout : {scaled_layout(1), scaled_layout(2), fitted_layout(1920, 1080)}) {
        SCOPED_TRACE(std::to_string(layout.width) + "x" + std::to_string(layout.height));
        const std::string out = dir + "/frames.raw";
        video_pipe v;
        std::string err;
        ASSERT_TRUE(video_open(&v, fake.c_str(), out.c_str(), layout, 50, &err)) << err;
        for (const std::vector<uint32_t>& frame : frames)
            ASSERT_TRUE(video_write(&v, frame.data(), &err)) << err;
        ASSERT_TRUE(video_close(&v, &err)) << err;
        std::vector<uint8_t> bytes = read_file(out);
        const size_t words = static_cast<size_t>(layout.width) * layout.height;
        ASSERT_EQ(bytes.size(), 2 * words * sizeof(uint32_t));
        std::vector<uint32_t> pixels(2 * words);
        memcpy(pixels.data(), bytes.data(), bytes.size()); // frame words in memory order, as piped
        EXPECT_EQ(misplaced_pixels(pixels.data(), frames[0], layout), 0);
        EXPECT_EQ(misplaced_pixels(pixels.data() + words, frames[1], layout), 0);
        unlink(out.c_str());
    }
    remove_dir(dir);
}

} // namespace
