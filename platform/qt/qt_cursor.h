#pragma once
// Windows cursor files (.cur) as Qt cursors. The format is read here rather than through an
// image plug-in because the hotspot lives in the file's directory entry, which image readers
// drop, and because Qt ships no reader for it.

#include <QCursor>
#include <QImage>
#include <QPoint>
#include <string>
#include <string_view>

namespace pel {

struct CursorImage {
  QImage image;  // ARGB32
  QPoint hotspot;
};

// Decodes the bytes of a .cur file: the directory (type 2), then the image closest to 32 x 32,
// stored either as a PNG or as a DIB (1, 4, 8, 24 or 32 bits per pixel with its AND mask).
// Throws pel::Error 481 "Invalid picture" when the bytes are not a cursor.
CursorImage DecodeCursor(std::string_view bytes);

// Reads and decodes the file at `path`. Throws pel::Error 53 when it cannot be read, 481 when it
// is not a cursor.
QCursor LoadCursorFile(const std::string& path);

}  // namespace pel
