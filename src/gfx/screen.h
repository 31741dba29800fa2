// screen.h: the screen every part of the demo draws for and the display presents: 320x240 pixels, each a
// 32-bit word 0x00RRGGBB (blue in the low byte, top byte 0), rows of 320 words.
#pragma once

constexpr int kScreenW = 320;
constexpr int kScreenH = 240;
constexpr int kScreenWords = kScreenW * kScreenH; // 76800
