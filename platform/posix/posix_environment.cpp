#include "platform/posix/posix_environment.h"

#include <unistd.h>

#include <cstdlib>
#include <vector>

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

}  // namespace

std::optional<std::string> PosixEnvironment::Get(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (!value) return std::nullopt;
  return std::string(value);
}

std::string PosixEnvironment::UserTempFolder() {
  std::string folder = Get("TMPDIR").value_or("");
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (folder.empty() || folder == "/") folder = "/tmp";
  folder.push_back('/');
  return folder;
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
