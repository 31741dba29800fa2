// Portrait renderer of the picture generator: ray-marches a stylised head and bust built from
// signed distance fields, lights it and posterises it into a 256x256 8-bit picture.
// Deterministic: plain IEEE double arithmetic and sqrt only, so every build gives the same bytes.
#pragma once
#include <cstdint>

constexpr int kPictureSide = 256;
constexpr int kPictureBytes = kPictureSide * kPictureSide;

// Background value of both portraits; the demo keys on the first byte, which is always background.
constexpr uint8_t kPortraitKey = 0;

// Grey levels of a posterised figure, darkest first; none equals kPortraitKey.
constexpr int kPortraitLevels = 5;
constexpr uint8_t kPortraitLevel[kPortraitLevels] = {34, 82, 134, 190, 244};

enum class Sitter { woman_in_stripes, fisherman };

// Renders one portrait into `picture` (kPictureBytes bytes, row-major, row 0 at the top).
void render_portrait(Sitter sitter, uint8_t* picture);
