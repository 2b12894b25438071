#include "runtime/mask_text.h"

#include "runtime/cp1252.h"

namespace snyltdyr {

namespace {

bool IsPlaceholder(char c) {
  switch (c) {
    case 'L': case 'l': case 'A': case 'a': case 'C': case 'c': case '0': case '9': case '#':
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string FormatMaskText(std::string_view mask, std::string_view value) {
  char blank = '_';
  bool save_literals = true;
  const size_t n = mask.size();
  if (n >= 4 && mask[n - 2] == ';' && mask[n - 4] == ';' && (n < 5 || mask[n - 5] != '\\')) {
    blank = mask[n - 1];
    save_literals = mask[n - 3] != '0';
    mask = mask.substr(0, n - 4);
  } else if (n >= 2 && mask[n - 2] == ';' && (n < 3 || mask[n - 3] != '\\')) {
    save_literals = mask[n - 1] != '0';
    mask = mask.substr(0, n - 2);
  }

  std::string out;
  size_t next = 0;  // next character of the value
  int case_mode = 0;  // 1 upper, -1 lower
  for (size_t i = 0; i < mask.size(); ++i) {
    const char c = mask[i];
    if (c == '<' && i + 1 < mask.size() && mask[i + 1] == '>') {
      case_mode = 0;
      ++i;
    } else if (c == '>' || c == '<') {
      case_mode = c == '>' ? 1 : -1;
    } else if (c == '!') {
      // alignment of blanks while editing; nothing to show
    } else if (IsPlaceholder(c)) {
      char shown = next < value.size() ? value[next++] : blank;
      if (case_mode > 0) shown = UpperChar1252(shown);
      if (case_mode < 0) shown = LowerChar1252(shown);
      out += shown;
    } else {
      const char literal = (c == '\\' && i + 1 < mask.size()) ? mask[++i] : c;
      out += literal;
      if (save_literals && next < value.size()) ++next;
    }
  }
  return out;
}

}  // namespace snyltdyr
