#include "toolkit/widgets/form.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QScreen>

#include "toolkit/widgets/align.h"
#include "toolkit/look/qt_text.h"

namespace snyltdyr {

TForm::TForm() {
  setAutoFillBackground(true);
  SetColor(color_);
  font_.OnChange = [this] { ApplyFont(); };
  ApplyFont();
}

std::string TForm::Caption() const { return FromQString(windowTitle()); }

void TForm::SetCaption(const std::string& caption) { setWindowTitle(ToQString(caption)); }

void TForm::SetColor(TColor color) {
  color_ = color;
  QPalette p = palette();
  p.setColor(QPalette::Window, ToQColor(color));
  p.setColor(QPalette::Button, ToQColor(color));
  setPalette(p);
}

void TForm::ApplyFont() {
  setFont(ToQFont(font_));
  QPalette p = palette();
  p.setColor(QPalette::WindowText, ToQColor(font_.Color()));
  p.setColor(QPalette::Text, ToQColor(font_.Color()));
  p.setColor(QPalette::ButtonText, ToQColor(font_.Color()));
  setPalette(p);
}

void TForm::ShowMaximized(const QRect& restored) {
  restored_ = restored;
  setGeometry(restored);
  // Without a window manager nothing maximises the window: take the available area of
  // the screen first, so the window is as large either way.
  if (QScreen* s = screen()) setGeometry(s->availableGeometry());
  setWindowState(windowState() | Qt::WindowMaximized);
  show();
  // The first window of the program takes the keyboard (also where no window manager
  // hands it over).
  activateWindow();
}

bool TForm::RunKeyDown(const QKeyEvent& event) {
  uint16_t key = VirtualKeyOf(event);
  if (key == 0 || !OnKeyDown) return false;
  OnKeyDown(*this, key, ShiftStateOf(event));
  return key == 0;
}

bool TForm::PreviewKeyDown(const QKeyEvent& event) { return RunKeyDown(event); }

void TForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Restoring from the task bar is no new showing.
  if (event->spontaneous() || shown_) return;
  shown_ = true;
  if (OnShow) OnShow(*this);
}

// The close is refused until the query agrees, so a failing query keeps the form open.
void TForm::closeEvent(QCloseEvent* event) {
  event->ignore();
  if (OnCloseQuery && !OnCloseQuery(*this)) return;
  if (OnClose) OnClose(*this);
  event->accept();
}

// The window system restores a maximised window to the geometry it had before, which
// ShowMaximized made the whole screen: the designed bounds are put back instead.
void TForm::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange || restored_.isEmpty()) return;
  const Qt::WindowStates before = static_cast<QWindowStateChangeEvent*>(event)->oldState();
  const Qt::WindowStates now = windowState();
  const Qt::WindowStates large = Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized;
  if ((before & Qt::WindowMaximized) && !(now & large)) setGeometry(restored_);
}

void TForm::keyPressEvent(QKeyEvent* event) {
  // With key preview the application ran OnKeyDown already.
  if (!key_preview_ && RunKeyDown(*event)) return;
  QWidget::keyPressEvent(event);
}

void TForm::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  ArrangeAligned(this);
}

}  // namespace snyltdyr
