// TCustomDBGrid: the data grid. It shows the records of its data source's dataset as
// rows and the dataset's fields as columns, with a title row on top and an indicator
// column on the left that marks the current record and its editing state.
//
// Rows: grid row r shows the link's buffered record r - TitleOffset, and the link asks
// for exactly as many records as rows fit (RecountRows), so the grid never scrolls
// vertically: moving through the table moves the dataset's window, and the grid
// shifts the pixels of its rows (ScrollRows). The vertical scroll bar is the grid's own
// picture of the position in the table. Columns: grid column c shows data column
// c - IndicatorOffset.
//
// Layout: RebuildLayout rebuilds the field map, the default columns, the counts, the
// row heights and the column widths in one pass. Changes that need it ask through
// RequestLayout, which does nothing while the update or the layout lock is held (the
// batch's end rebuilds). A field object destroyed while the dataset's controls are
// suspended defers the rebuild to a posted message (0x464); at most one is queued, and
// any rebuild makes a queued one void.
//
// Editing: the in-place editor's text is copied into EditText; the link's write-back
// puts it into the current field's Text only when the grid modified the field since the
// last record notification (DataLink().Modified()). The dataset enters edit state at the
// first changing keystroke, not when the editor opens.
#pragma once

#include <QFont>
#include <QPixmap>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "controls/grid/custom_grid.h"
#include "controls/grid/grid_columns.h"
#include "controls/grid/grid_data_link.h"
#include "dataset/links/data_source.h"
#include "dataset/fields/field.h"
#include "toolkit/look/font.h"

namespace snyltdyr {

enum TDBGridOption : uint16_t {
  dgEditing = 1u << 0,
  dgAlwaysShowEditor = 1u << 1,
  dgTitles = 1u << 2,
  dgIndicator = 1u << 3,
  dgColumnResize = 1u << 4,
  dgColLines = 1u << 5,
  dgRowLines = 1u << 6,
  dgTabs = 1u << 7,
  dgRowSelect = 1u << 8,
  dgAlwaysShowSelection = 1u << 9,
  dgConfirmDelete = 1u << 10,
  dgCancelOnExit = 1u << 11,
  dgMultiSelect = 1u << 12,
};
using TDBGridOptions = uint16_t;

inline constexpr TDBGridOptions kDefaultDBGridOptions =
    dgEditing | dgTitles | dgIndicator | dgColumnResize | dgColLines | dgRowLines | dgTabs |
    dgConfirmDelete | dgCancelOnExit;  // 0x0CFD

// The deferred-layout message.
inline constexpr uint32_t kLayoutMessage = 0x464;
// Width of the indicator column and of its glyphs.
inline constexpr int32_t kIndicatorWidth = 11;
inline constexpr int32_t kIndicatorGlyphWidth = 6;
inline constexpr int32_t kIndicatorGlyphHeight = 11;

class TCustomDBGrid : public TCustomGrid, private TFieldObserver {
 public:
  using TNotifyEvent = std::function<void(TCustomDBGrid&)>;
  using TDBGridClickEvent = std::function<void(TColumn&)>;
  using TDrawDataCellEvent =
      std::function<void(TCustomDBGrid&, const TRect&, TField*, TGridDrawState)>;
  using TDrawColumnCellEvent =
      std::function<void(TCustomDBGrid&, const TRect&, int32_t data_col, TColumn&, TGridDrawState)>;
  using TMovedEvent = std::function<void(TCustomDBGrid&, int32_t from, int32_t to)>;

  explicit TCustomDBGrid(QWidget* parent = nullptr);
  ~TCustomDBGrid() override;

  // ---- Properties ----------------------------------------------------------------------
  TDataSource* DataSource() const { return data_link_->DataSource(); }
  void SetDataSource(TDataSource* source);
  TDBGridOptions Options() const { return options_; }
  void SetOptions(TDBGridOptions options);
  TFont& Font() { return font_; }
  TFont& TitleFont() { return title_font_; }
  void SetTitleFont(const TFont& font);
  bool ParentFont() const { return parent_font_; }
  void SetParentFont(bool on);
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool read_only);
  bool DefaultDrawing() const { return default_drawing_; }
  void SetDefaultDrawing(bool on) { default_drawing_ = on; }
  TDBGridColumns& Columns() { return *columns_; }
  TGridDataLink& DataLink() { return *data_link_; }
  int32_t FieldCount() const { return data_link_->FieldCount(); }
  TField* Fields(int32_t i) const { return data_link_->Fields(i); }
  // The current column's field; none on the indicator column.
  TField* SelectedField();
  void SetSelectedField(TField* field);
  // The current data column (-1 on the indicator column).
  int32_t SelectedIndex() const { return RawToDataColumn(Col()); }
  void SetSelectedIndex(int32_t index) { SelectColumn(DataToRawColumn(index), 0); }
  uint8_t TitleOffset() const { return title_offset_; }
  uint8_t IndicatorOffset() const { return indicator_offset_; }
  int32_t IndicatorRow() const { return indicator_row_; }
  uint8_t UpdateLock() const { return update_lock_; }
  uint8_t LayoutLock() const { return layout_lock_; }
  const std::string& EditText() const { return edit_text_; }
  bool UpdateFields() const { return update_fields_; }
  bool LayoutFromDataset() const { return layout_from_dataset_; }
  // The columns that show (visible ones), in order.
  const std::vector<TColumn*>& ShowingColumns() const { return showing_; }
  // The window is made (first shown); before that the grid only keeps its settings.
  bool WindowCreated() const { return window_created_; }
  // Rebuilds done so far (a deferred layout arriving adds one).
  int32_t RebuildCount() const { return rebuild_count_; }

  // ---- Layout --------------------------------------------------------------------------
  void BeginLayout();
  void EndLayout();
  // True when no lock is held; then the layout lock is taken (EndLayout releases it).
  bool AcquireLayoutLock();
  void BeginUpdate() { ++update_lock_; }
  void EndUpdate() {
    if (update_lock_ > 0) --update_lock_;
  }
  void RequestLayout();
  void RebuildLayout();
  void RecountRows();
  void SyncCurrentRow();
  void SyncRecordScrollBar();
  void ScrollRows(int32_t distance);
  void InvalidateScrolledIn(int32_t distance);
  void MeasureRows();
  virtual void ApplyColumnSizes();
  virtual void BuildFieldMap();
  int32_t ComputeDefaultWidth(TColumn& column);
  int32_t RawToDataColumn(int32_t col) const { return col - indicator_offset_; }
  int32_t DataToRawColumn(int32_t col) const { return col + indicator_offset_; }

  // ---- Editing and keys (db_grid_editing.cpp) ----------------------------------------
  void OpenEditor() { ShowEditor(); }
  void CloseEditor() { HideEditor(); }
  void RefreshEditor();
  void FlushEditText();
  void SelectColumn(int32_t col, int32_t direction);
  void StepToNextRow(bool extend_selection);
  void StepToPriorRow(bool extend_selection);
  void TabToColumn(bool forward);
  bool AskDeleteConfirmation();
  void ResetEdits();

  bool CanEditAcceptKey(char key) override;
  bool CanEditAcceptText(const QString& text, bool typed) override;
  bool CanEditModify() override;
  std::string GetEditText(int32_t col, int32_t row) override;
  void SetEditText(int32_t col, int32_t row, const std::string& text) override;
  int32_t GetEditLimit() override;
  std::string GetEditMask(int32_t col, int32_t row) override;
  void KeyDown(uint16_t& key, TShiftState shift) override;
  void KeyPress(char& key) override;

  // ---- Notifications from the link -----------------------------------------------------
  void LinkActive(bool active);
  void DataChanged();
  void RecordChanged(TField* field);
  void EditingChanged();
  void LayoutChanged();
  void FocusField(TField** field_ref);
  void UpdateData();
  // A column changed (none: the collection).
  void ColumnChanged(TColumn* column);
  // Registers the grid to hear of the field's destruction.
  void WatchField(TField* field);

  // ---- Events --------------------------------------------------------------------------
  TNotifyEvent OnColEnter, OnColExit, OnEditButtonClick;
  TDrawDataCellEvent OnDrawDataCell;
  TDrawColumnCellEvent OnDrawColumnCell;
  TMovedEvent OnColumnMoved;
  TDBGridClickEvent OnCellClick, OnTitleClick;

 protected:
  // ---- Base grid operations ------------------------------------------------------------
  TInplaceEdit* CreateEditor() override;
  bool CanEditShow() override;
  void DrawCell(QPainter& painter, int32_t col, int32_t row, TRect rect,
                TGridDrawState state) override;
  virtual bool HighlightCell(int32_t col, int32_t row, TGridDrawState state);
  void ColumnMoved(int32_t from, int32_t to) override;
  void ColWidthsChanged() override;
  void TopLeftChanged() override;
  void VerticalScroll(TScrollCode code, int32_t position) override;
  void MouseDown(Qt::MouseButton button, TShiftState shift, int32_t x, int32_t y) override;
  void MouseUp(Qt::MouseButton button, TShiftState shift, int32_t x, int32_t y) override;
  bool DoMouseWheel(int32_t delta) override;
  void DoExit() override;

  // ---- Drawing (db_grid_paint.cpp) -----------------------------------------------------
  void DrawCellText(QPainter& painter, const TRect& rect, int32_t dx, int32_t dy,
                    const std::string& text, TAlignment alignment);
  void DrawTitleCell(QPainter& painter, int32_t data_col, TRect rect, TGridDrawState& state,
                     int32_t frame_offset);
  void DrawIndicatorCell(QPainter& painter, int32_t link_row, TRect rect, int32_t frame_offset);
  void DrawDataCell(QPainter& painter, int32_t data_col, int32_t link_row, const TRect& rect,
                    TGridDrawState state);

  // The Qt font of a look, from a small cache.
  const QFont& QFontOf(const TFont& font);

  bool event(QEvent* e) override;
  void showEvent(QShowEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  void FieldDestroyed(TField& field) override;
  void BindDefaultColumns();
  void FontChanged();
  void TitleFontChanged();
  void PostLayoutMessage();
  void LayoutMessageArrived(intptr_t token);
  // Focuses the grid for a mouse or scroll request; false when it cannot have it.
  bool AcquireFocus();
  TColumn* ColumnOf(int32_t data_col) const;

  std::unique_ptr<TGridDataLink> data_link_;
  std::unique_ptr<TDBGridColumns> columns_;
  std::vector<TColumn*> showing_;
  std::array<QPixmap, 5> indicators_;
  TFont font_;
  TFont title_font_;
  bool parent_font_ = false;
  bool read_only_ = false;
  bool user_change_ = true;
  bool esc_key_ = false;
  bool layout_from_dataset_ = false;
  TDBGridOptions options_ = kDefaultDBGridOptions;
  uint8_t title_offset_ = 1;
  uint8_t indicator_offset_ = 1;
  uint8_t update_lock_ = 0;
  uint8_t layout_lock_ = 0;
  bool in_col_exit_ = false;
  bool default_drawing_ = true;
  bool self_changing_title_font_ = false;
  int32_t indicator_row_ = 0;
  std::string edit_text_;
  bool update_fields_ = true;
  bool acquire_focus_ = true;
  bool window_created_ = false;
  bool destroying_ = false;
  intptr_t layout_token_ = 0;       // the queued deferred-layout message; 0 none
  intptr_t next_layout_token_ = 0;
  int32_t rebuild_count_ = 0;
  int32_t wheel_delta_ = 0;
  std::set<TField*> watched_fields_;
  std::vector<std::pair<TFont, QFont>> qfonts_;
};

}  // namespace snyltdyr
