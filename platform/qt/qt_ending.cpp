#include "platform/qt/qt_ending.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QString>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/x11/x11_display.h"

namespace pel {

namespace {

// The signals that end a program unless it handles them, and that a user or the system sends to
// end it: Ctrl+C, Ctrl+\, SIGTERM, a closed terminal.
constexpr int kEndingSignals[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};

int g_pipe[2] = {-1, -1};

void OnSignal(int signo) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(signo);
  [[maybe_unused]] ssize_t put = ::write(g_pipe[1], &byte, 1);
  errno = saved;
}

std::function<void()>* g_last_words = nullptr;
QtMessageHandler g_previous_handler = nullptr;

void SayLastWords() {
  static bool said = false;
  if (said || !g_last_words || !*g_last_words) return;
  said = true;
  (*g_last_words)();
  std::fflush(stderr);
}

void OnQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  // The xcb plug-in says this and calls exit(1) when its connection to the server breaks.
  if (type == QtWarningMsg && text.contains(QStringLiteral("X11 connection broke"))) {
    SayLastWords();
    ::_exit(1);
  }
  if (type == QtFatalMsg) SayLastWords();
  if (g_previous_handler) g_previous_handler(type, context, text);
}

}  // namespace

SignalWatch::SignalWatch(std::function<void(int)> on_signal) : on_signal_(std::move(on_signal)) {
  if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    std::fprintf(stderr, "pelmira: pipe2 failed: %s\n", std::strerror(errno));
    return;
  }
  notifier_ = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
    unsigned char byte = 0;
    while (::read(g_pipe[0], &byte, 1) == 1) {
      if (seen_) continue;
      seen_ = true;
      on_signal_(byte);
    }
  });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signo : kEndingSignals)
    if (::sigaction(signo, &action, nullptr) != 0)
      std::fprintf(stderr, "pelmira: sigaction(%d) failed: %s\n", signo, std::strerror(errno));
}

SignalWatch::~SignalWatch() {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (int signo : kEndingSignals) ::sigaction(signo, &action, nullptr);
}

void SignalWatch::DieBy(int signo) {
  std::fflush(stderr);
  ::signal(signo, SIG_DFL);
  ::raise(signo);
  ::_exit(128 + signo);
}

void OnLastWords(std::function<void()> last_words) {
  static std::function<void()> kept;
  kept = std::move(last_words);
  g_last_words = &kept;
  // The handlers go in once: installed again, the message handler would find itself as the one
  // before it and call itself for ever.
  static bool installed = false;
  if (std::exchange(installed, true)) return;
  OnDisplayLost(SayLastWords);
  g_previous_handler = qInstallMessageHandler(OnQtMessage);
}

}  // namespace pel
