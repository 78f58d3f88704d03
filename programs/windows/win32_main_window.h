#pragma once
// The main window MainForm as a Win32 window, built from the layout tables with real controls:
// BUTTON (push buttons, BS_AUTOCHECKBOX check boxes, BS_GROUPBOX frames), a bordered centred
// STATIC status line and the EDIT FocusSink below the client area that holds the focus. The poll
// poll timer is a Win32TickSource. Events go to the handlers the program installs; the window
// knows nothing of what they do.

#include <windows.h>

#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "app/layout.h"
#include "platform/main_window.h"
#include "platform/win32/win32_gdi_object.h"
#include "platform/win32/win32_tick.h"
#include "programs/windows/win32_control.h"

namespace pel {

// Window styles of MainForm from its layout: fixed single border, caption, system menu, minimise
// button; no maximise button and no sizing border.
DWORD MainFormStyle(const layout::WindowLayout& design);
// The font height for `points` at `dpi` (negative: character height, as CreateFontW wants it).
int FontHeight(double points, int dpi);

class Win32MainWindow : public MainWindow {
 public:
  // Builds MainForm hidden, sized for the resolution of the primary screen. Throws pel::Error when
  // the window or a control cannot be made.
  explicit Win32MainWindow(FormHandlers handlers = {});
  ~Win32MainWindow() override;
  Win32MainWindow(const Win32MainWindow&) = delete;
  Win32MainWindow& operator=(const Win32MainWindow&) = delete;

  Control& Get(ControlId id) override;
  bool Visible() override;
  void SetVisible(bool visible) override;
  void SetCaption(std::string_view text) override;
  void SetAppIcon() override;
  Color BackColor() override { return back_; }
  void SetBackColor(Color c) override;
  void LoadCustomPointer(const std::string& path) override;
  void SetPointerKind(int kind) override;
  void SetTimerEnabled(bool enabled) override;
  void SetNextTick(double seconds) override;
  uintptr_t NativeHandle() override { return reinterpret_cast<uintptr_t>(hwnd_); }

  void SetHandlers(FormHandlers handlers) { handlers_ = std::move(handlers); }
  // The program is ended without the user's word at the window: the session ends (WM_ENDSESSION
  // after log-off or shut-down was agreed; the window never holds it up), or another program
  // asks it to close (a WM_CLOSE that no close command of the window sent: taskkill without
  // /F, Task Manager's End task). `ending` keeps the work and returns the exit status; the
  // process ends with it at once. Without `ending`, such a close is the user's.
  void SetEndingWithoutUser(std::function<int()> ending) { ending_ = std::move(ending); }
  // First showing: centred on the primary screen's work area, the focus in FocusSink. The
  // status line says so when the DPI awareness in force is not per monitor.
  void ShowCentred();

  HWND Handle() const { return hwnd_; }
  Win32Control& Ctl(ControlId id) { return *controls_[static_cast<size_t>(id)]; }
  // The application icon at the small size for the window's resolution.
  HICON SmallIcon() const { return icon_small_; }
  const Win32TickSource& Tick() const { return tick_; }

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT CALLBACK ButtonProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                     DWORD_PTR ref);
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
  void Build();
  // Places every control and sizes the window for `dpi`, with fonts of that resolution.
  void Layout(int dpi, const RECT* suggested);
  void LoadIcons();
  HFONT FontFor(const layout::Font& f);
  Win32Control* FromHandle(HWND h);
  void OnMouseMove(POINT client);
  // Brings the shown window to the user's eyes despite the foreground lock.
  void BringToFront();
  // Runs the ending handler, if any, and ends the process with its status.
  void EndWithoutUser();
  HCURSOR CurrentCursor() const;
  bool PointerOverWindow() const;

  FormHandlers handlers_;
  std::function<int()> ending_;
  bool user_close_ = false;  // inside the window's own close command (SC_CLOSE)
  HWND hwnd_ = nullptr;
  std::array<std::unique_ptr<Win32Control>, kControlCount> controls_;
  Win32TickSource tick_;
  int dpi_ = 96;
  GdiObject<HFONT> form_font_;
  GdiObject<HFONT> button_font_;
  HICON icon_big_ = nullptr;
  HICON icon_small_ = nullptr;
  Color back_;
  GdiObject<HBRUSH> back_brush_;
  int pointer_kind_ = kPointerDefault;
  HCURSOR custom_cursor_ = nullptr;
  HWND focus_ = nullptr;       // the control that had the focus when the window was deactivated
  bool stopped_once_ = false;  // the poll timer has been stopped before (see SetTimerEnabled)
};

}  // namespace pel
