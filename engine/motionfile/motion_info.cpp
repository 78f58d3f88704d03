#include "engine/motionfile/motion_info.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <exception>
#include <initializer_list>
#include <memory>
#include <unordered_set>

#include "engine/error_report.h"
#include "engine/motionfile/motion_file.h"
#include "engine/motionfile/screen_layout.h"
#include "engine/motionfile/window_entry.h"

namespace pel {

namespace {

// The bytes of a motion file already in memory, read as a file.
class BytesFile : public ReadFile {
 public:
  explicit BytesFile(std::string_view bytes) : bytes_(bytes) {}
  uint64_t Size() override { return bytes_.size(); }
  size_t Read(char* buf, size_t n) override {
    n = std::min(n, bytes_.size());
    std::memcpy(buf, bytes_.data(), n);
    bytes_.remove_prefix(n);
    return n;
  }

 private:
  std::string_view bytes_;
};

// Appends the pieces in order. Built up this way rather than with "text" + number: GCC 12 at -O3
// warns falsely (-Wrestrict) on a literal added to a temporary string.
void Put(std::string& out, std::initializer_list<std::string_view> pieces) {
  for (std::string_view piece : pieces) out.append(piece);
}

std::string Number(int64_t n) {
  return std::to_string(n);
}

// "<description> (Error <number>)", on one line.
std::string OneLineFailure(const std::exception_ptr& failure) {
  return ErrorReporter::Describe(failure) + " (Error " +
         std::to_string(FileFailureNumber(failure)) + ")";
}

void Count(MotionFileInfo& info, int64_t line, MotionFileInfo::Skip why) {
  ++info.skipped[static_cast<int>(why)];
  if (info.listed.size() < MotionFileInfo::kListedSkips) info.listed.push_back({line, why});
}

// A window entry: false when it cannot be read. `listed` keys each window in info.windows by
// its class and title, so that each entry is looked up once rather than against every window.
bool AddWindow(MotionFileInfo& info, std::unordered_set<std::string>& listed,
               std::string_view entry) {
  std::optional<WindowNote> note = ReadWindowEntry(entry);
  if (!note) return false;
  if (!note->window) return true;
  const TopWindow& w = *note->window;
  // The class's length first, so that no class and title reads as another pair.
  std::string key = std::to_string(w.class_name.size());
  Put(key, {":", w.class_name, w.title});
  if (listed.insert(std::move(key)).second) info.windows.push_back(w);
  return true;
}

// The windows section of the report.
void PutWindows(std::string& out, const std::vector<TopWindow>& windows) {
  if (windows.empty()) return;
  Put(out, {"Windows: ", Number(static_cast<int64_t>(windows.size())), "\n"});
  for (const TopWindow& w : windows)
    Put(out, {"  \"", ShownWindowText(w.title), "\" (", ShownWindowText(w.class_name),
              "): ", Number(w.width), " x ", Number(w.height), " at (", Number(w.left), ", ",
              Number(w.top), ")\n"});
}

void Add(MotionFileInfo& info, const MotionEntry& e) {
  if (info.Entries() == 0) {
    info.left = info.right = e.x;
    info.top = info.bottom = e.y;
  }
  info.left = std::min(info.left, e.x);
  info.right = std::max(info.right, e.x);
  info.top = std::min(info.top, e.y);
  info.bottom = std::max(info.bottom, e.y);
  ++info.entries[static_cast<int>(e.kind)];
  info.duration_ms += e.delay_ms;
}

MotionFileInfo Analyze(const std::function<std::unique_ptr<MotionLineReader>()>& open,
                       const std::string& path, const MotionEntryVisitor& visit) {
  MotionFileInfo info;
  std::unique_ptr<MotionLineReader> reader;
  try {
    reader = open();
  } catch (...) {
    info.problem = "cannot read \"" + path + "\": " + OneLineFailure(std::current_exception());
    return info;
  }
  if (!reader) {
    info.problem = NotMotionFileText(path);
    return info;
  }
  info.opened = true;
  int64_t number = 1;                       // the header
  std::unordered_set<std::string> windows;  // those listed, by class and title
  PausesBeforeRule timing;
  // Layout entries: those before the first other line, and whether a run of them goes on.
  LayoutRun start;
  bool leading = true, in_run = false;
  auto end_leading_run = [&] {
    if (!leading) return;
    leading = false;
    if (std::optional<std::vector<Monitor>> layout = start.Layout())
      info.layout = std::move(*layout);
    else
      info.layout_unusable = in_run;
  };
  try {
    std::string_view line;
    std::string kept;  // a long window entry of an earlier version, its texts kept
    while (NextEntryLine(*reader, line, kept)) {
      ++number;
      if (line.size() > kLongestLine) {
        info.problem = "reading stopped: " + LineTooLongText(number);
        return info;
      }
      timing.Next(line);
      info.pauses_before = timing.PausesBefore();
      if (line.find_first_not_of(' ') == line.npos) {
        end_leading_run();
        in_run = false;
        Count(info, number, MotionFileInfo::Skip::Blank);
        continue;
      }
      if (IsPausesBeforeNote(line)) continue;  // a note takes no time
      if (IsLayoutEntry(line)) {
        // The layout at the start is read as playback reads it; each later run is a change.
        if (!in_run && !leading) ++info.layout_changes;
        in_run = true;
        if (leading) start.Add(line);
        if (!ReadLayoutEntry(line)) Count(info, number, MotionFileInfo::Skip::UnknownKind);
        continue;
      }
      if (IsWindowEntry(line)) {
        if (!AddWindow(info, windows, line)) Count(info, number, MotionFileInfo::Skip::UnknownKind);
        continue;
      }
      end_leading_run();
      in_run = false;
      const EntryReading read = ReadMotionEntry(line);
      if (!read.Playable()) {
        Count(info, number,
              read.motion ? MotionFileInfo::Skip::OutOfRange : MotionFileInfo::Skip::UnknownKind);
        continue;
      }
      Add(info, read.entry);
      if (visit) visit(read.entry);
    }
    end_leading_run();
    info.complete = true;
  } catch (...) {
    info.problem = "reading stopped after line ";
    Put(info.problem, {Number(number), ": ", OneLineFailure(std::current_exception())});
  }
  return info;
}

std::string Fixed(double value, int decimals) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  return res.ec == std::errc() ? std::string(buf, res.ptr) : std::to_string(value);
}

// Text read from the file, fit for a terminal: bytes outside printable ASCII as \xNN and the
// backslash doubled, so that neither a control sequence nor a forged line of the file reaches
// the output. Names this program writes are printable ASCII and come out unchanged.
std::string Escaped(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\')
      out.append("\\\\");
    else if (byte >= 0x20 && byte < 0x7F)
      out.push_back(c);
    else
      out.append({'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]});
  }
  return out;
}

std::string_view SkipText(MotionFileInfo::Skip why) {
  switch (why) {
    case MotionFileInfo::Skip::Blank:
      return "blank";
    case MotionFileInfo::Skip::UnknownKind:
      return "unknown kind";
    case MotionFileInfo::Skip::OutOfRange:
      break;
  }
  return "numbers out of range";
}

}  // namespace

int64_t MotionFileInfo::Entries() const {
  int64_t n = 0;
  for (int64_t k : entries) n += k;
  return n;
}

int64_t MotionFileInfo::Skipped() const {
  int64_t n = 0;
  for (int64_t k : skipped) n += k;
  return n;
}

bool MotionFileInfo::Playable() const {
  return opened && complete && Entries() > 0;
}

MotionFileInfo AnalyzeMotionFile(FileSystem& files, const std::string& path,
                                 const MotionEntryVisitor& visit) {
  return Analyze([&] { return OpenMotionFile(files.OpenRead(path, FileUse::User)); }, path, visit);
}

MotionFileInfo AnalyzeMotionBytes(std::string_view bytes, const MotionEntryVisitor& visit) {
  return Analyze([&] { return OpenMotionFile(std::make_unique<BytesFile>(bytes)); }, "(text)",
                 visit);
}

std::string FormatMotionFileInfo(const std::string& path, const MotionFileInfo& info) {
  std::string out;
  Put(out, {"File: ", path, "\n"});
  if (info.opened) {
    Put(out, {"Entries: ", Number(info.Entries()), " ("});
    for (int k = 0; k < kMotionKinds; ++k)
      if (k < kClassicKinds || info.entries[k] != 0)
        Put(out,
            {k ? ", " : "", KindText(static_cast<MotionKind>(k)), " ", Number(info.entries[k])});
    Put(out, {")\nDuration: ", Fixed(info.duration_ms / 1000.0, 3), " s\n"});
    if (info.pauses_before) Put(out, {"Timing: each pause before its event\n"});
    Put(out, {"Pointer area: "});
    if (info.Entries() == 0)
      Put(out, {"none\n"});
    else
      Put(out, {"(", Number(info.left), ", ", Number(info.top), ") to (", Number(info.right), ", ",
                Number(info.bottom), "), ", Number(int64_t{info.right} - info.left + 1), " x ",
                Number(int64_t{info.bottom} - info.top + 1), " pixels\n"});
    if (!info.layout.empty()) {
      Put(out, {"Screen layout: ", Number(static_cast<int64_t>(info.layout.size())),
                info.layout.size() == 1 ? " monitor\n" : " monitors\n"});
      for (const Monitor& m : info.layout)
        Put(out, {"  ", m.name.empty() ? "(unnamed)" : Escaped(m.name), ": ", Number(m.width),
                  " x ", Number(m.height), " at (", Number(m.left), ", ", Number(m.top), ")",
                  m.primary ? ", primary\n" : "\n"});
    } else if (info.layout_unusable) {
      Put(out, {"Screen layout: unreadable, positions play as recorded\n"});
    } else if (info.layout_changes > 0) {
      Put(out, {"Screen layout: none at the start\n"});
    }
    PutWindows(out, info.windows);
    if (info.layout_changes > 0)
      Put(out, {"  then changed ", Number(info.layout_changes),
                info.layout_changes == 1 ? " time" : " times", " during the recording\n"});
    Put(out, {"Lines skipped: ", Number(info.Skipped())});
    for (int k = 0; info.Skipped() && k < MotionFileInfo::kSkipReasons; ++k)
      Put(out, {k ? ", " : " (", SkipText(static_cast<MotionFileInfo::Skip>(k)), " ",
                Number(info.skipped[k]), k + 1 == MotionFileInfo::kSkipReasons ? ")" : ""});
    Put(out, {"\n"});
    for (const MotionFileInfo::SkippedLine& s : info.listed)
      Put(out, {"  line ", Number(s.line), ": ", SkipText(s.why), "\n"});
    const int64_t unlisted = info.Skipped() - static_cast<int64_t>(info.listed.size());
    if (unlisted > 0) Put(out, {"  ... and ", Number(unlisted), " more\n"});
  }
  if (info.Playable())
    Put(out, {"Playable: yes\n"});
  else
    Put(out, {"Playable: no (", info.problem.empty() ? "no entry to play" : info.problem, ")\n"});
  return out;
}

}  // namespace pel
