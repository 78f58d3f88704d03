#include "programs/linux/wayland_session.h"

#include <QString>
#include <QtGlobal>
#include <cstdlib>
#include <cstring>

namespace pel {

const char* const kLinuxHelpNote =
    "  --backend NAME          play through x11, wayland or portal (default: auto: in a\n"
    "                          Wayland session the compositor's virtual pointer where it\n"
    "                          is offered, else the desktop portal; X11 otherwise)\n"
    "Exit status 5: not possible with the Wayland backend or the portal (--record,\n"
    "--stop-on-move, --command record). Exit status 9: the desktop did not allow input\n"
    "control through its portal, or ended it while playing.\n"
    "With X11 it needs a display with the XInput2 and XTest extensions; under Wayland,\n"
    "through XWayland, its keys, pointer and clicks reach only the X11 windows. With the\n"
    "Wayland backend (wlroots compositors: sway, Hyprland, river, labwc, Wayfire) it plays\n"
    "into every window, but reads neither the keys nor the pointer: it cannot record, and\n"
    "shortcuts of the compositor running --command take the place of its keys. Through the\n"
    "portal (GNOME, KDE) the desktop asks the user first; where the portal keeps the answer,\n"
    "the user is asked once.\n";

const char* const kWaylandBackendNote =
    "This is a Wayland session: pelmira plays through the compositor's virtual pointer, into "
    "every window. A Wayland program sees neither the keys nor the pointer of the desktop, so "
    "F9, F10, F12 and Pause do nothing and recording is not possible here; start pelmira with "
    "--backend x11 to record X11 windows through XWayland. Shortcuts of the compositor can run "
    "\"pelmira --command play\", \"stop\" or \"toggle-window\" in place of the keys.";

const char* const kPortalBackendNote =
    "This is a Wayland session: pelmira plays through the desktop portal's remote desktop, into "
    "every window, as the desktop allowed. A Wayland program sees neither the keys nor the "
    "pointer of the desktop, so F9, F10, F12 and Pause do nothing and recording is not possible "
    "here; start pelmira with --backend x11 to record X11 windows through XWayland.";

namespace {

bool Has(const char* name) {
  const char* v = std::getenv(name);
  return v && *v;
}

// Sets the Qt plug-in unless the user chose one.
void UseQtPlatform(const char* name) {
  if (!Has("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", name, 1);
}

// The windowless plug-in says of each hidden indicator that it cannot shape or raise it: not
// the user's concern. Other messages go on as before.
QtMessageHandler qt_messages = nullptr;
void QuietWindowless(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtWarningMsg && text.startsWith(QStringLiteral("This plugin does not support")))
    return;
  if (qt_messages) qt_messages(type, context, text);
}

}  // namespace

std::optional<int> TakeBackendOption(const ProgramConsole& console, std::vector<std::string>& args,
                                     Backend& backend) {
  constexpr std::string_view kOption = "--backend";
  for (size_t i = 0; i < args.size();) {
    const std::string& arg = args[i];
    std::optional<std::string> value;
    size_t taken = 1;
    if (arg == kOption) {
      if (i + 1 == args.size()) {
        console.Say("--backend needs a value: x11, wayland, portal or auto (see " + console.name +
                    " --help)");
        return exit_status::kUsage;
      }
      value = args[i + 1];
      taken = 2;
    } else if (arg.starts_with(std::string(kOption) + "=")) {
      value = arg.substr(kOption.size() + 1);
    } else if (arg == "--") {
      break;  // what follows are file names
    }
    if (!value) {
      ++i;
      continue;
    }
    if (*value == "x11") {
      backend = Backend::X11;
    } else if (*value == "wayland") {
      backend = Backend::Wayland;
    } else if (*value == "portal") {
      backend = Backend::Portal;
    } else if (*value == "auto") {
      backend = Backend::Auto;
    } else {
      console.Say("--backend: \"" + *value + "\" is none of x11, wayland, portal and auto (see " +
                  console.name + " --help)");
      return exit_status::kUsage;
    }
    args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
               args.begin() + static_cast<std::ptrdiff_t>(i + taken));
  }
  return std::nullopt;
}

bool InWaylandSession() {
  const char* type = std::getenv("XDG_SESSION_TYPE");
  return Has("WAYLAND_DISPLAY") || (type && std::strcmp(type, "wayland") == 0);
}

std::string BackendName(Backend in_use, bool xwayland) {
  if (in_use == Backend::Wayland)
    return "Wayland, the compositor's virtual pointer (playback only)";
  if (in_use == Backend::Portal) return "Wayland, the desktop portal (playback only)";
  return xwayland ? "X11 through XWayland (X11 windows only)" : "X11";
}

std::string ProbeBackend(Backend backend) {
  const bool session = InWaylandSession();
  if (backend == Backend::X11 || (backend == Backend::Auto && !session))
    return BackendName(Backend::X11, session);
  if (backend == Backend::Portal) return BackendName(Backend::Portal, false);
  std::string error;
  const std::unique_ptr<WaylandDisplay> display = WaylandDisplay::Open(nullptr, error);
  if (display && !display->VirtualPointerManager())
    error = "the compositor offers no virtual pointer";
  else if (display)
    return BackendName(Backend::Wayland, false);
  if (backend == Backend::Auto)
    return BackendName(Backend::Portal, false) + " where the session offers it, else " +
           BackendName(Backend::X11, session);
  return "none: Wayland was asked for, and " + error;
}

std::optional<int> OpenWayland(const ProgramConsole& console, const CommandLine& line,
                               Backend backend, std::unique_ptr<WaylandDisplay>& display,
                               std::unique_ptr<WaylandInput>& input, bool& portal) {
  portal = false;
  if (backend == Backend::X11 || (backend == Backend::Auto && !InWaylandSession()))
    return std::nullopt;
  std::string error;
  display = WaylandDisplay::Open(nullptr, error);
  if (display && backend != Backend::Portal) input = WaylandInput::Open(*display, error);
  if (!input) {
    if (backend == Backend::Wayland) {
      display.reset();
      console.Say("cannot play through the Wayland compositor: " + error);
      return exit_status::kFailed;
    }
    // Chosen by the program without a compositor to reach, X11 is what is left.
    if (backend == Backend::Auto && !display) return std::nullopt;
    portal = true;
  }
  const bool x11_hint = Has("DISPLAY");
  auto refuse = [&](const std::string& what) {
    console.Say(what + " is not possible with the " +
                (portal ? "desktop portal" : "Wayland backend") + ": " +
                WaylandInput::kUnavailable +
                (x11_hint ? " (--backend x11 works with X11 windows through XWayland)" : ""));
    return exit_status::kUnavailable;
  };
  if (line.action == CommandLine::Action::Record) return refuse("recording (--record)");
  if (line.playback.stop_on_move) return refuse("--stop-on-move");
  // --play shows no window; the window goes where a window can go.
  UseQtPlatform(IsScripted(line) ? "offscreen" : x11_hint ? "xcb" : "wayland");
  if (IsScripted(line)) qt_messages = qInstallMessageHandler(QuietWindowless);
  return std::nullopt;
}

const char* const kPortalWaitingNote = "Waiting for the desktop to allow input control";

std::optional<int> OpenPortal(const ProgramConsole& console, const std::string& state_folder,
                              std::function<void(const std::string&)> closed,
                              std::unique_ptr<PortalInput>& input, std::string& said) {
  PortalInput::Hooks hooks;
  hooks.waiting = [&console] {
    console.Say("waiting for the desktop to allow input control (it asks the user)");
  };
  hooks.closed = std::move(closed);
  hooks.note = [&console](const std::string& text) { console.Say(text); };
  PortalInput::Outcome outcome = PortalInput::Outcome::Failed;
  std::string error;
  input =
      PortalInput::Open(state_folder + "portal-restore-token", std::move(hooks), outcome, error);
  if (outcome == PortalInput::Outcome::Granted) return std::nullopt;
  const bool refused = outcome == PortalInput::Outcome::Refused;
  said = refused ? "the desktop did not allow input control, so nothing is played (" + error + ")"
                 : "cannot play through the desktop portal: " + error;
  console.Say(said);
  return refused ? kInputRefused : exit_status::kFailed;
}

}  // namespace pel
