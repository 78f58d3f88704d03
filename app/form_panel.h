#pragma once
// The poll cycle's panel (engine/cycle/panel.h) over the main window's controls.

#include "engine/cycle/panel.h"
#include "platform/main_window.h"

namespace pel {

class FormPanel : public Panel {
 public:
  explicit FormPanel(MainWindow& window) : window_(window) {}

  bool On(Gate gate) override;
  void SetEnabled(RunButton button, bool enabled) override;
  void SetCaption(RunButton button, std::string_view text) override;
  std::string Status() override;
  void SetStatus(std::string_view text) override;
  void SetStatusColor(Color color) override;

 private:
  MainWindow& window_;
};

}  // namespace pel
