// The one crossing between the program's text and Qt's.
//
// Inside the program every text is code page 1252 (one byte a character); Qt speaks
// UTF-16. Every string that goes to or comes from a Qt widget passes through these two
// functions and nowhere else, so no UTF-8 or UTF-16 ever reaches the data.
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <string_view>

namespace snyltdyr {

QString ToQString(std::string_view cp1252);
// Characters outside code page 1252 become "?".
std::string FromQString(const QString& text);
// The first character of `text` that code page 1252 lacks (so that FromQString would
// alter it), or none.
std::optional<char32_t> FirstCharOutside1252(const QString& text);
// One character as code page 1252, or none when the code page lacks it.
std::optional<char> CharTo1252(char32_t c);

}  // namespace snyltdyr
