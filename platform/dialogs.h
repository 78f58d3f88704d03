#pragma once
// Modal boxes and file dialogs. Each call returns only when the user has closed the dialog;
// window events (timer ticks among them) may run meanwhile.

#include <string>
#include <string_view>

namespace pel {

enum class MsgButtons { Ok, YesNo };
enum class MsgIcon { None, Exclamation };
enum class MsgResult { Ok, Yes, No };

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // Title used by message boxes shown without one (the application title).
  virtual void SetApplicationTitle(std::string_view title) = 0;
  // Modal message box; an empty `title` shows the application title. Lines break at CR LF or a
  // lone CR. Returns the button pressed (closing the box counts as Ok or No).
  virtual MsgResult MessageBox(std::string_view text, std::string_view title, MsgButtons buttons,
                               MsgIcon icon) = 0;
  // Modal save dialog proposing `initial` (may be empty) with `filter` ("Label|*.ext").
  // Returns the chosen full path, or the empty text when cancelled.
  virtual std::string ShowSave(std::string_view initial, std::string_view filter) = 0;
  // Modal open dialog, as ShowSave.
  virtual std::string ShowOpen(std::string_view initial, std::string_view filter) = 0;
};

}  // namespace pel
