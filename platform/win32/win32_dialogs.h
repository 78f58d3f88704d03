#pragma once
// Message boxes and the common file dialogs (MessageBoxW, GetOpenFileNameW, GetSaveFileNameW),
// owned by the main window while it is shown and by nothing while it is hidden, and the event
// pump that services the window's queue.

#include <windows.h>
// The seam has its own MessageBox; the ANSI/wide macro would rename it here only.
#undef MessageBox

#include <functional>
#include <string>

#include "platform/dialogs.h"
#include "platform/events.h"

namespace pel {

// "Label|*.ext|Label2|*.b" -> "Label\0*.ext\0Label2\0*.b\0\0" (as a wide string that holds the
// NULs, ready for OPENFILENAMEW::lpstrFilter).
std::wstring FileFilter(std::string_view filter);
// Lines break at CR LF or at a lone CR; MessageBoxW gets CR LF for each.
std::wstring BoxText(std::string_view text);

class Win32Dialogs : public Dialogs {
 public:
  // `default_title`: the title of boxes shown without one until SetApplicationTitle.
  explicit Win32Dialogs(std::string default_title) : app_title_(std::move(default_title)) {}

  // The window that owns the boxes and dialogs (the main window); nullptr: none.
  void SetOwner(HWND owner) { owner_ = owner; }
  // Called after each file dialog has closed (it must not throw): the code the dialog loaded
  // into the process stays and may have changed what the process registered.
  void SetAfterFileDialog(std::function<void()> after) { after_file_dialog_ = std::move(after); }

  void SetApplicationTitle(std::string_view title) override { app_title_ = std::string(title); }
  const std::string& ApplicationTitle() const { return app_title_; }
  MsgResult MessageBox(std::string_view text, std::string_view title, MsgButtons buttons,
                       MsgIcon icon) override;
  std::string ShowSave(std::string_view initial, std::string_view filter) override;
  std::string ShowOpen(std::string_view initial, std::string_view filter) override;

 private:
  std::string FileDialog(bool save, std::string_view initial, std::string_view filter);
  // The owner is there, shown and not minimised.
  bool OwnerShown() const;
  HWND owner_ = nullptr;
  std::string app_title_;
  std::function<void()> after_file_dialog_;
};

class Win32EventPump : public EventPump {
 public:
  // Keyboard messages for `dialog_window` go through IsDialogMessageW (Tab between controls).
  void SetDialogWindow(HWND dialog_window) { dialog_window_ = dialog_window; }
  void DoEvents() override;

  // One message through the same path as the main loop.
  static void Dispatch(HWND dialog_window, MSG& msg);

 private:
  HWND dialog_window_ = nullptr;
};

}  // namespace pel
