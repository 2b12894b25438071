// TPanel: a container with a raised edge, in the button face colour.
//
// Its children keep their designed pixel places or are aligned (alTop, alBottom,
// alClient) inside it; it is usually aligned itself within its form.
#pragma once

#include <QWidget>

#include "toolkit/look/color.h"
#include "toolkit/events/event_guard.h"

namespace snyltdyr {

class TPanel : public TGuarded<QWidget> {
 public:
  explicit TPanel(QWidget* parent);

  TColor Color() const { return color_; }
  void SetColor(TColor color);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  TColor color_ = clBtnFace;
};

// A raised (or, with `raised` false, sunken) one-pixel edge around `rect`.
void DrawEdge(class QPainter& painter, const QRect& rect, bool raised);

}  // namespace snyltdyr
