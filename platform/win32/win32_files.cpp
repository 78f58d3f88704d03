#include "platform/win32/win32_files.h"

#include <atomic>
#include <string>

#include "platform/win32/win32_text.h"

namespace pel::win32 {

int32_t FileErrorNumber(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
      return err::kFileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME:
      return err::kPathNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return err::kPermissionDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return err::kDiskFull;
    case ERROR_NOT_READY:
    case ERROR_CRC:
    case ERROR_SEEK:
    case ERROR_SECTOR_NOT_FOUND:
    case ERROR_WRITE_FAULT:
    case ERROR_READ_FAULT:
    case ERROR_GEN_FAILURE:
    case ERROR_IO_DEVICE:
    case ERROR_NETNAME_DELETED:
    case ERROR_UNEXP_NET_ERR:
    case ERROR_DEVICE_NOT_CONNECTED:
      return err::kDeviceIoError;
    default:
      return err::kPathFileAccess;
  }
}

Error FileError(DWORD code, const std::string& path) {
  const int32_t number = FileErrorNumber(code);
  return Error(number, DescribeError(number) + ": " + path + ": " + SystemMessage(code));
}

namespace {

class HandleGuard {
 public:
  explicit HandleGuard(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
  HandleGuard(const HandleGuard&) = delete;
  HandleGuard& operator=(const HandleGuard&) = delete;
  ~HandleGuard() { Close(); }
  HANDLE get() const { return h_; }
  HANDLE Release() {
    HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    return h;
  }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  // Closes now; false when the system reported a failure (the handle is gone either way).
  bool Close() {
    bool ok = true;
    if (valid()) ok = CloseHandle(h_) != 0;
    h_ = INVALID_HANDLE_VALUE;
    return ok;
  }

 private:
  HANDLE h_;
};

class Win32ReadFile : public ReadFile {
 public:
  Win32ReadFile(HANDLE h, uint64_t size, std::string path)
      : h_(h), size_(size), path_(std::move(path)) {}
  uint64_t Size() override { return size_; }
  size_t Read(char* buf, size_t n) override {
    const DWORD want = n > 0x40000000u ? 0x40000000u : static_cast<DWORD>(n);
    DWORD got = 0;
    if (!::ReadFile(h_.get(), buf, want, &got, nullptr)) throw FileError(GetLastError(), path_);
    return got;
  }

 private:
  HandleGuard h_;
  uint64_t size_;
  std::string path_;
};

// How long a replace waits for a target held by another program, and how often it retries.
constexpr ULONGLONG kReplaceRetryMs = 1000;
constexpr DWORD kReplaceRetryStepMs = 50;
// Attributes a replaced file keeps; read-only targets are refused before this.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

class Win32ReplaceFile : public ReplaceFile {
 public:
  Win32ReplaceFile(HANDLE h, std::wstring temp, std::wstring target, std::string path)
      : h_(h), temp_(std::move(temp)), target_(std::move(target)), path_(std::move(path)) {}
  ~Win32ReplaceFile() override {
    if (!committed_) {
      h_.Close();
      DeleteFileW(temp_.c_str());
    }
  }
  void Write(std::string_view bytes) override {
    if (committed_ || !h_.valid()) throw FileError(ERROR_INVALID_HANDLE, path_);
    while (!bytes.empty()) {
      const DWORD want =
          bytes.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(bytes.size());
      DWORD put = 0;
      if (!WriteFile(h_.get(), bytes.data(), want, &put, nullptr)) {
        throw FileError(GetLastError(), path_);
      }
      if (put == 0) throw FileError(ERROR_WRITE_FAULT, path_);
      bytes.remove_prefix(put);
    }
  }
  void Commit() override {
    if (committed_ || !h_.valid()) throw FileError(ERROR_INVALID_HANDLE, path_);
    if (!FlushFileBuffers(h_.get())) throw FileError(GetLastError(), path_);
    if (!h_.Close()) throw FileError(GetLastError(), path_);
    const DWORD old = GetFileAttributesW(target_.c_str());
    if (old != INVALID_FILE_ATTRIBUTES) {
      // The rename over a read-only file or a folder is refused, and waiting changes nothing.
      if (old & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))
        throw FileError(ERROR_ACCESS_DENIED, path_);
      // The new file takes the old one's attributes (hidden, archive, not indexed...).
      const DWORD keep = old & kKeptAttributes;
      if (keep != 0 && !SetFileAttributesW(temp_.c_str(), keep))
        throw FileError(GetLastError(), path_);
    }
    // The rename replaces a symbolic link at the target rather than the file it points to.
    // Antivirus, the search indexer or a sync client may hold the target for a moment.
    const ULONGLONG start = GetTickCount64();
    while (!MoveFileExW(temp_.c_str(), target_.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      const DWORD code = GetLastError();
      if ((code != ERROR_ACCESS_DENIED && code != ERROR_SHARING_VIOLATION) ||
          GetTickCount64() - start >= kReplaceRetryMs)
        throw FileError(code, path_);
      Sleep(kReplaceRetryStepMs);
    }
    committed_ = true;
  }

 private:
  HandleGuard h_;
  std::wstring temp_;
  std::wstring target_;
  std::string path_;
  bool committed_ = false;
};

// Index of the first character of the last path component.
size_t BaseNameStart(const std::wstring& p) {
  const size_t slash = p.find_last_of(L"\\/");
  if (slash != std::wstring::npos) return slash + 1;
  // "C:name" is relative to drive C's current folder.
  if (p.size() >= 2 && p[1] == L':') return 2;
  return 0;
}

// The path in UTF-16 for a yes/no question about it; false when it cannot name any file.
bool QueryPath(const std::string& path, std::wstring& w) {
  try {
    w = Widen(path);
  } catch (const Error&) {
    return false;
  }
  return !w.empty();
}

}  // namespace

bool Win32FileSystem::IsNormalFile(const std::string& path) {
  std::wstring w;
  if (!QueryPath(path, w)) return false;
  const DWORD a = GetFileAttributesW(w.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return false;
  return (a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
               FILE_ATTRIBUTE_DEVICE)) == 0;
}

bool Win32FileSystem::CanReadTimestamp(const std::string& path) {
  std::wstring w;
  if (!QueryPath(path, w)) return false;
  WIN32_FILE_ATTRIBUTE_DATA data;
  return GetFileAttributesExW(w.c_str(), GetFileExInfoStandard, &data) != 0;
}

PathKind Win32FileSystem::KindOf(const std::string& path) {
  std::wstring w;
  if (!QueryPath(path, w)) return PathKind::None;
  const DWORD a = GetFileAttributesW(w.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return PathKind::None;
  return (a & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Folder : PathKind::File;
}

std::unique_ptr<ReadFile> Win32FileSystem::OpenRead(const std::string& path, FileUse) {
  const std::wstring w = Widen(path);
  if (w.empty()) throw FileError(ERROR_FILE_NOT_FOUND, path);
  // Readers may share the file; writers are kept out until it is closed.
  HandleGuard h(CreateFileW(w.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!h.valid()) throw FileError(GetLastError(), path);
  LARGE_INTEGER size;
  if (!GetFileSizeEx(h.get(), &size)) throw FileError(GetLastError(), path);
  const auto bytes = static_cast<uint64_t>(size.QuadPart);
  return std::make_unique<Win32ReadFile>(h.Release(), bytes, path);
}

std::unique_ptr<ReplaceFile> Win32FileSystem::BeginReplace(const std::string& path, FileUse) {
  const std::wstring target = Widen(path);
  const size_t base = BaseNameStart(target);
  if (base >= target.size()) throw FileError(ERROR_INVALID_NAME, path);
  // The temporary file sits next to the target so that the final rename stays on one volume.
  static std::atomic<unsigned> serial{0};
  const std::wstring stem = target.substr(0, base) + L"~" + target.substr(base) + L"." +
                            std::to_wstring(GetCurrentProcessId()) + L".";
  for (int attempt = 0;; ++attempt) {
    const std::wstring temp = stem + std::to_wstring(serial.fetch_add(1)) + L".tmp";
    // No sharing while it is written: nobody reads a half-written file.
    HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      return std::make_unique<Win32ReplaceFile>(h, temp, target, path);
    }
    const DWORD code = GetLastError();
    if ((code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) || attempt >= 100) {
      throw FileError(code, path);
    }
  }
}

}  // namespace pel::win32
