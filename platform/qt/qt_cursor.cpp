#include "platform/qt/qt_cursor.h"

#include <QFile>
#include <QPixmap>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/error.h"

namespace pel {
namespace {

[[noreturn]] void Invalid(const char* why) {
  throw Error(err::kInvalidPicture, DescribeError(err::kInvalidPicture) + " (" + why + ")");
}

uint32_t U16(std::string_view b, size_t at) {
  if (at + 2 > b.size()) Invalid("truncated");
  return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8;
}

uint32_t U32(std::string_view b, size_t at) {
  return U16(b, at) | U16(b, at + 2) << 16;
}

// A DIB as cursors store it: BITMAPINFOHEADER, palette, XOR bitmap bottom-up, then the 1-bit AND
// mask; the header's height counts both bitmaps.
QImage DecodeDib(std::string_view dib) {
  const uint32_t header = U32(dib, 0);
  if (header < 40 || header > dib.size()) Invalid("bitmap header");
  const int32_t width = static_cast<int32_t>(U32(dib, 4));
  const int32_t height2 = static_cast<int32_t>(U32(dib, 8));
  const uint32_t planes = U16(dib, 12);
  const uint32_t bits = U16(dib, 14);
  const uint32_t compression = U32(dib, 16);
  uint32_t colors_used = U32(dib, 32);
  if (width <= 0 || width > 256 || height2 <= 0 || height2 % 2 != 0 || height2 / 2 > 256)
    Invalid("bitmap size");
  if (planes != 1 || compression != 0) Invalid("bitmap format");
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) Invalid("colour depth");
  const int height = height2 / 2;

  std::vector<QRgb> palette;
  size_t at = header;
  if (bits <= 8) {
    const uint32_t max_colors = 1u << bits;
    if (colors_used == 0 || colors_used > max_colors) colors_used = max_colors;
    for (uint32_t i = 0; i < colors_used; ++i, at += 4) {
      const uint32_t bgrx = U32(dib, at);
      palette.push_back(qRgb(static_cast<int>((bgrx >> 16) & 0xFF),
                             static_cast<int>((bgrx >> 8) & 0xFF), static_cast<int>(bgrx & 0xFF)));
    }
  }
  const size_t xor_stride = ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
  const size_t and_stride = ((static_cast<size_t>(width) + 31) / 32) * 4;
  const size_t xor_at = at;
  const size_t and_at = xor_at + xor_stride * static_cast<size_t>(height);
  if (and_at > dib.size()) Invalid("truncated bitmap");
  // Some writers leave out the AND mask of 32-bit images; their alpha carries the shape.
  const bool has_mask = and_at + and_stride * static_cast<size_t>(height) <= dib.size();
  if (!has_mask && bits != 32) Invalid("truncated mask");

  QImage image(width, height, QImage::Format_ARGB32);
  bool any_alpha = false;
  for (int y = 0; y < height; ++y) {
    const size_t row = xor_at + xor_stride * static_cast<size_t>(height - 1 - y);
    const size_t mask_row = and_at + and_stride * static_cast<size_t>(height - 1 - y);
    for (int x = 0; x < width; ++x) {
      const auto ux = static_cast<size_t>(x);
      QRgb px = 0;
      if (bits == 32) {
        px = U32(dib, row + ux * 4);  // BGRA in memory is 0xAARRGGBB read little-endian
        if (qAlpha(px) != 0) any_alpha = true;
      } else if (bits == 24) {
        const size_t p = row + ux * 3;
        px = qRgb(static_cast<uint8_t>(dib[p + 2]), static_cast<uint8_t>(dib[p + 1]),
                  static_cast<uint8_t>(dib[p]));
      } else {
        const size_t bit = ux * bits;
        const auto byte = static_cast<uint8_t>(dib[row + bit / 8]);
        const uint32_t index = (byte >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
        px = index < palette.size() ? palette[index] : qRgb(0, 0, 0);
      }
      if (bits == 32) {
        image.setPixel(x, y, px);  // alpha or mask decided below, once the whole image is read
        continue;
      }
      const auto mask_byte = static_cast<uint8_t>(dib[mask_row + ux / 8]);
      const bool transparent = (mask_byte >> (7 - ux % 8)) & 1;
      // Mask set over a dark pixel is transparent; over a light one it inverts the screen,
      // which a Qt cursor cannot show: black keeps it visible on most backgrounds.
      if (transparent)
        px = qGray(px) < 128 ? qRgba(0, 0, 0, 0) : qRgba(0, 0, 0, 255);
      else
        px = qRgba(qRed(px), qGreen(px), qBlue(px), 255);
      image.setPixel(x, y, px);
    }
  }
  if (bits == 32 && !any_alpha) {
    // An image without alpha: the AND mask alone decides what shows.
    for (int y = 0; y < height; ++y) {
      const size_t mask_row = and_at + and_stride * static_cast<size_t>(height - 1 - y);
      for (int x = 0; x < width; ++x) {
        const auto ux = static_cast<size_t>(x);
        const bool transparent =
            has_mask && ((static_cast<uint8_t>(dib[mask_row + ux / 8]) >> (7 - ux % 8)) & 1);
        const QRgb px = image.pixel(x, y);
        image.setPixel(x, y, transparent ? (px & 0x00FFFFFFu) : (px | 0xFF000000u));
      }
    }
  }
  return image;
}

}  // namespace

CursorImage DecodeCursor(std::string_view bytes) {
  if (bytes.size() < 6 || U16(bytes, 0) != 0 || U16(bytes, 2) != 2) Invalid("not a cursor");
  const uint32_t count = U16(bytes, 4);
  if (count == 0 || 6 + 16 * static_cast<size_t>(count) > bytes.size()) Invalid("directory");

  // The entry nearest to the usual 32 x 32 pointer size.
  size_t best = 0;
  int best_distance = 1 << 30;
  for (uint32_t i = 0; i < count; ++i) {
    const size_t e = 6 + 16 * static_cast<size_t>(i);
    int w = static_cast<uint8_t>(bytes[e]);
    if (w == 0) w = 256;
    const int distance = std::abs(w - 32);
    if (distance < best_distance) {
      best_distance = distance;
      best = e;
    }
  }
  const QPoint hotspot(static_cast<int>(U16(bytes, best + 4)),
                       static_cast<int>(U16(bytes, best + 6)));
  const uint32_t size = U32(bytes, best + 8);
  const uint32_t offset = U32(bytes, best + 12);
  if (offset >= bytes.size() || size > bytes.size() - offset || size < 8) Invalid("image place");
  const std::string_view payload = bytes.substr(offset, size);

  CursorImage out;
  if (payload.substr(0, 8) == std::string_view("\x89PNG\r\n\x1a\n", 8)) {
    if (!out.image.loadFromData(reinterpret_cast<const uchar*>(payload.data()),
                                static_cast<int>(payload.size()), "PNG"))
      Invalid("PNG image");
    out.image = out.image.convertToFormat(QImage::Format_ARGB32);
  } else {
    out.image = DecodeDib(payload);
  }
  if (hotspot.x() >= out.image.width() || hotspot.y() >= out.image.height())
    out.hotspot = QPoint(0, 0);  // a hotspot outside the image would be refused by X
  else
    out.hotspot = hotspot;
  return out;
}

QCursor LoadCursorFile(const std::string& path) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) throw Error(err::kFileNotFound, "File not found: " + path);
  // Cursor files are a few kilobytes; a huge file is not one.
  if (file.size() > 4 * 1024 * 1024) Invalid("file too large");
  const QByteArray data = file.readAll();
  const CursorImage cur =
      DecodeCursor(std::string_view(data.constData(), static_cast<size_t>(data.size())));
  return QCursor(QPixmap::fromImage(cur.image), cur.hotspot.x(), cur.hotspot.y());
}

}  // namespace pel
