// Code pages of tables: which one a language driver byte names, and the conversion of
// text between a table's code page and code page 1252, the program's own.
//
// Conversion works a byte at a time through two 256-entry tables per code page, built on
// first use: the code pages of Western European tables (437, 850, 865, 1252) from tables
// of our own, the others through iconv. A character that the target code page lacks
// becomes its nearest plain form ("\xC0" -> "A") or "?" when it has none. Bytes below
// 0x80 are the same in every supported code page and pass unchanged.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace snyltdyr::engine {

// The code page a language driver byte names; 0 for 0x00 ("not declared") and for a
// byte this engine does not know.
int CodePageOfDriver(uint8_t driver);
// The code page of a table whose header declares no language driver: a ".cpg" file
// beside the table naming a code page wins ("1252", "ANSI 1252", "ISO 88591" taken as
// 1252); otherwise 437, what text-mode programs that wrote such tables used.
int DefaultCodePage(const std::string& dbf_path);
// A language driver byte for a code page, for new tables (0 when there is none).
uint8_t DriverOfCodePage(int code_page);

// Whether text of this code page can be converted (a single-byte code page we have a
// table for or iconv knows).
bool CodePageSupported(int code_page);

std::string NativeToAnsi(int code_page, std::string_view native);
std::string AnsiToNative(int code_page, std::string_view ansi);

}  // namespace snyltdyr::engine
