// The sentence that names the command mending what another program did to a table.
#pragma once

#include <filesystem>
#include <string>

namespace snyltdyr::engine {

inline std::string RepairAdvice(const std::string& dbf_path, const std::string& options = {}) {
  std::string dir = std::filesystem::path(dbf_path).parent_path().string();
  if (dir.empty()) dir = ".";
  return "To mend it, run: snyltdyr-cli repair \"" + dir + "\" --apply" + options;
}

}  // namespace snyltdyr::engine
