#include "shaping/region_data.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pel {
namespace {

using Rects = std::vector<Rect>;

std::string Le32(uint32_t v) {
  std::string s;
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  return s;
}

std::string Block(uint32_t dw, uint32_t type, uint32_t count, uint32_t size, const Rects& rects) {
  std::string s = Le32(dw) + Le32(type) + Le32(count) + Le32(size) + std::string(16, '\0');
  for (const Rect& r : rects) {
    s += Le32(static_cast<uint32_t>(r.left)) + Le32(static_cast<uint32_t>(r.top)) +
         Le32(static_cast<uint32_t>(r.right)) + Le32(static_cast<uint32_t>(r.bottom));
  }
  return s;
}

TEST(RegionData, EmptyRegionIsAHeaderWithZeroCountAndBounds) {
  EXPECT_EQ(HeaderFor(Region()), (RegionDataHeader{32, 1, 0, 0, Rect{0, 0, 0, 0}}));
  std::string bytes = EncodeRegionData(Region());
  EXPECT_EQ(bytes, Block(32, 1, 0, 0, {}));
  std::optional<Region> back = DecodeRegionData(bytes);
  ASSERT_TRUE(back.has_value());
  EXPECT_TRUE(back->Empty());
}

TEST(RegionData, LittleEndianHeaderBoundsAndSignedRectangles) {
  Region r = Region::FromRects(Rects{{-1, 0, 2, 1}, {5, 3, 7, 4}});
  std::string bytes = EncodeRegionData(r);
  ASSERT_EQ(bytes.size(), 32u + 16u * 2u);
  std::string want = Le32(32) + Le32(1) + Le32(2) + Le32(32) + Le32(0xFFFFFFFF) + Le32(0) +
                     Le32(7) + Le32(4) + Le32(0xFFFFFFFF) + Le32(0) + Le32(2) + Le32(1) + Le32(5) +
                     Le32(3) + Le32(7) + Le32(4);
  EXPECT_EQ(bytes, want);
  EXPECT_EQ(DecodeRegionData(bytes), r);
}

TEST(RegionData, ReadsRectanglesInAnyOrderSkippingEmptyOnes) {
  // Overlapping, out of order, one upside down, one of zero width; nRgnSize and rcBound wrong.
  std::string bytes =
      Block(32, 1, 4, 0, Rects{{2, 1, 6, 3}, {0, 0, 4, 2}, {9, 9, 8, 10}, {3, 3, 3, 9}});
  std::optional<Region> r = DecodeRegionData(bytes + "trailing bytes");
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->Rects(), (Rects{{0, 0, 4, 1}, {0, 1, 6, 2}, {2, 2, 6, 3}}));
}

TEST(RegionData, NotRegionDataMeansNoOutline) {
  Rects one{{0, 0, 1, 1}};
  EXPECT_FALSE(DecodeRegionData(Block(32, 2, 1, 16, one)));  // iType
  EXPECT_FALSE(DecodeRegionData(Block(32, 0, 1, 16, one)));
  EXPECT_FALSE(DecodeRegionData(Block(0, 1, 1, 16, one)));  // dwSize
  EXPECT_FALSE(DecodeRegionData(Block(48, 1, 1, 16, one)));
  EXPECT_FALSE(DecodeRegionData(Block(32, 1, 2, 32, one)));  // cut short in the rectangles
  EXPECT_FALSE(DecodeRegionData(Block(32, 1, 1, 16, one).substr(0, 47)));
  EXPECT_FALSE(DecodeRegionData(Block(32, 1, 0, 0, {}).substr(0, 31)));  // cut in the header
  EXPECT_FALSE(DecodeRegionData(""));
  // Counts whose byte size overflows 32 bits must not wrap around into "enough".
  EXPECT_FALSE(DecodeRegionData(Block(32, 1, 0xFFFFFFFF, 16, one)));
  EXPECT_FALSE(DecodeRegionData(Block(32, 1, 0x10000001, 16, one)));
}

TEST(RegionData, OversizedBlockIsRefusedUnread) {
  std::string big = Block(32, 1, 1, 16, Rects{{0, 0, 1, 1}});
  big.resize(kMaxRegionDataBytes, '\0');
  EXPECT_TRUE(DecodeRegionData(big).has_value());
  big.push_back('\0');
  EXPECT_FALSE(DecodeRegionData(big).has_value());
}

TEST(RegionData, ClipCutsEveryRectangleToTheWindow) {
  std::string bytes =
      Block(32, 1, 3, 48, Rects{{-70000, -5, 70000, 2}, {100, 100, 200, 200}, {3, 5, 4, 6}});
  Rect window{0, 0, 10, 6};
  std::optional<Region> r = DecodeRegionData(bytes, &window);
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->Rects(), (Rects{{0, 0, 10, 2}, {3, 5, 4, 6}}));
}

}  // namespace
}  // namespace pel
