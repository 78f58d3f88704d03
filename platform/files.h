#pragma once
// Files on disk. Paths are the platform's own (UTF-8 on POSIX). Failures throw pel::Error with
// one of the runtime's numbers (53 file not found, 70 permission denied, 61 disk full, 75
// path/file access error, 76 path not found, 57 device I/O error) and a description that names
// the path and the system's reason.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace pel {

class ReadFile {
 public:
  virtual ~ReadFile() = default;
  // Length of the file in bytes when it was opened.
  virtual uint64_t Size() = 0;
  // Reads up to `n` bytes into `buf`; returns how many, 0 only at the end. Throws on a read error.
  virtual size_t Read(char* buf, size_t n) = 0;
};

// A replacement of a file that is invisible until committed: bytes go to a new temporary file
// in the target's folder; Commit flushes it to disk and renames it over the target. A writer
// dropped without a successful Commit removes its temporary file; the target is then untouched.
class ReplaceFile {
 public:
  virtual ~ReplaceFile() = default;
  // Appends bytes; throws on failure (for example 61 disk full).
  virtual void Write(std::string_view bytes) = 0;
  // Flushes, syncs and renames over the target; throws on failure, target unchanged.
  virtual void Commit() = 0;
};

// Whose file a path names; it decides how links, owners and permissions are treated.
enum class FileUse {
  // A file the user chose: a symbolic link is followed to the file it finally names.
  User,
  // A file the program keeps for itself (a cache): a symbolic link is never followed, neither
  // to read nor to write, and a file that another user owns is not read.
  Own,
};

// What a path names, following symbolic links.
enum class PathKind {
  None,    // nothing
  Folder,  // a folder
  File,    // anything else: an ordinary file whatever its attributes, a device, a broken link
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // True when `path` names an ordinary file that is neither hidden (POSIX: base name starting
  // with '.') nor a system file; false for folders, missing paths and anything unreadable.
  virtual bool IsNormalFile(const std::string& path) = 0;
  // True when the modification time of `path` can be read.
  virtual bool CanReadTimestamp(const std::string& path) = 0;
  // What is at `path`; None also when it cannot be looked up.
  virtual PathKind KindOf(const std::string& path) = 0;
  // Opens an existing ordinary file for reading, denying writers while open where the platform
  // can. FileUse::Own: a link at `path` or a file that another user owns fails.
  virtual std::unique_ptr<ReadFile> OpenRead(const std::string& path, FileUse use) = 0;
  // Starts replacing `path` (see ReplaceFile); a folder at the path fails at once.
  // FileUse::User: a link is followed and its final target replaced in the target's folder (the
  // link stays); a target we may not write fails (70) and stays as it is; the new file keeps
  // the old one's owner, group and mode where the system allows. FileUse::Own: a link at `path`
  // is itself replaced, never written through. Temporary files of our own naming left behind
  // in the folder by a replacement that never ended are removed.
  virtual std::unique_ptr<ReplaceFile> BeginReplace(const std::string& path, FileUse use) = 0;
};

}  // namespace pel
