// A reading pass in the order of a tag whose keys have nothing to do with the records'
// places: it reads its chunks sorted, in runs that join near neighbours and split far
// ones, and still hands on exactly the records the walk of the tag reaches, in its
// order, each with its bytes as the file holds them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <random>

#include "engine/index_test_support.h"
#include "storage/engine/files/mapped_file.h"
#include "support/table_builder.h"

namespace snyltdyr::engine {
namespace {

namespace ts = ::snyltdyr::testsupport;

// Records of about 300 bytes: 8 KB apart are about 27 records.
constexpr int kRecords = 9000;

class OrderedPassTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = engine_.Database(dir_.path().string());
    ts::CreateTable(db_, "OBS.DBF", {{"K", 'C', 8}, {"PAD", 'C', 250}, {"N", 'N', 6}}, 0x57);
    // The key of record r puts it at place Place(r) of the tag: the places alternate
    // between the first and the second half of the file (far apart: a run must split),
    // within each half in runs of neighbours (a run joins them), and the last thousand
    // records are shuffled among themselves.
    std::vector<int> place_of(kRecords);
    std::vector<int> order(kRecords);  // record (0-based) at each place
    const int half = 4000;
    for (int p = 0; p < 2 * half; ++p) order[p] = p % 2 == 0 ? p / 2 : half + p / 2;
    std::iota(order.begin() + 2 * half, order.end(), 2 * half);
    std::mt19937 random(7);
    std::shuffle(order.begin() + 2 * half, order.end(), random);
    for (int p = 0; p < kRecords; ++p) place_of[order[p]] = p;
    const Handle c = ts::OpenCursor(db_, "OBS.DBF");
    for (int r = 0; r < kRecords; ++r) {
      char key[16];
      std::snprintf(key, sizeof key, "%08d", place_of[r]);
      ts::AppendRow(c, {ts::Text(key), ts::Text("record " + std::to_string(r + 1)), ts::Number(r % 5)});
    }
    CloseCursor(c);
    IndexDescriptor tag;
    tag.tag_name = "K";
    tag.field_numbers = {1};
    tag.descending_fields = {false};
    ASSERT_EQ(AddIndexToTable(db_, "OBS.DBF", "DBASE", tag), kOk) << ts::EngineErrorText(1);
  }

  // The records the tag's walk reaches, in its order, and their bytes.
  void Walk(Handle cursor, std::vector<uint32_t>& recnos, std::vector<std::string>& bytes) {
    std::vector<uint8_t> buffer = ts::NewBuffer(cursor);
    ASSERT_EQ(SetToBeginning(cursor), kOk);
    RecordProperties props;
    while (GetNextRecord(cursor, LockMode::kNoLock, buffer.data(), &props) == kOk) {
      recnos.push_back(props.physical_number);
      bytes.emplace_back(reinterpret_cast<const char*>(buffer.data()), record_length_);
    }
  }

  void Pass(Handle cursor, std::vector<uint32_t>& recnos, std::vector<std::string>& bytes) {
    std::vector<uint8_t> buffer = ts::NewBuffer(cursor);
    uint32_t visited = 0;
    ASSERT_EQ(VisitRecords(
                  cursor, buffer.data(),
                  [&](uint32_t recno) {
                    recnos.push_back(recno);
                    bytes.emplace_back(reinterpret_cast<const char*>(buffer.data()), record_length_);
                    return kOk;
                  },
                  visited, true),
              kOk);
    EXPECT_EQ(visited, recnos.size());
  }

  ts::EngineSession engine_;
  testing::TempDir dir_;
  Handle db_ = kNoHandle;
  const size_t record_length_ = 1 + 8 + 250 + 6;
};

// Both ways of getting a chunk's records: copied out of a view of the file, and read in
// sorted runs (where the file may not be viewed).
class OrderedPassBothWays : public OrderedPassTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    OrderedPassTest::SetUp();
    MappedFile::SetAllowed(GetParam());
  }
  void TearDown() override { MappedFile::SetAllowed(true); }
};

INSTANTIATE_TEST_SUITE_P(ViewedAndRead, OrderedPassBothWays, ::testing::Bool());

TEST_P(OrderedPassBothWays, ScatteredRecordsComeInTheTagsOrderWithTheirBytes) {
  const Handle c = ts::OpenCursor(db_, "OBS.DBF");
  ASSERT_EQ(SwitchToIndex(c, "", "K", 0, false), kOk);
  // Deleted records are left out of both.
  std::vector<uint8_t> buffer = ts::NewBuffer(c);
  for (uint32_t recno : {2u, 3u, 4001u, 8999u}) {
    ASSERT_EQ(SetToBookmark(c, reinterpret_cast<const uint8_t*>(&recno)), kOk);
    ASSERT_EQ(GetRecord(c, LockMode::kNoLock, buffer.data(), nullptr), kOk);
    ASSERT_EQ(DeleteRecord(c), kOk) << ts::EngineErrorText(1);
  }
  std::vector<uint32_t> walked, passed;
  std::vector<std::string> walked_bytes, passed_bytes;
  Walk(c, walked, walked_bytes);
  Pass(c, passed, passed_bytes);
  ASSERT_EQ(walked.size(), size_t{kRecords - 4}) << "the walk itself";
  EXPECT_EQ(passed, walked);
  EXPECT_TRUE(passed_bytes == walked_bytes);
  // The places alternate between the halves (record 4001 is deleted).
  EXPECT_EQ(std::vector<uint32_t>(passed.begin(), passed.begin() + 4),
            (std::vector<uint32_t>{1, 4002, 4003, 4}));
  CloseCursor(c);
}

}  // namespace
}  // namespace snyltdyr::engine
