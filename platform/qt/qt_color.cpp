#include "platform/qt/qt_color.h"

namespace pel {

QPalette::ColorRole SystemColorRole(Color c) {
  switch (c & 0xFFu) {
    case 0x0F:  // button face
      return QPalette::Button;
    case 0x05:  // window: the background of text areas, white in the usual scheme
      return QPalette::Base;
    case 0x07:  // menu text
    case 0x08:  // window text
      return QPalette::WindowText;
    case 0x0D:
      return QPalette::Highlight;
    case 0x0E:
      return QPalette::HighlightedText;
    case 0x10:  // button shadow
      return QPalette::Dark;
    case 0x12:  // button text
      return QPalette::ButtonText;
    case 0x14:  // button highlight
      return QPalette::Light;
    case 0x15:  // dark shadow
      return QPalette::Shadow;
    case 0x16:  // light
      return QPalette::Midlight;
    case 0x17:  // tooltip text
      return QPalette::ToolTipText;
    case 0x18:  // tooltip background
      return QPalette::ToolTipBase;
    default:
      return QPalette::Window;
  }
}

QColor ResolveColor(Color c, const QPalette& palette) {
  if (color::IsSystem(c)) return palette.color(QPalette::Active, SystemColorRole(c));
  return QColor(static_cast<int>(c & 0xFFu), static_cast<int>((c >> 8) & 0xFFu),
                static_cast<int>((c >> 16) & 0xFFu));
}

}  // namespace pel
