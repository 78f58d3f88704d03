// Preloaded into the program under test, it makes the X server look as if it had no RECORD
// extension. An X server started without RECORD has no XTEST either (the two are switched on and
// off together), and without XTEST the program does not start at all.
#include <X11/Xlib.h>
#include <X11/extensions/record.h>

Status XRecordQueryVersion(Display*, int*, int*) {
  return 0;
}
