#pragma once
// Colours as the windows and pictures hold them.

#include <cstdint>

namespace pel {

// 0x00BBGGRR, or a system colour reference 0x800000nn resolved by the window system when drawn.
using Color = uint32_t;

namespace color {
constexpr Color kWhite = 0x00FFFFFF;
constexpr Color kRed = 0x000000FF;    // 255
constexpr Color kGreen = 0x0000FF00;  // 65280
constexpr Color kBlue = 0x00FF0000;   // pure blue, the indicator pictures' background
constexpr Color kWindowBackground = 0x80000005;
constexpr Color kWindowText = 0x80000008;
constexpr Color kButtonFace = 0x8000000F;
constexpr Color kButtonText = 0x80000012;
// True for a system colour reference rather than a plain RGB value.
constexpr bool IsSystem(Color c) {
  return (c & 0xFF000000u) == 0x80000000u;
}
}  // namespace color

}  // namespace pel
