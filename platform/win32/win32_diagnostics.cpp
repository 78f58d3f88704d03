#include "platform/win32/win32_diagnostics.h"

#include "platform/error.h"
#include "platform/win32/win32_text.h"

namespace pel {

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
