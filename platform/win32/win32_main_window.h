#pragma once
// The main window Form1 as a Win32 window, built from the layout tables with real controls:
// BUTTON (push buttons, BS_AUTOCHECKBOX check boxes, BS_GROUPBOX frames), a bordered centred
// STATIC status line and the EDIT Text1 below the client area that holds the focus. The poll
// timer Timer1 is a Win32TickSource. Events go to the handlers the program installs; the window
// knows nothing of what they do.

#include <windows.h>

#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "app/layout.h"
#include "platform/win32/win32_tick.h"
#include "platform/windows.h"

namespace pel::win32 {

// A colour value as GDI draws it: system colour references resolved through GetSysColor.
COLORREF Resolve(Color c);
// Window styles of Form1 from its layout: fixed single border, caption, system menu, minimise
// button; no maximise button and no sizing border.
DWORD Form1Style(const layout::WindowLayout& design);
// The font height for `points` at `dpi` (negative: character height, as CreateFontW wants it).
int FontHeight(double points, int dpi);

class Win32MainWindow;

class Win32Control : public Control {
 public:
  Win32Control(const layout::ControlLayout& design, HWND hwnd);
  ~Win32Control() override;
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
  // Colours for WM_CTLCOLOR*: sets the DC's text and background colours, returns the brush.
  HBRUSH PrepareDc(HDC dc);

 private:
  const layout::ControlLayout& design_;
  HWND hwnd_;
  Color fore_;
  Color back_;
  HBRUSH brush_ = nullptr;  // own brush for a plain colour; system brushes are not deleted
  bool own_brush_ = false;
};

class Win32MainWindow : public MainWindow {
 public:
  // Builds Form1 hidden, sized for the resolution of the primary screen. Throws pel::Error when
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
  // Files handed over by later starts (WM_COPYDATA, see HandFileToRunningInstance): `take` says
  // whether the window can load one now; a file taken is given to `open` once the sender has its
  // answer, so that a message shown while loading never keeps the sender waiting.
  void SetFileReceiver(std::function<bool()> take, std::function<void(const std::string&)> open) {
    take_file_ = std::move(take);
    open_file_ = std::move(open);
  }
  // The window class of Form1, by which a later start finds the running instance.
  static const wchar_t* ClassName();
  // First showing: centred on the primary screen's work area, the focus in Text1.
  void ShowCentred();

  HWND Handle() const { return hwnd_; }
  Win32Control& Ctl(ControlId id) { return *controls_[static_cast<size_t>(id)]; }
  int PointerKind() const { return pointer_kind_; }
  int Dpi() const { return dpi_; }
  // The application icon at the big and small sizes for the window's resolution.
  HICON BigIcon() const { return icon_big_; }
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
  HCURSOR CurrentCursor() const;
  bool PointerOverWindow() const;

  FormHandlers handlers_;
  std::function<bool()> take_file_;
  std::function<void(const std::string&)> open_file_;
  std::string handed_file_;
  HWND hwnd_ = nullptr;
  std::array<std::unique_ptr<Win32Control>, kControlCount> controls_;
  Win32TickSource tick_;
  int dpi_ = 96;
  HFONT form_font_ = nullptr;
  HFONT button_font_ = nullptr;
  HICON icon_big_ = nullptr;
  HICON icon_small_ = nullptr;
  Color back_;
  HBRUSH back_brush_ = nullptr;
  bool own_back_brush_ = false;
  int pointer_kind_ = kPointerDefault;
  HCURSOR custom_cursor_ = nullptr;
  HWND focus_ = nullptr;       // the control that had the focus when the window was deactivated
  bool stopped_once_ = false;  // Timer1 has been stopped before (see SetTimerEnabled)
};

}  // namespace pel::win32
