#pragma once
// The mouse motion file: "[MouseMotionFile]" and then one motion entry per line, every line
// ended by CR LF. Its lines are read and written here, the same way for every reader; the
// recorder's save and load (recorder_files.cpp) and the file summary (motion_info.h) use them.

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/motionfile/entry_list.h"
#include "platform/files.h"

namespace pel {

inline constexpr std::string_view kMotionFileHeader = "[MouseMotionFile]";
inline constexpr std::string_view kMotionFileLineEnd = "\r\n";

// No entry comes near this length (a kind, two coordinates and a delay); a longer line is no
// entry, and readers stop at it rather than take in what may be gigabytes without a line end.
inline constexpr size_t kLongestLine = 4096;
// "line <number> is longer than any entry (more than 4096 bytes)", the header being line 1.
std::string LineTooLongText(int64_t number);

// The runtime's number for a failure met reading or writing a file (57 when it carries none).
int32_t FileFailureNumber(const std::exception_ptr& failure);
// "Error: <number>\r\n  <description>", as the file messages show a failure.
std::string FileFailureText(const std::exception_ptr& failure);
// Why a file is refused: "\"<path>\" is not a mouse motion file (its first line is not ...)".
std::string NotMotionFileText(const std::string& path);

// Splits a motion file into lines: CR LF, a lone CR or a lone LF ends a line, so files saved
// by editors that end lines with LF alone read as the program's own. The end of the file is
// tested before each line, so a final line end yields no extra empty line, and a last line
// without one is still returned. Never reads past the length the file had when it was opened,
// so what it holds stays bounded by that length.
class MotionLineReader {
 public:
  // `on_chunk`, if given, runs each time a chunk has been taken apart, before the next read.
  MotionLineReader(std::unique_ptr<ReadFile> file, std::function<void()> on_chunk);

  // The next line into `line` (valid until the next call); false at the end of the file.
  // Throws when the file cannot be read. A line longer than `cap` bytes comes back cut to
  // more than `cap` bytes (enough to tell it from any shorter text) and the rest is not read.
  bool Next(std::string_view& line, size_t cap = std::string::npos);

  // Bytes of the file not taken apart yet.
  uint64_t Left() const { return left_ + (end_ - pos_); }
  // Average length of the lines read in but not yet taken apart, line end included (at least 1).
  uint64_t BufferedLineLength() const;

 private:
  bool Fill();
  // Offset in buf_ of the first CR or LF from pos_ on; end_ when there is none.
  size_t LineEnd();
  void Append(const char* bytes, size_t n);

  static constexpr size_t kNotSearched = static_cast<size_t>(-1);

  std::unique_ptr<ReadFile> file_;
  uint64_t left_;
  std::vector<char> buf_;
  size_t pos_ = 0;
  size_t end_ = 0;
  bool skip_lf_ = false;  // the last line ended with CR: a LF right after it belongs to it
  // Where the next CR and LF were found in the chunk (end_: none), or kNotSearched.
  size_t next_cr_ = kNotSearched;
  size_t next_lf_ = kNotSearched;
  bool started_ = false;
  std::string pending_;
  std::function<void()> on_chunk_;
};

// Reads the first line of an opened motion file: the reader returned stands at the first entry;
// null when the first line is not the header. Throws when the file cannot be read.
std::unique_ptr<MotionLineReader> OpenMotionFile(std::unique_ptr<ReadFile> file,
                                                 std::function<void()> on_chunk = {});

// Writes the header and then every entry byte for byte, each line ended by CR LF. Commits
// nothing; throws what `out` throws.
void WriteMotionFile(ReplaceFile& out, const EntryList& entries);

}  // namespace pel
