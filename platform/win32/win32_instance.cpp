#include "platform/win32/win32_instance.h"

#include <sddl.h>

#include <exception>
#include <utility>
#include <vector>

#include "platform/win32/win32_diagnostics.h"
#include "platform/win32/win32_text.h"

namespace pel {

namespace {

constexpr wchar_t kReceiverClass[] = L"PelmiraHandedFiles";
constexpr UINT_PTR kLaterTimer = 1;
// How often a later start asks the running instance again to take its file.
constexpr DWORD kHandRetryMs = 100;

std::wstring UserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> buf(size ? size : 1);
  std::wstring out;
  if (size != 0 && GetTokenInformation(token, TokenUser, buf.data(), size, &size)) {
    wchar_t* text = nullptr;
    if (ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buf.data())->User.Sid, &text)) {
      out = text;
      LocalFree(text);
    }
  }
  CloseHandle(token);
  return out;
}

std::wstring UserName() {
  wchar_t name[257];
  DWORD size = 257;
  if (!GetUserNameW(name, &size)) return L"unknown";
  std::wstring out(name);
  for (wchar_t& c : out)
    if (c == L'\\') c = L'_';  // a backslash would name a namespace
  return out;
}

// `path` made absolute against this process's working folder, which the running instance that
// receives it does not share.
std::string Absolute(const std::string& path) {
  std::wstring wide;
  try {
    wide = Widen(path);
  } catch (const std::exception&) {
    return path;
  }
  const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::wstring full(size, L'\0');
  const DWORD got = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
  if (got == 0 || got >= size) return path;
  full.resize(got);
  return Narrow(full);
}

// An exception must not unwind through the system's dispatch code.
template <class F>
auto Guarded(F&& f) {
  try {
    return f();
  } catch (...) {
    std::terminate();
  }
}

}  // namespace

std::wstring InstanceMutexName() {
  // Local\: one namespace per logon session, so another user on the same machine (fast user
  // switching, remote desktop) runs an instance of their own.
  std::wstring who = UserSid();
  if (who.empty()) who = UserName();
  return L"Local\\Pelmira.Instance." + who;
}

HANDLE CreateInstanceMutex(const std::wstring& name, DWORD& error) {
  HANDLE h = CreateMutexW(nullptr, FALSE, name.c_str());
  error = GetLastError();
  return h;
}

Win32Instance::~Win32Instance() {
  if (receiver_ != nullptr) DestroyWindow(receiver_);
  if (mutex_ != nullptr) CloseHandle(mutex_);
}

Instance::Claimed Win32Instance::Claim(std::string&) {
  if (mutex_ != nullptr) return Claimed::Taken;
  // A mutex rather than a window search: it exists from the first instance's start-up, before
  // any window, and the system removes it when its last holder ends, however it ends.
  DWORD code = ERROR_SUCCESS;
  HANDLE h = open_mutex_(InstanceMutexName(), code);
  mutex_closed_ = h == nullptr && code == ERROR_ACCESS_DENIED;
  if (h == nullptr) {
    // A first instance run as administrator made the mutex with a default DACL that does not
    // let this unelevated one open it: it exists, so another instance runs.
    if (mutex_closed_) return Claimed::Running;
    DiagnosticLine("instance: CreateMutexW: " + LastErrorText(code) +
                   "; started without the single-instance check");
    return Claimed::Taken;
  }
  if (code == ERROR_ALREADY_EXISTS) {
    CloseHandle(h);
    return Claimed::Running;
  }
  mutex_ = h;
  return Claimed::Taken;
}

std::function<bool()> Win32Instance::Running() {
  return [] {
    HANDLE h = OpenMutexW(SYNCHRONIZE, FALSE, InstanceMutexName().c_str());
    if (h == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
    CloseHandle(h);
    return true;
  };
}

Instance::Handed Win32Instance::Hand(const std::string& file, int timeout_ms) {
  // User interface privilege isolation drops WM_COPYDATA to a higher integrity level; waiting
  // for an answer would only show a message that does not apply, 10 s later.
  if (mutex_closed_) return Handed::Blocked;
  return HandFileToRunningInstance(kReceiverClass, Absolute(file),
                                   static_cast<UINT>(timeout_ms > 0 ? timeout_ms : 0), Running());
}

Instance::Commanded Win32Instance::Send(Command command, int timeout_ms) {
  if (mutex_closed_) return Commanded::Blocked;
  return SendCommandToRunningInstance(
      kReceiverClass, command, static_cast<UINT>(timeout_ms > 0 ? timeout_ms : 0), Running());
}

namespace {

// What a sender makes of one receiver's answer.
enum class Reply {
  Final,    // the result: no other receiver is asked
  Kept,     // a refusal: the result unless another receiver takes it
  Ignored,  // not ready yet (FALSE, or an answer not known): asked again
};
// Sent in place of an answer when the system keeps the message from every receiver.
constexpr LRESULT kSendBlocked = -1;

// Sends `data` to each message-only window of class `receiver_class`, asking again while none
// exists or none gives an answer `classify` keeps, until `timeout_ms` is spent or `running`
// (when given) says the instance has ended. Each receiver may take the foreground first, for
// the dialogs or the window the message may bring up. The answer kept (kSendBlocked for a send
// the system blocks: a receiver of a higher integrity level), or nullopt when none came.
std::optional<LRESULT> SendToReceivers(const wchar_t* receiver_class, COPYDATASTRUCT& data,
                                       UINT timeout_ms, const std::function<bool()>& running,
                                       const std::function<Reply(LRESULT)>& classify) {
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    const ULONGLONG spent = GetTickCount64() - start;
    if (spent >= timeout_ms) return std::nullopt;
    const auto left = static_cast<UINT>(timeout_ms - spent);
    std::optional<LRESULT> kept;
    for (HWND w = FindWindowExW(HWND_MESSAGE, nullptr, receiver_class, nullptr); w != nullptr;
         w = FindWindowExW(HWND_MESSAGE, w, receiver_class, nullptr)) {
      // This start has the foreground (the user just asked for it) and may pass it on. Failing
      // only leaves the dialog where the system puts it.
      DWORD pid = 0;
      if (GetWindowThreadProcessId(w, &pid) != 0) AllowSetForegroundWindow(pid);
      DWORD_PTR answer = FALSE;
      // SMTO_ABORTIFHUNG: a hung instance is not waited for.
      if (!SendMessageTimeoutW(w, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                               SMTO_ABORTIFHUNG | SMTO_BLOCK, left, &answer)) {
        // Kept from it for good by the system: it runs at a higher integrity level.
        if (GetLastError() == ERROR_ACCESS_DENIED) kept = kSendBlocked;
        continue;
      }
      const auto value = static_cast<LRESULT>(answer);
      switch (classify(value)) {
        case Reply::Final:
          return value;
        case Reply::Kept:
          kept = value;
          break;
        case Reply::Ignored:
          break;
      }
    }
    if (kept) return kept;
    // Ended meanwhile: the caller may claim the instance itself.
    if (running && !running()) return std::nullopt;
    Sleep(kHandRetryMs);
  }
}

}  // namespace

Instance::Handed HandFileToRunningInstance(const wchar_t* receiver_class, const std::string& file,
                                           UINT timeout_ms, const std::function<bool()>& running) {
  std::wstring path;
  try {
    path = Widen(file);
  } catch (const std::exception&) {
    return Instance::Handed::Refused;
  }
  COPYDATASTRUCT data{kHandFileTag, static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)),
                      path.data()};
  // The running instance may still be starting (no receiver yet, or one that takes no file
  // yet): asked again until the time is up.
  const std::optional<LRESULT> answer =
      SendToReceivers(receiver_class, data, timeout_ms, running, [](LRESULT value) {
        if (value == TRUE) return Reply::Final;
        const bool refusal =
            value == kHandRefused || value == kHandPlaying || value == kHandRecording;
        return refusal ? Reply::Kept : Reply::Ignored;
      });
  if (!answer) return Instance::Handed::NoAnswer;
  switch (*answer) {
    case TRUE:
      return Instance::Handed::Taken;
    case kHandPlaying:
      return Instance::Handed::Playing;
    case kHandRecording:
      return Instance::Handed::Recording;
    case kSendBlocked:
      return Instance::Handed::Blocked;
    default:
      return Instance::Handed::Refused;
  }
}

Instance::Commanded SendCommandToRunningInstance(const wchar_t* receiver_class,
                                                 Instance::Command command, UINT timeout_ms,
                                                 const std::function<bool()>& running) {
  std::string word(CommandWord(command));
  COPYDATASTRUCT data{kCommandTag, static_cast<DWORD>(word.size()), word.data()};
  const std::optional<LRESULT> answer =
      SendToReceivers(receiver_class, data, timeout_ms, running,
                      [](LRESULT value) { return value == FALSE ? Reply::Ignored : Reply::Final; });
  if (!answer) return Instance::Commanded::NoAnswer;
  if (*answer == kSendBlocked) return Instance::Commanded::Blocked;
  const LRESULT index = *answer - kCommandAnswered;
  if (index < 0 || index > static_cast<LRESULT>(Instance::Commanded::Unavailable))
    return Instance::Commanded::NotUnderstood;  // an older instance: a refused file's answer
  return static_cast<Instance::Commanded>(index);
}

std::optional<Instance::Command> SentCommand(const COPYDATASTRUCT& data) {
  if (data.dwData != kCommandTag || data.lpData == nullptr || data.cbData > 64) return std::nullopt;
  return CommandOfWord(std::string_view(static_cast<const char*>(data.lpData), data.cbData));
}

std::optional<std::string> HandedFile(const COPYDATASTRUCT& data) {
  const size_t units = data.cbData / sizeof(wchar_t);
  if (data.dwData != kHandFileTag || data.lpData == nullptr || data.cbData % sizeof(wchar_t) != 0 ||
      units < 2 || units > 32768)
    return std::nullopt;
  const auto* text = static_cast<const wchar_t*>(data.lpData);
  // One terminator, at the end: a NUL inside would make the system open a shorter name.
  if (wcsnlen(text, units) != units - 1) return std::nullopt;
  // WTF-8, as every name in the program: an unpaired surrogate an NTFS name may hold keeps its
  // own value, so the name opens the file the later start was given.
  return Narrow(std::wstring_view(text, units - 1));
}

bool Win32Instance::Listen(std::function<Handed(const std::string&)> take, std::string& error) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &ReceiverProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kReceiverClass;
  if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    error = "RegisterClassExW: " + LastErrorText(GetLastError());
    return false;
  }
  // Message-only: never shown, enumerated or sent broadcasts, yet found by FindWindowExW.
  receiver_ = CreateWindowExW(0, kReceiverClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              wc.hInstance, nullptr);
  if (receiver_ == nullptr) {
    error = "CreateWindowExW: " + LastErrorText(GetLastError());
    return false;
  }
  SetWindowLongPtrW(receiver_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  take_ = std::move(take);
  return true;
}

void Win32Instance::CallLater(int delay_ms, std::function<void()> due) {
  if (receiver_ == nullptr) return;
  due_ = std::move(due);
  if (SetTimer(receiver_, kLaterTimer, static_cast<UINT>(delay_ms > 0 ? delay_ms : 0), nullptr) ==
      0)
    DiagnosticLine("instance: SetTimer: " + LastErrorText(GetLastError()));
}

void Win32Instance::StopListening() {
  take_ = nullptr;
  obey_ = nullptr;
  due_ = nullptr;
  if (receiver_ != nullptr) KillTimer(receiver_, kLaterTimer);
}

LRESULT CALLBACK Win32Instance::ReceiverProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<Win32Instance*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(hwnd, msg, wp, lp);
  switch (msg) {
    case WM_COPYDATA: {
      const auto& data = *reinterpret_cast<const COPYDATASTRUCT*>(lp);
      if (data.dwData == kCommandTag) {
        const std::optional<Command> command = SentCommand(data);
        if (!command) return kCommandAnswered + static_cast<LRESULT>(Commanded::NotUnderstood);
        if (!self->obey_) return FALSE;  // asked again
        const Commanded answer = Guarded([&] { return self->obey_(*command); });
        return kCommandAnswered + static_cast<LRESULT>(answer);
      }
      const std::optional<std::string> file = HandedFile(data);
      if (!file || !self->take_) return kHandRefused;
      switch (Guarded([&] { return self->take_(*file); })) {
        case Handed::Taken:
          return TRUE;
        case Handed::Playing:
          return kHandPlaying;
        case Handed::Recording:
          return kHandRecording;
        default:
          return kHandRefused;
      }
    }
    case WM_TIMER:
      if (wp != kLaterTimer) break;
      KillTimer(hwnd, kLaterTimer);
      if (self->due_) Guarded(std::exchange(self->due_, {}));
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace pel
