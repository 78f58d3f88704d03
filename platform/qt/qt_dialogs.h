#pragma once
// Message boxes and file dialogs as Qt dialogs. Both are modal and run their own event loop, so
// the poll timer keeps ticking while they are open (the poll cycle drops nested ticks itself).

#include <QString>
#include <string>
#include <string_view>

#include "platform/dialogs.h"

namespace pel {

// "Label|*.a;*.b|Label 2|*.c" as a Qt name filter list: "Label (*.a *.b);;Label 2 (*.c)". A label
// that already ends with its patterns in brackets is kept as it is.
QString QtFileFilter(std::string_view filter);
// CR LF and lone CR become the line feeds Qt breaks lines at.
QString QtMessageText(std::string_view text);

class QtDialogs : public Dialogs {
 public:
  void SetApplicationTitle(std::string_view title) override;
  MsgResult MessageBox(std::string_view text, std::string_view title, MsgButtons buttons,
                       MsgIcon icon) override;
  std::string ShowSave(std::string_view initial, std::string_view filter) override;
  std::string ShowOpen(std::string_view initial, std::string_view filter) override;

  const std::string& ApplicationTitle() const { return app_title_; }

 private:
  std::string ShowFile(bool save, std::string_view initial, std::string_view filter);
  std::string app_title_ = "pelmira";
};

}  // namespace pel
