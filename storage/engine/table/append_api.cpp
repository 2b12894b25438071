// AppendRecords: a run of new records through a cursor, all or nothing (table_append.cpp).
#include <cstring>
#include <map>

#include "storage/engine/datafile/dbf_header.h"
#include "storage/engine/engine_state.h"
#include "storage/engine/error_stack.h"
#include "storage/engine/memo/dbt_memo.h"

namespace snyltdyr::engine {
namespace {

// Every memo names a record of the run and a memo field, and holds something.
Result CheckMemos(const Table& t, uint32_t count, const std::vector<NewMemo>& memos) {
  const auto& fields = t.Fields();
  for (const NewMemo& m : memos) {
    if (m.record >= count || m.content.empty() || m.field_number < 1 ||
        m.field_number > fields.size() || !IsMemoType(fields[m.field_number - 1].type))
      return Fail(kErrInvalidParameter, "A memo of record " + std::to_string(m.record) +
                                            ", field " + std::to_string(m.field_number) + ".");
  }
  if (!memos.empty() && t.Memo() == nullptr) return Fail(kErrMemoFileNotFound, t.DbfPath());
  return kOk;
}

}  // namespace

Result AppendRecords(Handle cursor, const uint8_t* records, uint32_t count,
                     const std::vector<NewMemo>& memos, uint32_t& first) {
  Cursor* c;
  if (Result r = GetCursor(cursor, c)) return r;
  if (records == nullptr) return Fail(kErrInvalidParameter, "No record buffers.");
  Table& t = c->table();
  if (Result r = CheckMemos(t, count, memos)) return r;
  const size_t rl = t.RecordLength(), stride = c->BufferSize();
  std::vector<uint8_t> run(rl * count);
  for (uint32_t i = 0; i < count; ++i) std::memcpy(&run[i * rl], records + i * stride, rl);
  std::multimap<uint32_t, const NewMemo*> by_record;
  for (const NewMemo& m : memos) by_record.emplace(m.record, &m);
  // Memo blocks go before the record that points at them.
  const auto store_memos = [&](uint32_t index, uint8_t* record) -> Result {
    const auto [from, to] = by_record.equal_range(index);
    for (auto it = from; it != to; ++it) {
      const FieldDesc& f = t.Fields()[it->second->field_number - 1];
      uint32_t block = 0;
      if (Result r = t.Memo()->Write(it->second->content, 0, block)) return r;
      FormatMemoBlock(block, record + f.offset, f.length);
    }
    return kOk;
  };
  uint32_t at = 0;
  if (Result r = t.AppendRun(run.data(), count, store_memos, at)) return r;
  first = at;
  return kOk;
}

}  // namespace snyltdyr::engine
