// Floating-point numbers as text, in the decimal mark of the regional settings.
//
// The general form gives up to `digits` significant digits with no trailing zeros, in
// plain notation unless the exponent is below -5 or not below `digits`, where it turns
// to "1,5E-7" / "1E20". Fixed and currency forms round to a number of decimals. Pattern
// formatting serves DisplayFormat / EditFormat: up to three sections
// (positive;negative;zero), "0" a digit always shown, "#" a digit shown when
// significant, "." the decimal mark, "," thousands grouping, "E+0"/"E-0" scientific
// form, text in quotes copied. All of it is independent of the C library's locale.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace snyltdyr {

std::string FloatToGeneral(double value, int digits = 15);
std::string FloatToFixed(double value, int decimals);
// Thousands grouping and the currency sign of the regional settings.
std::string FloatToCurrency(double value, int decimals);
std::string FormatFloatPattern(std::string_view pattern, double value);

// Blanks around the number are allowed; the decimal mark must be the locale's.
std::optional<double> TryParseFloat(std::string_view text);
// Raises EConvertError "'%s' is not a valid floating point value".
double ParseFloat(std::string_view text);

}  // namespace snyltdyr
