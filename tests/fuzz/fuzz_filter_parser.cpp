// Fuzz target: a filter text through TExprParser, and the tree it gives through the
// engine's evaluator over records of the fuzz table.
//
// The first byte chooses the filter options (bit 0 case-insensitive, bit 1 no partial
// compare) and the decimal separator (bit 2: "." instead of ","); the rest is the text,
// in code page 1252. Properties: nothing crashes, a text is parsed in time linear in its
// length, a refused text raises the parser's own exception, and every tree the parser
// gives is one the engine accepts.
#include <cstdint>
#include <string>
#include <vector>

#include "filter_data_set.h"
#include "fuzz_support.h"
#include "runtime/regional_settings.h"
#include "storage/engine/filters/filter_eval.h"

namespace eng = snyltdyr::engine;
using snyltdyr::fuzz::FuzzFail;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static snyltdyr::fuzz::TFilterDataSet* data_set = [] {
    snyltdyr::SetRegional(snyltdyr::NorwegianSettings());
    return new snyltdyr::fuzz::TFilterDataSet();
  }();
  snyltdyr::RegionalSettings settings = snyltdyr::NorwegianSettings();
  settings.decimal_separator = (data[0] & 4) != 0 ? '.' : ',';
  snyltdyr::SetRegional(settings);

  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::vector<uint8_t> tree;
  if (!snyltdyr::fuzz::FilterTreeOf(*data_set, text, data[0] & 3u, tree)) return 0;

  const snyltdyr::fuzz::FuzzTable& table = snyltdyr::fuzz::TheFuzzTable();
  eng::FilterProgram program;
  const eng::FilterTreeError e = eng::FilterProgram::Compile(tree.data(), tree.size(), table.fields, &program);
  if (e != eng::FilterTreeError::kNone)
    FuzzFail(std::string("the engine refuses a tree of the parser: ") + eng::FilterTreeErrorText(e));
  program.SetMemoReader([](const eng::RecordView&, size_t) { return std::string("merd 4, kar 2"); });
  for (uint32_t recno = 1; recno <= table.records.size(); recno += 13) program.Matches(table.View(recno));
  return 0;
}
