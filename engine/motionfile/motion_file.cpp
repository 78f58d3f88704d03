#include "engine/motionfile/motion_file.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "engine/error_report.h"
#include "platform/error.h"

namespace pel {

namespace {

// Bytes handed to the file system at once when writing, and read at once when reading.
constexpr size_t kChunk = 64 * 1024;

}  // namespace

int32_t FileFailureNumber(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const Error& e) {
    return e.Number();
  } catch (const std::bad_alloc&) {
    return err::kOutOfMemory;
  } catch (...) {
    return err::kDeviceIoError;
  }
}

std::string FileFailureText(const std::exception_ptr& failure) {
  return "Error: " + std::to_string(FileFailureNumber(failure)) + "\r\n  " +
         ErrorReporter::Describe(failure);
}

std::string LineTooLongText(int64_t number) {
  return "line " + std::to_string(number) + " is longer than any entry (more than " +
         std::to_string(kLongestLine) + " bytes)";
}

std::string NotMotionFileText(const std::string& path) {
  return "\"" + path + "\" is not a mouse motion file (its first line is not \"" +
         std::string(kMotionFileHeader) + "\")";
}

MotionLineReader::MotionLineReader(std::unique_ptr<ReadFile> file, std::function<void()> on_chunk)
    : file_(std::move(file)), left_(file_->Size()), buf_(kChunk), on_chunk_(std::move(on_chunk)) {}

bool MotionLineReader::Next(std::string_view& line, size_t cap) {
  pending_.clear();
  bool any = false;  // a byte of this line has been seen
  for (;;) {
    if (pos_ == end_ && !Fill()) {
      line = pending_;
      return any;
    }
    if (skip_lf_) {
      skip_lf_ = false;
      if (buf_[pos_] == '\n') {
        ++pos_;
        continue;
      }
    }
    const char* start = buf_.data() + pos_;
    const size_t stop = LineEnd();
    const size_t len = stop - pos_;
    if (cap != std::string::npos && pending_.size() + len > cap) {
      Append(start, cap + 1 - pending_.size());
      line = pending_;
      return true;
    }
    any = true;
    if (stop == end_) {
      Append(start, len);
      pos_ = end_;
      continue;
    }
    // CR LF is one line end: the LF may arrive with the next chunk.
    skip_lf_ = buf_[stop] == '\r';
    pos_ = stop + 1;
    if (pending_.empty()) {
      line = std::string_view(start, len);
    } else {
      Append(start, len);
      line = pending_;
    }
    return true;
  }
}

size_t MotionLineReader::LineEnd() {
  // Each kind of line end is searched for once per stretch of the chunk, not once per line: in a
  // file without CRs a search for the next CR would run to the end of the chunk at every line.
  auto next = [this](size_t& at, char c) {
    if (at != kNotSearched && at >= pos_) return;
    const void* found = std::memchr(buf_.data() + pos_, c, end_ - pos_);
    at = found ? static_cast<size_t>(static_cast<const char*>(found) - buf_.data()) : end_;
  };
  next(next_cr_, '\r');
  next(next_lf_, '\n');
  return std::min(next_cr_, next_lf_);
}

uint64_t MotionLineReader::BufferedLineLength() const {
  const auto from = buf_.begin() + static_cast<ptrdiff_t>(pos_);
  const auto to = buf_.begin() + static_cast<ptrdiff_t>(end_);
  const size_t n =
      static_cast<size_t>(std::max(std::count(from, to, '\r'), std::count(from, to, '\n')));
  return n ? std::max<uint64_t>(1, (end_ - pos_) / n) : std::max<uint64_t>(1, end_ - pos_);
}

bool MotionLineReader::Fill() {
  // Each chunk taken apart, the last one too, gives the window its turn.
  if (started_ && on_chunk_) on_chunk_();
  if (left_ == 0) return false;
  started_ = true;
  const size_t want = static_cast<size_t>(std::min<uint64_t>(left_, buf_.size()));
  const size_t got = file_->Read(buf_.data(), want);
  // A file that shrank while being read ends where its bytes end.
  if (got == 0) {
    left_ = 0;
    return false;
  }
  left_ -= std::min<uint64_t>(got, left_);
  pos_ = 0;
  end_ = got;
  next_cr_ = next_lf_ = kNotSearched;
  return true;
}

// Grows the line being joined across chunks no further than the rest of the file could still
// make it, so one huge line costs about its own size and never more than the file.
void MotionLineReader::Append(const char* bytes, size_t n) {
  const size_t need = pending_.size() + n;
  if (need > pending_.capacity()) {
    const uint64_t most = need + left_;
    pending_.reserve(
        static_cast<size_t>(std::min<uint64_t>(std::max(need, pending_.capacity() * 2), most)));
  }
  pending_.append(bytes, n);
}

std::unique_ptr<MotionLineReader> OpenMotionFile(std::unique_ptr<ReadFile> file,
                                                 std::function<void()> on_chunk) {
  auto reader = std::make_unique<MotionLineReader>(std::move(file), std::move(on_chunk));
  std::string_view line;
  if (!reader->Next(line, kMotionFileHeader.size()) || line != kMotionFileHeader) return nullptr;
  return reader;
}

void WriteMotionFile(ReplaceFile& out, const EntryList& entries) {
  std::vector<char> chunk(kChunk);
  size_t used = 0;
  auto put = [&](std::string_view line) {
    if (used + line.size() + kMotionFileLineEnd.size() > chunk.size()) {
      out.Write(std::string_view(chunk.data(), used));
      used = 0;
      if (line.size() + kMotionFileLineEnd.size() > chunk.size()) {
        out.Write(line);
        out.Write(kMotionFileLineEnd);
        return;
      }
    }
    std::memcpy(chunk.data() + used, line.data(), line.size());
    used += line.size();
    chunk[used++] = '\r';
    chunk[used++] = '\n';
  };
  put(kMotionFileHeader);
  const int32_t count = entries.Count();
  for (int32_t i = 1; i <= count; ++i) put(entries.Item(i));
  if (used) out.Write(std::string_view(chunk.data(), used));
}

}  // namespace pel
