// TCustomGrid: the general cell grid that the data grid is built on.
//
// A grid of ColCount x RowCount cells, the first FixedCols columns and FixedRows rows
// fixed (they never scroll); column widths and row heights default to DefaultColWidth
// and DefaultRowHeight until one is set. The grid paints itself into the viewport of a
// Qt scroll area: first the grid lines, then every cell through DrawCell (fixed areas
// first), then the area right of and below the cells in Color.
//
// Geometry: a column's extent is its width plus the grid line width when column lines
// are on; a column of negative width is hidden and has no extent. The non-fixed cells
// shown start at LeftCol / TopRow; a cell is fully visible when it ends (not counting
// its line) within the client area, and at least one row and one column count as
// visible. The horizontal scroll bar maps LeftCol onto 0..127 and exists only while not
// all columns fit; the vertical one belongs to a subclass that asks for it.
//
// Invariants: FixedCols < ColCount and FixedRows < RowCount; the current cell, the
// anchor and the top-left cell lie inside the grid; the current cell is a non-fixed cell
// (the anchor equals it in this system). The in-place editor is a child of the
// viewport, created on first use and owned through Qt's parent ownership; its cell is
// (-1, -1) while it shows none.
//
// Painting never happens outside paintEvent: the sizing line and the column-move marker
// are overlays drawn inverted there, their old place repainted when they move.
#pragma once

#include <QAbstractScrollArea>
#include <cstdint>
#include <functional>
#include <vector>

#include "controls/grid/grid_types.h"
#include "toolkit/look/color.h"
#include "toolkit/events/event_guard.h"
#include "toolkit/events/keys.h"
#include "toolkit/events/timer.h"

class QPainter;

namespace snyltdyr {

class TInplaceEdit;

class TCustomGrid : public TGuarded<QAbstractScrollArea> {
 public:
  static constexpr int32_t kDefaultColWidth = 64;
  static constexpr int32_t kDefaultRowHeight = 24;
  static constexpr int32_t kMoveTimerInterval = 60;

  explicit TCustomGrid(QWidget* parent = nullptr);
  ~TCustomGrid() override;

  // ---- Size and geometry ---------------------------------------------------------------
  int32_t ColCount() const { return col_count_; }
  void SetColCount(int32_t count);
  int32_t RowCount() const { return row_count_; }
  void SetRowCount(int32_t count);
  int32_t FixedCols() const { return fixed_cols_; }
  void SetFixedCols(int32_t count);
  int32_t FixedRows() const { return fixed_rows_; }
  void SetFixedRows(int32_t count);
  int32_t DefaultColWidth() const { return default_col_width_; }
  void SetDefaultColWidth(int32_t width);
  int32_t DefaultRowHeight() const { return default_row_height_; }
  // Drops every individual row height first.
  void SetDefaultRowHeight(int32_t height);
  int32_t ColWidths(int32_t col) const;
  void SetColWidths(int32_t col, int32_t width);
  int32_t RowHeights(int32_t row) const;
  void SetRowHeights(int32_t row, int32_t height);
  bool TabStops(int32_t col) const;
  void SetTabStops(int32_t col, bool tab_stop);
  int32_t GridLineWidth() const { return grid_line_width_; }
  void SetGridLineWidth(int32_t width);

  // ---- Position ------------------------------------------------------------------------
  int32_t Col() const { return current_.x; }
  int32_t Row() const { return current_.y; }
  // Makes the cell current, scrolls it into view, places the editor, raises OnClick.
  void FocusCell(int32_t col, int32_t row, bool move_anchor);
  int32_t LeftCol() const { return top_left_.x; }
  void SetLeftCol(int32_t col);
  int32_t TopRow() const { return top_left_.y; }
  void SetTopRow(int32_t row);
  int32_t VisibleColCount() const;
  int32_t VisibleRowCount() const;
  // The rows that would be fully visible if the grid had `row_count` rows.
  int32_t VisibleRowCountFor(int32_t row_count) const;
  // The cell's rectangle in viewport coordinates; empty when the cell is not shown.
  TRect CellRect(int32_t col, int32_t row) const;
  // A row across the whole client width; empty when the row is not shown.
  TRect RowRect(int32_t row) const;
  // The cell under a viewport point; (-1, -1) outside every cell.
  TGridCoord MouseCoord(int32_t x, int32_t y) const;

  // Per axis, what the current scroll position shows.
  struct TAxisInfo {
    int32_t line_width = 0;
    int32_t fixed_boundary = 0;   // end of the fixed cells
    int32_t grid_boundary = 0;    // end of the last cell shown (at most the extent)
    int32_t grid_extent = 0;      // client width or height
    int32_t last_full_visible = 0;
    int32_t full_vis_boundary = 0;
    int32_t fixed_count = 0;
    int32_t first_cell = 0;       // LeftCol / TopRow
    int32_t count = 0;
    std::function<int32_t(int32_t)> extent;  // size of cell i without its line; < 0 hidden
  };
  // The cells of an axis on screen: fixed ones, then from the first scrolling one until
  // the extent; hidden cells are left out.
  struct TSpan {
    int32_t index, start, size;
  };
  // Pixel extent of cell i with its line (0 for a hidden cell).
  static int32_t Pitch(const TAxisInfo& a, int32_t i);
  // Fills in the boundaries and the last fully visible cell of an axis.
  static void CompleteAxis(TAxisInfo& a);

  // ---- Look and switches ---------------------------------------------------------------
  TGridOptions GridOptions() const { return grid_options_; }
  void SetGridOptions(TGridOptions options);
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  TColor FixedColor() const { return fixed_color_; }
  void SetFixedColor(TColor color);
  TScrollStyle ScrollBars() const { return scroll_bars_; }
  void SetScrollBars(TScrollStyle bars);
  TGridState MouseState() const { return mouse_state_; }

  // ---- Editor --------------------------------------------------------------------------
  bool EditorMode() const { return editor_mode_; }
  void SetEditorMode(bool on);
  TInplaceEdit* InplaceEditor() const { return inplace_edit_; }
  TGridCoord EditorCell() const { return editor_cell_; }
  // The grid or its editor holds the focus of its window.
  bool IsActiveControl() const;
  bool CanFocus() const;

  // ---- Hooks the editor calls ----------------------------------------------------------
  virtual bool CanEditAcceptKey(char key);
  // Whether text that comes into the editor other than by a key of its own (pasted,
  // dropped, from an input method; `typed` for the last) keeps every character; a
  // refusal beeps for typed text and says why for other text.
  virtual bool CanEditAcceptText(const QString& text, bool typed);
  virtual bool CanEditModify();
  virtual std::string GetEditText(int32_t col, int32_t row);
  virtual void SetEditText(int32_t col, int32_t row, const std::string& text);
  virtual int32_t GetEditLimit();
  virtual std::string GetEditMask(int32_t col, int32_t row);
  // The editor's key and character handling pass keys to these.
  virtual void KeyDown(uint16_t& key, TShiftState shift);
  virtual void KeyPress(char& key);
  // The last left-button press on the grid (double-click detection in the editor).
  int64_t LastLeftPressTime() const { return last_left_press_ms_; }

  std::function<void()> OnClick;
  std::function<void()> OnDblClick;
  std::function<void(uint16_t& key, TShiftState shift)> OnKeyDown;
  std::function<void(char& key)> OnKeyPress;

 protected:
  // ---- Overridable operations ----------------------------------------------------------
  virtual TGridState CalcSizingState(int32_t x, int32_t y, int32_t& index, int32_t& sizing_pos,
                                     int32_t& sizing_ofs);
  virtual TInplaceEdit* CreateEditor();
  virtual bool CanEditShow();
  virtual void DrawCell(QPainter& painter, int32_t col, int32_t row, TRect rect,
                        TGridDrawState state) = 0;
  virtual bool SelectCell(int32_t col, int32_t row);
  virtual void ColumnMoved(int32_t from, int32_t to);
  virtual void ColWidthsChanged();
  virtual void RowHeightsChanged();
  virtual void TopLeftChanged();
  virtual void SizeChanged(int32_t old_col_count, int32_t old_row_count);
  virtual void Paint(QPainter& painter, const QRect& area);
  // Mouse handlers in viewport coordinates.
  virtual void MouseDown(Qt::MouseButton button, TShiftState shift, int32_t x, int32_t y);
  virtual void MouseMove(TShiftState shift, int32_t x, int32_t y);
  virtual void MouseUp(Qt::MouseButton button, TShiftState shift, int32_t x, int32_t y);
  virtual bool DoMouseWheel(int32_t delta);
  // A character typed while the grid itself has the focus.
  virtual void GridChar(char key);
  // The focus went from the grid (or its editor) to another control of the window; a
  // failure puts it back on the grid.
  virtual void DoExit() {}
  // The window lost the focus: the editor hides, editor mode stays.
  virtual void FocusLost();
  // The focus came to the grid from outside it.
  virtual void FocusGained();
  // Vertical scroll bar requests; the base grid owns only the horizontal bar.
  virtual void VerticalScroll(TScrollCode code, int32_t position);

  // ---- Editor steps --------------------------------------------------------------------
  void ShowEditor();
  void HideEditor();
  // Places the editor on the current cell (loading it when its cell changed).
  void UpdateEdit();
  // Writes the editor's text into the grid (SetEditText) and hides it.
  void HideEdit();
  void UpdateText();
  void InvalidateEditor() { editor_cell_ = {-1, -1}; }

  // ---- Painting helpers ----------------------------------------------------------------
  void InvalidateCell(int32_t col, int32_t row);
  void InvalidateCol(int32_t col);
  void InvalidateRow(int32_t row);
  void InvalidateGrid();
  void InvalidateRect(const TRect& rect);
  // Paints what is pending now instead of on the next pass of the event loop.
  void UpdateNow();
  // Scrolls the pixels of `rect` by dy, repainting what is uncovered.
  void ScrollPixels(int32_t dy, const TRect& rect);
  bool BaseDefaultDrawing() const { return base_default_drawing_; }
  void SetBaseDefaultDrawing(bool on) { base_default_drawing_ = on; }
  // Current cell without scrolling and, optionally, without moving the anchor.
  void MoveCurrent(int32_t col, int32_t row, bool move_anchor, bool show);
  void MoveColRow(int32_t col, int32_t row, bool move_anchor, bool show);
  void MoveColumn(int32_t from, int32_t to);
  // Ends a sizing or moving drag (erasing its overlay and stopping the timer).
  void CancelMode();
  // A grid being destroyed hears no more focus changes (its overrides are gone).
  void StopFocusTracking() { disconnect(focus_connection_); }
  int32_t ClientWidth() const;
  int32_t ClientHeight() const;
  // Horizontal scroll bar.
  void UpdateScrollRange();
  void HorizontalScroll(TScrollCode code, int32_t position);
  // The vertical bar, written by a subclass with the window layer's figures: positions
  // run from min to max - page + 1 (page 0 counts as 1). VerticalScrollInfo is false
  // while the bar was never written.
  void SetVerticalScrollInfo(int32_t min, int32_t max, int32_t page, int32_t pos);
  bool VerticalScrollInfo(int32_t& min, int32_t& max, int32_t& page, int32_t& pos) const;

  // ---- Qt events -----------------------------------------------------------------------
  bool event(QEvent* e) override;
  bool viewportEvent(QEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void scrollContentsBy(int dx, int dy) override;

  TAxisInfo HorzInfo() const;
  TAxisInfo VertInfo() const;
  std::vector<TSpan> VisibleSpans(const TAxisInfo& a) const;

  TGridCoord current_{1, 1};
  TGridCoord anchor_{1, 1};
  TGridCoord top_left_{1, 1};
  TGridCoord editor_cell_{-1, -1};
  TGridState mouse_state_ = gsNormal;
  int32_t sizing_index_ = 0, sizing_pos_ = 0, sizing_ofs_ = 0;
  int32_t move_index_ = 0, move_pos_ = 0;
  bool editor_mode_ = false;

 private:
  void ChangeSize(int32_t new_col_count, int32_t new_row_count);
  void ClampInView(TGridCoord coord);
  void SetTopLeft(TGridCoord top_left);
  int32_t MaxLeftCol() const;
  void UpdateScrollPos();
  void PaintLines(QPainter& painter, const QRect& area);
  void PaintCells(QPainter& painter, const QRect& area);
  void PaintOverlays(QPainter& painter);
  // The sizing line and the move marker at x (-1: none).
  void SetSizingLine(int32_t x);
  void SetMoveMarker(int32_t x);
  void OverlayChanged(int32_t old_x, int32_t old_width, int32_t new_x, int32_t new_width);
  int32_t MoveMarkerX() const;
  void MoveTimerTick();
  void UpdateMovePosition(int32_t x, bool from_timer);
  void UpdateCursor(int32_t x, int32_t y);
  void HandleScrollAction(Qt::Orientation orientation, int action);
  void FocusChanged(QWidget* old, QWidget* now);

  int32_t col_count_ = 5;
  int32_t row_count_ = 5;
  int32_t fixed_cols_ = 1;
  int32_t fixed_rows_ = 1;
  std::vector<int32_t> col_widths_;   // empty: every column DefaultColWidth
  std::vector<int32_t> row_heights_;  // empty: every row DefaultRowHeight
  std::vector<uint8_t> tab_stops_;    // empty: every column a tab stop
  int32_t default_col_width_ = kDefaultColWidth;
  int32_t default_row_height_ = kDefaultRowHeight;
  int32_t grid_line_width_ = 1;
  TGridOptions grid_options_ = goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine |
                               goRangeSelect;
  TColor color_ = clWindow;
  TColor fixed_color_ = clBtnFace;
  TScrollStyle scroll_bars_ = ssBoth;
  bool base_default_drawing_ = true;
  TInplaceEdit* inplace_edit_ = nullptr;  // a Qt child of the viewport
  TTimer move_timer_;
  QMetaObject::Connection focus_connection_;
  int32_t sizing_line_x_ = -1;  // drawn overlay, -1 none
  int32_t move_marker_x_ = -1;
  int32_t last_mouse_x_ = 0;
  int64_t last_left_press_ms_ = 0;
  bool vertical_bar_written_ = false;
  int32_t vbar_min_ = 0, vbar_max_ = 0, vbar_page_ = 0;
  bool adjusting_bars_ = false;
};

}  // namespace snyltdyr
