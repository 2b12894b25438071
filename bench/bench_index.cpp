// Production index costs: one record added to a table with three tags, at 10 thousand and
// at 1 million records, one tag added to such a table, a step of a walk in tag order, and
// the checks when it opens. A record's keys should cost a
// few block reads and writes per tag, growing with the depth of the trees (logarithmic),
// and adding a tag should sort once; the counters show blocks read and written per insert.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "storage/engine/index/index_order.h"
#include "storage/engine/index/index_production.h"

namespace snyltdyr::engine {
namespace {

// An in-memory table of observations: DATO D, BYGG C9, TALL N8.2.
struct Observations {
  std::vector<FieldDesc> fields{{"DATO", 'D', 1, 8, 0}, {"BYGG", 'C', 9, 9, 0}, {"TALL", 'N', 18, 8, 2}};
  static constexpr size_t kLength = 26;
  std::vector<char> bytes;  // records one after another
  std::mt19937 rng{2024};

  uint32_t count() const { return static_cast<uint32_t>(bytes.size() / kLength); }
  const uint8_t* record(uint32_t recno) const {
    return reinterpret_cast<const uint8_t*>(bytes.data()) + (recno - 1) * kLength;
  }
  uint32_t Append() {
    char rec[kLength + 16];
    std::snprintf(rec, sizeof rec, " %04d%02d%02dKAR%-6d%8.2f",
                  std::uniform_int_distribution<int>(1990, 2030)(rng),
                  std::uniform_int_distribution<int>(1, 12)(rng),
                  std::uniform_int_distribution<int>(1, 28)(rng),
                  std::uniform_int_distribution<int>(1, 400)(rng),
                  std::uniform_int_distribution<int>(-99999, 99999)(rng) / 100.0);
    bytes.insert(bytes.end(), rec, rec + kLength);
    return count();
  }
  IndexedTable Indexed() const {
    IndexedTable t;
    t.fields = &fields;
    t.code_page = 865;
    t.record_count = count();
    t.read_record = [this](uint32_t r, std::vector<uint8_t>& b) {
      if (r < 1 || r > count()) return false;
      b.assign(record(r), record(r) + kLength);
      return true;
    };
    return t;
  }
};

std::string TempDirectory() {
  std::string pattern = (std::filesystem::temp_directory_path() / "snyltdyr-bench-XXXXXX").string();
  return mkdtemp(pattern.data()) ? pattern : std::string();
}

struct Fixture {
  std::string dir = TempDirectory();
  Observations table;
  std::unique_ptr<ProductionIndex> index;
  ~Fixture() {
    index.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

// One fixture per size with three tags, built once and shared by the benchmarks.
Fixture& WithThreeTags(uint32_t records) {
  static std::map<uint32_t, std::unique_ptr<Fixture>> made;
  auto& f = made[records];
  if (f) return *f;
  f = std::make_unique<Fixture>();
  for (uint32_t i = 0; i < records; ++i) f->table.Append();
  IndexStatus s = ProductionIndex::Create(f->dir + "/OBS.MDX", "OBS", f->table.fields, 865, f->index);
  for (const NewTagDefinition& tag_def : {NewTagDefinition{"DATO", "DATO"}, NewTagDefinition{"BYGG", "BYGG"},
                                 NewTagDefinition{"TALL", "TALL"}})
    if (s) s = f->index->AddTag(tag_def, f->table.Indexed());
  if (!s) std::fprintf(stderr, "setup failed: %s\n", s.message().c_str());
  return *f;
}

void BM_InsertWithThreeTags(benchmark::State& state) {
  Fixture& f = WithThreeTags(static_cast<uint32_t>(state.range(0)));
  const uint64_t read0 = f.index->file().blocks_read(), written0 = f.index->file().blocks_written();
  for (auto _ : state) {
    const uint32_t recno = f.table.Append();
    const RecordView view{&f.table.fields, f.table.record(recno), 865};
    IndexStatus s = f.index->Apply(recno, nullptr, &view, f.table.Indexed());
    if (!s) state.SkipWithError(s.message().c_str());
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["blocks_read/insert"] = static_cast<double>(f.index->file().blocks_read() - read0) / n;
  state.counters["blocks_written/insert"] = static_cast<double>(f.index->file().blocks_written() - written0) / n;
}
BENCHMARK(BM_InsertWithThreeTags)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

void BM_AddTag(benchmark::State& state) {
  Fixture& f = WithThreeTags(static_cast<uint32_t>(state.range(0)));
  int n = 0;
  for (auto _ : state) {
    IndexStatus s = f.index->AddTag({"EXTRA" + std::to_string(n++), "BYGG+DTOS(DATO)"}, f.table.Indexed());
    if (!s) state.SkipWithError(s.message().c_str());
  }
}
BENCHMARK(BM_AddTag)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);

// A cursor's step in a tag's order (the table's records themselves not read).
void BM_StepInTagOrder(benchmark::State& state) {
  Fixture& f = WithThreeTags(static_cast<uint32_t>(state.range(0)));
  std::unique_ptr<RecordOrder> order = MakeTagOrder(*f.index, [&f] { return f.table.Indexed(); }, "DATO");
  OrderPos pos;
  order->First(pos);
  for (auto _ : state) {
    OrderPos next;
    if (order->Next(pos, next) != kOk) order->First(next);
    pos = std::move(next);
  }
}
BENCHMARK(BM_StepInTagOrder)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

// Opening a table checks its index first, under the index lock: every tag's entries
// counted, the keys of a sample of records looked up (the cost the program pays at
// start), and, for comparison, the full check that reads every node and every record.
void BM_OpeningCheck(benchmark::State& state) {
  Fixture& f = WithThreeTags(static_cast<uint32_t>(state.range(0)));
  for (auto _ : state) {
    std::unique_ptr<ProductionIndex> index;
    IndexStatus s = ProductionIndex::Open(f.dir + "/OBS.MDX", f.table.fields, 865, true, index);
    if (s) index->CheckAtOpening([&f] { return f.table.Indexed(); }, true, kOpeningCheckSample);
    if (!s || !index->write_refusal().empty()) state.SkipWithError("the index did not pass");
  }
}
BENCHMARK(BM_OpeningCheck)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_FullCheck(benchmark::State& state) {
  Fixture& f = WithThreeTags(static_cast<uint32_t>(state.range(0)));
  for (auto _ : state) {
    std::unique_ptr<ProductionIndex> index;
    IndexStatus s = ProductionIndex::Open(f.dir + "/OBS.MDX", f.table.fields, 865, true, index);
    if (s) index->CheckBeforeWriting(f.table.Indexed(), 2000);
    if (!s || !index->write_refusal().empty()) state.SkipWithError("the index did not pass");
  }
}
BENCHMARK(BM_FullCheck)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace snyltdyr::engine

BENCHMARK_MAIN();
