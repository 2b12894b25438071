// Tables through cursors: open, close, properties and field descriptors.
#include <strings.h>

#include <cstring>

#include "storage/engine/datafile/dbf_header.h"
#include "storage/engine/engine_state.h"
#include "storage/engine/error_stack.h"
#include "storage/engine/datafile/field_codec.h"
#include "storage/engine/datafile/record_buffer.h"

namespace snyltdyr::engine {
namespace {

Result CheckDriver(const std::string& driver) {
  if (driver.empty() || ::strcasecmp(driver.c_str(), "DBASE") == 0) return kOk;
  return Fail(kErrInvalidParameter, "Unknown table driver " + driver + ".");
}

void Describe(const Table& table, std::vector<FieldDescriptor>& out) {
  out.clear();
  uint16_t number = 0;
  for (const FieldDesc& f : table.Fields()) {
    FieldDescriptor d;
    d.number = ++number;
    d.name = f.name;
    EngineTypeOf(f, d.type, d.subtype);
    d.dbase_type = f.type;
    d.offset = f.offset;
    switch (d.type) {
      case kTypeText: d.units1 = f.length; d.length = static_cast<uint16_t>(f.length + 1); break;
      case kTypeDate: d.length = 4; break;
      case kTypeFloat: d.units1 = f.length; d.units2 = f.decimals; d.length = 8; break;
      case kTypeBoolean: d.length = 2; break;
      case kTypeBlob: d.units1 = f.length; d.length = 4; break;
      default: d.units1 = f.length; d.length = f.length; break;
    }
    d.read_only = d.type == kTypeUnknown || (d.type == kTypeBlob && d.subtype != kSubtypeMemo) ||
                  !table.Writable();
    out.push_back(d);
  }
}

}  // namespace

Result OpenTable(const OpenTableArgs& args, Handle& cursor) {
  if (Result r = RequireStarted()) return r;
  if (Result r = CheckDriver(args.driver)) return r;
  std::string path;
  bool exists = false;
  if (Result r = ResolveTablePath(args.database, args.table_name, path, exists)) return r;
  if (!exists) return Fail(kErrTableNotFound, args.table_name);
  auto table = std::make_unique<Table>();
  if (Result r = table->Open(path, args.open_mode, args.share_mode)) return r;
  const Handle h = NewHandle();
  auto c = std::make_unique<Cursor>(h, std::move(table), args.open_mode, args.translate_fields);
  if (!args.index_tag.empty() || !args.index_file.empty()) {
    TableCompanion* companion = c->table().Companion();
    std::unique_ptr<RecordOrder> order;
    if (companion == nullptr)
      return Fail(kErrIndexNotFound, args.index_tag.empty() ? args.index_file : args.index_tag);
    if (Result r = companion->MakeOrder(args.index_file, args.index_tag, order)) return r;
    if (Result r = c->SetOrder(std::move(order), false)) return r;
    c->SetIndexNames(args.index_file, args.index_tag);
  }
  State().cursors[h] = std::move(c);
  cursor = h;
  return kOk;
}

Result CloseCursor(Handle cursor) {
  Cursor* c;
  if (Result r = GetCursor(cursor, c)) return r;
  State().cursors.erase(cursor);
  return kOk;
}

Result GetCursorProperties(Handle cursor, CursorProperties& props) {
  Cursor* c;
  if (Result r = GetCursor(cursor, c)) return r;
  Table& t = c->table();
  props = CursorProperties{};
  props.table_name = t.DbfPath();
  props.field_count = static_cast<uint16_t>(t.Fields().size());
  props.record_size = c->BufferSize();
  props.bookmark_size = kBookmarkSize;
  props.open_mode = t.Writable() ? OpenMode::kReadWrite : OpenMode::kReadOnly;
  props.share_mode = t.Exclusive() ? ShareMode::kExclusive : ShareMode::kShared;
  props.numbering = RecordNumbering::kPhysical;
  props.language_driver = t.LanguageDriver();
  props.code_page = t.CodePage();
  props.write_refusal = t.WriteRefusalText();
  props.code_page_note = t.CodePageNote();
  props.code_page_uncertain = t.CodePageUncertain();
  props.index_unusable = t.ProductionIndexFlagged() && t.Companion() == nullptr;
  return kOk;
}

Result SetMakeCrack(Handle cursor, bool) {
  Cursor* c;
  return GetCursor(cursor, c);
}

Result GetFieldDescriptors(Handle cursor, std::vector<FieldDescriptor>& fields) {
  Cursor* c;
  if (Result r = GetCursor(cursor, c)) return r;
  Describe(c->table(), fields);
  return kOk;
}

Result GetTableFieldDescriptors(Handle database, const std::string& table_name,
                                const std::string& driver, std::vector<FieldDescriptor>& fields) {
  if (Result r = RequireStarted()) return r;
  if (Result r = CheckDriver(driver)) return r;
  std::string path;
  bool exists = false;
  if (Result r = ResolveTablePath(database, table_name, path, exists)) return r;
  if (!exists) return Fail(kErrTableNotFound, table_name);
  Table table;
  if (Result r = table.Open(path, OpenMode::kReadOnly, ShareMode::kShared)) return r;
  Describe(table, fields);
  return kOk;
}

Result GetTableLanguageDriver(Handle cursor, Handle& driver) {
  Cursor* c;
  if (Result r = GetCursor(cursor, c)) return r;
  driver = DriverHandleFor(c->table().CodePage());
  return kOk;
}

}  // namespace snyltdyr::engine
