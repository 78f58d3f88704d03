#include "engine/recorder.h"

#include <charconv>
#include <cmath>

#include "platform/error.h"

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
  if (RecorderState == Mode::Playing) return;
  if (RecorderState == Mode::Recording) {
    RecorderState = Mode::Idle;
    return;
  }
  // A recording started now would clear the list that a load is filling or a save is about
  // to write.
  if (load_in_progress_ || save_in_progress_) return;
  RecorderState = Mode::Recording;
}

void Recorder::StartPlaying() {
  Procedure p(host_.reporter, "mVazazEzerev.StartPlaying");
  if (p.Test(100, [&] { return RecorderState == Mode::Recording; })) return;
  if (p.Test(102, [&] { return RecorderState == Mode::Playing; })) {
    p.Step(104, [&] { RecorderState = Mode::Idle; });
    return;
  }
  p.Step(106, [&] { RecorderState = Mode::Playing; });
}

void Recorder::AddMotion(int32_t X, int32_t Y, double Delay, std::string_view Kind) {
  Procedure p(host_.reporter, "mVazazEzerev.AddMotion");
  p.Step(100, [&] {
    std::string entry;
    entry.reserve(Kind.size() + 40);
    entry.append(Kind);
    entry.push_back(',');
    entry.append(std::to_string(X));
    entry.push_back(',');
    entry.append(std::to_string(Y));
    entry.push_back(',');
    entry.append(FormatDelay(Delay));
    MotionList.Add(entry);
  });
  p.Step(102, [&] { UnsavedChanges = true; });
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

void SetMousePos(Input& input, int32_t x, int32_t y) {
  input.SetCursorPos({x, y});
}

void ClickLeft(Input& input) {
  input.Click(MouseButton::Left);
}
void ClickMiddle(Input& input) {
  input.Click(MouseButton::Middle);
}
void ClickRight(Input& input) {
  input.Click(MouseButton::Right);
}

std::string GetField(std::string_view text, int n, std::string_view delimiter) {
  if (text.empty() || delimiter.empty() || n < 1) return {};
  if (text.find(delimiter) == text.npos) return std::string(text);
  size_t start = 0;
  for (int field = 1;; ++field) {
    size_t end = text.find(delimiter, start);
    if (field == n)
      return std::string(text.substr(start, end == text.npos ? text.npos : end - start));
    if (end == text.npos) return {};
    start = end + delimiter.size();
  }
}

std::string FormatDelay(double ms) {
  if (!std::isfinite(ms)) throw Error(err::kOverflow, DescribeError(err::kOverflow));
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
  if (digits == 0) return 0;
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
  double value = 0;
  auto res = std::from_chars(number.data(), number.data() + number.size(), value);
  if (res.ec == std::errc::result_out_of_range) {
    // Underflow reads as 0; a number too large for a double is the runtime's overflow.
    if (static_cast<long>(int_digits) + exponent <= 0) return 0;
    throw Error(err::kOverflow, DescribeError(err::kOverflow));
  }
  return value;
}

}  // namespace pel
