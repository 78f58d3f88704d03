#include "platform/win32/win32_text.h"

#include <cstdint>

#include "platform/error.h"

namespace pel {

namespace {

[[noreturn]] void NotUtf8() {
  throw Error(err::kBadFileName,
              DescribeError(err::kBadFileName) + ": the name is not valid UTF-8");
}

bool IsHighSurrogate(uint32_t u) {
  return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(uint32_t u) {
  return u >= 0xDC00 && u <= 0xDFFF;
}

}  // namespace

std::wstring Widen(std::string_view utf8) {
  std::wstring out;
  out.reserve(utf8.size());
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const size_t n = utf8.size();
  // The lowest code point each length may carry, against overlong forms.
  static constexpr uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  for (size_t i = 0; i < n;) {
    const unsigned char b = p[i];
    size_t len = 0;
    uint32_t c = 0;
    if (b < 0x80) {
      len = 1;
      c = b;
    } else if (b >= 0xC2 && b <= 0xDF) {
      len = 2;
      c = b & 0x1Fu;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3;
      c = b & 0x0Fu;
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4;
      c = b & 0x07u;
    } else {
      NotUtf8();
    }
    if (n - i < len) NotUtf8();
    for (size_t k = 1; k < len; ++k) {
      if ((p[i + k] & 0xC0u) != 0x80u) NotUtf8();
      c = (c << 6) | (p[i + k] & 0x3Fu);
    }
    if (c < kLeast[len] || c > 0x10FFFF) NotUtf8();
    i += len;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<wchar_t>(0xD800 + (c >> 10));
      out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
      continue;
    }
    // A pair has its four-byte form; written as two lone surrogates it is refused, so that each
    // name has one spelling. (A high surrogate at the end of `out` came alone: a four-byte form
    // ends with a low one.)
    if (IsLowSurrogate(c) && !out.empty() && IsHighSurrogate(static_cast<uint16_t>(out.back())))
      NotUtf8();
    out += static_cast<wchar_t>(c);
  }
  return out;
}

std::string Narrow(std::wstring_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (size_t i = 0; i < utf16.size(); ++i) {
    uint32_t c = static_cast<uint16_t>(utf16[i]);
    if (IsHighSurrogate(c) && i + 1 < utf16.size() &&
        IsLowSurrogate(static_cast<uint16_t>(utf16[i + 1]))) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint16_t>(utf16[++i]) - 0xDC00);
    }
    // An unpaired surrogate takes the three-byte form of its own value.
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace pel
