#pragma once
// Which backend the Linux program plays through: X11 (XTest; on a Wayland desktop through
// XWayland, reaching only X11 windows), the Wayland compositor's virtual pointer (every window
// of a wlroots compositor, but no keys, no recording) or the desktop portal's remote desktop
// (GNOME, KDE: every window once the user allows it; no keys, no recording either). In a Wayland
// session the compositor's virtual pointer is taken where it is offered, else the portal, else
// X11; --backend overrides the choice.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/program.h"
#include "platform/portal/portal_input.h"
#include "platform/wayland/wayland_display.h"
#include "platform/wayland/wayland_input.h"

namespace pel {

enum class Backend { Auto, X11, Wayland, Portal };

// The exit status when the desktop did not allow input control through its portal, or ended it
// while the program ran.
inline constexpr int kInputRefused = exit_status::kInputRefused;

// What the Linux program adds to the --help text: the --backend option, the choice it
// overrides, the exit status of what a backend cannot do, and what the program needs.
extern const char* const kLinuxHelpNote;

// Takes "--backend NAME" or "--backend=NAME" out of `args`, the other
// arguments left for the common command line (x11, wayland, portal or auto). Returns kUsage,
// said on `console`, for a name it
// does not know or a missing one; nullopt otherwise.
std::optional<int> TakeBackendOption(const ProgramConsole& console, std::vector<std::string>& args,
                                     Backend& backend);

// True in a Wayland session: WAYLAND_DISPLAY set, or XDG_SESSION_TYPE=wayland.
bool InWaylandSession();

// The compositor and its virtual pointer when `backend` asks for them, or Auto finds them in a
// Wayland session; both stay null for X11. `portal` is set when the portal is to be asked
// (OpenPortal, once Qt runs): --backend portal, or Auto in a Wayland session whose compositor
// offers no virtual pointer; the compositor's connection is kept for its monitors. Returns the
// exit status when the program ends here: kFailed when Wayland was asked for and cannot be had,
// kUnavailable for what these backends cannot do (recording, stopping on the user's move), each
// said on `console`. With the Wayland backend or the portal, Qt is told which plug-in to use
// unless the user chose one: none that shows anything for --play, XWayland's or the native one
// for the window.
std::optional<int> OpenWayland(const ProgramConsole& console, const CommandLine& line,
                               Backend backend, std::unique_ptr<WaylandDisplay>& display,
                               std::unique_ptr<WaylandInput>& input, bool& portal);

// Asks the desktop portal for input control, saying on `console` while the desktop waits for the
// user; its restore token is kept in `state_folder`. nullopt with `input` set when allowed. Else
// the exit status, with the line said on `console` in `said`: kInputRefused when the desktop
// said no, kFailed when the portal cannot be had. `closed` is called from the event loop if the
// session ends later.
std::optional<int> OpenPortal(const ProgramConsole& console, const std::string& state_folder,
                              std::function<void(const std::string&)> closed,
                              std::unique_ptr<PortalInput>& input, std::string& said);

// What the status line says while the desktop asks the user.
extern const char* const kPortalWaitingNote;

// The input of a program whose portal is asked once its window shows: until then nothing is
// played (the input counts as elsewhere, so a playback holds), then all goes to the portal.
class PendingInput : public Input {
 public:
  void Set(Input* input) { input_ = input; }
  int16_t KeyState(int vk) override { return input_ ? input_->KeyState(vk) : 0; }
  bool CursorPos(Point& pos) override { return input_ && input_->CursorPos(pos); }
  bool SetCursorPos(Point pos) override { return input_ && input_->SetCursorPos(pos); }
  bool InjectButton(MouseButton button, bool down) override {
    return input_ && input_->InjectButton(button, down);
  }
  bool Click(MouseButton button) override { return input_ && input_->Click(button); }
  bool InjectWheel(WheelAxis axis, int32_t delta) override {
    return input_ && input_->InjectWheel(axis, delta);
  }
  uint32_t UserButtonPresses() override { return input_ ? input_->UserButtonPresses() : 0; }
  uint32_t UserPointerMoves() override { return input_ ? input_->UserPointerMoves() : 0; }
  bool InputElsewhere() override { return !input_ || input_->InputElsewhere(); }

 private:
  Input* input_ = nullptr;
};

// The backend, as --info and the status line name it: the compositor's virtual pointer, the
// desktop portal, X11 through XWayland, or X11.
std::string BackendName(Backend in_use, bool xwayland);
// The backend `backend` comes to in this session, for --info: the compositor is asked whether
// it offers a virtual pointer, none is made.
std::string ProbeBackend(Backend backend);

// What the window says once in the Wayland backend: what works and what does not.
extern const char* const kWaylandBackendNote;
// The same through the desktop portal.
extern const char* const kPortalBackendNote;

}  // namespace pel
