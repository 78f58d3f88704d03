#pragma once
// An object that WindowShaper can shape: a form, as the shaping code sees it. Sizes and
// coordinates are pixels; region rectangles are in the form's own coordinates (for a borderless
// form, the picture's pixel coordinates). The native indicator windows are forms; WindowForm
// (shaping/window_form.h) presents them as such.

#include <cstdint>
#include <span>

#include "platform/picture.h"

namespace pel {

// Other: anything that is not a form, which cannot be shaped.
enum class ShapeKind { Form, Other };

// Scale mode value that means pixels.
constexpr int16_t kScalePixels = 3;

class ShapeTarget {
 public:
  virtual ~ShapeTarget() = default;
  virtual ShapeKind Kind() = 0;

  // AutoRedraw on: the picture is kept in a persistent image at the top-left corner at its
  // natural size, which Picture() reads. ClipControls may be a no-op.
  virtual void SetAutoRedraw(bool on) = 0;
  virtual void SetClipControls(bool on) = 0;
  virtual void SetScaleMode(int16_t mode) = 0;
  // ScaleWidth x ScaleHeight in pixels: the client area that the picture fills.
  virtual PixelSize InnerSize() = 0;
  // The form's persistent image.
  virtual PixelSource& Picture() = 0;

  // Width x Height of the whole window in pixels: the coordinate space of its outline. Must be
  // the size the window has when the outline is applied.
  virtual PixelSize OuterSize() = 0;
  // Installs the outline: the window shows exactly the union of `rects` (which the caller has
  // clipped to OuterSize, canonical banded order) and redraws. An empty list hides everything.
  virtual void ApplyRegion(std::span<const Rect> rects) = 0;
  // Removes any outline: the window is a plain rectangle again.
  virtual void ClearRegion() = 0;
};

}  // namespace pel
