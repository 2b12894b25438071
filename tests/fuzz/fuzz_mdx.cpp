// Fuzz target: a production index (.MDX) of the fuzz table: opened, every tag walked in
// both directions through the cursor's order, records sought, the index checked, and a
// few records added.
//
// Properties: nothing crashes; every walk ends, and gives no more places than the file can
// hold; a tag whose key cannot be made gives no order; a walk through a whole tag that
// holds every record either gives every record exactly once or stops with a complaint,
// whatever the file holds; records added to an index that passed the checks before
// writing leave it sound; a change never writes past the end of the file plus the
// blocks it adds.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "fuzz_support.h"
#include "storage/engine/table/cursor.h"
#include "storage/engine/index/index_order.h"
#include "storage/engine/index/index_production.h"

namespace eng = snyltdyr::engine;
using snyltdyr::fuzz::FuzzFail;

namespace {

// The record numbers of a whole walk, or nothing when the walk stopped with an error.
std::optional<std::vector<uint32_t>> Walk(eng::RecordOrder& order, bool forward, size_t most) {
  std::vector<uint32_t> recnos;
  eng::OrderPos pos;
  eng::Result r = forward ? order.First(pos) : order.Last(pos);
  while (r == eng::kOk) {
    recnos.push_back(pos.recno);
    if (recnos.size() > most) FuzzFail("a walk gave more places than the index file can hold");
    const eng::OrderPos from = pos;
    r = forward ? order.Next(from, pos) : order.Prior(from, pos);
  }
  if (r != eng::kErrEndOfTable && r != eng::kErrBeginningOfTable) return std::nullopt;
  return recnos;
}

// A walk through a whole tag that holds every record ended without a complaint: it gave
// each record of the table once, whatever the file holds.
void OnceEach(const std::string& tag, std::vector<uint32_t> recnos, size_t records) {
  std::sort(recnos.begin(), recnos.end());
  bool once = recnos.size() == records;
  for (size_t i = 0; once && i < recnos.size(); ++i) once = recnos[i] == i + 1;
  if (!once) FuzzFail("a walk of tag " + tag + " ended without complaint but did not give each record once");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const snyltdyr::fuzz::FuzzTable& table = snyltdyr::fuzz::TheFuzzTable();
  const std::string path =
      snyltdyr::fuzz::WriteScratchFile("FUZZ.MDX", std::string(reinterpret_cast<const char*>(data), size));
  std::unique_ptr<eng::ProductionIndex> index;
  if (!eng::ProductionIndex::Open(path, table.fields, snyltdyr::fuzz::kFuzzCodePage, true, index))
    return 0;
  const size_t most = size / 12 + 1;  // the smallest key item takes 12 bytes

  for (const eng::ProductionIndex::Tag& tag : index->tags()) {
    if (!tag.mdx) continue;
    std::unique_ptr<eng::RecordOrder> order =
        eng::MakeTagOrder(*index, [&table] { return table.Indexed(); }, tag.mdx->name());
    const auto forward = Walk(*order, true, most);
    Walk(*order, false, most);
    for (uint32_t recno : {1u, 7u, 60u, snyltdyr::fuzz::kFuzzRecords}) {
      eng::OrderPos pos, next;
      if (order->PositionOf(table.View(recno), recno, pos) == eng::kOk) {
        order->Next(pos, next);
        order->Prior(pos, next);
      }
    }
    if (forward && !tag.expr)
      FuzzFail("tag " + tag.mdx->name() + ", whose key cannot be made, was walked");
    if (forward && !tag.mdx->has_for() && !tag.mdx->unique())
      OnceEach(tag.mdx->name(), *forward, table.records.size());
  }

  // The whole check: every tag evaluable, every node, every record.
  index->CheckBeforeWriting(table.Indexed(), 0);
  if (!index->write_refusal().empty()) return 0;
  // Ten copies of record 1, so that some node splits and new blocks are added.
  constexpr uint32_t kAdded = 10;
  snyltdyr::fuzz::FuzzTable grown = table;
  const uint64_t before = snyltdyr::fuzz::FileSize(path);
  for (uint32_t i = 0; i < kAdded; ++i) {
    grown.records.push_back(table.records.front());
    std::memcpy(grown.records.back().data() + grown.fields[0].offset, "20300101", 8);
    const uint32_t added = static_cast<uint32_t>(grown.records.size());
    const eng::RecordView view = grown.View(added);
    const eng::IndexStatus applied = index->Apply(added, nullptr, &view, grown.Indexed());
    if (!applied) FuzzFail("an index that passed the checks refused a record: " + applied.message());
  }
  // Each record may split every level of each tag (a split writes both halves into new
  // blocks) and add a root: 65 blocks.
  const uint64_t most_added = kAdded * index->tags().size() * 65ull * index->file().block_bytes();
  const uint64_t after = snyltdyr::fuzz::FileSize(path);
  if (after > std::max<uint64_t>(before, 2048) + most_added)
    FuzzFail("adding records grew the index from " + std::to_string(before) + " to " +
             std::to_string(after) + " bytes");
  const auto problems = eng::CheckIndex(index->file(), grown.Indexed());
  if (!problems.empty())
    FuzzFail("an index that passed the checks is unsound after a record was added: " +
             eng::DescribeProblems(problems));
  return 0;
}
