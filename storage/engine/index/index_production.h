// A table's production index as a whole: the .MDX file, its tags with their parsed key
// expressions, the marks of tags that may not be used, the check when a table opens, key
// maintenance for every record change in a crash-safe order, and new tags.
//
// Invariants:
// - After a change completes, every tag holds exactly the keys the records give: one
//   entry per record (deleted records keep theirs), and in a unique tag one entry per key
//   value, held by the lowest-numbered record with that value.
// - While a change of record N is under way the file says so (MdxFile's pending record),
//   and for every tag N has its entry under the key its data gives, or no entry at all;
//   never an entry under another key. A writer stopped at any point therefore leaves an
//   index that the next opening completes from N's data alone.
// - `write_refusal()` is non-empty when writing would leave a tag stale or put keys in the
//   wrong place (a key expression we cannot evaluate, or any mark of `faults()`). The
//   table then opens read-only and says why.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "storage/engine/index/index_checker.h"
#include "storage/engine/index/index_faults.h"
#include "storage/engine/index/index_status.h"
#include "storage/engine/keys/key_expression.h"
#include "storage/engine/index/mdx_file.h"
#include "storage/engine/index/mdx_tag.h"

namespace snyltdyr::engine {

// Records whose keys the check at opening looks up in each tag (besides the last ones).
inline constexpr uint32_t kOpeningCheckSample = 100;

struct NewTagDefinition {
  std::string name;        // at most 10 characters; stored upper case
  std::string expression;  // a key expression (a field name for one-field keys)
  bool descending = false;
  bool unique = false;
  std::string for_expression;  // a FOR condition; empty: every record
};

class ProductionIndex {
 public:
  struct Tag {
    std::unique_ptr<MdxTag> mdx;
    std::optional<KeyExpression> expr;  // absent when it cannot be evaluated
    std::optional<KeyCondition> cond;   // the FOR condition; absent: every record
    std::string problem;                // why the tag cannot be used or written
  };

  // Opens the .MDX at `path` for a table with `fields` and `code_page`.
  static IndexStatus Open(const std::string& path, const std::vector<FieldDesc>& fields,
                          int code_page, bool writable, std::unique_ptr<ProductionIndex>& out);
  // Creates an empty .MDX for the table whose base name is `table_base`.
  static IndexStatus Create(const std::string& path, const std::string& table_base,
                            const std::vector<FieldDesc>& fields, int code_page,
                            std::unique_ptr<ProductionIndex>& out);

  MdxFile& file() { return *file_; }
  const std::vector<Tag>& tags() const { return tags_; }
  // The tag named `name` (without regard to case), or null.
  const Tag* Find(const std::string& name) const;
  // The key of a record in a tag, or nothing when the record has no entry there (its FOR
  // condition is false).
  static std::optional<std::string> KeyOf(const Tag& tag, const RecordView& record);

  // The marks of tags (or of the file) that may not be used; see index_faults.h.
  IndexFaults& faults() { return faults_; }
  const IndexFaults& faults() const { return faults_; }
  // Why no change may be written into the index; empty when changes may go in.
  std::string write_refusal() const;

  // The check when a table opens, cheap enough for large tables: under the index lock
  // (shared, or exclusive with `repair`), a change left half done by a writer that
  // stopped is completed (`repair`) or judged; then every tag's entry count is compared
  // with the record count and the keys of a sample of records (the last ones always
  // among them) are looked up. What fails is diagnosed by the full index checker and
  // marked. Another program may be between a record and its keys: a count that differs
  // is looked at again a few times before it counts. `table_now` gives the table as it
  // stands (its record count read again) each time it is called.
  void CheckAtOpening(const std::function<IndexedTable()>& table_now, bool repair,
                      uint32_t record_sample = kOpeningCheckSample);
  // The full check (every node; the keys of `record_sample` records, 0 for all), marking
  // what it finds: the diagnosis behind CheckAtOpening and the tests' proof.
  void CheckBeforeWriting(const IndexedTable& table, uint32_t record_sample);
  // Every record's keys against every usable tag, in one pass over the table (about a
  // second for a million records): what the first disagreement is, marked out of step,
  // or empty when every record is filed under the keys its data gives. The caller holds
  // the index lock (shared is enough).
  std::string VerifyEveryRecord(const IndexedTable& table);

  // A change of record `recno` (`before` absent for a new record, `after` as written),
  // in three steps around the caller's write of the record:
  // - BeginChange takes the index lock, completes a change left half done, checks that
  //   the keys of `before` are where its data says (else marks the index out of step and
  //   refuses, so nothing is written), marks the change pending in the file and takes
  //   out the entries of `before` whose keys change;
  // - the caller writes the record (and, for a new one, the count that includes it);
  // - FinishChange puts in the keys of `after`, clears the pending mark and lets the lock
  //   go. When the record could not be written, AbandonChange instead gives the record
  //   the keys its data in the file gives and lets the lock go.
  IndexStatus BeginChange(uint32_t recno, const RecordView* before, const RecordView* after,
                          const IndexedTable& table);
  IndexStatus FinishChange(uint32_t recno, const RecordView* before, const RecordView* after);
  void AbandonChange(uint32_t recno, const IndexedTable& table);
  // A batch of changes: BeginBatch takes the index lock and does, once for the batch,
  // what BeginChange does first (the headers read again, a change left half done
  // completed, the refusals checked); the changes of the batch then keep the lock and
  // skip that part, since no other user can change the file while it is held. EndBatch
  // lets the lock go.
  IndexStatus BeginBatch(const IndexedTable& table);
  void EndBatch();
  // An append of new records first .. last in one run (index_append.cpp), inside a
  // batch: MarkAppend marks the run pending before the table's count takes the records
  // in; FileAppended then files the keys of every record of the run (`records` holds
  // them in order, RecordLength bytes each) and clears the mark. DropAppendMark clears it
  // when the count never took them in. A run left pending by a writer that stopped is
  // completed from the records the count holds when the file is next settled.
  IndexStatus MarkAppend(uint32_t first, uint32_t last);
  IndexStatus FileAppended(uint32_t first, uint32_t last, const uint8_t* records,
                           size_t record_length);
  void DropAppendMark();
  // Begin and Finish at once, for a caller whose record is already written (tests and
  // benchmarks over tables in memory).
  IndexStatus Apply(uint32_t recno, const RecordView* before, const RecordView* after,
                    const IndexedTable& table);

  // Adds a maintained tag over every record of `table`, sorted once.
  IndexStatus AddTag(const NewTagDefinition& tag_def, const IndexedTable& table);
  // Adds several tags, reading the records once (a rebuild); `progress` hears how many
  // records were read, about every hundredth of the table.
  IndexStatus AddTags(const std::vector<NewTagDefinition>& tag_defs, const IndexedTable& table,
                      const std::function<void(uint32_t done, uint32_t records)>& progress = {});

  // Reads the header and tag table again (another user may have added tags).
  IndexStatus Reload();

 private:
  explicit ProductionIndex(const std::string& path) : faults_(path) {}
  IndexStatus LoadTags();
  bool TagTableChanged() const;
  // Under the lock: the table's tags as the file has them now.
  IndexStatus ReloadLocked();
  // Whether the header's page count fits the file, so that new blocks go where they
  // belong; when it does not, writing is refused (reading is not affected).
  bool CheckPageCount();
  // Under the lock just taken: the headers read again, a change left half done completed,
  // and the refusals checked.
  IndexStatus Settle(const IndexedTable& table);
  // Under the lock: a pending change left by a writer that stopped is completed from the
  // record's data (`repair`) or, when it cannot be, the tags it leaves in doubt marked.
  IndexStatus SettlePending(const IndexedTable& table, bool repair);
  // The same for a pending append (index_append.cpp): every record of the run that the
  // table counts gets the entries its data gives (`repair`), or a tag lacking one is
  // marked out of step.
  IndexStatus SettlePendingAppend(const IndexedTable& table, bool repair);
  // Whether record `recno`'s entry in `t` is `key` (a unique tag: whether some entry
  // holds `key`).
  IndexStatus HasEntry(const Tag& t, const std::string& key, uint32_t recno, bool& found) const;
  IndexStatus RemoveKey(Tag& t, uint32_t recno, const std::string& key, const IndexedTable& table);
  IndexStatus InsertKey(Tag& t, uint32_t recno, const std::string& key);
  // After a writer stopped between a record and its keys: files record `recno`'s `key` in
  // `t` when it is missing (`repair`), or else marks the tag out of step with `detail`.
  IndexStatus FileMissingKey(Tag& t, uint32_t recno, const std::string& key, bool repair,
                             const std::string& detail);
  // Marks the tag of `s` damaged or out of step and gives the failure on.
  IndexStatus Faulted(const Tag& t, IndexFault fault, const IndexStatus& s);
  // The screen of CheckAtOpening for one tag: empty when it passes, else what failed.
  std::string Screen(const Tag& t, const IndexedTable& table, uint32_t record_sample) const;

  std::unique_ptr<MdxFile> file_;
  std::vector<FieldDesc> fields_;
  int code_page_ = 437;
  std::vector<Tag> tags_;
  std::string write_refusal_;  // from the tags as loaded
  std::string page_count_refusal_;  // from CheckPageCount
  IndexFaults faults_;
  bool changing_ = false;      // between BeginChange and FinishChange / AbandonChange
  bool in_batch_ = false;      // between BeginBatch and EndBatch
};

}  // namespace snyltdyr::engine
