#pragma once
// The process's surroundings on a POSIX system.

#include <sys/types.h>

#include "platform/environment.h"

namespace pel {

// The home folder the password database gives for `uid`; empty when it gives none or not an
// absolute path.
std::string PasswordHome(uid_t uid);

class PosixEnvironment : public Environment {
 public:
  std::optional<std::string> Get(const std::string& name) override;
  // "pelmira" in $XDG_RUNTIME_DIR when that is the user's private folder, else in
  // $XDG_CACHE_HOME or ~/.cache (the home from the password database when HOME is unset); made
  // 0700 and checked to be the user's own; always with a trailing '/'. $TMPDIR is not used: it
  // is most often a folder that every user shares, and the files kept here outlive the run.
  std::string UserTempFolder() override;
  // "pelmira" in $XDG_STATE_HOME or ~/.local/state, made 0700 and checked to be the user's own
  // folder, not a link; with a trailing '/'.
  std::string StateFolder() override;
  // Folder of /proc/self/exe; "." when it cannot be read.
  std::string ProgramFolder() override;
  std::string ExecutableBaseName() override;
  char Separator() override { return '/'; }
  // "pelmira: <line>" on standard error.
  void Notice(std::string_view line) override;
};

}  // namespace pel
