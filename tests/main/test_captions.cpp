// A caption bitmap of the test's own, linked instead of the embedded one, so that coverage values are known.
#include <cstddef>
#include <cstdint>

uint8_t tekstit[65537];
extern const size_t tekstit_size;
const size_t tekstit_size = 65536;
