// fuzz_targets.h: the entry code of the project's fuzz targets. Each takes one input, runs it through a
// parser and what the program does next with the result, and returns false (after saying why on standard
// error) if a result breaks a promise of the code under test. Crashes and memory errors are left to the
// sanitizers. libfuzzer_main.cpp turns each into a libFuzzer program; replay_test.cpp runs the kept
// inputs and the seed corpora through them in the ordinary test suite.
#pragma once
#include <cstddef>
#include <cstdint>

// A tracker module: loaded as the demo loads its song, then 300 ticks replayed and mixed by the offline
// audio device.
bool fuzz_module(const uint8_t* data, size_t size);

// A 3D Studio scene: its first camera and its objects read, then one small frame rendered with them, with
// and without a z-buffer.
bool fuzz_scene(const uint8_t* data, size_t size);

// capture's command line: the input split at NUL bytes into arguments, parsed, and for a frame pattern
// the first frame names formatted.
bool fuzz_options(const uint8_t* data, size_t size);
