// The companion's commands that bring observations in:
//
//   import DIR FILE [--dry-run]   the rows of a CSV file appended to the table, all or none
//   create DIR                    an empty observation table, never over an existing one
//
// `dir` is the absolute directory; output is UTF-8 like every command's. A failure
// raises with the message the command prints (for import: every bad cell, by line and
// column).
#pragma once

#include <ostream>
#include <string>

namespace snyltdyr {

int RunImport(const std::string& dir, const std::string& file, bool dry_run, std::ostream& out,
              std::ostream& err, bool show_progress);
int RunCreate(const std::string& dir, std::ostream& out);

}  // namespace snyltdyr
