#include "controls/grid/inplace_edit.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <memory>

#include "controls/grid/custom_db_grid.h"
#include "toolkit/events/keys.h"
#include "toolkit/events/message_box.h"
#include "toolkit/look/qt_text.h"

namespace snyltdyr {
namespace {

Qt::Alignment QtAlignmentOf(TAlignment alignment) {
  switch (alignment) {
    case taRightJustify: return Qt::AlignRight;
    case taCenter: return Qt::AlignHCenter;
    case taLeftJustify: break;
  }
  return Qt::AlignLeft;
}

// Keys the edit box changes its text with, on every platform's key bindings.
bool KeyChangesText(const QKeyEvent& e) {
  static const QKeySequence::StandardKey kChanging[] = {
      QKeySequence::Paste,           QKeySequence::Cut,
      QKeySequence::Undo,            QKeySequence::Redo,
      QKeySequence::Delete,          QKeySequence::DeleteEndOfLine,
      QKeySequence::DeleteStartOfWord, QKeySequence::DeleteEndOfWord,
      QKeySequence::DeleteCompleteLine};
  for (const QKeySequence::StandardKey key : kChanging) {
    if (e.matches(key)) return true;
  }
  if (e.key() == Qt::Key_Backspace || e.key() == Qt::Key_Delete) return true;
  return !e.text().isEmpty() && e.text().at(0).isPrint();
}

// The events by which a person changes the text.
bool IsInputEvent(QEvent::Type type) {
  switch (type) {
    case QEvent::KeyPress:
    case QEvent::InputMethod:
    case QEvent::Drop:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::ContextMenu:
      return true;
    default:
      return false;
  }
}

QString ClipboardText(QClipboard::Mode mode = QClipboard::Clipboard) {
  return QGuiApplication::clipboard()->text(mode);
}

}  // namespace

TInplaceEdit::TInplaceEdit(TCustomGrid* grid)
    : TGuarded<QLineEdit>(grid->viewport()), grid_(grid) {
  setFrame(false);
  // With the edit box's own margins (2 left, 1 top) the text starts 2 pixels right and
  // 2 below the cell's corner, where the grid draws cell text.
  setTextMargins(0, 1, 0, 0);
  setAlignment(Qt::AlignLeft | Qt::AlignTop);
  setFocusPolicy(Qt::ClickFocus);  // no tab stop: Tab belongs to the grid
  hide();
  connect(this, &QLineEdit::textChanged, this, [this](const QString&) {
    Guarded([this] {
      const TGridCoord cell = grid_->EditorCell();
      if (cell.x != -1 && cell.y != -1) grid_->SetEditText(cell.x, cell.y, Text());
    });
  });
  // Only a person's changes: loading the text (setText) does not count.
  connect(this, &QLineEdit::textEdited, this, [this](const QString&) { user_edited_ = true; });
}

std::string TInplaceEdit::Text() const { return FromQString(text()); }

void TInplaceEdit::SetText(const std::string& text) { setText(ToQString(text)); }

void TInplaceEdit::SetMaxLength(int32_t length) {
  max_length_ = length;
  setMaxLength(length > 0 ? length : 32767);
}

void TInplaceEdit::SetOwnFont(const TFont& font) {
  setFont(ToQFont(font));
  QPalette p = palette();
  p.setColor(QPalette::Text, ToQColor(font.Color()));
  setPalette(p);
}

void TInplaceEdit::SelectAll() { selectAll(); }

void TInplaceEdit::CaretToEnd() {
  deselect();
  end(false);
}

// The limit comes before the text: the edit box cuts any text longer than the limit it
// holds, which would be the last cell's.
void TInplaceEdit::UpdateContents() {
  SetText({});
  SetMaxLength(grid_->GetEditLimit());
  SetEditMask(grid_->GetEditMask(grid_->Col(), grid_->Row()));
  SetText(grid_->GetEditText(grid_->Col(), grid_->Row()));
}

void TInplaceEdit::Move(const TRect& rect) {
  if (rect.IsEmpty()) {
    Hide();
    return;
  }
  setGeometry(rect.ToQRect());
  if (!isVisible()) show();
  update();
  if (grid_->hasFocus()) setFocus(Qt::OtherFocusReason);
}

void TInplaceEdit::Hide() {
  if (!isVisible()) return;
  const bool had_focus = window()->focusWidget() == this;
  hide();
  if (had_focus) grid_->setFocus(Qt::OtherFocusReason);
}

void TInplaceEdit::focusInEvent(QFocusEvent* e) {
  // The selection is the grid's to set, not the focus reason's.
  const int start = selectionStart();
  const int length = selectedText().size();
  const int cursor = cursorPosition();
  QLineEdit::focusInEvent(e);
  if (start >= 0) {
    setSelection(start, length);
  } else {
    deselect();
    setCursorPosition(cursor);
  }
}

// ---- Keys -------------------------------------------------------------------------------

bool TInplaceEdit::EdgeKeyGoesToGrid(uint16_t key, TShiftState shift) const {
  // Only while the editor is always shown do the caret keys leave it at its edges.
  if (!(grid_->GridOptions() & goAlwaysShowEditor)) return false;
  if (shift & ssCtrl) return true;
  const bool nothing_or_all = !hasSelectedText() || selectedText().size() == text().size();
  if (!nothing_or_all) return false;
  if (key == vk::Left || key == vk::Home) return cursorPosition() == 0;
  return cursorPosition() == text().size();
}

bool TInplaceEdit::KeyDownPart(uint16_t key, TShiftState shift) {
  bool to_grid = false;
  switch (key) {
    case vk::Up:
    case vk::Down:
    case vk::Prior:
    case vk::Next:
    case vk::Escape:
      to_grid = true;
      break;
    case vk::Tab:
      to_grid = !(shift & ssAlt);
      break;
    case vk::Insert:
      if (shift == 0) {
        to_grid = true;
      } else if (shift == ssShift && !AskModify()) {
        return false;  // paste refused
      }
      break;
    case vk::Delete:
      if (shift & ssCtrl) {
        to_grid = true;
      } else if (!AskModify()) {
        return false;
      }
      break;
    case vk::Left:
    case vk::Home:
    case vk::Right:
    case vk::End:
      to_grid = EdgeKeyGoesToGrid(key, shift);
      break;
    case vk::F2: {
      uint16_t k = key;
      if (grid_->OnKeyDown) grid_->OnKeyDown(k, shift);
      if (k == vk::F2) CaretToEnd();
      return false;
    }
    default:
      break;
  }
  if (to_grid) {
    grid_->KeyDown(key, shift);
    return false;
  }
  uint16_t k = key;
  if (k != 0 && grid_->OnKeyDown) grid_->OnKeyDown(k, shift);
  return k != 0;
}

bool TInplaceEdit::CharPart(char& key) {
  grid_->KeyPress(key);
  const auto byte = static_cast<unsigned char>(key);
  if (byte >= 32 && !grid_->CanEditAcceptKey(key)) {
    Beep();
    return false;
  }
  switch (key) {
    case 0:
    case '\t':
    case '\x1B':
      return false;
    case '\r':
      // Reaches here only while the editor is always shown: toggle whole selection.
      if (hasSelectedText() && selectedText().size() == text().size()) {
        CaretToEnd();
      } else {
        selectAll();
      }
      return false;
    default:
      break;
  }
  // Backspace, Ctrl+V, Ctrl+X, Ctrl+Z, Ctrl+Y and printable characters change the text.
  const bool changes = byte >= 32 || key == '\b' || key == 22 || key == 24 || key == 25 || key == 26;
  return !changes || AskModify();
}

bool TInplaceEdit::AskModify() {
  if (!grid_->CanEditModify()) return false;
  modify_asked_ = true;
  return true;
}

bool TInplaceEdit::MayInsert(const QString& text, bool typed) {
  return grid_->CanEditAcceptText(text, typed) && AskModify();
}

void TInplaceEdit::keyPressEvent(QKeyEvent* e) {
  // Pasted text is looked at before anything starts an edit for it.
  if (e->matches(QKeySequence::Paste) && !isReadOnly() &&
      !grid_->CanEditAcceptText(ClipboardText(), false)) {
    return;
  }
  const uint16_t key = VirtualKeyOf(*e);
  const TShiftState shift = ShiftStateOf(*e);
  std::optional<char> ch = KeyCharOf(*e);
  // Ctrl+Shift+Z (redo) changes the text too.
  if (!ch && key == 'Z' && (shift & ssCtrl)) ch = 26;
  // Windows delivers the character of a key whatever its key-down handling did.
  bool pass = key == 0 || KeyDownPart(key, shift);
  if (ch) {
    char c = *ch;
    pass = CharPart(c) && pass;
  } else if (pass && !e->text().isEmpty() && e->text().at(0).isPrint()) {
    pass = MayInsert(e->text(), true);  // characters outside code page 1252
  }
  // The line-editing keys (Ctrl+K, Ctrl+U, Ctrl+Backspace, ...) ask like typing does.
  if (pass && !isReadOnly() && KeyChangesText(*e)) pass = AskModify();
  if (pass) QLineEdit::keyPressEvent(e);
}

void TInplaceEdit::TypeChar(char key) {
  if (!CharPart(key)) return;
  if (key == '\b') {
    backspace();
  } else if (static_cast<unsigned char>(key) >= 32) {
    insert(ToQString(std::string(1, key)));
  }
}

void TInplaceEdit::QueueTypedChar(char key) {
  queued_chars_ += key;
  PostMessage(this, {WM_CHAR, static_cast<unsigned char>(key), 0});
}

// The characters are taken off the queue first: after a failure (the record cannot be
// edited) the rest are dropped rather than failing once each.
void TInplaceEdit::TypeQueuedChars() {
  std::string chars;
  chars.swap(queued_chars_);
  for (const char key : chars) TypeChar(key);
}

bool TInplaceEdit::GuardedChange(QEvent* e) {
  const bool outer_asked = modify_asked_;
  const bool outer_edited = user_edited_;
  modify_asked_ = false;
  user_edited_ = false;
  bool handled = true;
  const QString before = text();
  const int cursor = cursorPosition();
  Guarded([&] {
    TypeQueuedChars();  // typed before this input, so they go first
    // Tab is the grid's: the edit box must not move the focus with it.
    auto* key = e->type() == QEvent::KeyPress ? static_cast<QKeyEvent*>(e) : nullptr;
    if (key != nullptr && (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)) {
      keyPressEvent(key);
    } else {
      handled = QLineEdit::event(e);
    }
  });
  const bool unasked = user_edited_ && !modify_asked_;
  modify_asked_ = outer_asked;
  user_edited_ = outer_edited;
  if (unasked) {
    setText(before);
    setCursorPosition(cursor);
    Beep();
  }
  return handled;
}

bool TInplaceEdit::event(QEvent* e) {
  if (const TMessage* message = AsPostedMessage(e)) {
    if (message->msg == WM_CHAR) {
      Guarded([&] { TypeQueuedChars(); });
      return true;
    }
  }
  if (IsInputEvent(e->type())) return GuardedChange(e);
  return TGuarded<QLineEdit>::event(e);
}

// ---- Mouse ------------------------------------------------------------------------------

void TInplaceEdit::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton &&
      QDateTime::currentMSecsSinceEpoch() - grid_->LastLeftPressTime() <
          QApplication::doubleClickInterval()) {
    if (grid_->OnDblClick) grid_->OnDblClick();
  }
  QLineEdit::mousePressEvent(e);
}

void TInplaceEdit::mouseDoubleClickEvent(QMouseEvent* e) {
  if (grid_->OnDblClick) grid_->OnDblClick();
  QLineEdit::mouseDoubleClickEvent(e);
}

// The middle button pastes the mouse's selection where the platform has one.
void TInplaceEdit::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() == Qt::MiddleButton && !isReadOnly() &&
      QGuiApplication::clipboard()->supportsSelection()) {
    const QString selection = ClipboardText(QClipboard::Selection);
    if (!selection.isEmpty() && !MayInsert(selection, false)) {
      e->accept();
      return;
    }
  }
  QLineEdit::mouseReleaseEvent(e);
}

void TInplaceEdit::dropEvent(QDropEvent* e) {
  if (!isReadOnly() && e->mimeData()->hasText() && !MayInsert(e->mimeData()->text(), false)) {
    e->ignore();
    return;
  }
  QLineEdit::dropEvent(e);
}

// A commit of an input method (a dead key, compose, a character chooser) is typing.
void TInplaceEdit::inputMethodEvent(QInputMethodEvent* e) {
  const bool changes = !e->commitString().isEmpty() || e->replacementLength() != 0;
  if (changes && !isReadOnly() && !MayInsert(e->commitString(), true)) {
    QInputMethodEvent cleared;  // ends the composition without its text
    QLineEdit::inputMethodEvent(&cleared);
    e->accept();
    return;
  }
  QLineEdit::inputMethodEvent(e);
}

// The edit box's own menu, with every change asking the grid's can-modify test first.
void TInplaceEdit::contextMenuEvent(QContextMenuEvent* e) {
  std::unique_ptr<QMenu> menu(createStandardContextMenu());
  const std::pair<const char*, void (QLineEdit::*)()> changing[] = {
      {"edit-undo", &QLineEdit::undo}, {"edit-redo", &QLineEdit::redo},
      {"edit-cut", &QLineEdit::cut},   {"edit-paste", &QLineEdit::paste},
      {"edit-delete", &QLineEdit::del}};
  for (QAction* action : menu->actions()) {
    for (const auto& [name, operation] : changing) {
      if (action->objectName() != QLatin1String(name)) continue;
      disconnect(action, &QAction::triggered, this, nullptr);
      const bool pastes = action->objectName() == QLatin1String("edit-paste");
      connect(action, &QAction::triggered, this, [this, op = operation, pastes] {
        Guarded([&] {
          if (pastes ? MayInsert(ClipboardText(), false) : AskModify()) (this->*op)();
        });
      });
    }
  }
  menu->exec(e->globalPos());
}

// ---- The data grid's editor -------------------------------------------------------------

TDBGridInplaceEdit::TDBGridInplaceEdit(TCustomDBGrid* grid) : TInplaceEdit(grid), db_grid_(grid) {}

// Every opening takes the settings of the column it is opened for, so nothing of the last
// column's (its length limit above all) carries over.
void TDBGridInplaceEdit::UpdateContents() {
  const int32_t index = db_grid_->SelectedIndex();
  TColumn* column =
      index >= 0 && index < db_grid_->Columns().Count() ? db_grid_->Columns()[index] : nullptr;
  setReadOnly(column != nullptr && column->ReadOnly());
  if (column != nullptr) {
    SetOwnFont(column->Font());
    setAlignment(QtAlignmentOf(column->Alignment()) | Qt::AlignTop);
  } else {
    SetOwnFont(db_grid_->Font());
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
  }
  TInplaceEdit::UpdateContents();
}

}  // namespace snyltdyr
