#include "toolkit/widgets/panel.h"

#include <QPainter>

#include "toolkit/widgets/align.h"

namespace snyltdyr {

TPanel::TPanel(QWidget* parent) : TGuarded<QWidget>(parent) { SetColor(color_); }

void TPanel::SetColor(TColor color) {
  color_ = color;
  update();
}

void DrawEdge(QPainter& painter, const QRect& rect, bool raised) {
  const QColor light = ToQColor(clBtnHighlight);
  const QColor dark = ToQColor(clBtnShadow);
  painter.setPen(raised ? light : dark);
  painter.drawLine(rect.topLeft(), rect.topRight());
  painter.drawLine(rect.topLeft(), rect.bottomLeft());
  painter.setPen(raised ? dark : light);
  painter.drawLine(rect.bottomLeft(), rect.bottomRight());
  painter.drawLine(rect.topRight(), rect.bottomRight());
}

void TPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), ToQColor(color_));
  DrawEdge(painter, rect(), true);
}

void TPanel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  ArrangeAligned(this);
}

}  // namespace snyltdyr
