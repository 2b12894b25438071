#include "toolkit/look/qt_text.h"

#include <QList>

#include "runtime/cp1252.h"

namespace snyltdyr {

QString ToQString(std::string_view cp1252) {
  const std::string utf8 = Cp1252ToUtf8(cp1252);
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string FromQString(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  return Utf8ToCp1252(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
}

std::optional<char> CharTo1252(char32_t c) {
  if (c < 0x80) return static_cast<char>(c);
  const QString one = QString::fromUcs4(&c, 1);
  const std::string byte = FromQString(one);
  // A character the code page lacks comes back as "?", which is not the character.
  if (byte.size() != 1 || ToQString(byte) != one) return std::nullopt;
  return byte[0];
}

std::optional<char32_t> FirstCharOutside1252(const QString& text) {
  for (const char32_t c : text.toUcs4()) {
    if (!CharTo1252(c)) return c;
  }
  return std::nullopt;
}

}  // namespace snyltdyr
