// Saving and loading a million-entry mouse motion file on the real disk, against a plain read
// loop and a plain write loop of the same bytes measured in the same run. Prints the ratios and
// the bytes the loaded list holds per entry. The folder is $PEL_BENCH_DIR or /tmp.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "platform/posix/posix_files.h"
#include "testkit/engine_rig.h"

namespace {

using namespace pel;

constexpr int kEntries = 1000000;

std::string Folder() {
  const char* d = std::getenv("PEL_BENCH_DIR");
  return std::string(d && *d ? d : "/tmp") + "/pel-bench-motionfile-" + std::to_string(::getpid());
}

// Entries as a recording makes them: mostly moves, some clicks, delays around one tick.
const std::vector<std::string>& Recording() {
  static const std::vector<std::string> entries = [] {
    std::vector<std::string> v;
    v.reserve(kEntries);
    uint32_t r = 12345;
    for (int i = 0; i < kEntries; ++i) {
      r = r * 1103515245u + 12345u;
      const char* kind = (r >> 8) % 50 == 0 ? "Left" : "move";
      const int x = static_cast<int>((r >> 4) % 1920), y = static_cast<int>((r >> 14) % 1080);
      const double delay = (r >> 24) % 4 == 0 ? 15.6 : 10 + (r >> 26) % 7;
      v.push_back(std::string(kind) + "," + std::to_string(x) + "," + std::to_string(y) + "," +
                  FormatDelay(delay));
    }
    return v;
  }();
  return entries;
}

std::string FileImage() {
  std::string s = "[MouseMotionFile]\r\n";
  for (const auto& e : Recording()) s += e + "\r\n";
  return s;
}

// The engine on the real disk.
struct Engine : test::EngineRig {
  Engine() : EngineRig(&disk) {}
  PosixFileSystem disk;
};

void RawWrite(const std::string& path, const std::string& bytes, bool sync) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) std::abort();
  for (size_t off = 0; off < bytes.size();) {
    ssize_t n = ::write(fd, bytes.data() + off, std::min<size_t>(64 * 1024, bytes.size() - off));
    if (n <= 0) std::abort();
    off += static_cast<size_t>(n);
  }
  if (sync) ::fsync(fd);
  ::close(fd);
}

void BM_RawWrite(benchmark::State& state) {
  const std::string bytes = FileImage(), path = Folder() + "/raw.mmf";
  for (auto _ : state) RawWrite(path, bytes, false);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}

void BM_RawWriteSynced(benchmark::State& state) {
  const std::string bytes = FileImage(), path = Folder() + "/raw.mmf";
  for (auto _ : state) RawWrite(path, bytes, true);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}

void BM_Save(benchmark::State& state) {
  Engine e;
  for (const auto& entry : Recording()) e.recorder.entries.Add(entry);
  const std::string path = Folder() + "/save.mmf";
  for (auto _ : state) {
    e.recorder.unsaved = true;
    e.dialogs.choices.push_back(path);
    e.dialogs.answers.push_back(MsgResult::Yes);
    e.recorder.SaveDataToFile();
    if (e.recorder.unsaved) state.SkipWithError("save failed");
  }
}

void BM_RawRead(benchmark::State& state) {
  const std::string path = Folder() + "/read.mmf";
  std::vector<char> buf(64 * 1024);
  for (auto _ : state) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    size_t total = 0;
    while (ssize_t n = ::read(fd, buf.data(), buf.size())) {
      if (n < 0) std::abort();
      total += static_cast<size_t>(n);
      benchmark::DoNotOptimize(buf.data());
    }
    ::close(fd);
    benchmark::DoNotOptimize(total);
  }
}

void BM_Load(benchmark::State& state) {
  Engine e;
  const std::string path = Folder() + "/read.mmf";
  for (auto _ : state) e.recorder.LoadDataFromFile(path);
  if (e.recorder.entries.Count() != kEntries) state.SkipWithError("load incomplete");
  state.counters["bytes_per_entry"] =
      static_cast<double>(e.recorder.entries.CapacityBytes()) / e.recorder.entries.Count();
  state.counters["pumps"] = e.events.calls / static_cast<double>(state.iterations());
}

BENCHMARK(BM_RawWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawWriteSynced)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = Folder();
  std::system(("mkdir -p '" + folder + "'").c_str());
  RawWrite(folder + "/read.mmf", FileImage(), true);
  int rc = pel::bench::RunWithRatios(
      argc, argv, "aim: load within 3x a raw read, save within 3x a raw write",
      {{"BM_Load", "BM_RawRead"}, {"BM_Save", "BM_RawWrite"}, {"BM_Save", "BM_RawWriteSynced"}});
  std::system(("rm -rf '" + folder + "'").c_str());
  return rc;
}
