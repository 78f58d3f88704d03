#include "platform/win32/win32_files.h"

#include <aclapi.h>

#include <atomic>
#include <cwchar>
#include <cwctype>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/win32_diagnostics.h"
#include "platform/win32/win32_text.h"

namespace pel {

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

std::wstring LongPath(const std::wstring& path) {
  if (path.empty() || path.starts_with(L"\\\\?\\") || path.starts_with(L"\\\\.\\")) return path;
  // The full path, as the system would make it ("." and ".." folded, relative to the working
  // folder), which the \\?\ form no longer does.
  DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::wstring full(size, L'\0');
  const DWORD got = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  if (got == 0 || got >= size) return path;
  full.resize(got);
  // A device name (NUL, COM1) comes back as \\.\NUL: it has no long form.
  if (full.starts_with(L"\\\\.\\") || full.starts_with(L"\\\\?\\")) return full;
  if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return L"\\\\?\\" + full;
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return path;
}

Error FileError(DWORD code, const std::string& path) {
  const int32_t number = FileErrorNumber(code);
  return Error(number, DescribeError(number) + ": " + path + ": " + SystemMessage(code));
}

namespace {

// The SID of this process's user, read once; nullptr when it cannot be read.
PSID ThisUser() {
  static const std::vector<unsigned char> user = [] {
    std::vector<unsigned char> buf;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return buf;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    buf.resize(size);
    if (size == 0 || !GetTokenInformation(token, TokenUser, buf.data(), size, &size)) buf.clear();
    CloseHandle(token);
    return buf;
  }();
  return user.empty() ? nullptr : reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
}

}  // namespace

bool OwnedByThisUser(HANDLE handle) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                      nullptr, &sd) != ERROR_SUCCESS)
    return false;
  const PSID user = ThisUser();
  const bool ours = owner != nullptr && ((user != nullptr && EqualSid(owner, user)) ||
                                         IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
                                         IsWellKnownSid(owner, WinLocalSystemSid));
  LocalFree(sd);
  return ours;
}

void KeepReplacement(const std::wstring& temp, const std::wstring& target, const std::string& path,
                     DWORD code) {
  if (MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) return;
  const DWORD attributes = GetFileAttributesW(temp.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES)
    SetFileAttributesW(temp.c_str(), attributes | FILE_ATTRIBUTE_READONLY);
  std::wstring shown = temp;
  if (shown.starts_with(L"\\\\?\\UNC\\"))
    shown = L"\\\\" + shown.substr(8);
  else if (shown.starts_with(L"\\\\?\\"))
    shown = shown.substr(4);
  const Error failed = FileError(code, path);
  throw Error(failed.Number(), failed.Description() +
                                   " The old file is no longer under that name; the new one is "
                                   "kept as " +
                                   Narrow(shown));
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

// How long a temporary file of ours must have been untouched to count as left behind by a save
// that never ended (the writer holds it without sharing, so a live one cannot be removed anyway).
constexpr ULONGLONG kStaleTempMs = 15ull * 60 * 1000;

class Win32ReplaceFile : public ReplaceFile {
 public:
  // `target`: the file to replace (links resolved for a file the user chose), in a form the
  // file calls take at any length. `keep_link`: a link at the target is replaced itself.
  Win32ReplaceFile(HANDLE h, std::wstring temp, std::wstring target, std::string path,
                   bool keep_link)
      : h_(h),
        temp_(std::move(temp)),
        target_(std::move(target)),
        path_(std::move(path)),
        keep_link_(keep_link) {}
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
    const bool exists = old != INVALID_FILE_ATTRIBUTES;
    if (exists) {
      // Replacing a read-only file or a folder is refused, and waiting changes nothing.
      if (old & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))
        throw FileError(ERROR_ACCESS_DENIED, path_);
    }
    // ReplaceFileW keeps the old file's ACL, attributes, creation time and short name; the
    // rename is for a new file, and for a cache file whose link must not be written through.
    const bool replace = exists && !keep_link_;
    if (exists) {
      // The new file takes the old one's attributes (hidden, archive, not indexed...); set here
      // too for ReplaceFileW, which not every implementation of it carries over.
      const DWORD keep = old & kKeptAttributes;
      if (keep != 0 && !SetFileAttributesW(temp_.c_str(), keep))
        throw FileError(GetLastError(), path_);
    }
    // Antivirus, the search indexer or a sync client may hold the target for a moment.
    const ULONGLONG start = GetTickCount64();
    for (bool replace_now = replace;;) {
      const bool done = replace_now
                            ? ::ReplaceFileW(target_.c_str(), temp_.c_str(), nullptr,
                                             REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0
                            : MoveFileExW(temp_.c_str(), target_.c_str(),
                                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
      if (done) break;
      const DWORD code = GetLastError();
      if (replace_now && (code == ERROR_UNABLE_TO_MOVE_REPLACEMENT ||
                          code == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2)) {
        // The new file must not be removed with this object.
        committed_ = true;
        KeepReplacement(temp_, target_, path_, code);
        return;
      }
      if (replace_now && (code == ERROR_INVALID_FUNCTION || code == ERROR_NOT_SUPPORTED ||
                          code == ERROR_INVALID_PARAMETER)) {
        // A file system without it (some network shares): the plain rename, as for a new file.
        replace_now = false;
        continue;
      }
      // ERROR_UNABLE_TO_REMOVE_REPLACED: the old file is held and nothing has changed.
      const bool held = code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION ||
                        code == ERROR_UNABLE_TO_REMOVE_REPLACED;
      if (!held || GetTickCount64() - start >= kReplaceRetryMs) throw FileError(code, path_);
      Sleep(kReplaceRetryStepMs);
    }
    committed_ = true;
  }

 private:
  HandleGuard h_;
  std::wstring temp_;
  std::wstring target_;
  std::string path_;
  bool keep_link_;
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
    w = LongPath(Widen(path));
  } catch (const Error&) {
    return false;
  }
  return !w.empty();
}

// Temporary files are "~pel" + 8 hex digits + ".tmp".
constexpr std::wstring_view kTempStart = L"~pel";
constexpr std::wstring_view kTempEnd = L".tmp";

bool IsOurTempName(std::wstring_view name) {
  if (name.size() != kTempStart.size() + 8 + kTempEnd.size() || !name.starts_with(kTempStart) ||
      !name.ends_with(kTempEnd))
    return false;
  for (wchar_t c : name.substr(kTempStart.size(), 8))
    if (!iswxdigit(c)) return false;
  return true;
}

// Removes our own temporary files that a save which never ended left in `folder` (with its
// separator): only our naming, only ordinary files, only when untouched for kStaleTempMs, and
// never a read-only one (KeepReplacement's, which a message has named). Best effort: the save
// goes on whatever happens here.
void RemoveStaleTemps(const std::wstring& folder) {
  WIN32_FIND_DATAW d;
  HANDLE find = FindFirstFileExW((folder + L"~pel*.tmp").c_str(), FindExInfoBasic, &d,
                                 FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return;
  FILETIME now_ft;
  GetSystemTimeAsFileTime(&now_ft);
  auto ms = [](const FILETIME& t) {
    return ((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000;
  };
  const ULONGLONG now = ms(now_ft);
  do {
    const DWORD not_plain =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_READONLY;
    if ((d.dwFileAttributes & not_plain) || !IsOurTempName(d.cFileName)) continue;
    if (now < ms(d.ftLastWriteTime) + kStaleTempMs) continue;
    DeleteFileW((folder + d.cFileName).c_str());
  } while (FindNextFileW(find, &d));
  FindClose(find);
}

// The file an existing `path` finally names, links followed; `path` itself when there is no
// file there (a new file is made at the path) or the system cannot say.
std::wstring FinalPath(const std::wstring& path) {
  // No access asked for: only the name is wanted, and a file held by others still opens.
  HandleGuard h(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!h.valid()) return path;
  std::wstring out(MAX_PATH, L'\0');
  DWORD n = GetFinalPathNameByHandleW(h.get(), out.data(), static_cast<DWORD>(out.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (n >= out.size()) {
    out.resize(n);
    n = GetFinalPathNameByHandleW(h.get(), out.data(), static_cast<DWORD>(out.size()),
                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  }
  if (n == 0 || n >= out.size()) return path;
  out.resize(n);
  return out;
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

std::unique_ptr<ReadFile> Win32FileSystem::OpenRead(const std::string& path, FileUse use) {
  const std::wstring w = LongPath(Widen(path));
  if (w.empty()) throw FileError(ERROR_FILE_NOT_FOUND, path);
  const bool own = use == FileUse::Own;
  // Readers may share the file; writers are kept out until it is closed. A file of our own is
  // opened as the link it may be, never through it.
  HandleGuard h(CreateFileW(
      w.c_str(), GENERIC_READ | (own ? READ_CONTROL : 0), FILE_SHARE_READ, nullptr, OPEN_EXISTING,
      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN | (own ? FILE_FLAG_OPEN_REPARSE_POINT : 0),
      nullptr));
  if (!h.valid()) throw FileError(GetLastError(), path);
  if (own) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h.get(), &info)) throw FileError(GetLastError(), path);
    const char* refused = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? "a link"
                          : !OwnedByThisUser(h.get()) ? "owned by another user"
                                                      : nullptr;
    if (refused != nullptr)
      throw Error(err::kPermissionDenied,
                  DescribeError(err::kPermissionDenied) + ": " + path + ": " + refused);
  }
  LARGE_INTEGER size;
  if (!GetFileSizeEx(h.get(), &size)) throw FileError(GetLastError(), path);
  const auto bytes = static_cast<uint64_t>(size.QuadPart);
  return std::make_unique<Win32ReadFile>(h.Release(), bytes, path);
}

std::unique_ptr<ReplaceFile> Win32FileSystem::BeginReplace(const std::string& path, FileUse use) {
  std::wstring target = LongPath(Widen(path));
  if (target.empty()) throw FileError(ERROR_INVALID_NAME, path);
  // A file the user chose may be a symbolic link: the file it finally names is replaced, in
  // its own folder, and the link stays.
  if (use == FileUse::User) target = FinalPath(target);
  const size_t base = BaseNameStart(target);
  if (base >= target.size()) throw FileError(ERROR_INVALID_NAME, path);
  const std::wstring folder = target.substr(0, base);
  RemoveStaleTemps(folder);
  // The temporary file sits next to the target so that the final step stays on one volume. Its
  // name is short and of its own, so that it fits wherever the target's name does.
  static std::atomic<unsigned> serial{0};
  const unsigned seed = GetCurrentProcessId() * 2654435761u + GetTickCount();
  for (int attempt = 0;; ++attempt) {
    wchar_t name[16];
    swprintf(name, 16, L"%08x", (seed + serial.fetch_add(1) * 40503u) & 0xFFFFFFFFu);
    const std::wstring temp = folder + std::wstring(kTempStart) + name + std::wstring(kTempEnd);
    // No sharing while it is written: nobody reads a half-written file, and no stale-file
    // sweep of another instance removes it.
    HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      return std::make_unique<Win32ReplaceFile>(h, temp, target, path, use == FileUse::Own);
    }
    const DWORD code = GetLastError();
    if ((code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) || attempt >= 100) {
      throw FileError(code, path);
    }
  }
}

}  // namespace pel
