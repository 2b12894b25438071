// Blobs: memo contents opened on a field of a record buffer, read and changed in memory,
// and stored by the next write of a record from that buffer.
#include <algorithm>
#include <cstring>

#include "storage/engine/memo/dbt_memo.h"
#include "storage/engine/engine_state.h"
#include "storage/engine/error_stack.h"
#include "storage/engine/datafile/record_buffer.h"

namespace snyltdyr::engine {
namespace {

// The memo field `field_number` of the cursor's table: its descriptor and slot offset.
Result LocateBlob(Cursor& c, uint16_t field_number, const FieldDesc*& field, int& slot) {
  const auto& fields = c.table().Fields();
  if (field_number < 1 || field_number > fields.size())
    return Fail(kErrInvalidFieldNumber, std::to_string(field_number) + ".");
  field = &fields[field_number - 1];
  slot = BlobSlotOffset(fields, c.table().RecordLength(), field_number - 1u);
  if (slot < 0) return Fail(kErrFieldTypeMismatch, "Field " + field->name + " is not a memo.");
  return kOk;
}

Result FindBlob(Handle cursor, const uint8_t* record, uint16_t field_number, Cursor*& c,
                OpenBlobState*& blob) {
  if (Result r = GetCursor(cursor, c)) return r;
  if (record == nullptr) return Fail(kErrInvalidParameter, "No record buffer.");
  const FieldDesc* field;
  int slot;
  if (Result r = LocateBlob(*c, field_number, field, slot)) return r;
  auto it = c->blobs().find(ReadSlot(record, slot));
  if (it == c->blobs().end() || it->second.field_number != field_number)
    return Fail(kErrBlobNotOpen, "Field " + field->name + ".");
  blob = &it->second;
  return kOk;
}

Result FindWritableBlob(Handle cursor, const uint8_t* record, uint16_t field_number,
                        OpenBlobState*& blob) {
  Cursor* c;
  if (Result r = FindBlob(cursor, record, field_number, c, blob)) return r;
  if (blob->mode != BlobMode::kReadWrite) return Fail(kErrBlobReadOnly, "");
  return kOk;
}

}  // namespace

Result OpenBlob(Handle cursor, uint8_t* record, uint16_t field_number, BlobMode mode) {
  Cursor* c;
  if (Result r = GetCursor(cursor, c)) return r;
  if (record == nullptr) return Fail(kErrInvalidParameter, "No record buffer.");
  const FieldDesc* field;
  int slot;
  if (Result r = LocateBlob(*c, field_number, field, slot)) return r;
  if (mode == BlobMode::kReadWrite && !c->table().Writable())
    return Fail(kErrTableReadOnly, c->table().DbfPath());
  auto it = c->blobs().find(ReadSlot(record, slot));
  if (it != c->blobs().end() && it->second.field_number == field_number) {
    if (mode == BlobMode::kReadWrite) it->second.mode = mode;
    return kOk;
  }
  OpenBlobState blob;
  blob.mode = mode;
  blob.field_number = field_number;
  uint32_t block = 0;
  if (!ParseMemoBlock(record + field->offset, field->length, block))
    return Fail(kErrMemoBlockOutOfRange, c->table().DbfPath() + ": field " + field->name +
                                             " holds no block number.");
  if (block != 0) {
    DbtMemo* memo = c->table().Memo();
    if (memo == nullptr)
      return Fail(kErrMemoFileNotFound, "The memo file of " + c->table().DbfPath() + " cannot be read.");
    if (Result r = memo->Read(block, blob.content)) return r;
  }
  const uint32_t id = c->NewBlobId();
  c->blobs()[id] = std::move(blob);
  WriteSlot(record, slot, id);
  return kOk;
}

Result GetBlobSize(Handle cursor, const uint8_t* record, uint16_t field_number, uint32_t& size) {
  Cursor* c;
  OpenBlobState* blob;
  if (Result r = FindBlob(cursor, record, field_number, c, blob)) return r;
  size = static_cast<uint32_t>(blob->content.size());
  return kOk;
}

Result GetBlob(Handle cursor, const uint8_t* record, uint16_t field_number, uint32_t offset,
               uint32_t count, uint8_t* dest, uint32_t& read) {
  Cursor* c;
  OpenBlobState* blob;
  if (Result r = FindBlob(cursor, record, field_number, c, blob)) return r;
  const size_t size = blob->content.size();
  const size_t start = std::min<size_t>(offset, size);
  read = static_cast<uint32_t>(std::min<size_t>(count, size - start));
  if (read > 0) std::memcpy(dest, blob->content.data() + start, read);
  if (read < count) return Fail(kErrEndOfBlob, "");
  return kOk;
}

Result PutBlob(Handle cursor, uint8_t* record, uint16_t field_number, uint32_t offset,
               uint32_t count, const uint8_t* src) {
  OpenBlobState* blob;
  if (Result r = FindWritableBlob(cursor, record, field_number, blob)) return r;
  if (offset > blob->content.size())
    return Fail(kErrInvalidParameter, "Memo offset " + std::to_string(offset) + " is past its end.");
  const size_t end = static_cast<size_t>(offset) + count;
  if (end > blob->content.size()) blob->content.resize(end);
  if (count > 0) std::memcpy(blob->content.data() + offset, src, count);
  blob->modified = true;
  return kOk;
}

Result TruncateBlob(Handle cursor, uint8_t* record, uint16_t field_number, uint32_t length) {
  OpenBlobState* blob;
  if (Result r = FindWritableBlob(cursor, record, field_number, blob)) return r;
  if (length < blob->content.size()) blob->content.resize(length);
  blob->modified = true;
  return kOk;
}

Result FreeBlob(Handle cursor, uint8_t* record, uint16_t field_number) {
  Cursor* c;
  OpenBlobState* blob;
  if (Result r = FindBlob(cursor, record, field_number, c, blob)) return r;
  const FieldDesc* field;
  int slot;
  LocateBlob(*c, field_number, field, slot);
  c->blobs().erase(ReadSlot(record, slot));
  WriteSlot(record, slot, 0);
  return kOk;
}

Result ReadMemos(Handle cursor, uint16_t field_number, const uint8_t* fields, size_t count,
                 std::vector<std::string>& contents, std::vector<uint8_t>& read) {
  Cursor* c;
  if (Result r = GetCursor(cursor, c)) return r;
  const FieldDesc* field;
  int slot;
  if (Result r = LocateBlob(*c, field_number, field, slot)) return r;
  std::vector<uint32_t> blocks(count);
  std::vector<uint8_t> numbered(count);
  for (size_t i = 0; i < count; ++i)
    numbered[i] = ParseMemoBlock(fields + i * field->length, field->length, blocks[i]) ? 1 : 0;
  DbtMemo* memo = c->table().Memo();
  if (memo != nullptr) {
    memo->ReadMany(blocks, contents, read);
  } else {  // no memo file: only "no memo" reads
    contents.assign(count, std::string());
    read.resize(count);
    for (size_t i = 0; i < count; ++i) read[i] = blocks[i] == 0 ? 1 : 0;
  }
  for (size_t i = 0; i < count; ++i)
    if (!numbered[i]) read[i] = 0;  // OpenBlob says the field holds no block number
  return kOk;
}

}  // namespace snyltdyr::engine
