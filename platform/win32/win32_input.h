#pragma once
// pel::Input on the user32 calls: key state, cursor query and placement, SendInput buttons.
// Presses are latched from Raw Input: GetAsyncKeyState's own "pressed since the previous call"
// bit is taken by whichever program in the session polls the same key first, so taps shorter
// than a tick could be lost to another program.

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "platform/input.h"
#include "platform/press_latch.h"

namespace pel {

// The extra information (dwExtraInfo) of every event the program sends, by which raw input
// tells its own presses from the user's.
constexpr ULONG_PTR kInjectedTag = 0x504C4D49;  // "PLMI"

class Win32Input : public Input {
 public:
  // Make it on the UI thread: the raw input arrives as WM_INPUT through that thread's message
  // loop (the poll tick runs there too). When raw input cannot be registered, KeyState falls
  // back on GetAsyncKeyState's own latch, UserButtonPresses reports none, and RawInputProblem
  // says why.
  Win32Input();
  ~Win32Input() override;
  Win32Input(const Win32Input&) = delete;
  Win32Input& operator=(const Win32Input&) = delete;

  int16_t KeyState(int vk) override;
  bool CursorPos(Point& pos) override;
  // Checked with GetCursorPos: false, with LastDiagnostic saying where it is, also when the
  // cursor was held back elsewhere (another program confines it with ClipCursor).
  bool SetCursorPos(Point pos) override;
  // After a placement that succeeded, the press or release goes in one SendInput after a move
  // back to that place (the user's hand may have moved the cursor since); otherwise where the
  // cursor is.
  bool InjectButton(MouseButton button, bool down) override;
  // After a placement that failed, sends nothing and returns false: the click would land
  // elsewhere. After one that succeeded, the move back to it, the press and the release go in
  // one SendInput.
  bool Click(MouseButton button) override;
  bool InjectWheel(WheelAxis axis, int32_t delta) override;
  // The absolute move to screen pixel `pos` for SendInput (normalised over the whole virtual
  // desktop, landing on the pixel itself); false for a pixel off the desktop.
  static bool AbsoluteMove(Point pos, INPUT& move);
  // Every press but those this object sent (tagged with kInjectedTag): a precision touchpad,
  // a pen and remote control deliver raw input without a device handle, as SendInput does, so
  // the handle cannot tell the user's presses from injected ones.
  uint32_t UserButtonPresses() override;
  // Raw mouse motion not sent by this object (SetCursorPos makes none): relative motion, or an
  // absolute device's position (a tablet, a remote desktop) other than its last one.
  uint32_t UserPointerMoves() override;
  // The input desktop is not this thread's (OpenInputDesktop is refused, as at the lock screen
  // and a UAC prompt, or names another), or the last placement was refused with error 5 (a
  // remote session minimised) and a placement where the cursor stands is refused still.
  bool InputElsewhere() override;
  // Whether the window under the latest press since the previous call belongs to a process of
  // higher integrity, which drops the press without an error; nothing when there was no press.
  std::optional<bool> TakePressIntoElevated() { return std::exchange(press_elevated_, {}); }

  // Watched input: a press or release of F9, F10, F12, Pause or one of the three buttons
  // (moves, other keys and auto-repeat are not). Each one that arrives through the thread's
  // message loop calls `on_input` at once (it must not throw); those that a query reads in
  // meanwhile are kept for TakeInput. Without raw input nothing is reported, and the program
  // keeps its poll tick running (PollCycle::SleepWhenIdle is never called).
  void SetOnInput(std::function<void()> on_input) { on_input_ = std::move(on_input); }
  // Reads in the raw input already queued, without waiting. True when watched input came since
  // the previous call that `on_input` was not told about.
  bool TakeInput();
  // Reads in the raw input already queued, without waiting, and leaves what TakeInput says as
  // it is.
  void ReadRawInput();
  // Each mouse raw input as it is read (from the message loop or a query), for the event stream
  // (win32_input_events.h); it must not throw. A process has one raw input target per device
  // class, so the stream cannot register one of its own. Empty: none.
  void SetMouseListener(std::function<void(const RAWMOUSE&)> listener) {
    mouse_listener_ = std::move(listener);
  }

  // Why the last call that returned false failed: the call's name and GetLastError, for
  // example "SendInput inserted 0 of 2 events (GetLastError 5: Access is denied.)". Empty
  // after a call that succeeded.
  const std::string& LastDiagnostic() const { return diagnostic_; }
  // A process has one raw input target per device class, and code loaded into it (the shell
  // extensions of a file dialog) may register its own: makes this object's sink the target of
  // the mouse and the keyboard again where it no longer is. True when it had to. Call it after
  // each file dialog.
  bool KeepRawInputTarget();

  // Empty while presses are latched from raw input; otherwise the call that failed.
  const std::string& RawInputProblem() const { return raw_problem_; }

  // The SendInput this object calls; tests count the calls through their own function.
  using SendInputFn = UINT(WINAPI*)(UINT, LPINPUT, int);
  void SetSendInput(SendInputFn fn) { send_input_ = fn; }

 private:
  static LRESULT CALLBACK SinkProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  // The mouse and the keyboard to the sink, also while another program has the focus.
  bool RegisterSink();
  // Latches what `handle` brings; true when it is watched input.
  bool Book(HRAWINPUT handle);
  // Books the WM_INPUT messages already queued, so a query sees every press made before it.
  void DrainRawInput();
  // The absolute move to the last placement that succeeded into `move`: 1, or 0 when there is
  // none (or it is off the desktop now).
  UINT MoveToPlaced(INPUT& move) const;
  // Before a press at the placed position (else at the cursor): notes whether the top-level
  // window there runs at a higher integrity level (looked up again only for another window).
  void NotePressTarget();
  // SendInput with its result checked; returns how many events it inserted.
  UINT Send(INPUT* events, UINT count);
  void Fail(const std::string& what);

  // Presses since the last query, by virtual key.
  PressLatch latch_;
  uint32_t user_button_presses_ = 0;
  uint32_t user_pointer_moves_ = 0;
  bool absolute_known_ = false;  // an absolute device has reported a position ...
  LONG absolute_x_ = 0;          // ... this one
  LONG absolute_y_ = 0;
  HWND sink_ = nullptr;  // message-only window that receives WM_INPUT
  std::function<void()> on_input_;
  std::function<void(const RAWMOUSE&)> mouse_listener_;
  bool draining_ = false;  // inside DrainRawInput: a query reads the input, nobody is told
  bool arrived_ = false;   // see TakeInput
  std::string raw_problem_;
  SendInputFn send_input_ = &::SendInput;
  std::string diagnostic_;
  std::optional<Point> placed_;         // where the last placement put the cursor
  bool placement_missed_ = false;       // the last placement failed: clicks are refused
  bool placement_denied_ = false;       // ... with error 5: the desktop may not take input
  std::optional<bool> press_elevated_;  // see TakePressIntoElevated
  HWND press_root_ = nullptr;           // the top-level window of the latest press ...
  bool press_root_elevated_ = false;    // ... and whether it runs elevated
  std::wstring desktop_;                // this thread's desktop's name; empty: unknown
};

}  // namespace pel
