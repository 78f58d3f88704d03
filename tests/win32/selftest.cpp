// Checks the Win32 backends against the real system (run under Wine by wine_e2e_test.cpp).
// Prints one PASS or FAIL line per check and INFO lines with measurements; exit code 1 when
// any check failed.

#include <windows.h>

#include <objbase.h>
#include <sddl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_environment.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_indicator.h"
#include "platform/win32/win32_input.h"
#include "platform/win32/win32_main_window.h"
#include "platform/win32/win32_shell.h"
#include "platform/win32/win32_text.h"
#include "platform/win32/win32_tick.h"
#include "testkit/raised.h"
#include "tests/win32/check.h"

namespace {

using namespace pel;

using test::ErrorNumberOf;
using wintest::Check;

void Info(const std::string& text) {
  std::printf("INFO %s\n", text.c_str());
  std::fflush(stdout);
}

std::string ReadAll(FileSystem& fs, const std::string& path) {
  auto f = fs.OpenRead(path, FileUse::User);
  std::string out;
  char buf[7];  // small on purpose: reads must resume where they stopped
  for (size_t n; (n = f->Read(buf, sizeof buf)) > 0;) out.append(buf, n);
  return out;
}

void WriteWhole(FileSystem& fs, const std::string& path, const std::string& bytes) {
  auto w = fs.BeginReplace(path, FileUse::User);
  w->Write(bytes);
  w->Commit();
}

int CountFiles(const std::string& folder, const wchar_t* pattern) {
  WIN32_FIND_DATAW d;
  HANDLE h = FindFirstFileW((LongPath(Widen(folder)) + pattern).c_str(), &d);
  if (h == INVALID_HANDLE_VALUE) return 0;
  int n = 0;
  do {
    if (!(d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++n;
  } while (FindNextFileW(h, &d));
  FindClose(h);
  return n;
}

void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAW d;
  const std::wstring base = LongPath(Widen(folder));
  HANDLE h = FindFirstFileW((base + L"*").c_str(), &d);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = d.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring p = base + name;
      SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (d.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        if (!DeleteFileW(p.c_str())) RemoveDirectoryW(p.c_str());
      } else if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(Narrow(p) + "\\");
      } else {
        DeleteFileW(p.c_str());
      }
    } while (FindNextFileW(h, &d));
    FindClose(h);
  }
  RemoveDirectoryW(base.c_str());
}

void TestFiles(const std::string& dir) {
  Win32FileSystem fs;
  const std::string target = dir + "motion.mmf";

  // Replace, read back, replace a longer file with a shorter one.
  int32_t n = ErrorNumberOf([&] { WriteWhole(fs, target, "[MouseMotionFile]\r\nmove,1,2,3\r\n"); });
  Check(n == 0, "files: replace creates a new file", "error " + std::to_string(n));
  Check(ReadAll(fs, target) == "[MouseMotionFile]\r\nmove,1,2,3\r\n", "files: read back");
  WriteWhole(fs, target, "short");
  {
    auto f = fs.OpenRead(target, FileUse::User);
    Check(f->Size() == 5 && ReadAll(fs, target) == "short",
          "files: shorter replacement leaves no old bytes");
  }
  Check(CountFiles(dir, L"~*") == 0, "files: no temporary file left after commit");

  // A replacement dropped without Commit leaves the target and the folder as they were.
  {
    auto w = fs.BeginReplace(target, FileUse::User);
    w->Write("half written");
    Check(CountFiles(dir, L"~*") == 1, "files: temporary file sits in the target's folder");
    Check(ReadAll(fs, target) == "short", "files: target unchanged before commit");
  }
  Check(ReadAll(fs, target) == "short" && CountFiles(dir, L"~*") == 0,
        "files: dropped replacement removes its temporary file, target untouched");

  // An open reader keeps writers out; the failed commit leaves the old bytes in place.
  {
    auto reader = fs.OpenRead(target, FileUse::User);
    HANDLE other_reader =
        CreateFileW(Widen(target).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    Check(other_reader != INVALID_HANDLE_VALUE, "files: open reader admits other readers");
    if (other_reader != INVALID_HANDLE_VALUE) CloseHandle(other_reader);
    HANDLE writer =
        CreateFileW(Widen(target).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    const DWORD code = GetLastError();
    Check(writer == INVALID_HANDLE_VALUE && code == ERROR_SHARING_VIOLATION,
          "files: open reader denies writers",
          "handle " + std::string(writer == INVALID_HANDLE_VALUE ? "invalid" : "valid") +
              ", GetLastError " + std::to_string(code));
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    std::string desc;
    n = ErrorNumberOf([&] { WriteWhole(fs, target, "replacement"); }, &desc);
    Info("replace while a reader has the target open: error " + std::to_string(n) + " " + desc);
    Check(n == err::kPermissionDenied || n == 0, "files: replace while open is denied (70)",
          "error " + std::to_string(n));
    if (n != 0) {
      Check(ReadAll(fs, target) == "short" && CountFiles(dir, L"~*") == 0,
            "files: failed commit leaves target and folder untouched");
    }
  }
  WriteWhole(fs, target, "short");

  // Ordinary, hidden, system, folder and missing paths.
  const std::string hidden = dir + "hidden.mmf";
  const std::string system = dir + "system.mmf";
  WriteWhole(fs, hidden, "x");
  WriteWhole(fs, system, "x");
  SetFileAttributesW(Widen(hidden).c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesW(Widen(system).c_str(), FILE_ATTRIBUTE_SYSTEM);
  CreateDirectoryW(Widen(dir + "folder.mmf").c_str(), nullptr);
  Check(fs.IsNormalFile(target), "files: ordinary file is normal");
  Check(!fs.IsNormalFile(hidden), "files: hidden file is not normal");
  Check(!fs.IsNormalFile(system), "files: system file is not normal");
  Check(!fs.IsNormalFile(dir + "folder.mmf"), "files: folder is not normal");
  Check(!fs.IsNormalFile(dir + "missing.mmf"), "files: missing path is not normal");
  Check(!fs.IsNormalFile(std::string("bad\xff") + "name"), "files: non-UTF-8 name is not normal");
  Check(fs.CanReadTimestamp(target) && fs.CanReadTimestamp(hidden),
        "files: timestamp readable for existing files");
  Check(!fs.CanReadTimestamp(dir + "missing.mmf"), "files: no timestamp for a missing file");

  // Error numbers.
  std::string desc;
  n = ErrorNumberOf([&] { fs.OpenRead(dir + "missing.mmf", FileUse::User); }, &desc);
  Check(n == err::kFileNotFound && desc.find("missing.mmf") != std::string::npos,
        "files: missing file is 53 and named", std::to_string(n) + " " + desc);
  n = ErrorNumberOf([&] { fs.OpenRead(dir + "nofolder\\x.mmf", FileUse::User); });
  Check(n == err::kPathNotFound, "files: missing folder on read is 76", std::to_string(n));
  n = ErrorNumberOf([&] { WriteWhole(fs, dir + "nofolder\\x.mmf", "x"); });
  Check(n == err::kPathNotFound, "files: missing folder on replace is 76", std::to_string(n));
  n = ErrorNumberOf([&] { fs.OpenRead(dir + "folder.mmf", FileUse::User); }, &desc);
  Info("reading a folder: error " + std::to_string(n) + " " + desc);
  Check(n == err::kPermissionDenied || n == err::kPathFileAccess,
        "files: reading a folder fails with 70 or 75", std::to_string(n));
  n = ErrorNumberOf([&] { fs.OpenRead(std::string("bad\xff") + "name", FileUse::User); });
  Check(n == err::kBadFileName, "files: non-UTF-8 name is 52", std::to_string(n));
  Check(FileErrorNumber(ERROR_DISK_FULL) == err::kDiskFull &&
            FileErrorNumber(ERROR_HANDLE_DISK_FULL) == err::kDiskFull &&
            FileErrorNumber(ERROR_SHARING_VIOLATION) == err::kPermissionDenied &&
            FileErrorNumber(ERROR_ACCESS_DENIED) == err::kPermissionDenied &&
            FileErrorNumber(ERROR_CRC) == err::kDeviceIoError &&
            FileErrorNumber(ERROR_INVALID_NAME) == err::kPathFileAccess,
        "files: error code mapping");

  // A folder at the target's name stays a folder.
  n = ErrorNumberOf([&] { WriteWhole(fs, dir + "folder.mmf", "x"); });
  Check(n == err::kPermissionDenied && !fs.IsNormalFile(dir + "folder.mmf") &&
            CountFiles(dir, L"~*") == 0,
        "files: replacing a folder is denied (70) and leaves no temporary file", std::to_string(n));

  // Names outside ASCII survive the UTF-8 <-> UTF-16 round trip.
  const std::string unicode = dir + "Gr\xc3\xbc\xc3\x9f\x65 \xe6\xbc\xa2.mmf";
  n = ErrorNumberOf([&] { WriteWhole(fs, unicode, "u"); });
  Check(n == 0 && fs.IsNormalFile(unicode) && ReadAll(fs, unicode) == "u",
        "files: non-ASCII file name");

  // Empty file: size 0, first read returns 0.
  WriteWhole(fs, dir + "empty.shp", "");
  {
    auto f = fs.OpenRead(dir + "empty.shp", FileUse::User);
    char c;
    Check(f->Size() == 0 && f->Read(&c, 1) == 0, "files: empty file reads nothing");
  }
}

// ------------------------------------------------------------- long paths, links and ACLs

std::string DaclText(const std::string& path) {
  DWORD size = 0;
  const std::wstring w = LongPath(Widen(path));
  GetFileSecurityW(w.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
  std::vector<unsigned char> sd(size ? size : 1);
  wchar_t* text = nullptr;
  if (size == 0 ||
      !GetFileSecurityW(w.c_str(), DACL_SECURITY_INFORMATION, sd.data(), size, &size) ||
      !ConvertSecurityDescriptorToStringSecurityDescriptorW(
          sd.data(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr))
    return {};
  std::string out = Narrow(text);
  LocalFree(text);
  return out;
}

// A path of 300 characters loads and saves; a save over a symbolic link writes the file it
// names; a file's own ACL survives a save; temporary files of ours left by a save that never
// ended go at the next save to the folder.
void TestLongPathsLinksAndAcls(const std::string& dir, const std::string& links) {
  Win32FileSystem fs;
  std::string folder = dir;
  while (folder.size() < 240) {
    folder += std::string(60, 'd') + "\\";
    CreateDirectoryW(LongPath(Widen(folder)).c_str(), nullptr);
  }
  const std::string long_path = folder + std::string(300 - folder.size() - 4, 'f') + ".mmf";
  int32_t n = ErrorNumberOf([&] {
    WriteWhole(fs, long_path, "first");
    WriteWhole(fs, long_path, "second");
  });
  Check(n == 0 && ReadAll(fs, long_path) == "second" && fs.IsNormalFile(long_path) &&
            CountFiles(folder, L"~*") == 0,
        "files: a 300-character path is saved, saved over and loaded", std::to_string(n));

  // Our stale temporary file goes; a fresh one, and names not quite ours, stay.
  const struct {
    const wchar_t* name;
    bool old;
    bool stays;
  } temps[] = {{L"~pel0badc0de.tmp", true, false},
               {L"~pel00000001.tmp", false, true},
               {L"~pel0badc0dx.tmp", true, true},
               {L"~pel0badc0de.tmp.keep", true, true},
               {L"~motion.mmf.12.0.tmp", true, true}};
  for (const auto& t : temps) {
    HANDLE h = CreateFileW((Widen(dir) + t.name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER u{{ft.dwLowDateTime, ft.dwHighDateTime}};
    if (t.old) u.QuadPart -= 3600ull * 10000000;  // an hour ago
    ft = {u.LowPart, u.HighPart};
    SetFileTime(h, nullptr, nullptr, &ft);
    CloseHandle(h);
  }
  WriteWhole(fs, dir + "sweep.mmf", "x");
  for (const auto& t : temps) {
    const bool there = GetFileAttributesW((Widen(dir) + t.name).c_str()) != INVALID_FILE_ATTRIBUTES;
    Check(there == t.stays,
          "files: a save " + std::string(t.stays ? "keeps " : "removes ") + Narrow(t.name),
          there ? "still there" : "gone");
    DeleteFileW((Widen(dir) + t.name).c_str());
  }

  // Saving over a symbolic link: made here where the system can, else by the caller in
  // `links` (Wine makes none, but follows those of the file system beneath).
  std::string link_dir = dir;
  if (!CreateSymbolicLinkW(Widen(dir + "link.mmf").c_str(), Widen(dir + "real.mmf").c_str(),
                           SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) ||
      GetFileAttributesW(Widen(dir + "link.mmf").c_str()) == INVALID_FILE_ATTRIBUTES)
    link_dir = links;
  if (link_dir.empty()) {
    Info("no symbolic link to save over");
  } else {
    n = ErrorNumberOf([&] { WriteWhole(fs, link_dir + "link.mmf", "new"); });
    Check(n == 0 && ReadAll(fs, link_dir + "real.mmf") == "new" && CountFiles(link_dir, L"~*") == 0,
          "files: saving over a symbolic link writes the file it names", std::to_string(n));
  }

  // A file with an ACL of its own (no inherited entries): the save keeps it.
  const std::string guarded = dir + "acl.mmf";
  WriteWhole(fs, guarded, "old");
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;FA;;;WD)(A;;FR;;;BU)",
                                                           SDDL_REVISION_1, &sd, nullptr)) {
    SetFileSecurityW(Widen(guarded).c_str(), DACL_SECURITY_INFORMATION, sd);
    LocalFree(sd);
  }
  const std::string before = DaclText(guarded);
  if (before.rfind("D:P", 0) != 0) {
    Info("the file system keeps no ACL of its own here: " + before);
  } else {
    n = ErrorNumberOf([&] { WriteWhole(fs, guarded, "new"); });
    const std::string after = DaclText(guarded);
    Check(n == 0 && ReadAll(fs, guarded) == "new" && after == before,
          "files: saving over a file keeps its own ACL", before + " -> " + after);
  }
}

// ------------------------------------------------------------------ replacing held files

// Holds `path` open with no sharing for `ms` milliseconds on another thread, as a scanner would.
struct Holder {
  HANDLE file;
  DWORD ms;
};

DWORD WINAPI HoldThenClose(void* p) {
  auto* h = static_cast<Holder*>(p);
  Sleep(h->ms);
  CloseHandle(h->file);
  return 0;
}

void TestReplaceHeldFiles(const std::string& dir) {
  Win32FileSystem fs;
  // Read-only: refused at once with the permission error, bytes and attribute as they were.
  const std::string readonly = dir + "readonly.mmf";
  WriteWhole(fs, readonly, "old");
  SetFileAttributesW(Widen(readonly).c_str(), FILE_ATTRIBUTE_READONLY);
  std::string desc;
  const ULONGLONG t0 = GetTickCount64();
  int32_t n = ErrorNumberOf([&] { WriteWhole(fs, readonly, "new"); }, &desc);
  const ULONGLONG took = GetTickCount64() - t0;
  Info("replacing a read-only file: error " + std::to_string(n) + " " + desc + " after " +
       std::to_string(took) + " ms");
  Check(n == err::kPermissionDenied && ReadAll(fs, readonly) == "old" &&
            (GetFileAttributesW(Widen(readonly).c_str()) & FILE_ATTRIBUTE_READONLY) &&
            CountFiles(dir, L"~*") == 0 && took < 500,
        "files: read-only target refused at once (70), left as it was");

  // Held by another program for 300 ms: the replace waits for it; attributes stay.
  const std::string held = dir + "held.mmf";
  WriteWhole(fs, held, "old");
  SetFileAttributesW(Widen(held).c_str(), FILE_ATTRIBUTE_HIDDEN);
  Holder holder{
      CreateFileW(Widen(held).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), 300};
  HANDLE thread = holder.file != INVALID_HANDLE_VALUE
                      ? CreateThread(nullptr, 0, &HoldThenClose, &holder, 0, nullptr)
                      : nullptr;
  const ULONGLONG t1 = GetTickCount64();
  n = ErrorNumberOf([&] { WriteWhole(fs, held, "new"); }, &desc);
  const ULONGLONG waited = GetTickCount64() - t1;
  if (thread != nullptr) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
  Info("replacing a file held for 300 ms: error " + std::to_string(n) + " after " +
       std::to_string(waited) + " ms");
  const DWORD attrs = GetFileAttributesW(Widen(held).c_str());
  Check(thread != nullptr && n == 0 && ReadAll(fs, held) == "new",
        "files: target held for 300 ms is replaced once released", desc);
  Check(attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_HIDDEN),
        "files: replaced file keeps its attributes", std::to_string(attrs));
}

// ------------------------------------------------------------------ single instance

DWORD g_injected = 0;
HANDLE FailingMutex(const std::wstring&, DWORD& error) {
  error = g_injected;
  return nullptr;
}

// A first instance run as administrator leaves a mutex an unelevated one may not open.
void TestInstanceMutex() {
  g_injected = ERROR_ACCESS_DENIED;
  Check(Win32Shell(&FailingMutex).PreviousInstance(),
        "instance: mutex access denied means another instance runs");
  g_injected = ERROR_INVALID_NAME;
  Check(!Win32Shell(&FailingMutex).PreviousInstance(),
        "instance: any other failure lets the program start");
  // The same through the system: a mutex of that name whose DACL grants only SYNCHRONIZE.
  SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, FALSE};
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;0x00100000;;;WD)", 1,
                                                            &sa.lpSecurityDescriptor, nullptr))
    return;
  HANDLE guarded = CreateMutexW(&sa, FALSE, InstanceMutexName().c_str());
  LocalFree(sa.lpSecurityDescriptor);
  HANDLE again = CreateMutexW(nullptr, FALSE, InstanceMutexName().c_str());
  const DWORD code = GetLastError();
  Info("CreateMutexW on a mutex that grants only SYNCHRONIZE: " +
       std::string(again ? "opened" : "failed") + ", GetLastError " + std::to_string(code));
  if (again != nullptr) CloseHandle(again);
  if (guarded != nullptr) {
    Check(Win32Shell().PreviousInstance(), "instance: mutex held by another instance found");
    CloseHandle(guarded);
  }
}

// What a later start (or any other program) may send as WM_COPYDATA: only a clean path is taken.
void TestHandedFiles() {
  const struct {
    std::wstring units;  // The data, terminator included where there is one
    ULONG_PTR tag;
    const char* want;  // nullptr: refused
    const char* what;
  } cases[] = {
      {std::wstring(L"C:\\a\\b.mmf") + L'\0', kHandFileTag, "C:\\a\\b.mmf", "a plain path"},
      {std::wstring(L"C:\\\u00e9\U0001F600.mmf") + L'\0', kHandFileTag,
       "C:\\\xc3\xa9\xf0\x9f\x98\x80.mmf", "a paired surrogate"},
      {std::wstring(L"C:\\a.mmf") + L'\0', 0x1234, nullptr, "another sender's tag"},
      {std::wstring(L"C:\\a.mmf", 8), kHandFileTag, nullptr, "no terminator"},
      {std::wstring(L"C:\\a\0b.mmf", 10) + L'\0', kHandFileTag, nullptr, "an embedded NUL"},
      {std::wstring(L"C:\\a.mmf") + L'\0' + L'\0', kHandFileTag, nullptr, "two terminators"},
      {std::wstring(L"C:\\a") + wchar_t(0xD83D) + L".mmf" + L'\0', kHandFileTag, nullptr,
       "an unpaired high surrogate"},
      {std::wstring(L"C:\\a") + wchar_t(0xDE00) + L'\0', kHandFileTag, nullptr,
       "an unpaired low surrogate at the end"},
  };
  for (const auto& c : cases) {
    std::wstring data = c.units;
    COPYDATASTRUCT cds{c.tag, static_cast<DWORD>(data.size() * sizeof(wchar_t)), data.data()};
    const std::optional<std::string> got = HandedFile(cds);
    const bool ok = c.want == nullptr ? !got.has_value() : got && *got == c.want;
    Check(ok, std::string("hand-over: ") + (c.want ? "takes " : "refuses ") + c.what,
          got ? *got : "refused");
  }
}

// The running instance is still starting when a later start hands it a file: its window comes
// late, or takes no file at first. The later start keeps asking until its time is up.
ULONGLONG g_window_at = 0, g_takes_from = 0;  // GetTickCount64 moments
LRESULT CALLBACK LateProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_COPYDATA)
    return GetTickCount64() >= g_takes_from &&
                   HandedFile(*reinterpret_cast<const COPYDATASTRUCT*>(lp))
               ? TRUE
               : FALSE;
  return DefWindowProcW(h, msg, wp, lp);
}
DWORD WINAPI LateWindow(void*) {
  while (GetTickCount64() < g_window_at) Sleep(10);
  HWND h = CreateWindowExW(0, L"PelSelftestLate", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
  for (const ULONGLONG end = GetTickCount64() + 2000; GetTickCount64() < end;) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  DestroyWindow(h);
  return 0;
}

void TestHandOverWhileStarting() {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &LateProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"PelSelftestLate";
  RegisterClassExW(&wc);
  const struct {
    int window_ms, takes_ms;
    const char* what;
  } cases[] = {{300, 300, "no window yet"}, {0, 300, "a window that takes no file yet"}};
  for (const auto& c : cases) {
    const ULONGLONG now = GetTickCount64();
    g_window_at = now + c.window_ms;
    g_takes_from = now + c.takes_ms;
    HANDLE thread = CreateThread(nullptr, 0, &LateWindow, nullptr, 0, nullptr);
    const bool taken = HandFileToRunningInstance(L"PelSelftestLate", "C:\\a.mmf", 1500);
    const ULONGLONG took = GetTickCount64() - now;
    if (thread != nullptr) {
      WaitForSingleObject(thread, INFINITE);
      CloseHandle(thread);
    }
    // Retried every 100 ms: taken soon after the window can take it, well inside the timeout.
    const ULONGLONG ready = static_cast<ULONGLONG>(std::max(c.window_ms, c.takes_ms) + 700);
    Check(taken && took < ready, std::string("hand-over: taken by an instance with ") + c.what,
          std::to_string(took) + " ms");
  }
}

void TestEnvironment() {
  Win32Environment env;
  wchar_t buf[4096];
  const DWORD n = GetEnvironmentVariableW(L"TEMP", buf, 4096);
  auto temp = env.Get("TEMP");
  Check(n > 0 && temp && *temp == Narrow(std::wstring(buf, n)), "environment: TEMP read",
        temp ? *temp : "unset");
  SetEnvironmentVariableW(L"PEL_SELFTEST_EMPTY", L"");
  auto empty = env.Get("PEL_SELFTEST_EMPTY");
  Check(empty.has_value() && empty->empty(), "environment: empty value is set, not missing");
  Check(!env.Get("PEL_SELFTEST_UNSET").has_value(), "environment: unset variable is missing");
  const std::wstring long_value(1000, L'x');
  SetEnvironmentVariableW(L"PEL_SELFTEST_LONG", (long_value + L"\u00e9").c_str());
  auto lv = env.Get("PEL_SELFTEST_LONG");
  Check(lv && *lv == std::string(1000, 'x') + "\xc3\xa9", "environment: long non-ASCII value");
  Check(!env.Get("").has_value() && !env.Get("A=B").has_value(),
        "environment: malformed names are missing");

  const std::string user_temp = env.UserTempFolder();
  const DWORD attrs = GetFileAttributesW(Widen(user_temp).c_str());
  Check(!user_temp.empty() && user_temp.back() == '\\' && user_temp.size() > 3 &&
            attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY),
        "environment: user temp folder exists and ends in a backslash", user_temp);
  Info("user temp folder: " + user_temp);

  const std::string folder = env.ProgramFolder();
  const std::string base = env.ExecutableBaseName();
  Check(!folder.empty() && folder.back() != '\\', "environment: program folder without separator",
        folder);
  Check(base == "pel_win32_selftest", "environment: executable base name", base);
  Check(GetFileAttributesW(Widen(folder + "\\" + base + ".exe").c_str()) != INVALID_FILE_ATTRIBUTES,
        "environment: program file is found in the program folder");
  Check(env.Separator() == '\\', "environment: separator");
}

void TestClock() {
  Win32Clock clock;
  double last = clock.Now();
  bool monotonic = last >= 0;
  for (int i = 0; i < 200000 && monotonic; ++i) {
    const double t = clock.Now();
    monotonic = t >= last;
    last = t;
  }
  Check(monotonic, "clock: monotonic over 200000 readings");
  const double before = clock.Now();
  clock.SleepMs(30);
  const double slept = clock.Now() - before;
  Info("SleepMs(30) took " + std::to_string(slept * 1000) + " ms");
  Check(slept >= 0.025 && slept < 2.0, "clock: SleepMs(30) advances the clock by about 30 ms");
  clock.SleepMs(-5);  // must not turn into a huge unsigned wait
  Check(clock.Now() - before < 2.0, "clock: negative sleep returns at once");
}

void TestInput() {
  Win32Input input;
  const Point points[] = {{123, 45}, {7, 300}, {0, 0}};
  for (const Point& p : points) {
    Point got{-1, -1};
    const bool ok = input.SetCursorPos(p) && input.CursorPos(got);
    Check(ok && got == p,
          "input: cursor round trip (" + std::to_string(p.x) + "," + std::to_string(p.y) + ")",
          "got (" + std::to_string(got.x) + "," + std::to_string(got.y) + ") " +
              input.LastDiagnostic());
  }
  input.SetCursorPos({5, 5});
  input.KeyState(vk::kLButton);  // clear the latch
  const bool down = input.InjectButton(MouseButton::Left, true);
  const int16_t while_down = input.KeyState(vk::kLButton);
  const bool up = input.InjectButton(MouseButton::Left, false);
  const int16_t after_up = input.KeyState(vk::kLButton);
  Check(down && up && input.LastDiagnostic().empty(), "input: SendInput inserts button events",
        input.LastDiagnostic());
  char states[80];
  std::snprintf(states, sizeof states, "left button key state: 0x%04x while down, 0x%04x after up",
                static_cast<unsigned>(static_cast<uint16_t>(while_down)),
                static_cast<unsigned>(static_cast<uint16_t>(after_up)));
  Info(states);
  Check(input.InjectButton(MouseButton::Right, true) &&
            input.InjectButton(MouseButton::Right, false) &&
            input.InjectButton(MouseButton::Middle, true) &&
            input.InjectButton(MouseButton::Middle, false),
        "input: right and middle buttons");
}

// --- Input: raw input latch, injected presses, one SendInput per click ---

int g_send_input_calls = 0;
UINT WINAPI CountingSendInput(UINT count, LPINPUT events, int size) {
  ++g_send_input_calls;
  return SendInput(count, events, size);
}

bool SendKey(WORD vk, bool down) {
  INPUT in = {};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
  return SendInput(1, &in, sizeof(INPUT)) == 1;
}

std::string Hex(int16_t v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%04x", static_cast<unsigned>(static_cast<uint16_t>(v)));
  return buf;
}

// The presses come back as WM_INPUT through this thread's queue, as in the program.
void TestRawInputLatch() {
  Win32Input input;
  Check(input.RawInputProblem().empty(), "latch: raw input registered", input.RawInputProblem());
  input.SetSendInput(&CountingSendInput);
  input.SetCursorPos({5, 5});
  const struct {
    MouseButton button;
    int vk;
    const char* name;
  } buttons[] = {{MouseButton::Left, vk::kLButton, "left"},
                 {MouseButton::Right, vk::kRButton, "right"},
                 {MouseButton::Middle, vk::kMButton, "middle"}};
  for (const auto& b : buttons) input.KeyState(b.vk);
  input.UserButtonPresses();
  for (const auto& b : buttons) {
    g_send_input_calls = 0;
    const bool sent = input.Click(b.button);
    Check(sent && g_send_input_calls == 1,
          std::string("input: a ") + b.name + " click is one SendInput call",
          std::to_string(g_send_input_calls) + " calls " + input.LastDiagnostic());
    // Another program polling the button takes the system's own "pressed since" bit.
    GetAsyncKeyState(b.vk);
    const int16_t first = input.KeyState(b.vk);
    const int16_t second = input.KeyState(b.vk);
    Check(first == 1 && second == 0,
          std::string("latch: ") + b.name +
              " click reads pressed once, though the system's bit was taken",
          Hex(first) + " then " + Hex(second));
  }
  // Presses this object sends carry its tag; any other (another program's SendInput, a
  // touchpad's, whose raw input has no device handle either) is the user's, and is recorded.
  const uint32_t own = input.UserButtonPresses();
  INPUT untagged[2] = {};
  untagged[0].type = untagged[1].type = INPUT_MOUSE;
  untagged[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  untagged[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, untagged, sizeof(INPUT));
  const int16_t latched = input.KeyState(vk::kLButton);
  const uint32_t other = input.UserButtonPresses();
  Check(own == 0 && other == 1 && latched == 1,
        "latch: only untagged presses are the user's, both are recorded",
        std::to_string(own) + " of 3 tagged, " + std::to_string(other) + " of 1 untagged, " +
            Hex(latched));
  // Moves likewise: placements make none, an untagged move is the user's, a tagged one is not.
  input.SetCursorPos({40, 40});
  const uint32_t placed = input.UserPointerMoves();
  INPUT move = {};
  move.type = INPUT_MOUSE;
  move.mi.dx = 3;
  move.mi.dy = 2;
  move.mi.dwFlags = MOUSEEVENTF_MOVE;
  SendInput(1, &move, sizeof(INPUT));
  const uint32_t moved = input.UserPointerMoves();
  move.mi.dwExtraInfo = kInjectedTag;
  SendInput(1, &move, sizeof(INPUT));
  const uint32_t tagged = input.UserPointerMoves();
  Check(placed == 0 && moved == 1 && tagged == 0, "latch: only untagged moves are the user's",
        std::to_string(placed) + " placed, " + std::to_string(moved) + " untagged, " +
            std::to_string(tagged) + " tagged");

  // A key held with auto-repeat is one press: the repeats after a query latch nothing new.
  input.KeyState(vk::kF9);
  SendKey(VK_F9, true);
  SendKey(VK_F9, true);
  const int16_t held = input.KeyState(vk::kF9);
  SendKey(VK_F9, true);
  SendKey(VK_F9, false);
  const int16_t released = input.KeyState(vk::kF9);
  Check((held & 1) && released == 0, "latch: auto-repeat makes no new press of F9",
        Hex(held) + " held, " + Hex(released) + " after release");
  // A tap of each key between two queries.
  for (WORD key : {WORD{VK_F10}, WORD{VK_F12}, WORD{VK_PAUSE}}) {
    input.KeyState(key);
    SendKey(key, true);
    SendKey(key, false);
    GetAsyncKeyState(key);
    const int16_t tap = input.KeyState(key);
    Check(tap == 1, "latch: tap of key " + Hex(static_cast<int16_t>(key)) + " reads pressed",
          Hex(tap));
  }
}

// Idle, the program sleeps until watched input wakes it: each press and release of the
// shortcut keys and buttons that the message loop dispatches is reported once, moves, other
// keys and auto-repeat are not, and what a query reads in is kept for TakeInput.
void TestRawInputWakes() {
  Win32Input input;
  int reports = 0;
  input.SetOnInput([&reports] { ++reports; });
  auto pump = [] {
    // SendInput's raw input is queued by the time it returns; a short wait covers Wine's
    // round trip through its server.
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  };
  auto reported = [&](const std::function<void()>& send) {
    pump();
    reports = 0;
    send();
    pump();
    pump();
    return reports;
  };
  INPUT move = {};
  move.type = INPUT_MOUSE;
  move.mi.dx = 3;
  move.mi.dy = 2;
  move.mi.dwFlags = MOUSEEVENTF_MOVE;
  const int quiet = reported([&] {
    SendInput(1, &move, sizeof(INPUT));
    SendKey('A', true);
    SendKey('A', false);
    SendKey(VK_F11, true);
    SendKey(VK_F11, false);
  });
  Check(quiet == 0, "wake: a move and other keys report nothing", std::to_string(quiet));
  const int f10 = reported([] {
    SendKey(VK_F10, true);
    SendKey(VK_F10, true);  // auto-repeat
    SendKey(VK_F10, false);
  });
  Check(f10 == 2, "wake: F10 pressed, repeated and released reports twice", std::to_string(f10));
  const int click = reported([&] { input.Click(MouseButton::Middle); });
  Check(click == 2, "wake: a middle click reports press and release", std::to_string(click));
  input.KeyState(vk::kPause);
  reports = 0;
  SendKey(VK_PAUSE, true);
  SendKey(VK_PAUSE, false);
  MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  const int16_t tap = input.KeyState(vk::kPause);  // The query reads both in itself
  const bool kept = input.TakeInput();
  Check(tap == 1 && reports == 0 && kept && !input.TakeInput(),
        "wake: a Pause tap read in by a query is kept for TakeInput, once",
        Hex(tap) + ", " + std::to_string(reports) + " reports, kept " + (kept ? "yes" : "no"));
  // A scripted run quits from a tick that goes on to read input: the quit must reach the loop.
  PostQuitMessage(5);
  input.TakeInput();
  input.KeyState(vk::kF9);
  MSG quit;
  const bool queued = PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
  Check(queued && quit.wParam == 5, "wake: reading raw input leaves WM_QUIT queued");
}

// The main window makes its icons again at each change of resolution and destroys the old
// ones: an indicator made after one, or living through one, must still show a live icon.
void TestIndicatorIconAcrossDpiChanges() {
  Win32MainWindow window;
  Win32IndicatorFactory factory([&window] { return window.SmallIcon(); });
  auto change_dpi = [&](int dpi) {
    RECT r;
    GetWindowRect(window.Handle(), &r);
    SendMessageW(window.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                 reinterpret_cast<LPARAM>(&r));
  };
  auto live = [](const ShapedWindow& w) {
    auto icon = reinterpret_cast<HICON>(
        SendMessageW(static_cast<const Win32Indicator&>(w).Handle(), WM_GETICON, ICON_SMALL, 0));
    ICONINFO info = {};
    if (icon == nullptr || !GetIconInfo(icon, &info)) return false;
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return true;
  };
  change_dpi(144);
  auto made_after = factory.Create(IndicatorId::Rec, "frmRec", "rec.jpg", {146, 32});
  made_after->SetAppIcon();
  const bool after = live(*made_after);
  change_dpi(96);
  Check(after && live(*made_after),
        "indicator: live icon when made after a DPI change and through one");
}

// Threads of this process (the tick source's helper thread among them while it runs).
int ThreadCount() {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snap == INVALID_HANDLE_VALUE) return -1;
  THREADENTRY32 t = {};
  t.dwSize = sizeof(t);
  int n = 0;
  for (BOOL ok = Thread32First(snap, &t); ok; ok = Thread32Next(snap, &t))
    if (t.th32OwnerProcessID == GetCurrentProcessId()) ++n;
  CloseHandle(snap);
  return n;
}

// An idle program starts and stops its tick at every watched key: the waitable timer's thread
// is made once and waits, without a timer, while stopped; ticks come again after each start.
void TestTickRestarts() {
  int ticks = 0;
  Win32TickSource source([&ticks] { ++ticks; });
  const int before = ThreadCount();
  int threads = 0, rounds = 0;
  for (; rounds < 3; ++rounds) {
    source.Start(TickMode::HighResolutionWaitable);
    ticks = 0;
    const ULONGLONG deadline = GetTickCount64() + 2000;
    while (ticks < 3 && GetTickCount64() < deadline) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    source.Stop();
    threads = ThreadCount();
    if (ticks < 3 || threads != before + 1) break;
  }
  Check(source.Mode() != TickMode::HighResolutionWaitable || rounds == 3,
        "ticks: restarted three times, one helper thread, ticking after each start",
        std::to_string(before) + " threads before, " + std::to_string(threads) + " after round " +
            std::to_string(rounds + 1) + ", " + std::to_string(ticks) + " ticks");
}

// One tick at a moment (a playback's next entry): it comes once, not before the moment, and the
// period can be started again after it.
void TestTickOnce() {
  Win32Clock clock;
  std::vector<double> stamps;
  Win32TickSource source([&] { stamps.push_back(clock.Now()); });
  auto pump = [&](double seconds) {
    const double until = clock.Now() + seconds;
    while (clock.Now() < until) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
  };
  std::vector<double> late_ms;
  for (int round = 0; round < 5; ++round) {
    stamps.clear();
    const double asked = clock.Now();
    source.Once(0.037);
    pump(0.15);
    if (stamps.size() != 1) break;
    late_ms.push_back((stamps[0] - asked - 0.037) * 1000);
  }
  const bool once = late_ms.size() == 5 && !source.Running();
  double worst = -1e9, earliest = 1e9;
  for (double l : late_ms) worst = std::max(worst, l), earliest = std::min(earliest, l);
  char line[160];
  std::snprintf(line, sizeof line, "tick once at 37 ms: %zu of 5 rounds, late %.2f to %.2f ms",
                late_ms.size(), once ? earliest : 0.0, once ? worst : 0.0);
  Info(line);
  Check(once && earliest >= -0.5 && worst < 30, "ticks: once at its moment, then none", line);
  stamps.clear();
  source.Start();
  pump(0.1);
  source.Stop();
  Check(stamps.size() >= 3, "ticks: the period starts again after a tick once",
        std::to_string(stamps.size()) + " ticks in 100 ms");
}

struct TickStats {
  int ticks = 0;
  double mean_ms = 0, min_ms = 0, max_ms = 0, p90_ms = 0;
  bool on_ui_thread = true;
  std::string described;  // The source's diagnostics line while it ran
  ThrottlingOptOuts throttling;
};

TickStats MeasureTicks(TickMode wanted, TickMode* got, int count) {
  Win32Clock clock;
  std::vector<double> stamps;
  TickStats s;
  const DWORD ui = GetCurrentThreadId();
  Win32TickSource source([&] {
    stamps.push_back(clock.Now());
    if (GetCurrentThreadId() != ui) s.on_ui_thread = false;
  });
  *got = source.Start(wanted);
  s.described = source.Describe();
  s.throttling = source.Throttling();
  const double deadline = clock.Now() + 10.0;
  while (static_cast<int>(stamps.size()) < count + 1 && clock.Now() < deadline) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  source.Stop();
  // No tick after Stop, also not one already queued.
  const size_t at_stop = stamps.size();
  const double quiet_until = clock.Now() + 0.05;
  while (clock.Now() < quiet_until) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(1);
  }
  Check(stamps.size() == at_stop,
        std::string("ticks: none after Stop (") + TickModeName(*got) + ")");
  std::vector<double> d;
  for (size_t i = 1; i < stamps.size(); ++i) d.push_back((stamps[i] - stamps[i - 1]) * 1000);
  s.ticks = static_cast<int>(d.size());
  if (d.empty()) return s;
  s.mean_ms = (stamps.back() - stamps.front()) * 1000 / d.size();
  std::sort(d.begin(), d.end());
  s.min_ms = d.front();
  s.max_ms = d.back();
  s.p90_ms = d[d.size() * 9 / 10];
  return s;
}

// A modal loop run from inside the callback (a message box, say) keeps receiving ticks.
void TestTicksInsideModalLoop(TickMode wanted) {
  Win32Clock clock;
  int depth = 0, nested = 0, calls = 0;
  TickMode got = wanted;
  Win32TickSource source([&] {
    ++calls;
    if (depth > 0) {
      ++nested;
      return;
    }
    ++depth;
    const double until = clock.Now() + 0.2;
    while (clock.Now() < until) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    --depth;
  });
  got = source.Start(wanted);
  const double deadline = clock.Now() + 5.0;
  while (calls == 0 && clock.Now() < deadline) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  source.Stop();
  Check(nested >= 5,
        std::string("ticks: keep coming inside a modal loop (") + TickModeName(got) + ")",
        std::to_string(nested) + " nested ticks in 200 ms");
}

void TestTicks() {
  TestTicksInsideModalLoop(TickMode::RaisedResolutionTimer);
  TestTicksInsideModalLoop(TickMode::HighResolutionWaitable);
  const TickMode modes[] = {TickMode::SystemTimer, TickMode::RaisedResolutionTimer,
                            TickMode::HighResolutionWaitable};
  for (TickMode m : modes) {
    TickMode got;
    const TickStats s = MeasureTicks(m, &got, 100);
    char line[200];
    std::snprintf(line, sizeof line,
                  "tick period 10 ms, %s: %d ticks, mean %.2f ms, min %.2f, p90 %.2f, max %.2f",
                  TickModeName(got), s.ticks, s.mean_ms, s.min_ms, s.p90_ms, s.max_ms);
    Info(line);
    Check(s.ticks == 100, std::string("ticks: delivered (") + TickModeName(got) + ")",
          std::to_string(s.ticks) + " ticks");
    Check(s.on_ui_thread,
          std::string("ticks: callback on the UI thread (") + TickModeName(got) + ")");
    // Every source asks not to be throttled (Wine refuses: it has no power throttling).
    Info(s.described);
    Check(s.throttling.execution_speed != OptOut::NotAsked &&
              s.throttling.timer_resolution != OptOut::NotAsked &&
              s.described.find(std::string("tick: ") + TickModeName(got) + ", 10 ms;") == 0,
          std::string("ticks: throttling opt-outs asked for and described (") + TickModeName(got) +
              ")",
          s.described);
    // Loose bounds: a loaded machine stretches periods, but a wrong unit or a flood shows.
    Check(s.mean_ms >= 8.0 && s.mean_ms <= 40.0,
          std::string("ticks: mean period plausible (") + TickModeName(got) + ")", line);
  }
}

}  // namespace

// argv[1], when given: a folder holding a symbolic link "link.mmf" to "real.mmf" (with its
// separator), for a system where the test cannot make one itself.
int main(int argc, char** argv) {
  const std::string links = argc > 1 ? argv[1] : "";
  Win32Environment env;
  const std::string dir =
      env.UserTempFolder() + "pel_selftest_" + std::to_string(GetCurrentProcessId()) + "\\";
  CreateDirectoryW(Widen(dir).c_str(), nullptr);
  try {
    TestFiles(dir);
  } catch (const Error& e) {
    Check(false, "files: unexpected error", std::to_string(e.Number()) + " " + e.Description());
  }
  try {
    TestLongPathsLinksAndAcls(dir, links);
  } catch (const Error& e) {
    Check(false, "files: unexpected error", std::to_string(e.Number()) + " " + e.Description());
  }
  try {
    TestReplaceHeldFiles(dir);
  } catch (const Error& e) {
    Check(false, "files: unexpected error", std::to_string(e.Number()) + " " + e.Description());
  }
  RemoveTree(dir);
  TestInstanceMutex();
  TestHandedFiles();
  TestHandOverWhileStarting();
  try {
    TestEnvironment();
  } catch (const Error& e) {
    Check(false, "environment: unexpected error", e.Description());
  }
  TestClock();
  TestInput();
  TestRawInputLatch();
  TestRawInputWakes();
  {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    try {
      TestIndicatorIconAcrossDpiChanges();
    } catch (const Error& e) {
      Check(false, "indicator: unexpected error", e.Description());
    }
    if (SUCCEEDED(com)) CoUninitialize();
  }
  TestTicks();
  TestTickRestarts();
  TestTickOnce();
  std::printf("SUMMARY %d passed, %d failed\n", wintest::passed, wintest::failed);
  return wintest::failed == 0 ? 0 : 1;
}
