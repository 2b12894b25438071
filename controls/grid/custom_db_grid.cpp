// The data grid's life, properties, layout and the link's notifications.
#include "controls/grid/custom_db_grid.h"

#include <QBitmap>
#include <QEvent>
#include <QFontMetrics>
#include <QLocale>
#include <QResizeEvent>
#include <algorithm>
#include <cstdlib>

#include "controls/grid/inplace_edit.h"
#include "dataset/data_set.h"
#include "dataset/fields/fields.h"
#include "toolkit/look/bitmap_resource.h"
#include "toolkit/widgets/form.h"
#include "toolkit/events/posted_message.h"
#include "toolkit/look/qt_text.h"

namespace snyltdyr {
namespace {

const char* const kIndicatorNames[5] = {"DBGARROW", "DBEDIT", "DBINSERT", "DBMULTIDOT",
                                        "DBMULTIARROW"};

// Korean user interfaces show the editor always and refresh it only on Esc.
bool KoreanInterface() { return QLocale::system().language() == QLocale::Korean; }

QPixmap MaskedWithWhite(QPixmap glyph) {
  glyph.setMask(glyph.createMaskFromColor(Qt::white));
  return glyph;
}

// The form a control sits on, whose font a grid with ParentFont follows.
TForm* FormOf(QWidget* widget) {
  for (QWidget* w = widget != nullptr ? widget->parentWidget() : nullptr; w != nullptr;
       w = w->parentWidget()) {
    if (auto* form = dynamic_cast<TForm*>(w)) return form;
  }
  return nullptr;
}

}  // namespace

TCustomDBGrid::TCustomDBGrid(QWidget* parent)
    : TCustomGrid(parent),
      data_link_(std::make_unique<TGridDataLink>(this)),
      columns_(std::make_unique<TDBGridColumns>(this)),
      font_(DefaultWindowFont()),
      title_font_(DefaultWindowFont()) {
  SetBaseDefaultDrawing(false);
  for (size_t i = 0; i < indicators_.size(); ++i) {
    indicators_[i] = MaskedWithWhite(LoadBitmapResource(kIndicatorNames[i]));
  }
  if (KoreanInterface()) options_ |= dgAlwaysShowEditor;
  TGridOptions base = goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goColSizing |
                      goColMoving | goEditing | goTabs;
  if (options_ & dgAlwaysShowEditor) base |= goAlwaysShowEditor;
  SetGridOptions(base);
  SetScrollBars(ssHorizontal);
  SetColCount(2);
  SetRowCount(2);
  SetColor(clWindow);
  font_.OnChange = [this] { FontChanged(); };
  title_font_.OnChange = [this] { TitleFontChanged(); };
  SetParentFont(true);
}

TCustomDBGrid::~TCustomDBGrid() {
  StopFocusTracking();
  destroying_ = true;
  for (TField* field : watched_fields_) field->RemoveObserver(this);
  watched_fields_.clear();
  data_link_->SetDataSource(nullptr);
  columns_->Clear();
}

// ---- Properties -------------------------------------------------------------------------

void TCustomDBGrid::SetDataSource(TDataSource* source) {
  if (source == data_link_->DataSource()) return;
  data_link_->SetDataSource(source);
}

void TCustomDBGrid::SetOptions(TDBGridOptions value) {
  if (value == options_) return;
  TGridOptions base = 0;
  if (value & dgColLines) base |= goFixedVertLine | goVertLine;
  if (value & dgRowLines) base |= goFixedHorzLine | goHorzLine;
  if (value & dgColumnResize) base |= goColSizing | goColMoving;
  if (value & dgTabs) base |= goTabs;
  if (value & dgRowSelect) {
    base |= goRowSelect;
    value = static_cast<TDBGridOptions>(value & ~(dgEditing | dgAlwaysShowEditor));
  }
  if (value & dgEditing) base |= goEditing;
  if (value & dgAlwaysShowEditor) base |= goAlwaysShowEditor;
  SetGridOptions(base);
  constexpr TDBGridOptions kLayoutOptions = dgEditing | dgAlwaysShowEditor | dgTitles |
                                            dgIndicator | dgColLines | dgRowLines | dgRowSelect |
                                            dgAlwaysShowSelection;
  const TDBGridOptions changed = static_cast<TDBGridOptions>(options_ ^ value);
  options_ = value;
  if (changed & kLayoutOptions) RequestLayout();
}

void TCustomDBGrid::SetTitleFont(const TFont& font) { title_font_ = font; }

void TCustomDBGrid::SetParentFont(bool on) {
  parent_font_ = on;
  if (!on) return;
  TForm* form = FormOf(this);
  if (form == nullptr) return;
  // Copying the parent's font is no change of the grid's own choosing.
  font_.OnChange = nullptr;
  font_ = form->Font();
  font_.OnChange = [this] { FontChanged(); };
  self_changing_title_font_ = true;
  title_font_ = font_;
  self_changing_title_font_ = false;
  BeginLayout();
  for (int32_t i = 0; i < columns_->Count(); ++i) (*columns_)[i]->RefreshDefaultFont();
  EndLayout();
}

void TCustomDBGrid::SetReadOnly(bool read_only) {
  if (read_only == read_only_) return;
  read_only_ = read_only;
  RequestLayout();
}

TColumn* TCustomDBGrid::ColumnOf(int32_t data_col) const {
  if (data_col < 0 || data_col >= columns_->Count()) return nullptr;
  return (*columns_)[data_col];
}

TField* TCustomDBGrid::SelectedField() {
  TColumn* column = ColumnOf(SelectedIndex());
  return column != nullptr ? column->Field() : nullptr;
}

void TCustomDBGrid::SetSelectedField(TField* field) {
  if (field == nullptr) return;
  for (int32_t i = 0; i < columns_->Count(); ++i) {
    if ((*columns_)[i]->Field() == field) {
      SelectColumn(DataToRawColumn(i), 0);
      return;
    }
  }
}

// ---- Fonts ------------------------------------------------------------------------------

void TCustomDBGrid::FontChanged() {
  parent_font_ = false;
  if (InplaceEditor() != nullptr) {
    TColumn* column = ColumnOf(SelectedIndex());
    InplaceEditor()->SetOwnFont(column != nullptr ? column->Font() : font_);
  }
  BeginLayout();
  for (int32_t i = 0; i < columns_->Count(); ++i) (*columns_)[i]->RefreshDefaultFont();
  EndLayout();
}

void TCustomDBGrid::TitleFontChanged() {
  if (!self_changing_title_font_) parent_font_ = false;
  if (options_ & dgTitles) RequestLayout();
}

// ---- Layout -----------------------------------------------------------------------------

void TCustomDBGrid::BeginLayout() {
  BeginUpdate();
  if (layout_lock_ == 0) columns_->BeginUpdate();
  ++layout_lock_;
}

void TCustomDBGrid::EndLayout() {
  if (layout_lock_ == 0) return;
  try {
    if (layout_lock_ == 1) RebuildLayout();
  } catch (...) {
    if (layout_lock_ == 1) columns_->EndUpdate();
    --layout_lock_;
    EndUpdate();
    throw;
  }
  if (layout_lock_ == 1) columns_->EndUpdate();
  --layout_lock_;
  EndUpdate();
}

bool TCustomDBGrid::AcquireLayoutLock() {
  const bool free = update_lock_ == 0 && layout_lock_ == 0;
  if (free) BeginLayout();
  return free;
}

void TCustomDBGrid::RequestLayout() {
  if (AcquireLayoutLock()) EndLayout();
}

void TCustomDBGrid::LayoutChanged() {
  const bool saved = layout_from_dataset_;
  layout_from_dataset_ = true;
  try {
    RequestLayout();
  } catch (...) {
    layout_from_dataset_ = saved;
    throw;
  }
  layout_from_dataset_ = saved;
}

void TCustomDBGrid::ColumnChanged(TColumn* column) {
  if (column == nullptr) {
    RequestLayout();
    return;
  }
  const int32_t raw = DataToRawColumn(column->Index());
  if (raw < 0 || raw >= ColCount()) return;
  InvalidateCol(raw);
  SetColWidths(raw, column->Width());
}

void TCustomDBGrid::RebuildLayout() {
  if (destroying_) return;
  layout_token_ = 0;  // a queued deferred layout has nothing left to do
  ++rebuild_count_;
  // Default columns may not stand between customised ones.
  bool seen_default = false;
  for (int32_t i = 0; i < columns_->Count(); ++i) {
    if (!(*columns_)[i]->IsStored()) {
      seen_default = true;
    } else if (seen_default) {
      for (int32_t j = columns_->Count() - 1; j >= 0; --j) {
        if (!(*columns_)[j]->IsStored()) columns_->Delete(j);
      }
      break;
    }
  }
  indicator_offset_ = (options_ & dgIndicator) ? 1 : 0;
  data_link_->ClearMapping();
  if (data_link_->Active()) BuildFieldMap();
  BindDefaultColumns();
  showing_.clear();
  for (int32_t i = 0; i < columns_->Count(); ++i) {
    if ((*columns_)[i]->Showing()) showing_.push_back((*columns_)[i]);
  }
  SetColCount(columns_->Count() + indicator_offset_);
  SetFixedCols(indicator_offset_);
  title_offset_ = (options_ & dgTitles) ? 1 : 0;
  RecountRows();
  MeasureRows();
  ApplyColumnSizes();
  SyncCurrentRow();
  InvalidateGrid();
}

void TCustomDBGrid::BuildFieldMap() {
  TDataSet* data_set = data_link_->DataSet();
  if (columns_->State() == csCustomized) {
    data_link_->SetSparseMap(true);
    for (int32_t i = 0; i < columns_->Count(); ++i) data_link_->AddMapping((*columns_)[i]->FieldName());
    return;
  }
  data_link_->SetSparseMap(false);
  if (data_set == nullptr) return;
  const TFields& fields = data_set->Fields();
  for (int32_t i = 0; i < fields.Count(); ++i) {
    if (fields[i]->Visible()) data_link_->AddMapping(fields[i]->FieldName());
  }
}

void TCustomDBGrid::BindDefaultColumns() {
  if (columns_->State() == csCustomized) {
    // Customised columns look their fields up again by name.
    for (int32_t i = 0; i < columns_->Count(); ++i) {
      TColumn* column = (*columns_)[i];
      const std::string name = column->FieldName();
      column->SetFieldName(name);
    }
    return;
  }
  TDataSet* data_set = data_link_->DataSet();
  if (!data_link_->Active() && data_set != nullptr && data_set->DefaultFields()) {
    columns_->Clear();
  } else {
    for (int32_t i = columns_->Count() - 1; i >= 0; --i) {
      TField* field = (*columns_)[i]->HeldField();
      bool mapped = false;
      for (int32_t j = 0; j < data_link_->FieldCount() && !mapped; ++j) {
        mapped = field != nullptr && data_link_->Fields(j) == field;
      }
      if (!mapped) columns_->Delete(i);
    }
  }
  int32_t count = data_link_->FieldCount();
  if (count == 0 && columns_->Count() == 0) count = 1;
  for (int32_t j = 0; j < count; ++j) {
    TField* field = data_link_->Fields(j);
    TColumn* column = nullptr;
    if (field != nullptr) {
      for (int32_t k = j; k < columns_->Count() && column == nullptr; ++k) {
        if ((*columns_)[k]->HeldField() == field) column = (*columns_)[k];
      }
    }
    if (column == nullptr) {
      column = columns_->AddDefault();
      if (field != nullptr) column->SetField(field);
    }
    columns_->Move(column->Index(), j);
  }
}

void TCustomDBGrid::RecountRows() {
  const int32_t old = RowCount();
  if (RowCount() <= title_offset_) SetRowCount(title_offset_ + 1);
  SetFixedRows(title_offset_);
  if (data_link_->Active() && data_link_->LinkRecordCount() > 0 && window_created_) {
    // Count the rows that fit as if the grid had plenty: the window height decides.
    data_link_->SetLinkBufferCount(VisibleRowCountFor(1000));
    SetRowCount(data_link_->LinkRecordCount() + title_offset_);
    if (options_ & dgRowSelect) SetTopRow(FixedRows());
    SyncCurrentRow();
  } else {
    SetRowCount(title_offset_ + 1);
  }
  if (RowCount() != old) InvalidateGrid();
}

int32_t TCustomDBGrid::ComputeDefaultWidth(TColumn& column) {
  TField* field = column.Field();
  if (field == nullptr) return DefaultColWidth();
  const QFontMetrics metrics(ToQFont(column.Font()));
  const int32_t zero = metrics.horizontalAdvance(QLatin1Char('0'));
  const int32_t overhang = 0;  // outline fonts have none
  int32_t width = (zero - overhang) * field->DisplayWidth() + overhang + 4;
  if (options_ & dgTitles) {
    const QFontMetrics title(ToQFont(column.Title().Font()));
    const int32_t caption = title.horizontalAdvance(ToQString(column.Title().Caption())) + 4;
    width = std::max(width, caption);
  }
  return width;
}

void TCustomDBGrid::MeasureRows() {
  const int32_t text = QFontMetrics(ToQFont(font_)).height();
  int32_t height = text + 3;
  if (options_ & dgRowLines) height += GridLineWidth();
  SetDefaultRowHeight(height);
  if (!(options_ & dgTitles)) return;
  int32_t title = 0;
  if (columns_->Count() == 0) {
    title = QFontMetrics(ToQFont(title_font_)).height() + 4;
  }
  for (int32_t i = 0; i < columns_->Count(); ++i) {
    const int32_t candidate = QFontMetrics(ToQFont((*columns_)[i]->Title().Font())).height() + 4;
    title = std::max(title, candidate);
  }
  SetRowHeights(0, title);
}

void TCustomDBGrid::ApplyColumnSizes() {
  for (int32_t j = 0; j < columns_->Count(); ++j) {
    TColumn* column = (*columns_)[j];
    const int32_t raw = j + indicator_offset_;
    SetColWidths(raw, column->Width());
    TField* field = column->Field();
    SetTabStops(raw, column->Showing() && !column->ReadOnly() && data_link_->Active() &&
                         field != nullptr && field->FieldKind() != fkCalculated &&
                         !field->ReadOnly());
  }
  if (options_ & dgIndicator) SetColWidths(0, kIndicatorWidth);
}

void TCustomDBGrid::SyncCurrentRow() {
  if (!data_link_->Active() || !window_created_) return;
  const int32_t row = data_link_->LinkActiveRecord() + title_offset_;
  if (row != Row() && row < RowCount()) {
    if (!(options_ & dgAlwaysShowEditor)) HideEditor();
    MoveCurrent(Col(), row, false, false);
    RefreshEditor();
  }
  // Text the user typed and has not written back yet differs from the field on purpose:
  // reloading the editor then would throw it away (a resize while typing).
  TField* field = SelectedField();
  if (field != nullptr && !data_link_->Modified() && field->Text() != edit_text_) {
    RefreshEditor();
  }
}

void TCustomDBGrid::SyncRecordScrollBar() {
  if (!data_link_->Active() || !window_created_) return;
  TDataSet* data_set = data_link_->DataSet();
  int32_t min = 0, max = 0, page = 0, pos = 0;
  const bool written = VerticalScrollInfo(min, max, page, pos);
  int32_t new_min, new_max, new_page, new_pos = pos;
  if (data_set->IsNumbered()) {
    new_min = 1;
    new_page = VisibleRowCount();
    new_max = data_set->RecordTotal() + new_page - 1;
    const DataState state = data_set->DataState();
    if (state == StateInactive || state == StateBrowse || state == StateEdit) {
      new_pos = data_set->RecordNumber();
    }
  } else {
    new_min = 0;
    new_max = 4;
    new_page = 0;
    new_pos = data_set->AtStart() ? 0 : data_set->AtEnd() ? 4 : 2;
  }
  if (!written || new_min != min || new_max != max || new_page != page || new_pos != pos) {
    SetVerticalScrollInfo(new_min, new_max, new_page, new_pos);
  }
}

// The rows a scroll by `distance` brought into view, and the current row, are drawn
// whole: the strip the window system exposes ends at the client's edge, not at a partly
// shown last row, and what was marked for drawing before the scroll moved with the pixels.
void TCustomDBGrid::InvalidateScrolledIn(int32_t distance) {
  const int32_t first = title_offset_;
  const int32_t last = RowCount() - 1;
  const int32_t from = distance > 0 ? std::max(first, last - distance) : first;
  const int32_t to = distance > 0 ? last : std::min(last, first - distance);
  for (int32_t row = from; row <= to; ++row) InvalidateRect(RowRect(row));
  InvalidateRect(RowRect(Row()));
}

void TCustomDBGrid::ScrollRows(int32_t distance) {
  if (!window_created_) return;
  const TRect old_row = RowRect(Row());
  const int32_t old_row_index = Row();
  if (data_link_->LinkActiveRecord() >= RowCount() - title_offset_) RecountRows();
  SyncRecordScrollBar();
  SyncCurrentRow();
  InvalidateRect(old_row);
  InvalidateRect(RowRect(Row()));
  if (distance != 0) {
    HideEditor();
    try {
      if (std::abs(distance) > VisibleRowCount()) {
        InvalidateGrid();
      } else {
        int32_t pitch = DefaultRowHeight();
        if (options_ & dgRowLines) pitch += GridLineWidth();
        if (options_ & dgIndicator) InvalidateCell(0, indicator_row_);
        const TRect first = CellRect(0, title_offset_);
        const TRect area{0, first.top, ClientWidth(), ClientHeight()};
        ScrollPixels(-pitch * distance, area);
        // The old current row moved with the pixels; it loses its highlight there.
        const int32_t moved_to = old_row_index - distance;
        if (moved_to >= title_offset_ && moved_to < RowCount()) InvalidateRect(RowRect(moved_to));
        InvalidateScrolledIn(distance);
      }
    } catch (...) {
      if (options_ & dgAlwaysShowEditor) ShowEditor();
      throw;
    }
    if (options_ & dgAlwaysShowEditor) ShowEditor();
  }
  if (update_lock_ == 0) UpdateNow();
}

// ---- Notifications from the link --------------------------------------------------------

void TCustomDBGrid::LinkActive(bool active) {
  if (!active) HideEditor();
  RequestLayout();
  SyncRecordScrollBar();
  if (active && (options_ & dgAlwaysShowEditor)) ShowEditor();
}

void TCustomDBGrid::DataChanged() {
  if (!window_created_) return;
  RecountRows();
  SyncRecordScrollBar();
  SyncCurrentRow();
  RefreshEditor();
  InvalidateGrid();
}

void TCustomDBGrid::RecordChanged(TField* field) {
  if (!window_created_) return;
  if (field != nullptr) {
    for (int32_t i = 0; i < columns_->Count(); ++i) {
      if ((*columns_)[i]->HeldField() == field) InvalidateCol(DataToRawColumn(i));
    }
  } else {
    InvalidateGrid();
  }
  TField* current = SelectedField();
  if ((field == nullptr || field == current) && current != nullptr &&
      current->Text() != edit_text_ && (!KoreanInterface() || esc_key_)) {
    RefreshEditor();
    if (InplaceEditor() != nullptr) InplaceEditor()->CaretToEnd();
  }
}

void TCustomDBGrid::EditingChanged() {
  if (options_ & dgIndicator) InvalidateCell(0, indicator_row_);
}

void TCustomDBGrid::FocusField(TField** field_ref) {
  if (field_ref == nullptr || *field_ref == nullptr) return;
  TField* field = *field_ref;
  SetSelectedField(field);
  if (SelectedField() == field && AcquireFocus()) {
    *field_ref = nullptr;
    ShowEditor();
  }
}

void TCustomDBGrid::WatchField(TField* field) {
  if (field == nullptr || destroying_) return;
  if (watched_fields_.insert(field).second) field->AddObserver(this);
}

// A field object is going away: let go of it at once, rebuild now or, while the dataset
// is going away or holds its controls still, once the loop is free.
void TCustomDBGrid::FieldDestroyed(TField& field) {
  watched_fields_.erase(&field);
  if (destroying_) return;
  BeginLayout();
  for (int32_t i = 0; i < columns_->Count(); ++i) {
    TColumn* column = (*columns_)[i];
    if (column->HeldField() == &field) column->FieldDestroyed();
  }
  TDataSet* data_set = data_link_->DataSet();
  const bool defer = data_set != nullptr && (data_set->Destroying() || data_set->ControlsSuspended());
  if (!defer) {
    EndLayout();
    return;
  }
  PostLayoutMessage();
  --layout_lock_;
  if (layout_lock_ == 0) columns_->EndUpdate();
  EndUpdate();
}

void TCustomDBGrid::PostLayoutMessage() {
  if (layout_token_ != 0) return;  // one queued is enough
  layout_token_ = ++next_layout_token_;
  PostMessage(this, {kLayoutMessage, layout_token_, 0});
}

void TCustomDBGrid::LayoutMessageArrived(intptr_t token) {
  if (token != layout_token_) return;  // a rebuild made it void meanwhile
  layout_token_ = 0;
  if (AcquireLayoutLock()) {
    EndLayout();
  } else {
    PostLayoutMessage();
  }
}

bool TCustomDBGrid::AcquireFocus() {
  if (!acquire_focus_ || !CanFocus()) return true;
  setFocus(Qt::MouseFocusReason);
  return hasFocus() || (InplaceEditor() != nullptr && InplaceEditor()->hasFocus()) ||
         IsActiveControl();
}

// ---- Vertical scrolling ------------------------------------------------------------------

void TCustomDBGrid::VerticalScroll(TScrollCode code, int32_t position) {
  if (!CanFocus() || !data_link_->Active()) {
    SyncRecordScrollBar();
    return;
  }
  if (!AcquireFocus()) return;
  TDataSet* data_set = data_link_->DataSet();
  const int32_t visible = VisibleRowCount();
  switch (code) {
    case scLineUp:
      data_link_->MoveRelative(-data_link_->LinkActiveRecord() - 1);
      break;
    case scLineDown:
      data_link_->MoveRelative(data_link_->LinkRecordCount() - data_link_->LinkActiveRecord());
      break;
    case scPageUp: data_link_->MoveRelative(-visible); break;
    case scPageDown: data_link_->MoveRelative(visible); break;
    case scTop: data_set->First(); break;
    case scBottom: data_set->Last(); break;
    case scPosition:
      if (data_set->IsNumbered()) {
        if (position <= 1) {
          data_set->First();
        } else if (position >= data_set->RecordTotal()) {
          data_set->Last();
        } else {
          data_set->SetRecordNumber(position);
        }
      } else {
        switch (position) {
          case 0: data_set->First(); break;
          case 1: data_link_->MoveRelative(-visible); break;
          case 3: data_link_->MoveRelative(visible); break;
          case 4: data_set->Last(); break;
          default: break;
        }
      }
      break;
    default:
      break;
  }
  // A request that moved nothing still puts the thumb back where the table is.
  SyncRecordScrollBar();
}

// ---- Window events ----------------------------------------------------------------------

bool TCustomDBGrid::event(QEvent* e) {
  if (const TMessage* message = AsPostedMessage(e)) {
    if (message->msg == kLayoutMessage) {
      const intptr_t token = message->wparam;
      Guarded([&] { LayoutMessageArrived(token); });
      return true;
    }
  }
  if (e->type() == QEvent::ParentChange && parent_font_) Guarded([&] { SetParentFont(true); });
  return TCustomGrid::event(e);
}

// The first showing makes the window: rows are counted from its height from now on.
void TCustomDBGrid::showEvent(QShowEvent* e) {
  TCustomGrid::showEvent(e);
  if (window_created_) return;
  BeginUpdate();
  window_created_ = true;
  EndUpdate();
  RecountRows();
  SyncCurrentRow();
  SyncRecordScrollBar();
}

void TCustomDBGrid::resizeEvent(QResizeEvent* e) {
  TCustomGrid::resizeEvent(e);
  if (update_lock_ == 0) RecountRows();
  if (options_ & dgTitles) InvalidateRow(0);
}

void TCustomDBGrid::TopLeftChanged() {
  TCustomGrid::TopLeftChanged();
  if (options_ & dgTitles) InvalidateRow(0);
}

TInplaceEdit* TCustomDBGrid::CreateEditor() { return new TDBGridInplaceEdit(this); }

bool TCustomDBGrid::CanEditShow() { return layout_lock_ == 0 && TCustomGrid::CanEditShow(); }

}  // namespace snyltdyr
