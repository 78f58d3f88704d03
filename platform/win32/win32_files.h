#pragma once
// pel::FileSystem on the Win32 file API (paths are UTF-8, converted to UTF-16 for the system).

#include <windows.h>

#include "platform/error.h"
#include "platform/files.h"

namespace pel {

// The runtime's error number for a Win32 error code met while working on a file.
int32_t FileErrorNumber(DWORD code);
// pel::Error for `code`: the runtime's number and a description naming `path` and the reason.
Error FileError(DWORD code, const std::string& path);

// `path` in the form the file calls take at any length: a full "\\?\C:\..." or
// "\\?\UNC\server\share\..." path; one already in that form, or that cannot be made full, as
// it is.
std::wstring LongPath(const std::wstring& path);

class Win32FileSystem : public FileSystem {
 public:
  bool IsNormalFile(const std::string& path) override;
  bool CanReadTimestamp(const std::string& path) override;
  PathKind KindOf(const std::string& path) override;
  std::unique_ptr<ReadFile> OpenRead(const std::string& path, FileUse use) override;
  std::unique_ptr<ReplaceFile> BeginReplace(const std::string& path, FileUse use) override;
};

}  // namespace pel
