// Fuzz target: a filter tree as a client hands it to the engine: read, checked, bound to
// the fuzz table's fields and evaluated on its records.
//
// Properties: nothing crashes, nothing is read outside the buffer, and evaluation of a
// tree of up to 64 KB ends quickly (no tree makes it exponential).
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "storage/engine/filters/filter_eval.h"

namespace eng = snyltdyr::engine;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const snyltdyr::fuzz::FuzzTable& table = snyltdyr::fuzz::TheFuzzTable();
  eng::FilterProgram program;
  if (eng::FilterProgram::Compile(data, size, table.fields, &program) != eng::FilterTreeError::kNone)
    return 0;
  program.SetMemoReader([](const eng::RecordView&, size_t) { return std::string("Haptor Mark i merd 4"); });
  for (uint32_t recno = 1; recno <= table.records.size(); recno += 7) program.Matches(table.View(recno));
  return 0;
}
