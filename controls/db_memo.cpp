#include "controls/db_memo.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QTimer>

#include "controls/storable_text.h"

#include "dataset/fields/field.h"
#include "runtime/exception.h"
#include "toolkit/events/keys.h"
#include "toolkit/events/message_box.h"
#include "toolkit/look/qt_text.h"

namespace snyltdyr {
namespace {

constexpr const char* kMemoCapacityMessage = "Text exceeds memo capacity";

// The field's capacity failure: the only failure loading catches.
class EMemoCapacity : public Exception {
 public:
  EMemoCapacity() : Exception(kMemoCapacityMessage) {}
};

std::string Bracketed(const std::string& text) { return "(" + text + ")"; }

// The box keeps lines ending in "\n"; the field keeps "\r\n".
std::string WithoutCarriageReturns(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

std::string WithCarriageReturns(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace

TDBMemo::TDBMemo(QWidget* parent, std::string name)
    : TGuarded<QPlainTextEdit>(parent), TComponent(std::move(name)) {
  setReadOnly(true);
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setTabChangesFocus(true);
  link_.SetOwnerControl(this);
  link_.OnFieldDataChange = [this](TFieldDataLink&) { DataChange(); };
  link_.OnFieldEditingChange = [this](TFieldDataLink&) { EditingChange(); };
  link_.OnFieldUpdateData = [this](TFieldDataLink&) { UpdateData(); };
  connect(this, &QPlainTextEdit::textChanged, [this] { Guarded([this] { TextChanged(); }); });
}

TDBMemo::~TDBMemo() {
  link_.OnFieldDataChange = nullptr;
  link_.OnFieldEditingChange = nullptr;
  link_.OnFieldUpdateData = nullptr;
  link_.SetDataSource(nullptr);
}

std::string TDBMemo::Text() const { return WithCarriageReturns(FromQString(toPlainText())); }

void TDBMemo::SetBoxText(const std::string& text) { setPlainText(ToQString(WithoutCarriageReturns(text))); }

// Every change of the text while loaded is a change of the user's; the box counts as
// loaded after any change (a load sets its text first and only then counts as loaded).
void TDBMemo::TextChanged() {
  if (loaded_) link_.SetControlModified();
  loaded_ = true;
}

void TDBMemo::SetAutoDisplay(bool on) {
  if (on == auto_display_) return;
  auto_display_ = on;
  if (on) LoadMemo();
}

void TDBMemo::DataChange() {
  TField* field = link_.Field();
  if (field == nullptr) {
    SetBoxText("");
    loaded_ = false;
  } else if (field->IsBlob()) {
    if (auto_display_ || (link_.Editing() && loaded_)) {
      loaded_ = false;
      LoadMemo();
    } else {
      SetBoxText(Bracketed(field->DisplayLabel()));
      loaded_ = false;
    }
  } else {
    SetBoxText(focused_ && link_.CanModify() ? field->Text() : field->DisplayText());
    loaded_ = true;
  }
  viewport()->update();
}

void TDBMemo::LoadMemo() {
  TField* field = link_.Field();
  if (!loaded_ && field != nullptr && field->IsBlob()) {
    try {
      const std::string text = field->AsString();
      if (text.size() > kMemoCapacity) throw EMemoCapacity();
      // Entering edit state loads the text again; when it is what the box shows, the
      // box keeps it, with the caret and selection where the person put them.
      if (!link_.Editing() || ToQString(WithoutCarriageReturns(text)) != toPlainText()) {
        SetBoxText(text);
      }
      loaded_ = true;
    } catch (const EMemoCapacity& e) {
      SetBoxText(Bracketed(e.Message()));
      loaded_ = false;
    }
  }
  EditingChange();
}

// Writable only while the link edits the field and the text is the field's.
void TDBMemo::EditingChange() { setReadOnly(!(link_.Editing() && loaded_)); }

void TDBMemo::UpdateData() { link_.Field()->SetAsString(Text()); }

bool TDBMemo::CanFocus() const { return isVisible() && isEnabled(); }

void TDBMemo::SetFocus() { setFocus(Qt::OtherFocusReason); }

void TDBMemo::SetFocused(bool focused) {
  if (focused == focused_) return;
  focused_ = focused;
  // A field that is not a memo shows its edit text while focused, its display text else.
  if (link_.Field() == nullptr || !link_.Field()->IsBlob()) link_.Revert();
}

void TDBMemo::focusInEvent(QFocusEvent* event) {
  SetFocused(true);
  QPlainTextEdit::focusInEvent(event);
}

void TDBMemo::focusOutEvent(QFocusEvent* event) {
  try {
    link_.GatherControlEdits();
  } catch (...) {
    // The text could not go into the field: the user stays in the box to mend it.
    QTimer::singleShot(0, this, [this] { setFocus(Qt::OtherFocusReason); });
    QPlainTextEdit::focusOutEvent(event);
    throw;
  }
  SetFocused(false);
  QPlainTextEdit::focusOutEvent(event);
}

// Pasted, dropped and middle-button text: nothing of it goes in when a character of it
// cannot be stored.
void TDBMemo::insertFromMimeData(const QMimeData* source) {
  if (source->hasText() && !CheckStorableText(source->text(), link_.Field())) return;
  QPlainTextEdit::insertFromMimeData(source);
}

void TDBMemo::inputMethodEvent(QInputMethodEvent* event) {
  if (!event->commitString().isEmpty() && !isReadOnly() &&
      !CheckTypedText(event->commitString(), link_.Field())) {
    QInputMethodEvent cleared;  // ends the composition without its text
    QPlainTextEdit::inputMethodEvent(&cleared);
    event->accept();
    return;
  }
  QPlainTextEdit::inputMethodEvent(event);
}

void TDBMemo::mouseDoubleClickEvent(QMouseEvent* event) {
  if (!loaded_) {
    LoadMemo();
    return;
  }
  QPlainTextEdit::mouseDoubleClickEvent(event);
}

// The key's own handling first (an edit starts, a refused character is dropped), then the
// box's: so the box is writable by the time the character goes in.
void TDBMemo::keyPressEvent(QKeyEvent* event) {
  const uint16_t key = VirtualKeyOf(*event);
  if (loaded_ && (key == vk::Delete || (key == vk::Insert && (ShiftStateOf(*event) & ssShift)))) {
    link_.Edit();
  }
  const std::optional<char> typed = KeyCharOf(*event);
  if (!typed && !event->text().isEmpty() && event->text().at(0).isPrint()) {
    // A character outside code page 1252: it would be stored as "?".
    if (loaded_) CheckTypedText(event->text(), link_.Field());
    return;
  }
  if (typed) {
    const unsigned char c = static_cast<unsigned char>(*typed);
    if (!loaded_) {
      if (c == '\r') LoadMemo();
      return;  // every character is dropped until the text is loaded
    }
    TField* field = link_.Field();
    if (c >= 32 && field != nullptr &&
        (!field->IsAllowedChar(static_cast<char>(c)) || !CanStoreChar(field, static_cast<char>(c)))) {
      Beep();
      return;
    }
    if (c == 8 || c == 9 || c == 10 || c == 13 || c == 22 || c == 24 || c >= 32) {
      link_.Edit();
    } else if (c == 27) {
      link_.Revert();
    }
  }
  QPlainTextEdit::keyPressEvent(event);
}

}  // namespace snyltdyr
