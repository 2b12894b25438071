// Damaged and foreign files: each gives its code and a text naming the file and the
// problem, never a crash or a read outside the file, and nothing is written into them.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "storage/engine/engine.h"
#include "support/table_builder.h"
#include "support/temp_dir.h"

namespace snyltdyr::engine {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class DamagedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = engine_.Database(dir_.path());
    testsupport::CreateTable(db_, "GOOD.DBF", {{"NAVN", 'C', 10}, {"KOMENT", 'M'}}, 0x17);
    Handle cur = testsupport::OpenCursor(db_, "GOOD.DBF");
    for (const char* memo : {"en", "to", "tre"})
      testsupport::AppendRow(cur, {testsupport::Text(memo), testsupport::Text(memo)});
    CloseCursor(cur);
    good_ = ReadFile(dir_.File("GOOD.DBF"));
  }

  // Writes `bytes` as BAD.DBF (with a copy of the memo file) and opens it read-write.
  Result OpenDamaged(const std::string& bytes, std::string* text = nullptr) {
    WriteFile(dir_.File("BAD.DBF"), bytes);
    WriteFile(dir_.File("BAD.DBT"), ReadFile(dir_.File("GOOD.DBT")));
    OpenTableArgs args;
    args.database = db_;
    args.table_name = "BAD.DBF";
    Handle cur = kNoHandle;
    Result r = OpenTable(args, cur);
    ErrorEntry e;
    if (text != nullptr && GetErrorEntry(1, e) == kOk) *text = e.text;
    if (r == kOk) CloseCursor(cur);
    return r;
  }

  testsupport::EngineSession engine_;
  testsupport::TempDir dir_;
  Handle db_ = kNoHandle;
  std::string good_;
};

TEST_F(DamagedTest, BrokenHeadersAreRefusedWithTheirCodeAndText) {
  std::string text;
  std::string truncated = good_.substr(0, good_.size() - 30);
  EXPECT_EQ(OpenDamaged(truncated, &text), kErrRecordCountBeyondFile);
  EXPECT_NE(text.find("BAD.DBF"), std::string::npos) << text;
  EXPECT_NE(text.find("counts 3 records"), std::string::npos) << text;

  std::string long_header = good_;
  long_header[8] = '\xFF';
  long_header[9] = '\x7F';
  EXPECT_EQ(OpenDamaged(long_header, &text), kErrDamagedHeader);
  EXPECT_NE(text.find("Header length"), std::string::npos) << text;

  std::string short_header = good_;
  short_header[8] = 40;
  short_header[9] = 0;
  EXPECT_EQ(OpenDamaged(short_header), kErrDamagedHeader);

  std::string record_length = good_;
  record_length[10] = 20;
  EXPECT_EQ(OpenDamaged(record_length, &text), kErrRecordLengthMismatch);
  EXPECT_NE(text.find("Record length 20"), std::string::npos) << text;

  EXPECT_EQ(OpenDamaged(""), kErrDamagedHeader);
  EXPECT_EQ(OpenDamaged(good_.substr(0, 20)), kErrDamagedHeader);
  std::string level7 = good_;
  level7[0] = '\x8C';
  EXPECT_EQ(OpenDamaged(level7, &text), kErrUnsupportedFormat);
  EXPECT_NE(text.find("level 7"), std::string::npos) << text;
  std::string encrypted = good_;
  encrypted[15] = 1;
  EXPECT_EQ(OpenDamaged(encrypted), kErrUnsupportedFormat);
  std::string no_fields = good_;
  no_fields[32] = '\x0D';
  EXPECT_EQ(OpenDamaged(no_fields), kErrDamagedHeader);
  // None of these was written to.
  EXPECT_EQ(ReadFile(dir_.File("BAD.DBF")), no_fields);
}

TEST_F(DamagedTest, TolerableOdditiesStillRead) {
  // A count smaller than the file (an append whose header update was lost), no end
  // marker, a 0x0A terminator, garbage in reserved bytes.
  std::string odd = good_.substr(0, good_.size() - 1);
  odd[4] = 2;
  odd[32 + 2 * 32] = '\x0A';
  odd[30] = '\x71';
  odd[31] = '\x01';
  ASSERT_EQ(OpenDamaged(odd), kOk);
  Handle cur = testsupport::OpenCursor(db_, "BAD.DBF");
  uint32_t count = 0;
  ASSERT_EQ(GetExactRecordCount(cur, count), kOk);
  EXPECT_EQ(count, 2u);
}

TEST_F(DamagedTest, MemoPointersOutsideTheMemoFileFailOnlyThatMemo) {
  std::string bad = good_;
  const size_t hl = 32 + 2 * 32 + 1, rl = 21;
  bad.replace(hl + rl + 11, 10, "      9999");       // record 2: past the end
  bad.replace(hl + 2 * rl + 11, 10, "       abc");    // record 3: not a number
  ASSERT_EQ(OpenDamaged(bad), kOk);
  Handle cur = testsupport::OpenCursor(db_, "BAD.DBF");
  std::vector<uint8_t> buf = testsupport::NewBuffer(cur);
  ASSERT_EQ(GetNextRecord(cur, LockMode::kNoLock, buf.data(), nullptr), kOk);
  EXPECT_EQ(testsupport::ReadMemo(cur, buf, 2), "en");
  ASSERT_EQ(GetNextRecord(cur, LockMode::kNoLock, buf.data(), nullptr), kOk);
  EXPECT_EQ(OpenBlob(cur, buf.data(), 2, BlobMode::kReadOnly), kErrMemoBlockOutOfRange);
  ErrorEntry e;
  ASSERT_EQ(GetErrorEntry(1, e), kOk);
  EXPECT_NE(e.text.find("BAD.DBT"), std::string::npos) << e.text;
  ASSERT_EQ(GetNextRecord(cur, LockMode::kNoLock, buf.data(), nullptr), kOk);
  EXPECT_EQ(OpenBlob(cur, buf.data(), 2, BlobMode::kReadOnly), kErrMemoBlockOutOfRange);

  // A memo whose length runs past the end of the memo file.
  std::string memo = ReadFile(dir_.File("BAD.DBT"));
  memo[512 + 4] = '\x7F';
  memo[512 + 6] = '\x01';
  WriteFile(dir_.File("BAD.DBT"), memo);
  ASSERT_EQ(SetToBeginning(cur), kOk);
  ASSERT_EQ(GetNextRecord(cur, LockMode::kNoLock, buf.data(), nullptr), kOk);
  EXPECT_EQ(OpenBlob(cur, buf.data(), 2, BlobMode::kReadOnly), kErrDamagedMemo);
}

TEST_F(DamagedTest, AMissingOrBrokenMemoFileLeavesTheTableReadable) {
  WriteFile(dir_.File("NOMEMO.DBF"), good_);
  OpenTableArgs args;
  args.database = db_;
  args.table_name = "NOMEMO.DBF";
  Handle cur = kNoHandle;
  EXPECT_EQ(OpenTable(args, cur), kErrTableReadOnly);
  ErrorEntry e;
  ASSERT_EQ(GetErrorEntry(1, e), kOk);
  EXPECT_NE(e.text.find("memo file"), std::string::npos) << e.text;
  args.open_mode = OpenMode::kReadOnly;
  ASSERT_EQ(OpenTable(args, cur), kOk);
  std::vector<uint8_t> buf = testsupport::NewBuffer(cur);
  ASSERT_EQ(GetNextRecord(cur, LockMode::kNoLock, buf.data(), nullptr), kOk);
  EXPECT_EQ(OpenBlob(cur, buf.data(), 2, BlobMode::kReadOnly), kErrMemoFileNotFound);
  CloseCursor(cur);

  WriteFile(dir_.File("NOMEMO.DBT"), std::string(10, '\0'));  // no header
  ASSERT_EQ(OpenTable(args, cur), kOk);
  ASSERT_EQ(GetNextRecord(cur, LockMode::kNoLock, buf.data(), nullptr), kOk);
  FieldValue v;
  ASSERT_EQ(GetField(cur, 1, buf.data(), v), kOk);
  EXPECT_EQ(v.text, "en");
}

}  // namespace
}  // namespace snyltdyr::engine
