#pragma once
// The single instance of the Windows program: a named mutex per user session, and a
// message-only window of the running instance through which later starts hand their files over
// (WM_COPYDATA with our tag and the path in UTF-16).

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "platform/instance.h"

namespace pel {

// The single-instance mutex name for the current user: "Local\Pelmira.Instance.<user SID>", or
// the user name when the SID cannot be read.
std::wstring InstanceMutexName();

// Creates or opens the named instance mutex: the handle, or nullptr with `error` set; on success
// `error` is ERROR_ALREADY_EXISTS when the mutex was there before (CreateMutexW's rules).
using InstanceMutexOpener = HANDLE (*)(const std::wstring& name, DWORD& error);
HANDLE CreateInstanceMutex(const std::wstring& name, DWORD& error);

// The tag of a handed file; it keeps other senders' data from being taken for a path.
constexpr ULONG_PTR kHandFileTag = 0x504C4D46;  // "PLMF"
// What a receiver answers to a handed file besides TRUE (taken): FALSE means it takes no file
// yet (it is starting) and is asked again; the others are Instance::Handed's refusals.
constexpr LRESULT kHandRefused = 2;
constexpr LRESULT kHandPlaying = 3;
constexpr LRESULT kHandRecording = 4;
// The tag of a command (Instance::Command): its word in ASCII, without a NUL. A receiver that
// takes no commands answers kHandRefused, as to anything not tagged as a file.
constexpr ULONG_PTR kCommandTag = 0x504C4D43;  // "PLMC"
// A receiver's answer to a command: kCommandAnswered plus the Instance::Commanded (Done to
// Unavailable); FALSE while it takes no commands yet (it is starting), and is asked again.
constexpr LRESULT kCommandAnswered = 0x100;
// Hands `file` (an absolute path) to the message-only windows of class `receiver_class`, asking
// again while none exists or none takes files yet, until `timeout_ms` is spent or `running` (when
// given) says the instance has ended. Each receiver may take the foreground first, for the
// dialogs the file may bring up. A send the system blocks (a receiver of a higher integrity
// level) is Blocked at once.
Instance::Handed HandFileToRunningInstance(const wchar_t* receiver_class, const std::string& file,
                                           UINT timeout_ms,
                                           const std::function<bool()>& running = {});
// Sends `command` to the running instance's receivers as HandFileToRunningInstance hands a file:
// the first answer other than FALSE is the result, an answer not known here NotUnderstood.
Instance::Commanded SendCommandToRunningInstance(const wchar_t* receiver_class,
                                                 Instance::Command command, UINT timeout_ms,
                                                 const std::function<bool()>& running = {});
// The command a WM_COPYDATA carries, when it is one: our tag and a word known here.
std::optional<Instance::Command> SentCommand(const COPYDATASTRUCT& data);
// The path a WM_COPYDATA carries, when it is a handed file: our tag and UTF-16 with one NUL, at
// its end; returned as WTF-8 (an unpaired surrogate kept, see win32_text.h).
std::optional<std::string> HandedFile(const COPYDATASTRUCT& data);

class Win32Instance : public Instance {
 public:
  // `open_mutex`: replaced by tests to stand in for CreateMutexW's failures.
  explicit Win32Instance(InstanceMutexOpener open_mutex = &CreateInstanceMutex)
      : open_mutex_(open_mutex) {}
  ~Win32Instance() override;
  Win32Instance(const Win32Instance&) = delete;
  Win32Instance& operator=(const Win32Instance&) = delete;

  // Running also when the mutex exists but may not be opened (an instance run as
  // administrator). Any other failure cannot tell and counts as Taken: the program never
  // refuses to start for it.
  Claimed Claim(std::string& detail) override;
  // `file` made absolute against this process's working folder. Blocked at once when Claim
  // found the mutex closed to this process: WM_COPYDATA cannot reach that instance, and the
  // receiver never opens it to lower integrity levels.
  Handed Hand(const std::string& file, int timeout_ms) override;
  // Blocked at once likewise.
  Commanded Send(Command command, int timeout_ms) override;
  // A message-only window on the calling thread, whose message loop serves it.
  bool Listen(std::function<Handed(const std::string&)> take, std::string& error) override;
  void CallLater(int delay_ms, std::function<void()> due) override;
  void StopListening() override;
  void Obey(std::function<Commanded(Command)> obey) override { obey_ = std::move(obey); }

 private:
  // Whether the instance found by Claim still runs, for a sender waiting on it.
  static std::function<bool()> Running();
  static LRESULT CALLBACK ReceiverProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

  InstanceMutexOpener open_mutex_;
  HANDLE mutex_ = nullptr;     // held until the process ends; the system releases it after a crash
  bool mutex_closed_ = false;  // the last Claim was denied the mutex: the instance is elevated
  HWND receiver_ = nullptr;
  std::function<Handed(const std::string&)> take_;
  std::function<Commanded(Command)> obey_;
  std::function<void()> due_;
};

}  // namespace pel
