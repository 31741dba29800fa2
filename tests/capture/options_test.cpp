// Command line of capture: values, limits, and combinations that must be refused before any work.
#include "options.h"

#include <gtest/gtest.h>

#include <deque>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

struct parsed {
    bool ok;
    capture_options opts;
    std::string err;
};

parsed parse(std::initializer_list<const char*> args) {
    // The options keep pointers into argv, as with a real command line: the words live to the end.
    static std::deque<std::string> words;
    std::vector<char*> argv{words.emplace_back("capture").data()};
    for (const char* a : args) argv.push_back(words.emplace_back(a).data());
    int argc = static_cast<int>(argv.size());
    argv.push_back(nullptr);
    parsed p;
    p.ok = parse_options(argc, argv.data(), &p.opts, &p.err);
    return p;
}

TEST(CaptureOptions, DefaultsAndOutputKinds) {
    parsed p = parse({"shots/f%05d.png"});
    ASSERT_TRUE(p.ok) << p.err;
    EXPECT_EQ(p.opts.fps, 50);
    EXPECT_EQ(p.opts.scale, 1);
    EXPECT_EQ(p.opts.from, 0);
    EXPECT_EQ(p.opts.to, 2000);
    EXPECT_EQ(p.opts.kind, out_kind::png_sequence);
    EXPECT_EQ(parse({"x.WAV"}).opts.kind, out_kind::wav);
    EXPECT_EQ(parse({"demo.mp4"}).opts.kind, out_kind::video);
    EXPECT_EQ(parse({"--still=1316", "a.png"}).opts.kind, out_kind::png_still);
    EXPECT_EQ(parse({"--bench"}).opts.kind, out_kind::none);
    EXPECT_TRUE(parse({"--bench", "--callgrind"}).opts.callgrind);
    // Options may follow OUT, and "--" lets a name start with a dash.
    parsed late = parse({"a.wav", "-r", "25"});
    EXPECT_TRUE(late.ok);
    EXPECT_EQ(late.opts.fps, 25);
    parsed dashed = parse({"--", "-odd.wav"});
    ASSERT_TRUE(dashed.ok) << dashed.err;
    EXPECT_STREQ(dashed.opts.out, "-odd.wav");
}

TEST(CaptureOptions, RateAndScaleLimits) {
    EXPECT_TRUE(parse({"-r1", "a.wav"}).ok);
    EXPECT_TRUE(parse({"--fps=240", "a.wav"}).ok);
    for (const char* bad : {"0", "241", "-5", "50x", "", "2.5", "99999999999999999999", "+50"}) {
        parsed p = parse({"--fps", bad, "a.wav"});
        EXPECT_FALSE(p.ok) << bad;
        EXPECT_NE(p.err.find("1 to 240"), std::string::npos) << p.err;
    }
    EXPECT_TRUE(parse({"-s", "8", "a.mp4"}).ok);
    EXPECT_FALSE(parse({"-s", "9", "a.mp4"}).ok);
    EXPECT_FALSE(parse({"--scale=0", "a.mp4"}).ok);
    EXPECT_FALSE(parse({"--section=12", "a.mp4"}).ok);
    EXPECT_EQ(parse({"-S", "8", "a.mp4"}).opts.section, 8);
}

TEST(CaptureOptions, FitPresetsForVideoSites) {
    for (const char* out : {"v.mp4", "f%05d.png"}) {
        parsed p = parse({"--fit=1080", out});
        ASSERT_TRUE(p.ok) << p.err;
        EXPECT_EQ(p.opts.fit, 1080);
        EXPECT_EQ(p.opts.fps, 50);
    }
    parsed still = parse({"--fit", "2160", "--still=13:16", "thumb.png"});
    ASSERT_TRUE(still.ok) << still.err;
    EXPECT_EQ(still.opts.fit, 2160);
    EXPECT_EQ(parse({"v.mp4"}).opts.fit, 0);
    for (const char* bad : {"720", "1081", "1080p", "", "0", "-1080", "4320", "+1080", "2160.0"}) {
        parsed p = parse({"--fit", bad, "v.mp4"});
        EXPECT_FALSE(p.ok) << bad;
        EXPECT_NE(p.err.find("is not 1080 (a 1920x1080 picture) or 2160"), std::string::npos) << p.err;
    }
}

TEST(CaptureOptions, SongPositions) {
    int pos = -1;
    EXPECT_TRUE(parse_position("1316", &pos));
    EXPECT_EQ(pos, 1316);
    EXPECT_TRUE(parse_position("13:16", &pos));
    EXPECT_EQ(pos, 1316);
    EXPECT_TRUE(parse_position("20:0", &pos));
    EXPECT_EQ(pos, 2000);
    EXPECT_FALSE(parse_position("13:64", &pos)); // rows are 0..63
    EXPECT_FALSE(parse_position("20:1", &pos));  // past the end of the song
    EXPECT_FALSE(parse_position("2001", &pos));
    EXPECT_FALSE(parse_position("1380", &pos)); // row 80 never comes
    EXPECT_FALSE(parse_position(":5", &pos));
    EXPECT_FALSE(parse_position("3:", &pos));
    EXPECT_FALSE(parse_position("-1", &pos));

    parsed range = parse({"--from=8:0", "--to", "1100", "a.wav"});
    ASSERT_TRUE(range.ok) << range.err;
    EXPECT_EQ(range.opts.from, 800);
    EXPECT_EQ(range.opts.to, 1100);
    EXPECT_FALSE(parse({"--from=900", "--to=900", "a.wav"}).ok);
    EXPECT_FALSE(parse({"--still=2000", "a.png"}).ok);
}

TEST(CaptureOptions, RefusedUsage) {
    auto refused = [](std::initializer_list<const char*> args, const char* words) {
        parsed p = parse(args);
        EXPECT_FALSE(p.ok);
        EXPECT_NE(p.err.find(words), std::string::npos) << "message: " << p.err;
    };
    refused({"--frobnicate", "a.wav"}, "unknown option '--frobnicate'");
    refused({"-x", "a.wav"}, "unknown option '-x'");
    refused({"a.wav", "--fps"}, "needs a value");
    refused({}, "no output");
    refused({"a.wav", "b.wav"}, "more than one output");
    refused({"noextension"}, "cannot tell the format");
    refused({"one.png"}, "pattern such as frame%05d.png");
    refused({"--still=100", "f%05d.png"}, "sequence pattern");
    refused({"--still=100", "a.mp4"}, "PNG picture");
    refused({"--still=100", "--wav=s.wav", "a.png"}, "--wav cannot go with --still");
    refused({"--wav=s.wav", "a.wav"}, "already is the soundtrack");
    refused({"--bench", "a.wav"}, "writes no file");
    refused({"--digest", "--fps=25"}, "whole demo at 50 fps");
    refused({"--bench", "--digest"}, "cannot be combined");
    refused({"--callgrind", "a.wav"}, "goes with --bench");
    refused({"f%s.png"}, "bad frame pattern");
    refused({"f%d%d.png"}, "bad frame pattern");
    refused({"f%10d.png"}, "bad frame pattern");
    // Each option at most once, whatever its form: the second value is not silently taken.
    refused({"--section=5", "--section=6", "x.wav"}, "option --section given more than once");
    refused({"-S", "5", "--section=5", "x.wav"}, "option --section given more than once");
    refused({"--fps=25", "a.wav", "-r30"}, "option --fps given more than once");
    refused({"--wav=a.wav", "--wav=b.wav", "f%d.png"}, "option --wav given more than once");
    refused({"--from=1", "--from=2", "a.wav"}, "option --from given more than once");
    refused({"-q", "--quiet", "a.wav"}, "option --quiet given more than once");
    refused({"--bench", "--bench"}, "option --bench given more than once");
    // --fit decides the scale and keeps the demo's rate; it needs pictures to lay out.
    refused({"--fit=1080", "--scale=4", "v.mp4"}, "--fit and --scale cannot be combined");
    refused({"-s1", "--fit=2160", "v.mp4"}, "--fit and --scale cannot be combined");
    refused({"--fit=1080", "--fps=50", "v.mp4"}, "leave out --fps");
    refused({"--fit=1080", "a.wav"}, "'a.wav' is a soundtrack");
    refused({"--fit=1080", "--bench"}, "--bench writes none");
    refused({"--digest", "--fit=2160"}, "--digest writes none");
    refused({"--fit=1080", "--fit=1080", "v.mp4"}, "option --fit given more than once");
}

TEST(CaptureOptions, HelpAndVersionWinOverEverythingElse) {
    parsed help = parse({"--help", "--fps=0"});
    EXPECT_TRUE(help.ok);
    EXPECT_TRUE(help.opts.help);
    EXPECT_TRUE(parse({"-V"}).opts.version);
}

TEST(CaptureOptions, FramePatterns) {
    EXPECT_TRUE(valid_frame_pattern("f%d.png"));
    EXPECT_TRUE(valid_frame_pattern("100%%/f%05d.png"));
    EXPECT_FALSE(valid_frame_pattern("f.png"));
    EXPECT_FALSE(valid_frame_pattern("f%-5d.png"));
    EXPECT_FALSE(valid_frame_pattern("f%ld.png"));
    EXPECT_FALSE(valid_frame_pattern("f%n.png"));
    EXPECT_FALSE(valid_frame_pattern("f%"));

    char name[32];
    ASSERT_TRUE(format_frame_name("a/f%05d.png", 42, name, sizeof name));
    EXPECT_STREQ(name, "a/f00042.png");
    ASSERT_TRUE(format_frame_name("%%%d%%", 7, name, sizeof name));
    EXPECT_STREQ(name, "%7%");
    ASSERT_TRUE(format_frame_name("f%3d", 123456, name, sizeof name));
    EXPECT_STREQ(name, "f123456"); // a width is a minimum, as in printf
    ASSERT_TRUE(format_frame_name("f%4d", 5, name, sizeof name));
    EXPECT_STREQ(name, "f   5");
    char tiny[8];
    EXPECT_FALSE(format_frame_name("frame%05d", 1, tiny, sizeof tiny));
    ASSERT_TRUE(format_frame_name("ab%d", 1234, tiny, sizeof tiny));
    EXPECT_STREQ(tiny, "ab1234");
}

} // namespace
