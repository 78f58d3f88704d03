#include "engine/motionfile/motion_entry.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "engine/motionfile/screen_layout.h"
#include "platform/error.h"

namespace pel {

namespace {

struct KindTraits {
  std::string_view text;
  KindAction action;
  MouseButton button = MouseButton::Left;
  WheelAxis axis = WheelAxis::Vertical;
};

// In MotionKind's order.
constexpr KindTraits kKinds[kMotionKinds] = {
    {"move", KindAction::Move},
    {"Left", KindAction::Click, MouseButton::Left},
    {"Middle", KindAction::Click, MouseButton::Middle},
    {"Right", KindAction::Click, MouseButton::Right},
    {"LeftDown", KindAction::Press, MouseButton::Left},
    {"LeftUp", KindAction::Release, MouseButton::Left},
    {"MiddleDown", KindAction::Press, MouseButton::Middle},
    {"MiddleUp", KindAction::Release, MouseButton::Middle},
    {"RightDown", KindAction::Press, MouseButton::Right},
    {"RightUp", KindAction::Release, MouseButton::Right},
    {"X1Down", KindAction::Press, MouseButton::X1},
    {"X1Up", KindAction::Release, MouseButton::X1},
    {"X2Down", KindAction::Press, MouseButton::X2},
    {"X2Up", KindAction::Release, MouseButton::X2},
    {"Wheel", KindAction::Wheel, MouseButton::Left, WheelAxis::Vertical},
    {"HWheel", KindAction::Wheel, MouseButton::Left, WheelAxis::Horizontal},
};

const KindTraits& Traits(MotionKind kind) {
  return kKinds[static_cast<int>(kind)];
}

MotionKind FindKind(KindAction action, MouseButton button, WheelAxis axis) {
  for (int k = 0; k < kMotionKinds; ++k) {
    const KindTraits& t = kKinds[k];
    if (t.action == action && t.button == button && t.axis == axis)
      return static_cast<MotionKind>(k);
  }
  return MotionKind::Move;  // no such kind: a click of a side button
}

[[noreturn]] void Overflow() {
  throw Error(err::kOverflow, DescribeError(err::kOverflow));
}

std::string_view TrimSpaces(std::string_view s) {
  size_t b = s.find_first_not_of(' ');
  if (b == s.npos) return {};
  size_t e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (upper(a[i]) != upper(b[i])) return false;
  return true;
}

// Field `n` of `text` as GetField gives it.
std::string_view Field(std::string_view text, int n, std::string_view delimiter) {
  if (text.empty() || delimiter.empty() || n < 1) return {};
  if (text.find(delimiter) == text.npos) return text;
  size_t start = 0;
  for (int field = 1;; ++field) {
    size_t end = text.find(delimiter, start);
    if (field == n) return text.substr(start, end == text.npos ? text.npos : end - start);
    if (end == text.npos) return {};
    start = end + delimiter.size();
  }
}

// Field `n` of an entry as EntryField gives it.
std::string_view FieldView(std::string_view entry, int n) {
  return TrimSpaces(Field(entry, n, ","));
}

// The number at the start of `text`, as LeadingNumber reads it; false when it does not fit.
bool ReadNumber(std::string_view text, double& value) {
  value = 0;
  auto is_digit = [&](size_t k) { return k < text.size() && text[k] >= '0' && text[k] <= '9'; };
  size_t i = 0;
  const bool negative = i < text.size() && text[i] == '-';
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  const size_t mantissa = i;
  size_t digits = 0, int_digits = 0;
  bool leading = true;  // still in leading zeros of the integer part
  for (; is_digit(i); ++i, ++digits)
    if (!(leading && text[i] == '0')) leading = false, ++int_digits;
  if (i < text.size() && text[i] == '.')
    for (++i; is_digit(i); ++i) ++digits;
  if (digits == 0) return true;
  size_t end = i;
  long exponent = 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t k = i + 1;
    bool exp_negative = k < text.size() && text[k] == '-';
    if (k < text.size() && (text[k] == '+' || text[k] == '-')) ++k;
    if (is_digit(k)) {
      for (; is_digit(k); ++k)
        if (exponent < 100000) exponent = exponent * 10 + (text[k] - '0');
      if (exp_negative) exponent = -exponent;
      end = k;
    }
  }
  // from_chars takes no '+' and reads "." only as the decimal point, whatever the locale.
  std::string number(negative ? "-" : "");
  number.append(text.substr(mantissa, end - mantissa));
  auto res = std::from_chars(number.data(), number.data() + number.size(), value);
  if (res.ec == std::errc::result_out_of_range) {
    // Underflow reads as 0; a number too large for a double does not fit.
    value = 0;
    return static_cast<long>(int_digits) + exponent <= 0;
  }
  return true;
}

// A coordinate or wheel step: the leading number rounded half to even; false outside 32 bits.
bool ReadCoordinate(std::string_view text, int32_t& value) {
  double v = 0;
  if (!ReadNumber(text, v)) return false;
  v = std::nearbyint(v);
  if (!(v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max()))
    return false;
  value = static_cast<int32_t>(v);
  return true;
}

}  // namespace

std::string_view KindText(MotionKind kind) {
  return Traits(kind).text;
}

KindAction ActionOf(MotionKind kind) {
  return Traits(kind).action;
}

MouseButton ButtonOf(MotionKind kind) {
  return Traits(kind).button;
}

WheelAxis AxisOf(MotionKind kind) {
  return Traits(kind).axis;
}

MotionKind PressKind(MouseButton button) {
  return FindKind(KindAction::Press, button, WheelAxis::Vertical);
}

MotionKind ReleaseKind(MouseButton button) {
  return FindKind(KindAction::Release, button, WheelAxis::Vertical);
}

std::optional<MotionKind> ClickKind(MouseButton button) {
  const MotionKind kind = FindKind(KindAction::Click, button, WheelAxis::Vertical);
  if (ActionOf(kind) != KindAction::Click) return std::nullopt;
  return kind;
}

MotionKind WheelKind(WheelAxis axis) {
  return FindKind(KindAction::Wheel, MouseButton::Left, axis);
}

std::string FormatEntry(std::string_view kind, int32_t x, int32_t y, double delay_ms) {
  std::string entry;
  entry.reserve(kind.size() + 40);
  entry.append(kind);
  entry.push_back(',');
  entry.append(std::to_string(x));
  entry.push_back(',');
  entry.append(std::to_string(y));
  entry.push_back(',');
  entry.append(FormatDelay(delay_ms));
  return entry;
}

std::optional<MotionKind> EntryKind(std::string_view entry) {
  const std::string_view field = FieldView(entry, 1);
  for (int k = 0; k < kMotionKinds; ++k)
    if (SameIgnoringCase(field, kKinds[k].text)) return static_cast<MotionKind>(k);
  return std::nullopt;
}

std::string EntryField(std::string_view entry, int n) {
  return std::string(FieldView(entry, n));
}

EntryReading ReadMotionEntry(std::string_view entry) {
  EntryReading r;
  const std::optional<MotionKind> kind = EntryKind(entry);
  if (!kind) return r;
  r.motion = true;
  MotionEntry& e = r.entry;
  e.kind = *kind;
  if (!ReadCoordinate(FieldView(entry, 2), e.x) || !ReadCoordinate(FieldView(entry, 3), e.y))
    r.failed = EntryReading::Part::Point;
  else if (!ReadNumber(FieldView(entry, 4), e.delay_ms))
    r.failed = EntryReading::Part::Delay;
  else if (ActionOf(e.kind) == KindAction::Wheel && !ReadCoordinate(FieldView(entry, 5), e.delta))
    r.failed = EntryReading::Part::Delta;
  return r;
}

void EntryReading::Check(Part part) const {
  if (part != Part::None && part == failed) Overflow();
}

std::optional<MotionEntry> ReadEntry(std::string_view entry) {
  const EntryReading r = ReadMotionEntry(entry);
  if (!r.motion) return std::nullopt;
  r.Check(r.failed);
  return r.entry;
}

std::string FormatEntry(const MotionEntry& entry) {
  std::string text = FormatEntry(KindText(entry.kind), entry.x, entry.y, entry.delay_ms);
  if (ActionOf(entry.kind) == KindAction::Wheel) {
    text.push_back(',');
    text.append(std::to_string(entry.delta));
  }
  return text;
}

bool IsPausesBeforeNote(std::string_view entry) {
  const std::string_view note = kPausesBeforeNote;
  const size_t comma = note.find(',');
  return SameIgnoringCase(FieldView(entry, 1), note.substr(0, comma)) &&
         SameIgnoringCase(FieldView(entry, 2), note.substr(comma + 1));
}

void PausesBeforeRule::Next(std::string_view entry) {
  if (settled_ || IsLayoutEntry(entry)) return;
  settled_ = true;
  pauses_before_ = IsPausesBeforeNote(entry);
}

std::string GetField(std::string_view text, int n, std::string_view delimiter) {
  return std::string(Field(text, n, delimiter));
}

std::string FormatDelay(double ms) {
  if (!std::isfinite(ms)) Overflow();
  if (ms == 0) return "0";
  // Round to 15 significant digits first, then lay the digits out without an exponent.
  char sci[40];
  auto res = std::to_chars(sci, sci + sizeof sci, ms, std::chars_format::scientific, 14);
  std::string_view s(sci, static_cast<size_t>(res.ptr - sci));
  std::string out;
  if (s.front() == '-') {
    out.push_back('-');
    s.remove_prefix(1);
  }
  size_t e = s.find('e');
  int exponent = 0;
  std::from_chars(s.data() + e + 1 + (s[e + 1] == '+'), s.data() + s.size(), exponent);
  std::string digits;
  for (char c : s.substr(0, e))
    if (c != '.') digits.push_back(c);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  const int count = static_cast<int>(digits.size());
  if (exponent < 0) {
    out.append("0.");
    out.append(static_cast<size_t>(-exponent - 1), '0');
    out.append(digits);
  } else if (exponent + 1 >= count) {
    out.append(digits);
    out.append(static_cast<size_t>(exponent + 1 - count), '0');
  } else {
    out.append(digits, 0, static_cast<size_t>(exponent + 1));
    out.push_back('.');
    out.append(digits, static_cast<size_t>(exponent + 1));
  }
  return out;
}

double LeadingNumber(std::string_view text) {
  double value = 0;
  if (!ReadNumber(text, value)) Overflow();
  return value;
}

}  // namespace pel
