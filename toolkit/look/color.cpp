#include "toolkit/look/color.h"

namespace snyltdyr {

QColor ToQColor(TColor color) {
  if ((color & kSystemColor) == 0) {
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>((color >> 16) & 0xFF));
  }
  switch (color) {
    case clBtnFace: return QColor(0xF0, 0xF0, 0xF0);
    case clWindow: return QColor(0xFF, 0xFF, 0xFF);
    case clWindowText: return QColor(0, 0, 0);
    case clHighlight: return QColor(0x00, 0x78, 0xD7);
    case clHighlightText: return QColor(0xFF, 0xFF, 0xFF);
    case clBtnShadow: return QColor(0xA0, 0xA0, 0xA0);
    case clGrayText: return QColor(0x6D, 0x6D, 0x6D);
    case clBtnText: return QColor(0, 0, 0);
    case clBtnHighlight: return QColor(0xFF, 0xFF, 0xFF);
    case cl3DDkShadow: return QColor(0x69, 0x69, 0x69);
    default: return QColor(0, 0, 0);
  }
}

}  // namespace snyltdyr
