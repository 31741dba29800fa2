// pallo_gen.h: builds the shore scene file `pallo` (a 3D Studio scene) in memory, byte for byte the same on
// every run. Used by the gen_pallo tool and by the test that checks data/pallo.3ds is up to date.
#pragma once
#include <cstdint>
#include <vector>

std::vector<uint8_t> make_pallo();
