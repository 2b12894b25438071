#include "storage/engine/index_companion.h"

#include <filesystem>

#include "storage/engine/case_insensitive_path.h"
#include "storage/engine/error_stack.h"
#include "storage/engine/index_order.h"

namespace snyltdyr::engine {
namespace {

// Records whose presence in each tag is checked when a table opens for writing; every
// node is read regardless, so the check grows with the index, not with this number.
constexpr uint32_t kOpenCheckSample = 2000;

std::string UpperAscii(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

IndexCompanion::IndexCompanion(Table& table, std::unique_ptr<ProductionIndex> index)
    : table_(table), index_(std::move(index)) {}

IndexedTable IndexCompanion::Indexed() const {
  IndexedTable t;
  t.fields = &table_.Fields();
  t.code_page = table_.CodePage();
  t.record_count = table_.RecordCount();
  t.read_record = [this](uint32_t recno, std::vector<uint8_t>& bytes) {
    return table_.ReadRecord(recno, bytes) == kOk;
  };
  return t;
}

Result IndexCompanion::AllowWrite(const RecordChange&) {
  if (index_->tags().empty()) return kOk;
  if (!index_->write_refusal().empty())
    return Fail(kErrIndexOutOfDate, table_.DbfPath() + ": " + index_->write_refusal());
  // Nothing of the record is written unless the index can follow it.
  if (!index_->file().Lock())
    return Fail(kErrTableBusy, index_->file().path() + ": another user is changing the index.");
  index_->file().Unlock();
  return kOk;
}

Result IndexCompanion::AfterWrite(const RecordChange& change) {
  if (Result r = table_.RefreshHeader()) return r;  // an insert raised the record count
  IndexStatus s = index_->Apply(change.recno, change.before, change.after, Indexed());
  if (!s) return Fail(kErrDamagedIndex, s.message());
  return kOk;
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
  order = MakeTagOrder(*index_, t->mdx->name());
  return kOk;
}

void IndexCompanion::Reread() { index_->Reload(); }

IndexCompanion* CompanionOf(Table& table) {
  return dynamic_cast<IndexCompanion*>(table.Companion());
}

Result OpenProductionIndex(Table& table) {
  if (!table.ProductionIndexFlagged() || table.Companion() != nullptr) return kOk;
  bool exists = false;
  const std::string path = CompanionPath(table.DbfPath(), ".MDX", exists);
  // Without the file the table gets no companion, and a flagged table without one opens
  // read-only.
  if (!exists) return kOk;
  std::unique_ptr<ProductionIndex> index;
  IndexStatus s = ProductionIndex::Open(path, table.Fields(), table.CodePage(), table.Writable(), index);
  if (!s) {
    table.ForbidWrites(kErrDamagedIndex, "The production index cannot be used (" + s.message() +
                                             "); the table is opened read-only.");
    return kOk;
  }
  if (table.Writable() && !index->file().writable())
    table.ForbidWrites(kErrTableReadOnly, "The production index " + path +
                                              " cannot be written; the table is opened read-only.");
  auto companion = std::make_unique<IndexCompanion>(table, std::move(index));
  if (table.Writable()) {
    ProductionIndex& p = companion->index();
    p.CheckBeforeWriting(companion->Indexed(), kOpenCheckSample);
    if (!p.write_refusal().empty()) table.ForbidWrites(kErrIndexOutOfDate, p.write_refusal());
  }
  table.SetCompanion(std::move(companion));
  return kOk;
}

}  // namespace snyltdyr::engine
