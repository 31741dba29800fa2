// The capture program end to end: usage errors, failing outputs that must leave nothing behind,
// determinism, agreement between stills, sequences and soundtracks, and video through ffmpeg.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

struct result {
    int status = -1; // exit status, or 128 + signal
    std::string out, err;
};

std::string slurp_fd(int fd) {
    std::string s;
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0) s.append(buf, static_cast<size_t>(n));
    return s;
}

// Starts capture with args, standard output and error to files; returns its pid.
pid_t start(const std::vector<std::string>& args, const std::string& out_file, const std::string& err_file) {
    std::vector<char*> argv{const_cast<char*>(CAPTURE_EXE)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, CAPTURE_EXE, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int wait_for(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string read_text(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return "";
    std::string s = slurp_fd(fd);
    close(fd);
    return s;
}

std::vector<std::string> list_dir(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    while (dirent* e = d ? readdir(d) : nullptr)
        if (e->d_name[0] != '.' || (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0))
            names.push_back(e->d_name);
    if (d) closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

bool have_program(const char* name) {
    std::string cmd = std::string("command -v ") + name + " >/dev/null 2>&1";
    return system(cmd.c_str()) == 0;
}

class CaptureProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/capture-cli-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        out_dir = dir + "/out";
        mkdir(out_dir.c_str(), 0755);
    }
    void TearDown() override {
        for (const std::string& name : list_dir(out_dir)) unlink((out_dir + "/" + name).c_str());
        rmdir(out_dir.c_str());
        for (const std::string& name : list_dir(dir)) unlink((dir + "/" + name).c_str());
        rmdir(dir.c_str());
    }
    result run(const std::vector<std::string>& args) {
        result r;
        r.status = wait_for(start(args, dir + "/stdout", dir + "/stderr"));
        r.out = read_text(dir + "/stdout");
        r.err = read_text(dir + "/stderr");
        return r;
    }
    std::string path(const char* name) const { return out_dir + "/" + name; }
    std::string dir, out_dir;
};

TEST_F(CaptureProgram, HelpVersionAndUsageErrors) {
    result help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: capture"), std::string::npos);
    EXPECT_NE(help.out.find("--fps"), std::string::npos);
    EXPECT_EQ(help.err, "");
    result version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("capture (Shoreline) ", 0), 0u) << version.out;

    for (const auto& args : std::vector<std::vector<std::string>>{{"--no-such-option", path("a.wav")},
                                                                  {"--fps=241", path("a.wav")},
                                                                  {"--fps=0", path("a.wav")},
                                                                  {}}) {
        result r = run(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("capture: ", 0), 0u) << r.err;
        EXPECT_EQ(r.err.back(), '\n');
    }
    // Counting per frame needs callgrind: outside it the run is refused before the demo starts.
    result uncounted = run({"--bench", "--callgrind"});
    EXPECT_EQ(uncounted.status, 1);
    EXPECT_EQ(uncounted.out, "");
    EXPECT_NE(uncounted.err.find("valgrind"), std::string::npos) << uncounted.err;
    EXPECT_TRUE(list_dir(out_dir).empty());
}

TEST_F(CaptureProgram, FailedOutputsLeaveNothingBehind) {
    // A folder that cannot be made: a file stands where it would go.
    std::FILE* file = std::fopen(path("file").c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    result blocked = run({"--to=10", path("file/sub/a.wav")});
    EXPECT_EQ(blocked.status, 1);
    EXPECT_NE(blocked.err.find("cannot create folder '" + path("file/sub") + "': Not a directory"),
              std::string::npos)
        << blocked.err;
    unlink(path("file").c_str());

    // A full disk, met by the soundtrack after some frames were already written: those go too.
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    result full = run({"--to=20", "--wav=/dev/full", path("f%03d.png")});
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("No space left on device"), std::string::npos) << full.err;
    EXPECT_TRUE(list_dir(out_dir).empty()) << list_dir(out_dir).size() << " files left";

    // A still whose file name leads to the full device.
    ASSERT_EQ(symlink("/dev/full", path("full.png").c_str()), 0);
    result still = run({"--still=10", path("full.png")});
    EXPECT_EQ(still.status, 1);
    EXPECT_NE(still.err.find("No space left on device"), std::string::npos) << still.err;
    struct stat st;
    EXPECT_TRUE(stat("/dev/full", &st) == 0 && S_ISCHR(st.st_mode));
    unlink(path("full.png").c_str());
    EXPECT_TRUE(list_dir(out_dir).empty());
}

// The recording commands of the README write into folders that need not exist yet.
TEST_F(CaptureProgram, MakesTheFoldersOfItsOutputs) {
    result r = run({"--to=10", "--wav=" + path("shots/sound.wav"), path("shots/f%05d.png")});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> shots = list_dir(path("shots"));
    EXPECT_TRUE(std::binary_search(shots.begin(), shots.end(), "f00000.png"));
    EXPECT_TRUE(std::binary_search(shots.begin(), shots.end(), "sound.wav"));
    std::vector<std::string> made = {"shots"};
    if (have_program("ffmpeg")) {
        // A video's folder, apart from its soundtrack's.
        result video = run({"--to=10", "--wav=" + path("tracks/v.wav"), path("clips/v.mp4")});
        ASSERT_EQ(video.status, 0) << video.err;
        EXPECT_EQ(list_dir(path("clips")), std::vector<std::string>{"v.mp4"});
        EXPECT_EQ(list_dir(path("tracks")), std::vector<std::string>{"v.wav"});
        made.insert(made.end(), {"clips", "tracks"});
    }
    for (const std::string& folder : made) {
        for (const std::string& name : list_dir(path(folder.c_str())))
            unlink((path(folder.c_str()) + "/" + name).c_str());
        rmdir(path(folder.c_str()).c_str());
    }
}

TEST_F(CaptureProgram, InterruptedCaptureLeavesNothing) {
    pid_t pid = start({path("f%05d.png")}, dir + "/stdout", dir + "/stderr");
    // Wait until the capture is under way (its first frames exist), then interrupt it.
    for (int i = 0; i < 3000 && list_dir(out_dir).size() < 3; ++i) usleep(10000);
    ASSERT_GE(list_dir(out_dir).size(), 3u);
    kill(pid, SIGINT);
    EXPECT_EQ(wait_for(pid), 128 + SIGINT);
    EXPECT_NE(read_text(dir + "/stderr").find("interrupted"), std::string::npos);
    EXPECT_TRUE(list_dir(out_dir).empty());
}

// Section 8 draws the 3D scene and a random flicker: the part most likely to differ between runs.
TEST_F(CaptureProgram, TwoCapturesGiveIdenticalBytesAndMatchingParts) {
    const int fps = 10;
    for (const char* run_name : {"a", "b"}) {
        std::string prefix = std::string(run_name);
        result r = run({"-r", std::to_string(fps), "--from=11:0", "--to=13:8",
                        "--wav=" + path((prefix + ".wav").c_str()), path((prefix + "%03d.png").c_str())});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "") << "no progress bar when standard error is not a terminal";
    }
    std::vector<std::string> files = list_dir(out_dir);
    size_t frames = 0;
    for (const std::string& name : files) {
        if (name[0] != 'a') continue;
        std::string twin = "b" + name.substr(1);
        ASSERT_TRUE(std::binary_search(files.begin(), files.end(), twin)) << twin;
        ASSERT_EQ(read_text(path(name.c_str())), read_text(path(twin.c_str()))) << name;
        frames += name.find(".png") != std::string::npos;
    }
    // Order 11 to row 8 of order 13 at 10 fps is around 18 s of the song.
    EXPECT_GT(frames, 150u);
    EXPECT_LT(frames, 220u);
    // The soundtrack is exactly the captured frames' share: 4410 samples per frame.
    EXPECT_EQ(read_text(path("a.wav")).size(), 44 + 2 * 4410 * frames);

    // A still at a song position is the first frame of a sequence starting there.
    result still = run({"-r", std::to_string(fps), "--still=11:0", path("still.png")});
    ASSERT_EQ(still.status, 0) << still.err;
    EXPECT_EQ(read_text(path("still.png")), read_text(path("a000.png")));
}

// A --fit still: the PNG header gives the picture's size (where the frame lies in it is the output tests'
// concern; stills, sequences and videos share their layout code).
TEST_F(CaptureProgram, FittedStillIsA2160pPicture) {
    result r = run({"--fit=2160", "--still=19:8", path("thumb.png")});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string png = read_text(path("thumb.png"));
    ASSERT_GT(png.size(), 24u);
    auto be32 = [&png](size_t at) {
        return uint32_t(uint8_t(png[at])) << 24 | uint8_t(png[at + 1]) << 16 | uint8_t(png[at + 2]) << 8 |
               uint8_t(png[at + 3]);
    };
    EXPECT_EQ(png.compare(12, 4, "IHDR"), 0);
    EXPECT_EQ(be32(16), 3840u);
    EXPECT_EQ(be32(20), 2160u);
}

TEST_F(CaptureProgram, SoundtrackDoesNotDependOnTheFrameRate) {
    result slow = run({"-r", "7", "--to=100", path("slow.wav")});
    result fast = run({"-r", "240", "--to=100", path("fast.wav")});
    ASSERT_EQ(slow.status, 0) << slow.err;
    ASSERT_EQ(fast.status, 0) << fast.err;
    std::string a = read_text(path("slow.wav")), b = read_text(path("fast.wav"));
    ASSERT_GT(a.size(), 44u + 2 * 44100 * 6); // order 0 lasts several seconds
    ASSERT_GT(b.size(), 44u + 2 * 44100 * 6);
    size_t common = std::min(a.size(), b.size()) - 44;
    EXPECT_EQ(a.compare(44, common, b, 44, common), 0);
}

TEST_F(CaptureProgram, VideoThroughFfmpeg) {
    result none = run({"--ffmpeg=" + dir + "/no-ffmpeg-here", "--to=10", path("v.mp4")});
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("need ffmpeg"), std::string::npos) << none.err;
    EXPECT_TRUE(list_dir(out_dir).empty());

    if (!have_program("ffmpeg") || !have_program("ffprobe")) GTEST_SKIP() << "ffmpeg is not installed";
    result r = run({"-r", "25", "-s", "2", "--from=19:0", "--to=19:8", path("v.mkv")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(list_dir(out_dir), std::vector<std::string>{"v.mkv"}) << "temporary files must be gone";
    std::string probe_cmd = "ffprobe -v error -count_frames -show_entries "
                            "stream=codec_type,width,height,nb_read_frames -of csv=p=0 '" +
                            path("v.mkv") + "' > '" + dir + "/probe'";
    ASSERT_EQ(system(probe_cmd.c_str()), 0);
    std::string probe = read_text(dir + "/probe");
    EXPECT_NE(probe.find("video,640,480,"), std::string::npos) << probe;
    EXPECT_NE(probe.find("audio"), std::string::npos) << probe;

    // --fit=1080: the frame 4 times (1280x960) inside 1920x1080, at the demo's 50 fps.
    result fitted = run({"--fit=1080", "--from=19:0", "--to=19:2", path("fit.mkv")});
    ASSERT_EQ(fitted.status, 0) << fitted.err;
    std::string fit_cmd = "ffprobe -v error -select_streams v -show_entries stream=width,height,r_frame_rate "
                          "-of csv=p=0 '" +
                          path("fit.mkv") + "' > '" + dir + "/probe'";
    ASSERT_EQ(system(fit_cmd.c_str()), 0);
    EXPECT_EQ(read_text(dir + "/probe"), "1920,1080,50/1\n");
    unlink(path("fit.mkv").c_str());

    // ffmpeg failing (here: a container it does not know) is a failed capture, and leaves nothing.
    result bad = run({"--to=10", path("v.notacontainer")});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("ffmpeg"), std::string::npos) << bad.err;
    EXPECT_EQ(list_dir(out_dir), std::vector<std::string>{"v.mkv"});
}

} // namespace
