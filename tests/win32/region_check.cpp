// Builds a window outline from a picture twice and compares the bytes: once with GDI, exactly as
// the window-shaping class does it on Windows (GetPixel scan, CreateRectRgn, CombineRgn RGN_DIFF
// per transparent run, GetRegionData), once with the portable shaping code that the other
// platforms and the region data files use. Run under Wine by wine_e2e_test.cpp.
//
//   pel_region_check.exe PICTURE GDI_OUT [PORTABLE_OUT]
//
// PICTURE is a binary PPM (P6) or a text picture, one character per pixel:
//   '#' pure blue 0xFF0000, 'b' 0xFA0000, 'B' 0xFF0200, 'c' 0xFB8080 (all key-coloured for a
//   form), 'x' 0xFF0201, 'y' 0xF9FFFF (just outside the key range), any other character red.
// The key test is the form's fixed range. Prints PASS or FAIL lines; exit code 1 on FAIL.

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/picture.h"
#include "shaping/region.h"
#include "shaping/region_data.h"
#include "shaping/window_shaper.h"
#include "testkit/pictures.h"
#include "tests/win32/check.h"

namespace {

using pel::Image;

using pel::wintest::Check;

Image ReadTextPicture(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot open " + path);
  std::vector<std::string> rows;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';') continue;  // blank lines and comments
    rows.push_back(line);
  }
  Image image;
  image.h = static_cast<int32_t>(rows.size());
  for (const auto& r : rows) image.w = std::max<int32_t>(image.w, static_cast<int32_t>(r.size()));
  image.px.assign(static_cast<size_t>(image.w) * static_cast<size_t>(image.h), 0x000000FFu);
  for (size_t y = 0; y < rows.size(); ++y) {
    for (size_t x = 0; x < rows[y].size(); ++x) {
      uint32_t c = 0x000000FFu;
      switch (rows[y][x]) {
        case '#':
          c = 0xFF0000u;
          break;
        case 'b':
          c = 0xFA0000u;
          break;
        case 'B':
          c = 0xFF0200u;
          break;
        case 'c':
          c = 0xFB8080u;
          break;
        case 'x':
          c = 0xFF0201u;
          break;
        case 'y':
          c = 0xF9FFFFu;
          break;
        default:
          break;
      }
      image.px[y * static_cast<size_t>(image.w) + x] = c;
    }
  }
  return image;
}

bool FormKey(COLORREF v) {
  const auto s = static_cast<int32_t>(v);
  return s >= 0xFA0000 && s <= 0xFF0200;
}

struct GdiResult {
  std::vector<pel::TransparentRun> runs;
  std::string bytes;
};

// The picture in a device context, scanned with GetPixel over (W+1) x (H+1) positions and cut
// run by run, as the shaping class does with a form's persistent image.
GdiResult ShapeWithGdi(const Image& image) {
  GdiResult out;
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = image.w;
  bi.bmiHeader.biHeight = -image.h;  // top-down rows
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bmp == nullptr) throw std::runtime_error("CreateDIBSection failed");
  auto* px = static_cast<uint32_t*>(bits);
  for (size_t i = 0; i < image.px.size(); ++i) {
    const uint32_t c = image.px[i];  // 0x00BBGGRR to the DIB's 0x00RRGGBB
    px[i] = (c & 0xFFu) << 16 | (c & 0xFF00u) | (c >> 16 & 0xFFu);
  }
  GdiFlush();
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bmp);

  bool open = false;
  pel::TransparentRun run;
  for (int32_t y = 0; y <= image.h; ++y) {
    for (int32_t x = 0; x <= image.w; ++x) {
      if (FormKey(GetPixel(dc, x, y))) {
        if (!open) run = {y, x, x};
        open = true;
        run.last = x;
      } else if (open) {
        out.runs.push_back(run);
        open = false;
      }
    }
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(bmp);

  HRGN shape = CreateRectRgn(0, 0, image.w, image.h);
  for (const auto& r : out.runs) {
    HRGN cut = CreateRectRgn(r.first, r.row, r.last + 1, r.row + 1);
    CombineRgn(shape, shape, cut, RGN_DIFF);
    DeleteObject(cut);
  }
  const DWORD size = GetRegionData(shape, 0, nullptr);
  out.bytes.assign(size, '\0');
  if (size == 0 ||
      GetRegionData(shape, size, reinterpret_cast<RGNDATA*>(out.bytes.data())) != size) {
    DeleteObject(shape);
    throw std::runtime_error("GetRegionData failed");
  }
  DeleteObject(shape);
  return out;
}

// GDI's own reading of a block: ExtCreateRegion, then GetRegionData again.
std::string GdiReadBack(const std::string& bytes) {
  HRGN r = ExtCreateRegion(nullptr, static_cast<DWORD>(bytes.size()),
                           reinterpret_cast<const RGNDATA*>(bytes.data()));
  if (r == nullptr) return {};
  const DWORD size = GetRegionData(r, 0, nullptr);
  std::string out(size, '\0');
  if (size == 0 || GetRegionData(r, size, reinterpret_cast<RGNDATA*>(out.data())) != size)
    out.clear();
  DeleteObject(r);
  return out;
}

size_t FirstDifference(const std::string& a, const std::string& b) {
  size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  return i;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s PICTURE GDI_OUT [PORTABLE_OUT]\n", argv[0]);
    return 2;
  }
  const std::string input = argv[1];
  std::string name = input.substr(input.find_last_of("\\/") + 1);
  try {
    const bool ppm = input.size() > 4 && input.substr(input.size() - 4) == ".ppm";
    const Image image = ppm ? pel::test::ReadPnm(input) : ReadTextPicture(input);

    const GdiResult gdi = ShapeWithGdi(image);
    WriteFile(argv[2], gdi.bytes);

    pel::ImagePixels pixels(image);
    const auto runs = pel::ScanRuns(pixels, image.w, image.h);
    const pel::Region region =
        pel::Region::FromRect({0, 0, image.w, image.h}).Difference(pel::RunsRegion(runs));
    const std::string portable = pel::EncodeRegionData(region);
    if (argc > 3) WriteFile(argv[3], portable);

    Check(runs == gdi.runs, name + ": GetPixel scan and portable scan find the same " +
                                std::to_string(gdi.runs.size()) + " runs (portable " +
                                std::to_string(runs.size()) + ")");
    const size_t diff = FirstDifference(gdi.bytes, portable);
    const bool same = gdi.bytes == portable;
    Check(same, name + ": " + std::to_string(image.w) + "x" + std::to_string(image.h) + ", " +
                    std::to_string(region.Count()) + " rectangles, " +
                    std::to_string(portable.size()) + " bytes " +
                    (same ? "identical to GDI"
                          : "differ from GDI's " + std::to_string(gdi.bytes.size()) +
                                " bytes at offset " + std::to_string(diff)));
    Check(GdiReadBack(portable) == gdi.bytes,
          name + ": GDI reads the portable bytes back unchanged");
    const auto decoded = pel::DecodeRegionData(gdi.bytes);
    Check(decoded && *decoded == region, name + ": portable reader accepts GDI's bytes");
  } catch (const std::exception& e) {
    Check(false, name + ": " + e.what());
  }
  return pel::wintest::failed ? 1 : 0;
}
