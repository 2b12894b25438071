#include "toolkit/widgets/standard_controls.h"

#include "toolkit/look/qt_text.h"

namespace snyltdyr {

TLabel::TLabel(QWidget* parent, const std::string& caption) : TGuarded<QLabel>(parent) {
  SetCaption(caption);
  setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

std::string TLabel::Caption() const { return FromQString(text()); }

void TLabel::SetCaption(const std::string& caption) { setText(ToQString(caption)); }

TCheckBox::TCheckBox(QWidget* parent, const std::string& caption) : TGuarded<QCheckBox>(parent) {
  setText(ToQString(caption));
  QObject::connect(this, &QCheckBox::toggled, [this](bool) {
    Guarded([this] {
      if (OnClick) OnClick();
    });
  });
}

TEdit::TEdit(QWidget* parent) : TGuarded<QLineEdit>(parent) { SetColor(color_); }

std::string TEdit::Text() const { return FromQString(text()); }

void TEdit::SetText(const std::string& text) { setText(ToQString(text)); }

void TEdit::SetColor(TColor color) {
  color_ = color;
  QPalette p = palette();
  p.setColor(QPalette::Base, ToQColor(color));
  setPalette(p);
}

TImage::TImage(QWidget* parent) : TGuarded<QLabel>(parent) { setAlignment(Qt::AlignLeft | Qt::AlignTop); }

void TImage::SetPicture(const QPixmap& picture) { setPixmap(picture); }

TBitBtn::TBitBtn(QWidget* parent, const std::string& caption) : TGuarded<QPushButton>(parent) {
  setText(ToQString(caption));
  QObject::connect(this, &QPushButton::clicked, [this] {
    Guarded([this] {
      if (OnClick) OnClick();
    });
  });
}

void TBitBtn::SetTabStop(bool tab_stop) { setFocusPolicy(tab_stop ? Qt::StrongFocus : Qt::ClickFocus); }

}  // namespace snyltdyr
