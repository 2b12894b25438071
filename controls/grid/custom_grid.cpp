// The cell grid's state: sizes, geometry, the current cell, scrolling and the editor.
#include "controls/grid/custom_grid.h"

#include <QApplication>
#include <QScrollBar>
#include <algorithm>

#include "controls/grid/inplace_edit.h"
#include "controls/storable_text.h"
#include "toolkit/look/font.h"

namespace snyltdyr {

TCustomGrid::TCustomGrid(QWidget* parent) : TGuarded<QAbstractScrollArea>(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setMouseTracking(true);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // The grid applies scroll requests itself; the bars' own value changes move nothing.
  horizontalScrollBar()->setTracking(false);
  verticalScrollBar()->setTracking(false);
  for (Qt::Orientation o : {Qt::Horizontal, Qt::Vertical}) {
    QScrollBar* bar = o == Qt::Horizontal ? horizontalScrollBar() : verticalScrollBar();
    connect(bar, &QAbstractSlider::actionTriggered, this,
            [this, o](int action) { Guarded([&] { HandleScrollAction(o, action); }); });
    connect(bar, &QAbstractSlider::sliderReleased, this,
            [this, o] { Guarded([&] { HandleScrollAction(o, -1); }); });
  }
  focus_connection_ = connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
    Guarded([&] { FocusChanged(old, now); });
  });
  move_timer_.SetInterval(kMoveTimerInterval);
  move_timer_.OnTimer = [this] { MoveTimerTick(); };
}

// Qt's widget destructor still moves the focus away; by then this grid is gone.
TCustomGrid::~TCustomGrid() {
  StopFocusTracking();
  delete inplace_edit_;
  inplace_edit_ = nullptr;
}

// ---- Sizes ------------------------------------------------------------------------------

void TCustomGrid::SetColCount(int32_t count) {
  if (count == col_count_) return;
  if (count < 1) count = 1;
  if (count <= fixed_cols_) fixed_cols_ = count - 1;
  ChangeSize(count, row_count_);
}

void TCustomGrid::SetRowCount(int32_t count) {
  if (count == row_count_) return;
  if (count < 1) count = 1;
  if (count <= fixed_rows_) fixed_rows_ = count - 1;
  ChangeSize(col_count_, count);
}

void TCustomGrid::SetFixedCols(int32_t count) {
  if (count == fixed_cols_) return;
  if (count < 0) throw EInvalidGridOperation(grid_msg::kIndexOutOfRange);
  if (count >= col_count_) throw EInvalidGridOperation(grid_msg::kFixedColTooBig);
  fixed_cols_ = count;
  // Current and top-left cells stay outside the fixed area.
  current_.x = std::max(current_.x, fixed_cols_);
  anchor_.x = std::max(anchor_.x, fixed_cols_);
  top_left_.x = std::max(top_left_.x, fixed_cols_);
  InvalidateGrid();
  UpdateScrollRange();
}

void TCustomGrid::SetFixedRows(int32_t count) {
  if (count == fixed_rows_) return;
  if (count < 0) throw EInvalidGridOperation(grid_msg::kIndexOutOfRange);
  if (count >= row_count_) throw EInvalidGridOperation(grid_msg::kFixedRowTooBig);
  fixed_rows_ = count;
  current_.y = std::max(current_.y, fixed_rows_);
  anchor_.y = std::max(anchor_.y, fixed_rows_);
  top_left_.y = fixed_rows_;
  InvalidateGrid();
}

// The arrays follow the counts; new entries take the defaults. The current, anchor and
// top-left cells are pulled back inside.
void TCustomGrid::ChangeSize(int32_t new_col_count, int32_t new_row_count) {
  const int32_t old_cols = col_count_;
  const int32_t old_rows = row_count_;
  if (!col_widths_.empty()) col_widths_.resize(static_cast<size_t>(new_col_count), default_col_width_);
  if (!tab_stops_.empty()) tab_stops_.resize(static_cast<size_t>(new_col_count), 1);
  if (!row_heights_.empty()) row_heights_.resize(static_cast<size_t>(new_row_count), default_row_height_);
  col_count_ = new_col_count;
  row_count_ = new_row_count;
  auto clamp = [](TGridCoord c, int32_t cols, int32_t rows, int32_t fc, int32_t fr) {
    c.x = std::clamp(c.x, fc, cols - 1);
    c.y = std::clamp(c.y, fr, rows - 1);
    return c;
  };
  current_ = clamp(current_, col_count_, row_count_, fixed_cols_, fixed_rows_);
  anchor_ = clamp(anchor_, col_count_, row_count_, fixed_cols_, fixed_rows_);
  top_left_ = clamp(top_left_, col_count_, row_count_, fixed_cols_, fixed_rows_);
  if (editor_cell_.x >= col_count_ || editor_cell_.y >= row_count_) InvalidateEditor();
  SizeChanged(old_cols, old_rows);
  InvalidateGrid();
  UpdateScrollRange();
}

void TCustomGrid::SetDefaultColWidth(int32_t width) {
  col_widths_.clear();
  default_col_width_ = width;
  ColWidthsChanged();
  InvalidateGrid();
}

void TCustomGrid::SetDefaultRowHeight(int32_t height) {
  row_heights_.clear();
  default_row_height_ = height;
  RowHeightsChanged();
  InvalidateGrid();
}

namespace {

// Per-column or per-row values: absent (every entry the default) until the first is set.
template <class T>
T ExtentAt(const std::vector<T>& values, int32_t index, int32_t count, T fallback) {
  if (values.empty() || index < 0 || index >= count) return fallback;
  return values[static_cast<size_t>(index)];
}

// Sets entry `index`; false when it held the value already.
template <class T>
bool SetExtentAt(std::vector<T>& values, int32_t index, int32_t count, T fallback, T value) {
  if (index < 0 || index >= count) throw EInvalidGridOperation(grid_msg::kIndexOutOfRange);
  if (values.empty()) values.assign(static_cast<size_t>(count), fallback);
  T& slot = values[static_cast<size_t>(index)];
  if (slot == value) return false;
  slot = value;
  return true;
}

}  // namespace

int32_t TCustomGrid::ColWidths(int32_t col) const {
  return ExtentAt(col_widths_, col, col_count_, default_col_width_);
}

void TCustomGrid::SetColWidths(int32_t col, int32_t width) {
  if (SetExtentAt(col_widths_, col, col_count_, default_col_width_, width)) ColWidthsChanged();
}

int32_t TCustomGrid::RowHeights(int32_t row) const {
  return ExtentAt(row_heights_, row, row_count_, default_row_height_);
}

void TCustomGrid::SetRowHeights(int32_t row, int32_t height) {
  if (SetExtentAt(row_heights_, row, row_count_, default_row_height_, height)) RowHeightsChanged();
}

bool TCustomGrid::TabStops(int32_t col) const {
  return ExtentAt<uint8_t>(tab_stops_, col, col_count_, 1) != 0;
}

void TCustomGrid::SetTabStops(int32_t col, bool tab_stop) {
  SetExtentAt<uint8_t>(tab_stops_, col, col_count_, 1, tab_stop ? 1 : 0);
}

void TCustomGrid::SetGridLineWidth(int32_t width) {
  if (width == grid_line_width_) return;
  grid_line_width_ = width;
  InvalidateGrid();
  UpdateScrollRange();
}

void TCustomGrid::ColWidthsChanged() {
  UpdateScrollRange();
  InvalidateGrid();
  UpdateEdit();
}

void TCustomGrid::RowHeightsChanged() {
  InvalidateGrid();
  UpdateEdit();
}

void TCustomGrid::SizeChanged(int32_t, int32_t) {}

// ---- Geometry ---------------------------------------------------------------------------

int32_t TCustomGrid::ClientWidth() const { return viewport()->width(); }
int32_t TCustomGrid::ClientHeight() const { return viewport()->height(); }

TCustomGrid::TAxisInfo TCustomGrid::HorzInfo() const {
  TAxisInfo a;
  a.line_width = (grid_options_ & (goFixedVertLine | goVertLine)) ? grid_line_width_ : 0;
  a.grid_extent = ClientWidth();
  a.fixed_count = fixed_cols_;
  a.first_cell = top_left_.x;
  a.count = col_count_;
  a.extent = [this](int32_t i) { return ColWidths(i); };
  return a;
}

TCustomGrid::TAxisInfo TCustomGrid::VertInfo() const {
  TAxisInfo a;
  a.line_width = (grid_options_ & (goFixedHorzLine | goHorzLine)) ? grid_line_width_ : 0;
  a.grid_extent = ClientHeight();
  a.fixed_count = fixed_rows_;
  a.first_cell = top_left_.y;
  a.count = row_count_;
  a.extent = [this](int32_t i) { return RowHeights(i); };
  return a;
}

// Pixel extent of cell i with its line; a hidden cell (negative size) takes none.
int32_t TCustomGrid::Pitch(const TAxisInfo& a, int32_t i) {
  const int32_t size = a.extent(i);
  return size < 0 ? 0 : size + a.line_width;
}

// Fills the boundaries of an axis: a cell counts as fully visible when it ends (not
// counting its line) within the extent; the first scrolling cell always counts.
void TCustomGrid::CompleteAxis(TAxisInfo& a) {
  a.fixed_boundary = 0;
  for (int32_t i = 0; i < a.fixed_count; ++i) a.fixed_boundary += Pitch(a, i);
  a.grid_boundary = a.fixed_boundary;
  a.full_vis_boundary = a.fixed_boundary;
  a.last_full_visible = a.first_cell;
  for (int32_t i = a.first_cell; i < a.count; ++i) {
    a.grid_boundary += Pitch(a, i);
    if (a.grid_boundary > a.grid_extent + a.line_width) {
      a.grid_boundary = a.grid_extent;
      break;
    }
    a.last_full_visible = i;
    a.full_vis_boundary = a.grid_boundary;
  }
}

namespace {

// Start of cell i along the axis, or -1 when it is scrolled out of view.
int32_t CellStart(const TCustomGrid::TAxisInfo& a, int32_t i) {
  const auto Pitch = TCustomGrid::Pitch;
  if (i < a.fixed_count) {
    int32_t pos = 0;
    for (int32_t j = 0; j < i; ++j) pos += Pitch(a, j);
    return pos;
  }
  if (i < a.first_cell) return -1;
  int32_t pos = a.fixed_boundary;
  for (int32_t j = a.first_cell; j < i; ++j) {
    pos += Pitch(a, j);
    if (pos > a.grid_extent) return -1;
  }
  return pos;
}

// The cell at pixel `pos`, or -1.
int32_t CellAt(const TCustomGrid::TAxisInfo& a, int32_t pos) {
  const auto Pitch = TCustomGrid::Pitch;
  if (pos < 0) return -1;
  int32_t start = 0;
  for (int32_t i = 0; i < a.fixed_count; ++i) {
    start += Pitch(a, i);
    if (pos < start) return i;
  }
  for (int32_t i = a.first_cell; i < a.count && start <= a.grid_extent; ++i) {
    start += Pitch(a, i);
    if (pos < start) return i;
  }
  return -1;
}

}  // namespace

std::vector<TCustomGrid::TSpan> TCustomGrid::VisibleSpans(const TAxisInfo& a) const {
  std::vector<TSpan> spans;
  int32_t pos = 0;
  for (int32_t i = 0; i < a.fixed_count && i < a.count; ++i) {
    const int32_t size = a.extent(i);
    if (size >= 0) spans.push_back({i, pos, size});
    pos += Pitch(a, i);
  }
  for (int32_t i = a.first_cell; i < a.count && pos < a.grid_extent; ++i) {
    const int32_t size = a.extent(i);
    if (size >= 0) spans.push_back({i, pos, size});
    pos += Pitch(a, i);
  }
  return spans;
}

int32_t TCustomGrid::VisibleColCount() const {
  TAxisInfo a = HorzInfo();
  CompleteAxis(a);
  return a.last_full_visible - a.first_cell + 1;
}

int32_t TCustomGrid::VisibleRowCount() const { return VisibleRowCountFor(row_count_); }

int32_t TCustomGrid::VisibleRowCountFor(int32_t row_count) const {
  TAxisInfo a = VertInfo();
  a.count = row_count;
  CompleteAxis(a);
  return a.last_full_visible - a.first_cell + 1;
}

void TCustomGrid::SetTopRow(int32_t row) {
  SetTopLeft({top_left_.x, std::clamp(row, fixed_rows_, std::max(fixed_rows_, row_count_ - 1))});
}

TRect TCustomGrid::CellRect(int32_t col, int32_t row) const {
  if (col < 0 || row < 0 || col >= col_count_ || row >= row_count_) return {};
  TAxisInfo h = HorzInfo();
  TAxisInfo v = VertInfo();
  CompleteAxis(h);
  CompleteAxis(v);
  const int32_t x = CellStart(h, col);
  const int32_t y = CellStart(v, row);
  const int32_t w = ColWidths(col);
  const int32_t hgt = RowHeights(row);
  if (x < 0 || y < 0 || w < 0 || hgt < 0) return {};
  return {x, y, x + w, y + hgt};
}

TGridCoord TCustomGrid::MouseCoord(int32_t x, int32_t y) const {
  TAxisInfo h = HorzInfo();
  TAxisInfo v = VertInfo();
  CompleteAxis(h);
  CompleteAxis(v);
  TGridCoord c{CellAt(h, x), CellAt(v, y)};
  if (c.x < 0 || c.y < 0) return {-1, -1};
  return c;
}

// ---- Current cell and scrolling ---------------------------------------------------------

bool TCustomGrid::SelectCell(int32_t, int32_t) { return true; }

void TCustomGrid::MoveCurrent(int32_t col, int32_t row, bool move_anchor, bool show) {
  if (col < 0 || row < 0 || col >= col_count_ || row >= row_count_) {
    throw EInvalidGridOperation(grid_msg::kIndexOutOfRange);
  }
  if (!SelectCell(col, row)) return;
  const TGridCoord old = current_;
  current_ = {col, row};
  if (!(grid_options_ & goAlwaysShowEditor)) HideEditor();
  if (move_anchor || !(grid_options_ & goRangeSelect)) anchor_ = current_;
  if (grid_options_ & goRowSelect) current_.x = fixed_cols_;
  if (show) ClampInView(current_);
  InvalidateCell(old.x, old.y);
  InvalidateCell(current_.x, current_.y);
}

void TCustomGrid::MoveColRow(int32_t col, int32_t row, bool move_anchor, bool show) {
  MoveCurrent(col, row, move_anchor, show);
  UpdateEdit();
}

void TCustomGrid::FocusCell(int32_t col, int32_t row, bool move_anchor) {
  MoveCurrent(col, row, move_anchor, true);
  UpdateEdit();
  if (OnClick) OnClick();
}

// Scrolls horizontally by the least amount that shows the cell fully.
void TCustomGrid::ClampInView(TGridCoord coord) {
  if (!isVisible() && ClientWidth() <= 0) return;
  if (coord.x < fixed_cols_) return;
  TAxisInfo h = HorzInfo();
  CompleteAxis(h);
  TGridCoord top_left = top_left_;
  if (coord.x < top_left.x) {
    top_left.x = coord.x;
  } else if (coord.x > h.last_full_visible) {
    // Find the leftmost column that still shows `coord.x` fully.
    int32_t width = h.grid_extent - h.fixed_boundary;
    int32_t left = coord.x;
    width -= Pitch(h, left) - h.line_width;
    while (left - 1 >= fixed_cols_ && width - Pitch(h, left - 1) >= 0) {
      width -= Pitch(h, left - 1);
      --left;
    }
    top_left.x = std::max(left, top_left.x);
  }
  SetTopLeft(top_left);
}

void TCustomGrid::SetLeftCol(int32_t col) {
  col = std::clamp(col, fixed_cols_, std::max(fixed_cols_, MaxLeftCol()));
  SetTopLeft({col, top_left_.y});
}

void TCustomGrid::SetTopLeft(TGridCoord top_left) {
  if (top_left == top_left_) return;
  top_left_ = top_left;
  UpdateScrollPos();
  InvalidateGrid();
  TopLeftChanged();
  UpdateEdit();
}

void TCustomGrid::TopLeftChanged() {}

// The largest left column that still fills the client width with the last columns.
int32_t TCustomGrid::MaxLeftCol() const {
  TAxisInfo h = HorzInfo();
  CompleteAxis(h);
  int32_t width = h.grid_extent - h.fixed_boundary;
  int32_t left = col_count_ - 1;
  while (left >= fixed_cols_ && Pitch(h, left) == 0) --left;
  if (left < fixed_cols_) return fixed_cols_;
  width -= Pitch(h, left) - h.line_width;
  while (left - 1 >= fixed_cols_ && width - Pitch(h, left - 1) >= 0) {
    width -= Pitch(h, left - 1);
    --left;
  }
  return left;
}

// The horizontal bar exists only while not all columns fit; its range is 0..127.
void TCustomGrid::UpdateScrollRange() {
  if (adjusting_bars_) return;
  adjusting_bars_ = true;
  const bool horizontal = scroll_bars_ == ssHorizontal || scroll_bars_ == ssBoth;
  const int32_t max_left = MaxLeftCol();
  const bool needed = horizontal && max_left > fixed_cols_;
  setHorizontalScrollBarPolicy(needed ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  if (needed) {
    horizontalScrollBar()->setRange(0, 127);
    horizontalScrollBar()->setPageStep(1);
  }
  adjusting_bars_ = false;
  if (top_left_.x > std::max(fixed_cols_, MaxLeftCol())) {
    SetTopLeft({std::max(fixed_cols_, MaxLeftCol()), top_left_.y});
  }
  UpdateScrollPos();
}

void TCustomGrid::UpdateScrollPos() {
  const int32_t span = MaxLeftCol() - fixed_cols_;
  if (span <= 0) return;
  horizontalScrollBar()->setValue(MulDiv(top_left_.x - fixed_cols_, 127, span));
}

void TCustomGrid::HorizontalScroll(TScrollCode code, int32_t position) {
  if (CanFocus()) setFocus();
  const int32_t max_left = std::max(fixed_cols_, MaxLeftCol());
  int32_t left = top_left_.x;
  auto step = [&](int32_t dir) {
    int32_t c = left + dir;
    while (c >= fixed_cols_ && c <= max_left && ColWidths(c) <= 0) c += dir;
    if (c >= fixed_cols_ && c <= max_left) left = c;
  };
  switch (code) {
    case scLineUp: step(-1); break;
    case scLineDown: step(+1); break;
    case scPageUp: left = std::max(fixed_cols_, left - VisibleColCount()); break;
    case scPageDown: left = std::min(max_left, left + VisibleColCount()); break;
    case scPosition:
      left = fixed_cols_ + MulDiv(position, max_left - fixed_cols_, 127);
      break;
    case scTop: left = fixed_cols_; break;
    case scBottom: left = max_left; break;
    default: return;
  }
  SetLeftCol(left);
  UpdateScrollPos();
}

void TCustomGrid::VerticalScroll(TScrollCode, int32_t) {}

void TCustomGrid::SetVerticalScrollInfo(int32_t min, int32_t max, int32_t page, int32_t pos) {
  vbar_min_ = min;
  vbar_max_ = max;
  vbar_page_ = page;
  QScrollBar* bar = verticalScrollBar();
  // The window layer's thumb runs to max - page + 1; that is Qt's maximum.
  bar->setRange(min, std::max(min, max - std::max(page, 1) + 1));
  bar->setPageStep(std::max(page, 1));
  bar->setValue(pos);
  bar->setSliderPosition(pos);
  if (!vertical_bar_written_) {
    vertical_bar_written_ = true;
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  }
}

bool TCustomGrid::VerticalScrollInfo(int32_t& min, int32_t& max, int32_t& page,
                                     int32_t& pos) const {
  min = vbar_min_;
  max = vbar_max_;
  page = vbar_page_;
  // A pending request has moved the thumb already; that is the position shown.
  pos = verticalScrollBar()->sliderPosition();
  return vertical_bar_written_;
}

void TCustomGrid::scrollContentsBy(int, int) {}

void TCustomGrid::HandleScrollAction(Qt::Orientation orientation, int action) {
  QScrollBar* bar = orientation == Qt::Horizontal ? horizontalScrollBar() : verticalScrollBar();
  TScrollCode code;
  switch (action) {
    case -1: code = scPosition; break;  // the thumb was released
    case QAbstractSlider::SliderSingleStepAdd: code = scLineDown; break;
    case QAbstractSlider::SliderSingleStepSub: code = scLineUp; break;
    case QAbstractSlider::SliderPageStepAdd: code = scPageDown; break;
    case QAbstractSlider::SliderPageStepSub: code = scPageUp; break;
    case QAbstractSlider::SliderToMinimum: code = scTop; break;
    case QAbstractSlider::SliderToMaximum: code = scBottom; break;
    case QAbstractSlider::SliderMove:
      if (!(grid_options_ & goThumbTracking)) return;
      code = scTrack;
      break;
    default: return;
  }
  const int32_t position = bar->sliderPosition();
  if (orientation == Qt::Horizontal) {
    HorizontalScroll(code == scTrack ? scPosition : code, position);
    bar->setSliderPosition(bar->value());
  } else {
    VerticalScroll(code, position);
  }
}

// ---- Switches and colours ---------------------------------------------------------------

void TCustomGrid::SetGridOptions(TGridOptions options) {
  if (options == grid_options_) return;
  if (options & goRowSelect) options = static_cast<TGridOptions>(options & ~goAlwaysShowEditor);
  grid_options_ = options;
  if (!editor_mode_) {
    if (options & goAlwaysShowEditor) {
      ShowEditor();
    } else {
      HideEditor();
    }
  }
  if (options & goRowSelect) current_.x = fixed_cols_;
  InvalidateGrid();
  UpdateScrollRange();
}

void TCustomGrid::SetColor(TColor color) {
  color_ = color;
  InvalidateGrid();
}

void TCustomGrid::SetFixedColor(TColor color) {
  fixed_color_ = color;
  InvalidateGrid();
}

void TCustomGrid::SetScrollBars(TScrollStyle bars) {
  scroll_bars_ = bars;
  if (bars == ssNone || bars == ssHorizontal) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    vertical_bar_written_ = false;
  }
  UpdateScrollRange();
}

// ---- Editor -----------------------------------------------------------------------------

bool TCustomGrid::IsActiveControl() const {
  const QWidget* focus = window()->focusWidget();
  return focus != nullptr && (focus == this || focus == inplace_edit_);
}

bool TCustomGrid::CanFocus() const {
  return isEnabled() && isVisible() && focusPolicy() != Qt::NoFocus;
}

void TCustomGrid::SetEditorMode(bool on) {
  if (on) {
    ShowEditor();
  } else {
    HideEditor();
  }
}

void TCustomGrid::ShowEditor() {
  editor_mode_ = true;
  UpdateEdit();
}

void TCustomGrid::HideEditor() {
  editor_mode_ = false;
  HideEdit();
}

TInplaceEdit* TCustomGrid::CreateEditor() { return new TInplaceEdit(this); }

bool TCustomGrid::CanEditShow() {
  return (grid_options_ & (goRowSelect | goEditing)) == goEditing && editor_mode_ &&
         ((grid_options_ & goAlwaysShowEditor) || IsActiveControl());
}

void TCustomGrid::UpdateEdit() {
  if (!CanEditShow()) return;
  auto load = [this] {
    editor_cell_ = current_;
    inplace_edit_->UpdateContents();
    inplace_edit_->SelectAll();
  };
  if (inplace_edit_ == nullptr) {
    inplace_edit_ = CreateEditor();
    load();
  } else if (editor_cell_ != current_) {
    HideEdit();
    load();
  }
  if (CanEditShow()) inplace_edit_->Move(CellRect(current_.x, current_.y));
}

void TCustomGrid::HideEdit() {
  if (inplace_edit_ == nullptr) return;
  try {
    UpdateText();
  } catch (...) {
    InvalidateEditor();
    inplace_edit_->Hide();
    throw;
  }
  InvalidateEditor();
  inplace_edit_->Hide();
}

void TCustomGrid::UpdateText() {
  if (editor_cell_.x != -1 && editor_cell_.y != -1) {
    SetEditText(editor_cell_.x, editor_cell_.y, inplace_edit_->Text());
  }
}

bool TCustomGrid::CanEditAcceptKey(char) { return true; }
bool TCustomGrid::CanEditAcceptText(const QString& text, bool typed) {
  return typed ? CheckTypedText(text, nullptr) : CheckStorableText(text, nullptr);
}
bool TCustomGrid::CanEditModify() { return true; }
std::string TCustomGrid::GetEditText(int32_t, int32_t) { return {}; }
void TCustomGrid::SetEditText(int32_t, int32_t, const std::string&) {}
int32_t TCustomGrid::GetEditLimit() { return 0; }
std::string TCustomGrid::GetEditMask(int32_t, int32_t) { return {}; }

// ---- Columns ----------------------------------------------------------------------------

void TCustomGrid::MoveColumn(int32_t from, int32_t to) {
  if (from == to) return;
  auto move = [from, to](auto& v) {
    if (v.empty()) return;
    auto item = v[static_cast<size_t>(from)];
    v.erase(v.begin() + from);
    v.insert(v.begin() + to, item);
  };
  move(col_widths_);
  move(tab_stops_);
  auto adjust = [from, to](int32_t& c) {
    if (c == from) {
      c = to;
    } else if (from < to && c > from && c <= to) {
      --c;
    } else if (from > to && c >= to && c < from) {
      ++c;
    }
  };
  adjust(current_.x);
  adjust(anchor_.x);
  if (editor_cell_.x != -1) adjust(editor_cell_.x);
  ColumnMoved(from, to);
  InvalidateGrid();
  UpdateScrollRange();
}

void TCustomGrid::ColumnMoved(int32_t, int32_t) {}


}  // namespace snyltdyr
