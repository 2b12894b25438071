// The check of a production index when its table opens. It must stay cheap on a table of
// a million records, so it reads no leaf's keys: each tag's entries are counted from the
// branches and the leaves' item counts, and the keys of a sample of records are looked
// up. That finds what other programs commonly leave behind (records appended or a table
// copied without the index following) and an index that belongs to another table; a
// single record edited in place by another program is found when a walk or a write
// reaches it (see index_order.cpp and index_change.cpp).
#include <chrono>
#include <map>
#include <thread>

#include "storage/engine/index/index_production.h"
#include "storage/engine/keys/key_codec.h"

namespace snyltdyr::engine {
namespace {

// Counts that differ are looked at again this many times, a short pause apart: another
// program may be between writing a record and filing its keys.
constexpr int kCountAttempts = 3;
constexpr auto kCountPause = std::chrono::milliseconds(30);
// The last records are always looked up: appending is what other programs do most.
constexpr uint32_t kTailSample = 20;

}  // namespace

std::string ProductionIndex::Screen(const Tag& t, const IndexedTable& table,
                                    uint32_t record_sample) const {
  const MdxTag& tag = *t.mdx;
  uint64_t entries = 0;
  if (IndexStatus s = tag.CountEntries(entries); !s) return s.message();
  const uint32_t n = table.record_count;
  const bool every_record = !tag.unique() && !tag.has_for();
  if (every_record ? entries != n : entries > n)
    return "tag " + tag.name() + ": the tag has " + std::to_string(entries) + " entries for " +
           std::to_string(n) + " records";
  if (!t.expr || n == 0) return {};
  const uint32_t step = std::max<uint32_t>(1, n / std::max<uint32_t>(1, record_sample));
  const uint32_t tail = n > kTailSample ? n - kTailSample : 0;
  std::vector<uint8_t> bytes;
  for (uint32_t r = 1; r <= n; r = r > tail ? r + 1 : std::min(r + step, tail + 1)) {
    if (!table.read_record(r, bytes)) return "record " + std::to_string(r) + " cannot be read";
    const RecordView view{table.fields, bytes.data(), table.code_page};
    if (view.Deleted()) continue;
    const auto key = KeyOf(t, view);
    if (!key) continue;
    bool found = false;
    if (IndexStatus s = HasEntry(t, *key, r, found); !s) return s.message();
    if (!found)
      return "tag " + tag.name() + ": record " + std::to_string(r) + " has no entry under " +
             KeyToText(tag.key_type(), *key);
  }
  return {};
}

void ProductionIndex::CheckAtOpening(const std::function<IndexedTable()>& table_now, bool repair,
                                     uint32_t record_sample) {
  if (tags_.empty()) return;
  repair = repair && file_->writable();
  std::map<std::string, std::string> failed;  // tag -> what its screen found
  for (int attempt = 1;; ++attempt) {
    // A writer holds the lock for the whole of a change, so under it nothing is half done
    // but what a writer that stopped left behind. Without the lock (someone holds it for
    // long) the look is skipped: walks and writes check what they touch.
    if (!(repair ? file_->Lock() : file_->LockShared())) return;
    failed.clear();
    bool count_only = true;
    IndexedTable table = table_now();
    IndexStatus s = ReloadLocked();
    const bool count_fits = s && CheckPageCount();
    if (s) s = SettlePending(table, repair && count_fits);
    if (s) {
      for (const Tag& t : tags_) {
        if (!t.mdx || faults_.Of(t.mdx->name()) != nullptr) continue;
        std::string found = Screen(t, table, record_sample);
        if (found.empty()) continue;
        count_only = count_only && found.find(" entries for ") != std::string::npos;
        failed[t.mdx->name()] = std::move(found);
      }
    }
    if (!failed.empty() && (!count_only || attempt == kCountAttempts)) {
      // Diagnosed while nobody changes the index, so that the marks say what kind of
      // problem each tag has (damaged, another collation, out of step).
      CheckBeforeWriting(table, record_sample);
      for (const auto& [tag, text] : failed)
        if (faults_.Of(tag) == nullptr) faults_.Mark(tag, IndexFault::kOutOfStep, text);
    }
    file_->Unlock();
    if (failed.empty() || !count_only || attempt == kCountAttempts) return;
    std::this_thread::sleep_for(kCountPause);
  }
}

}  // namespace snyltdyr::engine
