// The cell grid's painting: grid lines, cells, the empty area, and the drag overlays.
#include <QApplication>
#include <QPaintEvent>
#include <QPainter>

#include "controls/grid/custom_grid.h"
#include "controls/grid/inplace_edit.h"

namespace snyltdyr {
namespace {

QColor LineColor(TColor color) { return ToQColor(color); }

// A drag overlay: a dotted strip drawn by inverting what is under it.
void InvertStrip(QPainter& painter, int32_t x, int32_t width, int32_t height) {
  painter.save();
  painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  painter.fillRect(QRect(x, 0, width, height), QBrush(Qt::white, Qt::Dense4Pattern));
  painter.restore();
}

}  // namespace

// ---- Invalidation -----------------------------------------------------------------------

void TCustomGrid::InvalidateRect(const TRect& rect) {
  if (rect.IsEmpty()) return;
  viewport()->update(rect.ToQRect().adjusted(0, 0, grid_line_width_, grid_line_width_));
}

void TCustomGrid::InvalidateCell(int32_t col, int32_t row) { InvalidateRect(CellRect(col, row)); }

void TCustomGrid::InvalidateCol(int32_t col) {
  const TRect cell = CellRect(col, 0);
  if (cell.IsEmpty() && col >= fixed_cols_ && col < top_left_.x) return;
  const TRect first = CellRect(col, fixed_rows_ < row_count_ ? top_left_.y : 0);
  const int32_t left = !cell.IsEmpty() ? cell.left : first.left;
  const int32_t right = !cell.IsEmpty() ? cell.right : first.right;
  InvalidateRect({left, 0, right, ClientHeight()});
}

void TCustomGrid::InvalidateRow(int32_t row) {
  const TRect cell = CellRect(0, row);
  if (cell.IsEmpty()) return;
  InvalidateRect({0, cell.top, ClientWidth(), cell.bottom});
}

TRect TCustomGrid::RowRect(int32_t row) const {
  const TRect cell = CellRect(0, row);
  if (cell.IsEmpty()) return {};
  return {0, cell.top, ClientWidth(), cell.bottom};
}

void TCustomGrid::InvalidateGrid() { viewport()->update(); }

void TCustomGrid::ScrollPixels(int32_t dy, const TRect& rect) {
  if (rect.IsEmpty() || dy == 0) return;
  viewport()->scroll(0, dy, rect.ToQRect());
}

// Paints now what is pending; the window's repaint request is queued to its top level.
void TCustomGrid::UpdateNow() {
  if (!isVisible()) return;
  QCoreApplication::sendPostedEvents(window(), QEvent::UpdateRequest);
}

// ---- Painting ---------------------------------------------------------------------------

void TCustomGrid::paintEvent(QPaintEvent* e) {
  QPainter painter(viewport());
  Paint(painter, e->rect());
}

void TCustomGrid::Paint(QPainter& painter, const QRect& area) {
  PaintLines(painter, area);
  PaintCells(painter, area);
  PaintOverlays(painter);
}

// One stroke per cell border, at the cell's right and bottom edge plus half the line
// width: black (or FixedColor) around fixed cells, silver between data cells.
void TCustomGrid::PaintLines(QPainter& painter, const QRect& area) {
  const TAxisInfo h = HorzInfo();
  const TAxisInfo v = VertInfo();
  if (h.line_width == 0 && v.line_width == 0) return;
  const int32_t lw = grid_line_width_;
  const QColor silver = LineColor(color_ == clSilver ? TColor{clGray} : TColor{clSilver});
  const QColor fixed_vert = LineColor((grid_options_ & goFixedVertLine) ? TColor{clBlack} : fixed_color_);
  const QColor fixed_horz = LineColor((grid_options_ & goFixedHorzLine) ? TColor{clBlack} : fixed_color_);
  const QColor data_vert = (grid_options_ & goVertLine) ? silver : LineColor(color_);
  const QColor data_horz = (grid_options_ & goHorzLine) ? silver : LineColor(color_);
  const std::vector<TSpan> cols = VisibleSpans(h);
  const std::vector<TSpan> rows = VisibleSpans(v);
  // A cell's lines lie at its right and bottom edge: cells ending before the area have
  // none in it.
  const auto outside = [&](const TSpan& span, int32_t from, int32_t to, int32_t line) {
    return span.start > to || span.start + span.size + line <= from;
  };
  for (int pass = 0; pass < 2; ++pass) {  // data cells first, so fixed lines end on top
    for (const TSpan& row : rows) {
      if (outside(row, area.top(), area.bottom(), lw)) continue;
      for (const TSpan& col : cols) {
        if (outside(col, area.left(), area.right(), lw)) continue;
        const bool fixed = row.index < fixed_rows_ || col.index < fixed_cols_;
        if (fixed != (pass == 1)) continue;
        const QRect r(col.start, row.start, col.size, row.size);
        if (h.line_width > 0) {
          painter.fillRect(QRect(r.x() + r.width(), r.y(), lw, r.height() + lw),
                           fixed ? fixed_vert : data_vert);
        }
        if (v.line_width > 0) {
          painter.fillRect(QRect(r.x(), r.y() + r.height(), r.width() + lw, lw),
                           fixed ? fixed_horz : data_horz);
        }
      }
    }
  }
}

void TCustomGrid::PaintCells(QPainter& painter, const QRect& area) {
  const TAxisInfo h = HorzInfo();
  const TAxisInfo v = VertInfo();
  const std::vector<TSpan> cols = VisibleSpans(h);
  const std::vector<TSpan> rows = VisibleSpans(v);
  const bool editor_shown = inplace_edit_ != nullptr && inplace_edit_->isVisible();
  auto paint_cell = [&](const TSpan& col, const TSpan& row) {
    const TRect r{col.start, row.start, col.start + col.size, row.start + row.size};
    if (!area.intersects(r.ToQRect())) return;
    const bool fixed = col.index < fixed_cols_ || row.index < fixed_rows_;
    const bool current = col.index == current_.x && row.index == current_.y;
    if (!fixed && current && editor_shown) return;  // the editor covers it
    TGridDrawState state = fixed ? TGridDrawState{gdFixed} : 0;
    if (!fixed && current) {
      state |= gdSelected;
      if (hasFocus()) state |= gdFocused;
    }
    if (base_default_drawing_) {
      painter.fillRect(r.ToQRect(), ToQColor(fixed ? fixed_color_ : color_));
    }
    // Each cell sets the font, pen and brush it draws with; only the clip is set here.
    painter.setClipRect(r.ToQRect());
    DrawCell(painter, col.index, row.index, r, state);
  };
  // Fixed areas first, then the data area.
  for (const TSpan& row : rows) {
    for (const TSpan& col : cols) {
      if (col.index < fixed_cols_ || row.index < fixed_rows_) paint_cell(col, row);
    }
  }
  for (const TSpan& row : rows) {
    for (const TSpan& col : cols) {
      if (col.index >= fixed_cols_ && row.index >= fixed_rows_) paint_cell(col, row);
    }
  }
  painter.setClipping(false);
  // What lies right of the last column and below the last row is the grid's colour.
  const int32_t right = cols.empty() ? 0 : cols.back().start + cols.back().size + h.line_width;
  const int32_t bottom = rows.empty() ? 0 : rows.back().start + rows.back().size + v.line_width;
  const QColor fill = ToQColor(color_);
  const QRect client = viewport()->rect();
  if (right < client.width()) painter.fillRect(QRect(right, 0, client.width() - right, bottom), fill);
  if (bottom < client.height()) {
    painter.fillRect(QRect(0, bottom, client.width(), client.height() - bottom), fill);
  }
}

// ---- Drag overlays ----------------------------------------------------------------------

void TCustomGrid::PaintOverlays(QPainter& painter) {
  const int32_t height = ClientHeight();
  if (sizing_line_x_ >= 0) InvertStrip(painter, sizing_line_x_, 1, height);
  if (move_marker_x_ >= 0) InvertStrip(painter, move_marker_x_ - 2, 5, height);
}

void TCustomGrid::OverlayChanged(int32_t old_x, int32_t old_width, int32_t new_x,
                                 int32_t new_width) {
  const int32_t height = ClientHeight();
  if (old_x >= 0) viewport()->update(QRect(old_x, 0, old_width, height));
  if (new_x >= 0) viewport()->update(QRect(new_x, 0, new_width, height));
}

void TCustomGrid::SetSizingLine(int32_t x) {
  if (x == sizing_line_x_) return;
  OverlayChanged(sizing_line_x_, 1, x, 1);
  sizing_line_x_ = x;
}

void TCustomGrid::SetMoveMarker(int32_t x) {
  if (x == move_marker_x_) return;
  OverlayChanged(move_marker_x_ - 2, 5, x - 2, 5);
  move_marker_x_ = x;
}

}  // namespace snyltdyr
