#pragma once
// Which backend the Linux program plays through: X11 (XTest; on a Wayland desktop through
// XWayland, reaching only X11 windows) or the Wayland compositor's virtual pointer (every window
// of a wlroots compositor, but no keys, no recording). In a Wayland session the compositor's
// virtual pointer is taken where it is offered, X11 otherwise; --backend overrides the choice.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/program.h"
#include "platform/wayland/wayland_display.h"
#include "platform/wayland/wayland_input.h"

namespace pel {

enum class Backend { Auto, X11, Wayland };

// What the Linux program adds to the --help text: the --backend option, the choice it
// overrides, the exit status of what a backend cannot do, and what the program needs.
extern const char* const kLinuxHelpNote;

// Takes "--backend NAME" or "--backend=NAME" (x11, wayland or auto) out of `args`, the other
// arguments left for the common command line. Returns kUsage, said on `console`, for a name it
// does not know or a missing one; nullopt otherwise.
std::optional<int> TakeBackendOption(const ProgramConsole& console, std::vector<std::string>& args,
                                     Backend& backend);

// True in a Wayland session: WAYLAND_DISPLAY set, or XDG_SESSION_TYPE=wayland.
bool InWaylandSession();

// The compositor and its virtual pointer when `backend` asks for them, or Auto finds them in a
// Wayland session; both stay null for X11. Returns the exit status when the program ends here:
// kFailed when Wayland was asked for and cannot be had, kUnavailable for what the virtual
// pointer cannot do (recording, stopping on the user's move), each said on `console`. With the
// Wayland backend, Qt is told which plug-in to use unless the user chose one: none that shows
// anything for --play, XWayland's or the native one for the window.
std::optional<int> OpenWayland(const ProgramConsole& console, const CommandLine& line,
                               Backend backend, std::unique_ptr<WaylandDisplay>& display,
                               std::unique_ptr<WaylandInput>& input);

// The backend, as --info and the status line name it: the compositor's virtual pointer, X11
// through XWayland, or X11.
std::string BackendName(bool virtual_pointer, bool xwayland);
// The backend `backend` comes to in this session, for --info: the compositor is asked whether
// it offers a virtual pointer, none is made.
std::string ProbeBackend(Backend backend);

// What the window says once in the Wayland backend: what works and what does not.
extern const char* const kWaylandBackendNote;

}  // namespace pel
