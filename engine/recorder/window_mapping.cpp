#include "engine/recorder/window_mapping.h"

#include <algorithm>
#include <limits>

#include "engine/motionfile/window_entry.h"

namespace pel {

namespace {

// Looks at the windows a playback takes in one go while they keep changing.
constexpr int kLooks = 3;

// One axis of a position: `v` recorded over a window edge at `from` of `from_size` pixels, the
// window's edge standing at `to` with `to_size` pixels now.
int32_t Axis(int64_t v, int64_t from, int64_t from_size, int64_t to, int64_t to_size) {
  const int64_t offset = v - from;
  int64_t out;
  if (offset < 0)
    out = to + offset;  // before the near edge: from that edge
  else if (offset >= from_size)
    out = to + to_size + (offset - from_size);  // past the far edge: from that edge
  else
    out = to + std::min(offset, to_size - 1);  // inside: from the near edge, kept inside
  return static_cast<int32_t>(std::clamp<int64_t>(out, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// Positions over a window that could never be told from another belong to none.
bool Identifiable(const TopWindow& w) {
  return !w.class_name.empty() || !w.title.empty();
}

// The same window as noted, unmoved, unresized and unrenamed.
bool SameAsNoted(const std::optional<TopWindow>& a, const std::optional<TopWindow>& b) {
  if (!a || !b) return !a && !b;
  return a->id == b->id && a->class_name == b->class_name && a->title == b->title &&
         a->left == b->left && a->top == b->top && a->width == b->width && a->height == b->height;
}

}  // namespace

WindowMatch FindRecordedWindow(const TopWindow& recorded, const std::vector<TopWindow>& open) {
  WindowMatch match;
  if (!Identifiable(recorded)) return match;
  int of_class = 0;
  for (const TopWindow& w : open) {
    if (w.class_name != recorded.class_name) continue;
    if (w.title == recorded.title) return {WindowMatch::How::Same, w};
    // Many programs share a class (a standard dialog's, a browser engine's, a toolkit's).
    if (!recorded.program.empty() && w.program != recorded.program) continue;
    if (++of_class == 1) match.window = w;
  }
  if (of_class == 1 && !recorded.class_name.empty())
    match.how = WindowMatch::How::SameClass;
  else
    match.window = {};
  return match;
}

WindowMapping::WindowMapping(const TopWindow& recorded, const TopWindow& now)
    : recorded_(recorded), now_(now) {}

Point WindowMapping::Map(Point p) const {
  return {Axis(p.x, recorded_.left, recorded_.width, now_.left, now_.width),
          Axis(p.y, recorded_.top, recorded_.height, now_.top, now_.height)};
}

std::string MissingWindowText(const TopWindow& window) {
  std::string text = "window not found: \"";
  text.append(ShownWindowText(window.title)).append("\" (");
  text.append(ShownWindowText(window.class_name)).append("), played where it was recorded");
  return text;
}

void WindowMap::RecordingStarts() {
  noted_.reset();
  looked_at_.reset();
}

void WindowMap::Note(EntryList& list, Point at, bool pressed, bool held) {
  if (!windows_ || !(pressed || held)) return;
  // While held, the window under a pointer that has not moved is the one seen last.
  if (!pressed && looked_at_ == at) return;
  looked_at_ = at;
  std::optional<TopWindow> under = windows_->WindowAt(at);
  if (under && (under->popup || (own_window != 0 && under->id == own_window))) return;
  if (under && !Identifiable(*under)) under.reset();
  if (under) KeepWindowTexts(*under);
  if (pressed ? SameAsNoted(under, noted_) : !under || (noted_ && noted_->id == under->id)) return;
  if (under && !under->program.empty()) list.Add(ProgramNote(under->program));
  list.Add(WindowEntry(under));
  noted_ = std::move(under);
}

void WindowMap::PlaybackStarts() {
  current_.reset();
  missing_note_.clear();
  program_.clear();
  waiting_ = false;
  settling_ = false;
  given_up_.clear();
}

std::vector<TopWindow> WindowMap::ListWindows() {
  // The generation first: a change while the list is read is seen at the next look.
  generation_ = windows_->Generation();
  std::vector<TopWindow> open = windows_->List();
  for (TopWindow& w : open) KeepWindowTexts(w);
  return open;
}

WindowMap::Reached WindowMap::Follow(const TopWindow& recorded, const TopWindow& now) {
  current_.emplace(recorded, now);
  missing_note_.clear();
  program_.clear();
  waiting_ = false;
  settling_ = false;
  return Reached::Go;
}

bool WindowMap::WindowsChanged() {
  return windows_ && windows_->Generation() != generation_;
}

WindowMap::Reached WindowMap::Reach(std::string_view entry, double now) {
  if (!windows_ || !following) return Reached::Go;
  std::optional<WindowNote> note = ReadWindowEntry(entry);
  if (note && note->program) {
    program_ = std::move(*note->program);
    return Reached::Go;
  }
  if (!note || !note->window) {
    // Over no window, or an entry that cannot be read: the positions play as recorded.
    current_.reset();
    missing_note_.clear();
    program_.clear();
    waiting_ = false;
    settling_ = false;
    return Reached::Go;
  }
  TopWindow recorded = std::move(*note->window);
  recorded.program = program_;
  if (settling_) {
    // Looks a fixed time apart, whatever changes are reported meanwhile.
    if (now < next_look_) return Reached::Wait;
    std::optional<TopWindow> w = windows_->Find(settle_seen_.id);
    const auto place = [](const TopWindow& a) {
      return std::make_tuple(a.left, a.top, a.width, a.height);
    };
    if (w && (place(*w) == place(settle_seen_) || now >= settle_ends_)) return Follow(recorded, *w);
    if (w) {
      settle_seen_ = std::move(*w);
      next_look_ = now + kSettleLook;
      return Reached::Wait;
    }
    settling_ = false;  // gone meanwhile: looked for again
  } else if (waiting_ && now < NextLook() && !WindowsChanged()) {
    return Reached::Wait;
  }
  next_look_ = now + kLookAgain;
  // A change reported while the list was read is looked at now, not left for a wake-up that
  // will not come: the window system told of it already.
  WindowMatch match;
  int looks = 0;
  do match = FindRecordedWindow(recorded, ListWindows());
  while (match.how == WindowMatch::How::Missing && WindowsChanged() && ++looks < kLooks);
  if (match.how != WindowMatch::How::Missing) {
    if (!waiting_) return Follow(recorded, match.window);
    // Shown or restored during the wait: it may still be on its way to its place.
    settling_ = true;
    settle_seen_ = std::move(match.window);
    settle_ends_ = now + kSettleFor;
    next_look_ = now + kSettleLook;
    return Reached::Wait;
  }
  auto key = std::make_tuple(recorded.class_name, recorded.title, recorded.program);
  if (!waiting_ && wait_seconds > 0 && !given_up_.contains(key)) {
    waiting_ = true;
    wait_ends_ = now + wait_seconds;
  }
  if (waiting_ && now < wait_ends_) return Reached::Wait;
  waiting_ = false;
  current_.reset();
  program_.clear();
  missing_note_ = MissingWindowText(recorded);
  if (given_up_.insert(std::move(key)).second && on_missing) on_missing(missing_note_);
  return Reached::Go;
}

Point WindowMap::Map(Point p, ScreenMap& screens, bool press) {
  program_.clear();  // a program note stands for the window entry right after it
  if (press && current_ && windows_) {
    if (std::optional<TopWindow> w = windows_->Find(current_->Now().id)) current_->MoveTo(*w);
  }
  return current_ ? current_->Map(p) : screens.Map(p);
}

}  // namespace pel
