// Colours as the window layer names them.
//
// A TColor is 0x00BBGGRR for a plain colour; the system colours (the button face, the
// window, the highlight, ...) are fixed values here, so the program looks the same on
// every desktop theme and a test can check a pixel.
#pragma once

#include <QColor>
#include <cstdint>

namespace snyltdyr {

using TColor = uint32_t;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clMaroon = 0x000080;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clNavy = 0x800000;

// System colours: a flag bit and an index, resolved by ToQColor.
inline constexpr TColor kSystemColor = 0x80000000;
inline constexpr TColor clBtnFace = kSystemColor | 15;
inline constexpr TColor clWindow = kSystemColor | 5;
inline constexpr TColor clWindowText = kSystemColor | 8;
inline constexpr TColor clHighlight = kSystemColor | 13;
inline constexpr TColor clHighlightText = kSystemColor | 14;
inline constexpr TColor clBtnShadow = kSystemColor | 16;
inline constexpr TColor clGrayText = kSystemColor | 17;
inline constexpr TColor clBtnText = kSystemColor | 18;
inline constexpr TColor clBtnHighlight = kSystemColor | 20;
inline constexpr TColor cl3DDkShadow = kSystemColor | 21;

QColor ToQColor(TColor color);

}  // namespace snyltdyr
