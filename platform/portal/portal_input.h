#pragma once
// Playback through the desktop portal's remote desktop (org.freedesktop.portal.RemoteDesktop on
// the session bus), for desktops that offer no virtual pointer to their clients (GNOME, KDE):
// a session with a pointer device and, for absolute moves, a screen cast of the monitors, which
// the user allows once when it starts. Positions are sent relative to the cast stream that holds
// them; the buttons as evdev codes; the wheel as discrete steps.
//
// As with the virtual pointer, a client sees neither the keys nor the pointer of the desktop:
// the polled state, the cursor position and the user's own input are not available.
//
// Runs on the thread of Qt's event loop: Open waits for the portal's answers in a local loop.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/input.h"

class QDBusMessage;

namespace pel {

class PortalInput : public Input {
 public:
  enum class Outcome {
    Granted,  // the session runs
    Absent,   // no portal on the session bus, or one without remote desktop
    Refused,  // the user (or the desktop) said no
    Failed,   // the portal answered with an error
  };
  struct Hooks {
    // The desktop asks the user now (Start): said until the answer comes.
    std::function<void()> waiting;
    // Once the session has started: it ended (closed by the desktop or the user, or the portal
    // went away), with the reason. Called from the event loop, once; nothing is sent after it.
    std::function<void(const std::string&)> closed;
    // Once per session: a position that no shared monitor holds was not played.
    std::function<void(const std::string&)> note;
  };

  // True when the session bus has a portal with a remote desktop (it is started on demand);
  // else false, with the reason in `error`. Asks nobody.
  static bool Offered(std::string& error);
  // Opens a session on the session bus and asks the desktop to allow it. `token_file` keeps the
  // portal's restore token where it offers persistence (version 2 and later), so that the user
  // is asked once; it may be empty. nullptr unless the outcome is Granted, with the reason in
  // `error`.
  static std::unique_ptr<PortalInput> Open(const std::string& token_file, Hooks hooks,
                                           Outcome& outcome, std::string& error);
  ~PortalInput() override;
  PortalInput(const PortalInput&) = delete;
  PortalInput& operator=(const PortalInput&) = delete;

  int16_t KeyState(int vk) override;    // 0: not available
  bool CursorPos(Point& pos) override;  // false: not available
  // An absolute move on the stream (monitor) that holds `pos`, relative to its corner. False
  // for a position on no shared monitor (said once through Hooks::note), or when the call
  // failed.
  bool SetCursorPos(Point pos) override;
  // BTN_LEFT, BTN_MIDDLE, BTN_RIGHT, BTN_SIDE (X1) and BTN_EXTRA (X2).
  bool InjectButton(MouseButton button, bool down) override;
  // Whole notches as discrete steps; parts of a notch add up until they make one; at most
  // kMaxWheelNotches in one call.
  bool InjectWheel(WheelAxis axis, int32_t delta) override;
  static constexpr int32_t kMaxWheelNotches = 100;
  uint32_t UserButtonPresses() override { return 0; }  // not available
  uint32_t UserPointerMoves() override { return 0; }   // not available
  // Once the session has ended nothing arrives: playback holds while the program ends.
  bool InputElsewhere() override { return closed_; }

  class Bus;  // the connection, the session and the signal receiver

 private:
  PortalInput(std::unique_ptr<Bus> bus, Hooks hooks);
  void End(const std::string& reason);
  // True for a reply that is no error; an error ends the session.
  bool Sent(const QDBusMessage& reply);

  std::unique_ptr<Bus> bus_;
  Hooks hooks_;
  bool closed_ = false;
  bool noted_ = false;
  int32_t wheel_rest_[2] = {};  // parts of a notch not sent yet, vertical and horizontal
};

}  // namespace pel
