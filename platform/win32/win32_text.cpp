#include "platform/win32/win32_text.h"

#include <climits>

#include "platform/error.h"

namespace pel {

std::wstring Widen(std::string_view utf8) {
  if (utf8.empty()) return {};
  if (utf8.size() > static_cast<size_t>(INT_MAX)) {
    throw Error(err::kBadFileName, DescribeError(err::kBadFileName));
  }
  const int in = static_cast<int>(utf8.size());
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), in, nullptr, 0);
  if (n <= 0) {
    throw Error(err::kBadFileName,
                DescribeError(err::kBadFileName) + ": the name is not valid UTF-8");
  }
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), in, out.data(), n);
  return out;
}

std::string Narrow(std::wstring_view utf16) {
  if (utf16.empty() || utf16.size() > static_cast<size_t>(INT_MAX)) return {};
  const int in = static_cast<int>(utf16.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), in, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), in, out.data(), n, nullptr, nullptr);
  return out;
}

std::string SystemMessage(DWORD code) {
  wchar_t* buf = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
  std::string text;
  if (n > 0 && buf != nullptr) text = Narrow(std::wstring_view(buf, n));
  if (buf != nullptr) LocalFree(buf);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  if (text.empty()) text = "error " + std::to_string(code);
  return text;
}

std::string LastErrorText(DWORD code) {
  return "GetLastError " + std::to_string(code) + ": " +
         (code == 0 ? std::string("no reason given") : SystemMessage(code));
}

std::string CallFailed(std::string_view call, DWORD code) {
  return std::string(call) + " failed (" + LastErrorText(code) + ")";
}

void ThrowCallFailed(std::string_view call) {
  const DWORD code = GetLastError();
  throw Error(err::kInvalidProcedureCall, CallFailed(call, code));
}

void DiagnosticLine(std::string_view text) {
  std::wstring line = L"Pelmira: ";
  try {
    line += Widen(text);
  } catch (...) {
    line += L"(text not UTF-8)";
  }
  line += L"\n";
  OutputDebugStringW(line.c_str());
}

}  // namespace pel
