// Saving and loading the mouse motion file; entries are written byte for byte as the list holds
// them and loaded as the file holds them.
#include "engine/motion_file.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "engine/recorder.h"
#include "engine/screen_layout.h"
#include "platform/error.h"

namespace pel {

namespace {

// Bytes handed to the file system at once when saving, and read at once when loading.
constexpr size_t kChunk = 64 * 1024;
// While loading, window events are serviced whenever a chunk of the file has been taken apart
// and after this many entries: servicing them after every line, with a real event loop, costs
// more than reading the line. A chunk goes by in well under a millisecond, so the window
// still answers at once.
constexpr int kLinesPerEventPump = 1024;

// Clears the load flags however the load ends.
struct LoadFlags {
  bool& in_progress;
  bool& filling;
  ~LoadFlags() { in_progress = filling = false; }
};

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
    const size_t avail = end_ - pos_;
    const char* cr = static_cast<const char*>(std::memchr(start, '\r', avail));
    const size_t len = cr ? static_cast<size_t>(cr - start) : avail;
    if (cap != std::string::npos && pending_.size() + len > cap) {
      Append(start, cap + 1 - pending_.size());
      line = pending_;
      return true;
    }
    any = true;
    if (!cr) {
      Append(start, len);
      pos_ = end_;
      continue;
    }
    pos_ += len + 1;
    skip_lf_ = true;
    if (pending_.empty()) {
      line = std::string_view(start, len);
    } else {
      Append(start, len);
      line = pending_;
    }
    return true;
  }
}

uint64_t MotionLineReader::BufferedLineLength() const {
  const size_t n = std::count(buf_.begin() + static_cast<ptrdiff_t>(pos_),
                              buf_.begin() + static_cast<ptrdiff_t>(end_), '\r');
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

bool Recorder::HasWorkToKeep() const {
  return unsaved && !HoldsNoMotion(entries) && !load_filling_;
}

void Recorder::SaveDataToFile() {
  if (!HasWorkToKeep()) return;

  save_in_progress_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{save_in_progress_};

  FileDialog& dialog = host_.dialog;
  dialog.FileName.clear();
  dialog.ShowSave();
  const std::string path = dialog.FileName;
  if (path.empty()) return;
  // Whatever stands at the path, hidden or read-only, is asked about before it can be lost. A
  // folder is no file to overwrite: the replacement below refuses it with the save error.
  if (host_.files.KindOf(path) == PathKind::File &&
      host_.dialogs.MessageBox("File already exists. Do you want to overwrite old File?",
                               "Save anyway?", MsgButtons::YesNo, MsgIcon::None) != MsgResult::Yes)
    return;

  try {
    SaveTo(path);
  } catch (...) {
    host_.dialogs.MessageBox(
        "RodazIrerevuv has failed to save Data!\r\n" + FileFailureText(std::current_exception()),
        "", MsgButtons::Ok, MsgIcon::None);
  }
}

void Recorder::SaveTo(const std::string& path, FileUse use) {
  // The file is written to a temporary beside it and renamed into place only when every byte
  // is on disk, so a failure leaves the old file as it was. A link is followed and stays, and
  // a file the user may not write is refused.
  std::unique_ptr<ReplaceFile> out = host_.files.BeginReplace(path, use);
  std::vector<char> chunk(kChunk);
  size_t used = 0;
  auto put = [&](std::string_view line) {
    if (used + line.size() + kMotionFileLineEnd.size() > chunk.size()) {
      out->Write(std::string_view(chunk.data(), used));
      used = 0;
      if (line.size() + kMotionFileLineEnd.size() > chunk.size()) {
        out->Write(line);
        out->Write(kMotionFileLineEnd);
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
  if (used) out->Write(std::string_view(chunk.data(), used));
  out->Commit();
  unsaved = false;
}

void Recorder::LoadDataFromFile(const std::string& path) {
  // The events serviced below may ask for another load: two files would mix in one list.
  if (load_in_progress_) return;
  load_in_progress_ = true;
  LoadFlags flags{load_in_progress_, load_filling_};

  Procedure p(host_.reporter, where::kLoadFile);
  p.Step(100, [&] {
    // A recording still running would append to the file's entries. It ends here, before the
    // save offer, so that the offer covers all of it; no new one starts until the load is over.
    if (mode == Mode::Recording) ToggleRecording();
    SaveDataToFile();
  });

  // From here on file failures are not errors of the program. The file is opened and its header
  // checked before the list is touched, so that a file that cannot be loaded does not cost the
  // recording in memory.
  auto pump = [this] { host_.events.DoEvents(); };
  std::unique_ptr<MotionLineReader> reader;
  std::string refusal;
  try {
    reader = OpenMotionFile(host_.files.OpenRead(path, FileUse::User), pump);
    if (!reader) refusal = "Nothing was loaded: " + NotMotionFileText(path) + ".";
  } catch (...) {
    refusal = "Nothing was loaded: the file could not be read.\r\n" +
              FileFailureText(std::current_exception());
  }
  if (!refusal.empty()) {
    host_.dialogs.MessageBox(refusal + "\r\n" + std::string(kRecordingKept), "", MsgButtons::Ok,
                             MsgIcon::Exclamation);
    return;
  }

  p.Step(102, [&] { entries.Clear(); });
  load_filling_ = true;
  std::string stopped;
  try {
    // The entries take at most the rest of the file; their number is guessed from the lines
    // already read in, so that a million offsets are not copied over and over as they grow.
    // A guess that falls short only means growth later.
    try {
      const uint64_t left = reader->Left();
      const uint64_t guess = std::min<uint64_t>(left / reader->BufferedLineLength() + 16, left / 4);
      // No entry is longer than kLongestLine: a file of a few huge lines claims no more.
      const uint64_t text = std::min<uint64_t>(left, guess * kLongestLine);
      entries.Reserve(static_cast<size_t>(guess), static_cast<size_t>(text));
    } catch (const std::bad_alloc&) {
      // Too large to claim at once: the list grows as entries arrive instead.
    }
    int since_pump = 0;
    std::string_view line;
    while (reader->Next(line, kLongestLine)) {
      if (line.size() > kLongestLine) {
        // The header is line 1.
        stopped = "Loading stopped: " + LineTooLongText(int64_t{entries.Count()} + 2) + "; " +
                  std::to_string(entries.Count()) + " entries were loaded.";
        break;
      }
      entries.Add(line);
      if (++since_pump == kLinesPerEventPump) {
        since_pump = 0;
        pump();
      }
    }
  } catch (...) {
    // What was read so far stays; the user learns that the file was not read to its end.
    stopped = "Loading stopped before the end of the file; " + std::to_string(entries.Count()) +
              " entries were loaded.\r\n" + FileFailureText(std::current_exception());
  }
  load_filling_ = false;
  reader.reset();
  if (!stopped.empty()) host_.dialogs.MessageBox(stopped, "", MsgButtons::Ok, MsgIcon::Exclamation);
}

}  // namespace pel
