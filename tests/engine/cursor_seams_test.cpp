// The seams through which the production index and the filters take part in a table:
// companions consulted and told on every write, orders a cursor walks, predicates that
// hide records from moves and counts.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "storage/engine/table/cursor.h"
#include "storage/engine/engine.h"
#include "support/table_builder.h"
#include "support/temp_dir.h"

namespace snyltdyr::engine {
namespace {

struct Seen {
  std::vector<std::string> changes;  // "kind recno before|after" of the first field
};

Seen& Log() {
  static Seen seen;
  return seen;
}

std::string Name(const RecordView* v) {
  if (v == nullptr) return "-";
  std::string raw(v->Raw(0));
  return std::string(v->Deleted() ? "*" : "") + raw.substr(0, raw.find(' '));
}

// Records in descending record number: an order that is not the file's.
class Descending : public RecordOrder {
 public:
  explicit Descending(Table& t) : t_(t) {}
  Result First(OrderPos& p) override {
    t_.RefreshHeader();
    if (t_.RecordCount() == 0) return kErrEndOfTable;
    p = {{}, t_.RecordCount()};
    return kOk;
  }
  Result Last(OrderPos& p) override {
    if (t_.RecordCount() == 0) return kErrBeginningOfTable;
    p = {{}, 1};
    return kOk;
  }
  Result Next(const OrderPos& from, OrderPos& p) override {
    if (from.recno <= 1) return kErrEndOfTable;
    p = {{}, from.recno - 1};
    return kOk;
  }
  Result Prior(const OrderPos& from, OrderPos& p) override {
    if (from.recno >= t_.RecordCount()) return kErrBeginningOfTable;
    p = {{}, from.recno + 1};
    return kOk;
  }
  Result PositionOf(const RecordView&, uint32_t recno, OrderPos& p) override {
    p = {{}, recno};
    return kOk;
  }
  int Compare(const OrderPos& a, const OrderPos& b) const override {
    return a.recno > b.recno ? -1 : a.recno < b.recno ? 1 : 0;
  }

 private:
  Table& t_;
};

class Recorder : public TableCompanion {
 public:
  explicit Recorder(Table& t) : t_(t) {}
  Result BeginWrite(const RecordChange& c) override {
    return c.after != nullptr && Name(c.after) == "NEI" ? kErrIndexOutOfDate : kOk;
  }
  void AbandonWrite(const RecordChange& c) override { Log().changes.push_back("abandon " + std::to_string(c.recno)); }
  Result FinishWrite(const RecordChange& c) override {
    const char* kind = c.kind == WriteKind::kInsert ? "insert" : c.kind == WriteKind::kModify ? "modify" : "delete";
    Log().changes.push_back(std::string(kind) + " " + std::to_string(c.recno) + " " + Name(c.before) + "|" + Name(c.after));
    return kOk;
  }
  Result MakeOrder(const std::string&, const std::string& tag, std::unique_ptr<RecordOrder>& order) override {
    if (tag != "BAKLENGS") return kErrIndexNotFound;
    order = std::make_unique<Descending>(t_);
    return kOk;
  }

 private:
  Table& t_;
};

// Attaches a Recorder to tables named HOOKED only, so other tests are not affected.
const bool kRegistered = [] {
  RegisterCompanionOpener([](Table& table) {
    if (table.DbfPath().find("HOOKED.DBF") != std::string::npos)
      table.SetCompanion(std::make_unique<Recorder>(table));
    return kOk;
  });
  return true;
}();

class SeamsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Log().changes.clear();
    db_ = engine_.Database(dir_.path());
    testsupport::CreateTable(db_, "HOOKED.DBF", {{"NAVN", 'C', 6}}, 0x57);
  }
  std::string Walk(Handle cur) {
    std::string seen;
    std::vector<uint8_t> buf = testsupport::NewBuffer(cur);
    SetToBeginning(cur);
    while (GetNextRecord(cur, LockMode::kNoLock, buf.data(), nullptr) == kOk) {
      FieldValue v;
      GetField(cur, 1, buf.data(), v);
      seen += v.text + " ";
    }
    return seen;
  }
  testsupport::EngineSession engine_;
  testsupport::TempDir dir_;
  Handle db_ = kNoHandle;
};

TEST_F(SeamsTest, TheCompanionIsAskedBeforeAndToldAfterEveryWrite) {
  std::string bytes;
  {
    std::ifstream in(dir_.File("HOOKED.DBF"), std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  Handle cur = testsupport::OpenCursor(db_, "HOOKED.DBF");
  testsupport::AppendRow(cur, {testsupport::Text("JA")});
  std::vector<uint8_t> buf = testsupport::NewBuffer(cur);
  ASSERT_EQ(PutField(cur, 1, buf.data(), testsupport::Text("NEI")), kOk);
  EXPECT_EQ(AppendRecord(cur, buf.data()), kErrIndexOutOfDate);  // refused: nothing written
  ASSERT_EQ(SetToBeginning(cur), kOk);
  ASSERT_EQ(GetNextRecord(cur, LockMode::kWriteLock, buf.data(), nullptr), kOk);
  ASSERT_EQ(PutField(cur, 1, buf.data(), testsupport::Text("NEI")), kOk);
  EXPECT_EQ(ModifyRecord(cur, buf.data(), false), kErrIndexOutOfDate);
  ASSERT_EQ(PutField(cur, 1, buf.data(), testsupport::Text("JO")), kOk);
  ASSERT_EQ(ModifyRecord(cur, buf.data(), true), kOk);
  ASSERT_EQ(DeleteRecord(cur), kOk);
  EXPECT_EQ(Log().changes, (std::vector<std::string>{"insert 1 -|JA", "modify 1 JA|JO", "delete 1 JO|*JO"}));
  uint32_t count = 9;
  ASSERT_EQ(GetExactRecordCount(cur, count), kOk);
  EXPECT_EQ(count, 0u);
  CloseCursor(cur);
  std::ifstream in(dir_.File("HOOKED.DBF"), std::ios::binary);
  std::string after((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(after.size(), bytes.size() + 7);  // one record, the refused one never written
}

TEST_F(SeamsTest, CursorsWalkTheCompanionsOrderAndApplyActivePredicates) {
  Handle cur = testsupport::OpenCursor(db_, "HOOKED.DBF");
  for (const char* n : {"A", "B", "C", "D"}) testsupport::AppendRow(cur, {testsupport::Text(n)});
  OpenTableArgs args;
  args.database = db_;
  args.table_name = "HOOKED.DBF";
  args.index_tag = "BAKLENGS";
  Handle rev = kNoHandle;
  ASSERT_EQ(OpenTable(args, rev), kOk);
  EXPECT_EQ(Walk(rev), "D C B A ");
  args.index_tag = "FINNES";
  Handle none = kNoHandle;
  EXPECT_EQ(OpenTable(args, none), kErrIndexNotFound);

  // A predicate hides records from moves and from the count while it is active.
  Cursor* c = FindCursor(rev);
  ASSERT_NE(c, nullptr);
  c->filters.push_back({NewHandle(), 0, true, [](const RecordView& v) { return v.Raw(0)[0] != 'B'; }});
  EXPECT_EQ(Walk(rev), "D C A ");
  uint32_t count = 0;
  ASSERT_EQ(GetExactRecordCount(rev, count), kOk);
  EXPECT_EQ(count, 3u);
  c->filters.back().active = false;
  EXPECT_EQ(Walk(rev), "D C B A ");

  // Switching order stays on the current record.
  std::vector<uint8_t> buf = testsupport::NewBuffer(rev);
  ASSERT_EQ(SetToBeginning(rev), kOk);
  ASSERT_EQ(GetNextRecord(rev, LockMode::kNoLock, buf.data(), nullptr), kOk);  // D
  ASSERT_EQ(c->SetOrder(MakeRecordNumberOrder(c->table()), true), kOk);
  ASSERT_EQ(GetPriorRecord(rev, LockMode::kNoLock, buf.data(), nullptr), kOk);
  FieldValue v;
  ASSERT_EQ(GetField(rev, 1, buf.data(), v), kOk);
  EXPECT_EQ(v.text, "C");
}

}  // namespace
}  // namespace snyltdyr::engine
