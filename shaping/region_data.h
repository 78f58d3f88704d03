#pragma once
// Region data: the platform's RGNDATA block, the byte layout of a region data file.
//   offset 0  dwSize    32 (header size)
//   offset 4  iType     1 (RDH_RECTANGLES)
//   offset 8  nCount    number of rectangles
//   offset 12 nRgnSize  16 * nCount
//   offset 16 rcBound   left, top, right, bottom of the bounding box (all zeros when empty)
//   offset 32 nCount rectangles of left, top, right, bottom
// Every field is a 32-bit little-endian number; the rectangles are signed.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "shaping/region.h"

namespace pel {

constexpr uint32_t kRegionHeaderSize = 32;
constexpr uint32_t kRegionRectSize = 16;
constexpr uint32_t kRdhRectangles = 1;
// Largest file read as an outline: a million rectangles, far beyond any picture's outline. A
// larger file is not read at all and counts as no outline.
constexpr uint64_t kMaxRegionRects = 1'000'000;
constexpr uint64_t kMaxRegionDataBytes = kRegionHeaderSize + kRegionRectSize * kMaxRegionRects;

// The header fields in file order, under the names that say what they hold.
struct RegionDataHeader {
  uint32_t header_size = 0;  // dwSize
  uint32_t type = 0;         // iType
  uint32_t count = 0;        // nCount
  uint32_t rects_size = 0;   // nRgnSize
  Rect bounds;               // rcBound
  friend bool operator==(const RegionDataHeader&, const RegionDataHeader&) = default;
};

// The header that GetRegionData gives for `region`. For an empty region: nCount 0, nRgnSize 0,
// rcBound all zeros.
RegionDataHeader HeaderFor(const Region& region);

// The block GetRegionData gives for `region`: the header, then the canonical rectangles.
std::string EncodeRegionData(const Region& region);

// Reads a block the way ExtCreateRegion does: the union of the listed rectangles in any order,
// skipping any with left >= right or top >= bottom. nullopt (no outline) when the block is not
// region data: fewer than 32 bytes or more than kMaxRegionDataBytes, dwSize other than 32 (the
// only header size ever written; a reader cannot tell where rectangles start otherwise), iType
// other than 1, or fewer bytes after the header than nCount rectangles need. nRgnSize and rcBound
// are not consulted and bytes after the last rectangle are ignored, as the platform does.
// When `clip` is given, each rectangle is first cut to it (a window only shows its own pixels,
// and cutting first bounds the work for hostile data); `cut`, when given, tells whether any
// listed rectangle reached beyond it.
std::optional<Region> DecodeRegionData(std::string_view bytes, const Rect* clip = nullptr,
                                       bool* cut = nullptr);

}  // namespace pel
