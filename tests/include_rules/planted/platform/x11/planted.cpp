// A backend with broken include rules: its own system and the seam are fine, the layers above
// it are not.
#include <X11/Xlib.h>                 // fine: the backend's own system
#include "platform/input.h"           // fine: the seam
#include "platform/posix/posix_files.h"  // fine: another backend it builds on
#include "engine/cycle/poll_cycle.h"  // broken: the engine
#include "programs/linux/qt_main_window.h"  // broken: a program above the backends
