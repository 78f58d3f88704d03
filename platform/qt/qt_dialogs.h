#pragma once
// Message boxes and file dialogs as Qt dialogs. Both are modal and run their own event loop, so
// the poll timer keeps ticking while they are open (the poll cycle drops nested ticks itself).
// They are windows of their own, never children of the main window (F12 would hide them with
// it); while the main window is hidden they are not even dialogs of the program's window group,
// so that the desktop lists them and stacks them as any new window.

#include <QPointer>
#include <QString>
#include <QWidget>
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
  // The main window, whose being shown decides what the dialogs are (see above).
  void SetOwner(QWidget* owner) { owner_ = owner; }

  void SetApplicationTitle(std::string_view title) override;
  MsgResult MessageBox(std::string_view text, std::string_view title, MsgButtons buttons,
                       MsgIcon icon) override;
  std::string ShowSave(std::string_view initial, std::string_view filter) override;
  std::string ShowOpen(std::string_view initial, std::string_view filter) override;

  const std::string& ApplicationTitle() const { return app_title_; }

 private:
  std::string ShowFile(bool save, std::string_view initial, std::string_view filter);
  // Makes `dialog` a plain window while the owner is hidden or minimised.
  void Place(QWidget& dialog) const;
  QPointer<QWidget> owner_;
  std::string app_title_ = "pelmira";
};

}  // namespace pel
