#include "app/form_panel.h"

#include <iterator>

namespace pel {

namespace {

// The check box of each gate, in the order of Gate.
constexpr ControlId kBoxes[] = {ControlId::RecordMoves,  ControlId::RecordLeft,
                                ControlId::RecordMiddle, ControlId::RecordRight,
                                ControlId::RecordWheel,  ControlId::RecordSideButtons,
                                ControlId::AutoHide,     ControlId::AutoShow};
static_assert(std::size(kBoxes) == static_cast<size_t>(Gate::AutoShow) + 1);

ControlId ButtonOf(RunButton button) {
  return button == RunButton::Record ? ControlId::RecordButton : ControlId::PlayButton;
}

}  // namespace

bool FormPanel::On(Gate gate) {
  return window_.Get(kBoxes[static_cast<size_t>(gate)]).Value() != 0;
}

void FormPanel::SetEnabled(RunButton button, bool enabled) {
  Control& c = window_.Get(ButtonOf(button));
  if (c.Enabled() != enabled) c.SetEnabled(enabled);
}

void FormPanel::SetCaption(RunButton button, std::string_view text) {
  window_.Get(ButtonOf(button)).SetCaption(text);
}

std::string FormPanel::Status() {
  return window_.Get(ControlId::StatusLine).Caption();
}

void FormPanel::SetStatus(std::string_view text) {
  window_.Get(ControlId::StatusLine).SetCaption(text);
}

void FormPanel::SetStatusColor(Color color) {
  Control& c = window_.Get(ControlId::StatusLine);
  if (c.ForeColor() != color) c.SetForeColor(color);
}

}  // namespace pel
