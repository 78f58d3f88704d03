#pragma once
// Recordings kept when they could not be saved where they belonged: the program ended without
// the user's word (a signal, the display gone) with unsaved changes, or a --record run could not
// write its file. Each goes to a new file in the user's state folder, and a note there lists the
// files the next start of the window has to tell about.

#include <string>
#include <vector>

#include "engine/recorder/recorder.h"
#include "platform/environment.h"
#include "platform/files.h"

namespace pel {

class RecoveryStore {
 public:
  RecoveryStore(FileSystem& files, Environment& env) : files_(files), env_(env) {}

  // Writes the recording of `recorder` to a new "unsaved-<n>.mmf" in the state folder and returns
  // its path; an earlier file is never replaced. Throws pel::Error when it cannot be written.
  std::string Keep(Recorder& recorder);
  // Adds `path` to the note the next start reads. Best effort: a note that cannot be written
  // only costs the message.
  void Note(const std::string& path);
  // The paths noted so far, oldest first; the note is emptied.
  std::vector<std::string> TakeNote();

 private:
  std::string NotePath();
  std::string ReadNote(const std::string& path);

  FileSystem& files_;
  Environment& env_;
};

}  // namespace pel
