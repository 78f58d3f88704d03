#include "engine/motionfile/window_entry.h"

#include <charconv>
#include <vector>

#include "engine/motionfile/motion_entry.h"
#include "engine/motionfile/motion_file.h"

namespace pel {

namespace {

constexpr std::string_view kNone = "none";
constexpr std::string_view kProgram = "program";

bool SameIgnoringCase(std::string_view a, std::string_view lower) {
  if (a.size() != lower.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if ((a[i] | 0x20) != lower[i]) return false;
  return true;
}

std::string_view TrimBlanks(std::string_view s) {
  const size_t b = s.find_first_not_of(' ');
  if (b == s.npos) return {};
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

bool ReadInt(std::string_view text, int32_t& value) {
  text = TrimBlanks(text);
  if (text.empty()) return false;
  auto res = std::from_chars(text.data(), text.data() + text.size(), value);
  return res.ec == std::errc() && res.ptr == text.data() + text.size();
}

// The length of the well-formed UTF-8 sequence at `i` (no overlong form, no surrogate, nothing
// past U+10FFFF), or 0.
size_t Utf8Length(std::string_view s, size_t i) {
  const auto byte = [&](size_t k) { return k < s.size() ? static_cast<unsigned char>(s[k]) : 0u; };
  const unsigned c = byte(i);
  size_t n = 0;
  unsigned lo = 0x80, hi = 0xBF;  // the range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (byte(i + 1) < lo || byte(i + 1) > hi) return 0;
  for (size_t k = 2; k < n; ++k)
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
  return n;
}

void PutHex(std::string& out, unsigned char c) {
  constexpr char kHex[] = "0123456789ABCDEF";
  out.push_back('%');
  out.push_back(kHex[c >> 4]);
  out.push_back(kHex[c & 0xF]);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// One unit of `text` at `i` as Escape writes it: its bytes in `text`, and whether it goes as %XX.
// `field`: for an entry, where commas separate fields and blanks at the ends are trimmed.
struct Unit {
  size_t bytes;
  bool hex;
};
Unit UnitAt(std::string_view text, size_t i, bool field) {
  const auto c = static_cast<unsigned char>(text[i]);
  if (c >= 0x80) {
    const size_t n = Utf8Length(text, i);
    // A C1 control's lead byte goes alone; its second byte is then no UTF-8 and goes too.
    const bool c1 = n == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
    if (n == 0 || c1) return {1, true};
    return {n, false};
  }
  const bool edge_blank = field && c == ' ' && (i == 0 || i + 1 == text.size());
  return {1, c < 0x20 || c == 0x7F || c == '%' || (field && c == ',') || edge_blank};
}

std::string Escape(std::string_view text, bool field) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const Unit u = UnitAt(text, i, field);
    if (u.hex)
      PutHex(out, static_cast<unsigned char>(text[i]));
    else
      out.append(text.substr(i, u.bytes));
    i += u.bytes;
  }
  return out;
}

}  // namespace

std::string EscapeWindowText(std::string_view text) {
  return Escape(text, true);
}

std::string ShownWindowText(std::string_view text) {
  return Escape(text, false);
}

std::string UnescapeWindowText(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (size_t i = 0; i < field.size(); ++i) {
    const int hi = field[i] == '%' && i + 2 < field.size() ? HexValue(field[i + 1]) : -1;
    const int lo = hi >= 0 ? HexValue(field[i + 2]) : -1;
    if (lo < 0) {
      out.push_back(field[i]);
      continue;
    }
    out.push_back(static_cast<char>(hi * 16 + lo));
    i += 2;
  }
  return out;
}

std::string ShortenWindowText(std::string_view text, size_t most) {
  if (Escape(text, true).size() <= most) return std::string(text);
  size_t used = 0, i = 0;
  while (i < text.size()) {
    const Unit u = UnitAt(text, i, true);
    // A blank that ends the text kept goes as %20.
    const size_t last = text[i] == ' ' ? 3 : u.hex ? 3 : u.bytes;
    if (used + last > most) break;
    used += u.hex ? 3 : u.bytes;
    i += u.bytes;
  }
  return std::string(text.substr(0, i));
}

void KeepWindowTexts(TopWindow& w) {
  w.class_name = ShortenWindowText(w.class_name, kKeptClassBytes);
  w.title = ShortenWindowText(w.title, kKeptTitleBytes);
  w.program = ShortenWindowText(w.program, kKeptProgramBytes);
}

std::string WindowEntry(const std::optional<TopWindow>& window) {
  std::string entry(kWindowKind);
  entry.push_back(',');
  if (!window) return entry.append(kNone);
  entry.append(std::to_string(window->left)).append(",");
  entry.append(std::to_string(window->top)).append(",");
  entry.append(std::to_string(window->width)).append("x");
  entry.append(std::to_string(window->height)).append(",");
  entry.append(EscapeWindowText(ShortenWindowText(window->class_name, kKeptClassBytes)));
  entry.append(",");
  entry.append(EscapeWindowText(ShortenWindowText(window->title, kKeptTitleBytes)));
  return entry;
}

std::string ProgramNote(std::string_view program) {
  std::string entry(kWindowKind);
  entry.append(",").append(kProgram).append(",");
  return entry.append(EscapeWindowText(ShortenWindowText(program, kKeptProgramBytes)));
}

bool IsWindowEntry(std::string_view entry) {
  // Cheap refusal first: playback asks this of every entry it reaches.
  const size_t start = entry.find_first_not_of(' ');
  if (start == entry.npos || (entry[start] | 0x20) != 'w') return false;
  return SameIgnoringCase(EntryField(entry, 1), kWindowKind);
}

std::optional<WindowNote> ReadWindowEntry(std::string_view entry) {
  if (!IsWindowEntry(entry)) return std::nullopt;
  std::vector<std::string_view> fields;
  for (size_t start = 0;;) {
    const size_t comma = entry.find(',', start);
    fields.push_back(entry.substr(start, comma == entry.npos ? entry.npos : comma - start));
    if (comma == entry.npos) break;
    start = comma + 1;
  }
  if (fields.size() == 2 && SameIgnoringCase(TrimBlanks(fields[1]), kNone)) return WindowNote{};
  if (fields.size() == 3 && SameIgnoringCase(TrimBlanks(fields[1]), kProgram)) {
    return WindowNote{std::nullopt, ShortenWindowText(UnescapeWindowText(TrimBlanks(fields[2])),
                                                      kKeptProgramBytes)};
  }
  if (fields.size() != 6) return std::nullopt;
  TopWindow w;
  const std::string_view size = fields[3];
  const size_t x = size.find('x');
  if (x == size.npos || !ReadInt(fields[1], w.left) || !ReadInt(fields[2], w.top) ||
      !ReadInt(size.substr(0, x), w.width) || !ReadInt(size.substr(x + 1), w.height) ||
      w.width <= 0 || w.height <= 0)
    return std::nullopt;
  w.class_name = UnescapeWindowText(TrimBlanks(fields[4]));
  w.title = UnescapeWindowText(TrimBlanks(fields[5]));
  KeepWindowTexts(w);
  return WindowNote{std::move(w), std::nullopt};
}

bool NextEntryLine(MotionLineReader& reader, std::string_view& line, std::string& kept) {
  if (!reader.Next(line, kLongestWindowLine)) return false;
  if (line.size() <= kLongestLine || line.size() > kLongestWindowLine) return true;
  // Refused like any other long line unless it is a window entry that can be read.
  const std::optional<WindowNote> note = ReadWindowEntry(line);
  if (!note) return true;
  kept = note->program ? ProgramNote(*note->program) : WindowEntry(note->window);
  line = kept;
  return true;
}

}  // namespace pel
