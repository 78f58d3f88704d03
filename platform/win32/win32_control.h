#pragma once
// One control of the main window MainForm (push button, check box, frame, status line, text box)
// as the seam's Control, in its colours. Themed push buttons ignore WM_CTLCOLORBTN, so push
// buttons draw themselves: a white face with the pressed, default, hot and focus looks, keeping
// the control's own behaviour.

#include <windows.h>

#include <string>
#include <string_view>
#include <utility>

#include "app/layout.h"
#include "platform/main_window.h"

namespace pel {

// Owns a GDI object (font, brush, bitmap) that is swapped in and out: the one held is deleted
// when another takes its place or the holder goes. A system-owned one (a system colour brush)
// is held without being deleted.
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

// A colour value as GDI draws it: system colour references resolved through GetSysColor.
COLORREF Resolve(Color c);
// Puts the brush for `c` into `brush`: the system's own for a system colour, a new solid brush
// otherwise. Throws pel::Error when it cannot be made (`brush` then stays as it was).
void SetBrush(GdiObject<HBRUSH>& brush, Color c);

class Win32Control : public Control {
 public:
  Win32Control(const layout::ControlLayout& design, HWND hwnd);
  Win32Control(const Win32Control&) = delete;
  Win32Control& operator=(const Win32Control&) = delete;

  std::string Caption() override;
  void SetCaption(std::string_view text) override;
  bool Enabled() override;
  void SetEnabled(bool enabled) override;
  int Value() override;
  void SetValue(int value) override;
  Color ForeColor() override { return fore_; }
  void SetForeColor(Color c) override;
  Color BackColor() override { return back_; }
  void SetBackColor(Color c) override;

  HWND Handle() const { return hwnd_; }
  const layout::ControlLayout& Design() const { return design_; }
  // Paints a push button in its colours and its present state (pressed, default, hot, focus).
  void DrawButton(HDC dc);
  // A message to the push button, after the window's own use of it: paints it itself, and after
  // the button's default handling draws it again where that painted over it.
  LRESULT ButtonMessage(UINT msg, WPARAM wp, LPARAM lp);
  // Colours for WM_CTLCOLOR*: sets the DC's text and background colours, returns the brush.
  HBRUSH PrepareDc(HDC dc);

 private:
  const layout::ControlLayout& design_;
  HWND hwnd_;
  Color fore_;
  Color back_;
  GdiObject<HBRUSH> brush_;
};

}  // namespace pel
