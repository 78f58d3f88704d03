#include "platform/posix/posix_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <random>
#include <string_view>
#include <vector>

#include "platform/error.h"

namespace pel {

int32_t FileErrorNumber(int code, bool creating) {
  switch (code) {
    case ENOENT:
      return creating ? err::kPathNotFound : err::kFileNotFound;
    case ENOTDIR:
      return err::kPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
      return err::kPermissionDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return err::kDiskFull;
    case EIO:
      return err::kDeviceIoError;
    case ENAMETOOLONG:
    case EINVAL:
      return err::kBadFileName;
    case ENOMEM:
      return err::kOutOfMemory;
    default:
      return err::kPathFileAccess;
  }
}

void ThrowFileError(int code, const std::string& what, const std::string& path, bool creating) {
  const int32_t number = FileErrorNumber(code, creating);
  throw Error(
      number,
      DescribeError(number) + " (" + what + " \"" + path + "\": " + std::strerror(code) + ")",
      "PosixFileSystem");
}

namespace {

std::string_view BaseName(std::string_view path) {
  size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

class PosixReadFile : public ReadFile {
 public:
  PosixReadFile(int fd, uint64_t size, std::string path)
      : fd_(fd), size_(size), path_(std::move(path)) {}
  ~PosixReadFile() override { ::close(fd_); }

  uint64_t Size() override { return size_; }

  size_t Read(char* buf, size_t n) override {
    for (;;) {
      ssize_t got = ::read(fd_, buf, n);
      if (got >= 0) return static_cast<size_t>(got);
      if (errno == EINTR) continue;
      const int code = errno;
      if (code == EISDIR) ThrowFileError(code, "read", path_);
      // Any other failure of an open file is the device's.
      throw Error(err::kDeviceIoError,
                  DescribeError(err::kDeviceIoError) + " (read \"" + path_ +
                      "\": " + std::strerror(code) + ")",
                  "PosixFileSystem");
    }
  }

 private:
  int fd_;
  uint64_t size_;
  std::string path_;
};

class PosixReplaceFile : public ReplaceFile {
 public:
  // `target` is the file renamed over; `shown` the path that failures name.
  PosixReplaceFile(int fd, std::string temp, std::string target, std::string shown)
      : fd_(fd), temp_(std::move(temp)), target_(std::move(target)), shown_(std::move(shown)) {}

  ~PosixReplaceFile() override {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(temp_.c_str());
  }

  void Write(std::string_view bytes) override {
    if (fd_ < 0)
      throw Error(err::kBadFileName, DescribeError(err::kBadFileName), "PosixFileSystem");
    while (!bytes.empty()) {
      ssize_t put = ::write(fd_, bytes.data(), bytes.size());
      if (put < 0) {
        if (errno == EINTR) continue;
        ThrowFileError(errno, "write", shown_);
      }
      // A regular file that takes nothing has no room left.
      if (put == 0) ThrowFileError(ENOSPC, "write", shown_);
      bytes.remove_prefix(static_cast<size_t>(put));
    }
  }

  void Commit() override {
    if (fd_ < 0)
      throw Error(err::kBadFileName, DescribeError(err::kBadFileName), "PosixFileSystem");
    // Delayed allocation and network file systems report a full disk only here.
    while (::fsync(fd_) != 0) {
      if (errno == EINTR) continue;
      ThrowFileError(errno, "sync", shown_);
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) ThrowFileError(errno, "close", shown_);
    // rename replaces a symbolic link at the target rather than writing through it.
    if (::rename(temp_.c_str(), target_.c_str()) != 0) ThrowFileError(errno, "rename", shown_);
    committed_ = true;
    // The new name is only durable once the folder is synced. The file is in place by now, so a
    // folder that cannot be synced (some file systems refuse) is not a failed save.
    int dir = ::open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      ::fsync(dir);
      ::close(dir);
    }
  }

 private:
  int fd_;
  std::string temp_;
  std::string target_;
  std::string shown_;
  bool committed_ = false;
};

// Temporary files are ".pelmira-" + 8 hex digits + ".tmp": hidden, and short whatever the
// target's name, which may take all of the 255 bytes a name can have.
constexpr std::string_view kTempStart = ".pelmira-";
constexpr std::string_view kTempEnd = ".tmp";
constexpr int kTempDigits = 8;
// Earlier versions named them ".<name>.pelmira.XXXXXX.tmp" (XXXXXX letters and digits); their
// leftovers are swept as well.
constexpr std::string_view kOldTempMark = ".pelmira.";
constexpr int kOldTempRandom = 6;
// A replacement writes its file without pause and ends within the save, so a temporary file
// untouched this long has lost its writer (a save killed part way). The margin also covers a
// writer on another machine sharing the folder, whose process cannot be asked about.
constexpr time_t kStaleTempSeconds = 15 * 60;

bool IsOurTempName(std::string_view name) {
  const auto all = [](std::string_view text, int (*is)(int)) {
    return std::all_of(text.begin(), text.end(),
                       [&](char c) { return is(static_cast<unsigned char>(c)) != 0; });
  };
  if (name.size() == kTempStart.size() + kTempDigits + kTempEnd.size() &&
      name.starts_with(kTempStart) && name.ends_with(kTempEnd))
    return all(name.substr(kTempStart.size(), kTempDigits), [](int c) { return std::isxdigit(c); });
  const size_t tail = kOldTempMark.size() + kOldTempRandom + kTempEnd.size();
  if (name.size() < 2 + tail || name.front() != '.' || !name.ends_with(kTempEnd)) return false;
  return name.substr(name.size() - tail, kOldTempMark.size()) == kOldTempMark &&
         all(name.substr(name.size() - kTempEnd.size() - kOldTempRandom, kOldTempRandom),
             [](int c) { return std::isalnum(c); });
}

// Removes our own stale temporary files from `folder`: only our naming, only ordinary files
// this user owns, only when untouched for kStaleTempSeconds. Best effort: the save goes on
// whatever happens here.
void RemoveStaleTemps(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  const int fd = ::dirfd(dir);
  const time_t now = ::time(nullptr);
  while (const dirent* e = ::readdir(dir)) {
    if (!IsOurTempName(e->d_name)) continue;
    struct stat st {};
    if (::fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) continue;
    if (now - st.st_mtime < kStaleTempSeconds) continue;
    ::unlinkat(fd, e->d_name, 0);
  }
  ::closedir(dir);
}

[[noreturn]] void ThrowNotOrdinary(const std::string& what, const std::string& path) {
  throw Error(err::kPathFileAccess,
              DescribeError(err::kPathFileAccess) + " (" + what + " \"" + path +
                  "\": not an ordinary file)",
              "PosixFileSystem");
}

// True when the link `link` (its lstat in `st`) may be followed as the kernel's protection of
// links does: in a folder that everyone may write and that is sticky, only a link of this user
// or of the folder's owner is followed, so that another user cannot plant one there that points
// a save at a file of ours.
bool MayFollow(const std::string& link, const struct stat& st) {
  if (st.st_uid == ::geteuid()) return true;
  struct stat folder {};
  if (::stat(FolderOf(link).c_str(), &folder) != 0) return false;
  const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
  return !shared || st.st_uid == folder.st_uid;
}

// The file that `path` finally names: symbolic links followed one by one, each relative to the
// folder that holds it. A link to nothing gives the path it names, where the file is then made.
std::string FinalTarget(const std::string& path) {
  std::string at = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return at;
    if (!MayFollow(at, st)) {
      throw Error(err::kPermissionDenied,
                  DescribeError(err::kPermissionDenied) + " (replace \"" + path +
                      "\": the link \"" + at + "\" belongs to another user in a shared folder)",
                  "PosixFileSystem");
    }
    std::vector<char> buf(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
    ssize_t n;
    while ((n = ::readlink(at.c_str(), buf.data(), buf.size())) >= 0 &&
           static_cast<size_t>(n) == buf.size())
      buf.resize(buf.size() * 2);
    if (n < 0) ThrowFileError(errno, "readlink", path);
    std::string to(buf.data(), static_cast<size_t>(n));
    const size_t slash = at.rfind('/');
    at = (!to.empty() && to.front() == '/') || slash == std::string::npos
             ? to
             : at.substr(0, slash + 1) + to;
  }
  ThrowFileError(ELOOP, "replace", path);
}

}  // namespace

bool PosixFileSystem::IsNormalFile(const std::string& path) {
  if (path.empty()) return false;
  std::string_view base = BaseName(path);
  if (base.empty() || base.front() == '.') return false;
  // stat follows a symbolic link: a link to an ordinary file counts as that file.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  return S_ISREG(st.st_mode);
}

PathKind PosixFileSystem::KindOf(const std::string& path) {
  if (path.empty()) return PathKind::None;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0)
    return S_ISDIR(st.st_mode) ? PathKind::Folder : PathKind::File;
  // A link that leads nowhere is still something the path names.
  return ::lstat(path.c_str(), &st) == 0 ? PathKind::File : PathKind::None;
}

bool PosixFileSystem::CanReadTimestamp(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

std::unique_ptr<ReadFile> PosixFileSystem::OpenRead(const std::string& path, FileUse use) {
  if (path.empty())
    throw Error(err::kBadFileName, DescribeError(err::kBadFileName), "PosixFileSystem");
  // Non-blocking so that a FIFO picked by mistake cannot hang the open; it is refused below.
  int fd;
  do {
    fd = ::open(path.c_str(),
                O_RDONLY | O_CLOEXEC | O_NONBLOCK | (use == FileUse::Own ? O_NOFOLLOW : 0));
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) ThrowFileError(errno, "open", path);
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int code = errno;
    ::close(fd);
    ThrowFileError(code, "open", path);
  }
  if (!S_ISREG(st.st_mode)) {
    // Folders, devices and pipes have no length to bound what a reader takes in.
    ::close(fd);
    if (S_ISDIR(st.st_mode)) ThrowFileError(EISDIR, "open", path);
    ThrowNotOrdinary("open", path);
  }
  if (use == FileUse::Own && st.st_uid != ::geteuid()) {
    // Another user's file in a shared folder is nothing this program stored.
    ::close(fd);
    throw Error(
        err::kPermissionDenied,
        DescribeError(err::kPermissionDenied) + " (open \"" + path + "\": owned by another user)",
        "PosixFileSystem");
  }
  int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return std::make_unique<PosixReadFile>(fd, static_cast<uint64_t>(st.st_size), path);
}

std::unique_ptr<ReplaceFile> PosixFileSystem::BeginReplace(const std::string& path, FileUse use) {
  std::string_view base = BaseName(path);
  if (path.empty() || base.empty() || base == "." || base == "..")
    throw Error(err::kBadFileName, DescribeError(err::kBadFileName), "PosixFileSystem");
  const std::string target = use == FileUse::User ? FinalTarget(path) : path;
  // A folder at the target would only fail at the rename; say so before anything is written.
  struct stat old {};
  const bool exists = ::lstat(target.c_str(), &old) == 0;
  // A name too long or a folder that cannot be searched is refused before anything is written;
  // the temporary's own short name would not meet it, only the final rename.
  if (!exists && errno != ENOENT) ThrowFileError(errno, "replace", path, /*creating=*/true);
  if (exists && S_ISDIR(old.st_mode)) ThrowFileError(EISDIR, "replace", path);
  // A device or a pipe is no file to put a recording in: renaming over it would take it away.
  if (exists && !S_ISREG(old.st_mode) && !S_ISLNK(old.st_mode)) ThrowNotOrdinary("replace", path);
  // The rename needs only the folder's permission: a file the user may not write is kept from
  // being replaced here.
  if (use == FileUse::User && exists &&
      ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
    ThrowFileError(errno, "replace", path);

  const std::string folder = FolderOf(target);
  RemoveStaleTemps(folder);
  const std::string prefix =
      (target.find('/') == std::string::npos ? std::string() : folder + "/") +
      std::string(kTempStart);
  struct timespec ts {};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  std::minstd_rand rng(static_cast<unsigned>(ts.tv_nsec) ^ static_cast<unsigned>(::getpid() << 16));
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temp = prefix;
    for (int i = 0; i < kTempDigits; ++i) temp.push_back("0123456789abcdef"[(rng() >> 8) % 16]);
    temp += kTempEnd;
    // The program's own files are for this user alone.
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                    use == FileUse::Own ? 0600 : 0666);
    if (fd < 0) {
      if (errno == EEXIST || errno == EINTR) continue;
      ThrowFileError(errno, "create", path, /*creating=*/true);
    }
    if (use == FileUse::User && exists && S_ISREG(old.st_mode)) {
      // Owner and group first: a change of owner clears set-id bits the mode then restores.
      // Either may be refused to a user who is not the file's owner; the save goes on.
      if (::fchown(fd, old.st_uid, old.st_gid) != 0)
        ::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
      ::fchmod(fd, old.st_mode & 07777);
    }
    return std::make_unique<PosixReplaceFile>(fd, std::move(temp), target, path);
  }
  ThrowFileError(EEXIST, "create", path, /*creating=*/true);
}

}  // namespace pel
