#include "platform/win32/win32_shell.h"

#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <exception>

#include "platform/error.h"
#include "platform/win32/win32_text.h"

namespace pel {

namespace {

// The handle for `which`, or INVALID_HANDLE_VALUE.
HANDLE StdHandle(DWORD which) {
  const HANDLE given = GetStdHandle(which);
  if (given != nullptr && given != INVALID_HANDLE_VALUE && GetFileType(given) != FILE_TYPE_UNKNOWN)
    return given;
  // A GUI program gets no console; the one of the command prompt that started it is borrowed.
  static const HANDLE console = [] {
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return INVALID_HANDLE_VALUE;
    return CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
  }();
  return console;
}

std::atomic<HWND> g_console_close_window{nullptr};

// Runs on a thread the system starts for the event; returning lets the system end the process.
BOOL WINAPI OnConsoleControl(DWORD event) {
  const HWND window = g_console_close_window.load();
  if (window == nullptr ||
      (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT))
    return FALSE;
  // The window's thread keeps the work and ends the process itself, this thread with it.
  if (!PostMessageW(window, WM_CLOSE, 0, 0)) return FALSE;
  Sleep(kConsoleEndWaitMs);
  return FALSE;
}

}  // namespace

void EndOnConsoleControl(HWND window) {
  g_console_close_window.store(window);
  SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
}

void WriteStd(DWORD which, std::string_view text) {
  const HANDLE out = StdHandle(which);
  if (out == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0, written = 0;
  if (GetConsoleMode(out, &mode)) {
    std::string lines;
    for (char c : text) {
      if (c == '\n') lines += '\r';
      lines += c;
    }
    std::wstring converted;
    try {
      converted = Widen(lines);
    } catch (const std::exception&) {
      converted.assign(lines.begin(), lines.end());
    }
    WriteConsoleW(out, converted.data(), static_cast<DWORD>(converted.size()), &written, nullptr);
    return;
  }
  WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void Win32Shell::OpenUrl(const std::string& url) {
  const std::wstring target = Widen(url);
  // Minimised with the focus, as the start-up sequence asks for.
  const auto rc = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, SW_SHOWMINIMIZED));
  if (rc <= 32) {
    throw Error(err::kFileNotFound, "File not found: no web browser could be started for " + url +
                                        " (ShellExecuteW " + std::to_string(rc) + ")");
  }
}

void Win32Shell::EndProgram() {
  std::fflush(nullptr);
  // Ending here, in the middle of a handler, must not run destructors under the handler's feet.
  // The system closes every window, stops the tick thread and releases the instance mutex.
  ExitProcess(0);
}

}  // namespace pel
