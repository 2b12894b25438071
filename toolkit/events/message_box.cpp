#include "toolkit/events/message_box.h"

#include <QApplication>
#include <QMessageBox>

#include "toolkit/look/qt_text.h"

namespace snyltdyr {
namespace {

TMessageBoxHandler& BoxHandler() {
  static TMessageBoxHandler handler;
  return handler;
}

TBeepHandler& BeepHandlerSlot() {
  static TBeepHandler handler;
  return handler;
}

QMessageBox::Icon QtIcon(TMsgDlgIcon icon) {
  switch (icon) {
    case TMsgDlgIcon::Stop: return QMessageBox::Critical;
    case TMsgDlgIcon::Question: return QMessageBox::Question;
    case TMsgDlgIcon::Warning: return QMessageBox::Warning;
    case TMsgDlgIcon::Information: return QMessageBox::Information;
    case TMsgDlgIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

TModalResult ShowRealBox(const MessageBoxRequest& request) {
  QMessageBox box(QtIcon(request.icon), ToQString(request.caption), ToQString(request.text),
                  QMessageBox::NoButton, QApplication::activeWindow());
  if (request.buttons == TMsgDlgButtons::OkCancel) {
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
  }
  const int answer = box.exec();
  return answer == QMessageBox::Ok ? TModalResult::Ok : TModalResult::Cancel;
}

}  // namespace

TModalResult MessageBox(const MessageBoxRequest& request) {
  if (BoxHandler()) return BoxHandler()(request);
  return ShowRealBox(request);
}

TMessageBoxHandler SetMessageBoxHandler(TMessageBoxHandler handler) {
  TMessageBoxHandler previous = std::move(BoxHandler());
  BoxHandler() = std::move(handler);
  return previous;
}

void Beep() {
  if (BeepHandlerSlot()) {
    BeepHandlerSlot()();
    return;
  }
  QApplication::beep();
}

TBeepHandler SetBeepHandler(TBeepHandler handler) {
  TBeepHandler previous = std::move(BeepHandlerSlot());
  BeepHandlerSlot() = std::move(handler);
  return previous;
}

}  // namespace snyltdyr
