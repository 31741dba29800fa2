// sd_dsp16.cpp: the SDL audio driver. Opens an SDL 1.2 device (44100 Hz mono signed 16-bit, 2048-sample
// buffers) whose callback is the mixer's mix_newhand, and fills the driver table. Called on the main
// thread; SDL runs the callback on its audio thread once the device is unpaused.
#include "sound_internal.h"

#include <SDL.h>

static SDL_AudioSpec sd_dsp16_spec;

static void sd_dsp16_shutdown() {
    SDL_CloseAudio();
}

int sd_dsp16_init(int rate, int, int) {
    sd_dsp16_spec = SDL_AudioSpec{};
    sd_dsp16_spec.freq = rate;
    sd_dsp16_spec.format = AUDIO_S16LSB;
    sd_dsp16_spec.channels = 1;
    sd_dsp16_spec.samples = 2048;
    sd_dsp16_spec.callback = mix_newhand;
    sd_dsp16_spec.userdata = nullptr;
    if (SDL_OpenAudio(&sd_dsp16_spec, nullptr) < 0) {
        sd_errorstr = "SDL audio error";
        return 0;
    }
    sd_install_mixer_driver(rate, sd_dsp16_shutdown, "SDL audio");
    return 1;
}

// SDL 1.2 flips the pause flag without a lock, but runs every callback under the device lock. Taking that
// lock around the flip orders everything the main thread set up before it (driver table, mixer, module,
// replayer, tick rate) before the first callback.
void sd_dsp16_pause(int pause_on) {
    SDL_LockAudio();
    SDL_PauseAudio(pause_on);
    SDL_UnlockAudio();
}
