// The SDL audio driver. Run twice by CTest: with SDL's dummy audio driver (the device opens and the
// callback runs) and with a driver name SDL does not know (opening fails and the table stays empty).
#include "sound_internal.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

bool device_expected() {
    const char* driver = std::getenv("SDL_AUDIODRIVER");
    return driver && std::strcmp(driver, "dummy") == 0;
}

TEST(SdlDriver, OpenFillsTheTableOrReportsTheError) {
    ASSERT_EQ(SDL_Init(0), 0);
    if (!device_expected()) {
        EXPECT_EQ(mzx_init(), 0);
        EXPECT_EQ(mzx_mode, 2); // set before the device is opened
        EXPECT_STREQ(sd_errorstr, "SDL audio error");
        EXPECT_STREQ(sd_devicename, "");
        EXPECT_EQ(sd_init, nullptr);
        EXPECT_EQ(sd_shutdown, nullptr);
        EXPECT_EQ(sd_getsample, nullptr);
        EXPECT_EQ(sd_setmainvolume, nullptr);
        return;
    }
    ASSERT_EQ(sd_dsp16_init(44100, 0, 0), 1) << SDL_GetError();
    EXPECT_STREQ(sd_devicename, "SDL audio");
    EXPECT_STREQ(sd_errorstr, "");
    EXPECT_NE(sd_init, nullptr);
    EXPECT_NE(sd_setactivechannels, nullptr);
    EXPECT_EQ(SDL_GetAudioStatus(), SDL_AUDIO_PAUSED);
    // start, stop and secondhand change nothing.
    sd_init();
    sd_setmainvolume(64);
    const int volume = sd_mix_mainvolume, channels = sd_mix_numchannels;
    sd_start();
    sd_stop(0);
    sd_stop(12345);
    sd_secondhand();
    EXPECT_EQ(sd_mix_mainvolume, volume);
    EXPECT_EQ(sd_mix_numchannels, channels);
    EXPECT_EQ(SDL_GetAudioStatus(), SDL_AUDIO_PAUSED);
    sd_shutdown();
    EXPECT_EQ(SDL_GetAudioStatus(), SDL_AUDIO_STOPPED);
    SDL_Quit();
}

// The song plays on SDL's audio thread while the main thread reads the position.
TEST(SdlDriver, SongAdvancesOnTheAudioThread) {
    if (!device_expected()) GTEST_SKIP() << "no audio device";
    ASSERT_EQ(SDL_Init(0), 0);
    std::ifstream f(std::string(SHORELINE_SOURCE_DIR) + "/data/moddi.mod", std::ios::binary);
    std::vector<uint8_t> song{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    ASSERT_EQ(mzx_init(), 1);
    ASSERT_EQ(mzx_get(song.data(), song.size()), 1);
    EXPECT_EQ(mzx_position(), -37);
    mzx_start(52);
    EXPECT_EQ(SDL_GetAudioStatus(), SDL_AUDIO_PLAYING);
    int position = mzx_position();
    for (int i = 0; i < 300 && position < 2; i++) {
        SDL_Delay(10);
        position = mzx_position();
    }
    EXPECT_GE(position, 2);
    EXPECT_LT(position, 100);
    mzx_close();
    const int after = mzx_position();
    SDL_Delay(200);
    EXPECT_EQ(mzx_position(), after); // no callback after the device is closed
    SDL_Quit();
}

} // namespace
