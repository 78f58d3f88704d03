#include "platform/posix/posix_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <string_view>

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
  PosixReplaceFile(int fd, std::string temp, std::string target)
      : fd_(fd), temp_(std::move(temp)), target_(std::move(target)) {}

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
        ThrowFileError(errno, "write", target_);
      }
      // A regular file that takes nothing has no room left.
      if (put == 0) ThrowFileError(ENOSPC, "write", target_);
      bytes.remove_prefix(static_cast<size_t>(put));
    }
  }

  void Commit() override {
    if (fd_ < 0)
      throw Error(err::kBadFileName, DescribeError(err::kBadFileName), "PosixFileSystem");
    // Delayed allocation and network file systems report a full disk only here.
    while (::fsync(fd_) != 0) {
      if (errno == EINTR) continue;
      ThrowFileError(errno, "sync", target_);
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) ThrowFileError(errno, "close", target_);
    // rename replaces a symbolic link at the target rather than writing through it.
    if (::rename(temp_.c_str(), target_.c_str()) != 0) ThrowFileError(errno, "rename", target_);
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
  bool committed_ = false;
};

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

bool PosixFileSystem::CanReadTimestamp(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

std::unique_ptr<ReadFile> PosixFileSystem::OpenRead(const std::string& path) {
  if (path.empty())
    throw Error(err::kBadFileName, DescribeError(err::kBadFileName), "PosixFileSystem");
  // Non-blocking so that a FIFO picked by mistake cannot hang the open; it is refused below.
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
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
    throw Error(
        err::kPathFileAccess,
        DescribeError(err::kPathFileAccess) + " (open \"" + path + "\": not an ordinary file)",
        "PosixFileSystem");
  }
  int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return std::make_unique<PosixReadFile>(fd, static_cast<uint64_t>(st.st_size), path);
}

std::unique_ptr<ReplaceFile> PosixFileSystem::BeginReplace(const std::string& path) {
  std::string_view base = BaseName(path);
  if (path.empty() || base.empty() || base == "." || base == "..")
    throw Error(err::kBadFileName, DescribeError(err::kBadFileName), "PosixFileSystem");
  // A folder at the target would only fail at the rename; say so before anything is written.
  struct stat target {};
  const bool exists = ::stat(path.c_str(), &target) == 0;
  if (exists && S_ISDIR(target.st_mode)) ThrowFileError(EISDIR, "replace", path);

  const std::string folder = FolderOf(path);
  std::string prefix = (path.rfind('/') == std::string::npos ? std::string() : folder + "/") + "." +
                       std::string(base) + ".";
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  struct timespec ts {};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  std::minstd_rand rng(static_cast<unsigned>(ts.tv_nsec) ^ static_cast<unsigned>(::getpid() << 16));
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temp = prefix;
    for (int i = 0; i < 6; ++i) temp.push_back(kChars[rng() % (sizeof kChars - 1)]);
    temp += ".tmp";
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST || errno == EINTR) continue;
      ThrowFileError(errno, "create", path, /*creating=*/true);
    }
    // Replacing an ordinary file keeps its permissions.
    if (exists && S_ISREG(target.st_mode)) ::fchmod(fd, target.st_mode & 07777);
    return std::make_unique<PosixReplaceFile>(fd, std::move(temp), path);
  }
  ThrowFileError(EEXIST, "create", path, /*creating=*/true);
}

}  // namespace pel
