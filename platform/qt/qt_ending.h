#pragma once
// How the Linux program ends when nobody closed it: a signal (Ctrl+C or Ctrl+\, SIGTERM at log-out
// or from `timeout`, SIGHUP when its terminal goes) or the loss of the X display. Either way the
// program first gets to keep its work (MainForm::KeepBeforeEnd).

#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace pel {

// Turns SIGINT, SIGQUIT, SIGTERM and SIGHUP into a call of `on_signal(signal number)` from the
// event loop, through a pipe the handler writes to. Only the first signal is passed on; the ones
// after it wait until `on_signal` has ended the program.
class SignalWatch {
 public:
  explicit SignalWatch(std::function<void(int)> on_signal);
  ~SignalWatch();
  SignalWatch(const SignalWatch&) = delete;
  SignalWatch& operator=(const SignalWatch&) = delete;

  // Ends the process as the signal `signo` would have without a handler.
  [[noreturn]] static void DieBy(int signo);

 private:
  std::function<void(int)> on_signal_;
  std::unique_ptr<QSocketNotifier> notifier_;
  bool seen_ = false;
};

// From now on, when the display goes away (Xlib's connection, or the one of Qt's xcb plug-in)
// or Qt gives up with a fatal message, `last_words` runs once before the process ends; after a
// lost display the process ends with status 1. An empty `last_words` says nothing.
void OnLastWords(std::function<void()> last_words);

}  // namespace pel
