#pragma once
// Ownership of the GDI objects a window keeps while it lives: fonts, brushes, bitmaps.

#include <windows.h>

#include <utility>

namespace pel {

// Owns a GDI object that is swapped in and out: the one held is deleted when another takes its
// place or the holder goes. A system-owned one (a system colour brush) is held without being
// deleted.
template <class H>
class GdiObject {
 public:
  GdiObject() = default;
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;
  ~GdiObject() { Reset(); }
  H get() const { return h_; }
  // Holds `h` (deleted in its turn when `owned`), deleting the one held before.
  void Reset(H h = nullptr, bool owned = true) {
    if (owned_ && h_ != nullptr) DeleteObject(h_);
    h_ = h;
    owned_ = owned;
  }
  void Swap(GdiObject& other) noexcept {
    std::swap(h_, other.h_);
    std::swap(owned_, other.owned_);
  }

 private:
  H h_ = nullptr;
  bool owned_ = false;
};

}  // namespace pel
