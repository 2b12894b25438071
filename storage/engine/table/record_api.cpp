// Records through cursors: positioning, reading and writing records and fields, and
// counting what a cursor shows.
#include <cstring>

#include "storage/engine/memo/dbt_memo.h"
#include "storage/engine/engine_state.h"
#include "storage/engine/error_stack.h"
#include "storage/engine/datafile/field_codec.h"
#include "storage/engine/datafile/record_buffer.h"

namespace snyltdyr::engine {
namespace {

Result FieldAt(Cursor& c, uint16_t number, const FieldDesc*& field) {
  const auto& fields = c.table().Fields();
  if (number < 1 || number > fields.size())
    return Fail(kErrInvalidFieldNumber, "Field number " + std::to_string(number) + ".");
  field = &fields[number - 1];
  return kOk;
}

// The result of moving off the records, reported like every failure.
Result Report(Result r) {
  switch (r) {
    case kErrBeginningOfTable:
    case kErrEndOfTable:
    case kErrRecordDeleted:
    case kErrNoCurrentRecord:
      return Fail(r, "");
    default:
      return r;  // already reported where it happened
  }
}

// Copies the current record into `record` (slots emptied) and fills `props`, taking the
// write lock first when asked (and reading again under it).
Result DeliverCurrent(Cursor& c, LockMode lock, uint8_t* record, RecordProperties* props) {
  std::vector<uint8_t> bytes;
  if (Result r = c.ReadCurrent(bytes)) return Report(r);
  const uint32_t recno = c.position().recno;
  if (lock == LockMode::kWriteLock) {
    if (Result r = c.table().LockRecord(recno)) return r;
    if (Result r = c.ReadCurrent(bytes)) {
      c.table().UnlockRecord(recno);
      return Report(r);
    }
  }
  if (record != nullptr) {
    std::memcpy(record, bytes.data(), bytes.size());
    std::memset(record + bytes.size(), 0, c.BufferSize() - bytes.size());
  }
  if (props != nullptr) {
    *props = RecordProperties{};
    props->physical_number = recno;
    props->locked = c.table().HoldsRecordLock(recno);
  }
  return kOk;
}

// Stores the memos changed through blobs of `buffer` and points the record at them.
Table::PrepareRecord MemoWriter(Cursor& c, const uint8_t* buffer) {
  return [&c, buffer](uint8_t* record) -> Result {
    const auto& fields = c.table().Fields();
    for (size_t i = 0; i < fields.size(); ++i) {
      int slot = BlobSlotOffset(fields, c.table().RecordLength(), i);
      if (slot < 0) continue;
      auto it = c.blobs().find(ReadSlot(buffer, slot));
      if (it == c.blobs().end() || !it->second.modified) continue;
      const FieldDesc& f = fields[i];
      uint32_t old_block = 0, block = 0;
      if (!ParseMemoBlock(record + f.offset, f.length, old_block)) old_block = 0;
      if (!it->second.content.empty()) {
        DbtMemo* memo = c.table().Memo();
        if (memo == nullptr) return Fail(kErrMemoFileNotFound, c.table().DbfPath());
        if (Result r = memo->Write(it->second.content, old_block, block)) return r;
      }
      FormatMemoBlock(block, record + f.offset, f.length);  // an emptied memo: blank
    }
    return kOk;
  };
}

Result CurrentRecno(Cursor& c, uint32_t& recno) {
  switch (c.where()) {
    case Cursor::Where::kOnRecord: recno = c.position().recno; return kOk;
    case Cursor::Where::kCrack: return Fail(kErrRecordDeleted, "");
    default: return Fail(kErrNoCurrentRecord, "");
  }
}

Result AddRecord(Handle cursor, LockMode lock, const uint8_t* record) {
  Cursor* c;
  if (Result r = GetCursor(cursor, c)) return r;
  if (record == nullptr) return Fail(kErrInvalidParameter, "No record buffer.");
  uint32_t recno = 0;
  if (Result r = c->table().AppendRecord(record, MemoWriter(*c, record),
                                         lock == LockMode::kWriteLock, recno))
    return r;
  return c->GoToRecord(recno);
}

}  // namespace

Result SetToBeginning(Handle cursor) {
  Cursor* c;
  if (Result r = GetCursor(cursor, c)) return r;
  c->ToBeginning();
  return kOk;
}

Result SetToEnd(Handle cursor) {
  Cursor* c;
  if (Result r = GetCursor(cursor, c)) return r;
  c->ToEnd();
  return kOk;
}

Result SetToBookmark(Handle cursor, const uint8_t* bookmark) {
  Cursor* c;
  if (Result r = GetCursor(cursor, c)) return r;
  if (bookmark == nullptr) return Fail(kErrInvalidBookmark, "");
  uint32_t recno;
  std::memcpy(&recno, bookmark, 4);
  if (recno == 0) return Fail(kErrInvalidBookmark, "");
  return c->GoToRecord(recno);
}

Result GetRecord(Handle cursor, LockMode lock, uint8_t* record, RecordProperties* props) {
  Cursor* c;
  if (Result r = GetCursor(cursor, c)) return r;
  return DeliverCurrent(*c, lock, record, props);
}

Result GetNextRecord(Handle cursor, LockMode lock, uint8_t* record, RecordProperties* props) {
  Cursor* c;
  if (Result r = GetCursor(cursor, c)) return r;
  if (Result r = c->MoveNext()) return Report(r);
  return DeliverCurrent(*c, lock, record, props);
}

Result GetPriorRecord(Handle cursor, LockMode lock, uint8_t* record, RecordProperties* props) {
  Cursor* c;
  if (Result r = GetCursor(cursor, c)) return r;
  if (Result r = c->MovePrior()) return Report(r);
  return DeliverCurrent(*c, lock, record, props);
}

Result GetBookmark(Handle cursor, uint8_t* bookmark) {
  Cursor* c;
  if (Result r = GetCursor(cursor, c)) return r;
  if (c->where() != Cursor::Where::kOnRecord && c->where() != Cursor::Where::kCrack)
    return Fail(kErrNoCurrentRecord, "");
  uint32_t recno = c->position().recno;
  std::memcpy(bookmark, &recno, 4);
  return kOk;
}

Result CompareBookmarks(Handle cursor, const uint8_t* a, const uint8_t* b, int& comparison) {
  Cursor* c;
  if (Result r = GetCursor(cursor, c)) return r;
  if (a == nullptr || b == nullptr) return Fail(kErrInvalidBookmark, "");
  uint32_t ra, rb;
  std::memcpy(&ra, a, 4);
  std::memcpy(&rb, b, 4);
  if (ra == rb) {
    comparison = 0;
    return kOk;
  }
  OrderPos pa, pb;
  for (auto [recno, pos] : {std::pair{ra, &pa}, std::pair{rb, &pb}}) {
    std::vector<uint8_t> record;
    if (Result r = c->table().ReadRecord(recno, record)) return r;
    if (Result r = c->Order().PositionOf(c->table().View(record.data()), recno, *pos)) return r;
  }
  int cmp = c->Order().Compare(pa, pb);
  if (cmp == 0) cmp = ra < rb ? -1 : 1;  // different records never compare equal
  comparison = cmp < 0 ? -1 : 1;
  return kOk;
}

Result InitRecord(Handle cursor, uint8_t* record) {
  Cursor* c;
  if (Result r = GetCursor(cursor, c)) return r;
  if (record == nullptr) return Fail(kErrInvalidParameter, "No record buffer.");
  const uint16_t length = c->table().RecordLength();
  std::memset(record, ' ', length);
  std::memset(record + length, 0, c->BufferSize() - length);
  return kOk;
}

Result GetField(Handle cursor, uint16_t field_number, const uint8_t* record, FieldValue& value) {
  Cursor* c;
  if (Result r = GetCursor(cursor, c)) return r;
  if (record == nullptr) return Fail(kErrInvalidParameter, "No record buffer.");
  const FieldDesc* f;
  if (Result r = FieldAt(*c, field_number, f)) return r;
  FieldValue v;
  if (Result r = DecodeField(*f, record + f->offset, c->table().CodePage(), c->translate_fields(), v))
    return Fail(r, "Field " + f->name + " is of type " + std::string(1, f->type) + ".");
  int slot = BlobSlotOffset(c->table().Fields(), c->table().RecordLength(), field_number - 1u);
  if (slot >= 0) {  // an open blob on this buffer knows better than the stored pointer
    auto it = c->blobs().find(ReadSlot(record, slot));
    if (it != c->blobs().end() && it->second.field_number == field_number)
      v.blank = it->second.content.empty();
  }
  value = std::move(v);
  return kOk;
}

Result PutField(Handle cursor, uint16_t field_number, uint8_t* record, const FieldValue& value) {
  Cursor* c;
  if (Result r = GetCursor(cursor, c)) return r;
  if (record == nullptr) return Fail(kErrInvalidParameter, "No record buffer.");
  const FieldDesc* f;
  if (Result r = FieldAt(*c, field_number, f)) return r;
  int slot = BlobSlotOffset(c->table().Fields(), c->table().RecordLength(), field_number - 1u);
  if (slot >= 0) {
    if (!value.blank || f->type != 'M')
      return Fail(kErrFieldTypeMismatch, "Field " + f->name + " is written through its memo.");
    auto it = c->blobs().find(ReadSlot(record, slot));
    if (it != c->blobs().end() && it->second.field_number == field_number) {
      it->second.content.clear();
      it->second.modified = true;
    } else {
      FormatMemoBlock(0, record + f->offset, f->length);
    }
    return kOk;
  }
  // Encoded aside, so that a value that does not fit leaves the record as it was; on the
  // stack, since a pass puts fields by millions (a field is at most 255 bytes long).
  static_assert(sizeof(FieldDesc::length) == 1);
  uint8_t bytes[256];
  if (Result r = EncodeField(*f, value, c->table().CodePage(), c->translate_fields(), bytes)) {
    if (r == kErrInvalidFieldValue)
      return Fail(r, "The value does not fit field " + f->name + " (" + std::to_string(f->length) +
                         (f->decimals ? "," + std::to_string(f->decimals) : std::string()) + ").");
    return Fail(r, "Field " + f->name + " is of type " + std::string(1, f->type) + ".");
  }
  std::memcpy(record + f->offset, bytes, f->length);
  return kOk;
}

Result ModifyRecord(Handle cursor, const uint8_t* record, bool release_lock) {
  Cursor* c;
  if (Result r = GetCursor(cursor, c)) return r;
  if (record == nullptr) return Fail(kErrInvalidParameter, "No record buffer.");
  uint32_t recno;
  if (Result r = CurrentRecno(*c, recno)) return r;
  Table& t = c->table();
  const bool locked_here = !t.HoldsRecordLock(recno);
  if (locked_here)
    if (Result r = t.LockRecord(recno)) return r;
  Result r = t.WriteRecord(recno, record, MemoWriter(*c, record));
  if (r == kOk) r = c->FollowWrittenRecord(recno);  // its key may have moved it
  if (locked_here || (release_lock && r == kOk)) t.UnlockRecord(recno);
  return r;
}

Result InsertRecord(Handle cursor, LockMode lock, const uint8_t* record) {
  return AddRecord(cursor, lock, record);
}

Result AppendRecord(Handle cursor, const uint8_t* record) {
  return AddRecord(cursor, LockMode::kNoLock, record);
}

Result DeleteRecord(Handle cursor) {
  Cursor* c;
  if (Result r = GetCursor(cursor, c)) return r;
  uint32_t recno;
  if (Result r = CurrentRecno(*c, recno)) return r;
  Table& t = c->table();
  if (Result r = t.LockRecord(recno)) return r;
  Result r = t.MarkDeleted(recno);
  t.UnlockRecord(recno);  // a deleted record is edited no more
  if (r == kOk) c->ToCrack();
  return r;
}

Result ReleaseRecordLock(Handle cursor) {
  Cursor* c;
  if (Result r = GetCursor(cursor, c)) return r;
  c->table().UnlockAllRecords();
  return kOk;
}

Result ForceReread(Handle cursor) {
  Cursor* c;
  if (Result r = GetCursor(cursor, c)) return r;
  if (Result r = c->table().Reread()) return r;
  c->Order().Reread();
  return kOk;
}

Result GetRecordCount(Handle cursor, uint32_t& count) { return GetExactRecordCount(cursor, count); }

Result GetTableRecordCount(Handle cursor, uint32_t& count) {
  Cursor* c;
  if (Result r = GetCursor(cursor, c)) return r;
  count = c->table().RecordCount();
  return kOk;
}

}  // namespace snyltdyr::engine
