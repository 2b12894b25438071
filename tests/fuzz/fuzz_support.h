// What the fuzz targets share with their seed maker and their regression runner.
//
// A fuzz target is a function that takes one input (bytes) and must come back, whatever the
// bytes are, without undefined behaviour, within a bounded time, and with its properties
// kept; a property that fails calls FuzzFail, which aborts so that libFuzzer (or the
// regression runner under make test) reports the input.
//
// The file targets write their input to a scratch file of the process and open it
// through the engine like any table, memo or index. The index target walks the index of
// the fuzz table: a fixed table in memory whose records are made here the same way every
// time, so that its seed index (made by SeedInputs) fits it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "storage/engine/index/index_checker.h"
#include "storage/engine/datafile/record_view.h"

namespace snyltdyr::fuzz {

using engine::FieldDesc;
using engine::RecordView;

// Prints `what` and aborts: a property of the target failed for this input.
[[noreturn]] void FuzzFail(const std::string& what);

// A directory of this process for scratch files, made on first use, removed at exit.
const std::string& ScratchDir();
// Writes `bytes` as `name` in the scratch directory, replacing it; gives its path.
std::string WriteScratchFile(const std::string& name, const std::string& bytes);
uint64_t FileSize(const std::string& path);
std::string ReadWholeFile(const std::string& path);

// The fuzz table: the observation fields (a date, texts, numbers, a memo, a logical, and
// a wide text that gives deep index trees) and `kFuzzRecords` records, some deleted.
inline constexpr uint32_t kFuzzRecords = 120;
inline constexpr int kFuzzCodePage = 865;
struct FuzzTable {
  std::vector<FieldDesc> fields;
  std::vector<std::vector<uint8_t>> records;  // record n at n - 1, deletion flag first
  uint16_t record_length = 1;

  RecordView View(uint32_t recno) const { return {&fields, records[recno - 1].data(), kFuzzCodePage}; }
  engine::IndexedTable Indexed() const;
};
const FuzzTable& TheFuzzTable();

// The fuzz table's .DBF bytes (version byte `version`), its memos in a .DBT when it has
// memo fields: record r points at block r for r <= `memos`.
std::string FuzzTableDbf(uint8_t version, uint32_t memos);

// Seeds for a target ("dbf", "dbt", "mdx", "filter_parser", "filter_tree",
// "key_expression"), made here from the fuzz table and the register's own texts.
std::vector<std::string> SeedInputs(const std::string& target);

// The field names a filter text or key expression may use (the fuzz table's).
const std::vector<std::string>& FuzzFieldNames();

}  // namespace snyltdyr::fuzz
