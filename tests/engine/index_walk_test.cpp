// Walking a tag's order from the leaf the cursor keeps between steps: changes made by
// other openings and other programs in that leaf are seen, a rewritten record keeps its
// place, and counts agree with the walk whatever the order leaves out.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <random>
#include <thread>

#include "index_test_support.h"
#include "storage/engine/engine.h"
#include "storage/engine/index/mdx_file.h"
#include "storage/engine/index/mdx_tag.h"
#include "support/table_builder.h"
#include "support/temp_dir.h"

namespace snyltdyr::engine {
namespace {

using testsupport::Date;
using testsupport::Number;
using testsupport::Text;

class IndexWalkTest : public ::testing::Test {
 protected:
  void SetUp() override { db_ = engine_.Database(dir_.path()); }

  // OBS.DBF (DATO D, BYGG C9, TALL N8.2) with `rows` random records and a DATO tag; few
  // enough that every key sits in one leaf.
  void CreateObs(int rows) {
    testsupport::CreateTable(db_, "OBS.DBF", {{"DATO", 'D'}, {"BYGG", 'C', 9}, {"TALL", 'N', 8, 2}}, 0x17);
    Handle cur = testsupport::OpenCursor(db_, "OBS.DBF");
    std::uniform_int_distribution<int> day(1, 28), mon(1, 12), year(2015, 2025), n(-400, 400);
    for (int i = 0; i < rows; ++i)
      testsupport::AppendRow(cur, {Date(year(rng_), mon(rng_), day(rng_)),
                                   Text("K" + std::to_string(i % 7)), Number(n(rng_) / 4.0)});
    CloseCursor(cur);
    IndexDescriptor dato;
    dato.tag_name = "DATO";
    dato.field_numbers = {1};
    ASSERT_EQ(AddIndexToTable(db_, "OBS.DBF", "DBASE", dato), kOk);
  }

  Handle Open(const std::string& tag, OpenMode mode = OpenMode::kReadWrite) {
    OpenTableArgs args;
    args.open_mode = mode;
    args.database = db_;
    args.table_name = "OBS.DBF";
    args.index_tag = tag;
    Handle cur = kNoHandle;
    EXPECT_EQ(OpenTable(args, cur), kOk);
    return cur;
  }

  // Record numbers of the live records by date, equal dates by record number.
  std::vector<uint32_t> ByDate() {
    const testing::MemTable t = testing::ReadDbf(dir_.File("OBS.DBF"));
    std::vector<std::pair<std::string, uint32_t>> rows;
    for (uint32_t r = 1; r <= t.records.size(); ++r)
      if (!t.View(r).Deleted()) rows.emplace_back(std::string(t.View(r).Raw(0)), r);
    std::sort(rows.begin(), rows.end());
    std::vector<uint32_t> out;
    for (const auto& row : rows) out.push_back(row.second);
    return out;
  }

  static std::vector<uint32_t> Rest(Handle cur) {
    std::vector<uint32_t> out;
    RecordProperties props;
    while (GetNextRecord(cur, LockMode::kNoLock, nullptr, &props) == kOk) out.push_back(props.physical_number);
    return out;
  }

  static Result SetField(Handle cur, uint32_t recno, uint16_t field, const FieldValue& value) {
    std::vector<uint8_t> buf = testsupport::NewBuffer(cur);
    if (Result r = SetToBookmark(cur, reinterpret_cast<const uint8_t*>(&recno))) return r;
    if (Result r = GetRecord(cur, LockMode::kWriteLock, buf.data(), nullptr)) return r;
    if (Result r = PutField(cur, field, buf.data(), value)) return r;
    return ModifyRecord(cur, buf.data(), true);
  }

  // Gives tag `name` of OBS.MDX the FOR condition `condition` (as other programs write
  // them; new tags here cannot have one), taking out the entries of the records it fails.
  void MakeForTag(const std::string& name, const std::string& condition,
                  const std::function<bool(const RecordView&)>& holds) {
    const testing::MemTable table = testing::ReadDbf(dir_.File("OBS.DBF"));
    std::unique_ptr<MdxFile> file;
    ASSERT_TRUE(MdxFile::Open(dir_.File("OBS.MDX"), true, file));
    const auto entry = std::find_if(file->tags().begin(), file->tags().end(),
                                    [&](const MdxTagEntry& e) { return e.name == name; });
    ASSERT_NE(entry, file->tags().end());
    std::unique_ptr<MdxTag> tag;
    ASSERT_TRUE(MdxTag::Load(*file, *entry, tag));
    std::vector<MdxEntry> out;
    MdxPath path;
    bool found = false;
    ASSERT_TRUE(tag->First(path, found));
    while (found) {
      if (!holds(table.View(MdxTag::RecnoAt(path)))) out.push_back({MdxTag::KeyAt(path), MdxTag::RecnoAt(path)});
      ASSERT_TRUE(tag->Step(path, true, found));
    }
    ASSERT_FALSE(out.empty());
    for (const MdxEntry& e : out) ASSERT_TRUE(tag->Remove(e.key, e.recno, found));
    std::string header;
    ASSERT_TRUE(file->ReadBlock(tag->header_page(), header));
    header[245] = 1;
    header.replace(762, condition.size() + 1, condition + '\0');
    ASSERT_TRUE(file->WriteBlock(tag->header_page(), header));
  }

  testsupport::EngineSession engine_;
  testsupport::TempDir dir_;
  Handle db_ = kNoHandle;
  std::mt19937 rng_{5};
};

TEST_F(IndexWalkTest, AWalkSeesChangesOfAnotherOpeningInTheLeafItStandsOn) {
  CreateObs(60);
  Handle reader = Open("DATO");
  Handle writer = Open("DATO");
  RecordProperties props;
  for (int i = 0; i < 20; ++i) ASSERT_EQ(GetNextRecord(reader, LockMode::kNoLock, nullptr, &props), kOk);
  const std::vector<uint32_t> before = ByDate();
  const uint32_t ahead = before[25], behind = before[10];
  ASSERT_EQ(SetField(writer, ahead, 1, Date(1990, 1, 1)), kOk);
  ASSERT_EQ(SetField(writer, behind, 1, Date(2030, 1, 1)), kOk);
  // No pause: a change in this process is seen at the very next step.
  const std::vector<uint32_t> rest = Rest(reader);
  const std::vector<uint32_t> after = ByDate();
  const auto at = std::find(after.begin(), after.end(), props.physical_number);
  ASSERT_NE(at, after.end());
  EXPECT_EQ(rest, std::vector<uint32_t>(at + 1, after.end()));
  EXPECT_EQ(std::count(rest.begin(), rest.end(), ahead), 0);
  EXPECT_EQ(rest.back(), behind);
  CloseCursor(writer);
  CloseCursor(reader);
}

TEST_F(IndexWalkTest, AWalkSeesChangesOfAnotherProgramInTheLeafItStandsOn) {
  CreateObs(60);
  Handle reader = Open("DATO");
  RecordProperties props;
  for (int i = 0; i < 20; ++i) ASSERT_EQ(GetNextRecord(reader, LockMode::kNoLock, nullptr, &props), kOk);
  const std::vector<uint32_t> before = ByDate();
  const uint32_t ahead = before[25], behind = before[10];
  // Another program: a child process with its own opening, whose writes this process's
  // index code never hears of.
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    Handle writer = Open("DATO");
    const bool ok = SetField(writer, ahead, 1, Date(1990, 1, 1)) == kOk &&
                    SetField(writer, behind, 1, Date(2030, 1, 1)) == kOk;
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other program failed to write";
  std::this_thread::sleep_for(std::chrono::milliseconds(2));  // a moment, as between two clicks
  const std::vector<uint32_t> rest = Rest(reader);
  const std::vector<uint32_t> after = ByDate();
  const auto at = std::find(after.begin(), after.end(), props.physical_number);
  ASSERT_NE(at, after.end());
  EXPECT_EQ(rest, std::vector<uint32_t>(at + 1, after.end()));
  CloseCursor(reader);
}

TEST_F(IndexWalkTest, RewritingEachRecordOfAWalkKeepsItsPlaceUnlessItsKeyMoves) {
  CreateObs(300);  // several leaves
  Handle cur = Open("DATO");
  const std::vector<uint32_t> order = ByDate();
  // Changing a field outside the key: every record once, in date order.
  std::vector<uint32_t> seen;
  std::vector<uint8_t> buf = testsupport::NewBuffer(cur);
  RecordProperties props;
  SetToBeginning(cur);
  while (GetNextRecord(cur, LockMode::kWriteLock, buf.data(), &props) == kOk) {
    seen.push_back(props.physical_number);
    ASSERT_EQ(PutField(cur, 3, buf.data(), Number(static_cast<double>(seen.size()))), kOk);
    ASSERT_EQ(ModifyRecord(cur, buf.data(), true), kOk);
  }
  EXPECT_EQ(seen, order);
  // Changing the key: the record goes with it, and the walk goes on from its new place.
  const uint32_t moved = order[100];
  ASSERT_EQ(SetToBookmark(cur, reinterpret_cast<const uint8_t*>(&moved)), kOk);
  ASSERT_EQ(GetRecord(cur, LockMode::kWriteLock, buf.data(), nullptr), kOk);
  ASSERT_EQ(PutField(cur, 1, buf.data(), Date(2014, 1, 1)), kOk);  // before every other date
  ASSERT_EQ(ModifyRecord(cur, buf.data(), true), kOk);
  ASSERT_EQ(GetNextRecord(cur, LockMode::kNoLock, nullptr, &props), kOk);
  EXPECT_EQ(props.physical_number, order[0]);
  CloseCursor(cur);
}

TEST_F(IndexWalkTest, ACountAgreesWithTheWalkOfOrdersThatLeaveRecordsOut) {
  CreateObs(120);
  IndexDescriptor bygg;  // one entry for each of the seven values
  bygg.tag_name = "BYGG";
  bygg.field_numbers = {2};
  bygg.unique = true;
  ASSERT_EQ(AddIndexToTable(db_, "OBS.DBF", "DBASE", bygg), kOk);
  for (const char* name : {"LEVENDE", "POSITIVE"}) {
    IndexDescriptor d;
    d.tag_name = name;
    d.field_numbers = {1};
    ASSERT_EQ(AddIndexToTable(db_, "OBS.DBF", "DBASE", d), kOk);
  }
  Handle cur = Open("");
  for (uint32_t recno = 3; recno <= 120; recno += 9) {
    ASSERT_EQ(SetToBookmark(cur, reinterpret_cast<const uint8_t*>(&recno)), kOk);
    ASSERT_EQ(DeleteRecord(cur), kOk);
  }
  CloseCursor(cur);
  MakeForTag("LEVENDE", ".NOT. DELETED()", [](const RecordView& r) { return !r.Deleted(); });
  // Another program's condition, which this engine cannot evaluate: the tag gives no order
  // and no count, since nothing it gives could be checked.
  MakeForTag("POSITIVE", "TALL > 0", [](const RecordView& r) { return std::atof(std::string(r.Raw(2)).c_str()) > 0; });
  cur = Open("", OpenMode::kReadOnly);
  EXPECT_EQ(SwitchToIndex(cur, "", "POSITIVE", 0, false), kErrIndexOutOfDate);
  const size_t live = ByDate().size();
  for (const char* tag : {"", "DATO", "BYGG", "LEVENDE"}) {
    ASSERT_EQ(SwitchToIndex(cur, "", tag, 0, false), kOk) << tag;
    size_t walked = 0;
    SetToBeginning(cur);
    while (GetNextRecord(cur, LockMode::kNoLock, nullptr, nullptr) == kOk) ++walked;
    uint32_t count = 0;
    ASSERT_EQ(GetRecordCount(cur, count), kOk) << tag;
    EXPECT_EQ(count, walked) << tag;
    if (std::string(tag) == "BYGG") EXPECT_LE(walked, 7u);
    else EXPECT_EQ(walked, live) << tag;
  }
  CloseCursor(cur);
}

}  // namespace
}  // namespace snyltdyr::engine
