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

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // True when `path` names an ordinary file that is neither hidden (POSIX: base name starting
  // with '.') nor a system file; false for folders, missing paths and anything unreadable.
  virtual bool IsNormalFile(const std::string& path) = 0;
  // True when the modification time of `path` can be read.
  virtual bool CanReadTimestamp(const std::string& path) = 0;
  // Opens an existing file for reading, denying writers while open where the platform can.
  virtual std::unique_ptr<ReadFile> OpenRead(const std::string& path) = 0;
  // Starts replacing `path` (see ReplaceFile). Never writes through a symbolic link at `path`:
  // the link itself is replaced.
  virtual std::unique_ptr<ReplaceFile> BeginReplace(const std::string& path) = 0;
};

}  // namespace pel
