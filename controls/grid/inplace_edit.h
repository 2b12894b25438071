// TInplaceEdit: the borderless edit box a grid shows over its current cell.
//
// The editor is a child of the grid's viewport, created on first use. It covers the
// current cell exactly; its text starts 2 pixels right of and 2 pixels below the cell's
// corner, like the grid's own cell text. Loading it (UpdateContents) takes the text,
// the maximum length and the edit mask from the grid; the data grid's editor also takes
// the column's font and read-only state.
//
// Keys: before the edit box sees a key, the editor's key table may pass it to the grid
// (rows, Esc, Tab, Insert, Ctrl+Delete) or drop it (a change the grid's can-modify test
// refuses); every other key raises the grid's OnKeyDown first. Characters go to the
// grid's KeyPress first (Enter closes the editor there), then the accept-key test
// (a refused character beeps) and the can-modify test decide whether the edit box gets
// them. A character the grid typed while the editor was hidden arrives as a posted
// message after the editor shows, and takes the same way; input that reaches the editor
// before that message types the waiting characters first, so they keep their order.
// Every change of the text is copied into the grid (SetEditText).
//
// Every way of changing the text (keys, the clipboard and the mouse's selection paste,
// drag and drop, input methods, the line-editing shortcuts, undo and redo, the context
// menu) asks the grid's can-modify test before the change, and the characters that come
// in must be storable; a refusal leaves the text as it was. A change by a way no test
// asked for is undone, so the editor never shows text that will not be written back.
#pragma once

#include <QLineEdit>
#include <string>

#include "controls/grid/grid_types.h"
#include "toolkit/events/event_guard.h"
#include "toolkit/look/font.h"
#include "toolkit/events/keys.h"
#include "toolkit/events/posted_message.h"

namespace snyltdyr {

class TCustomGrid;

// The message that delivers a character to the editor (wparam: the byte).
inline constexpr uint32_t WM_CHAR = 0x0102;

class TInplaceEdit : public TGuarded<QLineEdit> {
 public:
  explicit TInplaceEdit(TCustomGrid* grid);

  TCustomGrid* Grid() const { return grid_; }
  std::string Text() const;
  void SetText(const std::string& text);
  // 0: no limit.
  void SetMaxLength(int32_t length);
  int32_t MaxLength() const { return max_length_; }
  void SetEditMask(const std::string& mask) { edit_mask_ = mask; }
  const std::string& EditMask() const { return edit_mask_; }
  void SetOwnFont(const TFont& font);
  void SelectAll();
  // Caret after the text, nothing selected.
  void CaretToEnd();

  // Takes the contents of the grid's current cell.
  virtual void UpdateContents();
  // Covers `rect` (viewport coordinates) and shows; hides for an empty rectangle.
  void Move(const TRect& rect);
  // Hides; the focus goes to the grid when the editor had it.
  void Hide();
  bool Showing() const { return isVisible(); }

  // A character as the editor handles it, without a key.
  void TypeChar(char key);
  // A character the grid typed to open the editor: typed after the editor shows, before
  // any later input.
  void QueueTypedChar(char key);

 protected:
  bool event(QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void dropEvent(QDropEvent* e) override;
  void inputMethodEvent(QInputMethodEvent* e) override;

 private:
  // The key table; false when the key went to the grid or was dropped.
  bool KeyDownPart(uint16_t key, TShiftState shift);
  // The character steps; false when the edit box must not get the character.
  bool CharPart(char& key);
  bool EdgeKeyGoesToGrid(uint16_t key, TShiftState shift) const;
  // The grid's can-modify test, remembered as asked for the event being handled.
  bool AskModify();
  // Text coming in (not by a key of the editor's): its characters, then AskModify.
  bool MayInsert(const QString& text, bool typed);
  void TypeQueuedChars();
  // Runs an event that may change the text; a change nothing asked for is undone.
  bool GuardedChange(QEvent* e);

  TCustomGrid* grid_;
  int32_t max_length_ = 0;
  std::string edit_mask_;
  std::string queued_chars_;
  bool modify_asked_ = false;  // within the event being handled
  bool user_edited_ = false;   // within the event being handled
};

class TCustomDBGrid;

// The data grid's editor: it also takes the current column's font and read-only state.
// Every column of this system has the simple style: no button, no list.
class TDBGridInplaceEdit : public TInplaceEdit {
 public:
  explicit TDBGridInplaceEdit(TCustomDBGrid* grid);
  void UpdateContents() override;

 private:
  TCustomDBGrid* db_grid_;
};

}  // namespace snyltdyr
