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

// True when the file or folder open as `handle` (with READ_CONTROL) is this user's: its owner
// is the user of this process, or the Administrators group or the system, who may write there
// anyway (an elevated run may own what it makes through the Administrators group).
bool OwnedByThisUser(HANDLE handle);

// What Commit does when ReplaceFileW failed with `code` 1176 or 1177: the old file no longer
// has its name (gone, or moved to one the system chose) and the new bytes are still in `temp`.
// They are moved to `target`; when that fails too they stay in `temp`, made read-only so that
// no sweep of temporary files removes them, and the pel::Error thrown names that file.
void KeepReplacement(const std::wstring& temp, const std::wstring& target, const std::string& path,
                     DWORD code);

class Win32FileSystem : public FileSystem {
 public:
  bool IsNormalFile(const std::string& path) override;
  bool CanReadTimestamp(const std::string& path) override;
  PathKind KindOf(const std::string& path) override;
  std::unique_ptr<ReadFile> OpenRead(const std::string& path, FileUse use) override;
  std::unique_ptr<ReplaceFile> BeginReplace(const std::string& path, FileUse use) override;
};

}  // namespace pel
