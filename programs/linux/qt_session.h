#pragma once
// The session the Linux program starts in: an X11 display it can reach (on a Wayland desktop,
// through XWayland) and the toolkit set up with the program's names and icon.

#include <string>

#include "app/program.h"

namespace pel {

class DisplayHold;

// Checks $DISPLAY before anything is built on it (Qt would abort with several lines on a
// display it cannot open) and opens `held` on it, to be kept while the program runs: false,
// with one line said on `console`, when it is not set or cannot be reached. In a Wayland
// session `wayland` is set, the note about it said, and Qt is told to use its X11 plug-in
// unless the user chose one.
bool CheckX11Session(const ProgramConsole& console, DisplayHold& held, bool& wayland);

// The application's names and icon, and the fonts of the layout; closing the last window does
// not end it (the main window's OnClose does). After the QApplication is made.
void SetUpApplication(const std::string& version);

// The Wayland note (the XWayland one unless `text` is given) in a box that does not hold up the
// window.
void ShowWaylandNote(const char* text = nullptr);

}  // namespace pel
