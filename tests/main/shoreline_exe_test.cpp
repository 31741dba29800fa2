// The demo executable started as a user starts it, with SDL's drivers chosen through the environment:
// it plays and stops cleanly on an interrupt, and reports a missing sound device or display.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {
struct Outcome {
    bool exited = false;
    int ended_ms = -1; // when the process was seen to have ended
    int status = -1;
    std::string err;
};

// Runs the demo with `video` and `audio` as SDL's drivers. With interrupt_ms >= 0 it sends SIGINT after
// that many milliseconds; the process is killed if it has not ended within limit_ms.
Outcome run_demo(const char* video, const char* audio, int interrupt_ms, int limit_ms) {
    int err_pipe[2];
    Outcome out;
    if (pipe(err_pipe) != 0) return out;
    const pid_t child = fork();
    if (child == 0) {
        dup2(err_pipe[1], 2);
        close(err_pipe[0]);
        close(err_pipe[1]);
        setenv("SDL_VIDEODRIVER", video, 1);
        setenv("SDL_AUDIODRIVER", audio, 1);
        execl(SHORELINE_EXE, SHORELINE_EXE, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(err_pipe[1]);
    int status = 0;
    bool done = false, interrupted = false;
    for (int waited = 0; waited < limit_ms && !done; waited += 10) {
        if (interrupt_ms >= 0 && !interrupted && waited >= interrupt_ms) {
            kill(child, SIGINT);
            interrupted = true;
        }
        done = waitpid(child, &status, WNOHANG) == child;
        if (done) out.ended_ms = waited;
        if (!done) usleep(10000);
    }
    if (!done) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
    char buf[256];
    ssize_t n;
    while ((n = read(err_pipe[0], buf, sizeof buf)) > 0) out.err.append(buf, static_cast<size_t>(n));
    close(err_pipe[0]);
    out.exited = done && WIFEXITED(status);
    out.status = out.exited ? WEXITSTATUS(status) : -1;
    return out;
}
} // namespace

TEST(ShorelineExe, PlaysAndStopsCleanlyOnInterrupt) {
    const Outcome out = run_demo("dummy", "dummy", 2500, 20000);
    ASSERT_TRUE(out.exited) << "the demo did not end after SIGINT";
    EXPECT_GE(out.ended_ms, 2500) << "the demo ended before it was interrupted";
    EXPECT_EQ(out.status, 0);
    EXPECT_EQ(out.err, "");
}

TEST(ShorelineExe, NoSoundDeviceIsReported) {
    const Outcome out = run_demo("dummy", "nonexistent", -1, 20000);
    ASSERT_TRUE(out.exited);
    EXPECT_EQ(out.status, 1);
    EXPECT_EQ(out.err, "MZX failure\n");
}

TEST(ShorelineExe, NoDisplayIsReported) {
    const Outcome out = run_demo("nonexistent", "dummy", -1, 20000);
    ASSERT_TRUE(out.exited);
    EXPECT_EQ(out.status, 1);
    EXPECT_EQ(out.err, "GFX failure\n");
}

namespace {
bool have(const char* tool) {
    const std::string probe = std::string("command -v ") + tool + " >/dev/null 2>&1";
    return std::system(probe.c_str()) == 0;
}

// Plays the demo in a private X server (the first free display from `server` on; the tests start from
// different numbers so that they can run at the same time; -noreset keeps the server from restarting,
// and refusing connections for a moment, whenever its last client leaves). Three seconds in, with the pointer
// inside the window, it runs the xdotool commands `before`, a second later `final_action`, and reports how
// the demo ended: "status N", "hung" (still running ten seconds later), or "early N" (before `final_action`),
// after anything the demo wrote on standard error.
std::string play_under_x(int server, const std::string& before, const std::string& final_action) {
    const std::string script =
        "xvfb-run -a -n " + std::to_string(server) +
        " -s '-screen 0 320x240x24 -noreset' sh -c '"
        "i=0; until xdotool getmouselocation >/dev/null 2>&1 || [ $i -ge 50 ]; do sleep 0.1; i=$((i+1)); "
        "done; "
        "SDL_AUDIODRIVER=dummy LSAN_OPTIONS=suppressions=" SHORELINE_SOURCE_DIR
        "/tests/main/x11-leaks.supp:print_suppressions=0 " SHORELINE_EXE
        " 2>&1 & pid=$!; sleep 3; xdotool mousemove 100 100; " +
        before + " sleep 1; kill -0 $pid 2>/dev/null || { wait $pid; echo early $?; exit 0; }; " +
        final_action +
        "; i=0; while kill -0 $pid 2>/dev/null && [ $i -lt 100 ]; do sleep 0.1; i=$((i+1)); done; "
        "kill -0 $pid 2>/dev/null && { kill -9 $pid; echo hung; exit 0; }; wait $pid; echo status $?' "
        "2>/dev/null";
    std::string out;
    if (FILE* p = popen(script.c_str(), "r")) {
        char buf[128];
        while (std::fgets(buf, sizeof buf, p)) out += buf;
        pclose(p);
    }
    return out;
}
} // namespace

TEST(ShorelineExe, LeftMouseButtonEndsTheDemoUnderX) {
    if (!have("xvfb-run") || !have("xdotool")) GTEST_SKIP() << "needs xvfb-run and xdotool";
    // A right click does nothing; holding the left button ends the demo.
    EXPECT_EQ(play_under_x(171, "xdotool click 3;", "xdotool mousedown 1"), "status 0\n");
}

TEST(ShorelineExe, EscapeEndsTheDemoOtherKeysDoNotUnderX) {
    if (!have("xvfb-run") || !have("xdotool")) GTEST_SKIP() << "needs xvfb-run and xdotool";
    EXPECT_EQ(play_under_x(187, "xdotool keydown space; xdotool key q Return;",
                           "xdotool keyup space keydown Escape"),
              "status 0\n");
}
