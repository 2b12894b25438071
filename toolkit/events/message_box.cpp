#include "toolkit/events/message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

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
  switch (request.buttons) {
    case TMsgDlgButtons::OkCancel:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      box.setDefaultButton(QMessageBox::Ok);
      box.setEscapeButton(QMessageBox::Cancel);
      break;
    case TMsgDlgButtons::YesNoCancel:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      box.button(QMessageBox::Yes)->setText("Ja");
      box.button(QMessageBox::No)->setText("Nei");
      box.button(QMessageBox::Cancel)->setText("Avbryt");
      box.setDefaultButton(QMessageBox::Yes);
      box.setEscapeButton(QMessageBox::Cancel);
      break;
    case TMsgDlgButtons::Ok:
      box.setStandardButtons(QMessageBox::Ok);
      box.setEscapeButton(QMessageBox::Ok);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Ok: return TModalResult::Ok;
    case QMessageBox::Yes: return TModalResult::Yes;
    case QMessageBox::No: return TModalResult::No;
    default: return TModalResult::Cancel;
  }
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
