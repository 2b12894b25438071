// Memos read in a batch (ReadMemos): the same texts OpenBlob reads, for memos of one and
// of several blocks, next to each other or far apart; what it cannot read so (a damaged
// block number, a block outside the file, a block inside another memo) it leaves to
// OpenBlob.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/index_test_support.h"
#include "storage/engine/files/mapped_file.h"
#include "support/table_builder.h"

namespace snyltdyr::engine {
namespace {

namespace ts = ::snyltdyr::testsupport;

class MemoBatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = engine_.Database(dir_.path().string());
    ts::CreateTable(db_, "OBS.DBF", {{"NAME", 'C', 10}, {"M", 'M', 10}}, 0x57);
    cursor_ = ts::OpenCursor(db_, "OBS.DBF");
    std::vector<FieldDescriptor> fields;
    ASSERT_EQ(GetFieldDescriptors(cursor_, fields), kOk);
    offset_ = fields[1].offset;
  }
  void TearDown() override { CloseCursor(cursor_); }

  // Appends a record with `memo` (none when empty) and gives its memo field's bytes.
  std::string Add(const std::string& memo) {
    ts::AppendRow(cursor_, {ts::Text("x"), memo.empty() ? ts::Blank() : ts::Text(memo)});
    std::vector<uint8_t> buffer = ts::NewBuffer(cursor_);
    EXPECT_EQ(SetToEnd(cursor_), kOk);
    EXPECT_EQ(GetPriorRecord(cursor_, LockMode::kNoLock, buffer.data(), nullptr), kOk);
    return std::string(reinterpret_cast<const char*>(buffer.data()) + offset_, 10);
  }

  // What OpenBlob reads for a memo field of `bytes`; "<error>" when it fails.
  std::string Alone(const std::string& bytes) {
    std::vector<uint8_t> buffer = ts::NewBuffer(cursor_);
    std::memcpy(buffer.data() + offset_, bytes.data(), 10);
    return ts::ReadMemo(cursor_, buffer, 2);
  }

  void Batch(const std::vector<std::string>& fields, std::vector<std::string>& contents,
             std::vector<uint8_t>& read) {
    std::string joined;
    for (const std::string& f : fields) joined += f;
    ASSERT_EQ(ReadMemos(cursor_, 2, reinterpret_cast<const uint8_t*>(joined.data()), fields.size(),
                        contents, read),
              kOk);
    ASSERT_EQ(contents.size(), fields.size());
    ASSERT_EQ(read.size(), fields.size());
  }

  ts::EngineSession engine_;
  testing::TempDir dir_;
  Handle db_ = kNoHandle, cursor_ = kNoHandle;
  size_t offset_ = 0;
};

// Both ways of getting a batch: copied out of a view of the memo file, and read in runs
// (where the file may not be viewed).
class MemoBatchBothWays : public MemoBatchTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    MappedFile::SetAllowed(GetParam());
    MemoBatchTest::SetUp();
  }
  void TearDown() override {
    MemoBatchTest::TearDown();
    MappedFile::SetAllowed(true);
  }
};

INSTANTIATE_TEST_SUITE_P(ViewedAndRead, MemoBatchBothWays, ::testing::Bool());

TEST_P(MemoBatchBothWays, ReadsWhatOpenBlobReadsNearOrFarAndOfAnyLength) {
  const std::string longer(1500, 'L');  // four blocks of 512 with its head
  const std::string far(20000, 'F');    // puts what follows far from what came before
  std::vector<std::string> fields = {Add("first"), Add(longer), Add("third, next to it"),
                                     Add(far), Add("beyond the far one"), Add(""),
                                     Add(std::string("with \0 and \x1A inside\x1A", 22))};
  fields.push_back(fields[2]);  // the same memo twice
  const std::string longest(70000, 'X');  // longer than one read of the batch
  fields.push_back(Add(longest));
  // Out of the file's order, as the rows of an index come.
  std::swap(fields[0], fields[4]);
  std::swap(fields[1], fields[6]);
  std::vector<std::string> contents;
  std::vector<uint8_t> read;
  Batch(fields, contents, read);
  for (size_t i = 0; i < fields.size(); ++i) {
    SCOPED_TRACE("memo " + std::to_string(i));
    EXPECT_TRUE(read[i]);
    EXPECT_EQ(contents[i], Alone(fields[i]));
  }
  EXPECT_EQ(contents[0], "beyond the far one");
  EXPECT_EQ(contents[4], "first");
  EXPECT_EQ(contents[5], "");
  EXPECT_EQ(contents[8], longest);
  EXPECT_EQ(contents[6], longer);
}

TEST_P(MemoBatchBothWays, LeavesWhatItCannotReadToOpenBlob) {
  const std::string good = Add("a good memo");
  Add(std::string(2000, 'z'));
  const std::vector<std::string> fields = {
      good,
      "      12x ",  // not a block number
      "  99999999",  // far beyond the end of the file
      "         3",  // inside the memo of many blocks: no head, no end of text in reach
      "          ",  // no memo
  };
  std::vector<std::string> contents;
  std::vector<uint8_t> read;
  Batch(fields, contents, read);
  EXPECT_EQ(std::vector<uint8_t>(read.begin(), read.end()), (std::vector<uint8_t>{1, 0, 0, 0, 1}));
  EXPECT_EQ(contents[0], "a good memo");
  EXPECT_EQ(contents[4], "");
  EXPECT_EQ(Alone(fields[1]), "<error>");
  EXPECT_EQ(Alone(fields[2]), "<error>");
}

}  // namespace
}  // namespace snyltdyr::engine
