#include "controls/grid/grid_columns.h"

#include <algorithm>

#include "controls/grid/custom_db_grid.h"
#include "dataset/data_set.h"

namespace snyltdyr {

// ---- TColumnTitle -----------------------------------------------------------------------

TColumnTitle::TColumnTitle(TColumn* column) : column_(column), font_(DefaultFont()) {
  font_.OnChange = [this] {
    if (refreshing_) return;
    column_->Assign(cvTitleFont);
    column_->Changed(true);
  };
}

std::string TColumnTitle::DefaultCaption() const {
  TField* field = column_->Field();
  return field != nullptr ? field->DisplayLabel() : column_->FieldName();
}

std::string TColumnTitle::Caption() const {
  return (column_->AssignedValues() & cvTitleCaption) ? caption_ : DefaultCaption();
}

// A default column's caption is its field's label while the grid shows data.
void TColumnTitle::SetCaption(const std::string& caption) {
  if (!column_->IsStored()) {
    TCustomDBGrid* grid = column_->Grid();
    TField* field = column_->Field();
    if (grid != nullptr && grid->DataLink().Active() && field != nullptr) {
      field->SetDisplayLabel(caption);
    }
    return;
  }
  if ((column_->AssignedValues() & cvTitleCaption) && caption == caption_) return;
  caption_ = caption;
  column_->Assign(cvTitleCaption);
  column_->Changed(false);
}

TColor TColumnTitle::DefaultColor() const {
  TCustomDBGrid* grid = column_->Grid();
  return grid != nullptr ? grid->FixedColor() : clBtnFace;
}

TColor TColumnTitle::Color() const {
  return (column_->AssignedValues() & cvTitleColor) ? color_ : DefaultColor();
}

void TColumnTitle::SetColor(TColor color) {
  if ((column_->AssignedValues() & cvTitleColor) && color == color_) return;
  color_ = color;
  column_->Assign(cvTitleColor);
  column_->Changed(false);
}

TAlignment TColumnTitle::Alignment() const {
  return (column_->AssignedValues() & cvTitleAlignment) ? alignment_ : taLeftJustify;
}

void TColumnTitle::SetAlignment(TAlignment alignment) {
  if ((column_->AssignedValues() & cvTitleAlignment) && alignment == alignment_) return;
  alignment_ = alignment;
  column_->Assign(cvTitleAlignment);
  column_->Changed(false);
}

TFont TColumnTitle::DefaultFont() const {
  TCustomDBGrid* grid = column_->Grid();
  return grid != nullptr ? grid->TitleFont() : column_->Font();
}

bool TColumnTitle::IsDefaultFont() const { return !(column_->AssignedValues() & cvTitleFont); }

void TColumnTitle::RefreshDefaultFont() {
  if (!IsDefaultFont()) return;
  const TFont wanted = DefaultFont();
  if (font_ == wanted) return;
  refreshing_ = true;
  font_ = wanted;
  refreshing_ = false;
}

TFont& TColumnTitle::Font() {
  RefreshDefaultFont();
  return font_;
}

void TColumnTitle::SetFont(const TFont& font) { font_ = font; }

void TColumnTitle::RestoreDefaults() {
  const bool font_assigned = !IsDefaultFont();
  column_->assigned_ = static_cast<TColumnValues>(
      column_->assigned_ & ~(cvTitleColor | cvTitleCaption | cvTitleAlignment | cvTitleFont));
  caption_.clear();
  RefreshDefaultFont();
  // A title font of its own gives way to the grid's: the title row's height follows.
  column_->Changed(font_assigned);
}

// ---- TColumn ----------------------------------------------------------------------------

TColumn::TColumn(TDBGridColumns* collection, bool stored)
    : collection_(collection), stored_(stored) {
  font_ = DefaultFont();
  font_.OnChange = [this] { FontChanged(); };
  title_ = std::make_unique<TColumnTitle>(this);
}

TColumn::~TColumn() {
  // The grid keeps hearing of fields only through its field map and columns.
  field_ = nullptr;
}

TCustomDBGrid* TColumn::Grid() const { return collection_ != nullptr ? collection_->Grid() : nullptr; }

int32_t TColumn::Index() const { return collection_->IndexOf(this); }

void TColumn::SetIndex(int32_t index) {
  const int32_t old = Index();
  index = std::clamp(index, 0, collection_->Count() - 1);
  if (index == old) return;
  TCustomDBGrid* grid = Grid();
  if (!stored_ && grid != nullptr && grid->DataLink().Active() && grid->AcquireLayoutLock()) {
    // A default column follows its field: move the field where the target column's
    // field stands, and the rebuild puts the columns in field order.
    try {
      TColumn* target = (*collection_)[index];
      TField* target_field = target->Field();
      TField* field = Field();
      if (target_field != nullptr && field != nullptr) field->SetIndex(target_field->Index());
    } catch (...) {
      grid->EndLayout();
      throw;
    }
    grid->EndLayout();
  }
  const int32_t now = Index();
  if (now != index) collection_->Move(now, index);
}

TField* TColumn::Field() {
  TCustomDBGrid* grid = Grid();
  if (field_ == nullptr && !field_name_.empty() && grid != nullptr) {
    TDataSet* data_set = grid->DataLink().DataSet();
    if (data_set != nullptr && (data_set->Active() || !data_set->DefaultFields())) {
      SetField(data_set->FindField(field_name_));
    }
  }
  return field_;
}

void TColumn::SetField(TField* field) {
  if (field == field_) return;
  field_ = field;
  if (field != nullptr) {
    if (TCustomDBGrid* grid = Grid()) grid->WatchField(field);
    field_name_ = field->FieldName();
  }
  if (!stored_) {
    if (field == nullptr) field_name_.clear();
    RestoreDefaults();
  }
  Changed(false);
}

void TColumn::SetFieldName(const std::string& name) {
  field_name_ = name;
  field_ = nullptr;
  Changed(false);
}

void TColumn::FieldDestroyed() {
  field_ = nullptr;
  if (!stored_) field_name_.clear();
}

TColor TColumn::DefaultColor() const {
  TCustomDBGrid* grid = Grid();
  return grid != nullptr ? grid->Color() : clWindow;
}

TColor TColumn::Color() const { return (assigned_ & cvColor) ? color_ : DefaultColor(); }

void TColumn::SetColor(TColor color) {
  if ((assigned_ & cvColor) && color == color_) return;
  color_ = color;
  Assign(cvColor);
  Changed(false);
}

int32_t TColumn::DefaultWidth() {
  TCustomDBGrid* grid = Grid();
  if (grid == nullptr) return TCustomGrid::kDefaultColWidth;
  return grid->ComputeDefaultWidth(*this);
}

int32_t TColumn::Width() {
  if (!Showing()) return -1;
  return (assigned_ & cvWidth) ? width_ : DefaultWidth();
}

// A default column's new width is also its field's DisplayWidth in characters, so it
// outlives the column (the next opening builds fresh columns from the fields).
void TColumn::SetWidth(int32_t width) {
  TCustomDBGrid* grid = Grid();
  TField* field = stored_ ? nullptr : Field();
  if (grid != nullptr && field != nullptr && grid->WindowCreated() && grid->UpdateFields() &&
      width > 0) {
    const QFontMetrics metrics(ToQFont(Font()));
    const int32_t average = std::max(1, metrics.averageCharWidth());
    const int32_t overhang = 0;  // outline fonts have none
    field->SetDisplayWidth((width + average / 2 - overhang - 3) / average);
  }
  if (grid != nullptr && !stored_ && grid->LayoutFromDataset() && !(assigned_ & cvWidth)) {
    Changed(false);
    return;
  }
  if (width != -1 && width != DefaultWidth()) {
    width_ = width;
    Assign(cvWidth);
  } else {
    assigned_ = static_cast<TColumnValues>(assigned_ & ~cvWidth);
  }
  Changed(false);
}

TFont TColumn::DefaultFont() const {
  TCustomDBGrid* grid = Grid();
  return grid != nullptr ? grid->Font() : DefaultWindowFont();
}

bool TColumn::IsDefaultFont() const { return !(assigned_ & cvFont); }

void TColumn::RefreshDefaultFont() {
  if (!IsDefaultFont()) return;
  const TFont wanted = DefaultFont();
  if (font_ == wanted) return;
  refreshing_font_ = true;
  font_ = wanted;
  refreshing_font_ = false;
}

TFont& TColumn::Font() {
  RefreshDefaultFont();
  return font_;
}

void TColumn::SetFont(const TFont& font) { font_ = font; }

void TColumn::FontChanged() {
  if (refreshing_font_) return;
  Assign(cvFont);
  title_->RefreshDefaultFont();
  Changed(false);
}

TAlignment TColumn::DefaultAlignment() {
  TField* field = Field();
  return field != nullptr ? field->Alignment() : taLeftJustify;
}

TAlignment TColumn::Alignment() {
  return (assigned_ & cvAlignment) ? alignment_ : DefaultAlignment();
}

void TColumn::SetAlignment(TAlignment alignment) {
  if (!stored_) {
    TCustomDBGrid* grid = Grid();
    TField* field = Field();
    if (grid != nullptr && grid->DataLink().Active() && field != nullptr) {
      field->SetAlignment(alignment);
    }
    return;
  }
  if ((assigned_ & cvAlignment) && alignment == alignment_) return;
  alignment_ = alignment;
  Assign(cvAlignment);
  Changed(false);
}

bool TColumn::DefaultReadOnly() {
  TCustomDBGrid* grid = Grid();
  TField* field = Field();
  return (grid != nullptr && grid->ReadOnly()) || (field != nullptr && field->ReadOnly());
}

bool TColumn::ReadOnly() { return (assigned_ & cvReadOnly) ? read_only_ : DefaultReadOnly(); }

void TColumn::SetReadOnly(bool read_only) {
  if (!stored_) {
    TCustomDBGrid* grid = Grid();
    TField* field = Field();
    if (grid != nullptr && grid->DataLink().Active() && field != nullptr) {
      field->SetReadOnly(read_only);
    }
    return;
  }
  if ((assigned_ & cvReadOnly) && read_only == read_only_) return;
  read_only_ = read_only;
  Assign(cvReadOnly);
  Changed(false);
}

void TColumn::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  Changed(true);
}

void TColumn::SetButtonStyle(TColumnButtonStyle style) {
  if (style == button_style_) return;
  button_style_ = style;
  Changed(false);
}

std::vector<std::string>& TColumn::PickList() {
  if (!pick_list_) pick_list_ = std::make_unique<std::vector<std::string>>();
  return *pick_list_;
}

void TColumn::SetImeName(const std::string& name) {
  ime_name_ = name;
  Assign(cvImeName);
}

void TColumn::SetImeMode(int32_t mode) {
  ime_mode_ = mode;
  Assign(cvImeMode);
}

void TColumn::RestoreDefaults() {
  const bool font_assigned = !IsDefaultFont();
  assigned_ = 0;
  title_->RestoreDefaults();
  RefreshDefaultFont();
  Changed(font_assigned);
}

void TColumn::Changed(bool all) {
  if (collection_ != nullptr) collection_->Update(all ? nullptr : this);
}

// ---- TDBGridColumns ---------------------------------------------------------------------

TDBGridColumns::~TDBGridColumns() {
  grid_ = nullptr;
  items_.clear();
}

int32_t TDBGridColumns::IndexOf(const TColumn* column) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    if (items_[i].get() == column) return static_cast<int32_t>(i);
  }
  return -1;
}

TColumn* TDBGridColumns::Add() {
  BeginUpdate();
  items_.push_back(std::make_unique<TColumn>(this, true));
  EndUpdate();
  return items_.back().get();
}

TColumn* TDBGridColumns::AddDefault() {
  BeginUpdate();
  items_.push_back(std::make_unique<TColumn>(this, false));
  EndUpdate();
  return items_.back().get();
}

void TDBGridColumns::Delete(int32_t index) {
  if (index < 0 || index >= Count()) return;
  BeginUpdate();
  items_.erase(items_.begin() + index);
  EndUpdate();
}

void TDBGridColumns::Clear() {
  if (items_.empty()) return;
  BeginUpdate();
  items_.clear();
  EndUpdate();
}

void TDBGridColumns::Move(int32_t from, int32_t to) {
  if (from == to || from < 0 || to < 0 || from >= Count() || to >= Count()) return;
  BeginUpdate();
  std::unique_ptr<TColumn> item = std::move(items_[static_cast<size_t>(from)]);
  items_.erase(items_.begin() + from);
  items_.insert(items_.begin() + to, std::move(item));
  EndUpdate();
}

TDBGridColumnsState TDBGridColumns::State() const {
  return !items_.empty() && items_.front()->IsStored() ? csCustomized : csDefault;
}

void TDBGridColumns::SetState(TDBGridColumnsState state) {
  if (state == State()) return;
  if (state == csDefault) {
    Clear();
    return;
  }
  BeginUpdate();
  for (auto& item : items_) item->SetStored(true);
  EndUpdate();
}

void TDBGridColumns::RestoreDefaults() {
  BeginUpdate();
  for (auto& item : items_) item->RestoreDefaults();
  EndUpdate();
}

void TDBGridColumns::RebuildColumns() {
  BeginUpdate();
  items_.clear();
  if (grid_ != nullptr) {
    for (int32_t i = 0; i < grid_->FieldCount(); ++i) {
      TField* field = grid_->Fields(i);
      TColumn* column = Add();
      if (field != nullptr) column->SetField(field);
    }
  }
  EndUpdate();
}

void TDBGridColumns::EndUpdate() {
  if (update_count_ > 0 && --update_count_ == 0) Update(nullptr);
}

void TDBGridColumns::Update(TColumn* column) {
  if (update_count_ != 0 || grid_ == nullptr) return;
  grid_->ColumnChanged(column);
}

}  // namespace snyltdyr
