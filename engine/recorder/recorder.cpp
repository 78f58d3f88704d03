#include "engine/recorder/recorder.h"

#include "engine/motionfile/motion_entry.h"

namespace pel {

std::string_view StateText(Mode mode) {
  switch (mode) {
    case Mode::Idle:
      return "Idle";
    case Mode::Recording:
      return "Recording";
    case Mode::Playing:
      return "Playing";
    case Mode::None:
      break;
  }
  return "";
}

void Recorder::ToggleRecording() {
  if (mode == Mode::Playing) return;
  if (mode == Mode::Recording) {
    mode = Mode::Idle;
    return;
  }
  // A recording started now would clear the list that a load is filling or a save is about
  // to write.
  if (load_in_progress_ || save_in_progress_) return;
  mode = Mode::Recording;
}

void Recorder::StartPlaying() {
  Procedure p(host_.reporter, where::kStartPlaying);
  if (p.Test(100, [&] { return mode == Mode::Recording; })) return;
  if (p.Test(102, [&] { return mode == Mode::Playing; })) {
    p.Step(104, [&] { mode = Mode::Idle; });
    return;
  }
  p.Step(106, [&] { mode = Mode::Playing; });
}

void Recorder::AddMotion(int32_t x, int32_t y, double delay, std::string_view kind) {
  Procedure p(host_.reporter, where::kAddMotion);
  p.Step(100, [&] { entries.Add(FormatEntry(kind, x, y, delay)); });
  p.Step(102, [&] { unsaved = true; });
}

Point Recorder::GetMousePos(bool* known) {
  // An unreadable cursor is not at (0, 0): a recording would store the corner and its
  // playback would jump there and click.
  Point pos;
  const bool read = host_.input.CursorPos(pos);
  if (read) last_mouse_pos_ = pos;
  if (known) *known = read;
  return last_mouse_pos_;
}

std::string Recorder::GetTempFolder() {
  const char sep = host_.env.Separator();
  std::string folder = host_.env.Get("TEMP").value_or("");
  // An unset TEMP would otherwise give the bare root of the drive.
  if (folder.empty()) folder = host_.env.UserTempFolder();
  if (folder.empty() || folder.back() != sep) folder.push_back(sep);
  return folder;
}

}  // namespace pel
