// The cell grid's input: keys, characters, the mouse (column sizing and moving), the
// wheel and the focus.
#include <QApplication>
#include <QDateTime>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include "controls/grid/custom_grid.h"
#include "controls/grid/inplace_edit.h"

namespace snyltdyr {
namespace {

TShiftState MouseShift(const QInputEvent& e) {
  TShiftState shift = 0;
  if (e.modifiers() & Qt::ShiftModifier) shift |= ssShift;
  if (e.modifiers() & Qt::AltModifier) shift |= ssAlt;
  if (e.modifiers() & Qt::ControlModifier) shift |= ssCtrl;
  return shift;
}

}  // namespace

// ---- Qt events --------------------------------------------------------------------------

bool TCustomGrid::event(QEvent* e) {
  // Tab moves between cells, not between the window's controls.
  if (e->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(e);
    if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) &&
        (grid_options_ & goTabs) && !(grid_options_ & goRowSelect)) {
      Guarded([&] { keyPressEvent(key); });
      return true;
    }
  }
  return TGuarded<QAbstractScrollArea>::event(e);
}

bool TCustomGrid::viewportEvent(QEvent* e) {
  bool handled = true;
  Guarded([&] { handled = QAbstractScrollArea::viewportEvent(e); });
  return handled;
}

void TCustomGrid::resizeEvent(QResizeEvent* e) {
  QAbstractScrollArea::resizeEvent(e);
  UpdateScrollRange();
}

void TCustomGrid::keyPressEvent(QKeyEvent* e) {
  uint16_t key = VirtualKeyOf(*e);
  if (key != 0) KeyDown(key, ShiftStateOf(*e));
  // The key's character follows whatever the key-down handling did with the key.
  if (const std::optional<char> ch = KeyCharOf(*e)) GridChar(*ch);
}

void TCustomGrid::KeyDown(uint16_t& key, TShiftState shift) {
  if (OnKeyDown) OnKeyDown(key, shift);
}

void TCustomGrid::KeyPress(char& key) {
  if (OnKeyPress) OnKeyPress(key);
  if (key == '\r' && !(grid_options_ & goAlwaysShowEditor)) {
    if (editor_mode_) {
      HideEditor();
    } else {
      ShowEditor();
    }
    key = 0;
  }
}

// Backspace and printable characters open the editor and are then typed into it,
// through the queue, so that they arrive after it shows with its text selected (and
// before any input that reaches the editor after them).
void TCustomGrid::GridChar(char key) {
  const auto byte = static_cast<unsigned char>(key);
  if ((grid_options_ & goEditing) && (key == '\b' || byte >= 32)) {
    ShowEditor();
    if (inplace_edit_ != nullptr && inplace_edit_->isVisible()) {
      inplace_edit_->QueueTypedChar(key);
    }
    return;
  }
  KeyPress(key);
}

// ---- Focus ------------------------------------------------------------------------------

// The grid and its editor are one control: only a move to or from something else
// counts. Leaving for another control of the window runs DoExit; losing the focus to
// another window only hides the editor.
void TCustomGrid::FocusChanged(QWidget* old, QWidget* now) {
  const auto ours = [this](QWidget* w) {
    return w != nullptr && (w == this || w == inplace_edit_);
  };
  if (ours(now) && !ours(old)) {
    FocusGained();
    return;
  }
  if (!ours(old) || ours(now)) return;
  if (mouse_state_ != gsNormal) CancelMode();
  if (now == nullptr || now->window() != window()) {
    FocusLost();
    return;
  }
  try {
    DoExit();
  } catch (...) {
    setFocus(Qt::OtherFocusReason);
    throw;
  }
  if (!(grid_options_ & goAlwaysShowEditor)) HideEditor();
  InvalidateCell(current_.x, current_.y);
}

void TCustomGrid::FocusGained() {
  InvalidateCell(current_.x, current_.y);
  UpdateEdit();
}

// The editor hides keeping its cell, so that coming back shows it again with the text
// typed so far instead of loading the field's. Hiding gives the window's focus to the
// grid, which shows the editor again when the window is active once more.
void TCustomGrid::FocusLost() {
  if (inplace_edit_ != nullptr) {
    UpdateText();
    inplace_edit_->Hide();
  }
  InvalidateCell(current_.x, current_.y);
}

// ---- Mouse ------------------------------------------------------------------------------

void TCustomGrid::mousePressEvent(QMouseEvent* e) {
  const QPoint p = e->position().toPoint();
  if (e->button() == Qt::LeftButton) last_left_press_ms_ = QDateTime::currentMSecsSinceEpoch();
  MouseDown(e->button(), MouseShift(*e), p.x(), p.y());
}

void TCustomGrid::mouseDoubleClickEvent(QMouseEvent* e) {
  const QPoint p = e->position().toPoint();
  MouseDown(e->button(), MouseShift(*e) | ssDouble, p.x(), p.y());
}

void TCustomGrid::mouseMoveEvent(QMouseEvent* e) {
  const QPoint p = e->position().toPoint();
  last_mouse_x_ = p.x();
  MouseMove(MouseShift(*e), p.x(), p.y());
}

void TCustomGrid::mouseReleaseEvent(QMouseEvent* e) {
  const QPoint p = e->position().toPoint();
  MouseUp(e->button(), MouseShift(*e), p.x(), p.y());
}

void TCustomGrid::wheelEvent(QWheelEvent* e) {
  const int32_t delta = e->angleDelta().y();
  if (delta != 0 && DoMouseWheel(delta)) {
    e->accept();
    return;
  }
  e->ignore();
}

// Column borders in the fixed rows are sizing zones: 3 pixels left to 4 right of the
// border for a 1-pixel line.
TGridState TCustomGrid::CalcSizingState(int32_t x, int32_t y, int32_t& index,
                                        int32_t& sizing_pos, int32_t& sizing_ofs) {
  if (!(grid_options_ & goColSizing)) return gsNormal;
  const TAxisInfo h = HorzInfo();
  const TAxisInfo v = VertInfo();
  const std::vector<TSpan> rows = VisibleSpans(v);
  int32_t fixed_bottom = 0;
  for (const TSpan& row : rows) {
    if (row.index < fixed_rows_) fixed_bottom = row.start + row.size + v.line_width;
  }
  const std::vector<TSpan> cols = VisibleSpans(h);
  int32_t fixed_right = 0;
  for (const TSpan& col : cols) {
    if (col.index < fixed_cols_) fixed_right = col.start + col.size + h.line_width;
  }
  if (y < 0 || y >= fixed_bottom || x < fixed_right) return gsNormal;
  const int32_t lw = h.line_width;
  const int32_t range = lw <= 6 ? 7 : lw;
  const int32_t back = lw <= 6 ? (7 - lw) / 2 : 0;
  for (const TSpan& col : cols) {
    if (col.index < fixed_cols_) continue;
    const int32_t border = col.start + col.size;
    if (border > h.grid_extent) break;
    if (x >= border - back && x <= border + range - back) {
      index = col.index;
      sizing_pos = border;
      sizing_ofs = border - x;
      return gsColSizing;
    }
  }
  return gsNormal;
}

void TCustomGrid::MouseDown(Qt::MouseButton button, TShiftState shift, int32_t x, int32_t y) {
  HideEdit();
  if (CanFocus()) {
    setFocus(Qt::MouseFocusReason);
    if (!IsActiveControl()) return;
  }
  if (button == Qt::LeftButton && (shift & ssDouble)) {
    if (OnDblClick) OnDblClick();
    return;
  }
  if (button != Qt::LeftButton) return;
  int32_t index = 0, pos = 0, ofs = 0;
  const TGridState sizing = CalcSizingState(x, y, index, pos, ofs);
  if (sizing == gsColSizing) {
    mouse_state_ = gsColSizing;
    sizing_index_ = index;
    sizing_pos_ = pos;
    sizing_ofs_ = ofs;
    SetSizingLine(pos);
    return;
  }
  const TGridCoord cell = MouseCoord(x, y);
  if (cell.x < 0) return;
  if (cell.x >= fixed_cols_ && cell.y >= fixed_rows_) {
    if (grid_options_ & goEditing) {
      if (cell == current_) {
        ShowEditor();
      } else {
        MoveColRow(cell.x, cell.y, true, true);
      }
      if (OnClick) OnClick();
    }
    return;
  }
  if (cell.y < fixed_rows_ && cell.x >= fixed_cols_ && (grid_options_ & goColMoving)) {
    move_index_ = cell.x;
    move_pos_ = cell.x;
    mouse_state_ = gsColMoving;
    last_mouse_x_ = x;
    UpdateNow();
    SetMoveMarker(MoveMarkerX());
    move_timer_.SetEnabled(true);
  }
}

void TCustomGrid::MouseMove(TShiftState, int32_t x, int32_t y) {
  switch (mouse_state_) {
    case gsColSizing:
      sizing_pos_ = x + sizing_ofs_;
      SetSizingLine(sizing_pos_);
      return;
    case gsColMoving:
      UpdateMovePosition(x, false);
      return;
    default:
      UpdateCursor(x, y);
      return;
  }
}

void TCustomGrid::MouseUp(Qt::MouseButton, TShiftState, int32_t, int32_t) {
  const TGridState state = mouse_state_;
  mouse_state_ = gsNormal;
  if (state == gsColSizing) {
    SetSizingLine(-1);
    const TRect cell = CellRect(sizing_index_, 0);
    const int32_t width = sizing_pos_ - cell.left;
    if (!cell.IsEmpty() && width > 1) SetColWidths(sizing_index_, width);
    return;
  }
  if (state == gsColMoving) {
    SetMoveMarker(-1);
    move_timer_.SetEnabled(false);
    if (move_pos_ != move_index_) MoveColumn(move_index_, move_pos_);
  }
  UpdateEdit();
}

void TCustomGrid::CancelMode() {
  SetSizingLine(-1);
  SetMoveMarker(-1);
  move_timer_.SetEnabled(false);
  mouse_state_ = gsNormal;
}

void TCustomGrid::UpdateCursor(int32_t x, int32_t y) {
  int32_t index = 0, pos = 0, ofs = 0;
  if (CalcSizingState(x, y, index, pos, ofs) == gsColSizing) {
    viewport()->setCursor(Qt::SplitHCursor);
  } else {
    viewport()->unsetCursor();
  }
}

// The marker stands at the right edge of the target when the column moves right, else
// at its left edge.
int32_t TCustomGrid::MoveMarkerX() const {
  const TRect target = CellRect(move_pos_, 0);
  if (target.IsEmpty()) return -1;
  return move_pos_ > move_index_ ? target.right : target.left;
}

void TCustomGrid::MoveTimerTick() {
  if (mouse_state_ != gsColMoving) return;
  UpdateMovePosition(last_mouse_x_, true);
}

// The target follows the column under the mouse; over the fixed column or past the last
// fully visible one the grid scrolls a column at a time.
void TCustomGrid::UpdateMovePosition(int32_t x, bool from_timer) {
  TAxisInfo h = HorzInfo();
  CompleteAxis(h);
  int32_t hit = -1;
  for (const TSpan& col : VisibleSpans(h)) {
    if (x >= col.start && x < col.start + col.size + h.line_width) hit = col.index;
  }
  if (!from_timer && !(hit >= fixed_cols_ && hit <= h.last_full_visible + 1)) return;
  if (hit == move_pos_) return;
  if (move_pos_ == fixed_cols_ && x < h.fixed_boundary) return;
  if (move_pos_ == col_count_ - 1 && x > h.grid_boundary) return;
  if (x < h.fixed_boundary) {
    if (top_left_.x > fixed_cols_) {
      SetLeftCol(top_left_.x - 1);
      h = HorzInfo();
      CompleteAxis(h);
    }
    hit = h.first_cell;
  } else if (x >= h.full_vis_boundary) {
    if (move_pos_ == h.last_full_visible && move_pos_ < col_count_ - 1) {
      SetLeftCol(top_left_.x + 1);
      h = HorzInfo();
      CompleteAxis(h);
    }
    hit = h.last_full_visible;
  } else if (hit < 0) {
    hit = move_pos_;
  }
  move_pos_ = hit;
  SetMoveMarker(MoveMarkerX());
}

bool TCustomGrid::DoMouseWheel(int32_t delta) {
  const int32_t row = current_.y + (delta < 0 ? 1 : -1);
  if (row < fixed_rows_ || row >= row_count_) return true;
  MoveColRow(current_.x, row, true, true);
  return true;
}

}  // namespace snyltdyr
