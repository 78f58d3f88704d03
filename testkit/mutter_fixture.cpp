#include "testkit/mutter_fixture.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "testkit/sway_fixture.h"

namespace pel::waylandtest {

namespace fs = std::filesystem;

Mutter::Mutter(const std::vector<std::pair<int, int>>& monitors) {
  TakeTestUser(uid_, gid_);
  char folder[] = "/tmp/pel-mutter-XXXXXX";
  if (!::mkdtemp(folder)) throw std::runtime_error("Mutter: mkdtemp failed");
  folder_ = folder;
  if (::chown(folder, uid_, gid_) != 0 || ::chmod(folder, 0700) != 0)
    throw std::runtime_error("Mutter: cannot hand " + folder_ + " to the user");
  const std::string log = folder_ + "/session.log";
  WaitFor("bus",
          Start({"dbus-daemon", "--session", "--nofork", "--address=unix:path=" + folder_ + "/bus"},
                {}, log),
          "the session bus");
  WaitFor("pipewire-0", Start({"pipewire"}, {}, log), "pipewire");
  std::vector<std::string> argv = {"mutter", "--headless", "--wayland", "--no-x11",
                                   "--wayland-display=wayland-pel"};
  for (const auto& [width, height] : monitors) {
    argv.push_back("--virtual-monitor");
    argv.push_back(std::to_string(width) + "x" + std::to_string(height));
  }
  WaitFor("wayland-pel", Start(argv, {}, log), "mutter");
  socket_ = folder_ + "/wayland-pel";
}

Mutter::~Mutter() {
  Stop();
}

void Mutter::Stop() {
  for (auto pid = started_.rbegin(); pid != started_.rend(); ++pid) {
    if (::waitpid(*pid, nullptr, WNOHANG) != 0) continue;
    ::kill(*pid, SIGTERM);
    // Given a second, then ended for good.
    for (int i = 0; i < 100 && ::waitpid(*pid, nullptr, WNOHANG) == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (::waitpid(*pid, nullptr, WNOHANG) == 0) {
      ::kill(*pid, SIGKILL);
      ::waitpid(*pid, nullptr, 0);
    }
  }
  started_.clear();
  std::error_code ignored;
  if (!folder_.empty()) fs::remove_all(folder_, ignored);
  folder_.clear();
}

void Mutter::WaitFor(const std::string& name, pid_t pid, const char* what) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    if (fs::exists(folder_ + "/" + name)) return;
    if (::waitpid(pid, nullptr, WNOHANG) == pid) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const std::string text = Read("session.log");
  Stop();
  throw std::runtime_error(std::string("Mutter: ") + what + " did not come up:\n" + text);
}

std::string Mutter::Reachable(const std::string& program) const {
  const std::string copy = folder_ + "/" + std::filesystem::path(program).filename().string();
  if (!std::filesystem::exists(copy)) {
    std::filesystem::copy_file(program, copy);
    if (::chown(copy.c_str(), uid_, gid_) != 0 || ::chmod(copy.c_str(), 0755) != 0)
      throw std::runtime_error("Mutter: cannot hand " + copy + " to the user");
  }
  return copy;
}

pid_t Mutter::Start(const std::vector<std::string>& given, const std::vector<std::string>& env,
                    const std::string& log) {
  std::vector<std::string> argv = given;
  if (::getuid() == 0 && !argv.empty() && argv[0].starts_with('/')) argv[0] = Reachable(argv[0]);
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("Mutter: fork failed");
  if (pid == 0) {
    if (::getuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setresgid(gid_, gid_, gid_) != 0 ||
                            ::setresuid(uid_, uid_, uid_) != 0))
      ::_exit(126);
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (out >= 0) {
      ::dup2(out, 1);
      ::dup2(out, 2);
    }
    std::vector<std::string> all = {"XDG_RUNTIME_DIR=" + folder_,
                                    "HOME=" + folder_,
                                    "PATH=/usr/local/bin:/usr/bin:/bin",
                                    "DBUS_SESSION_BUS_ADDRESS=unix:path=" + folder_ + "/bus",
                                    "WAYLAND_DISPLAY=wayland-pel",
                                    "XDG_SESSION_TYPE=wayland"};
    all.insert(all.end(), env.begin(), env.end());
    std::vector<char*> envp;
    for (const std::string& e : all) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    if (::chdir(folder_.c_str()) != 0) ::_exit(126);
    ::execvpe(args[0], args.data(), envp.data());
    ::_exit(127);
  }
  started_.push_back(pid);
  return pid;
}

std::string Mutter::Write(const std::string& name, const std::string& text) const {
  const std::string path = folder_ + "/" + name;
  std::ofstream(path, std::ios::binary) << text;
  if (::chown(path.c_str(), uid_, gid_) != 0)
    throw std::runtime_error("Mutter: cannot hand " + path + " to the user");
  return path;
}

std::string Mutter::Read(const std::string& name) const {
  std::ifstream in(folder_ + "/" + name);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace pel::waylandtest
