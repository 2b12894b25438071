#include "register/selection_filter.h"

namespace snyltdyr {
namespace {

const char* const kFound = "MENGDE<>'-'";
const char* const kTreated = "BEHANDL<>''";

std::string YearClassCondition(int32_t year_class) {
  return std::string(kYearClassField) + "=" + std::to_string(year_class);
}

// Appends `condition` to `text` with " AND " when `text` already holds one.
void Append(std::string& text, const std::string& condition) {
  if (!text.empty()) text += " AND ";
  text += condition;
}

std::string BoxConditions(const SelectionBoxes& boxes) {
  std::string text;
  if (boxes.funn) Append(text, kFound);
  if (boxes.behandling) Append(text, kTreated);
  if (boxes.year_class >= 0) Append(text, YearClassCondition(boxes.year_class));
  return text;
}

}  // namespace

std::string KindFilterText(const std::string& field, const std::string& value,
                           const SelectionBoxes& boxes) {
  std::string text = field + "='" + value + "'";
  const std::string conditions = BoxConditions(boxes);
  if (!conditions.empty()) Append(text, conditions);
  return text;
}

std::optional<std::string> AllKindsFilterText(const SelectionBoxes& boxes) {
  std::string text = BoxConditions(boxes);
  if (text.empty()) return std::nullopt;
  return text;
}

}  // namespace snyltdyr
