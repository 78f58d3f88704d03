#include "engine/motionfile/screen_layout.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>

#include "engine/motionfile/motion_entry.h"
#include "engine/motionfile/window_entry.h"

namespace pel {

namespace {

constexpr std::string_view kPrimary = "primary";
constexpr std::string_view kOther = "other";

// The name as an entry holds it: one line of printable ASCII.
std::string CleanName(std::string_view name) {
  std::string out(name);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '?';
  return out;
}

bool ReadInt(std::string_view text, int32_t& value) {
  if (text.empty()) return false;
  auto res = std::from_chars(text.data(), text.data() + text.size(), value);
  return res.ec == std::errc() && res.ptr == text.data() + text.size();
}

bool Contains(const Monitor& m, Point p) {
  return p.x >= m.left && p.y >= m.top && int64_t{p.x} < int64_t{m.left} + m.width &&
         int64_t{p.y} < int64_t{m.top} + m.height;
}

// Squared distance from `p` to the nearest pixel of `m`.
int64_t Distance(const Monitor& m, Point p) {
  auto axis = [](int64_t v, int64_t lo, int64_t size) {
    return v < lo ? lo - v : v >= lo + size ? v - (lo + size - 1) : 0;
  };
  const int64_t dx = axis(p.x, m.left, m.width), dy = axis(p.y, m.top, m.height);
  return dx * dx + dy * dy;
}

// Offset `v` (pixels from the recorded monitor's edge, of `from` pixels) on `to` pixels, by the
// pixel centres: the same pixel when the sizes agree, the same place in proportion otherwise.
int64_t Scale(int64_t v, int64_t from, int64_t to) {
  if (from == to) return v;
  const int64_t num = (2 * v + 1) * to, den = 2 * from;
  int64_t q = num / den;
  if (num % den != 0 && num < 0) --q;  // floor
  return std::clamp<int64_t>(q, 0, to - 1);
}

int32_t Clamp32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// True when every name is there and no two are the same.
bool DistinctNames(const std::vector<std::string>& names) {
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i].empty()) return false;
    for (size_t j = 0; j < i; ++j)
      if (names[i] == names[j]) return false;
  }
  return true;
}

std::vector<std::string> CleanNames(const std::vector<Monitor>& monitors) {
  std::vector<std::string> names;
  names.reserve(monitors.size());
  for (const Monitor& m : monitors) names.push_back(CleanName(m.name));
  return names;
}

bool SameRect(const Monitor& a, const Monitor& b) {
  return a.left == b.left && a.top == b.top && a.width == b.width && a.height == b.height;
}

}  // namespace

std::string LayoutEntry(const Monitor& m) {
  std::string entry(kLayoutKind);
  for (int32_t v : {m.left, m.top}) {
    entry.push_back(',');
    entry.append(std::to_string(v));
  }
  entry.push_back(',');
  entry.append(std::to_string(m.width));
  entry.push_back('x');
  entry.append(std::to_string(m.height));
  entry.push_back(',');
  entry.append(m.primary ? kPrimary : kOther);
  entry.push_back(',');
  entry.append(CleanName(m.name));
  return entry;
}

bool IsLayoutEntry(std::string_view entry) {
  // Cheap refusal first: playback asks this of every entry it reaches.
  const size_t start = entry.find_first_not_of(' ');
  if (start == entry.npos || (entry[start] != 's' && entry[start] != 'S')) return false;
  const std::string kind = EntryField(entry, 1);
  if (kind.size() != kLayoutKind.size()) return false;
  for (size_t i = 0; i < kind.size(); ++i)
    if ((kind[i] | 0x20) != kLayoutKind[i]) return false;
  return true;
}

std::optional<Monitor> ReadLayoutEntry(std::string_view entry) {
  if (!IsLayoutEntry(entry)) return std::nullopt;
  // Five commas split the fixed fields; the name is everything after the fifth.
  std::string_view fields[6];
  size_t start = 0;
  for (int i = 0; i < 5; ++i) {
    const size_t comma = entry.find(',', start);
    if (comma == entry.npos) return std::nullopt;
    fields[i] = entry.substr(start, comma - start);
    start = comma + 1;
  }
  fields[5] = entry.substr(start);
  Monitor m;
  const size_t x = fields[3].find('x');
  if (x == fields[3].npos || !ReadInt(fields[1], m.left) || !ReadInt(fields[2], m.top) ||
      !ReadInt(fields[3].substr(0, x), m.width) || !ReadInt(fields[3].substr(x + 1), m.height) ||
      m.width <= 0 || m.height <= 0)
    return std::nullopt;
  if (fields[4] == kPrimary)
    m.primary = true;
  else if (fields[4] != kOther)
    return std::nullopt;
  m.name = std::string(fields[5]);
  return m;
}

void LayoutRun::Add(std::string_view entry) {
  if (refused_) return;
  std::optional<Monitor> m = ReadLayoutEntry(entry);
  if (!m || monitors_.size() == kMaxMonitors) {
    refused_ = true;
    monitors_.clear();
    return;
  }
  monitors_.push_back(std::move(*m));
}

std::optional<std::vector<Monitor>> LayoutRun::Layout() const {
  if (refused_ || monitors_.empty()) return std::nullopt;
  return monitors_;
}

std::optional<std::vector<Monitor>> ReadLayoutRun(const EntryList& list, int32_t index) {
  LayoutRun run;
  for (int32_t i = index; i >= 1 && i <= list.Count() && !run.Refused(); ++i) {
    const std::string_view entry = list.Item(i);
    if (!IsLayoutEntry(entry)) break;
    run.Add(entry);
  }
  return run.Layout();
}

bool SameGeometry(const std::vector<Monitor>& a, const std::vector<Monitor>& b) {
  if (a.size() != b.size()) return false;
  auto rects = [](const std::vector<Monitor>& layout) {
    std::vector<std::array<int32_t, 4>> r;
    r.reserve(layout.size());
    for (const Monitor& m : layout) r.push_back({m.left, m.top, m.width, m.height});
    std::sort(r.begin(), r.end());
    return r;
  };
  return rects(a) == rects(b);
}

bool HoldsNoMotion(const EntryList& list) {
  for (int32_t i = 1; i <= list.Count(); ++i)
    if (!IsNoMotionEntry(list.Item(i))) return false;
  return true;
}

bool IsNoMotionEntry(std::string_view entry) {
  return IsLayoutEntry(entry) || IsWindowEntry(entry) || IsPausesBeforeNote(entry);
}

LayoutMapping::LayoutMapping(const std::vector<Monitor>& recorded, const std::vector<Monitor>& now)
    : recorded_(recorded), now_(now), target_(recorded.size(), -1) {
  if (recorded_.empty() || now_.empty()) return;
  std::vector<bool> used(now_.size(), false);
  // Pairs each recorded monitor still unmatched with the first monitor now, unmatched too, for
  // which same(recorded index, index now) holds.
  auto match = [&](auto&& same) {
    for (size_t i = 0; i < recorded_.size(); ++i) {
      if (target_[i] >= 0) continue;
      for (size_t j = 0; j < now_.size(); ++j) {
        if (used[j] || !same(i, j)) continue;
        target_[i] = static_cast<int>(j);
        used[j] = true;
        break;
      }
    }
  };
  // The same rectangle first: monitors renamed or renumbered (a cable swap, a dock) but laid
  // out as before have not moved.
  match([&](size_t i, size_t j) { return SameRect(recorded_[i], now_[j]); });
  const std::vector<std::string> recorded_names = CleanNames(recorded_),
                                 now_names = CleanNames(now_);
  const bool named = DistinctNames(recorded_names) && DistinctNames(now_names);
  if (named) match([&](size_t i, size_t j) { return recorded_names[i] == now_names[j]; });
  match([&](size_t i, size_t j) {
    return recorded_[i].width == now_[j].width && recorded_[i].height == now_[j].height;
  });
  if (!named) match([](size_t, size_t) { return true; });

  for (size_t j = 0; j < now_.size(); ++j)
    if (now_[j].primary) {
      primary_ = static_cast<int>(j);
      break;
    }
  for (size_t i = 0; i < recorded_.size(); ++i) {
    const Monitor& r = recorded_[i];
    if (target_[i] < 0) {
      identity_ = false;
      continue;
    }
    if (!SameRect(r, now_[static_cast<size_t>(target_[i])])) identity_ = false;
  }
}

Point LayoutMapping::Map(Point p) const {
  if (identity_) return p;
  size_t from = 0;
  int64_t best = std::numeric_limits<int64_t>::max();
  for (size_t i = 0; i < recorded_.size(); ++i) {
    if (Contains(recorded_[i], p)) {
      from = i;
      break;
    }
    const int64_t d = Distance(recorded_[i], p);
    if (d < best) best = d, from = i;
  }
  const Monitor& r = recorded_[from];
  const int to = target_[from] >= 0 ? target_[from] : primary_;
  const Monitor& c = now_[static_cast<size_t>(to)];
  const int64_t dx = int64_t{p.x} - r.left, dy = int64_t{p.y} - r.top;
  if (r.width == c.width && r.height == c.height)
    return {Clamp32(c.left + dx), Clamp32(c.top + dy)};
  return {Clamp32(c.left + Scale(dx, r.width, c.width)),
          Clamp32(c.top + Scale(dy, r.height, c.height))};
}

void ScreenMap::AddLayoutEntries(EntryList& list) {
  if (!screens_) return;
  now_read_ = false;  // asked anew at each start, whatever the generation says
  written_ = Now();
  for (const Monitor& m : written_) list.Add(LayoutEntry(m));
}

void ScreenMap::FollowLayout(EntryList& list) {
  if (!screens_ || !now_read_ || screens_->Generation() == now_generation_) return;
  const std::vector<Monitor>& now = Now();
  if (now.empty() || SameGeometry(now, written_)) return;
  // A layout with nothing recorded on it describes nothing: one run is one layout. The note a
  // recording starts with stays after the run that takes its place.
  const bool note = !list.Empty() && IsPausesBeforeNote(list.Item(list.Count()));
  if (note) list.RemoveLast();
  while (!list.Empty() && IsLayoutEntry(list.Item(list.Count()))) list.RemoveLast();
  AddLayoutEntries(list);
  if (note) list.Add(kPausesBeforeNote);
}

const std::vector<Monitor>& ScreenMap::Now() {
  const uint64_t generation = screens_->Generation();
  if (!now_read_ || generation != now_generation_) {
    now_ = screens_->List();
    now_generation_ = generation;
    now_read_ = true;
  }
  return now_;
}

void ScreenMap::PlaybackStarts() {
  now_read_ = false;  // asked anew at each start, whatever the generation says
  told_ = false;
  recorded_.reset();
  current_ = LayoutMapping();
}

void ScreenMap::LayoutAt(const EntryList& list, int32_t index) {
  if (!screens_ || !mapping) return;
  std::optional<std::vector<Monitor>> layout = ReadLayoutRun(list, index);
  if (layout == recorded_) return;  // a pass over the same recording again
  recorded_ = std::move(layout);
  if (recorded_)
    Rebuild();
  else
    current_ = LayoutMapping();
}

void ScreenMap::Rebuild() {
  current_ = LayoutMapping(*recorded_, Now());
  mapped_generation_ = now_generation_;
  if (Mapped() && !told_) {
    told_ = true;
    if (on_mapped) on_mapped();
  }
}

Point ScreenMap::Map(Point p) {
  if (!recorded_) return p;
  Now();
  if (now_generation_ != mapped_generation_) Rebuild();
  return current_.Map(p);
}

}  // namespace pel
