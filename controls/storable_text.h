// Which characters a control may let into a field: those the table stores unchanged.
//
// Text reaches a table in two conversions: from the window's characters to code page
// 1252, the program's own, and from there to the table's own code page. A character lost
// in either (outside code page 1252, or missing from a DOS code page, such as the euro
// sign in code page 865) would be stored as "?" or as a plainer letter. The controls
// refuse such characters where they come in: a typed one with the beep, a pasted or
// dropped text with a message naming the character, and nothing of the text goes in.
#pragma once

#include <QString>
#include <optional>

namespace snyltdyr {

class TField;

// Whether `field`'s table keeps the code page 1252 character `c` unchanged (true without
// a field or outside a table: nothing converts it then).
bool CanStoreChar(const TField* field, char c);
// The first character of `text` that `field` cannot store unchanged, or none.
std::optional<char32_t> FirstUnstorableChar(const QString& text, const TField* field);
// Whether `text` may go into `field`; when not, the message naming its first character
// that cannot be stored is kept for the application's error box (so this may be called
// from inside the toolkit's own handlers).
bool CheckStorableText(const QString& text, const TField* field);
// Whether the characters of a key press (text the keyboard, a dead key or an input method
// made) may go into `field`; beeps when not.
bool CheckTypedText(const QString& text, const TField* field);

}  // namespace snyltdyr
