#include "testkit/sway_fixture.h"

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace pel::waylandtest {

namespace fs = std::filesystem;

namespace {
constexpr const char* kUser = "pelmira-e2e";
}  // namespace

void TakeTestUser(uid_t& uid, gid_t& gid) {
  uid = ::getuid();
  gid = ::getgid();
  if (uid != 0) return;
  if (!::getpwnam(kUser) &&
      std::system((std::string("useradd --system --no-create-home --shell /usr/sbin/nologin ") +
                   kUser + " >/dev/null 2>&1")
                      .c_str()) != 0)
    throw std::runtime_error(std::string("useradd ") + kUser + " failed");
  const passwd* user = ::getpwnam(kUser);
  if (!user) throw std::runtime_error(std::string("no user ") + kUser);
  uid = user->pw_uid;
  gid = user->pw_gid;
}

Sway::Sway(const std::vector<std::pair<int, int>>& outputs, const std::vector<int>& scales) {
  uid_t uid = 0;
  gid_t gid = 0;
  TakeTestUser(uid, gid);
  char folder[] = "/tmp/pel-sway-XXXXXX";
  if (!::mkdtemp(folder)) throw std::runtime_error("Sway: mkdtemp failed");
  folder_ = folder;
  std::ofstream config(folder_ + "/config");
  int x = 0;
  for (size_t i = 0; i < outputs.size(); ++i) {
    const int scale = i < scales.size() ? scales[i] : 1;
    config << "output HEADLESS-" << i + 1 << " resolution " << outputs[i].first * scale << "x"
           << outputs[i].second * scale << " position " << x << " 0 scale " << scale << "\n";
    x += outputs[i].first;
  }
  config << "xwayland disable\n";
  config.close();
  if (::chown(folder, uid, gid) != 0 || ::chmod(folder, 0700) != 0 ||
      ::chown((folder_ + "/config").c_str(), uid, gid) != 0)
    throw std::runtime_error("Sway: cannot hand " + folder_ + " to the user");

  const std::string log = folder_ + "/log";
  const std::string count = std::to_string(outputs.size());
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("Sway: fork failed");
  if (pid_ == 0) {
    if (::getuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setresgid(gid, gid, gid) != 0 ||
                            ::setresuid(uid, uid, uid) != 0))
      ::_exit(126);
    std::freopen(log.c_str(), "w", stdout);
    ::dup2(::fileno(stdout), 2);
    const std::string config_path = folder_ + "/config";
    const std::string env[] = {
        "XDG_RUNTIME_DIR=" + folder_,   "HOME=" + folder_,     "PATH=/usr/local/bin:/usr/bin:/bin",
        "WLR_BACKENDS=headless",        "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1",
        "WLR_HEADLESS_OUTPUTS=" + count};
    std::vector<char*> envp;
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const char* argv[] = {"sway", "-c", config_path.c_str(), nullptr};
    ::execvpe("sway", const_cast<char* const*>(argv), envp.data());
    ::_exit(127);
  }
  // sway names its socket itself (wayland-N in its runtime folder), and the outputs are set
  // up when its IPC socket appears.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    for (const fs::directory_entry& e : fs::directory_iterator(folder_)) {
      const std::string name = e.path().filename().string();
      if (name.starts_with("wayland-") && !name.ends_with(".lock")) socket_ = e.path().string();
      if (name.starts_with("sway-ipc.")) ipc_ = e.path().string();
    }
    if (!ipc_.empty() && !socket_.empty()) return;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const std::string text = Log();
  Stop();
  throw std::runtime_error("Sway: did not come up:\n" + text);
}

Sway::~Sway() {
  Stop();
}

void Sway::Stop() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  std::error_code ignored;
  if (!folder_.empty()) fs::remove_all(folder_, ignored);
  folder_.clear();
}

pid_t Sway::Start(const std::string& program, const std::vector<std::string>& args,
                  const std::string& runtime) const {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::unsetenv("DISPLAY");
    ::setenv("WAYLAND_DISPLAY", socket_.c_str(), 1);
    ::setenv("XDG_SESSION_TYPE", "wayland", 1);
    ::setenv("SWAYSOCK", ipc_.c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    std::freopen((runtime + "/stderr").c_str(), "a", stderr);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  return pid;
}

std::string Sway::Log() const {
  std::ifstream in(folder_ + "/log");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace pel::waylandtest
