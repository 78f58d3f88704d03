// A tree with broken include rules, for the test of the include check: each include marked
// "broken" must be reported, the others must not.
#include <vector>  // fine

#include "engine/recorder/recorder.h"    // fine
#include "platform/files.h"     // fine
#include <QWidget>              // broken: Qt
#include "app/main_form.h"          // broken: engine includes app/
#include "shaping/region.h"     // broken: engine includes shaping/
  #  include <X11/Xlib.h>       // broken: X11
#include <Windows.h>            // broken: Windows
// #include <windows.h>  a comment, not an include
