// The data grid's editing and keyboard: the text flow between editor, grid and field,
// the row and column steps, and the key and character tables.
#include <QLocale>
#include <algorithm>

#include "controls/grid/custom_db_grid.h"
#include "controls/grid/inplace_edit.h"
#include "controls/storable_text.h"
#include "dataset/data_set.h"
#include "toolkit/events/message_box.h"
#include "toolkit/look/qt_text.h"

namespace snyltdyr {
namespace {

// Types whose text a grid cell cannot edit unless the field converts it itself.
bool NonTextType(TFieldType type) {
  switch (type) {
    case ftBytes: case ftVarBytes: case ftBlob: case ftMemo: case ftGraphic: case ftFmtMemo:
    case ftParadoxOle: case ftDBaseOle: case ftTypedBinary: case ftCursor: case ftADT:
    case ftArray: case ftReference: case ftDataSet:
      return true;
    default:
      return false;
  }
}

}  // namespace

// ---- Text flow --------------------------------------------------------------------------

std::string TCustomDBGrid::GetEditText(int32_t col, int32_t) {
  std::string text;
  TColumn* column = ColumnOf(RawToDataColumn(col));
  if (data_link_->Active() && column != nullptr && column->Field() != nullptr) {
    text = column->Field()->Text();
  }
  edit_text_ = text;
  return text;
}

void TCustomDBGrid::SetEditText(int32_t, int32_t, const std::string& text) { edit_text_ = text; }

int32_t TCustomDBGrid::GetEditLimit() {
  TField* field = SelectedField();
  if (field == nullptr) return 0;
  const TFieldType type = field->DataType();
  return type == ftString || type == ftFixedChar || type == ftWideString ? field->Size() : 0;
}

std::string TCustomDBGrid::GetEditMask(int32_t col, int32_t) {
  TColumn* column = ColumnOf(RawToDataColumn(col));
  if (!data_link_->Active() || column == nullptr || column->Field() == nullptr) return {};
  return column->Field()->EditMask();
}

void TCustomDBGrid::FlushEditText() {
  if (TField* field = SelectedField()) field->SetText(edit_text_);
}

void TCustomDBGrid::UpdateData() { FlushEditText(); }

void TCustomDBGrid::RefreshEditor() {
  InvalidateEditor();
  UpdateEdit();
}

// A character the table's code page lacks would be stored altered: it is refused too.
bool TCustomDBGrid::CanEditAcceptKey(char key) {
  TColumn* column = ColumnOf(SelectedIndex());
  return data_link_->Active() && column != nullptr && column->Field() != nullptr &&
         column->Field()->IsAllowedChar(key) && CanStoreChar(column->Field(), key);
}

// Typed text (an input method's) takes the way of typed characters, one by one; pasted
// or dropped text only has to be storable, as the field checks its value when written.
bool TCustomDBGrid::CanEditAcceptText(const QString& text, bool typed) {
  TField* field = SelectedField();
  if (!typed) return CheckStorableText(text, field);
  if (!CheckTypedText(text, field)) return false;
  for (const char key : FromQString(text)) {
    if (static_cast<unsigned char>(key) >= 32 && !CanEditAcceptKey(key)) {
      Beep();
      return false;
    }
  }
  return true;
}

// The first change of the text puts the dataset into edit state; a refusal drops it.
bool TCustomDBGrid::CanEditModify() {
  if (read_only_ || !data_link_->Active() || data_link_->ReadOnly()) return false;
  TColumn* column = ColumnOf(SelectedIndex());
  if (column == nullptr || column->ReadOnly()) return false;
  TField* field = column->Field();
  if (field == nullptr || !field->Modifiable()) return false;
  if (NonTextType(field->DataType()) && !field->OnSetText) return false;
  const bool editing = data_link_->Edit();
  if (editing) data_link_->Modified(true);
  return editing;
}

// ---- Column and row steps ---------------------------------------------------------------

void TCustomDBGrid::SelectColumn(int32_t col, int32_t direction) {
  data_link_->UpdateData();
  col = std::clamp(col, static_cast<int32_t>(indicator_offset_), ColCount() - 1);
  if (direction != 0) {
    while (col < ColCount() && col >= indicator_offset_ && ColWidths(col) <= 0) col += direction;
    if (col >= ColCount() || col < indicator_offset_) return;
  }
  const int32_t old = Col();
  if (col == old) return;
  if (!in_col_exit_) {
    in_col_exit_ = true;
    try {
      if (OnColExit) OnColExit(*this);
    } catch (...) {
      in_col_exit_ = false;
      throw;
    }
    in_col_exit_ = false;
    if (Col() != old) return;
  }
  if (!(options_ & dgAlwaysShowEditor)) HideEditor();
  FocusCell(col, Row(), true);
  if (OnColEnter) OnColEnter(*this);
}

void TCustomDBGrid::StepToNextRow(bool) {
  TDataSet* data_set = data_link_->DataSet();
  if (data_set->DataState() == StateInsert && !data_set->RecordModified() &&
      !data_link_->Modified()) {
    if (data_link_->AtEnd()) return;  // the untouched new row stays the last one
    data_set->Cancel();
  } else {
    BeginUpdate();
    try {
      data_link_->MoveRelative(1);
    } catch (...) {
      EndUpdate();
      throw;
    }
    EndUpdate();
  }
  if (data_link_->AtEnd() && data_set->Modifiable() && !read_only_ && (options_ & dgEditing)) {
    data_set->InsertAtEnd();
  }
}

void TCustomDBGrid::StepToPriorRow(bool) {
  TDataSet* data_set = data_link_->DataSet();
  if (data_set->DataState() == StateInsert && !data_set->RecordModified() && data_link_->AtEnd() &&
      !data_link_->Modified()) {
    data_set->Cancel();
    return;
  }
  BeginUpdate();
  try {
    data_link_->MoveRelative(-1);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TCustomDBGrid::TabToColumn(bool forward) {
  BeginUpdate();
  try {
    const int32_t start = Col();
    int32_t col = start;
    for (;;) {
      col += forward ? 1 : -1;
      if (col >= ColCount()) {
        StepToNextRow(false);
        col = indicator_offset_;
      } else if (col < indicator_offset_) {
        StepToPriorRow(false);
        col = ColCount() - 1;
      }
      if (col == start) break;
      if (TabStops(col)) {
        SelectColumn(col, 0);
        break;
      }
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

bool TCustomDBGrid::AskDeleteConfirmation() {
  if (!(options_ & dgConfirmDelete)) return true;
  // Rows are selected only with dgMultiSelect, which this grid keeps no list for.
  const MessageBoxRequest request{grid_msg::kDeleteRecord, grid_msg::kConfirmCaption,
                                  TMsgDlgButtons::OkCancel, TMsgDlgIcon::Question};
  return MessageBox(request) != TModalResult::Cancel;
}

void TCustomDBGrid::ResetEdits() {
  if (data_link_->Modified()) {
    RecordChanged(nullptr);
    data_link_->Modified(false);
  } else {
    data_link_->DataSet()->Cancel();
  }
}

// ---- Keys -------------------------------------------------------------------------------

void TCustomDBGrid::KeyDown(uint16_t& key, TShiftState shift) {
  if (OnKeyDown) OnKeyDown(key, shift);
  if (!data_link_->Active() || key == 0) return;
  TDataSet* data_set = data_link_->DataSet();
  const int32_t first_col = indicator_offset_;
  const int32_t last_col = ColCount() - 1;
  if (shift & ssCtrl) {
    switch (key) {
      case vk::Up:
      case vk::Prior:
        data_link_->MoveRelative(-data_link_->LinkActiveRecord());
        break;
      case vk::Down:
      case vk::Next:
        data_link_->MoveRelative(data_link_->LinkBufferCount() - data_link_->LinkActiveRecord() - 1);
        break;
      case vk::Left: SelectColumn(first_col, 1); break;
      case vk::Right: SelectColumn(last_col, -1); break;
      case vk::Home: data_set->First(); break;
      case vk::End: data_set->Last(); break;
      case vk::Delete:
        if (!read_only_ && !data_set->NoRecords() && data_set->Modifiable() &&
            AskDeleteConfirmation()) {
          data_set->Delete();
        }
        break;
      default: break;
    }
    return;
  }
  const bool row_select = options_ & dgRowSelect;
  const bool single_column = ColCount() == indicator_offset_ + 1;
  switch (key) {
    case vk::Up: StepToPriorRow(shift & ssShift); break;
    case vk::Down: StepToNextRow(shift & ssShift); break;
    case vk::Left:
      if (row_select) {
        StepToPriorRow(false);
      } else {
        SelectColumn(Col() - 1, -1);
      }
      break;
    case vk::Right:
      if (row_select) {
        StepToNextRow(false);
      } else {
        SelectColumn(Col() + 1, 1);
      }
      break;
    case vk::Home:
      if (single_column || row_select) {
        data_set->First();
      } else {
        SelectColumn(first_col, 1);
      }
      break;
    case vk::End:
      if (single_column || row_select) {
        data_set->Last();
      } else {
        SelectColumn(last_col, -1);
      }
      break;
    case vk::Prior: data_link_->MoveRelative(-VisibleRowCount()); break;
    case vk::Next: data_link_->MoveRelative(VisibleRowCount()); break;
    case vk::Insert:
      if (data_set->Modifiable() && !read_only_ && (options_ & dgEditing)) data_set->Insert();
      break;
    case vk::Tab:
      if (!(shift & ssAlt)) TabToColumn(!(shift & ssShift));
      break;
    case vk::Escape:
      if (QLocale::system().language() == QLocale::Korean) esc_key_ = true;
      ResetEdits();
      if (!(options_ & dgAlwaysShowEditor)) HideEditor();
      break;
    case vk::F2:
      ShowEditor();
      if (InplaceEditor() != nullptr) InplaceEditor()->CaretToEnd();
      break;
    default: break;
  }
}

// Enter writes the editor's text into the field before the base grid closes the editor;
// it never posts the record.
void TCustomDBGrid::KeyPress(char& key) {
  esc_key_ = false;
  if (key == '\r' && !(options_ & dgAlwaysShowEditor)) data_link_->UpdateData();
  TCustomGrid::KeyPress(key);
}

// ---- Focus ------------------------------------------------------------------------------

// Leaving the grid drops an untouched new row, or writes the pending text.
void TCustomDBGrid::DoExit() {
  if (!data_link_->Active()) return;
  TDataSet* data_set = data_link_->DataSet();
  if ((options_ & dgCancelOnExit) && data_set->DataState() == StateInsert &&
      !data_set->RecordModified() && !data_link_->Modified()) {
    data_set->Cancel();
  } else {
    data_link_->UpdateData();
  }
}

}  // namespace snyltdyr
