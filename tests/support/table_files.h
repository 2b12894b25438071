// Reading back what the program wrote, the way an outsider would: the records through the
// independent reader (python3-dbfread) and the production index through the project's
// index checker. Widget tests call these after every scenario that posts.
//
//   auto rows = testsupport::DbfreadRows(dir);      // one map per live record, file order
//   EXPECT_EQ(testsupport::IndexProblems(dir), ""); // every tag in step with the data
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/index_test_support.h"
#include "storage/engine/index/index_checker.h"
#include "storage/engine/index/mdx_file.h"
#include "support/python_runner.h"

namespace snyltdyr::testsupport {

using DbfRow = std::map<std::string, std::string>;  // field name -> value text (UTF-8)

// The live records of `dir`/SNYLTDYR.DBF in file order, as python3-dbfread reads them
// (memo text included, line ends as "\n"; dates as YYYY-MM-DD; None as ""); with
// `deleted`, the deleted records instead.
inline std::vector<DbfRow> DbfreadRows(const std::string& dir, bool deleted = false) {
  static const char* kScript = R"PY(
import sys, dbfread
t = dbfread.DBF(sys.argv[1] + '/SNYLTDYR.DBF', encoding='cp865', char_decode_errors='replace')
for r in (t.deleted if sys.argv[2] == '1' else t):
    print('\x1e'.join('%s\x1f%s' % (k, '' if v is None else str(v).replace('\r\n', '\\n').replace('\n', '\\n')) for k, v in r.items()))
)PY";
  int status = 0;
  const std::string out = RunPython(dir + "/read_back.py", kScript,
                                    "'" + dir + "' " + (deleted ? "1" : "0"), status);
  std::remove((dir + "/read_back.py").c_str());
  EXPECT_EQ(status, 0) << out;
  std::vector<DbfRow> rows;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    DbfRow row;
    size_t start = 0;
    while (start <= line.size()) {
      size_t end = line.find('\x1e', start);
      if (end == std::string::npos) end = line.size();
      const std::string pair = line.substr(start, end - start);
      const size_t cut = pair.find('\x1f');
      if (cut != std::string::npos) row[pair.substr(0, cut)] = pair.substr(cut + 1);
      start = end + 1;
    }
    rows.push_back(row);
  }
  return rows;
}

// "" when every tag of `dir`/SNYLTDYR.MDX agrees with the table, else the problems.
inline std::string IndexProblems(const std::string& dir) {
  const auto table = engine::testing::ReadDbf(dir + "/SNYLTDYR.DBF");
  std::unique_ptr<engine::MdxFile> file;
  const engine::IndexStatus status = engine::MdxFile::Open(dir + "/SNYLTDYR.MDX", false, file);
  if (!status) return status.message();
  return engine::DescribeProblems(engine::CheckIndex(*file, table.Indexed()));
}

}  // namespace snyltdyr::testsupport
