#pragma once
// The recorder (the module mVazazEzerev in the error report): the recorder state, the recording
// itself and the operations that change them. Its saving and loading are in recorder_files.cpp;
// the text of an entry is engine/motionfile/motion_entry.h's, the file's lines
// engine/motionfile/motion_file.h's.

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/error_report.h"
#include "engine/motionfile/entry_list.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/environment.h"
#include "platform/events.h"
#include "platform/files.h"
#include "platform/input.h"

namespace pel {

// What the recorder is doing. None only until the first poll tick.
enum class Mode { None, Idle, Recording, Playing };
// The state as users and the error report see it: "Idle", "Recording", "Playing", or "" for None.
std::string_view StateText(Mode mode);

// The last line of the message of a load that was refused.
inline constexpr std::string_view kRecordingKept = "The recording in memory has been kept.";

class FileDialog;

// The machine's backends the recorder works through; the main window's host (MainFormHost)
// holds them too.
struct SystemHost {
  Input& input;
  Clock& clock;
  Dialogs& dialogs;
  EventPump& events;
  FileSystem& files;
  Environment& env;
};

// Everything the recorder reaches outside itself.
struct RecorderHost : SystemHost {
  ErrorReporter& reporter;
  FileDialog& dialog;  // MotionFileDialog of the main window
};

class Recorder {
 public:
  explicit Recorder(RecorderHost host) : host_(host) {}

  // Idle, Recording or Playing; None until the first poll tick.
  Mode mode = Mode::None;
  // The recording, entries numbered from 1.
  EntryList entries;
  // Set by every AddMotion, cleared by a save that met no failure.
  bool unsaved = false;
  // True when the list holds a recording not saved yet: changed, more than the screen layout,
  // and not a file only partly loaded (which would be kept cut off as if it were whole).
  bool HasWorkToKeep() const;

  // "Idle" (or empty) becomes "Recording", "Recording" becomes "Idle", "Playing" stays.
  // A new recording is refused (no change) while a load is under way or the save dialog is
  // open: starting one clears the list that is being filled or saved.
  void ToggleRecording();
  // "Recording" stays, "Playing" becomes "Idle", anything else becomes "Playing". Reports its
  // own failures under mVazazEzerev.StartPlaying.
  void StartPlaying();
  // Appends Kind,X,Y,Delay to the recording and marks it unsaved; reports its own failures.
  void AddMotion(int32_t x, int32_t y, double delay, std::string_view kind);
  // Cursor position in screen pixels. When it cannot be read (pointer on another screen, a
  // secure desktop) the last position read is given again and `known`, if given, is false.
  Point GetMousePos(bool* known = nullptr);
  // The TEMP folder with a trailing separator; the user's own temporary folder when TEMP is
  // unset or empty (never the bare root).
  std::string GetTempFolder();

  // Offers the save dialog when the recording holds unsaved entries and writes the file. The
  // file is replaced whole or not at all; a failure is shown and leaves the list unsaved.
  void SaveDataToFile();
  // Writes the recording to `path` as SaveDataToFile does once its dialogs are answered: the
  // file is replaced whole or not at all. Throws on failure; on success the recording counts
  // as saved. `use` FileUse::Own for a file the program keeps for the user (a recovery file).
  void SaveTo(const std::string& path, FileUse use = FileUse::User);
  // Replaces the recording with the entries of the motion file at `path`, after offering to
  // save unsaved work. A file that cannot be opened or lacks the header leaves the list as it
  // was and says why. Ends a running recording first; does nothing while a load is under way.
  void LoadDataFromFile(const std::string& path);
  // True while LoadDataFromFile is reading (window events run meanwhile).
  bool LoadInProgress() const { return load_in_progress_; }

  RecorderHost& Host() { return host_; }

 private:
  RecorderHost host_;
  // Set for the whole of LoadDataFromFile, save offer included: no second load, no new
  // recording while it runs.
  bool load_in_progress_ = false;
  // Set while SaveDataToFile runs (its dialogs let ticks and F10 run meanwhile).
  bool save_in_progress_ = false;
  // Set while the list holds a file only partly read; a save then would write a cut-off file.
  bool load_filling_ = false;
  // The last cursor position read; (0, 0) until the first successful read.
  Point last_mouse_pos_;
};

}  // namespace pel
