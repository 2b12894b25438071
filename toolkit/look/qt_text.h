// The one crossing between the program's text and Qt's.
//
// Inside the program every text is code page 1252 (one byte a character); Qt speaks
// UTF-16. Every string that goes to or comes from a Qt widget passes through these two
// functions and nowhere else, so no UTF-8 or UTF-16 ever reaches the data.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace snyltdyr {

QString ToQString(std::string_view cp1252);
// Characters outside code page 1252 become "?".
std::string FromQString(const QString& text);

}  // namespace snyltdyr
