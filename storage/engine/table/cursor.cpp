// A cursor's walk over its order: positions on records and in cracks, skipping records
// that are deleted or fail an active filter.
#include "storage/engine/table/cursor.h"

#include <algorithm>

#include "storage/engine/datafile/dbf_header.h"
#include "storage/engine/error_stack.h"

namespace snyltdyr::engine {
namespace {

// Record numbers 1..count; the count is read again at the end, so records that other
// users appended are found.
class RecordNumberOrder : public RecordOrder {
 public:
  explicit RecordNumberOrder(Table& table) : table_(table) {}

  Result First(OrderPos& pos) override { return Next(OrderPos{{}, 0}, pos); }

  Result Last(OrderPos& pos) override {
    if (Result r = table_.RefreshHeader()) return r;
    if (table_.RecordCount() == 0) return kErrBeginningOfTable;
    pos = OrderPos{{}, table_.RecordCount()};
    return kOk;
  }

  Result Next(const OrderPos& from, OrderPos& pos) override {
    if (from.recno >= table_.RecordCount()) {
      if (Result r = table_.RefreshHeader()) return r;
      if (from.recno >= table_.RecordCount()) return kErrEndOfTable;
    }
    pos = OrderPos{{}, from.recno + 1};
    return kOk;
  }

  Result Prior(const OrderPos& from, OrderPos& pos) override {
    if (from.recno <= 1) return kErrBeginningOfTable;
    uint32_t recno = from.recno - 1;
    if (recno > table_.RecordCount()) {
      if (Result r = table_.RefreshHeader()) return r;
      recno = std::min(recno, table_.RecordCount());
      if (recno == 0) return kErrBeginningOfTable;
    }
    pos = OrderPos{{}, recno};
    return kOk;
  }

  Result PositionOf(const RecordView&, uint32_t recno, OrderPos& pos) override {
    pos = OrderPos{{}, recno};
    return kOk;
  }

  int Compare(const OrderPos& a, const OrderPos& b) const override {
    return a.recno < b.recno ? -1 : a.recno > b.recno ? 1 : 0;
  }

  bool StillAt(const RecordView&, uint32_t recno, const OrderPos& pos) override {
    return pos.recno == recno;
  }

  bool HoldsEveryRecord() const override { return true; }

 private:
  Table& table_;
};

size_t MemoFieldCount(const std::vector<FieldDesc>& fields) {
  size_t n = 0;
  for (const FieldDesc& f : fields) n += IsMemoType(f.type) ? 1 : 0;
  return n;
}

}  // namespace

Result ReadConfirmed(Table& table, RecordOrder& order, const OrderPos& pos,
                     std::vector<uint8_t>& record, bool& gone) {
  gone = false;
  Result read = table.ReadRecordCached(pos.recno, record);
  if (read == kErrRecordNotFound) {
    record.clear();  // an entry beyond the table's records: the order judges it
  } else if (read != kOk) {
    return read;
  }
  const Result confirmed = order.Confirm(pos, record);
  if (confirmed == kErrRecordNotFound) {
    gone = true;
    return kOk;
  }
  return confirmed != kOk ? confirmed : read;
}

std::unique_ptr<RecordOrder> MakeRecordNumberOrder(Table& table) {
  return std::make_unique<RecordNumberOrder>(table);
}

Cursor::Cursor(Handle handle, std::unique_ptr<Table> table, OpenMode open_mode,
               bool translate_fields)
    : handle_(handle),
      table_(std::move(table)),
      open_mode_(open_mode),
      translate_fields_(translate_fields),
      order_(MakeRecordNumberOrder(*table_)) {}

Cursor::~Cursor() {
  // The order and the filters may refer to the table: they go before it.
  filters.clear();
  order_.reset();
  table_.reset();
}

uint16_t Cursor::BufferSize() const {
  return static_cast<uint16_t>(table_->RecordLength() + 4 * MemoFieldCount(table_->Fields()));
}

bool Cursor::Passes(const RecordView& record) const {
  for (const CursorFilter& f : filters)
    if (f.active && f.passes && !f.passes(record)) return false;
  return true;
}

bool Cursor::AnyFilterActive() const {
  for (const CursorFilter& f : filters)
    if (f.active) return true;
  return false;
}

bool Cursor::Visible(const std::vector<uint8_t>& record) const {
  RecordView view = table_->View(record.data());
  return !view.Deleted() && Passes(view);
}

void Cursor::ToBeginning() {
  where_ = Where::kBeginning;
  pos_ = OrderPos{};
}

void Cursor::ToEnd() {
  where_ = Where::kEnd;
  pos_ = OrderPos{};
}

void Cursor::ReadAhead(const OrderPos& at, bool forward) {
  if (table_->Cached(at.recno)) return;
  order_->Upcoming(at, forward, ahead_);
  if (ahead_.empty()) return;  // the record alone: ReadConfirmed reads it
  ahead_.push_back(at.recno);
  std::sort(ahead_.begin(), ahead_.end());
  // Only a head start: a record that cannot be read now is reported when it is read.
  table_->Prefetch(ahead_);
}

Result Cursor::Walk(bool forward) {
  const Result at_end = forward ? kErrEndOfTable : kErrBeginningOfTable;
  if (where_ == (forward ? Where::kEnd : Where::kBeginning)) return at_end;
  OrderPos p;
  Result r;
  if (where_ == Where::kBeginning || where_ == Where::kEnd)
    r = forward ? order_->First(p) : order_->Last(p);
  else
    r = forward ? order_->Next(pos_, p) : order_->Prior(pos_, p);
  std::vector<uint8_t>& record = record_;
  while (r == kOk) {
    bool gone = false;
    ReadAhead(p, forward);
    if (Result read = ReadConfirmed(*table_, *order_, p, record, gone)) return read;
    if (!gone && Visible(record)) {
      where_ = Where::kOnRecord;
      pos_ = p;
      return kOk;
    }
    OrderPos from = p;
    r = forward ? order_->Next(from, p) : order_->Prior(from, p);
  }
  if (r == kErrEndOfTable || r == kErrBeginningOfTable) {
    forward ? ToEnd() : ToBeginning();
    return at_end;
  }
  return r;
}

Result Cursor::MoveNext() { return Walk(true); }
Result Cursor::MovePrior() { return Walk(false); }

Result Cursor::ReadCurrent(std::vector<uint8_t>& record) {
  if (where_ == Where::kBeginning) return kErrBeginningOfTable;
  if (where_ == Where::kEnd) return kErrEndOfTable;
  if (where_ == Where::kCrack) return kErrRecordDeleted;
  if (Result r = table_->ReadRecordCached(pos_.recno, record)) return r;
  if (record[0] == '*') {  // deleted by someone else since we came here
    where_ = Where::kCrack;
    return kErrRecordDeleted;
  }
  return kOk;
}

Result Cursor::GoToRecord(uint32_t recno) {
  std::vector<uint8_t> record;
  if (Result r = table_->ReadRecord(recno, record)) return r;
  OrderPos p;
  if (Result r = order_->PositionOf(table_->View(record.data()), recno, p)) return r;
  pos_ = p;
  where_ = record[0] == '*' ? Where::kCrack : Where::kOnRecord;
  return kOk;
}

Result Cursor::FollowWrittenRecord(uint32_t recno) {
  if (where_ == Where::kOnRecord && pos_.recno == recno) {
    std::vector<uint8_t> record;
    if (Result r = table_->ReadRecordCached(recno, record)) return r;
    if (record[0] != '*' && order_->StillAt(table_->View(record.data()), recno, pos_)) return kOk;
  }
  return GoToRecord(recno);
}

Result Cursor::SetOrder(std::unique_ptr<RecordOrder> order, bool stay_on_record) {
  if (!order) return kErrInvalidParameter;
  if (stay_on_record && where_ == Where::kOnRecord) {
    std::vector<uint8_t> record;
    OrderPos p;
    if (table_->ReadRecord(pos_.recno, record) != kOk || record[0] == '*' ||
        order->PositionOf(table_->View(record.data()), pos_.recno, p) != kOk)
      return kErrCannotStayOnRecord;
    order_ = std::move(order);
    pos_ = p;
    return kOk;
  }
  order_ = std::move(order);
  ToBeginning();
  return kOk;
}

}  // namespace snyltdyr::engine
