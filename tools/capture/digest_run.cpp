// digest_run.cpp: plays the whole offline demo at 50 fps and hashes it into the regression table.
#include "digest.h"
#include "soundtrack.h"

#include "offline.h"

namespace {

struct digest_run {
    digest_result* result;
    soundtrack sound;
};

void on_frame(const uint32_t* frame, int section, int position, uint32_t, void* ctx) {
    auto* run = static_cast<digest_run*>(ctx);
    st_frame(&run->sound, static_cast<int64_t>(run->result->frames.size()), true);
    digest_frame_shown(run->result, frame, section, position);
}

void on_audio(const int16_t* samples, int count, void* ctx) {
    st_audio(&static_cast<digest_run*>(ctx)->sound, samples, static_cast<size_t>(count));
}

int never(void*) {
    return 0;
}

} // namespace

bool digest_demo(digest_result* d, std::string* err) {
    digest_init(d);
    digest_run run{d, {}};
    st_init(&run.sound, kDigestFps, digest_audio, d);
    offline_hooks hooks{kDigestFps, on_frame, on_audio, never, &run};
    const int status = offline_run(&hooks);
    st_finish(&run.sound, nullptr);
    if (status != 0) {
        *err = "the demo ended with status " + std::to_string(status);
        return false;
    }
    if (!digest_finish(d)) {
        *err = "the soundtrack does not end with the last frame";
        return false;
    }
    if (d->sections.size() != kDigestSections) {
        *err = "the demo played " + std::to_string(d->sections.size()) + " sections instead of " +
               std::to_string(kDigestSections);
        return false;
    }
    return true;
}
