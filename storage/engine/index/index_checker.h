// The index checker: proves that a production index agrees with its table.
//
// For every tag it walks the whole tree and reports
//  - structure: a header page count beyond the file, unreadable or impossible nodes and
//    headers, a page referenced twice (by two nodes, two tags, a tag header or the free
//    list), leaves at different depths, record numbers outside the table, key bytes that
//    no writer produces;
//  - order: keys that decrease in tag order, a separator smaller than a key below it or
//    greater than the first key to its right, a key held twice in a unique tag;
//  - content: an entry whose key is not the one the record's data gives, a record with
//    two entries, a record shown by the table (not deleted) without its entry (in a
//    unique tag: whose key value nobody holds).
// It is used by the tests after every workload, by the table before it writes into an
// index another program made, and it is the diagnosis behind a user's "rebuild index".
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "storage/engine/index/mdx_file.h"
#include "storage/engine/datafile/record_view.h"

namespace snyltdyr::engine {

struct IndexProblem {
  enum class Kind : uint8_t { kStructure, kOrder, kContent };
  Kind kind = Kind::kStructure;
  std::string tag;  // empty for problems of the file as a whole
  std::string text;
};

// The table's side: its fields, code page, record count and a way to read record n.
struct IndexedTable {
  const std::vector<FieldDesc>* fields = nullptr;
  int code_page = 437;
  uint32_t record_count = 0;
  std::function<bool(uint32_t recno, std::vector<uint8_t>& bytes)> read_record;
  // Optional, for passes over every record: records first .. first + count - 1 in one
  // read into `out` (record_length bytes each).
  uint16_t record_length = 0;
  std::function<bool(uint32_t first, uint32_t count, uint8_t* out)> read_run;
};

struct IndexCheckOptions {
  bool check_content = true;
  // Records whose presence in each tag is checked, and entries whose key is compared
  // with their record: 0 for all, else about this many of each, spread evenly.
  uint32_t record_sample = 0;
  size_t max_problems = 50;
};

std::vector<IndexProblem> CheckIndex(MdxFile& file, const IndexedTable& table,
                                     const IndexCheckOptions& options = {});

// One line per problem, for messages and test output.
std::string DescribeProblems(const std::vector<IndexProblem>& problems);

}  // namespace snyltdyr::engine
