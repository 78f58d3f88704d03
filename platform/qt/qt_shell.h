#pragma once
// Process-level services of the Linux program: the answer of the instance claim, the web
// browser and the end of the program.

#include <string>

#include "platform/shell.h"

namespace pel {

class QtShell : public ClaimedShell {
 public:
  using ClaimedShell::ClaimedShell;
  // Through the desktop's URL handler (xdg-open), detached.
  void OpenUrl(const std::string& url) override;
  // Leaves at once with status 0, without running further events or destructors.
  void EndProgram() override;
};

}  // namespace pel
