// Index files we write, read back by an independent reader: Debian's Perl xBase module
// walks every tag of the .MDX after a random workload of appends, modifies and deletes,
// and must find the live records in the same order as our own cursors.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "storage/engine/engine.h"
#include "support/table_builder.h"
#include "support/temp_dir.h"

namespace snyltdyr::engine {
namespace {

constexpr const char* kPerl = "/usr/bin/perl";

bool IndependentReaderAvailable() {
  const std::string probe = std::string(kPerl) + " -MXBase::Index -e 1 >/dev/null 2>&1";
  return std::system(probe.c_str()) == 0;
}

// The live record numbers of `tag` in the reader's order, one per line; the reader's own
// table access tells deleted records apart (its record numbers count from 0).
std::vector<uint32_t> ReaderOrder(const std::string& dir, const std::string& tag) {
  const std::string script =
      "use XBase; use XBase::Index;"
      "my ($dir, $tag) = @ARGV;"
      "my $t = XBase->new(\"$dir/OBS.DBF\") or die XBase->errstr;"
      "my $i = XBase::Index->new(\"$dir/OBS.MDX\", tag => $tag) or die XBase::Index->errstr;"
      "$i->prepare_select;"
      "while (my ($key, $rec) = $i->fetch) {"
      "  my ($deleted) = $t->get_record($rec - 1);"
      "  print \"$rec\\n\" unless $deleted;"
      "}";
  const std::string command = std::string(kPerl) + " -e '" + script + "' '" + dir + "' " + tag;
  std::vector<uint32_t> order;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return order;
  char line[64];
  while (std::fgets(line, sizeof line, pipe) != nullptr) order.push_back(std::stoul(line));
  EXPECT_EQ(::pclose(pipe), 0) << "the reader failed on tag " << tag;
  return order;
}

class IndexInteropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!IndependentReaderAvailable()) GTEST_SKIP() << "Perl's XBase module (libdbd-xbase-perl) is not installed";
    db_ = engine_.Database(dir_.path());
  }

  std::vector<FieldValue> RandomRow() {
    std::uniform_int_distribution<int> day(1, 28), mon(1, 12), year(2015, 2025), kar(0, 40), n(-900, 900);
    const int k = kar(rng_);
    return {k == 0 ? testsupport::Blank() : testsupport::Date(year(rng_), mon(rng_), day(rng_)),
            testsupport::Text(k % 7 == 0 ? "" : "Kar " + std::to_string(k)),
            testsupport::Number(n(rng_) / 4.0)};
  }

  // Puts the cursor on record `recno` (bookmarks are record numbers).
  void Goto(Handle cur, uint32_t recno) {
    uint8_t bookmark[4];
    std::memcpy(bookmark, &recno, sizeof recno);
    ASSERT_EQ(SetToBookmark(cur, bookmark), kOk);
  }

  static std::vector<uint32_t> Walk(Handle cur) {
    std::vector<uint32_t> order;
    SetToBeginning(cur);
    RecordProperties props;
    while (GetNextRecord(cur, LockMode::kNoLock, nullptr, &props) == kOk) order.push_back(props.physical_number);
    return order;
  }

  testsupport::EngineSession engine_;
  testsupport::TempDir dir_;
  Handle db_ = kNoHandle;
  std::mt19937 rng_{2026};
};

TEST_F(IndexInteropTest, AnotherReaderWalksEveryTagInOurOrderAfterRandomWrites) {
  testsupport::CreateTable(db_, "OBS.DBF", {{"DATO", 'D'}, {"BYGG", 'C', 9}, {"TALL", 'N', 8, 2}}, 0x17);
  Handle cur = testsupport::OpenCursor(db_, "OBS.DBF", OpenMode::kReadWrite, ShareMode::kExclusive);
  for (int i = 0; i < 200; ++i) testsupport::AppendRow(cur, RandomRow());
  IndexDescriptor dato, bygg, tall, upper;
  dato.tag_name = "DATO", dato.field_numbers = {1};
  bygg.tag_name = "BYGG", bygg.field_numbers = {2};
  tall.tag_name = "TALL", tall.field_numbers = {3}, tall.descending = true;
  upper.tag_name = "UBYGG", upper.expression = true, upper.key_expression = "UPPER(BYGG)";
  for (const IndexDescriptor* d : {&dato, &bygg, &tall, &upper}) ASSERT_EQ(AddIndex(db_, cur, *d), kOk) << d->tag_name;
  ASSERT_EQ(SwitchToIndex(cur, "", "DATO", 0, false), kOk);

  // Enough records for trees of several levels; then changes that move keys between
  // leaves, and deletions.
  for (int i = 0; i < 2800; ++i) testsupport::AppendRow(cur, RandomRow());
  std::uniform_int_distribution<uint32_t> any(1, 3000);
  std::vector<uint8_t> buffer = testsupport::NewBuffer(cur);
  for (int i = 0; i < 500; ++i) {
    Goto(cur, any(rng_));
    if (GetRecord(cur, LockMode::kWriteLock, buffer.data(), nullptr) != kOk) continue;  // deleted
    const std::vector<FieldValue> row = RandomRow();
    for (uint16_t f = 1; f <= 3; ++f) ASSERT_EQ(PutField(cur, f, buffer.data(), row[f - 1]), kOk);
    ASSERT_EQ(ModifyRecord(cur, buffer.data(), true), kOk);
  }
  for (int i = 0; i < 300; ++i) {
    Goto(cur, any(rng_));
    if (GetRecord(cur, LockMode::kNoLock, buffer.data(), nullptr) == kOk) {
      ASSERT_EQ(DeleteRecord(cur), kOk);
    }
  }

  uint32_t live = 0;
  ASSERT_EQ(GetExactRecordCount(cur, live), kOk);
  ASSERT_GT(live, 2500u);
  for (const char* tag : {"DATO", "BYGG", "TALL", "UBYGG"}) {
    ASSERT_EQ(SwitchToIndex(cur, "", tag, 0, false), kOk);
    const std::vector<uint32_t> ours = Walk(cur);
    EXPECT_EQ(ours.size(), live) << tag;
    EXPECT_EQ(ReaderOrder(dir_.path(), tag), ours) << "tag " << tag;
  }
  CloseCursor(cur);
}

}  // namespace
}  // namespace snyltdyr::engine
