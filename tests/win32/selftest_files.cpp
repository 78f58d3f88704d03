// The file system backend: replacing and reading files, attributes and error numbers, long
// paths, links, ACLs, files held by other programs, names only UTF-16 can hold, a replacement
// the system half did, and the state folder and our own files reached through links.

#include <windows.h>

#include <sddl.h>

#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/win32/win32_environment.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_text.h"
#include "testkit/raised.h"
#include "tests/win32/check.h"
#include "tests/win32/selftest.h"

namespace pel::wintest {
namespace {

using test::ErrorNumberOf;

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

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  HANDLE h = CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD put = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
  CloseHandle(h);
}

// An empty file at `path`, last written an hour ago when `old` (stale to the sweep of our
// temporary files) and now otherwise.
void MakeEmptyFile(const std::wstring& path, bool old) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  ULARGE_INTEGER u{{ft.dwLowDateTime, ft.dwHighDateTime}};
  if (old) u.QuadPart -= 3600ull * 10000000;
  ft = {u.LowPart, u.HighPart};
  SetFileTime(h, nullptr, nullptr, &ft);
  CloseHandle(h);
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

}  // namespace

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
  for (const auto& t : temps) MakeEmptyFile(Widen(dir) + t.name, t.old);
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

// Unpaired surrogates, which NTFS names may hold, go through the conversion and back; bytes that
// are no UTF-8 of any kind, and a pair spelt as two lone surrogates, are refused.
void TestNamesWithLoneSurrogates(const std::string& dir) {
  const struct {
    std::wstring units;
    std::string bytes;
  } kept[] = {{L"a\u00e9\U0001F600", "a\xc3\xa9\xf0\x9f\x98\x80"},
              {std::wstring(L"x") + wchar_t(0xD83D) + L"y", "x\xed\xa0\xbdy"},
              {std::wstring(1, wchar_t(0xDE00)) + wchar_t(0xD83D), "\xed\xb8\x80\xed\xa0\xbd"}};
  int wrong = 0;
  for (const auto& k : kept) wrong += Narrow(k.units) != k.bytes || Widen(k.bytes) != k.units;
  for (const char* bad : {"\xed\xa0\xbd\xed\xb8\x80", "\xc0\xaf", "\xe2\x82", "\xf4\x90\x80\x80"})
    wrong += ErrorNumberOf([&] { Widen(bad); }) != err::kBadFileName;
  Check(wrong == 0, "text: unpaired surrogates kept both ways, malformed bytes refused",
        std::to_string(wrong) + " wrong");

  // A file whose name holds one, as the system lists it.
  const std::wstring name = Widen(dir) + L"lone" + wchar_t(0xD800) + L".mmf";
  WriteFileBytes(Narrow(name), "ok");
  WIN32_FIND_DATAW d;
  HANDLE find = FindFirstFileW((Widen(dir) + L"lone*.mmf").c_str(), &d);
  if (find == INVALID_HANDLE_VALUE) {
    Info("the file system takes no unpaired surrogate in a name here");
    return;
  }
  FindClose(find);
  Win32FileSystem fs;
  Check(fs.OpenRead(dir + Narrow(d.cFileName), FileUse::User)->Size() == 2,
        "files: a name with an unpaired surrogate opens as listed");
  DeleteFileW(name.c_str());
}

// ReplaceFileW's 1176 and 1177 leave the new bytes under their temporary name: when the target
// cannot take them either, they are kept, named in the message, and spared by the sweep.
void TestKeptReplacement(const std::string& dir) {
  const std::wstring temp = LongPath(Widen(dir)) + L"~pel0badc0d1.tmp";
  const std::wstring taken = LongPath(Widen(dir)) + L"kept.mmf";
  MakeEmptyFile(temp, true);
  CreateDirectoryW(taken.c_str(), nullptr);
  std::string said;
  const int32_t n = ErrorNumberOf(
      [&] { KeepReplacement(temp, taken, dir + "kept.mmf", ERROR_UNABLE_TO_MOVE_REPLACEMENT_2); },
      &said);
  Win32FileSystem().BeginReplace(dir + "sweep.mmf", FileUse::User);  // sweeps the folder
  Check(n != 0 && said.find("~pel0badc0d1.tmp") != std::string::npos &&
            GetFileAttributesW(temp.c_str()) != INVALID_FILE_ATTRIBUTES,
        "files: a half-done replacement keeps the new file, named and past the sweep", said);
  SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(temp.c_str());
  RemoveDirectoryW(taken.c_str());
}

// The state folder is %LOCALAPPDATA%\Pelmira and never a link; our own files are not read
// through one. The links are made where the system lets us (administrator, developer mode).
void TestStateFolderAndOwnFiles(const std::string& dir) {
  Win32Environment env;
  wchar_t local[MAX_PATH];
  const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH);
  std::string folder;
  const int32_t error = ErrorNumberOf([&] { folder = env.StateFolder(); });
  Check(error == 0 && n > 0 && folder == Narrow(std::wstring(local, n)) + "\\Pelmira\\" &&
            (GetFileAttributesW(Widen(folder).c_str()) & FILE_ATTRIBUTE_DIRECTORY),
        "environment: the state folder is %LOCALAPPDATA%\\Pelmira", folder);

  CreateDirectoryW(Widen(dir + "elsewhere").c_str(), nullptr);
  WriteFileBytes(dir + "real.mmf", "x");
  const DWORD unprivileged = SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
  CreateSymbolicLinkW(Widen(dir + "own.mmf").c_str(), Widen(dir + "real.mmf").c_str(),
                      unprivileged);
  CreateSymbolicLinkW(Widen(dir + "Pelmira").c_str(), Widen(dir + "elsewhere").c_str(),
                      unprivileged | SYMBOLIC_LINK_FLAG_DIRECTORY);
  const DWORD link = GetFileAttributesW(Widen(dir + "own.mmf").c_str());
  if (link == INVALID_FILE_ATTRIBUTES || !(link & FILE_ATTRIBUTE_REPARSE_POINT) ||
      !(GetFileAttributesW(Widen(dir + "Pelmira").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT)) {
    Info("no symbolic links here: the state folder and own files are not checked against them");
    return;
  }
  SetEnvironmentVariableW(L"LOCALAPPDATA", Widen(dir.substr(0, dir.size() - 1)).c_str());
  std::string said;
  Check(ErrorNumberOf([&] { env.StateFolder(); }, &said) == err::kPermissionDenied,
        "environment: a state folder that is a link is refused", said);
  SetEnvironmentVariableW(L"LOCALAPPDATA", std::wstring(local, n).c_str());
  Win32FileSystem fs;
  Check(ErrorNumberOf([&] { fs.OpenRead(dir + "own.mmf", FileUse::Own); }, &said) ==
                err::kPermissionDenied &&
            ErrorNumberOf([&] { fs.OpenRead(dir + "own.mmf", FileUse::User); }) == 0,
        "files: a file of our own is not read through a link, the user's is", said);
}

}  // namespace pel::wintest
