#include "shaping/window_form.h"

#include "platform/error.h"

namespace pel {

namespace {
[[noreturn]] void NotSupported() {
  throw Error(err::kNotSupported, DescribeError(err::kNotSupported));
}
}  // namespace

int16_t WindowForm::ParentScaleMode() {
  NotSupported();
}
void WindowForm::SetParentScaleMode(int16_t) {
  NotSupported();
}
void WindowForm::SetCaption(std::string_view) {
  NotSupported();
}
void WindowForm::SetBackColor(Color) {
  NotSupported();
}
void WindowForm::Refresh() {
  NotSupported();
}
std::unique_ptr<PixelSource> WindowForm::OpenWindowPixels() {
  NotSupported();
}

}  // namespace pel
