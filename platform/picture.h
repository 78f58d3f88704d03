#pragma once
// Pictures and outlines as plain pixel data: a picture held in memory and anything that can be
// read one pixel at a time. Sizes and coordinates are pixels.

#include <cstdint>
#include <vector>

#include "platform/color.h"
#include "platform/geometry.h"

namespace pel {

// What a pixel read outside the readable area yields (CLR_INVALID); never a key colour.
constexpr Color kInvalidColor = 0xFFFFFFFFu;

// Colour values of a picture or window, read one pixel at a time.
class PixelSource {
 public:
  virtual ~PixelSource() = default;
  // 0x00BBGGRR of the pixel at (x, y), or kInvalidColor outside the readable area.
  virtual Color Pixel(int32_t x, int32_t y) = 0;
};

// A 32-bit picture in memory, row after row, each pixel 0x00BBGGRR.
struct Image {
  int32_t w = 0;
  int32_t h = 0;
  std::vector<uint32_t> px;  // w * h values
};

// Reads an Image; positions outside it (or beyond px) read as kInvalidColor.
class ImagePixels : public PixelSource {
 public:
  explicit ImagePixels(const Image& image) : image_(image) {}
  Color Pixel(int32_t x, int32_t y) override {
    if (x < 0 || y < 0 || x >= image_.w || y >= image_.h) return kInvalidColor;
    size_t i = static_cast<size_t>(y) * static_cast<size_t>(image_.w) + static_cast<size_t>(x);
    return i < image_.px.size() ? image_.px[i] : kInvalidColor;
  }

 private:
  const Image& image_;
};

}  // namespace pel
