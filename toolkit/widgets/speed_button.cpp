#include "toolkit/widgets/speed_button.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>

#include "toolkit/widgets/panel.h"
#include "toolkit/look/qt_text.h"

namespace snyltdyr {

TSpeedButton::TSpeedButton(QWidget* parent) : TGuarded<QWidget>(parent) {
  setFocusPolicy(Qt::NoFocus);
  setMouseTracking(true);
}

void TSpeedButton::SetCaption(const std::string& caption) {
  caption_ = caption;
  update();
}

void TSpeedButton::SetDown(bool down) {
  if (down == down_) return;
  down_ = down;
  if (down_ && group_index_ != 0 && parentWidget() != nullptr) {
    for (QObject* child : parentWidget()->children()) {
      auto* other = dynamic_cast<TSpeedButton*>(child);
      if (other != nullptr && other != this && other->group_index_ == group_index_) {
        other->SetDown(false);
      }
    }
  }
  update();
}

void TSpeedButton::SetFlat(bool flat) {
  flat_ = flat;
  update();
}

void TSpeedButton::SetGlyph(const QPixmap& glyph, int count) {
  glyph_ = glyph;
  glyph_count_ = count < 1 ? 1 : count;
  update();
}

void TSpeedButton::SetHint(const std::string& hint) {
  hint_ = hint;
  UpdateToolTip();
}

void TSpeedButton::SetShowHint(bool show) {
  show_hint_ = show;
  UpdateToolTip();
}

void TSpeedButton::UpdateToolTip() { setToolTip(show_hint_ ? ToQString(hint_) : QString()); }

void TSpeedButton::SetOwnFont(const TFont& font) {
  own_font_ = font;
  setFont(ToQFont(font));
  update();
}

void TSpeedButton::Click() {
  if (group_index_ != 0) {
    if (!down_) {
      SetDown(true);
    } else if (allow_all_up_) {
      SetDown(false);
    }
  }
  if (OnClick) OnClick();
}

QPixmap TSpeedButton::GlyphImage() const {
  if (glyph_.isNull()) return {};
  const int width = glyph_.width() / glyph_count_;
  const int index = (!isEnabled() && glyph_count_ > 1) ? 1 : 0;
  return glyph_.copy(index * width, 0, width, glyph_.height());
}

void TSpeedButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const bool sunken = down_ || (pressed_ && mouse_inside_);
  QColor face = palette().color(QPalette::Window);
  if (down_ && !pressed_) face = face.lighter(104);
  painter.fillRect(rect(), face);
  if (sunken) {
    DrawEdge(painter, rect(), false);
  } else if (!flat_ || (mouse_inside_ && isEnabled())) {
    DrawEdge(painter, rect(), true);
  }
  const int shift = sunken ? 1 : 0;
  const QPixmap glyph = GlyphImage();
  if (!glyph.isNull()) {
    painter.drawPixmap((width() - glyph.width()) / 2 + shift,
                       (height() - glyph.height()) / 2 + shift, glyph);
  }
  if (!caption_.empty()) {
    const QRect text_rect = rect().translated(shift, shift);
    const QColor text_color = own_font_ ? ToQColor(own_font_->Color())
                                        : palette().color(QPalette::WindowText);
    if (!isEnabled()) {
      painter.setPen(ToQColor(clBtnHighlight));
      painter.drawText(text_rect.translated(1, 1), Qt::AlignCenter, ToQString(caption_));
      painter.setPen(ToQColor(clBtnShadow));
    } else {
      painter.setPen(text_color);
    }
    painter.drawText(text_rect, Qt::AlignCenter, ToQString(caption_));
  }
}

void TSpeedButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !isEnabled()) return;
  pressed_ = true;
  mouse_inside_ = true;
  update();
}

void TSpeedButton::mouseMoveEvent(QMouseEvent* event) {
  const bool inside = rect().contains(event->position().toPoint());
  if (inside == mouse_inside_) return;
  mouse_inside_ = inside;
  update();
}

void TSpeedButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !pressed_) return;
  pressed_ = false;
  const bool inside = rect().contains(event->position().toPoint());
  mouse_inside_ = inside;
  update();
  if (inside) Click();
}

void TSpeedButton::enterEvent(QEnterEvent*) {
  mouse_inside_ = true;
  update();
}

void TSpeedButton::leaveEvent(QEvent*) {
  mouse_inside_ = false;
  update();
}

void TSpeedButton::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) {
    if (!isEnabled()) pressed_ = false;
    update();
  }
  QWidget::changeEvent(event);
}

}  // namespace snyltdyr
