#pragma once
// An object that WindowShaper can shape: a form, a picture box or one of three button kinds,
// as the shaping code sees it. Sizes and coordinates are pixels; region rectangles are in the
// object's own coordinates (for a borderless form, the picture's pixel coordinates). The native
// indicator windows are forms; WindowForm (shaping/window_form.h) presents them as such.

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "platform/picture.h"

namespace pel {

enum class ShapeKind { Form, PictureBox, OptionButton, CommandButton, CheckBox, Other };

// Scale mode value that means pixels.
constexpr int16_t kScalePixels = 3;

class ShapeTarget {
 public:
  virtual ~ShapeTarget() = default;
  virtual ShapeKind Kind() = 0;

  // Forms and picture boxes. AutoRedraw on: the picture is kept in a persistent image at the
  // top-left corner at its natural size, which Picture() reads. ClipControls may be a no-op.
  virtual void SetAutoRedraw(bool on) = 0;
  virtual void SetClipControls(bool on) = 0;
  virtual void SetScaleMode(int16_t mode) = 0;
  // ScaleWidth x ScaleHeight in pixels: the client area that the picture fills.
  virtual PixelSize InnerSize() = 0;
  // The persistent image of a form, or Point of a picture box.
  virtual PixelSource& Picture() = 0;

  // Button kinds. The parent's scale mode (16-bit), read and set.
  virtual int16_t ParentScaleMode() = 0;
  virtual void SetParentScaleMode(int16_t mode) = 0;
  virtual void SetCaption(std::string_view text) = 0;
  virtual void SetBackColor(Color c) = 0;
  // Redraws at once, so that the window pixels show the new caption and colour.
  virtual void Refresh() = 0;
  // The window's own pixels (GetWindowDC); the device is released when the object is dropped.
  virtual std::unique_ptr<PixelSource> OpenWindowPixels() = 0;

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
