// The production index attached to an open table: it opens with the table when the
// table's header flags one, refuses writes that would leave a tag stale, keeps every tag
// in step within each write, and supplies the tag orders of the table's cursors.
#pragma once

#include <memory>
#include <string>

#include "storage/engine/table/cursor.h"
#include "storage/engine/index/index_production.h"

namespace snyltdyr::engine {

class IndexCompanion : public TableCompanion {
 public:
  IndexCompanion(Table& table, std::unique_ptr<ProductionIndex> index);

  Result BeginWrite(const RecordChange& change) override;
  Result FinishWrite(const RecordChange& change) override;
  void AbandonWrite(const RecordChange& change) override;
  Result BeginBatch() override;
  void EndBatch() override;
  bool Moves(const RecordChange& change) override;
  Result BeginAppend(uint32_t first, uint32_t last) override;
  Result FinishAppend(uint32_t first, uint32_t last, const uint8_t* records) override;
  void AbandonAppend() override;
  std::string WriteRefusal() const override;
  Result MakeOrder(const std::string& index_file, const std::string& tag,
                   std::unique_ptr<RecordOrder>& order) override;
  void Reread() override;

  ProductionIndex& index() { return *index_; }
  // The table as the index code sees it (records read through the table), with the
  // record count as last read, or (Now) as it stands.
  IndexedTable Indexed() const;
  IndexedTable Now() const;
  // Whether `index_file` (empty, a bare name or a path, any case, with or without the
  // extension) names this production index file.
  bool NamesThisFile(const std::string& index_file) const;
  // When the data file was changed behind the index (index_freshness.h; the header's
  // date is looked at only `at_opening`), verifies every record's keys against every tag:
  // kOk when they agree (the index is then dated as following the data file), else the
  // tag found out of step, marked and reported.
  Result VerifyIfChangedBehind(bool at_opening);

 private:
  Result Refused(const IndexStatus& s);
  // Our write is done: the index follows the data file.
  void Followed();

  Table& table_;
  std::unique_ptr<ProductionIndex> index_;
  bool in_batch_ = false;
};

// The companion opener: attaches the production index to a table whose header flags one,
// after the check of index_opening_check.cpp (which completes a change a stopped writer
// left half done when the table opens for writing). An index that is missing, damaged,
// out of step, sorted by another collation or holding a tag this engine cannot evaluate
// makes the table read-only, with a message that says which, why and how to repair it;
// reading in the order of a sound tag still works, a marked tag is not used at all.
Result OpenProductionIndex(Table& table);

// The companion of a table, when it has a production index.
IndexCompanion* CompanionOf(Table& table);

}  // namespace snyltdyr::engine
