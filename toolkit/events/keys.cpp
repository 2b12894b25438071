#include "toolkit/events/keys.h"

#include <QKeyEvent>

#include "toolkit/look/qt_text.h"

namespace snyltdyr {

uint16_t VirtualKeyOf(const QKeyEvent& event) {
  const int key = event.key();
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return static_cast<uint16_t>('A' + key - Qt::Key_A);
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return static_cast<uint16_t>('0' + key - Qt::Key_0);
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return static_cast<uint16_t>(vk::F1 + key - Qt::Key_F1);
  switch (key) {
    case Qt::Key_Backspace: return vk::Back;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return vk::Tab;
    case Qt::Key_Return:
    case Qt::Key_Enter: return vk::Return;
    case Qt::Key_Shift: return vk::Shift;
    case Qt::Key_Control: return vk::Control;
    case Qt::Key_Alt: return vk::Menu;
    case Qt::Key_Escape: return vk::Escape;
    case Qt::Key_Space: return vk::Space;
    case Qt::Key_PageUp: return vk::Prior;
    case Qt::Key_PageDown: return vk::Next;
    case Qt::Key_End: return vk::End;
    case Qt::Key_Home: return vk::Home;
    case Qt::Key_Left: return vk::Left;
    case Qt::Key_Up: return vk::Up;
    case Qt::Key_Right: return vk::Right;
    case Qt::Key_Down: return vk::Down;
    case Qt::Key_Insert: return vk::Insert;
    case Qt::Key_Delete: return vk::Delete;
    default: return 0;
  }
}

TShiftState ShiftStateOf(const QKeyEvent& event) {
  const Qt::KeyboardModifiers m = event.modifiers();
  TShiftState state = 0;
  // Back-tab is Shift+Tab even where the platform drops the Shift modifier.
  if ((m & Qt::ShiftModifier) || event.key() == Qt::Key_Backtab) state |= ssShift;
  if (m & Qt::AltModifier) state |= ssAlt;
  if (m & Qt::ControlModifier) state |= ssCtrl;
  return state;
}

std::optional<char> KeyCharOf(const QKeyEvent& event) {
  const int key = event.key();
  const bool ctrl = event.modifiers() & Qt::ControlModifier;
  const bool alt = event.modifiers() & Qt::AltModifier;
  switch (key) {
    case Qt::Key_Backspace: return '\b';
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return '\t';
    case Qt::Key_Return:
    case Qt::Key_Enter: return ctrl ? '\n' : '\r';
    case Qt::Key_Escape: return '\x1B';
    default: break;
  }
  if (ctrl && !alt) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return static_cast<char>(1 + key - Qt::Key_A);
    return std::nullopt;
  }
  const QString text = event.text();
  if (text.isEmpty()) return std::nullopt;
  const QChar c = text.front();
  if (c.unicode() < 32 || c.unicode() == 127) return std::nullopt;
  const std::string byte = FromQString(QString(c));
  // "?" for a character outside the code page is no character at all.
  if (byte.size() != 1 || (byte[0] == '?' && c != QChar('?'))) return std::nullopt;
  return byte[0];
}

}  // namespace snyltdyr
