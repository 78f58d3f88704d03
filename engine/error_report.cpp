#include "engine/error_report.h"

#include <new>

#include "platform/error.h"

namespace pel {

std::string ErrorReporter::Text(std::string_view description, std::string_view location, int step) {
  std::string text;
  text.reserve(description.size() + location.size() + 96);
  text.append(description);
  text.append("\r\n");
  text.append("in Torvane2021/08/31.");
  text.append(location);
  text.append(" ");
  text.append("at line ");
  text.append(std::to_string(step));
  text.append("\r\r");
  text.append("Please email screenshot of this message to ");
  text.append(kSupportAddress);
  return text;
}

void ErrorReporter::Report(std::string_view description, std::string_view location, int step) {
  dialogs_.MessageBox(Text(description, location, step), "Application Error", MsgButtons::Ok,
                      MsgIcon::Exclamation);
}

std::string ErrorReporter::Describe(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const Error& e) {
    return e.Description();
  } catch (const std::bad_alloc&) {
    return DescribeError(err::kOutOfMemory);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return DescribeError(-1);
  }
}

void Procedure::Fail(const std::exception_ptr& failure) {
  ++failures_;
  std::string description = ErrorReporter::Describe(failure);
  try {
    reporter_.Report(description, location_, last_step_);
  } catch (...) {
    // A report that cannot be shown must not end the procedure it reports on.
  }
}

}  // namespace pel
