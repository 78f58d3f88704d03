// Windows cursor files read into Qt cursors, and the main window's pointer kinds.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QTemporaryDir>
#include <cstdint>
#include <string>

#include "platform/error.h"
#include "platform/qt/qt_cursor.h"
#include "programs/linux/qt_main_window.h"
#include "testkit/raised.h"
#include "testkit/real_disk.h"

namespace pel {
namespace {

void Put16(std::string& s, uint32_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}

std::string Directory(int w, int h, int hx, int hy, const std::string& image) {
  std::string s;
  Put16(s, 0);
  Put16(s, 2);
  Put16(s, 1);
  s += static_cast<char>(w);
  s += static_cast<char>(h);
  s += '\0';
  s += '\0';
  Put16(s, static_cast<uint32_t>(hx));
  Put16(s, static_cast<uint32_t>(hy));
  Put32(s, static_cast<uint32_t>(image.size()));
  Put32(s, 22);
  return s + image;
}

std::string DibHeader(int w, int h, int bits) {
  std::string s;
  Put32(s, 40);
  Put32(s, static_cast<uint32_t>(w));
  Put32(s, static_cast<uint32_t>(h * 2));
  Put16(s, 1);
  Put16(s, static_cast<uint32_t>(bits));
  for (int i = 0; i < 6; ++i) Put32(s, 0);
  return s;
}

// 4 x 2, 32 bits: top row opaque red, bottom row transparent; mask rows all zero.
std::string Cur32() {
  std::string img = DibHeader(4, 2, 32);
  for (int i = 0; i < 4; ++i) Put32(img, 0x00000000);  // bottom row first: transparent
  for (int i = 0; i < 4; ++i) Put32(img, 0xFFFF0000);  // top row: opaque red
  img += std::string(8, '\0');                         // AND mask, 2 rows of 4 bytes
  return Directory(4, 2, 3, 1, img);
}

// 8 x 2, 1 bit: palette black/white; top row white pixels, bottom row: mask set (transparent).
std::string Cur1() {
  std::string img = DibHeader(8, 2, 1);
  Put32(img, 0x00000000);                     // black
  Put32(img, 0x00FFFFFF);                     // white
  img += std::string("\x00\x00\x00\x00", 4);  // bottom row XOR: black
  img += std::string("\xFF\x00\x00\x00", 4);  // top row XOR: white
  img += std::string("\xFF\x00\x00\x00", 4);  // bottom row AND: transparent
  img += std::string("\x00\x00\x00\x00", 4);  // top row AND: opaque
  return Directory(8, 2, 0, 0, img);
}

TEST(CursorFileTest, ThirtyTwoBitImageKeepsItsAlphaAndHotspot) {
  const CursorImage c = DecodeCursor(Cur32());
  ASSERT_EQ(c.image.size(), QSize(4, 2));
  EXPECT_EQ(c.hotspot, QPoint(3, 1));
  EXPECT_EQ(c.image.pixel(0, 0), 0xFFFF0000u);
  EXPECT_EQ(qAlpha(c.image.pixel(0, 1)), 0);
}

TEST(CursorFileTest, MonochromeImageUsesItsAndMask) {
  const CursorImage c = DecodeCursor(Cur1());
  ASSERT_EQ(c.image.size(), QSize(8, 2));
  EXPECT_EQ(c.image.pixel(0, 0), qRgba(255, 255, 255, 255));
  EXPECT_EQ(qAlpha(c.image.pixel(0, 1)), 0);
}

TEST(CursorFileTest, PngPayloadIsRead) {
  QImage png(5, 3, QImage::Format_ARGB32);
  png.fill(qRgba(0, 128, 0, 255));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  png.save(&buffer, "PNG");
  const CursorImage c = DecodeCursor(Directory(5, 3, 2, 2, bytes.toStdString()));
  EXPECT_EQ(c.image.size(), QSize(5, 3));
  EXPECT_EQ(c.hotspot, QPoint(2, 2));
  EXPECT_EQ(c.image.pixel(1, 1), qRgba(0, 128, 0, 255));
}

TEST(CursorFileTest, TheShippedHandPointerIsACursor) {
  const CursorImage c = DecodeCursor(test::ReadWholeFile(PEL_SOURCE_DIR "/assets/HAND-M.CUR"));
  EXPECT_EQ(c.image.size(), QSize(32, 32));
  EXPECT_EQ(qAlpha(c.image.pixel(c.hotspot)), 255) << "the hotspot is on the finger";
  EXPECT_EQ(qAlpha(c.image.pixel(31, 31)), 0);
}

TEST(CursorFileTest, AnythingElseIsAnInvalidPicture) {
  const std::string good = Cur32();
  std::string icon = good;
  icon[2] = 1;  // an icon, not a cursor
  std::string bad_offset = good;
  bad_offset[18] = '\x7F';
  std::string bad_bits = good;
  bad_bits[22 + 14] = 7;
  const std::string cases[] = {"",
                               "not a cursor at all",
                               good.substr(0, 10),
                               good.substr(0, 40),
                               good.substr(0, good.size() - 20),
                               icon,
                               bad_offset,
                               bad_bits,
                               Directory(4, 2, 0, 0, "\x89PNG\r\n\x1a\nbroken")};
  for (const std::string& bytes : cases)
    EXPECT_EQ(test::Raised([&] { DecodeCursor(bytes); }).Number(), 481) << bytes.size() << " bytes";
}

TEST(MainWindowPointerTest, CustomKindShowsTheLoadedImageDefaultTheArrow) {
  QTemporaryDir dir;
  const std::string path = test::WriteWholeFile(dir.filePath("HAND-M.CUR").toStdString(), Cur32());
  QtMainWindow w;
  EXPECT_EQ(w.Widget()->cursor().shape(), Qt::ArrowCursor);
  w.SetPointerKind(kPointerCustom);
  EXPECT_EQ(w.Widget()->cursor().shape(), Qt::ArrowCursor) << "no image loaded yet";
  w.LoadCustomPointer(path);
  EXPECT_EQ(w.Widget()->cursor().shape(), Qt::BitmapCursor) << "kind already custom";
  EXPECT_EQ(w.Widget()->cursor().hotSpot(), QPoint(3, 1));
  w.SetPointerKind(kPointerDefault);
  EXPECT_EQ(w.Widget()->cursor().shape(), Qt::ArrowCursor);
}

TEST(MainWindowPointerTest, BrokenOrMissingFileThrowsAndKeepsThePointer) {
  QTemporaryDir dir;
  const std::string broken =
      test::WriteWholeFile(dir.filePath("broken.cur").toStdString(), "garbage");
  QtMainWindow w;
  EXPECT_EQ(test::Raised([&] { w.LoadCustomPointer(broken); }).Number(), 481);
  const std::string missing = dir.filePath("missing.cur").toStdString();
  EXPECT_EQ(test::Raised([&] { w.LoadCustomPointer(missing); }).Number(), 53);
  w.SetPointerKind(kPointerCustom);
  EXPECT_EQ(w.Widget()->cursor().shape(), Qt::ArrowCursor);
}

}  // namespace
}  // namespace pel
