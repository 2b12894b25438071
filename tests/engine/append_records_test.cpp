// A run of records appended in one go (AppendRecords): every tag follows it, memos come
// with it, and what a writer that stopped half way leaves is completed when the table
// next opens for writing.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

#include "engine/index_test_support.h"
#include "support/table_builder.h"

namespace snyltdyr::engine {
namespace {

namespace ts = ::snyltdyr::testsupport;
namespace fs = std::filesystem;

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}
void Spit(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }
uint32_t U32(const std::string& b, size_t at) {
  return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8 |
         static_cast<uint8_t>(b[at + 2]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}
void PutU32At(std::string& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}

class AppendRecordsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = engine_.Database(dir_.path().string());
    ts::CreateTable(db_, "OBS.DBF", {{"NAME", 'C', 10}, {"N", 'N', 6, 1}, {"D", 'D', 8}, {"M", 'M', 10}}, 0x57);
    const Handle c = ts::OpenCursor(db_, "OBS.DBF");
    for (int i = 0; i < 150; ++i)
      ts::AppendRow(c, {ts::Text(Name(i)), ts::Number(i % 17), ts::Date(2000 + i % 9, 1 + i % 12, 1),
                        ts::Blank()});
    CloseCursor(c);
    AddTag("NAME", {1}, false);
    AddTag("N", {2}, false);
    AddTag("D", {3}, false);
    AddTag("UNAME", {1}, true);
  }

  static std::string Name(int i) { return "N" + std::to_string(i % 23); }

  void AddTag(const std::string& name, std::vector<uint16_t> fields, bool unique) {
    IndexDescriptor tag;
    tag.tag_name = name;
    tag.field_numbers = std::move(fields);
    tag.descending_fields = {false};
    tag.unique = unique;
    ASSERT_EQ(AddIndexToTable(db_, "OBS.DBF", "DBASE", tag), kOk) << ts::EngineErrorText(1);
  }

  // `count` new records of random names, numbers and dates (many equal keys), every
  // fifth with a memo; appended in one go.
  void AppendRun(Handle cursor, int count, uint32_t seed, uint32_t& first) {
    std::mt19937 random(seed);
    std::vector<uint8_t> one = ts::NewBuffer(cursor);
    const size_t size = one.size();
    std::vector<uint8_t> run(size * count);
    std::vector<NewMemo> memos;
    for (int i = 0; i < count; ++i) {
      uint8_t* rec = run.data() + size * i;
      ASSERT_EQ(InitRecord(cursor, rec), kOk);
      ASSERT_EQ(PutField(cursor, 1, rec, ts::Text(Name(static_cast<int>(random() % 40)))), kOk);
      ASSERT_EQ(PutField(cursor, 2, rec, ts::Number(random() % 30)), kOk);
      ASSERT_EQ(PutField(cursor, 3, rec, ts::Date(1995 + random() % 20, 1 + random() % 12, 1 + random() % 28)), kOk);
      if (i % 5 == 0) memos.push_back({static_cast<uint32_t>(i), 4, "memo " + std::to_string(i)});
    }
    ASSERT_EQ(AppendRecords(cursor, run.data(), static_cast<uint32_t>(count), memos, first), kOk)
        << ts::EngineErrorText(1);
  }

  std::string Problems() {
    return testing::IndexProblems(dir_.path() / "OBS.DBF", dir_.path() / "OBS.MDX");
  }

  ts::EngineSession engine_;
  testing::TempDir dir_;
  Handle db_ = kNoHandle;
};

TEST_F(AppendRecordsTest, EveryTagFollowsARunWithItsMemosAndTheCursorStaysPut) {
  const Handle c = ts::OpenCursor(db_, "OBS.DBF");
  std::vector<uint8_t> buffer = ts::NewBuffer(c);
  ASSERT_EQ(SetToBeginning(c), kOk);
  ASSERT_EQ(GetNextRecord(c, LockMode::kNoLock, buffer.data(), nullptr), kOk);
  uint32_t first = 0;
  AppendRun(c, 700, 5, first);
  EXPECT_EQ(first, 151u);
  RecordProperties props;
  ASSERT_EQ(GetRecord(c, LockMode::kNoLock, buffer.data(), &props), kOk);
  EXPECT_EQ(props.physical_number, 1u);
  AppendRun(c, 1, 6, first);  // a run of one
  EXPECT_EQ(first, 851u);
  CloseCursor(c);
  EXPECT_EQ(Problems(), "");

  // The memos, and every record in the order of a tag.
  const Handle again = ts::OpenCursor(db_, "OBS.DBF");
  uint32_t count = 0;
  ASSERT_EQ(GetExactRecordCount(again, count), kOk);
  EXPECT_EQ(count, 851u);
  for (uint32_t i : {0u, 5u, 695u}) {
    uint32_t recno = 151 + i;
    ASSERT_EQ(SetToBookmark(again, reinterpret_cast<const uint8_t*>(&recno)), kOk);
    ASSERT_EQ(GetRecord(again, LockMode::kNoLock, buffer.data(), nullptr), kOk);
    ASSERT_EQ(OpenBlob(again, buffer.data(), 4, BlobMode::kReadOnly), kOk);
    std::string memo(32, '\0');
    uint32_t read = 0;
    GetBlob(again, buffer.data(), 4, 0, 32, reinterpret_cast<uint8_t*>(memo.data()), read);
    EXPECT_EQ(memo.substr(0, read), "memo " + std::to_string(i)) << recno;
    FreeBlob(again, buffer.data(), 4);
  }
  ASSERT_EQ(SwitchToIndex(again, "", "D", 0, false), kOk);
  uint32_t walked = 0;
  while (GetNextRecord(again, LockMode::kNoLock, buffer.data(), nullptr) == kOk) ++walked;
  EXPECT_EQ(walked, 851u);
  CloseCursor(again);
}

TEST_F(AppendRecordsTest, ARunWithABadMemoOrOnAReadOnlyCursorWritesNothing) {
  const std::string dbf = Slurp(dir_.path() / "OBS.DBF");
  const Handle c = ts::OpenCursor(db_, "OBS.DBF");
  std::vector<uint8_t> run = ts::NewBuffer(c);
  uint32_t first = 0;
  EXPECT_EQ(AppendRecords(c, run.data(), 1, {{1, 4, "x"}}, first), kErrInvalidParameter);  // no record 1
  EXPECT_EQ(AppendRecords(c, run.data(), 1, {{0, 1, "x"}}, first), kErrInvalidParameter);  // not a memo
  CloseCursor(c);
  const Handle reader = ts::OpenCursor(db_, "OBS.DBF", OpenMode::kReadOnly);
  EXPECT_EQ(AppendRecords(reader, run.data(), 1, {}, first), kErrTableReadOnly);
  CloseCursor(reader);
  EXPECT_EQ(Slurp(dir_.path() / "OBS.DBF"), dbf);
}

// Records appended behind the index's back, as a writer that stopped after the count
// leaves them: the pending mark names them, and the first still has the end marker for
// its deletion flag.
TEST_F(AppendRecordsTest, OpeningForWritingCompletesARunAWriterLeftPending) {
  const fs::path dbf_path = dir_.path() / "OBS.DBF", mdx_path = dir_.path() / "OBS.MDX";
  std::string dbf = Slurp(dbf_path);
  const uint32_t n = U32(dbf, 4);
  const size_t header = static_cast<uint8_t>(dbf[8]) | static_cast<uint8_t>(dbf[9]) << 8;
  const size_t length = static_cast<uint8_t>(dbf[10]) | static_cast<uint8_t>(dbf[11]) << 8;
  std::string run;
  for (uint32_t r = 0; r < 30; ++r) {
    std::string rec = dbf.substr(header + (r % n) * length, length);
    rec.replace(1, 3, "Z" + std::to_string(10 + r));  // a name of its own: a new key
    run += rec;
  }
  run[0] = '\x1A';
  dbf.resize(header + n * length);
  dbf += run + '\x1A';
  PutU32At(dbf, 4, n + 30);
  Spit(dbf_path, dbf);
  std::string mdx = Slurp(mdx_path);
  const std::string unmarked = mdx;
  mdx.replace(60, 4, "APND");
  PutU32At(mdx, 64, n + 1);
  PutU32At(mdx, 68, n + 30);
  PutU32At(mdx, 72, (n + 1) ^ (n + 30) ^ 0xA5A5A5A5u);
  Spit(mdx_path, mdx);
  EXPECT_NE(Problems(), "");

  // Read-only, nothing is repaired and the tags left in doubt are not used.
  const Handle reader = ts::OpenCursor(db_, "OBS.DBF", OpenMode::kReadOnly);
  EXPECT_EQ(SwitchToIndex(reader, "", "NAME", 0, false), kErrIndexOutOfDate);
  CloseCursor(reader);
  EXPECT_EQ(Slurp(mdx_path), mdx);

  const Handle c = ts::OpenCursor(db_, "OBS.DBF");
  CursorProperties props;
  ASSERT_EQ(GetCursorProperties(c, props), kOk);
  EXPECT_EQ(props.write_refusal, "");
  CloseCursor(c);
  EXPECT_EQ(Problems(), "");
  EXPECT_EQ(Slurp(dbf_path)[header + n * length], ' ');  // the first record's flag
  EXPECT_EQ(Slurp(mdx_path).substr(60, 16), unmarked.substr(60, 16));  // the mark is gone
}

TEST_F(AppendRecordsTest, AMarkOfARunTheCountNeverTookInIsDropped) {
  const fs::path mdx_path = dir_.path() / "OBS.MDX";
  const std::string dbf = Slurp(dir_.path() / "OBS.DBF");
  std::string mdx = Slurp(mdx_path);
  const std::string unmarked = mdx;
  mdx.replace(60, 4, "APND");
  PutU32At(mdx, 64, 151);
  PutU32At(mdx, 68, 200);
  PutU32At(mdx, 72, 151u ^ 200u ^ 0xA5A5A5A5u);
  Spit(mdx_path, mdx);
  CloseCursor(ts::OpenCursor(db_, "OBS.DBF"));
  EXPECT_EQ(Slurp(mdx_path).substr(60, 16), unmarked.substr(60, 16));
  EXPECT_EQ(Slurp(dir_.path() / "OBS.DBF"), dbf);
  EXPECT_EQ(Problems(), "");
}

}  // namespace
}  // namespace snyltdyr::engine
