#include "controls/storable_text.h"

#include <QList>
#include <cstdio>

#include "dataset/data_set.h"
#include "dataset/fields/field.h"
#include "runtime/exception.h"
#include "toolkit/events/event_guard.h"
#include "toolkit/events/message_box.h"
#include "toolkit/look/qt_text.h"

namespace snyltdyr {
namespace {

// "Tegnet «€» (U+20AC) ..." names the character itself where code page 1252 has it, else
// only by its number.
std::string UnstorableMessage(char32_t c) {
  char number[16];
  std::snprintf(number, sizeof number, "U+%04X", static_cast<unsigned>(c));
  std::string name = number;
  if (const std::optional<char> byte = CharTo1252(c)) {
    name = std::string("\xAB") + *byte + "\xBB (" + number + ")";
  }
  return "Tegnet " + name + " kan ikke lagres i tabellens tegnsett, og teksten ble ikke satt inn";
}

}  // namespace

bool CanStoreChar(const TField* field, char c) {
  if (static_cast<unsigned char>(c) < 0x80) return true;  // the same in every code page
  if (field == nullptr || field->DataSet() == nullptr) return true;
  std::string text(1, c);
  field->DataSet()->TranslateText(text, true);
  field->DataSet()->TranslateText(text, false);
  return text == std::string(1, c);
}

std::optional<char32_t> FirstUnstorableChar(const QString& text, const TField* field) {
  for (const char32_t c : text.toUcs4()) {
    const std::optional<char> byte = CharTo1252(c);
    if (!byte || !CanStoreChar(field, *byte)) return c;
  }
  return std::nullopt;
}

bool CheckStorableText(const QString& text, const TField* field) {
  try {
    const std::optional<char32_t> bad = FirstUnstorableChar(text, field);
    if (!bad) return true;
    throw Exception(UnstorableMessage(*bad));
  } catch (...) {
    DeferFailure(std::current_exception());
  }
  return false;
}

bool CheckTypedText(const QString& text, const TField* field) {
  if (!FirstUnstorableChar(text, field)) return true;
  Beep();
  return false;
}

}  // namespace snyltdyr
