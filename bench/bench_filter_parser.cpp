// Filter texts of many quoted pieces: the parser's time should grow linearly with the
// length of the text (BigO in the output: N), quotes included. Before each closing quote
// the reader looks at the next word only as far as a keyword reaches.
#include <benchmark/benchmark.h>

#include <string>

#include "dataset/filters/expr_parser.h"
#include "dataset/fields/field.h"
#include "dataset/fields/field_defs.h"
#include "dataset/fields/fields.h"
#include "register/snyltdyr_register.h"
#include "runtime/regional_settings.h"

namespace snyltdyr {
namespace {

// «SNYLTDYR='x'y'y'y...'y'» with `pieces` quoted pieces and no blank between them.
std::string QuotedPieces(int64_t pieces) {
  std::string text = "SNYLTDYR='x";
  for (int64_t i = 0; i < pieces; ++i) text += "'y";
  return text + "'";
}

void BM_ParseQuotedPieces(benchmark::State& state) {
  SetRegional(NorwegianSettings());
  SnyltdyrRegister r;
  TFieldDefs defs;  // the declared fields stand for the table's columns
  const TFields& fields = r.SnyltdyrTable.Fields();
  for (int32_t i = 0; i < fields.Count(); ++i)
    defs.Add(fields[i]->FieldName(), fields[i]->DataType(), fields[i]->Size());
  r.SnyltdyrTable.Fields().Bind(defs);
  const std::string text = QuotedPieces(state.range(0));
  for (auto _ : state) {
    TExprParser parser(r.SnyltdyrTable, text, 0, 0, std::string(), nullptr, EngineTypeMap());
    benchmark::DoNotOptimize(parser.DataSize());
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ParseQuotedPieces)->RangeMultiplier(2)->Range(5000, 80000)->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace snyltdyr

BENCHMARK_MAIN();
