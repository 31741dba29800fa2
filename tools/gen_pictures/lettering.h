// Caption lettering of the picture generator: a small stroke font of our own (lines and cubic
// curves drawn with a round pen), rendered with 8x8 supersampling into coverage bytes 0..255.
// Deterministic: arithmetic only, no libm call.
#pragma once
#include <cstdint>

constexpr int kBandCount = 6;
constexpr int kBandRows = 24;
constexpr int kBandWidth = 256;

// How one caption band is laid out. Lettering is shifted by whole columns so that its ink either
// starts at `left` (align_left) or is centred on `centre`, and is shrunk until it fits `max_width`.
struct BandLayout {
    const char* text;
    double cap_height; // pixels from the baseline to the top of a capital
    double pen;        // stroke width in glyph units (capitals are 7.5 units tall)
    double baseline;   // band row of the baseline (rows grow downward)
    bool align_left;
    int left, centre; // ink placement, in band columns
    int max_width;    // widest the ink may be, in columns
};

// The six captions as they are shipped, band 0 first.
extern const BandLayout kCaptionBands[kBandCount];

// True when every character of `text` has a glyph.
bool lettering_supported(const char* text);

// Draws one band (kBandWidth x kBandRows bytes) from its layout; bytes not inked become 0.
// Returns the ink's width in columns (0 for blank text).
int render_band(const BandLayout& layout, uint8_t* band);

// The whole caption bitmap: 256x256 bytes, the six bands in rows 0..143, rows 144..255 zero.
void render_captions(uint8_t* bitmap);
