#pragma once
// The indicator pictures: JPEG files built into the program as RCDATA resources and decoded with
// the Windows Imaging Component into the 0x00BBGGRR pixels that the shaping code reads and the
// window draws, so that the outline and the face come from the very same pixels.

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/picture.h"

namespace pel {

// The resource name of a picture file: "rec.jpg" -> "REC_JPG".
std::wstring PictureResourceName(std::string_view file);
// Decodes an encoded picture (JPEG, PNG, BMP) held in memory. Throws pel::Error naming the
// failing call and its HRESULT.
Image DecodePicture(const void* data, size_t size);
// Decodes the picture resource for `file` from `module` (nullptr: this program). Throws
// pel::Error 53 when the resource is missing.
Image LoadPictureResource(HMODULE module, std::string_view file);

}  // namespace pel
