#pragma once
// Files on a POSIX system. Replacements go to a hidden temporary file beside the target
// (".pelmira-XXXXXXXX.tmp", X hex digits) that is synced and renamed over the target only on
// Commit, so a failed save never leaves a half-written file in place of a good one.

#include <cerrno>
#include <memory>
#include <string>

#include "platform/files.h"

namespace pel {

class PosixFileSystem : public FileSystem {
 public:
  bool IsNormalFile(const std::string& path) override;
  bool CanReadTimestamp(const std::string& path) override;
  PathKind KindOf(const std::string& path) override;
  std::unique_ptr<ReadFile> OpenRead(const std::string& path, FileUse use) override;
  std::unique_ptr<ReplaceFile> BeginReplace(const std::string& path, FileUse use) override;
};

// The runtime's number for a system error `code` met while working on a file; `creating` tells
// a missing folder of a new file (76) from a missing file (53).
int32_t FileErrorNumber(int code, bool creating);
// The pel::Error for `code` met by `what` ("open", "write", ...) on `path`: the runtime's
// description, then the path and the system's reason.
[[noreturn]] void ThrowFileError(int code, const std::string& what, const std::string& path,
                                 bool creating = false);

}  // namespace pel
