// Key maintenance for one record change, in the order that a crash at any point leaves
// an index the next opening can complete (see index_production.h):
//
//   1. take the index lock; complete a change that a stopped writer left pending;
//   2. check that the keys of the record as it stands are where its data says;
//   3. mark record N pending in the .MDX header;
//   4. take out the entries whose keys change;
//   5. (the caller) write the record;
//   6. put in the new entries;
//   7. clear the pending mark; let the lock go.
//
// Between 3 and 7 every tag holds, for N, the key N's data gives or nothing: the old
// entries leave before the data changes and the new ones come after it. So completing a
// pending change needs only N's data: each tag gets the entry that data gives when it has
// none. A unique tag hands a freed key on to another record, which N's data does not
// tell: unless N holds the key its data gives, a pending change there is marked out of
// step instead, and the rebuild repairs it.
#include <filesystem>

#include "storage/engine/index/index_production.h"
#include "storage/engine/keys/key_codec.h"

namespace snyltdyr::engine {
namespace {

std::string FileName(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

}  // namespace

IndexStatus ProductionIndex::ReloadLocked() {
  IndexStatus s = file_->Reload();
  if (!s) {
    faults_.Mark(std::string(), IndexFault::kDamaged, s.message());
    return s;
  }
  if (TagTableChanged()) return LoadTags();  // another user added a tag: kept from now on
  for (Tag& t : tags_)
    if (t.mdx)
      if (IndexStatus r = t.mdx->Reload(); !r) return Faulted(t, IndexFault::kDamaged, r);
  return IndexStatus::Ok();
}

bool ProductionIndex::CheckPageCount() {
  IndexStatus s = file_->CheckPageCount();
  if (!s && page_count_refusal_.empty())
    page_count_refusal_ = "The production index " + FileName(file_->path()) +
                          " cannot be written (" + s.message() + "). " +
                          IndexFaults::RebuildAdvice(file_->path()) + ".";
  return s.ok();
}

IndexStatus ProductionIndex::Faulted(const Tag& t, IndexFault fault, const IndexStatus& s) {
  faults_.Mark(t.mdx ? t.mdx->name() : std::string(), fault, s.message());
  return s;
}

IndexStatus ProductionIndex::HasEntry(const Tag& t, const std::string& key, uint32_t recno,
                                      bool& found) const {
  const MdxTag& tag = *t.mdx;
  MdxPath path;
  if (!tag.unique()) {
    std::string padded = key;
    padded.resize(tag.key_length(), tag.key_type() == 'C' ? ' ' : '\0');
    return tag.FindExact(padded, recno, path, found);
  }
  IndexStatus s = tag.Seek(key, 0, false, path, found);
  if (s && found) found = tag.CompareKeys(MdxTag::KeyAt(path), key) == 0;
  return s;
}

IndexStatus ProductionIndex::RemoveKey(Tag& t, uint32_t recno, const std::string& key,
                                       const IndexedTable& table) {
  MdxTag& tag = *t.mdx;
  bool found = false;
  IndexStatus s = tag.Remove(key, recno, found);
  if (!s || !found || !tag.unique()) return s;
  // The key is free again: the lowest-numbered other record with it takes it over.
  std::vector<uint8_t> bytes;
  for (uint32_t r = 1; r <= table.record_count; ++r) {
    if (r == recno || !table.read_record(r, bytes)) continue;
    const RecordView v{table.fields, bytes.data(), table.code_page};
    const auto k = KeyOf(t, v);
    if (k && engine::CompareKeys(tag.key_type(), *k, key) == 0) return tag.Insert(*k, r);
  }
  return IndexStatus::Ok();
}

IndexStatus ProductionIndex::InsertKey(Tag& t, uint32_t recno, const std::string& key) {
  MdxTag& tag = *t.mdx;
  if (tag.unique()) {
    MdxPath path;
    bool found = false;
    IndexStatus s = tag.Seek(key, 0, false, path, found);
    if (!s) return s;
    if (found && tag.CompareKeys(MdxTag::KeyAt(path), key) == 0) {
      const uint32_t holder = MdxTag::RecnoAt(path);
      if (holder <= recno) return IndexStatus::Ok();  // the first record keeps the key
      s = tag.Remove(MdxTag::KeyAt(path), holder, found);
      if (!s) return s;
    }
  }
  return tag.Insert(key, recno);
}

IndexStatus ProductionIndex::FileMissingKey(Tag& t, uint32_t recno, const std::string& key,
                                            bool repair, const std::string& detail) {
  bool found = false;
  if (IndexStatus s = HasEntry(t, key, recno, found); !s) return Faulted(t, IndexFault::kDamaged, s);
  if (found) return IndexStatus::Ok();
  if (!repair) {
    faults_.Mark(t.mdx->name(), IndexFault::kOutOfStep, detail);
    return IndexStatus::Ok();
  }
  if (IndexStatus s = InsertKey(t, recno, key); !s) return Faulted(t, IndexFault::kDamaged, s);
  return IndexStatus::Ok();
}

IndexStatus ProductionIndex::SettlePending(const IndexedTable& table, bool repair) {
  if (IndexStatus s = SettlePendingAppend(table, repair); !s) return s;
  const uint32_t recno = file_->pending_record();
  if (recno == 0) return IndexStatus::Ok();
  std::vector<uint8_t> bytes;
  // A record never counted never had keys: nothing to complete.
  if (recno <= table.record_count) {
    if (!table.read_record(recno, bytes))
      return IndexStatus::Error(FileName(file_->path()) + ": record " + std::to_string(recno) +
                                " cannot be read");
    const RecordView view{table.fields, bytes.data(), table.code_page};
    for (Tag& t : tags_) {
      if (!t.mdx || !t.expr) continue;
      const std::string detail = "tag " + t.mdx->name() + ": a change of record " +
                                 std::to_string(recno) + " was interrupted";
      const auto key = KeyOf(t, view);
      if (t.mdx->unique()) {
        // In step when the record holds its own key: then any key it let go was handed on
        // before its data changed. Otherwise whether that happened cannot be told.
        MdxPath path;
        bool found = false;
        if (key)
          if (IndexStatus s = t.mdx->Seek(*key, 0, false, path, found); !s)
            return Faulted(t, IndexFault::kDamaged, s);
        if (!found || MdxTag::RecnoAt(path) != recno ||
            t.mdx->CompareKeys(MdxTag::KeyAt(path), *key) != 0)
          faults_.Mark(t.mdx->name(), IndexFault::kOutOfStep, detail);
        continue;
      }
      if (!key) continue;
      if (IndexStatus s = FileMissingKey(t, recno, *key, repair, detail + " before its key was filed"); !s)
        return s;
    }
  }
  if (!repair) return IndexStatus::Ok();
  return file_->SetPendingRecord(0);
}

IndexStatus ProductionIndex::BeginChange(uint32_t recno, const RecordView* before,
                                         const RecordView* after, const IndexedTable& table) {
  if (tags_.empty()) return IndexStatus::Ok();
  if (std::string why = write_refusal(); !why.empty()) return IndexStatus::Error(why);
  if (!file_->writable())
    return IndexStatus::Error(file_->path() + ": the index file is open read-only");
  if (!file_->Lock())
    return IndexStatus::Error(file_->path() + ": the index is locked by another user");
  changing_ = true;
  auto give_up = [&](const IndexStatus& s) {
    changing_ = false;
    file_->Unlock();
    return s;
  };
  // In a batch the lock was held since BeginBatch settled the file: nobody else changed it.
  if (!in_batch_ || file_->pending_record() != 0)
    if (IndexStatus s = Settle(table); !s) return give_up(s);

  // The record must be filed where its data says before anything of it changes: an index
  // out of step here would be made worse by every write. In a batch (a pass rewriting many
  // records) only the tags whose key the write moves are searched: a write that moves no
  // key leaves the tag as it was, and searching every tag for every record would cost a
  // path of reads each. A single write checks every tag, so that an index out of step
  // shows at the first edit.
  bool moves = before == nullptr;
  for (Tag& t : tags_) {
    const auto old_key = before ? KeyOf(t, *before) : std::nullopt;
    const auto new_key = after ? KeyOf(t, *after) : std::nullopt;
    moves = moves || old_key != new_key;
    if (!old_key || (in_batch_ && old_key == new_key)) continue;
    bool found = false;
    if (IndexStatus s = HasEntry(t, *old_key, recno, found); !s)
      return give_up(Faulted(t, IndexFault::kDamaged, s));
    if (!found) {
      faults_.Mark(t.mdx->name(), IndexFault::kOutOfStep,
                   "tag " + t.mdx->name() + ": record " + std::to_string(recno) +
                       " is not filed under " + KeyToText(t.mdx->key_type(), *old_key) +
                       ", which its data gives");
      return give_up(IndexStatus::Error(faults_.First()->message));
    }
  }
  if (!moves) return IndexStatus::Ok();  // a deletion, or no key changes: nothing pending
  if (IndexStatus s = file_->SetPendingRecord(recno); !s) return give_up(s);
  for (Tag& t : tags_) {
    const auto old_key = before ? KeyOf(t, *before) : std::nullopt;
    const auto new_key = after ? KeyOf(t, *after) : std::nullopt;
    if (!old_key || old_key == new_key) continue;
    if (IndexStatus s = RemoveKey(t, recno, *old_key, table); !s) {
      AbandonChange(recno, table);
      return Faulted(t, IndexFault::kDamaged, s);
    }
  }
  return IndexStatus::Ok();
}

IndexStatus ProductionIndex::Settle(const IndexedTable& table) {
  if (IndexStatus s = ReloadLocked(); !s) return s;
  if (!CheckPageCount()) return IndexStatus::Error(write_refusal());
  if (IndexStatus s = SettlePending(table, true); !s) return s;
  if (std::string why = write_refusal(); !why.empty()) return IndexStatus::Error(why);
  return IndexStatus::Ok();
}

IndexStatus ProductionIndex::BeginBatch(const IndexedTable& table) {
  if (tags_.empty() || in_batch_) return IndexStatus::Ok();
  if (std::string why = write_refusal(); !why.empty()) return IndexStatus::Error(why);
  if (!file_->writable())
    return IndexStatus::Error(file_->path() + ": the index file is open read-only");
  if (!file_->Lock())
    return IndexStatus::Error(file_->path() + ": the index is locked by another user");
  if (IndexStatus s = Settle(table); !s) {
    file_->Unlock();
    return s;
  }
  in_batch_ = true;
  return IndexStatus::Ok();
}

void ProductionIndex::EndBatch() {
  if (!in_batch_) return;
  in_batch_ = false;
  file_->Unlock();
}

IndexStatus ProductionIndex::FinishChange(uint32_t recno, const RecordView* before,
                                          const RecordView* after) {
  if (!changing_) return IndexStatus::Ok();
  IndexStatus failure;
  for (Tag& t : tags_) {
    const auto old_key = before ? KeyOf(t, *before) : std::nullopt;
    const auto new_key = after ? KeyOf(t, *after) : std::nullopt;
    if (!new_key || old_key == new_key) continue;
    if (IndexStatus s = InsertKey(t, recno, *new_key); !s && failure.ok())
      failure = Faulted(t, IndexFault::kDamaged, s);  // the other tags still get theirs
  }
  // With a failure the pending mark stays: the next opening completes the change.
  if (failure.ok() && file_->pending_record() == recno) failure = file_->SetPendingRecord(0);
  changing_ = false;
  file_->Unlock();
  return failure;
}

void ProductionIndex::AbandonChange(uint32_t recno, const IndexedTable& table) {
  if (!changing_) return;
  // Whatever the file holds now, the record gets the keys of its data.
  if (file_->pending_record() == recno && !SettlePending(table, true))
    faults_.Mark(std::string(), IndexFault::kOutOfStep,
                 "a change of record " + std::to_string(recno) + " could not be completed");
  changing_ = false;
  file_->Unlock();
}

IndexStatus ProductionIndex::Apply(uint32_t recno, const RecordView* before,
                                   const RecordView* after, const IndexedTable& table) {
  IndexStatus s = BeginChange(recno, before, after, table);
  if (!s) return s;
  return FinishChange(recno, before, after);
}

}  // namespace snyltdyr::engine
