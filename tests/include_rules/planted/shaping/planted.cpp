#include "shaping/region.h"  // fine
#include "app/layout.h"      // broken: shaping includes app/
#include <wingdi.h>          // broken: Windows
#include <xcb/xcb.h>         // broken: X11
