// The index operations of the engine interface: index descriptors, switching a cursor's
// order, adding tags (on a cursor or by table name) and opening index files. The
// production index itself attaches to every table that opens, through the companion
// opener registered here.
#include <filesystem>

#include "storage/engine/files/case_insensitive_path.h"
#include "storage/engine/engine.h"
#include "storage/engine/engine_state.h"
#include "storage/engine/error_stack.h"
#include "storage/engine/index/index_companion.h"

namespace snyltdyr::engine {
namespace {

const bool kRegistered = [] {
  RegisterCompanionOpener(OpenProductionIndex);
  return true;
}();

std::string FileNameOf(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

IndexDescriptor Describe(const ProductionIndex::Tag& t, size_t number, const std::string& file) {
  const MdxTag& m = *t.mdx;
  IndexDescriptor d;
  d.file_name = file;
  d.tag_name = m.name();
  d.id = static_cast<uint16_t>(number);
  d.unique = m.unique();
  d.descending = m.descending();
  d.maintained = true;
  d.key_expression = m.expression();
  d.for_expression = m.has_for() ? m.for_expression() : std::string();
  d.key_length = m.key_length();
  const std::string upper = UpperInCodePage(m.expression(), 437);
  d.case_insensitive = upper.rfind("UPPER(", 0) == 0;
  if (t.expr && t.expr->single_field() >= 0) {
    d.field_numbers.push_back(static_cast<uint16_t>(t.expr->single_field() + 1));
    d.descending_fields.push_back(d.descending);
  } else {
    d.expression = true;
  }
  return d;
}

// The key expression a descriptor asks for.
Result ExpressionOf(const Table& table, const IndexDescriptor& d, std::string& expr) {
  if (!d.for_expression.empty())
    return Fail(kErrInvalidParameter, "New index tags cannot have a FOR condition.");
  if (d.expression) {
    expr = d.key_expression;
  } else {
    if (d.field_numbers.empty()) return Fail(kErrInvalidParameter, "An index needs at least one field.");
    const auto& fields = table.Fields();
    bool text = d.field_numbers.size() > 1;
    for (uint16_t n : d.field_numbers) {
      if (n < 1 || n > fields.size())
        return Fail(kErrInvalidFieldNumber, "Field number " + std::to_string(n) + ".");
      const FieldDesc& f = fields[n - 1];
      if (f.type != 'C' && f.type != 'N' && f.type != 'F' && f.type != 'D')
        return Fail(kErrFieldTypeMismatch, "The field " + f.name + " cannot be indexed.");
      if (!expr.empty()) expr += "+";
      // Several fields make one text key: numbers and dates in their text forms.
      if (text && (f.type == 'N' || f.type == 'F'))
        expr += "STR(" + f.name + "," + std::to_string(f.length) + "," + std::to_string(f.decimals) + ")";
      else if (text && f.type == 'D')
        expr += "DTOS(" + f.name + ")";
      else
        expr += f.name;
      text = text || f.type == 'C';
    }
  }
  if (d.case_insensitive) {
    std::string why;
    auto parsed = KeyExpression::Parse(expr, table.Fields(), table.CodePage(), &why);
    if (parsed && parsed->type() == 'C') expr = "UPPER(" + expr + ")";
  }
  return kOk;
}

// Adds a tag to the production index of `table`, creating the file when there is none.
Result AddTag(Table& table, const IndexDescriptor& d, const IndexProgress& progress) {
  if (!d.maintained)
    return Fail(kErrInvalidParameter, "Only maintained tags of the production index can be added.");
  // A descriptor without a tag names an index file: its base name becomes the tag's.
  const std::string name =
      d.tag_name.empty() ? std::filesystem::path(d.file_name).stem().string() : d.tag_name;
  std::string expr;
  if (Result r = ExpressionOf(table, d, expr)) return r;

  IndexCompanion* companion = CompanionOf(table);
  if (companion == nullptr) {
    if (table.ProductionIndexFlagged())
      return Fail(kErrIndexOutOfDate, table.DbfPath() + ": the production index cannot be used.");
    // A new index file: nobody else may have the table open, or their writes would
    // leave it behind.
    if (!table.Exclusive())
      return Fail(kErrTableInUse, table.DbfPath() + ": the first index of a table is added "
                                  "only while the table is open exclusively.");
    if (!table.Writable())
      return Fail(kErrTableReadOnly, table.DbfPath() + ": " + "the table cannot be written.");
    bool exists = false;
    std::string clash;
    const std::string path = CompanionPath(table.DbfPath(), ".MDX", exists, &clash);
    if (!clash.empty()) return Fail(kErrAmbiguousFileName, clash);
    if (exists) {  // the header names none: an old file, kept aside rather than lost
      std::error_code ec;
      std::filesystem::rename(path, path + ".old", ec);
      if (ec) return Fail(kErrFileExists, path + ": an index file the table does not name is in the way.");
    }
    std::unique_ptr<ProductionIndex> index;
    IndexStatus s = ProductionIndex::Create(path, BaseName(table.DbfPath()), table.Fields(),
                                            table.CodePage(), index);
    if (!s) return Fail(kErrCreateFailed, s.message());
    table.SetCompanion(std::make_unique<IndexCompanion>(table, std::move(index)));
    companion = CompanionOf(table);
  }
  ProductionIndex& index = companion->index();
  if (!index.file().writable())
    return Fail(kErrTableReadOnly, index.file().path() + ": the index file cannot be written.");
  if (Result r = table.RefreshHeader()) return r;
  IndexStatus s = index.AddTags({{name, expr, d.descending, d.unique || d.primary}},
                                 companion->Indexed(), progress);
  if (!s) return Fail(kErrInvalidParameter, s.message());
  // The header says that the table has a production index, and which field it keys.
  if (!table.ProductionIndexFlagged())
    if (Result r = table.WriteHeaderByte(28, 1)) return r;
  const ProductionIndex::Tag* t = index.Find(name);
  if (t && t->expr && t->expr->single_field() >= 0)
    if (Result r = table.WriteHeaderByte(32 + 32 * static_cast<uint64_t>(t->expr->single_field()) + 31, 1))
      return r;
  return table.RefreshHeader();
}

}  // namespace

Result GetIndexDescriptors(Handle cursor, std::vector<IndexDescriptor>& indexes) {
  Cursor* c;
  if (Result r = GetCursor(cursor, c)) return r;
  std::vector<IndexDescriptor> out;
  if (IndexCompanion* companion = CompanionOf(c->table())) {
    const std::string file = FileNameOf(companion->index().file().path());
    size_t number = 0;
    for (const ProductionIndex::Tag& t : companion->index().tags()) {
      ++number;
      if (t.mdx) out.push_back(Describe(t, number, file));
    }
  }
  indexes = std::move(out);
  return kOk;
}

Result GetCurrentIndex(Handle cursor, IndexDescriptor& index) {
  Cursor* c;
  if (Result r = GetCursor(cursor, c)) return r;
  IndexCompanion* companion = CompanionOf(c->table());
  if (c->index_tag().empty() || companion == nullptr)
    return Fail(kErrNoCurrentIndex, "The cursor is in record order.");
  const auto& tags = companion->index().tags();
  for (size_t i = 0; i < tags.size(); ++i) {
    if (tags[i].mdx && &tags[i] == companion->index().Find(c->index_tag())) {
      index = Describe(tags[i], i + 1, FileNameOf(companion->index().file().path()));
      return kOk;
    }
  }
  return Fail(kErrIndexNotFound, "Index tag " + c->index_tag() + ".");
}

Result SwitchToIndex(Handle cursor, const std::string& index_file, const std::string& tag,
                     uint16_t, bool stay_on_record) {
  Cursor* c;
  if (Result r = GetCursor(cursor, c)) return r;
  std::unique_ptr<RecordOrder> order;
  if (index_file.empty() && tag.empty()) {
    order = MakeRecordNumberOrder(c->table());
  } else {
    TableCompanion* companion = c->table().Companion();
    if (companion == nullptr) return Fail(kErrIndexNotFound, tag.empty() ? index_file : tag);
    if (Result r = companion->MakeOrder(index_file, tag, order)) return r;
  }
  if (Result r = c->SetOrder(std::move(order), stay_on_record))
    return Fail(r, "The current record is not in the order of " + (tag.empty() ? "the table" : tag) + ".");
  c->SetIndexNames(index_file, tag);
  return kOk;
}

Result AddIndex(Handle, Handle cursor, const IndexDescriptor& index, const IndexProgress& progress) {
  Cursor* c;
  if (Result r = GetCursor(cursor, c)) return r;
  return AddTag(c->table(), index, progress);
}

Result AddIndexToTable(Handle database, const std::string& table_name, const std::string& driver,
                       const IndexDescriptor& index, const IndexProgress& progress) {
  if (Result r = RequireStarted()) return r;
  std::string upper_driver = driver;
  for (char& ch : upper_driver) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  if (!upper_driver.empty() && upper_driver != "DBASE")
    return Fail(kErrInvalidParameter, "Driver " + driver + ".");
  std::string path;
  bool exists = false;
  if (Result r = ResolveTablePath(database, table_name, path, exists)) return r;
  if (!exists) return Fail(kErrTableNotFound, table_name);
  Table table;
  if (Result r = table.Open(path, OpenMode::kReadWrite, ShareMode::kExclusive)) return r;
  return AddTag(table, index, progress);
}

Result OpenIndexFile(Handle cursor, const std::string& index_file) {
  Cursor* c;
  if (Result r = GetCursor(cursor, c)) return r;
  IndexCompanion* companion = CompanionOf(c->table());
  if (companion != nullptr && companion->NamesThisFile(index_file))
    return Fail(kErrIndexAlreadyOpen, index_file);
  return Fail(kErrIndexNotFound, index_file + ": only the table's production index is supported.");
}

}  // namespace snyltdyr::engine
