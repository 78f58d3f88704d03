// The recorder's saving and loading: the save offer and its dialogs, the file replaced whole,
// and a load that keeps the recording in memory when the file cannot be read.
#include <algorithm>
#include <cstdint>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "engine/motionfile/motion_file.h"
#include "engine/motionfile/screen_layout.h"
#include "engine/motionfile/window_entry.h"
#include "engine/recorder/file_dialog.h"
#include "engine/recorder/recorder.h"

namespace pel {

namespace {

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
  dialog.file_name.clear();
  dialog.ShowSave();
  const std::string path = dialog.file_name;
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
  WriteMotionFile(*out, entries);
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
    std::string kept;  // a long window entry of an earlier version, its texts kept
    while (NextEntryLine(*reader, line, kept)) {
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
