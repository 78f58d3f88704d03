#pragma once
// A failure on its way to the procedure that reports it. Carries the runtime's error number,
// its description and the source that raised it, as the error report shows them.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace pel {

class Error : public std::runtime_error {
 public:
  Error(int32_t number, std::string description, std::string source = {})
      : std::runtime_error(description),
        number_(number),
        description_(std::move(description)),
        source_(std::move(source)) {}

  int32_t Number() const { return number_; }
  const std::string& Description() const { return description_; }
  const std::string& Source() const { return source_; }

 private:
  int32_t number_;
  std::string description_;
  std::string source_;
};

// Numbers of the runtime's own errors, with their usual descriptions.
namespace err {
constexpr int32_t kInvalidProcedureCall = 5;  // "Invalid procedure call or argument"
constexpr int32_t kOverflow = 6;              // "Overflow"
constexpr int32_t kOutOfMemory = 7;           // "Out of memory"
constexpr int32_t kSubscriptOutOfRange = 9;   // "Subscript out of range"
constexpr int32_t kBadFileName = 52;          // "Bad file name or number"
constexpr int32_t kFileNotFound = 53;         // "File not found"
constexpr int32_t kDeviceIoError = 57;        // "Device I/O error"
constexpr int32_t kDiskFull = 61;             // "Disk full"
constexpr int32_t kInputPastEnd = 62;         // "Input past end of file"
constexpr int32_t kPermissionDenied = 70;     // "Permission denied"
constexpr int32_t kPathFileAccess = 75;       // "Path/File access error"
constexpr int32_t kPathNotFound = 76;         // "Path not found"

// Of controls, pictures and windows.
constexpr int32_t kInvalidPropertyValue = 380;  // "Invalid property value"
constexpr int32_t kNotSupported = 438;          // "Object doesn't support this property or method"
constexpr int32_t kInvalidPicture = 481;        // "Invalid picture"
}  // namespace err

// The runtime's description for one of the numbers above ("Application-defined or object-defined
// error" for any other).
std::string DescribeError(int32_t number);

}  // namespace pel
