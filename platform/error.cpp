#include "platform/error.h"

namespace pel {

std::string DescribeError(int32_t number) {
  // clang-format off
  switch (number) {
    case err::kInvalidProcedureCall: return "Invalid procedure call or argument";
    case err::kOverflow: return "Overflow";
    case err::kOutOfMemory: return "Out of memory";
    case err::kSubscriptOutOfRange: return "Subscript out of range";
    case err::kBadFileName: return "Bad file name or number";
    case err::kFileNotFound: return "File not found";
    case err::kDeviceIoError: return "Device I/O error";
    case err::kDiskFull: return "Disk full";
    case err::kInputPastEnd: return "Input past end of file";
    case err::kPermissionDenied: return "Permission denied";
    case err::kPathFileAccess: return "Path/File access error";
    case err::kPathNotFound: return "Path not found";
    case err::kInvalidPropertyValue: return "Invalid property value";
    case err::kNotSupported: return "Object doesn't support this property or method";
    case err::kInvalidPicture: return "Invalid picture";
    default: return "Application-defined or object-defined error";
  }
  // clang-format on
}

}  // namespace pel
