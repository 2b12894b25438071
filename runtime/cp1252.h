// Text in code page 1252 (Western European ANSI), the program's own character set.
//
// Case rules are the code page's: a-z and 0xE0-0xFE except 0xF7 (the division sign) have
// capitals 0x20 below them; also 0x9A->0x8A (s caron), 0x9C->0x8C (oe), 0x9E->0x8E
// (z caron) and 0xFF->0x9F (y diaeresis). 0xDF (sharp s) and 0xB5 (micro) have no
// single-byte capital and stay. Lower-casing is the exact inverse.
//
// UTF-8 conversion is for the window toolkit and for tests: bytes with no character
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) and characters outside the code page become "?", as do
// malformed UTF-8 sequences.
#pragma once

#include <string>
#include <string_view>

namespace snyltdyr {

char UpperChar1252(char c);
char LowerChar1252(char c);
std::string UpperCase1252(std::string_view text);
std::string LowerCase1252(std::string_view text);

// Compares the upper-cased forms byte by byte: <0, 0 or >0.
int CompareText1252(std::string_view a, std::string_view b);
bool SameText1252(std::string_view a, std::string_view b);

std::string Cp1252ToUtf8(std::string_view text);
// The same, appended to `out`.
void AppendCp1252AsUtf8(std::string& out, std::string_view text);
// Whether every byte is below 0x80: text that reads the same in every code page a table
// may have, so that no conversion is needed.
bool IsPlainAscii(std::string_view text);
std::string Utf8ToCp1252(std::string_view text);

}  // namespace snyltdyr
