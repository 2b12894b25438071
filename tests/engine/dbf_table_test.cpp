// Tables written and read back through the engine: every field type, the header and
// end-of-file bytes of the file, memos, deleted records, navigation and counts.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <tuple>
#include <iterator>
#include <string>
#include <vector>

#include "storage/engine/engine.h"
#include "support/table_builder.h"
#include "support/temp_dir.h"

namespace snyltdyr::engine {
namespace {

using testsupport::Bool;
using testsupport::Date;
using testsupport::Number;
using testsupport::Text;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

uint32_t U32(const std::string& b, size_t off) {
  return static_cast<uint8_t>(b[off]) | static_cast<uint8_t>(b[off + 1]) << 8 |
         static_cast<uint8_t>(b[off + 2]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(b[off + 3])) << 24;
}

class TableTest : public ::testing::Test {
 protected:
  void SetUp() override { db_ = engine_.Database(dir_.path()); }

  // OBS.DBF: NAVN C12, TALL N8.2, KONS F12.4, DATO D, FUNN L, KOMENT M; Norwegian 865.
  void CreateObs() {
    testsupport::CreateTable(db_, "OBS.DBF",
                             {{"NAVN", 'C', 12}, {"TALL", 'N', 8, 2}, {"KONS", 'F', 12, 4},
                              {"DATO", 'D'}, {"FUNN", 'L'}, {"KOMENT", 'M'}},
                             0x17);
  }

  // Reads the current record's fields 1-5 as text for comparisons.
  std::string Row(Handle cursor, const std::vector<uint8_t>& buffer) {
    std::string row;
    for (uint16_t f = 1; f <= 5; ++f) {
      FieldValue v;
      EXPECT_EQ(GetField(cursor, f, buffer.data(), v), kOk);
      if (v.blank) row += "-";
      else if (f == 1) row += v.text;
      else if (f == 4) row += "d" + std::to_string(v.date);
      else if (f == 5) row += v.boolean ? "T" : "F";
      else row += std::to_string(v.number);
      row += "|";
    }
    return row;
  }

  testsupport::EngineSession engine_;
  testsupport::TempDir dir_;
  Handle db_ = kNoHandle;
};

TEST_F(TableTest, ValuesOfEveryTypeSurviveWritingAndReopening) {
  CreateObs();
  Handle cur = testsupport::OpenCursor(db_, "OBS.DBF");
  testsupport::AppendRow(cur, {Text("\xC5RSKLAS \xE6\xF8\xE5"), Number(-3.5), Number(1234.5678),
                               Date(2005, 3, 7), Bool(true), Text("f\x9Brste memo")});
  testsupport::AppendRow(cur, {testsupport::Blank(), testsupport::Blank(), testsupport::Blank(),
                               testsupport::Blank(), Bool(false), testsupport::Blank()});
  ASSERT_EQ(CloseCursor(cur), kOk);

  cur = testsupport::OpenCursor(db_, "obs.dbf");  // names are found without regard to case
  std::vector<uint8_t> buf = testsupport::NewBuffer(cur);
  RecordProperties props;
  ASSERT_EQ(GetNextRecord(cur, LockMode::kNoLock, buf.data(), &props), kOk);
  EXPECT_EQ(props.physical_number, 1u);
  EXPECT_EQ(Row(cur, buf), "\xC5RSKLAS \xE6\xF8\xE5|-3.500000|1234.567800|d" +
                               std::to_string(Date(2005, 3, 7).date) + "|T|");
  EXPECT_EQ(testsupport::ReadMemo(cur, buf, 6), "f\x9Brste memo");
  ASSERT_EQ(GetNextRecord(cur, LockMode::kNoLock, buf.data(), &props), kOk);
  EXPECT_EQ(Row(cur, buf), "-|-|-|-|F|");
  FieldValue memo;
  ASSERT_EQ(GetField(cur, 6, buf.data(), memo), kOk);
  EXPECT_TRUE(memo.blank);
  EXPECT_EQ(GetNextRecord(cur, LockMode::kNoLock, buf.data(), nullptr), kErrEndOfTable);
  CloseCursor(cur);

  // The bytes other programs read: version with memo, count, language driver, the
  // text in code page 865, numbers right-aligned with their decimals, and 0x1A at the end.
  const std::string f = ReadFile(dir_.File("OBS.DBF"));
  EXPECT_EQ(static_cast<uint8_t>(f[0]), 0x8B);
  EXPECT_EQ(U32(f, 4), 2u);
  EXPECT_EQ(static_cast<uint8_t>(f[29]), 0x17);
  const size_t hl = static_cast<uint8_t>(f[8]) | static_cast<uint8_t>(f[9]) << 8;
  const size_t rl = static_cast<uint8_t>(f[10]) | static_cast<uint8_t>(f[11]) << 8;
  EXPECT_EQ(hl, 32u + 6 * 32 + 1);
  EXPECT_EQ(rl, 1u + 12 + 8 + 12 + 8 + 1 + 10);
  EXPECT_EQ(f.size(), hl + 2 * rl + 1);
  EXPECT_EQ(f.back(), '\x1A');
  EXPECT_EQ(f.substr(hl, 1 + 12 + 8), std::string(" \x8FRSKLAS \x91\x9B\x86 ") + "   -3.50");
  EXPECT_EQ(f.substr(hl + 21, 12 + 8 + 1), "   1234.567820050307T");
  EXPECT_EQ(f.substr(hl + rl + 1, 12 + 8 + 12 + 8), std::string(40, ' '));
  // The memo: in the memo file, its block number in the record.
  EXPECT_EQ(f.substr(hl + rl - 10, 10), "         1");
  const std::string m = ReadFile(dir_.File("OBS.DBT"));
  EXPECT_EQ(m.substr(512, 8), std::string("\xFF\xFF\x08\x00\x13\x00\x00\x00", 8));
  EXPECT_EQ(m.substr(520, 12), std::string("f\x9Brste memo\x1F", 12));
  EXPECT_EQ(U32(m, 0), 2u);
}

TEST_F(TableTest, NumbersThatDoNotFitAreRefusedAndDatesCountFromYearOne) {
  CreateObs();
  Handle cur = testsupport::OpenCursor(db_, "OBS.DBF");
  std::vector<uint8_t> buf = testsupport::NewBuffer(cur);
  EXPECT_EQ(PutField(cur, 2, buf.data(), Number(123456.0)), kErrInvalidFieldValue);
  EXPECT_EQ(PutField(cur, 2, buf.data(), Number(12345.678)), kOk);  // rounds to 12345.68
  FieldValue v;
  ASSERT_EQ(GetField(cur, 2, buf.data(), v), kOk);
  EXPECT_DOUBLE_EQ(v.number, 12345.68);
  EXPECT_EQ(PutField(cur, 2, buf.data(), Number(2.125)), kOk);  // halves away from zero
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf.data()) + 13, 8), "    2.13");
  EXPECT_EQ(PutField(cur, 2, buf.data(), Number(-0.001)), kOk);  // no "-0.00"
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf.data()) + 13, 8), "    0.00");

  EXPECT_EQ(Date(1, 1, 1).date, 1);
  EXPECT_EQ(Date(1899, 12, 30).date, 693594);
  for (auto [y, m, d] : {std::tuple{1, 1, 1}, {1899, 12, 30}, {2000, 2, 29}, {2024, 12, 31}, {9999, 12, 31}}) {
    ASSERT_EQ(PutField(cur, 4, buf.data(), Date(y, m, d)), kOk);
    char expect[9];
    std::snprintf(expect, sizeof expect, "%04d%02d%02d", y, m, d);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf.data()) + 33, 8), expect);
    ASSERT_EQ(GetField(cur, 4, buf.data(), v), kOk);
    EXPECT_EQ(v.date, Date(y, m, d).date);
  }
  // Blank-like stored values read as no value.
  for (const char* stored : {"        ", "00000000", "20230230"}) {
    std::memcpy(buf.data() + 33, stored, 8);
    ASSERT_EQ(GetField(cur, 4, buf.data(), v), kOk);
    EXPECT_TRUE(v.blank) << stored;
  }
  std::memcpy(buf.data() + 13, "       .", 8);
  ASSERT_EQ(GetField(cur, 2, buf.data(), v), kOk);
  EXPECT_TRUE(v.blank);
}

TEST_F(TableTest, DeletedRecordsAreHiddenAndTheCursorStaysInTheCrack) {
  CreateObs();
  Handle cur = testsupport::OpenCursor(db_, "OBS.DBF");
  for (const char* name : {"A", "B", "C", "D"}) testsupport::AppendRow(cur, {Text(name)});
  std::vector<uint8_t> buf = testsupport::NewBuffer(cur);
  ASSERT_EQ(SetToBeginning(cur), kOk);
  EXPECT_EQ(GetPriorRecord(cur, LockMode::kNoLock, buf.data(), nullptr), kErrBeginningOfTable);
  ASSERT_EQ(GetNextRecord(cur, LockMode::kNoLock, buf.data(), nullptr), kOk);
  ASSERT_EQ(GetNextRecord(cur, LockMode::kNoLock, buf.data(), nullptr), kOk);  // B
  std::vector<uint8_t> mark_b(4);
  ASSERT_EQ(GetBookmark(cur, mark_b.data()), kOk);
  ASSERT_EQ(DeleteRecord(cur), kOk);
  EXPECT_EQ(GetRecord(cur, LockMode::kNoLock, buf.data(), nullptr), kErrRecordDeleted);
  EXPECT_EQ(DeleteRecord(cur), kErrRecordDeleted);
  ASSERT_EQ(GetNextRecord(cur, LockMode::kNoLock, buf.data(), nullptr), kOk);
  EXPECT_EQ(Row(cur, buf).substr(0, 2), "C|");
  ASSERT_EQ(SetToBookmark(cur, mark_b.data()), kOk);  // back into the crack
  ASSERT_EQ(GetPriorRecord(cur, LockMode::kNoLock, buf.data(), nullptr), kOk);
  EXPECT_EQ(Row(cur, buf).substr(0, 2), "A|");

  uint32_t count = 0;
  ASSERT_EQ(GetExactRecordCount(cur, count), kOk);
  EXPECT_EQ(count, 3u);
  // A second cursor does not see B either.
  Handle other = testsupport::OpenCursor(db_, "OBS.DBF");
  std::string seen;
  while (GetNextRecord(other, LockMode::kNoLock, buf.data(), nullptr) == kOk) seen += Row(other, buf).substr(0, 1);
  EXPECT_EQ(seen, "ACD");
  ASSERT_EQ(SetToEnd(other), kOk);
  ASSERT_EQ(GetPriorRecord(other, LockMode::kNoLock, buf.data(), nullptr), kOk);
  EXPECT_EQ(Row(other, buf).substr(0, 2), "D|");
  std::vector<uint8_t> mark_d(4), mark_a(4);
  ASSERT_EQ(GetBookmark(other, mark_d.data()), kOk);
  EXPECT_EQ(GetNextRecord(other, LockMode::kNoLock, buf.data(), nullptr), kErrEndOfTable);
  EXPECT_EQ(GetBookmark(other, mark_a.data()), kErrNoCurrentRecord);

  // Bookmarks: in record order; different records never compare equal.
  ASSERT_EQ(SetToBeginning(other), kOk);
  ASSERT_EQ(GetNextRecord(other, LockMode::kNoLock, buf.data(), nullptr), kOk);
  ASSERT_EQ(GetBookmark(other, mark_a.data()), kOk);
  int cmp = 9;
  ASSERT_EQ(CompareBookmarks(other, mark_a.data(), mark_d.data(), cmp), kOk);
  EXPECT_EQ(cmp, -1);
  ASSERT_EQ(CompareBookmarks(other, mark_d.data(), mark_a.data(), cmp), kOk);
  EXPECT_EQ(cmp, 1);
  ASSERT_EQ(CompareBookmarks(other, mark_d.data(), mark_d.data(), cmp), kOk);
  EXPECT_EQ(cmp, 0);
  EXPECT_EQ(static_cast<uint8_t>(ReadFile(dir_.File("OBS.DBF"))[32 + 6 * 32 + 1 + 52]), '*');
}

TEST_F(TableTest, EditedRecordsAreWrittenInPlaceAndInsertsBecomeCurrent) {
  CreateObs();
  Handle cur = testsupport::OpenCursor(db_, "OBS.DBF");
  testsupport::AppendRow(cur, {Text("A"), Number(1)});
  std::vector<uint8_t> buf = testsupport::NewBuffer(cur);
  ASSERT_EQ(PutField(cur, 1, buf.data(), Text("NY")), kOk);
  ASSERT_EQ(InsertRecord(cur, LockMode::kNoLock, buf.data()), kOk);
  RecordProperties props;
  ASSERT_EQ(GetRecord(cur, LockMode::kWriteLock, buf.data(), &props), kOk);
  EXPECT_EQ(props.physical_number, 2u);
  EXPECT_TRUE(props.locked);
  ASSERT_EQ(PutField(cur, 2, buf.data(), Number(42)), kOk);
  ASSERT_EQ(ModifyRecord(cur, buf.data(), true), kOk);
  ASSERT_EQ(GetRecord(cur, LockMode::kNoLock, buf.data(), &props), kOk);
  EXPECT_FALSE(props.locked);
  EXPECT_EQ(Row(cur, buf), "NY|42.000000|-|-|-|");
  uint32_t count = 0;
  ASSERT_EQ(GetRecordCount(cur, count), kOk);
  EXPECT_EQ(count, 2u);
}

TEST_F(TableTest, MemosGrowIntoNewBlocksKeepBlocksThatFitAndEmptyToBlank) {
  CreateObs();
  Handle cur = testsupport::OpenCursor(db_, "OBS.DBF");
  testsupport::AppendRow(cur, {Text("A"), testsupport::Blank(), testsupport::Blank(),
                               testsupport::Blank(), testsupport::Blank(), Text("kort")});
  testsupport::AppendRow(cur, {Text("B"), testsupport::Blank(), testsupport::Blank(),
                               testsupport::Blank(), testsupport::Blank(), Text("annen")});
  std::vector<uint8_t> buf = testsupport::NewBuffer(cur);
  auto pointer = [&] { return std::string(reinterpret_cast<char*>(buf.data()) + 42, 10); };
  auto edit_memo = [&](const std::string& text) {
    ASSERT_EQ(SetToBeginning(cur), kOk);
    ASSERT_EQ(GetNextRecord(cur, LockMode::kWriteLock, buf.data(), nullptr), kOk);
    testsupport::SetMemo(cur, buf, 6, text);
    ASSERT_EQ(ModifyRecord(cur, buf.data(), true), kOk);
    ASSERT_EQ(GetRecord(cur, LockMode::kNoLock, buf.data(), nullptr), kOk);
  };
  edit_memo("litt lengre, men innen blokken");
  EXPECT_EQ(pointer(), "         1");  // fits its block: kept
  const std::string long_text(1500, 'x');
  edit_memo(long_text);
  EXPECT_EQ(pointer(), "         3");  // grew: new blocks at the end
  EXPECT_EQ(testsupport::ReadMemo(cur, buf, 6), long_text);
  EXPECT_EQ(U32(ReadFile(dir_.File("OBS.DBT")), 0), 3u + 3u);
  edit_memo("");
  EXPECT_EQ(pointer(), std::string(10, ' '));
  FieldValue v;
  ASSERT_EQ(GetField(cur, 6, buf.data(), v), kOk);
  EXPECT_TRUE(v.blank);
  // The other record's memo is untouched.
  ASSERT_EQ(GetNextRecord(cur, LockMode::kNoLock, buf.data(), nullptr), kOk);
  EXPECT_EQ(testsupport::ReadMemo(cur, buf, 6), "annen");

  // Blob reads stop at the end with the end-of-blob code.
  ASSERT_EQ(OpenBlob(cur, buf.data(), 6, BlobMode::kReadOnly), kOk);
  uint8_t part[8];
  uint32_t read = 0;
  EXPECT_EQ(GetBlob(cur, buf.data(), 6, 3, 8, part, read), kErrEndOfBlob);
  EXPECT_EQ(read, 2u);
  EXPECT_EQ(PutBlob(cur, buf.data(), 6, 0, 1, part), kErrBlobReadOnly);
  EXPECT_EQ(OpenBlob(cur, buf.data(), 1, BlobMode::kReadOnly), kErrFieldTypeMismatch);
}

TEST_F(TableTest, TablesFlaggingAProductionIndexOpenOnlyForReading) {
  testsupport::CreateTable(db_, "IDX.DBF", {{"NAVN", 'C', 5}}, 0x57);
  std::string bytes = ReadFile(dir_.File("IDX.DBF"));
  bytes[28] = 1;
  WriteFile(dir_.File("IDX.DBF"), bytes);
  OpenTableArgs args;
  args.database = db_;
  args.table_name = "IDX.DBF";
  Handle cur = kNoHandle;
  EXPECT_EQ(OpenTable(args, cur), kErrTableReadOnly);
  args.open_mode = OpenMode::kReadOnly;
  ASSERT_EQ(OpenTable(args, cur), kOk);
  std::vector<uint8_t> buf = testsupport::NewBuffer(cur);
  EXPECT_EQ(AppendRecord(cur, buf.data()), kErrTableReadOnly);
  EXPECT_EQ(ReadFile(dir_.File("IDX.DBF")), bytes);
}

TEST_F(TableTest, FailuresCarryTheirCodeAndTextOnTheErrorStack) {
  OpenTableArgs args;
  args.database = db_;
  args.table_name = "SNYLTDYR.DBF";
  Handle cur = kNoHandle;
  ASSERT_EQ(OpenTable(args, cur), kErrTableNotFound);
  EXPECT_EQ(Category(kErrTableNotFound), kCategoryNotFound);
  ErrorEntry e;
  ASSERT_EQ(GetErrorEntry(1, e), kOk);
  EXPECT_EQ(e.code, kErrTableNotFound);
  EXPECT_EQ(e.text, "SNYLTDYR.DBF");  // the code's own text stands once, in the message
  EXPECT_EQ(GetErrorEntry(2, e), kErrNoMoreEntries);
  std::string text;
  GetMessageText(kErrRecordLocked, text);
  EXPECT_EQ(text, "Record locked by another user.");

  EXPECT_EQ(CreateTable(db_, "BAD.DBF", {{"1X", 'C', 5}}, 0x57), kErrInvalidTableDefinition);
  EXPECT_EQ(CreateTable(db_, "BAD.DBF", {{"A", 'C', 5}, {"a", 'N', 3}}, 0x57), kErrInvalidTableDefinition);
  EXPECT_EQ(CreateTable(db_, "BAD.DBF", {{"A", 'N', 4, 3}}, 0x57), kErrInvalidTableDefinition);
  testsupport::CreateTable(db_, "ONE.DBF", {{"A", 'C', 5}}, 0x57);
  EXPECT_EQ(CreateTable(db_, "one.dbf", {{"A", 'C', 5}}, 0x57), kErrFileExists);
}

TEST_F(TableTest, FieldNamesTakeTheNativeCodePagesLettersButNoPunctuation) {
  // The register's table has the column \xC5RSKLAS, stored as 0x8F in code page 865.
  testsupport::CreateTable(db_, "NORD.DBF", {{"\x8FRSKLAS", 'C', 4}, {"TALL", 'N', 4}}, 0x17);
  Handle cursor = testsupport::OpenCursor(db_, "NORD.DBF");
  std::vector<FieldDescriptor> fields;
  ASSERT_EQ(GetFieldDescriptors(cursor, fields), kOk);
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(fields[0].name, "\x8FRSKLAS");
  EXPECT_EQ(CloseCursor(cursor), kOk);
  EXPECT_EQ(CreateTable(db_, "BAD.DBF", {{"A-B", 'C', 4}}, 0x17), kErrInvalidTableDefinition);
  EXPECT_EQ(CreateTable(db_, "BAD.DBF", {{"1AB", 'C', 4}}, 0x17), kErrInvalidTableDefinition);
}

}  // namespace
}  // namespace snyltdyr::engine
