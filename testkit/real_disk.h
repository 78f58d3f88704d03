#pragma once
// The real disk and shell as tests use them: whole files, a fresh folder that goes away with
// its test, and a command's exit status and output.

#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pel::test {

// The file's bytes; empty when it cannot be read.
inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Creates or replaces the file with `bytes`; returns its path.
inline std::string WriteWholeFile(const std::string& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

// The names in `folder`, sorted: leftovers such as temporary files show up here.
inline std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> v;
  for (auto& e : std::filesystem::directory_iterator(folder))
    v.push_back(e.path().filename().string());
  std::sort(v.begin(), v.end());
  return v;
}

// A fresh folder /tmp/pel-<what>-XXXXXX, removed with all it holds when the object goes.
class TempFolder {
 public:
  explicit TempFolder(const std::string& what) : path_("/tmp/pel-" + what + "-XXXXXX") {
    if (!::mkdtemp(path_.data())) throw std::runtime_error("mkdtemp failed for " + path_);
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return path_; }
  // The path of `name` in the folder.
  std::string operator/(std::string_view name) const { return path_ + "/" + std::string(name); }

 private:
  std::string path_;
};

// Runs `command` with sh; its exit status (-1 when it did not exit normally). What it wrote to
// stdout goes to `out` when given.
inline int RunShell(const std::string& command, std::string* out = nullptr) {
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return -1;
  std::string text;
  char buf[512];
  while (size_t n = std::fread(buf, 1, sizeof buf, pipe)) text.append(buf, n);
  const int status = ::pclose(pipe);
  if (out) *out = std::move(text);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace pel::test
