#pragma once
// A native shaped window as WindowShaper sees it: a borderless form whose persistent image is
// the window's picture, always kept, in pixels.

#include "platform/shaped_window.h"
#include "shaping/shape_target.h"

namespace pel {

class WindowForm : public ShapeTarget {
 public:
  explicit WindowForm(ShapedWindow& window) : window_(window) {}

  ShapeKind Kind() override { return ShapeKind::Form; }
  void SetAutoRedraw(bool) override {}  // the picture is always kept
  void SetClipControls(bool) override {}
  void SetScaleMode(int16_t) override {}  // sizes are pixels already
  // No frame: the client area is the whole window.
  PixelSize InnerSize() override { return window_.OuterSize(); }
  PixelSource& Picture() override { return window_.Picture(); }
  PixelSize OuterSize() override { return window_.OuterSize(); }
  void ApplyRegion(std::span<const Rect> rects) override { window_.ApplyRegion(rects); }
  void ClearRegion() override { window_.ClearRegion(); }

 private:
  ShapedWindow& window_;
};

}  // namespace pel
