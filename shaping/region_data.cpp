#include "shaping/region_data.h"

#include <algorithm>
#include <vector>

namespace pel {

namespace {

void Put32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void PutRect(std::string& out, const Rect& r) {
  Put32(out, static_cast<uint32_t>(r.left));
  Put32(out, static_cast<uint32_t>(r.top));
  Put32(out, static_cast<uint32_t>(r.right));
  Put32(out, static_cast<uint32_t>(r.bottom));
}

uint32_t Get32(std::string_view bytes, size_t at) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) {
    v |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)]))
         << (8 * i);
  }
  return v;
}

int32_t GetSigned32(std::string_view bytes, size_t at) {
  return static_cast<int32_t>(Get32(bytes, at));
}

}  // namespace

RegionDataHeader HeaderFor(const Region& region) {
  RegionDataHeader h;
  h.header_size = kRegionHeaderSize;
  h.type = kRdhRectangles;
  h.count = static_cast<uint32_t>(region.Count());
  h.rects_size = h.count * kRegionRectSize;
  h.bounds = region.Bounds();  // all zeros for the empty region
  return h;
}

std::string EncodeRegionData(const Region& region) {
  RegionDataHeader h = HeaderFor(region);
  std::string out;
  out.reserve(kRegionHeaderSize + static_cast<size_t>(h.rects_size));
  Put32(out, h.header_size);
  Put32(out, h.type);
  Put32(out, h.count);
  Put32(out, h.rects_size);
  PutRect(out, h.bounds);
  for (const Rect& r : region.Rects()) PutRect(out, r);
  return out;
}

std::optional<Region> DecodeRegionData(std::string_view bytes, const Rect* clip, bool* cut) {
  if (cut) *cut = false;
  if (bytes.size() < kRegionHeaderSize || bytes.size() > kMaxRegionDataBytes) return std::nullopt;
  if (Get32(bytes, 0) != kRegionHeaderSize || Get32(bytes, 4) != kRdhRectangles) {
    return std::nullopt;
  }
  // Divide instead of multiplying: nCount may be anything.
  uint64_t count = Get32(bytes, 8);
  if ((bytes.size() - kRegionHeaderSize) / kRegionRectSize < count) return std::nullopt;

  std::vector<Rect> rects;
  rects.reserve(static_cast<size_t>(count));
  for (uint64_t i = 0; i < count; ++i) {
    size_t at = kRegionHeaderSize + static_cast<size_t>(i) * kRegionRectSize;
    Rect r{GetSigned32(bytes, at), GetSigned32(bytes, at + 4), GetSigned32(bytes, at + 8),
           GetSigned32(bytes, at + 12)};
    if (clip != nullptr) {
      if (cut && r.left < r.right && r.top < r.bottom &&
          (r.left < clip->left || r.top < clip->top || r.right > clip->right ||
           r.bottom > clip->bottom))
        *cut = true;
      r.left = std::max(r.left, clip->left);
      r.top = std::max(r.top, clip->top);
      r.right = std::min(r.right, clip->right);
      r.bottom = std::min(r.bottom, clip->bottom);
    }
    if (r.left < r.right && r.top < r.bottom) rects.push_back(r);
  }
  return Region::FromRects(rects);
}

}  // namespace pel
