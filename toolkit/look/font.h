// TFont: a font as the window layer describes it, and its mapping onto Qt.
//
// A font has a family name, a height in pixels and a size in points, tied together at
// 96 dots per inch: a negative height is the character height (Size 10 is height -13),
// Size = -Height * 72 / 96 and Height = -Size * 96 / 72, both rounded half away from
// zero. The stored value is kept whatever it is: Size may go to 0 or below (the "-"
// button may take it there and "+" back), and reads back as set.
//
// Drawing: a negative height -h draws with a character height of h pixels; a positive
// height +h is a cell height (character plus internal leading) and draws a little
// smaller; 0 and every height whose character would be below one pixel draw at the
// smallest pixel size the platform allows (1). "Arial" resolves through the system's
// font substitution to a metric-compatible family, so a "0" at 13 pixels is 7 wide.
//
// Every change calls OnChange, so a control can re-measure.
#pragma once

#include <QFont>
#include <cstdint>
#include <functional>
#include <string>

#include "toolkit/look/color.h"

namespace snyltdyr {

class TFont {
 public:
  TFont() = default;
  TFont(std::string name, int32_t height, TColor color, bool bold = false)
      : name_(std::move(name)), height_(height), color_(color), bold_(bold) {}
  TFont(const TFont& other)
      : name_(other.name_), height_(other.height_), color_(other.color_), bold_(other.bold_) {}
  // Takes the other font's look; this font's OnChange stays and is called.
  TFont& operator=(const TFont& other);

  const std::string& Name() const { return name_; }
  void SetName(const std::string& name);
  int32_t Height() const { return height_; }
  void SetHeight(int32_t height);
  int32_t Size() const;
  void SetSize(int32_t points);
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  bool Bold() const { return bold_; }
  void SetBold(bool bold);

  bool operator==(const TFont& other) const {
    return name_ == other.name_ && height_ == other.height_ && color_ == other.color_ &&
           bold_ == other.bold_;
  }

  std::function<void()> OnChange;

 private:
  void Changed() {
    if (OnChange) OnChange();
  }

  std::string name_ = "Arial";
  int32_t height_ = -13;
  TColor color_ = clWindowText;
  bool bold_ = false;
};

// a * b / c rounded half away from zero, as the point/pixel conversions need.
int32_t MulDiv(int32_t a, int32_t b, int32_t c);

// The Qt font that draws `font` (the colour is the caller's to apply).
QFont ToQFont(const TFont& font);

// The window's default font: "Arial", height -13, black.
TFont DefaultWindowFont();

}  // namespace snyltdyr
