// Display of a text through an edit mask.
//
// A mask is "pattern[;save[;blank]]". In the pattern, L l A a C c 0 9 # each stand for
// one character of the value; ">" upper-cases what follows, "<" lower-cases it, "<>"
// ends either; "\" makes the next character a literal; "!" is ignored here; any other
// character is a literal. With save "0" the value holds only the characters typed and
// the literals are inserted; otherwise (the default) the value holds the literals too.
// Positions with no character left in the value show the blank character ("_").
#pragma once

#include <string>
#include <string_view>

namespace snyltdyr {

std::string FormatMaskText(std::string_view mask, std::string_view value);

}  // namespace snyltdyr
