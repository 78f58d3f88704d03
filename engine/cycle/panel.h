#pragma once
// The main window's controls as the poll cycle sees them: the check boxes it reads as gates come
// in; the captions and enabled states of the record and play buttons and the status line go out.
// The program implements it over its window (app/form_panel.h). Every method may throw
// pel::Error; the caller's step reports it.

#include <string>
#include <string_view>

#include "platform/color.h"

namespace pel {

// The check boxes: what recordings take, and the window hidden or shown around a run.
enum class Gate { Moves, Left, Middle, Right, Wheel, SideButtons, AutoHide, AutoShow };

// The two buttons that start and stop a run.
enum class RunButton { Record, Play };

class Panel {
 public:
  virtual ~Panel() = default;
  // A check box counts as on when checked or greyed.
  virtual bool On(Gate gate) = 0;
  // The setters below that take a state change the window only when it differs.
  virtual void SetEnabled(RunButton button, bool enabled) = 0;
  virtual void SetCaption(RunButton button, std::string_view text) = 0;
  // The status line: its text as it stands, a new text, and the colour of the text.
  virtual std::string Status() = 0;
  virtual void SetStatus(std::string_view text) = 0;
  virtual void SetStatusColor(Color color) = 0;
};

}  // namespace pel
