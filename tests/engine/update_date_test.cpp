// The date of last update in the table header: every kind of change dates the file today,
// also when the opening writes the date only once for a run of changes.
#include <gtest/gtest.h>

#include <fstream>

#include "storage/engine/datafile/dbf_header.h"
#include "storage/engine/engine.h"
#include "support/table_builder.h"
#include "support/temp_dir.h"

namespace snyltdyr::engine {
namespace {

using testsupport::Number;
using testsupport::Text;

class UpdateDateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = engine_.Database(dir_.path());
    testsupport::CreateTable(db_, "T.DBF", {{"NAVN", 'C', 10}, {"TALL", 'N', 6, 0}}, 0x03);
    Handle cur = testsupport::OpenCursor(db_, "T.DBF");
    for (int i = 0; i < 3; ++i) testsupport::AppendRow(cur, {Text("R" + std::to_string(i)), Number(i)});
    CloseCursor(cur);
  }

  // Header bytes 1-3 as they are in the file.
  std::string DateBytes() {
    std::ifstream in(dir_.File("T.DBF"), std::ios::binary);
    std::string b(3, '\0');
    in.seekg(1);
    in.read(b.data(), 3);
    return b;
  }
  void SetDateBytes(const std::string& b) {
    std::fstream io(dir_.File("T.DBF"), std::ios::binary | std::ios::in | std::ios::out);
    io.seekp(1);
    io.write(b.data(), 3);
  }
  static std::string Today() {
    uint8_t y = 0, m = 0, d = 0;
    TodayForHeader(y, m, d);
    return {static_cast<char>(y), static_cast<char>(m), static_cast<char>(d)};
  }

  testsupport::EngineSession engine_;
  testsupport::TempDir dir_;
  Handle db_ = kNoHandle;
};

TEST_F(UpdateDateTest, ARewriteAndADeletionDateAnOldFileToday) {
  const std::string old_date{static_cast<char>(90), 1, 2};  // 1990-01-02
  for (int deletion = 0; deletion < 2; ++deletion) {
    SetDateBytes(old_date);
    Handle cur = testsupport::OpenCursor(db_, "T.DBF");
    std::vector<uint8_t> buf = testsupport::NewBuffer(cur);
    for (uint32_t recno = 1; recno <= 2; ++recno) {  // the second change finds the date set
      ASSERT_EQ(SetToBookmark(cur, reinterpret_cast<const uint8_t*>(&recno)), kOk);
      if (deletion) {
        ASSERT_EQ(DeleteRecord(cur), kOk);
      } else {
        ASSERT_EQ(GetRecord(cur, LockMode::kWriteLock, buf.data(), nullptr), kOk);
        ASSERT_EQ(PutField(cur, 2, buf.data(), Number(7)), kOk);
        ASSERT_EQ(ModifyRecord(cur, buf.data(), true), kOk);
      }
      EXPECT_EQ(DateBytes(), Today()) << (deletion ? "deletion " : "rewrite ") << recno;
    }
    CloseCursor(cur);
  }
}

}  // namespace
}  // namespace snyltdyr::engine
