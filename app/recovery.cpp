#include "app/recovery.h"

#include "engine/motion_file.h"

namespace pel {

namespace {

// Holds the recovery file's path while the next start has not told it yet; empty once told.
std::string NotePath(Environment& env) {
  return env.UserTempFolder() + "recovered.note";
}

void WriteWhole(FileSystem& files, const std::string& path, std::string_view bytes) {
  std::unique_ptr<ReplaceFile> out = files.BeginReplace(path, FileUse::Own);
  out->Write(bytes);
  out->Commit();
}

}  // namespace

std::string RecoveryPath(Environment& env) {
  return env.UserTempFolder() + "recovered.mmf";
}

std::string WriteRecovery(const EntryList& list, FileSystem& files, Environment& env) {
  const std::string path = RecoveryPath(env);
  std::string text(kMotionFileHeader);
  text += kMotionFileLineEnd;
  for (int32_t i = 1; i <= list.Count(); ++i) {
    text += list.Item(i);
    text += kMotionFileLineEnd;
  }
  WriteWhole(files, path, text);
  WriteWhole(files, NotePath(env), path);
  return path;
}

std::optional<std::string> TakeRecoveryNotice(FileSystem& files, Environment& env) {
  const std::string note = NotePath(env);
  std::string path;
  try {
    if (files.KindOf(note) != PathKind::File) return std::nullopt;
    std::unique_ptr<ReadFile> in = files.OpenRead(note, FileUse::Own);
    char buf[4096];
    for (size_t n; path.size() < 65536 && (n = in->Read(buf, sizeof buf)) > 0;) path.append(buf, n);
  } catch (...) {
    return std::nullopt;  // a note that cannot be read tells nothing
  }
  if (path.empty()) return std::nullopt;
  try {
    WriteWhole(files, note, "");
  } catch (...) {
    // Not cleared: told again at the next start rather than never.
  }
  return "The recording that was not saved when the last session ended was kept in:\r\n" + path;
}

}  // namespace pel
