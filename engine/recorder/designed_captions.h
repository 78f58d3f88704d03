#pragma once
// Captions of the main window as designed, read at start-up by the main form and written back
// by the poll cycle.

#include <string>

namespace pel {

struct DesignedCaptions {
  // Caption of the Start Playing button as designed, put back whenever a playback ends.
  std::string play_button;
};

}  // namespace pel
