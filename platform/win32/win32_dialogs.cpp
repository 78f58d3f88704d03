#include "platform/win32/win32_dialogs.h"

#include <cderr.h>
#include <commdlg.h>

#include <string_view>
#include <vector>

#include "platform/error.h"
#include "platform/win32/win32_diagnostics.h"
#include "platform/win32/win32_text.h"

namespace pel {

namespace {

// Long paths are allowed; the dialog reports FNERR_BUFFERTOOSMALL beyond this.
constexpr size_t kPathBuffer = 32768;

[[noreturn]] void FailDialog(const char* call, DWORD code) {
  throw Error(err::kInvalidProcedureCall,
              std::string(call) + " failed (CommDlgExtendedError " + std::to_string(code) + ")");
}

// Puts a message box of this thread in the topmost band as it is activated. MB_TOPMOST asks
// the same of Windows; this also holds where the flag is not honoured (Wine ignores it).
LRESULT CALLBACK TopmostBoxHook(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_ACTIVATE) {
    auto* box = reinterpret_cast<HWND>(wp);
    wchar_t cls[16] = {};
    if (GetClassNameW(box, cls, 16) > 0 && std::wstring_view(cls) == L"#32770")
      SetWindowPos(box, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

}  // namespace

std::wstring FileFilter(std::string_view filter) {
  std::wstring out = Widen(filter);
  for (wchar_t& c : out)
    if (c == L'|') c = L'\0';
  out.push_back(L'\0');
  out.push_back(L'\0');
  return out;
}

std::wstring BoxText(std::string_view text) {
  const std::wstring in = Widen(text);
  std::wstring out;
  out.reserve(in.size() + 8);
  for (size_t i = 0; i < in.size(); ++i) {
    out.push_back(in[i]);
    if (in[i] == L'\r' && (i + 1 >= in.size() || in[i + 1] != L'\n')) out.push_back(L'\n');
  }
  return out;
}

MsgResult Win32Dialogs::MessageBox(std::string_view text, std::string_view title,
                                   MsgButtons buttons, MsgIcon icon) {
  UINT flags = buttons == MsgButtons::YesNo ? MB_YESNO : MB_OK;
  if (icon == MsgIcon::Exclamation) flags |= MB_ICONEXCLAMATION;
  // Reports from a tick come while another program has the keys and the foreground, often with
  // the main window hidden. The foreground lock may refuse MB_SETFOREGROUND; a topmost box is
  // still seen above that program.
  flags |= MB_SETFOREGROUND | MB_TOPMOST;
  const std::wstring body = BoxText(text);
  const std::wstring caption = Widen(title.empty() ? std::string_view(app_title_) : title);
  // Without a shown owner the box has a task bar button of its own, and MB_TASKMODAL still
  // disables this thread's windows while it is open (F12 may show the main window meanwhile).
  const bool owner_shown = OwnerShown();
  HHOOK hook = SetWindowsHookExW(WH_CBT, &TopmostBoxHook, nullptr, GetCurrentThreadId());
  const int rc = ::MessageBoxW(owner_shown ? owner_ : nullptr, body.c_str(), caption.c_str(),
                               owner_shown ? flags : flags | MB_TASKMODAL);
  const DWORD box_error = rc == 0 ? GetLastError() : 0;
  if (hook != nullptr) UnhookWindowsHookEx(hook);
  switch (rc) {
    case 0:
      throw Error(err::kInvalidProcedureCall, CallFailed("MessageBoxW", box_error));
    case IDYES:
      return MsgResult::Yes;
    case IDNO:
      return MsgResult::No;
    default:
      return buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Ok;
  }
}

bool Win32Dialogs::OwnerShown() const {
  // A hidden or minimised owner would keep a box or dialog out of sight (behind the program in
  // front) and out of the task bar.
  return owner_ != nullptr && IsWindowVisible(owner_) && !IsIconic(owner_);
}

std::string Win32Dialogs::FileDialog(bool save, std::string_view initial, std::string_view filter) {
  // Owned by nothing when the main window is hidden (a file handed over brings up the save
  // offer then), with the main window disabled instead, as an owner would be: modal all the
  // same if F12 shows it meanwhile.
  const bool owner_shown = OwnerShown();
  const bool disabled = !owner_shown && owner_ != nullptr && !EnableWindow(owner_, FALSE);
  struct Enable {
    HWND window;
    const std::function<void()>& after;
    ~Enable() {
      if (window != nullptr) EnableWindow(window, TRUE);
      if (after) after();
    }
  } enable{disabled ? owner_ : nullptr, after_file_dialog_};
  const std::wstring filters = FileFilter(filter);
  std::vector<wchar_t> name(kPathBuffer, L'\0');
  std::wstring proposed;
  try {
    proposed = Widen(initial);
  } catch (const Error&) {
    proposed.clear();  // a name that is not UTF-8 is not worth proposing
  }
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::fill(name.begin(), name.end(), L'\0');
    if (proposed.size() < kPathBuffer) std::copy(proposed.begin(), proposed.end(), name.begin());
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner_shown ? owner_ : nullptr;
    ofn.lpstrFilter = filters.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = name.data();
    ofn.nMaxFile = static_cast<DWORD>(name.size());
    ofn.Flags =
        OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_ENABLESIZING;
    // The program asks its own overwrite question after the dialog.
    if (save) {
      ofn.lpstrDefExt = L"mmf";
    } else {
      ofn.Flags |= OFN_FILEMUSTEXIST;
    }
    const BOOL ok = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    if (ok) return Narrow(name.data());
    const DWORD code = CommDlgExtendedError();
    if (code == 0) return {};  // cancelled
    // A proposed name the dialog cannot take (for example a vanished drive) must not lock the
    // user out of the dialog: try once more without it.
    if (code == FNERR_INVALIDFILENAME && !proposed.empty()) {
      proposed.clear();
      continue;
    }
    FailDialog(save ? "GetSaveFileNameW" : "GetOpenFileNameW", code);
  }
  return {};
}

std::string Win32Dialogs::ShowSave(std::string_view initial, std::string_view filter) {
  return FileDialog(true, initial, filter);
}

std::string Win32Dialogs::ShowOpen(std::string_view initial, std::string_view filter) {
  return FileDialog(false, initial, filter);
}

void Win32EventPump::Dispatch(HWND dialog_window, MSG& msg) {
  if (dialog_window != nullptr && IsWindow(dialog_window) && IsDialogMessageW(dialog_window, &msg))
    return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

void Win32EventPump::DoEvents() {
  // Only what was queued before the call: ticks keep arriving while the handlers run, and a
  // loop that waited for an empty queue might never return.
  const DWORD start = GetTickCount();
  MSG msg;
  for (int n = 0; n < 10000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++n) {
    if (msg.message == WM_QUIT) {
      // The main loop must still see it.
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    Dispatch(dialog_window_, msg);
    if (static_cast<LONG>(msg.time - start) > 0) return;
  }
}

}  // namespace pel
