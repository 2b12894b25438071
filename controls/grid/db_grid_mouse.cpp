// The data grid's mouse: presses on cells, title clicks, column sizing and moving, and
// the wheel.
#include "controls/grid/custom_db_grid.h"
#include "controls/grid/inplace_edit.h"
#include "dataset/data_set.h"

namespace snyltdyr {

// A press first writes back pending edits; a failure there ends the press with the
// record, the column and the editor as they were.
void TCustomDBGrid::MouseDown(Qt::MouseButton button, TShiftState shift, int32_t x, int32_t y) {
  if (!AcquireFocus()) return;
  if (button == Qt::LeftButton && (shift & ssDouble)) {
    if (OnDblClick) OnDblClick();
    return;
  }
  int32_t index = 0, pos = 0, ofs = 0;
  if (CalcSizingState(x, y, index, pos, ofs) != gsNormal) {
    data_link_->UpdateData();
    TCustomGrid::MouseDown(button, shift, x, y);
    return;
  }
  const TGridCoord cell = MouseCoord(x, y);
  if (cell.x < 0 || cell.y < 0) {
    TCustomGrid::MouseDown(button, shift, x, y);
    return;
  }
  if ((options_ & dgColumnResize) && cell.y < title_offset_) {
    data_link_->UpdateData();
    TCustomGrid::MouseDown(button, shift, x, y);
    return;
  }
  if (!data_link_->Active()) return;
  BeginUpdate();  // no highlight flicker while the record and the column move
  try {
    data_link_->UpdateData();
    HideEditor();
    const TGridCoord old = {Col(), Row()};
    if (cell.y >= title_offset_ && cell.y != Row()) data_link_->MoveRelative(cell.y - Row());
    if (cell.x >= indicator_offset_) SelectColumn(cell.x, 0);
    if (button == Qt::LeftButton && (cell == old || (options_ & dgAlwaysShowEditor))) {
      ShowEditor();
    } else {
      RefreshEditor();
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

// A title click is a left press and release on a title cell; a release that ends a
// resize, that falls in the editor or on the indicator column raises nothing.
void TCustomDBGrid::MouseUp(Qt::MouseButton button, TShiftState shift, int32_t x, int32_t y) {
  const TGridState state = mouse_state_;
  TCustomGrid::MouseUp(button, shift, x, y);
  if (state == gsRowSizing || state == gsColSizing) return;
  TInplaceEdit* editor = InplaceEditor();
  if (editor != nullptr && editor->isVisible() && editor->geometry().contains(x, y)) return;
  const TGridCoord cell = MouseCoord(x, y);
  if (button != Qt::LeftButton || cell.x < indicator_offset_ || cell.y < 0) return;
  if (cell.y < title_offset_) {
    TColumn* column = ColumnOf(RawToDataColumn(cell.x));
    if (column != nullptr && OnTitleClick) OnTitleClick(*column);
  } else {
    TColumn* column = ColumnOf(SelectedIndex());
    if (column != nullptr && OnCellClick) OnCellClick(*column);
  }
}

void TCustomDBGrid::ColumnMoved(int32_t from, int32_t to) {
  const int32_t data_from = RawToDataColumn(from);
  const int32_t data_to = RawToDataColumn(to);
  TColumn* column = ColumnOf(data_from);
  if (column == nullptr) return;
  column->SetIndex(data_to);
  if (OnColumnMoved) OnColumnMoved(*this, data_from, data_to);
}

// A width the user dragged becomes the column's; a default column writes it into its
// field's DisplayWidth as well. Columns whose width did not change are left alone, so
// their fields keep their DisplayWidth.
void TCustomDBGrid::ColWidthsChanged() {
  TCustomGrid::ColWidthsChanged();
  if (!(data_link_->Active() || columns_->State() == csCustomized) || !AcquireLayoutLock()) return;
  try {
    for (int32_t raw = indicator_offset_; raw < ColCount(); ++raw) {
      TColumn* column = ColumnOf(RawToDataColumn(raw));
      if (column != nullptr && column->Width() != ColWidths(raw)) column->SetWidth(ColWidths(raw));
    }
  } catch (...) {
    EndLayout();
    throw;
  }
  EndLayout();
}

// One record per wheel notch, the way the arrow keys move (without appending).
bool TCustomDBGrid::DoMouseWheel(int32_t delta) {
  if (!data_link_->Active()) return false;
  wheel_delta_ += delta;
  const int32_t notches = wheel_delta_ / 120;
  wheel_delta_ -= notches * 120;
  if (notches != 0) data_link_->MoveRelative(-notches);
  return true;
}

}  // namespace snyltdyr
