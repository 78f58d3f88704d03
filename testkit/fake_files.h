#pragma once
// Files held in memory, with failures on demand: an open that fails, a write that finds the
// disk full, a commit that fails, a read that fails part-way through. A replacement becomes
// visible only on Commit, as on a real disk.

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "platform/error.h"
#include "platform/files.h"
#include "testkit/call_log.h"

namespace pel::fake {

struct FakeFile {
  std::string bytes;
  bool folder = false;
  bool hidden = false;  // hidden attribute (a base name starting with '.' is hidden anyway)
  bool system = false;
  bool read_only = false;  // we may not write it: a user's file is not replaced
  bool foreign = false;    // another user owns it: the program's own file is not read
};

class FakeFileSystem : public FileSystem {
 public:
  explicit FakeFileSystem(CallLog* log = nullptr) : log_(log) {}

  // --- contents
  std::map<std::string, FakeFile> files;
  void Put(const std::string& path, std::string bytes) { files[path].bytes = std::move(bytes); }
  void MakeFolder(const std::string& path) { files[path].folder = true; }
  bool Exists(const std::string& path) const { return files.count(path) != 0; }
  const std::string& Bytes(const std::string& path) const { return files.at(path).bytes; }

  // --- failures on demand
  // OpenRead and BeginReplace of any path throw this number (0: they do not).
  int32_t fail_open = 0;
  // The Nth Write call from now on (1 is the next one) throws 61 disk full; 0: never.
  int fail_write_at = 0;
  // Commit throws this number (0: it does not).
  int32_t fail_commit = 0;
  // A read that reaches this byte offset of a file returns the bytes before it and the next
  // read throws 57; npos: never.
  uint64_t fail_read_at = std::string::npos;
  // Largest number of bytes one Read returns (0: as many as asked), to exercise short reads.
  size_t read_limit = 0;

  // --- what happened
  int writes = 0;        // Write calls made
  int open_writers = 0;  // replacements begun and not yet dropped
  int commits = 0;       // successful commits
  int opens = 0;         // OpenRead and BeginReplace calls made, failed ones too

  bool IsNormalFile(const std::string& path) override {
    auto it = files.find(path);
    if (it == files.end()) return false;
    const FakeFile& f = it->second;
    return !f.folder && !f.hidden && !f.system && !BaseName(path).starts_with('.');
  }
  bool CanReadTimestamp(const std::string& path) override { return Exists(path); }
  PathKind KindOf(const std::string& path) override {
    auto it = files.find(path);
    if (it == files.end()) return PathKind::None;
    return it->second.folder ? PathKind::Folder : PathKind::File;
  }

  std::unique_ptr<ReadFile> OpenRead(const std::string& path, FileUse use) override {
    Log("OpenRead " + path);
    ++opens;
    if (fail_open) Throw(fail_open, path);
    auto it = files.find(path);
    if (it == files.end()) Throw(err::kFileNotFound, path);
    if (it->second.folder) Throw(err::kPathFileAccess, path);
    if (use == FileUse::Own && it->second.foreign) Throw(err::kPermissionDenied, path);
    return std::make_unique<Reader>(*this, it->second.bytes, path);
  }

  std::unique_ptr<ReplaceFile> BeginReplace(const std::string& path, FileUse use) override {
    Log("BeginReplace " + path);
    ++opens;
    if (fail_open) Throw(fail_open, path);
    auto it = files.find(path);
    if (it != files.end() && it->second.folder) Throw(err::kPathFileAccess, path);
    if (use == FileUse::User && it != files.end() && it->second.read_only)
      Throw(err::kPermissionDenied, path);
    return std::make_unique<Writer>(*this, path);
  }

 private:
  static std::string_view BaseName(std::string_view path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
  }
  [[noreturn]] static void Throw(int32_t number, const std::string& path) {
    throw Error(number, DescribeError(number) + " (" + path + ")", "FakeFileSystem");
  }
  void Log(std::string line) {
    if (log_) log_->Add(std::move(line));
  }

  class Reader : public ReadFile {
   public:
    Reader(FakeFileSystem& fs, std::string bytes, std::string path)
        : fs_(fs), bytes_(std::move(bytes)), path_(std::move(path)) {}
    uint64_t Size() override { return bytes_.size(); }
    size_t Read(char* buf, size_t n) override {
      if (failed_) Throw(err::kDeviceIoError, path_);
      size_t end = std::min(bytes_.size(), pos_ + n);
      if (fs_.read_limit) end = std::min(end, pos_ + fs_.read_limit);
      if (fs_.fail_read_at != std::string::npos && end >= fs_.fail_read_at) {
        end = std::max<size_t>(pos_, std::min<uint64_t>(end, fs_.fail_read_at));
        failed_ = true;
        if (end == pos_) Throw(err::kDeviceIoError, path_);
      }
      std::memcpy(buf, bytes_.data() + pos_, end - pos_);
      size_t got = end - pos_;
      pos_ = end;
      return got;
    }

   private:
    FakeFileSystem& fs_;
    std::string bytes_;
    std::string path_;
    size_t pos_ = 0;
    bool failed_ = false;
  };

  class Writer : public ReplaceFile {
   public:
    Writer(FakeFileSystem& fs, std::string path) : fs_(fs), path_(std::move(path)) {
      ++fs_.open_writers;
    }
    ~Writer() override { --fs_.open_writers; }
    void Write(std::string_view bytes) override {
      ++fs_.writes;
      if (fs_.fail_write_at > 0 && --fs_.fail_write_at == 0) Throw(err::kDiskFull, path_);
      bytes_.append(bytes);
    }
    void Commit() override {
      fs_.Log("Commit " + path_);
      if (fs_.fail_commit) Throw(fs_.fail_commit, path_);
      FakeFile& f = fs_.files[path_];
      f = FakeFile{};
      f.bytes = std::move(bytes_);
      ++fs_.commits;
    }

   private:
    FakeFileSystem& fs_;
    std::string path_;
    std::string bytes_;
  };

  CallLog* log_;
};

}  // namespace pel::fake
