// Output files of capture: PNG pixels read back through libpng, WAV layout, atomic replacement, folders
// made on the way, and failures (full disk, a folder that cannot be made) that must leave no file behind.
#include "encoder.h"
#include "output.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <png.h>
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

bool write_png_file(const std::string& path, const std::vector<uint32_t>& frame, int scale,
                    std::string* err) {
    std::vector<uint8_t> row(kScreenW * 8 * 3);
    out_file of;
    if (!out_open(&of, path.c_str(), err)) return false;
    if (!write_png(of.f, frame.data(), scale, row.data(), err)) {
        out_abort(&of);
        return false;
    }
    return out_commit(&of, err);
}

TEST(CaptureOutput, PngHoldsTheFrameScaledByNearestNeighbour) {
    std::string dir = make_temp_dir();
    std::vector<uint32_t> frame = test_frame();
    for (int scale : {1, 3}) {
        std::string path = dir + "/f" + std::to_string(scale) + ".png";
        std::string err;
        ASSERT_TRUE(write_png_file(path, frame, scale, &err)) << err;
        int w = 0, h = 0;
        std::vector<uint32_t> pixels;
        ASSERT_TRUE(decode_png(path, &w, &h, &pixels));
        ASSERT_EQ(w, kScreenW * scale);
        ASSERT_EQ(h, kScreenH * scale);
        int wrong = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                wrong += pixels[y * w + x] != frame[(y / scale) * kScreenW + x / scale];
        EXPECT_EQ(wrong, 0) << "scale " << scale;
    }
    // Same frame, same bytes: nothing like a time stamp goes into the file.
    std::string err;
    ASSERT_TRUE(write_png_file(dir + "/again.png", frame, 1, &err)) << err;
    EXPECT_EQ(read_file(dir + "/again.png"), read_file(dir + "/f1.png"));
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
        EXPECT_FALSE(write_png_file("/dev/full", test_frame(), 2, &err));
        EXPECT_NE(err.find("No space left on device"), std::string::npos) << err;
        struct stat st;
        EXPECT_TRUE(stat("/dev/full", &st) == 0 && S_ISCHR(st.st_mode)) << "the device must stay a device";
    }
    if (geteuid() != 0) { // root writes anywhere
        chmod(dir.c_str(), 0500);
        EXPECT_FALSE(write_png_file(dir + "/f.png", test_frame(), 1, &err));
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
        encoder_start(&e, 2);
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
        encoder_start(&e, 1);
        bool refused = false;
        for (int i = 0; i < 100 && !refused; ++i)
            refused = !encoder_submit(&e, frame.data(), "/dev/null/f.png");
        std::string err;
        EXPECT_FALSE(encoder_finish(&e, &err));
        EXPECT_NE(err.find("Not a directory"), std::string::npos) << err;
    }
    {
        png_encoder e; // abandoned with frames still queued: returns at once, writes nothing more
        encoder_start(&e, 1);
        encoder_abort(&e);
    }
}

} // namespace
