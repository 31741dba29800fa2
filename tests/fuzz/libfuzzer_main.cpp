// libfuzzer_main.cpp: the libFuzzer entry point of one fuzz target, chosen at compile time (FUZZ_ENTRY).
#include <cstdlib>

#include "fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!FUZZ_ENTRY(data, size)) std::abort(); // a broken promise is a finding like a crash
    return 0;
}
