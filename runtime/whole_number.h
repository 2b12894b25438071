// Reading whole numbers from text.
//
// Accepted: optional leading blanks, then either an optional sign and decimal digits, or
// hexadecimal digits (either case) introduced by "$", "x" or "0x" (either case). Nothing
// may follow, and the value must lie within signed 32 bits (-2147483648..2147483647).
// Anything else - the empty text, a sign alone, a prefix alone, trailing blanks, an
// overflow - is not a whole number.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace snyltdyr {

std::optional<int32_t> TryReadWholeNumber(std::string_view text);

// The number, or `fallback` when the text is not a whole number.
int32_t ReadWholeNumber(std::string_view text, int32_t fallback);

// The number; raises EConvertError "'%s' is not a valid integer value" otherwise.
int32_t ParseWholeNumber(std::string_view text);

}  // namespace snyltdyr
