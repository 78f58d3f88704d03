#pragma once
// The process's surroundings on a POSIX system.

#include "platform/environment.h"

namespace pel {

class PosixEnvironment : public Environment {
 public:
  std::optional<std::string> Get(const std::string& name) override;
  // $TMPDIR when set and not the root, else "/tmp/"; always with a trailing '/'.
  std::string UserTempFolder() override;
  // Folder of /proc/self/exe; "." when it cannot be read.
  std::string ProgramFolder() override;
  std::string ExecutableBaseName() override;
  char Separator() override { return '/'; }
};

}  // namespace pel
