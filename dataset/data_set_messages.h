// Message texts of the dataset, its data sources and links. A component raising one
// prefixes it with its name ("SnyltdyrTable: Record not found").
#pragma once

#include <string>

namespace snyltdyr::msg {

inline constexpr const char* kDataSetClosed = "Cannot perform this operation on a closed dataset";
inline constexpr const char* kDataSetOpen = "Cannot perform this operation on an open dataset";
inline constexpr const char* kRecordNotFound = "Record not found";
inline constexpr const char* kNotEditing = "Dataset not in edit or insert mode";
inline constexpr const char* kDataSetEmpty = "Cannot perform this operation on an empty dataset";
inline constexpr const char* kDataSetReadOnly = "Cannot modify a read-only dataset";
inline constexpr const char* kCircularDataLink = "Circular datalinks are not allowed";
inline constexpr const char* kDataSourceChange = "DataSource cannot be changed";

// "Field '%s' not found" with the field name.
inline std::string FieldNotFound(const std::string& name) {
  return "Field '" + name + "' not found";
}

}  // namespace snyltdyr::msg
