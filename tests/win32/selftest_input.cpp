// The input backend: the cursor (one held back by another program among them), injected
// buttons, the raw input latch and the wake-ups of an idle program.

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_input.h"
#include "platform/win32/win32_input_events.h"
#include "tests/win32/check.h"
#include "tests/win32/selftest.h"

namespace pel::wintest {
namespace {

// The events each SendInput call carried.
std::vector<UINT> g_sent;
UINT WINAPI RecordingSendInput(UINT count, LPINPUT events, int size) {
  g_sent.push_back(count);
  return SendInput(count, events, size);
}

bool SendKey(WORD vk, bool down) {
  INPUT in = {};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
  return SendInput(1, &in, sizeof(INPUT)) == 1;
}

std::string Hex(int16_t v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%04x", static_cast<unsigned>(static_cast<uint16_t>(v)));
  return buf;
}

}  // namespace

void TestInput() {
  Win32Input input;
  const Point points[] = {{123, 45}, {7, 300}, {0, 0}};
  for (const Point& p : points) {
    Point got{-1, -1};
    const bool ok = input.SetCursorPos(p) && input.CursorPos(got);
    Check(ok && got == p,
          "input: cursor round trip (" + std::to_string(p.x) + "," + std::to_string(p.y) + ")",
          "got (" + std::to_string(got.x) + "," + std::to_string(got.y) + ") " +
              input.LastDiagnostic());
  }
  input.SetCursorPos({5, 5});
  input.KeyState(vk::kLButton);  // clear the latch
  const bool down = input.InjectButton(MouseButton::Left, true);
  const int16_t while_down = input.KeyState(vk::kLButton);
  const bool up = input.InjectButton(MouseButton::Left, false);
  const int16_t after_up = input.KeyState(vk::kLButton);
  Check(down && up && input.LastDiagnostic().empty(), "input: SendInput inserts button events",
        input.LastDiagnostic());
  char states[80];
  std::snprintf(states, sizeof states, "left button key state: 0x%04x while down, 0x%04x after up",
                static_cast<unsigned>(static_cast<uint16_t>(while_down)),
                static_cast<unsigned>(static_cast<uint16_t>(after_up)));
  Info(states);
  Check(input.InjectButton(MouseButton::Right, true) &&
            input.InjectButton(MouseButton::Right, false) &&
            input.InjectButton(MouseButton::Middle, true) &&
            input.InjectButton(MouseButton::Middle, false),
        "input: right and middle buttons");
}

// The presses come back as WM_INPUT through this thread's queue, as in the program.
void TestRawInputLatch() {
  Win32Input input;
  Check(input.RawInputProblem().empty(), "latch: raw input registered", input.RawInputProblem());
  input.SetSendInput(&RecordingSendInput);
  input.SetCursorPos({5, 5});
  const struct {
    MouseButton button;
    int vk;
    const char* name;
  } buttons[] = {{MouseButton::Left, vk::kLButton, "left"},
                 {MouseButton::Right, vk::kRButton, "right"},
                 {MouseButton::Middle, vk::kMButton, "middle"}};
  for (const auto& b : buttons) input.KeyState(b.vk);
  input.UserButtonPresses();
  for (const auto& b : buttons) {
    g_sent.clear();
    const bool sent = input.Click(b.button);
    Check(sent && g_sent.size() == 1,
          std::string("input: a ") + b.name + " click is one SendInput call",
          std::to_string(g_sent.size()) + " calls " + input.LastDiagnostic());
    // Another program polling the button takes the system's own "pressed since" bit.
    GetAsyncKeyState(b.vk);
    const int16_t first = input.KeyState(b.vk);
    const int16_t second = input.KeyState(b.vk);
    Check(first == 1 && second == 0,
          std::string("latch: ") + b.name +
              " click reads pressed once, though the system's bit was taken",
          Hex(first) + " then " + Hex(second));
  }
  // Presses this object sends carry its tag; any other (another program's SendInput, a
  // touchpad's, whose raw input has no device handle either) is the user's, and is recorded.
  const uint32_t own = input.UserButtonPresses();
  INPUT untagged[2] = {};
  untagged[0].type = untagged[1].type = INPUT_MOUSE;
  untagged[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  untagged[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, untagged, sizeof(INPUT));
  const int16_t latched = input.KeyState(vk::kLButton);
  const uint32_t other = input.UserButtonPresses();
  Check(own == 0 && other == 1 && latched == 1,
        "latch: only untagged presses are the user's, both are recorded",
        std::to_string(own) + " of 3 tagged, " + std::to_string(other) + " of 1 untagged, " +
            Hex(latched));
  // Moves likewise: placements make none, an untagged move is the user's, a tagged one is not.
  input.SetCursorPos({40, 40});
  const uint32_t placed = input.UserPointerMoves();
  INPUT move = {};
  move.type = INPUT_MOUSE;
  move.mi.dx = 3;
  move.mi.dy = 2;
  move.mi.dwFlags = MOUSEEVENTF_MOVE;
  SendInput(1, &move, sizeof(INPUT));
  const uint32_t moved = input.UserPointerMoves();
  move.mi.dwExtraInfo = kInjectedTag;
  SendInput(1, &move, sizeof(INPUT));
  const uint32_t tagged = input.UserPointerMoves();
  Check(placed == 0 && moved == 1 && tagged == 0, "latch: only untagged moves are the user's",
        std::to_string(placed) + " placed, " + std::to_string(moved) + " untagged, " +
            std::to_string(tagged) + " tagged");

  // A key held with auto-repeat is one press: the repeats after a query latch nothing new.
  input.KeyState(vk::kF9);
  SendKey(VK_F9, true);
  SendKey(VK_F9, true);
  const int16_t held = input.KeyState(vk::kF9);
  SendKey(VK_F9, true);
  SendKey(VK_F9, false);
  const int16_t released = input.KeyState(vk::kF9);
  Check((held & 1) && released == 0, "latch: auto-repeat makes no new press of F9",
        Hex(held) + " held, " + Hex(released) + " after release");
  // A tap of each key between two queries.
  for (WORD key : {WORD{VK_F10}, WORD{VK_F12}, WORD{VK_PAUSE}}) {
    input.KeyState(key);
    SendKey(key, true);
    SendKey(key, false);
    GetAsyncKeyState(key);
    const int16_t tap = input.KeyState(key);
    Check(tap == 1, "latch: tap of key " + Hex(static_cast<int16_t>(key)) + " reads pressed",
          Hex(tap));
  }

  // Other code in the process (a file dialog's shell extension) takes the mouse's raw input:
  // presses are lost to the latch until the target is registered again, once.
  HWND thief = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  RAWINPUTDEVICE taken = {0x01, 0x02, 0, thief};
  const bool stolen = RegisterRawInputDevices(&taken, 1, sizeof(taken)) != FALSE;
  input.KeyState(vk::kLButton);
  input.Click(MouseButton::Left);
  const int16_t lost = input.KeyState(vk::kLButton);
  const bool again = input.KeepRawInputTarget();
  const bool twice = input.KeepRawInputTarget();
  input.Click(MouseButton::Left);
  const int16_t kept = input.KeyState(vk::kLButton);
  Check(stolen && lost == 0 && again && !twice && kept == 1,
        "latch: a raw input target taken by other code is registered again",
        Hex(lost) + " while taken, " + Hex(kept) + " after, registered again " +
            std::to_string(again) + " then " + std::to_string(twice));
  DestroyWindow(thief);
}

// Idle, the program sleeps until watched input wakes it: each press and release of the
// shortcut keys and buttons that the message loop dispatches is reported once, moves, other
// keys and auto-repeat are not, and what a query reads in is kept for TakeInput.
void TestRawInputWakes() {
  Win32Input input;
  int reports = 0;
  input.SetOnInput([&reports] { ++reports; });
  auto pump = [] {
    // SendInput's raw input is queued by the time it returns; a short wait covers Wine's
    // round trip through its server.
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  };
  auto reported = [&](const std::function<void()>& send) {
    pump();
    reports = 0;
    send();
    pump();
    pump();
    return reports;
  };
  INPUT move = {};
  move.type = INPUT_MOUSE;
  move.mi.dx = 3;
  move.mi.dy = 2;
  move.mi.dwFlags = MOUSEEVENTF_MOVE;
  const int quiet = reported([&] {
    SendInput(1, &move, sizeof(INPUT));
    SendKey('A', true);
    SendKey('A', false);
    SendKey(VK_F11, true);
    SendKey(VK_F11, false);
  });
  Check(quiet == 0, "wake: a move and other keys report nothing", std::to_string(quiet));
  const int f10 = reported([] {
    SendKey(VK_F10, true);
    SendKey(VK_F10, true);  // auto-repeat
    SendKey(VK_F10, false);
  });
  Check(f10 == 2, "wake: F10 pressed, repeated and released reports twice", std::to_string(f10));
  const int click = reported([&] { input.Click(MouseButton::Middle); });
  Check(click == 2, "wake: a middle click reports press and release", std::to_string(click));
  input.KeyState(vk::kPause);
  reports = 0;
  SendKey(VK_PAUSE, true);
  SendKey(VK_PAUSE, false);
  MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  const int16_t tap = input.KeyState(vk::kPause);  // The query reads both in itself
  const bool kept = input.TakeInput();
  Check(tap == 1 && reports == 0 && kept && !input.TakeInput(),
        "wake: a Pause tap read in by a query is kept for TakeInput, once",
        Hex(tap) + ", " + std::to_string(reports) + " reports, kept " + (kept ? "yes" : "no"));
  // A scripted run quits from a tick that goes on to read input: the quit must reach the loop.
  PostQuitMessage(5);
  input.TakeInput();
  input.KeyState(vk::kF9);
  MSG quit;
  const bool queued = PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
  Check(queued && quit.wParam == 5, "wake: reading raw input leaves WM_QUIT queued");
}

// The event stream for recording: what arrives as raw input comes out in order, each event
// where the cursor stood and on the clock. Moves are sent as a device sends them (SendInput's
// absolute moves make raw input; SetCursorPos makes none).
void TestInputEvents() {
  Win32Clock clock;
  Win32Input input;
  Win32InputEvents events(input, clock);
  auto move = [](int x, int y) {
    INPUT in = {};
    in.type = INPUT_MOUSE;
    // The pixel whose normalised range starts at or before the value: round up into it.
    in.mi.dx = (x * 65536 + GetSystemMetrics(SM_CXSCREEN) - 1) / GetSystemMetrics(SM_CXSCREEN);
    in.mi.dy = (y * 65536 + GetSystemMetrics(SM_CYSCREEN) - 1) / GetSystemMetrics(SM_CYSCREEN);
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &in, sizeof(INPUT));
  };
  move(40, 50);
  std::string error;
  Check(events.Start(true, error), "events: started on raw input", error);
  const double before = clock.Now();
  input.InjectButton(MouseButton::Left, true);
  move(60, 70);
  input.InjectButton(MouseButton::Left, false);
  input.InjectWheel(WheelAxis::Vertical, -120);
  input.InjectWheel(WheelAxis::Horizontal, 30);
  for (MouseButton b : {MouseButton::X1, MouseButton::X2}) {
    input.InjectButton(b, true);
    input.InjectButton(b, false);
  }
  MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
  std::vector<InputEvent> got;
  events.Take(got);
  const double after = clock.Now();
  using Kind = InputEvent::Kind;
  auto text = [](const std::vector<InputEvent>& list) {
    static const char* kinds[] = {"move", "press", "release", "wheel"};
    std::string out;
    for (const InputEvent& e : list)
      out += std::string(kinds[static_cast<int>(e.kind)]) + " " +
             std::to_string(static_cast<int>(e.button)) + "/" +
             std::to_string(static_cast<int>(e.axis)) + "/" + std::to_string(e.delta) + " at " +
             std::to_string(e.pos.x) + "," + std::to_string(e.pos.y) + "; ";
    return out;
  };
  const Point at{60, 70};
  const std::vector<InputEvent> want = {
      {Kind::Press, MouseButton::Left, WheelAxis::Vertical, 0, {40, 50}, 0},
      {Kind::Move, MouseButton::Left, WheelAxis::Vertical, 0, at, 0},
      {Kind::Release, MouseButton::Left, WheelAxis::Vertical, 0, at, 0},
      {Kind::Wheel, MouseButton::Left, WheelAxis::Vertical, -120, at, 0},
      {Kind::Wheel, MouseButton::Left, WheelAxis::Horizontal, 30, at, 0},
      {Kind::Press, MouseButton::X1, WheelAxis::Vertical, 0, at, 0},
      {Kind::Release, MouseButton::X1, WheelAxis::Vertical, 0, at, 0},
      {Kind::Press, MouseButton::X2, WheelAxis::Vertical, 0, at, 0},
      {Kind::Release, MouseButton::X2, WheelAxis::Vertical, 0, at, 0}};
  bool timed = true;
  double previous = before;
  for (InputEvent& e : got) {
    timed = timed && e.time >= previous && e.time <= after;
    previous = std::exchange(e.time, 0);
  }
  Check(got == want && timed,
        "events: a drag, wheel steps and side buttons come out in order, placed and timed",
        text(got) + (timed ? "" : " (times out of order)"));
  events.Stop();
  input.Click(MouseButton::Left);
  MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  got.clear();
  events.Take(got);
  Check(got.empty(), "events: nothing is taken once stopped", text(got));
}

// A cursor that another program confines is not clicked where it was held back; each button
// event goes in one SendInput after a move to the placed position.
void TestHeldBackCursor() {
  const int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
  Win32Input input;
  input.SetSendInput(&RecordingSendInput);
  const RECT confined = {left, top, left + 100, top + 100};
  RECT clip{};
  if (!ClipCursor(&confined) || !GetClipCursor(&clip) || clip.right != left + 100) {
    Info("the cursor cannot be confined here");
  } else {
    g_sent.clear();
    const bool placed = input.SetCursorPos({left + 300, top + 300});
    const bool clicked = input.Click(MouseButton::Left);
    Check(!placed && !clicked && g_sent.empty(),
          "input: a cursor held back by ClipCursor is not placed, and no click is sent",
          input.LastDiagnostic());
  }
  ClipCursor(nullptr);

  // On the desktop's right edge, where the absolute move's rounding must land on the last
  // column; middle clicks, which do nothing there.
  g_sent.clear();
  const Point target{left + GetSystemMetrics(SM_CXVIRTUALSCREEN) - 1,
                     top + GetSystemMetrics(SM_CYVIRTUALSCREEN) / 2 + 1};
  const bool placed = input.SetCursorPos(target);
  const bool in_place = input.Click(MouseButton::Middle);
  ::SetCursorPos(left + 20, top + 20);  // the user's hand
  const bool moved_back = input.Click(MouseButton::Middle);
  ::SetCursorPos(left + 20, top + 20);
  const bool held = input.InjectButton(MouseButton::Middle, true);
  ::SetCursorPos(left + 20, top + 20);
  const bool let_go = input.InjectButton(MouseButton::Middle, false);
  POINT at{};
  GetCursorPos(&at);
  Check(placed && in_place && moved_back && held && let_go &&
            g_sent == std::vector<UINT>{3, 3, 2, 2} && at.x == target.x && at.y == target.y,
        "input: clicks, presses and releases where the cursor was placed, each after a move "
        "there in the same SendInput",
        std::to_string(at.x) + "," + std::to_string(at.y) + " " + input.LastDiagnostic());
}

}  // namespace pel::wintest
