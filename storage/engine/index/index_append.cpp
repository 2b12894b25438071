// Keys of a run of new records appended in one go (Table::AppendBatch), in an order that
// a crash at any point leaves either without the run or with all of it:
//
//   1. (the table) the records and their memos are written past the record count, which
//      no reader looks beyond; the index lock is held from here to the end;
//   2. the run is marked pending in the .MDX header (MarkAppend);
//   3. (the table) one write of the header's count takes every record in at once;
//   4. the keys of every record are filed, tag by tag, in key order (FileAppended);
//   5. the mark is cleared; the lock goes.
//
// No entry ever names a record the count does not hold: other readers may take such an
// entry for damage. A writer that stops before 3 leaves records nobody counts and a mark
// whose run lies beyond the count, which settling clears; one that stops after 3 leaves a
// mark whose records are counted, and settling files whatever keys they still lack, from
// their data alone.
#include <algorithm>

#include "storage/engine/index/index_production.h"

namespace snyltdyr::engine {
namespace {

}  // namespace

IndexStatus ProductionIndex::MarkAppend(uint32_t first, uint32_t last) {
  if (tags_.empty()) return IndexStatus::Ok();
  if (!in_batch_) return IndexStatus::Error(file_->path() + ": an append outside a batch");
  return file_->SetPendingAppend(first, last);
}

void ProductionIndex::DropAppendMark() {
  if (in_batch_ && file_->pending_append_first() != 0) file_->SetPendingAppend(0, 0);
}

IndexStatus ProductionIndex::FileAppended(uint32_t first, uint32_t last, const uint8_t* records,
                                          size_t record_length) {
  if (tags_.empty()) return IndexStatus::Ok();
  if (!in_batch_) return IndexStatus::Error(file_->path() + ": an append outside a batch");
  std::vector<MdxEntry> entries;
  for (Tag& t : tags_) {
    if (!t.mdx || !t.expr) continue;
    entries.clear();
    for (uint32_t recno = first; recno <= last; ++recno) {
      const RecordView view{&fields_, records + (recno - first) * record_length, code_page_};
      if (auto key = KeyOf(t, view)) entries.push_back({std::move(*key), recno});
    }
    // In tag order, so that the inserts walk the tree from one end to the other and each
    // node is read once under the lock.
    const MdxTag& tag = *t.mdx;
    for (MdxEntry& e : entries) e.key.resize(tag.key_length(), tag.key_type() == 'C' ? ' ' : '\0');
    std::stable_sort(entries.begin(), entries.end(), [&](const MdxEntry& a, const MdxEntry& b) {
      return tag.ComparePos(a.key, a.recno, b.key, b.recno) < 0;
    });
    // The mark stays when one fails: settling completes the run.
    if (!tag.unique()) {
      if (IndexStatus s = t.mdx->InsertSorted(entries); !s) return Faulted(t, IndexFault::kDamaged, s);
      continue;
    }
    for (const MdxEntry& e : entries)
      if (IndexStatus s = InsertKey(t, e.recno, e.key); !s) return Faulted(t, IndexFault::kDamaged, s);
  }
  return file_->SetPendingAppend(0, 0);
}

IndexStatus ProductionIndex::SettlePendingAppend(const IndexedTable& table, bool repair) {
  const uint32_t first = file_->pending_append_first();
  if (first == 0) return IndexStatus::Ok();
  const uint32_t last = std::min(file_->pending_append_last(), table.record_count);
  std::vector<uint8_t> bytes;
  for (uint32_t recno = first; recno <= last; ++recno) {
    if (!table.read_record(recno, bytes))
      return IndexStatus::Error(file_->path() + ": record " + std::to_string(recno) +
                                " cannot be read");
    const RecordView view{table.fields, bytes.data(), table.code_page};
    for (Tag& t : tags_) {
      if (!t.mdx || !t.expr || faults_.Of(t.mdx->name()) != nullptr) continue;
      const auto key = KeyOf(t, view);
      if (!key) continue;
      const std::string detail = "tag " + t.mdx->name() + ": an append of records " +
                                 std::to_string(first) + " to " +
                                 std::to_string(file_->pending_append_last()) +
                                 " was interrupted before record " + std::to_string(recno) +
                                 "'s key was filed";
      if (IndexStatus s = FileMissingKey(t, recno, *key, repair, detail); !s) return s;
    }
  }
  if (!repair) return IndexStatus::Ok();
  return file_->SetPendingAppend(0, 0);
}

}  // namespace snyltdyr::engine
