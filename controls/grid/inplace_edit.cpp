#include "controls/grid/inplace_edit.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QKeyEvent>
#include <QMenu>
#include <memory>

#include "controls/grid/custom_db_grid.h"
#include "toolkit/events/keys.h"
#include "toolkit/events/message_box.h"
#include "toolkit/look/qt_text.h"

namespace snyltdyr {

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

void TInplaceEdit::UpdateContents() {
  SetText({});
  SetEditMask(grid_->GetEditMask(grid_->Col(), grid_->Row()));
  SetText(grid_->GetEditText(grid_->Col(), grid_->Row()));
  SetMaxLength(grid_->GetEditLimit());
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
      } else if (shift == ssShift && !grid_->CanEditModify()) {
        return false;  // paste refused
      }
      break;
    case vk::Delete:
      if (shift & ssCtrl) {
        to_grid = true;
      } else if (!grid_->CanEditModify()) {
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
  return !changes || grid_->CanEditModify();
}

void TInplaceEdit::keyPressEvent(QKeyEvent* e) {
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
  }
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

bool TInplaceEdit::event(QEvent* e) {
  if (const TMessage* message = AsPostedMessage(e)) {
    if (message->msg == WM_CHAR) {
      Guarded([&] { TypeChar(static_cast<char>(message->wparam)); });
      return true;
    }
  }
  // Tab is the grid's: the edit box must not move the focus with it.
  if (e->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(e);
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
      Guarded([&] { keyPressEvent(key); });
      return true;
    }
  }
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
      connect(action, &QAction::triggered, this, [this, op = operation] {
        Guarded([&] {
          if (grid_->CanEditModify()) (this->*op)();
        });
      });
    }
  }
  menu->exec(e->globalPos());
}

// ---- The data grid's editor -------------------------------------------------------------

TDBGridInplaceEdit::TDBGridInplaceEdit(TCustomDBGrid* grid) : TInplaceEdit(grid), db_grid_(grid) {}

void TDBGridInplaceEdit::UpdateContents() {
  if (TColumn* column = db_grid_->SelectedIndex() >= 0 &&
                            db_grid_->SelectedIndex() < db_grid_->Columns().Count()
                        ? db_grid_->Columns()[db_grid_->SelectedIndex()]
                        : nullptr) {
    setReadOnly(column->ReadOnly());
    SetOwnFont(column->Font());
  }
  TInplaceEdit::UpdateContents();
}

}  // namespace snyltdyr
