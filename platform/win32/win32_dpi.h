#pragma once
// Display resolution of windows, with the per-monitor calls where the system has them (Windows
// 10 1607 and later) and the system resolution before that.

#include <windows.h>

#include <string>

namespace pel {

// The resolution at which a window shows its design pixel for pixel.
constexpr int kBaseDpi = 96;

// A function of user32.dll looked up by name: nullptr where the system lacks it.
template <class Fn>
Fn User32Proc(const char* name) {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  return user32 ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(user32, name)))
                : nullptr;
}

// The resolution of the monitor `hwnd` is on; the system resolution without per-monitor calls
// or without a window.
int WindowDpi(HWND hwnd);

// Empty when the calling thread is per-monitor DPI aware, as the manifest asks; otherwise one
// short line that says so. A compatibility setting of the program file ("System" or
// "Application" scaling) forces another awareness: pointer positions are then scaled on
// monitors of another scaling, and recordings and clicks land off. Empty too on a system
// without the per-monitor calls.
std::string DpiAwarenessProblem();

}  // namespace pel
