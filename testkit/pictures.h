#pragma once
// Pictures for tests, in memory or read from disk.
//
// ReadPnm reads the decoded copies of the program's pictures (binary PPM "P6" and PGM "P5", 8 bits
// per sample) that scripts/make-assets.sh writes next to the JPEG files, so that portable tests
// need no image library. Pixels come back as 0x00BBGGRR (a PGM sample v as v * 0x010101).

#include <cctype>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/picture.h"

namespace pel::test {

// An image of w x h pixels, all `fill`.
inline Image Filled(int32_t w, int32_t h, Color fill) {
  return Image{w, h, std::vector<uint32_t>(static_cast<size_t>(w) * static_cast<size_t>(h), fill)};
}
inline void Put(Image& img, int32_t x, int32_t y, Color c) {
  img.px[static_cast<size_t>(y) * static_cast<size_t>(img.w) + static_cast<size_t>(x)] = c;
}

inline Image ReadPnm(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t pos = 0;
  auto field = [&] {
    while (pos < data.size()) {
      if (data[pos] == '#') {
        while (pos < data.size() && data[pos] != '\n') ++pos;
      } else if (std::isspace(static_cast<unsigned char>(data[pos]))) {
        ++pos;
      } else {
        break;
      }
    }
    size_t start = pos;
    while (pos < data.size() && !std::isspace(static_cast<unsigned char>(data[pos]))) ++pos;
    return data.substr(start, pos - start);
  };
  const std::string magic = field();
  const int w = std::stoi(field());
  const int h = std::stoi(field());
  const int max = std::stoi(field());
  ++pos;  // the single blank after the header
  const int channels = magic == "P6" ? 3 : magic == "P5" ? 1 : 0;
  if (channels == 0 || max != 255 || w <= 0 || h <= 0)
    throw std::runtime_error("unsupported picture " + path);
  const size_t count = static_cast<size_t>(w) * static_cast<size_t>(h);
  if (data.size() - pos < count * static_cast<size_t>(channels))
    throw std::runtime_error("short picture " + path);
  Image image;
  image.w = w;
  image.h = h;
  image.px.resize(count);
  const auto* p = reinterpret_cast<const unsigned char*>(data.data() + pos);
  for (size_t i = 0; i < count; ++i) {
    if (channels == 3) {
      image.px[i] = static_cast<uint32_t>(p[3 * i]) | static_cast<uint32_t>(p[3 * i + 1]) << 8 |
                    static_cast<uint32_t>(p[3 * i + 2]) << 16;
    } else {
      image.px[i] = static_cast<uint32_t>(p[i]) * 0x010101u;
    }
  }
  return image;
}

}  // namespace pel::test
