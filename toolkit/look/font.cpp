#include "toolkit/look/font.h"

#include "toolkit/look/qt_text.h"

namespace snyltdyr {

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
  const int64_t product = static_cast<int64_t>(a) * b;
  const int64_t half = (c < 0 ? -c : c) / 2;
  const bool negative = (product < 0) != (c < 0);
  const int64_t magnitude = ((product < 0 ? -product : product) + half) / (c < 0 ? -c : c);
  return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

TFont& TFont::operator=(const TFont& other) {
  if (*this == other) return *this;
  name_ = other.name_;
  height_ = other.height_;
  color_ = other.color_;
  bold_ = other.bold_;
  Changed();
  return *this;
}

void TFont::SetName(const std::string& name) {
  if (name == name_) return;
  name_ = name;
  Changed();
}

void TFont::SetHeight(int32_t height) {
  if (height == height_) return;
  height_ = height;
  Changed();
}

int32_t TFont::Size() const { return -MulDiv(height_, 72, 96); }

void TFont::SetSize(int32_t points) { SetHeight(-MulDiv(points, 96, 72)); }

void TFont::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  Changed();
}

void TFont::SetBold(bool bold) {
  if (bold == bold_) return;
  bold_ = bold;
  Changed();
}

QFont ToQFont(const TFont& font) {
  QFont q(ToQString(font.Name()));
  // A cell height holds about a fifth of internal leading above the character.
  int pixels = font.Height() < 0 ? -font.Height() : font.Height() * 4 / 5;
  q.setPixelSize(pixels < 1 ? 1 : pixels);
  q.setBold(font.Bold());
  // Whole-pixel advances, as the layout arithmetic of the controls counts pixels.
  q.setHintingPreference(QFont::PreferFullHinting);
  q.setStyleStrategy(QFont::PreferDefault);
  return q;
}

TFont DefaultWindowFont() { return TFont("Arial", -13, clBlack); }

}  // namespace snyltdyr
