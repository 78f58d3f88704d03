// Playback takes loaded entries apart with GetField and reads their numbers with LeadingNumber;
// a loaded file may put anything there. Input: byte 0 picks the field number, byte 1 the
// delimiter length (0 to 3), then the delimiter, then the text. The first eight bytes also
// make a delay that must survive FormatDelay and LeadingNumber.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "engine/motionfile/motion_entry.h"
#include "fuzz/fuzz_check.h"
#include "platform/error.h"

namespace {

using namespace pel;

using pel::fuzz::Check;

std::string ModelField(std::string_view text, int n, std::string_view delim) {
  if (text.empty() || delim.empty() || n < 1) return {};
  // Without a delimiter the whole text is every field.
  if (text.find(delim) == std::string_view::npos) return std::string(text);
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (;;) {
    size_t end = text.find(delim, start);
    if (end == std::string_view::npos) {
      fields.push_back(text.substr(start));
      break;
    }
    fields.push_back(text.substr(start, end - start));
    start = end + delim.size();
  }
  return n <= static_cast<int>(fields.size()) ? std::string(fields[static_cast<size_t>(n - 1)])
                                              : std::string();
}

// Length of the plain decimal number at the start of `t` (sign, digits, point, exponent), or 0.
size_t PlainNumberLength(std::string_view t) {
  size_t i = 0, digits = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, ++digits;
  if (i < t.size() && t[i] == '.')
    for (++i; i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])); ++i) ++digits;
  if (digits == 0) return 0;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    size_t k = i + 1;
    if (k < t.size() && (t[k] == '+' || t[k] == '-')) ++k;
    if (k < t.size() && std::isdigit(static_cast<unsigned char>(t[k]))) {
      while (k < t.size() && std::isdigit(static_cast<unsigned char>(t[k]))) ++k;
      i = k;
    }
  }
  return i;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int n = static_cast<int8_t>(data[0]);
  const size_t dlen = std::min<size_t>(data[1] & 3, size - 2);
  const std::string_view delim(reinterpret_cast<const char*>(data + 2), dlen);
  const std::string_view text(reinterpret_cast<const char*>(data + 2 + dlen), size - 2 - dlen);

  Check(GetField(text, n, delim) == ModelField(text, n, delim), "GetField as the model");
  Check(GetField(text, n, ",") == ModelField(text, n, ","), "GetField with a comma");

  double value = 0;
  bool overflow = false;
  try {
    value = LeadingNumber(text);
  } catch (const Error& e) {
    Check(e.Number() == err::kOverflow, "only overflow is raised");
    overflow = true;
  }
  if (!overflow) {
    Check(std::isfinite(value), "a finite number");
    const size_t len = PlainNumberLength(text);
    if (len == 0) {
      Check(value == 0, "no number reads as 0");
    } else {
      const std::string prefix(text.substr(0, len));
      const double want = std::strtod(prefix.c_str(), nullptr);
      Check(value == want || (std::fabs(want) < 1e-300 && std::fabs(value) < 1e-300),
            "the same number as strtod");
    }
  }

  if (size >= 8) {
    double d;
    std::memcpy(&d, data, sizeof d);
    if (std::isfinite(d)) {
      const std::string s = FormatDelay(d);
      Check(s.find_first_not_of("-0123456789.") == std::string::npos, "plain digits and point");
      Check(s.find(',') == std::string::npos && s.find('e') == std::string::npos, "no comma");
      try {
        const double back = LeadingNumber(s);
        Check(std::fabs(back - d) <= std::fabs(d) * 1e-14, "a delay reads back");
      } catch (const Error&) {
        // Rounded to 15 digits, the very largest doubles exceed the largest one.
        Check(std::fabs(d) > 1.79769313486231e308, "only the largest delays overflow");
      }
    }
  }
  return 0;
}
