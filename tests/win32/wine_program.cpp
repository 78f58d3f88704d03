#include "tests/win32/wine_program.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <utility>

namespace pel::e2e {

namespace fs = std::filesystem;

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string WithoutCr(std::string s) {
  std::erase(s, '\r');
  return s;
}

// The probe's window at a known place; its log has one line per press or release, "down L x y"
// in screen pixels, and per wheel step, "wheel V 120 x y". They are told as X11 numbers the
// buttons: 1 to 3, the side buttons 8 and 9, and a wheel step as a press and release of 4 to 7.
class WineTarget : public ClickTarget {
 public:
  WineTarget(WineProgram& p, int x, int y, int w, int h)
      : p_(p), x_(x), y_(y), log_(p.Root() + "/target.log") {
    p.Launch(p.TestProgram("pel_win_probe"),
             {"target", WineProgram::WinPath(log_), std::to_string(x), std::to_string(y),
              std::to_string(w), std::to_string(h)});
    if (!x11test::WaitUntil([&] { return ReadWholeFile(log_).rfind("ready", 0) == 0; }, 30s))
      throw std::runtime_error("the probe's click target did not start");
  }
  ~WineTarget() override { p_.Close("PelTarget"); }

  std::vector<x11test::ObserverWindow::ButtonEvent> Events() override {
    std::vector<x11test::ObserverWindow::ButtonEvent> out;
    std::istringstream in(ReadWholeFile(log_));
    for (std::string line; std::getline(in, line);) {
      std::istringstream l(line);
      std::string what, button;
      int delta = 0, x = 0, y = 0;
      if (!(l >> what >> button) || (what == "wheel" && !(l >> delta)) || !(l >> x >> y)) continue;
      if (what == "wheel") {
        const unsigned b = button == "V" ? (delta > 0 ? 4 : 5) : (delta > 0 ? 7 : 6);
        out.push_back({true, b, x - x_, y - y_});
        out.push_back({false, b, x - x_, y - y_});
        continue;
      }
      if (what != "down" && what != "up") continue;
      const unsigned b = button == "L"    ? 1
                         : button == "M"  ? 2
                         : button == "R"  ? 3
                         : button == "X1" ? 8
                                          : 9;
      out.push_back({what == "down", b, x - x_, y - y_});
    }
    return out;
  }

 private:
  WineProgram& p_;
  int x_, y_;
  std::string log_;
};

}  // namespace

bool WineProgram::Available() {
  return !Env("PEL_WINE").empty() && !Env("PEL_MINGW_BUILD").empty() &&
         !Env("PEL_WINE_WORK").empty();
}

// One X server for the whole run: Wine's desktop process keeps the display it first saw.
const std::string& WineProgram::RunDisplay() {
  static x11test::Xvfb server;
  setenv("DISPLAY", server.Display().c_str(), 1);
  return server.Display();
}

WineProgram::WineProgram()
    : display_(RunDisplay()),
      wine_(Env("PEL_WINE")),
      build_(Env("PEL_MINGW_BUILD")),
      look_(display_) {
  std::string tmpl = Env("PEL_WINE_WORK") + "/test-XXXXXX";
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed in " + tmpl);
  root_ = tmpl;
  // Start-up opens the home page about once in a hundred starts: the probe stands in for the
  // browser, so that no browser starts and no error box comes in the way.
  static bool browser_set = false;
  if (!std::exchange(browser_set, true)) {
    // Appended piece by piece: GCC 12 at -O2 takes `"literal" + std::string` for an overlapping
    // copy (-Wrestrict).
    std::string command = "\"";
    command += WinPath(TestProgram("pel_win_probe"));
    command += "\" url \"";
    command += WinPath(Env("PEL_WINE_WORK") + "/logs/urls.log");
    command += "\" \"%1\"";
    Run("reg", {"add", "HKCU\\Software\\Classes\\https\\shell\\open\\command", "/ve", "/f", "/d",
                command});
  }
}

WineProgram::~WineProgram() {
  children_.StopAll([&](pid_t) { Close("PelmiraForm1"); }, 10s);
}

std::string WineProgram::WinPath(const std::string& path) {
  std::string out = "Z:" + path;
  for (char& c : out)
    if (c == '/') c = '\\';
  return out;
}

pid_t WineProgram::Launch(const std::string& exe, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {wine_, exe};
  argv.insert(argv.end(), args.begin(), args.end());
  // Wine's helpers inherit stdout and stderr: they go to a file, never to a pipe.
  return children_.Spawn(argv, {}, root_ + "/" + std::to_string(children_.Count()) + ".log");
}

int WineProgram::Run(const std::string& exe, const std::vector<std::string>& args, std::string* out,
                     std::chrono::seconds timeout) {
  const size_t n = children_.Count();
  const pid_t pid = Launch(exe, args);
  const std::optional<int> rc = WaitExit(pid, timeout);
  if (!rc) children_.Kill(pid);
  if (out) *out = WithoutCr(ReadWholeFile(root_ + "/" + std::to_string(n) + ".log"));
  return rc.value_or(-1);
}

std::string WineProgram::Probe(const std::vector<std::string>& args) {
  std::string out;
  Run(TestProgram("pel_win_probe"), args, &out, 30s);
  return out;
}

bool WineProgram::Xdo(const std::string& args) {
  return std::system(("xdotool " + args).c_str()) == 0;
}

bool WineProgram::KeyTo(unsigned long id, const std::string& key) {
  Xdo("windowfocus --sync " + std::to_string(id));
  return Xdo("key " + key);
}

bool WineProgram::Key(const std::string& key) {
  auto w = look_.Find("Pelmira");
  if (!w) w = look_.Find("PelTarget");
  return w ? KeyTo(w->id, key) : Xdo("key " + key);
}

std::string WineProgram::OutlinePath(const std::string& name) {
  std::error_code ec;
  for (fs::recursive_directory_iterator it(Env("WINEPREFIX") + "/drive_c/users", ec), end;
       it != end; it.increment(ec))
    if (it->path().filename() == name) return it->path();
  return {};
}

void WineProgram::ForgetOutlines() {
  for (const char* name : {"recfrm.shp", "playfrm.shp"})
    for (std::string path; !(path = OutlinePath(name)).empty();) fs::remove(path);
}

std::unique_ptr<ClickTarget> WineProgram::Target(int x, int y, int w, int h) {
  return std::make_unique<WineTarget>(*this, x, y, w, h);
}

std::string WineProgram::Output() {
  std::string out;
  for (size_t i = 0; i < children_.Count(); ++i)
    out += WithoutCr(ReadWholeFile(root_ + "/" + std::to_string(i) + ".log"));
  return out;
}

}  // namespace pel::e2e
