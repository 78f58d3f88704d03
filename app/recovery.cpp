#include "app/recovery.h"

#include <string_view>

namespace pel {

namespace {
constexpr std::string_view kNoteName = "unsaved.txt";
// More than any note of paths needs; a longer one is read this far.
constexpr size_t kNoteCap = 64 * 1024;
}  // namespace

std::string RecoveryStore::Keep(Recorder& recorder) {
  const std::string folder = env_.StateFolder();
  for (int n = 1;; ++n) {
    const std::string path = folder + "unsaved-" + std::to_string(n) + ".mmf";
    if (files_.KindOf(path) != PathKind::None) continue;
    recorder.SaveTo(path, FileUse::Own);
    return path;
  }
}

std::string RecoveryStore::NotePath() {
  return env_.StateFolder() + std::string(kNoteName);
}

std::string RecoveryStore::ReadNote(const std::string& path) {
  if (files_.KindOf(path) == PathKind::None) return {};
  std::unique_ptr<ReadFile> in = files_.OpenRead(path, FileUse::Own);
  std::string text(kNoteCap, '\0');
  size_t used = 0;
  while (used < text.size()) {
    const size_t got = in->Read(text.data() + used, text.size() - used);
    if (got == 0) break;
    used += got;
  }
  text.resize(used);
  return text;
}

void RecoveryStore::Note(const std::string& path) {
  try {
    const std::string note = NotePath();
    std::string text;
    try {
      text = ReadNote(note);
    } catch (...) {
      // An unreadable note is replaced: the newest file matters most.
    }
    std::unique_ptr<ReplaceFile> out = files_.BeginReplace(note, FileUse::Own);
    out->Write(text + path + "\n");
    out->Commit();
  } catch (...) {
  }
}

std::vector<std::string> RecoveryStore::TakeNote() {
  std::vector<std::string> paths;
  try {
    const std::string note = NotePath();
    const std::string text = ReadNote(note);
    if (text.empty()) return paths;
    for (size_t at = 0; at < text.size();) {
      size_t end = text.find('\n', at);
      if (end == std::string::npos) end = text.size();
      if (end > at) paths.push_back(text.substr(at, end - at));
      at = end + 1;
    }
    std::unique_ptr<ReplaceFile> out = files_.BeginReplace(note, FileUse::Own);
    out->Commit();
  } catch (...) {
  }
  return paths;
}

}  // namespace pel
