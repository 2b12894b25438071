#include "storage/engine/index/index_companion.h"

#include <filesystem>

#include "storage/engine/files/case_insensitive_path.h"
#include "storage/engine/error_stack.h"
#include "storage/engine/index/index_faults.h"
#include "storage/engine/index/index_freshness.h"
#include "storage/engine/index/index_order.h"
#include "storage/engine/repair/repair_advice.h"

namespace snyltdyr::engine {
namespace {

std::string UpperAscii(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

IndexCompanion::IndexCompanion(Table& table, std::unique_ptr<ProductionIndex> index)
    : table_(table), index_(std::move(index)) {}

IndexedTable IndexCompanion::Now() const {
  table_.RefreshHeader();  // a failure leaves the count as last read
  return Indexed();
}

IndexedTable IndexCompanion::Indexed() const {
  IndexedTable t;
  t.fields = &table_.Fields();
  t.code_page = table_.CodePage();
  t.record_count = table_.RecordCount();
  t.read_record = [this](uint32_t recno, std::vector<uint8_t>& bytes) {
    return table_.ReadRecord(recno, bytes) == kOk;
  };
  t.record_length = table_.RecordLength();
  t.read_run = [this](uint32_t first, uint32_t count, uint8_t* out) {
    return table_.ReadRecords(first, count, out) == kOk;
  };
  return t;
}

Result IndexCompanion::VerifyIfChangedBehind(bool at_opening) {
  if (index_->tags().empty() ||
      !DataChangedBehindIndex(table_.DbfPath(), index_->file().path(), at_opening))
    return kOk;
  MdxFile& file = index_->file();
  if (!file.LockShared())
    return Fail(kErrTableBusy, file.path() + ": the index is locked by another user");
  const std::string found = index_->VerifyEveryRecord(Now());
  file.Unlock();
  if (!found.empty()) return Refused(IndexStatus::Error(found));
  // Verified: the index follows the data file as it stands now.
  if (file.writable()) MarkIndexFollowed(file.fd(), table_.DbfPath());
  return kOk;
}

// The failure of a change or batch the index cannot take, reported with its reason.
Result IndexCompanion::Refused(const IndexStatus& s) {
  if (Result r = index_->faults().CheckAll()) return r;
  if (!index_->write_refusal().empty())
    return Fail(kErrIndexOutOfDate, table_.DbfPath() + ": " + index_->write_refusal());
  return Fail(kErrTableBusy, s.message());
}

Result IndexCompanion::BeginWrite(const RecordChange& change) {
  if (index_->tags().empty()) return kOk;
  // A batch verified the table when it began; its own writes are not another program's.
  if (!in_batch_)
    if (Result r = VerifyIfChangedBehind(false)) return r;
  // Nothing of the record is written unless the index can follow it.
  IndexStatus s = index_->BeginChange(change.recno, change.before, change.after, Indexed());
  return s ? kOk : Refused(s);
}

Result IndexCompanion::BeginBatch() {
  if (index_->tags().empty()) return kOk;
  IndexStatus s = index_->BeginBatch(Indexed());
  if (!s) return Refused(s);
  // Records rewritten in a batch whose keys do not move are written without asking the
  // index: it must be known to agree with every record first.
  if (Result r = VerifyIfChangedBehind(false)) {
    index_->EndBatch();
    return r;
  }
  in_batch_ = true;
  return kOk;
}

void IndexCompanion::EndBatch() {
  if (!in_batch_) return;
  in_batch_ = false;
  index_->EndBatch();
  Followed();
}

void IndexCompanion::Followed() {
  if (index_->file().writable()) MarkIndexFollowed(index_->file().fd(), table_.DbfPath());
}

Result IndexCompanion::BeginAppend(uint32_t first, uint32_t last) {
  IndexStatus s = index_->MarkAppend(first, last);
  return s ? kOk : Refused(s);
}

Result IndexCompanion::FinishAppend(uint32_t first, uint32_t last, const uint8_t* records) {
  IndexStatus s = index_->FileAppended(first, last, records, table_.RecordLength());
  if (!s) return Fail(kErrDamagedIndex, s.message());
  return kOk;
}

void IndexCompanion::AbandonAppend() { index_->DropAppendMark(); }

bool IndexCompanion::Moves(const RecordChange& change) {
  if (change.before == nullptr || change.after == nullptr) return true;
  const RecordView& before = *change.before;
  const RecordView& after = *change.after;
  for (const ProductionIndex::Tag& t : index_->tags()) {
    // A key of one field, with the deletion flag (all a FOR condition reads) and that
    // field's bytes as they were, is the key it was: no need to make it twice.
    if (t.expr && t.expr->single_field() >= 0 && before.Deleted() == after.Deleted() &&
        before.Raw(static_cast<size_t>(t.expr->single_field())) ==
            after.Raw(static_cast<size_t>(t.expr->single_field())))
      continue;
    if (ProductionIndex::KeyOf(t, before) != ProductionIndex::KeyOf(t, after)) return true;
  }
  return false;
}

Result IndexCompanion::FinishWrite(const RecordChange& change) {
  // An insert raised the record count, which the keys of the new record need.
  if (Result r = change.kind == WriteKind::kInsert ? table_.RefreshHeader() : kOk) {
    index_->AbandonChange(change.recno, Indexed());
    return r;
  }
  IndexStatus s = index_->FinishChange(change.recno, change.before, change.after);
  if (!s) return Fail(kErrDamagedIndex, s.message());
  Followed();
  return kOk;
}

void IndexCompanion::AbandonWrite(const RecordChange& change) {
  if (table_.RefreshHeader() != kOk) {
    // Without the count the record cannot be judged: the next opening completes it.
    index_->faults().Mark(std::string(), IndexFault::kOutOfStep,
                          "a change of record " + std::to_string(change.recno) + " failed");
  }
  index_->AbandonChange(change.recno, Indexed());
  Followed();
}

std::string IndexCompanion::WriteRefusal() const {
  std::string why = index_->write_refusal();
  return why.empty() ? why : table_.DbfPath() + ": " + why;
}

bool IndexCompanion::NamesThisFile(const std::string& index_file) const {
  if (index_file.empty()) return true;
  std::string name = index_file;
  for (char& c : name)
    if (c == '\\') c = '/';
  const std::filesystem::path p(name);
  const std::string ext = UpperAscii(p.extension().string());
  if (!ext.empty() && ext != ".MDX") return false;
  return UpperAscii(p.stem().string()) == UpperAscii(BaseName(index_->file().path()));
}

Result IndexCompanion::MakeOrder(const std::string& index_file, const std::string& tag,
                                 std::unique_ptr<RecordOrder>& order) {
  if (!NamesThisFile(index_file))
    return Fail(kErrIndexNotFound, "Index file " + index_file + ".");
  if (tag.empty()) return Fail(kErrIndexNotFound, "A production index needs a tag name.");
  const ProductionIndex::Tag* t = index_->Find(tag);
  if (t == nullptr) {
    index_->Reload();  // another user may have added it since the table opened
    t = index_->Find(tag);
  }
  if (t == nullptr) return Fail(kErrIndexNotFound, "Index tag " + tag + ".");
  if (!t->mdx) return Fail(kErrDamagedIndex, t->problem);
  // Without its key nothing the tag gives can be checked: no order, seek or count by it.
  if (!t->expr) return Fail(kErrIndexOutOfDate, t->problem);
  if (Result r = index_->faults().Check(t->mdx->name())) return r;
  order = MakeTagOrder(*index_, [this] { return Now(); }, t->mdx->name());
  return kOk;
}

void IndexCompanion::Reread() { index_->Reload(); }

IndexCompanion* CompanionOf(Table& table) {
  return dynamic_cast<IndexCompanion*>(table.Companion());
}

Result OpenProductionIndex(Table& table) {
  if (!table.ProductionIndexFlagged() || table.Companion() != nullptr) return kOk;
  bool exists = false;
  std::string clash;
  const std::string path = CompanionPath(table.DbfPath(), ".MDX", exists, &clash);
  if (!clash.empty()) return Fail(kErrAmbiguousFileName, clash + " " + RepairAdvice(table.DbfPath()) + ".");
  // Without the file the table gets no companion, and a flagged table without one opens
  // read-only.
  if (!exists) {
    table.ForbidWrites(kErrIndexOutOfDate,
                       "The table's production index " + std::filesystem::path(path).filename().string() +
                           " is missing; the table is only read until the index is rebuilt. " +
                           IndexFaults::RebuildAdvice(path) + ".");
    return kOk;
  }
  std::unique_ptr<ProductionIndex> index;
  IndexStatus s = ProductionIndex::Open(path, table.Fields(), table.CodePage(), table.Writable(), index);
  if (!s) {
    IndexFaults faults(path);
    faults.Mark(std::string(), IndexFault::kDamaged, s.message());
    table.ForbidWrites(kErrDamagedIndex, faults.First()->message);
    return kOk;
  }
  // An append that stopped half way may lack its first record's deletion flag.
  if (table.Writable() && index->file().pending_append_first() != 0)
    if (Result r = table.FinishStoppedRun(index->file().pending_append_first())) return r;
  if (table.Writable() && !index->file().writable())
    table.ForbidWrites(kErrTableReadOnly, "The production index " + path +
                                              " cannot be written; the table is opened read-only.");
  auto companion = std::make_unique<IndexCompanion>(table, std::move(index));
  IndexCompanion* c = companion.get();
  table.SetCompanion(std::move(companion));
  ProductionIndex& p = c->index();
  p.CheckAtOpening([c] { return c->Now(); }, table.Writable());
  // Another program may have changed records in place, which no sample finds: the table
  // is verified in full before a tag of it gives an order or anything is written.
  c->VerifyIfChangedBehind(/*at_opening=*/true);
  if (!p.write_refusal().empty()) table.ForbidWrites(kErrIndexOutOfDate, p.write_refusal());
  return kOk;
}

}  // namespace snyltdyr::engine
