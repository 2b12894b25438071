// The data grid's columns: TColumn with its TColumnTitle, and the ordered collection
// TDBGridColumns that the grid owns.
//
// A column shows one field, found by FieldName when the grid's dataset is open. Every
// look property (colour, width, font, alignment, read-only, title caption, colour, font
// and alignment) is either set explicitly (marked in AssignedValues) or follows a
// default: the field, the grid or the title font. Fonts that follow a default are
// copied from the grid's fonts lazily, when read and found different.
//
// Default columns (Stored false) are the grid's own, one per visible field; they pass
// changes of alignment, read-only, caption, width and position through to their field
// while the grid's link is active, so the next rebuild keeps them. Customised columns
// (Stored true) keep their settings. Binding a default column to another field, or
// unbinding it, drops every explicit setting.
//
// Changes tell the grid: one column's change repaints its grid column and sets its
// width; a change of visibility, of a title font or of the collection rebuilds the
// layout. While the collection is in an update batch, changes are held until it ends.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dataset/fields/field.h"
#include "toolkit/look/color.h"
#include "toolkit/look/font.h"

namespace snyltdyr {

class TCustomDBGrid;
class TColumn;
class TDBGridColumns;

enum TColumnButtonStyle : uint8_t { cbsAuto, cbsEllipsis, cbsNone };

// Which properties were set explicitly.
enum TColumnValue : uint16_t {
  cvColor = 1u << 0,
  cvWidth = 1u << 1,
  cvFont = 1u << 2,
  cvAlignment = 1u << 3,
  cvReadOnly = 1u << 4,
  cvTitleColor = 1u << 5,
  cvTitleCaption = 1u << 6,
  cvTitleAlignment = 1u << 7,
  cvTitleFont = 1u << 8,
  cvImeMode = 1u << 9,
  cvImeName = 1u << 10,
};
using TColumnValues = uint16_t;

class TColumnTitle {
 public:
  explicit TColumnTitle(TColumn* column);
  TColumnTitle(const TColumnTitle&) = delete;
  TColumnTitle& operator=(const TColumnTitle&) = delete;

  TColumn* Column() const { return column_; }
  std::string Caption() const;
  void SetCaption(const std::string& caption);
  TColor Color() const;
  void SetColor(TColor color);
  TAlignment Alignment() const;
  void SetAlignment(TAlignment alignment);
  // The title's font; a default one is refreshed from the grid's TitleFont first.
  TFont& Font();
  void SetFont(const TFont& font);

  std::string DefaultCaption() const;
  TColor DefaultColor() const;
  TFont DefaultFont() const;
  bool IsDefaultFont() const;
  void RestoreDefaults();
  void RefreshDefaultFont();

 private:
  TColumn* column_;
  std::string caption_;
  TColor color_ = clBtnFace;
  TAlignment alignment_ = taLeftJustify;
  TFont font_;
  bool refreshing_ = false;
};

class TColumn {
 public:
  explicit TColumn(TDBGridColumns* collection, bool stored);
  ~TColumn();
  TColumn(const TColumn&) = delete;
  TColumn& operator=(const TColumn&) = delete;

  TDBGridColumns* Collection() const { return collection_; }
  TCustomDBGrid* Grid() const;
  int32_t Index() const;
  // Moves the column; a default column first moves its field (the grid rebuilds).
  void SetIndex(int32_t index);

  // The field, looked up by FieldName when the dataset is open; none when missing.
  TField* Field();
  void SetField(TField* field);
  const std::string& FieldName() const { return field_name_; }
  void SetFieldName(const std::string& name);
  // The field pointer held, without a lookup.
  TField* HeldField() const { return field_; }

  TColor Color() const;
  void SetColor(TColor color);
  // -1 when not showing; the explicit width, else the default width.
  int32_t Width();
  void SetWidth(int32_t width);
  TFont& Font();
  void SetFont(const TFont& font);
  TAlignment Alignment();
  void SetAlignment(TAlignment alignment);
  bool ReadOnly();
  void SetReadOnly(bool read_only);
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  bool Expanded() const { return expanded_; }
  bool Showing() const { return visible_; }
  TColumnTitle& Title() { return *title_; }
  TColumnButtonStyle ButtonStyle() const { return button_style_; }
  void SetButtonStyle(TColumnButtonStyle style);
  int32_t DropDownRows() const { return drop_down_rows_; }
  void SetDropDownRows(int32_t rows) { drop_down_rows_ = rows; }
  std::vector<std::string>& PickList();
  const std::string& ImeName() const { return ime_name_; }
  void SetImeName(const std::string& name);
  int32_t ImeMode() const { return ime_mode_; }
  void SetImeMode(int32_t mode);

  TColumnValues AssignedValues() const { return assigned_; }
  bool IsStored() const { return stored_; }
  void SetStored(bool stored) { stored_ = stored; }

  TColor DefaultColor() const;
  TFont DefaultFont() const;
  TAlignment DefaultAlignment();
  bool DefaultReadOnly();
  int32_t DefaultWidth();
  bool IsDefaultFont() const;
  // Forgets every explicit setting of the column and its title.
  void RestoreDefaults();
  void RefreshDefaultFont();

  // The grid tells a column that its field object is going away.
  void FieldDestroyed();

 private:
  friend class TColumnTitle;
  friend class TDBGridColumns;

  // One column changed (all: the layout).
  void Changed(bool all);
  void Assign(TColumnValue value) { assigned_ = static_cast<TColumnValues>(assigned_ | value); }
  void FontChanged();

  TDBGridColumns* collection_;
  TField* field_ = nullptr;
  std::string field_name_;
  TColor color_ = clWindow;
  int32_t width_ = 0;
  std::unique_ptr<TColumnTitle> title_;
  TFont font_;
  int32_t ime_mode_ = 0;
  std::string ime_name_;
  std::unique_ptr<std::vector<std::string>> pick_list_;
  int32_t drop_down_rows_ = 7;
  TColumnButtonStyle button_style_ = cbsAuto;
  TAlignment alignment_ = taLeftJustify;
  bool read_only_ = false;
  TColumnValues assigned_ = 0;
  bool visible_ = true;
  bool expanded_ = true;
  bool stored_ = true;
  bool refreshing_font_ = false;
};

enum TDBGridColumnsState : uint8_t { csDefault, csCustomized };

class TDBGridColumns {
 public:
  explicit TDBGridColumns(TCustomDBGrid* grid) : grid_(grid) {}
  ~TDBGridColumns();
  TDBGridColumns(const TDBGridColumns&) = delete;
  TDBGridColumns& operator=(const TDBGridColumns&) = delete;

  TCustomDBGrid* Grid() const { return grid_; }
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  TColumn* operator[](int32_t index) const { return items_.at(static_cast<size_t>(index)).get(); }
  TColumn* Items(int32_t index) const { return (*this)[index]; }
  int32_t IndexOf(const TColumn* column) const;

  // A customised column at the end.
  TColumn* Add();
  // A default column at the end (the grid's own).
  TColumn* AddDefault();
  void Delete(int32_t index);
  void Clear();
  // Moves a column inside the collection only (no field pass-through).
  void Move(int32_t from, int32_t to);

  // Customised when the first column is a customised column.
  TDBGridColumnsState State() const;
  // csDefault drops every column (the grid rebuilds default ones); csCustomized makes
  // the columns there are now customised.
  void SetState(TDBGridColumnsState state);
  void RestoreDefaults();
  void RebuildColumns();

  // Batches of changes: the grid hears once, when the outermost batch ends.
  void BeginUpdate() { ++update_count_; }
  void EndUpdate();
  int32_t UpdateCount() const { return update_count_; }

 private:
  friend class TColumn;

  // A change of `column` (none: of the collection).
  void Update(TColumn* column);

  TCustomDBGrid* grid_;
  std::vector<std::unique_ptr<TColumn>> items_;
  int32_t update_count_ = 0;
};

}  // namespace snyltdyr
