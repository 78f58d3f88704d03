#include "platform/posix/posix_environment.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/error.h"

namespace pel {

namespace {

std::string ExecutablePath() {
  std::vector<char> buf(4096);
  for (;;) {
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return {};
    if (static_cast<size_t>(n) < buf.size()) return std::string(buf.data(), static_cast<size_t>(n));
    buf.resize(buf.size() * 2);
  }
}

bool IsAbsolute(const std::optional<std::string>& path) {
  return path && !path->empty() && path->front() == '/';
}

// The home folder: $HOME, else the password database's entry for this user.
std::string HomeFolder(const std::optional<std::string>& home) {
  return IsAbsolute(home) ? *home : PasswordHome(::geteuid());
}

// Makes `folder` and any missing folders above it, each for this user alone.
void MakeFolders(const std::string& folder) {
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    ::mkdir(folder.substr(0, slash).c_str(), 0700);
    if (slash == std::string::npos) return;
  }
}

// `base`/pelmira, made when missing; empty unless it is a folder of this user's that nobody
// else can write. `base` itself must belong to this user or to the system and not be open to
// everyone, or another user could swap the folder under it.
std::string OwnSubfolder(const std::string& base, bool base_private) {
  struct stat st {};
  if (::stat(base.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return {};
  if (st.st_uid != ::geteuid() && (base_private || st.st_uid != 0)) return {};
  if ((st.st_mode & (base_private ? 022 : 002)) != 0) return {};
  const std::string folder = base + "/pelmira";
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return {};
  // Not through a link: the folder itself must be ours.
  if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
    return {};
  if ((st.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) return {};
  return folder;
}

}  // namespace

std::string PasswordHome(uid_t uid) {
  const long hint = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(hint > 0 ? static_cast<size_t>(hint) : 16384);
  struct passwd entry {};
  struct passwd* found = nullptr;
  if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
      !entry.pw_dir || entry.pw_dir[0] != '/')
    return {};
  return entry.pw_dir;
}

std::optional<std::string> PosixEnvironment::Get(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (!value) return std::nullopt;
  return std::string(value);
}

std::string PosixEnvironment::UserTempFolder() {
  // The runtime folder is the user's alone by definition, yet it is checked like any other.
  const std::optional<std::string> runtime = Get("XDG_RUNTIME_DIR");
  if (IsAbsolute(runtime)) {
    std::string folder = OwnSubfolder(*runtime, /*base_private=*/true);
    if (!folder.empty()) return folder + "/";
  }
  std::optional<std::string> cache = Get("XDG_CACHE_HOME");
  if (!IsAbsolute(cache)) {
    const std::string home = HomeFolder(Get("HOME"));
    cache = home.empty() ? std::string() : home + "/.cache";
  }
  // No home at all: a folder that does not exist, where storing fails and is reported.
  if (cache->empty()) return "/nonexistent/pelmira/";
  MakeFolders(*cache);
  std::string folder = OwnSubfolder(*cache, /*base_private=*/false);
  // No folder of our own: the name all the same, where storing then fails and is reported,
  // rather than a folder that others can write.
  return (folder.empty() ? *cache + "/pelmira" : folder) + "/";
}

std::string PosixEnvironment::StateFolder() {
  std::optional<std::string> state = Get("XDG_STATE_HOME");
  if (!IsAbsolute(state)) {
    const std::string home = HomeFolder(Get("HOME"));
    if (home.empty())
      throw Error(err::kPathNotFound, DescribeError(err::kPathNotFound) + " (no home folder)",
                  "PosixEnvironment");
    state = home + "/.local/state";
  }
  MakeFolders(*state);
  const std::string folder = OwnSubfolder(*state, /*base_private=*/false);
  if (folder.empty())
    throw Error(err::kPermissionDenied,
                DescribeError(err::kPermissionDenied) + " (\"" + *state +
                    "/pelmira\" is not a folder of this user's own)",
                "PosixEnvironment");
  return folder + "/";
}

void PosixEnvironment::Notice(std::string_view line) {
  std::fprintf(stderr, "pelmira: %.*s\n", static_cast<int>(line.size()), line.data());
  std::fflush(stderr);
}

std::string PosixEnvironment::ProgramFolder() {
  std::string exe = ExecutablePath();
  size_t slash = exe.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return exe.substr(0, slash);
}

std::string PosixEnvironment::ExecutableBaseName() {
  std::string exe = ExecutablePath();
  std::string base = exe.substr(exe.rfind('/') == std::string::npos ? 0 : exe.rfind('/') + 1);
  size_t dot = base.rfind('.');
  if (dot != std::string::npos && dot > 0) base.resize(dot);
  return base;
}

}  // namespace pel
