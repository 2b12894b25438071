// The filter texts of the one-click selection: the parasite kind ("Haptor",
// "Tricodina" or "Alle"), "Funn" (something was found), "Behandling" (a treatment was
// given) and the year class (-1 for all, else 0 to 5).
//
// The pieces join with " AND " in the order kind, found, treated, year class. The kind
// value stands between single quotes unchanged.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace snyltdyr {

// The field names the filters name, in code page 1252.
inline constexpr const char* kKindField = "SNYLTDYR";
inline constexpr const char* kHaptorValue = "Haptor Mark";
inline constexpr const char* kTricodinaValue = "Tricodina";
inline constexpr const char* kYearClassField = "\xC5RSKLAS";

struct SelectionBoxes {
  bool funn = false;
  bool behandling = false;
  int32_t year_class = -1;  // -1: all year classes
};

// «FIELD='value'» with the conditions of the ticked boxes and the year class.
std::string KindFilterText(const std::string& field, const std::string& value,
                           const SelectionBoxes& boxes);
// The "Alle" kind button: the conditions of the boxes and the year class alone; none
// when nothing is chosen and filtering goes off.
std::optional<std::string> AllKindsFilterText(const SelectionBoxes& boxes);

}  // namespace snyltdyr
