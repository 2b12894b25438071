// What other programs did to a table's files, found from the files alone, and the mends
// that undo it (the steps of a repair, table_repair.cpp).
//
// The order of the mends is the order of the findings: which memo and index file belong
// to the table (of two whose names differ only in case), the version byte, the code-page
// byte, column names, and last the index, which is judged against the table as the
// earlier mends leave it (a tag keying a renamed column works again once it is renamed).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "storage/engine/datafile/dbf_header.h"
#include "storage/engine/engine.h"

namespace snyltdyr::engine {

// Two files for one companion of the table: the one to keep under the table's name and
// the others to move aside.
struct TwinChoice {
  std::string keep;                // the file the records fit
  std::string keep_as;             // its name after the repair (the table's name)
  std::vector<std::string> aside;  // the files moved aside
};

struct TableDiagnosis {
  std::string dbf_path;
  DbfHeader header;                // as read
  std::optional<TwinChoice> memo, index;
  std::optional<uint8_t> version;  // the version byte to write
  std::optional<uint8_t> driver;   // the code-page byte to write
  bool index_flag = false;         // byte 28 to name the production index again
  int code_page = 0;               // the table's code page once mended
  std::vector<std::pair<size_t, std::string>> renames;  // field place -> native name
  bool rebuild_index = false;
  RepairPlan plan;
};

// Finds what is to mend in the table at `dbf_path` (an existing file). kOk with the
// findings in `d`; another code when the table cannot be read at all.
Result DiagnoseTable(const std::string& dbf_path, const RepairOptions& options, TableDiagnosis& d);

}  // namespace snyltdyr::engine
