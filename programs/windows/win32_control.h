#pragma once
// One control of the main window MainForm (push button, check box, frame, status line, text box)
// as the seam's Control, in its colours. Themed push buttons ignore WM_CTLCOLORBTN, so push
// buttons draw themselves: a white face with the pressed, default, hot and focus looks, keeping
// the control's own behaviour.

#include <windows.h>

#include <string>
#include <string_view>

#include "app/layout.h"
#include "platform/main_window.h"
#include "platform/win32/win32_gdi_object.h"

namespace pel {

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
