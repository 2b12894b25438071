// TDBMemo: a multi-line text box bound to one field of the current record.
//
// The box shows the field's text and reloads it whenever the record changes. It is
// writable only while its link edits the field and the text is loaded; the first
// changing keystroke (a character, Backspace, Enter, Delete, Ctrl+V, Ctrl+X) asks the
// link to edit, which puts the dataset into edit state, and then the key goes in. Esc
// reloads the stored text. The text reaches the field when the record is posted (the
// link's write-back) or when the focus leaves the box; if leaving fails, the focus comes
// back to the box and the failure is reported.
//
// A memo field is loaded automatically while AutoDisplay is on; otherwise the box shows
// the field's display label in brackets until Enter or a double-click loads it. A text
// longer than the box's capacity shows "(Text exceeds memo capacity)" and cannot be
// edited. Lines end in CR LF in the field, as the table's other programs write them.
// Characters the table cannot store unchanged are refused where they come in: a typed
// one with the beep, pasted or dropped text with a message naming the character.
#pragma once

#include <QPlainTextEdit>
#include <cstddef>
#include <string>

#include "dataset/component.h"
#include "dataset/links/field_data_link.h"
#include "toolkit/events/event_guard.h"

namespace snyltdyr {

class TDataSource;

// Bytes of text the box holds at most.
inline constexpr size_t kMemoCapacity = 8u << 20;

class TDBMemo : public TGuarded<QPlainTextEdit>, public TComponent, public TFocusableControl {
 public:
  TDBMemo(QWidget* parent, std::string name);
  ~TDBMemo() override;

  TDataSource* DataSource() const { return link_.DataSource(); }
  void SetDataSource(TDataSource* source) { link_.SetDataSource(source); }
  const std::string& DataField() const { return link_.FieldName(); }
  void SetDataField(const std::string& name) { link_.SetFieldName(name); }
  TField* Field() const { return link_.Field(); }
  bool ReadOnly() const { return link_.ReadOnly(); }
  void SetReadOnly(bool read_only) { link_.SetReadOnly(read_only); }
  bool AutoDisplay() const { return auto_display_; }
  void SetAutoDisplay(bool on);
  // The box's text holds the field's value.
  bool Loaded() const { return loaded_; }
  // The box's text in code page 1252, lines ending in CR LF.
  std::string Text() const;

  // Loads the field's text when it is not loaded.
  void LoadMemo();

  // TFocusableControl
  bool CanFocus() const override;
  void SetFocus() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void insertFromMimeData(const QMimeData* source) override;
  void inputMethodEvent(QInputMethodEvent* event) override;

 private:
  void DataChange();
  void EditingChange();
  void UpdateData();
  void SetBoxText(const std::string& text);
  void TextChanged();
  void SetFocused(bool focused);

  TFieldDataLink link_;
  bool auto_display_ = true;
  bool loaded_ = false;
  bool focused_ = false;
};

}  // namespace snyltdyr
