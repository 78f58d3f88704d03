#pragma once
// Points, rectangles and sizes in pixels, shared by every seam that places or measures things.
// Which pixels (the whole desktop, a window, a picture) each use says where it is used.

#include <cstdint>

namespace pel {

struct Point {
  int32_t x = 0;
  int32_t y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

// Pixels from left to right exclusive and top to bottom exclusive.
struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct PixelSize {
  int32_t width = 0;
  int32_t height = 0;
};

}  // namespace pel
