#include "toolkit/widgets/align.h"

#include <QVariant>
#include <QWidget>
#include <algorithm>
#include <vector>

namespace snyltdyr {
namespace {

constexpr const char* kAlignProperty = "snyltdyr_align";
constexpr const char* kOrderProperty = "snyltdyr_align_order";

int NextOrder() {
  static int order = 0;
  return ++order;
}

std::vector<QWidget*> AlignedChildren(QWidget* parent, TAlign align) {
  std::vector<QWidget*> out;
  for (QObject* child : parent->children()) {
    auto* widget = qobject_cast<QWidget*>(child);
    if (widget != nullptr && !widget->isWindow() && widget->isVisibleTo(parent) &&
        AlignOf(widget) == align) {
      out.push_back(widget);
    }
  }
  std::sort(out.begin(), out.end(), [](const QWidget* a, const QWidget* b) {
    return a->property(kOrderProperty).toInt() < b->property(kOrderProperty).toInt();
  });
  return out;
}

}  // namespace

void SetAlign(QWidget* control, TAlign align) {
  control->setProperty(kAlignProperty, static_cast<int>(align));
  control->setProperty(kOrderProperty, NextOrder());
  if (control->parentWidget() != nullptr) ArrangeAligned(control->parentWidget());
}

TAlign AlignOf(const QWidget* control) {
  const QVariant value = control->property(kAlignProperty);
  return value.isValid() ? static_cast<TAlign>(value.toInt()) : alNone;
}

void ArrangeAligned(QWidget* parent) {
  QRect space = parent->rect();
  for (QWidget* w : AlignedChildren(parent, alTop)) {
    w->setGeometry(space.left(), space.top(), space.width(), w->height());
    space.setTop(space.top() + w->height());
  }
  for (QWidget* w : AlignedChildren(parent, alBottom)) {
    w->setGeometry(space.left(), space.bottom() + 1 - w->height(), space.width(), w->height());
    space.setBottom(space.bottom() - w->height());
  }
  for (QWidget* w : AlignedChildren(parent, alClient)) {
    w->setGeometry(space.left(), space.top(), space.width(), std::max(0, space.height()));
  }
}

}  // namespace snyltdyr
