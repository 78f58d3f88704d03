#pragma once
// The native side of the two indicator windows (record and play): a borderless top-level window
// that shows one picture and can be cut to an outline. Every backend's window never takes the
// focus, stays out of the task bar and switcher, stays on top, lets clicks through, and has no
// frame: the client area is exactly the picture's size.

#include <memory>
#include <span>
#include <string_view>

#include "platform/picture.h"

namespace pel {

// The two indicator windows: recording and playing.
enum class IndicatorId { Rec, Play };

// One open indicator window. Dropping the object destroys the window.
class ShapedWindow {
 public:
  virtual ~ShapedWindow() = default;
  // Puts the application icon on the window (shown only where the window system shows it).
  virtual void SetAppIcon() = 0;
  // Outer size in screen pixels: the picture's size at the monitor's scale (there is no frame).
  virtual int Width() = 0;
  virtual int Height() = 0;
  // Screen position of the outer top-left corner in pixels; negative values lie off screen.
  virtual void SetLeft(int left) = 0;
  virtual void SetTop(int top) = 0;
  virtual bool Visible() = 0;
  // Shows the window without activating it, or hides it.
  virtual void SetVisible(bool visible) = 0;
  // The picture shown from the top-left corner, read in picture pixels.
  virtual PixelSource& Picture() = 0;
  // The window in picture pixels, whatever the monitor's scale: the area the picture fills and
  // the coordinate space of the outline.
  virtual PixelSize OuterSize() = 0;
  // Installs the outline: the window shows exactly the union of `rects` (picture pixels, clipped
  // to OuterSize, canonical banded order) and redraws. An empty list hides everything.
  virtual void ApplyRegion(std::span<const Rect> rects) = 0;
  // Removes any outline: the window is a plain rectangle again.
  virtual void ClearRegion() = 0;
};

class IndicatorFactory {
 public:
  virtual ~IndicatorFactory() = default;
  // Creates the hidden window `id` (named `name`), centred on the primary screen, whose client
  // area is `size` pixels and shows the picture `picture` (assets/rec.jpg or assets/play.jpg,
  // built into the program as a resource so that it cannot go missing) from its top-left
  // corner. Throws pel::Error when the window cannot be created; the poll cycle then reports
  // the failure and tries again at its next tick.
  virtual std::unique_ptr<ShapedWindow> Create(IndicatorId id, std::string_view name,
                                               std::string_view picture, PixelSize size) = 0;
  // Bounds of the primary screen in screen pixels, in the coordinates of SetLeft and SetTop
  // (with several monitors its left and top need not be 0).
  virtual Rect PrimaryScreen() = 0;
};

}  // namespace pel
