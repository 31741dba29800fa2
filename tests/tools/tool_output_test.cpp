// The tools that write files, run as programs: a complete file appears under its name, and a write that
// fails (file-size limit, full disk) leaves nothing there, no temporary file either, and a message on
// standard error with a non-zero status.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1; // exit status, or 128 + signal
    std::string err;
};

// Runs exe with args; a positive file_limit caps the size of every file it writes (RLIMIT_FSIZE).
Outcome run(const std::string& exe, const std::vector<std::string>& args, const fs::path& err_file,
            rlim_t file_limit = 0) {
    std::vector<char*> argv{const_cast<char*>(exe.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 2);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        if (file_limit > 0) {
            const rlimit limit{file_limit, file_limit};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    Outcome r;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::ifstream in(err_file);
    r.err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return r;
}

std::vector<std::string> names_in(const fs::path& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

struct Tool {
    const char* name;
    const char* exe;
    std::vector<std::string> args;    // OUT stands for the output (a file, or a folder for multi-file tools)
    std::vector<std::string> written; // the files a run writes into the output folder
    bool names_file;                  // OUT is the file itself (not a folder or a name prefix)
};

class ToolOutput : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("tool-output-" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "out");
    }
    void TearDown() override { fs::remove_all(dir); }
    std::vector<std::string> args_for(const Tool& t, const std::string& out) const {
        std::vector<std::string> args;
        for (const std::string& a : t.args) args.push_back(a == "OUT" ? out : a);
        return args;
    }
    fs::path dir;
};

const std::string kData = SHORELINE_SOURCE_DIR "/data";

const Tool kTools[] = {
    {"modrender", MODRENDER_EXE, {kData + "/moddi.mod", "OUT", "--seconds", "1"}, {"x"}, true},
    {"gen_song", GEN_SONG_EXE, {"OUT"}, {"x"}, true},
    {"gen_pallo", GEN_PALLO_EXE, {"OUT"}, {"x"}, true},
    {"bin2cpp", BIN2CPP_EXE, {kData + "/pallo.3ds", "OUT", "pallo"}, {"x"}, true},
    {"fxshot", FXSHOT_EXE, {"pano", "0", "OUT"}, {"x"}, true},
    {"shore_pictures", SHORE_PICTURES_EXE, {"OUT", "400"}, {"x-400.png"}, false},
    {"gen_pictures", GEN_PICTURES_EXE, {"OUT"}, {"muotokuva.raw", "naama.raw", "tekstit.raw"}, false},
    {"preview_pictures",
     PREVIEW_PICTURES_EXE,
     {kData, "OUT"},
     {"pictures-captions.png", "pictures-flares.png", "pictures-halftone.png", "pictures-panorama.png",
      "pictures-zoomer.png"},
     false},
};

TEST_F(ToolOutput, CompleteFilesOrNothing) {
    for (const Tool& t : kTools) {
        SCOPED_TRACE(t.name);
        const fs::path out_dir = dir / "out";
        const bool folder = t.written.size() > 1; // OUT is the output folder, else OUT is out/x
        const std::string out = folder ? out_dir.string() : (out_dir / "x").string();

        // A write that the file-size limit stops part-way: reported, and nothing left.
        Outcome limited = run(t.exe, args_for(t, out), dir / "err", 1000);
        EXPECT_EQ(limited.status, 1) << limited.err;
        EXPECT_NE(limited.err.find("File too large"), std::string::npos) << limited.err;
        EXPECT_EQ(limited.err.rfind(std::string(t.name) + ": ", 0), 0u) << limited.err;
        EXPECT_TRUE(names_in(out_dir).empty()) << names_in(out_dir).size() << " files left";

        if (t.names_file && access("/dev/full", W_OK) == 0) {
            Outcome full = run(t.exe, args_for(t, "/dev/full"), dir / "err");
            EXPECT_EQ(full.status, 1) << full.err;
            EXPECT_NE(full.err.find("No space left on device"), std::string::npos) << full.err;
        }

        // Without a limit: the complete files under their names, nothing else.
        Outcome ok = run(t.exe, args_for(t, out), dir / "err");
        EXPECT_EQ(ok.status, 0) << ok.err;
        std::vector<std::string> expected = t.written;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(names_in(out_dir), expected);
        for (const std::string& name : names_in(out_dir)) fs::remove(out_dir / name);
    }
}

TEST_F(ToolOutput, ModrenderRefusesARepeatedOption) {
    const std::string out = (dir / "out" / "x.wav").string();
    Outcome twice =
        run(MODRENDER_EXE, {kData + "/moddi.mod", out, "--seconds", "1", "--seconds=2"}, dir / "err");
    EXPECT_EQ(twice.status, 2);
    EXPECT_NE(twice.err.find("--seconds given twice"), std::string::npos) << twice.err;
    Outcome later = run(MODRENDER_EXE, {"--seconds=1", kData + "/moddi.mod", out}, dir / "err");
    EXPECT_EQ(later.status, 0) << later.err; // options go anywhere, as with capture
    EXPECT_TRUE(fs::exists(out));
}

} // namespace
