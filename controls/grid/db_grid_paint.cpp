// The data grid's cell drawing: the indicator column, the titles and the data cells.
#include <QFontMetrics>
#include <QPainter>

#include "controls/grid/custom_db_grid.h"
#include "dataset/data_set.h"
#include "toolkit/widgets/panel.h"
#include "toolkit/look/qt_text.h"

namespace snyltdyr {
namespace {

constexpr TDBGridOptions kBothLines = dgRowLines | dgColLines;

// A raised inner edge around `rect` (the cell): light on top and left, shadow on bottom
// and right. The cell's text may have clipped to less.
void DrawRaisedEdge(QPainter& painter, const TRect& rect) {
  painter.setClipRect(rect.ToQRect());
  DrawEdge(painter, rect.ToQRect(), true);
}

// The dotted, inverting rectangle of the focused cell.
void DrawFocusRect(QPainter& painter, const TRect& rect) {
  painter.save();
  painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  QPen pen(Qt::white);
  pen.setDashPattern({1, 1});
  pen.setWidth(1);
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(QRect(rect.left, rect.top, rect.Width() - 1, rect.Height() - 1));
  painter.restore();
}

}  // namespace

// The text at (left + dx, top + dy) for left alignment, 3 pixels from the right edge for
// right alignment (dx unused), centred otherwise; clipped to the cell, whose background
// is filled in the brush colour first.
void TCustomDBGrid::DrawCellText(QPainter& painter, const TRect& rect, int32_t dx, int32_t dy,
                                 const std::string& text, TAlignment alignment) {
  const QRect cell = rect.ToQRect();
  painter.fillRect(cell, painter.brush());
  if (text.empty()) return;
  const QString q = ToQString(text);
  const QFontMetrics metrics = painter.fontMetrics();
  int32_t x = rect.left + dx;
  if (alignment == taRightJustify) {
    x = rect.right - metrics.horizontalAdvance(q) - 3;
  } else if (alignment == taCenter) {
    x = rect.left + rect.Width() / 2 - metrics.horizontalAdvance(q) / 2;
  }
  painter.setClipRect(cell);
  painter.drawText(x, rect.top + dy + metrics.ascent(), q);
}

void TCustomDBGrid::DrawCell(QPainter& painter, int32_t col, int32_t row, TRect rect,
                             TGridDrawState state) {
  const int32_t data_col = RawToDataColumn(col);
  const int32_t link_row = row - title_offset_;
  const bool both_lines = (options_ & kBothLines) == kBothLines;
  int32_t frame_offset = 2;
  if ((state & gdFixed) && both_lines) {
    rect = rect.Inflated(-1);
    frame_offset = 1;
  }
  if ((state & gdFixed) && data_col < 0) {
    DrawIndicatorCell(painter, link_row, rect, frame_offset);
  } else {
    TColumn* column = ColumnOf(data_col);
    if (column == nullptr || !column->Showing()) return;
    if (!(state & gdFixed)) {
      painter.setFont(QFontOf(column->Font()));
      painter.setPen(ToQColor(column->Font().Color()));
      painter.setBrush(ToQColor(column->Color()));
    }
    if (link_row < 0) {
      DrawTitleCell(painter, data_col, CellRect(col, row), state, frame_offset);
    } else if (!data_link_->Active()) {
      painter.fillRect(rect.ToQRect(), painter.brush());
    } else {
      DrawDataCell(painter, data_col, link_row, rect, state);
    }
  }
  if ((state & gdFixed) && both_lines) DrawRaisedEdge(painter, rect.Inflated(1));
}

void TCustomDBGrid::DrawDataCell(QPainter& painter, int32_t data_col, int32_t link_row,
                                 const TRect& rect, TGridDrawState state) {
  TColumn* column = ColumnOf(data_col);
  const int32_t old_active = data_link_->LinkActiveRecord();
  auto restore = [&] { data_link_->SetLinkActiveRecord(old_active); };
  try {
    data_link_->SetLinkActiveRecord(link_row);
    TField* field = column->Field();
    const std::string value = field != nullptr ? field->DisplayText() : std::string();
    if (HighlightCell(DataToRawColumn(data_col), link_row + title_offset_, state) &&
        default_drawing_) {
      painter.setBrush(ToQColor(clHighlight));
      painter.setPen(ToQColor(clHighlightText));
    }
    if (!isEnabled()) painter.setPen(ToQColor(clGrayText));
    if (default_drawing_) DrawCellText(painter, rect, 2, 2, value, column->Alignment());
    if (columns_->State() == csDefault && OnDrawDataCell) OnDrawDataCell(*this, rect, field, state);
    if (OnDrawColumnCell) OnDrawColumnCell(*this, rect, data_col, *column, state);
  } catch (...) {
    restore();
    throw;
  }
  restore();
  if (default_drawing_ && (state & gdSelected) &&
      ((options_ & dgAlwaysShowSelection) || hasFocus()) && !(options_ & dgRowSelect) &&
      update_lock_ == 0 && window()->focusWidget() == this) {
    DrawFocusRect(painter, rect);
  }
}

// The glyph of the current row (or of a selected one) by the dataset's state, on the
// fixed colour, right-aligned in the cell and centred vertically.
void TCustomDBGrid::DrawIndicatorCell(QPainter& painter, int32_t link_row, TRect rect,
                                      int32_t frame_offset) {
  painter.fillRect(rect.ToQRect(), ToQColor(FixedColor()));
  if (!data_link_->Active()) return;
  const bool selected = false;  // rows are selected only with dgMultiSelect, never set here
  const bool current = link_row == data_link_->LinkActiveRecord();
  if (!current && !selected) return;
  int32_t glyph = 0;
  switch (data_link_->DataSet()->DataState()) {
    case StateEdit: glyph = 1; break;
    case StateInsert: glyph = 2; break;
    case StateBrowse:
      if (selected) glyph = current ? 4 : 3;
      break;
    default: break;
  }
  const int32_t x = rect.right - kIndicatorGlyphWidth - frame_offset;
  const int32_t y = (rect.top + rect.bottom - kIndicatorGlyphHeight) / 2;
  painter.drawPixmap(x, y, indicators_[static_cast<size_t>(glyph)]);
  if (current) indicator_row_ = link_row + title_offset_;
}

void TCustomDBGrid::DrawTitleCell(QPainter& painter, int32_t data_col, TRect rect,
                                  TGridDrawState& state, int32_t frame_offset) {
  TColumn* column = ColumnOf(data_col);
  TColumnTitle& title = column->Title();
  painter.setFont(QFontOf(title.Font()));
  painter.setPen(ToQColor(title.Font().Color()));
  painter.setBrush(ToQColor(title.Color()));
  const bool both_lines = (options_ & kBothLines) == kBothLines;
  if (both_lines) rect = rect.Inflated(-1);
  DrawCellText(painter, rect, frame_offset, frame_offset, title.Caption(), title.Alignment());
  if (both_lines) DrawRaisedEdge(painter, rect.Inflated(1));
  state &= ~gdFixed;  // the edge is drawn
}

// Cells draw in a few fonts only; making a Qt font for every cell would cost more than
// drawing its text.
const QFont& TCustomDBGrid::QFontOf(const TFont& font) {
  for (const auto& [look, q] : qfonts_) {
    if (look == font) return q;
  }
  if (qfonts_.size() >= 8) qfonts_.erase(qfonts_.begin());
  qfonts_.emplace_back(font, ToQFont(font));
  return qfonts_.back().second;
}

bool TCustomDBGrid::HighlightCell(int32_t, int32_t, TGridDrawState state) {
  return (state & gdSelected) && ((options_ & dgAlwaysShowSelection) || hasFocus()) &&
         (update_lock_ == 0 || (options_ & dgRowSelect));
}

}  // namespace snyltdyr
