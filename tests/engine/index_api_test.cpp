// The production index through the engine interface: tables open in a tag's order,
// writes keep every tag in step, new tags persist, switching keeps the record, and
// indexes that cannot be written make the table read-only with a reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <random>

#include "index_test_support.h"
#include "storage/engine/engine.h"
#include "storage/engine/index/index_checker.h"
#include "storage/engine/index/mdx_file.h"
#include "storage/engine/index/mdx_tag.h"
#include "support/table_builder.h"
#include "support/temp_dir.h"

namespace snyltdyr::engine {
namespace {

namespace fs = std::filesystem;
using testsupport::Date;
using testsupport::Number;
using testsupport::Text;

const auto Problems = testing::IndexProblems;
const auto LastErrorText = testing::ErrorEntriesText;

class IndexApiTest : public ::testing::Test {
 protected:
  void SetUp() override { db_ = engine_.Database(dir_.path()); }

  // OBS.DBF: DATO D, BYGG C9, TALL N8.2, KOMENT M, with `rows` random records.
  void CreateObs(int rows) {
    testsupport::CreateTable(db_, "OBS.DBF",
                             {{"DATO", 'D'}, {"BYGG", 'C', 9}, {"TALL", 'N', 8, 2}, {"KOMENT", 'M'}},
                             0x17);
    Handle cur = testsupport::OpenCursor(db_, "OBS.DBF");
    for (int i = 0; i < rows; ++i) testsupport::AppendRow(cur, RandomRow());
    CloseCursor(cur);
  }

  std::vector<FieldValue> RandomRow() {
    std::uniform_int_distribution<int> day(1, 28), mon(1, 12), year(2015, 2025), kar(1, 12), n(-500, 500);
    return {Date(year(rng_), mon(rng_), day(rng_)), Text("K" + std::to_string(kar(rng_))),
            Number(n(rng_) / 4.0), Text("")};
  }

  static IndexDescriptor OnField(const std::string& tag, uint16_t field) {
    IndexDescriptor d;
    d.tag_name = tag;
    d.field_numbers = {field};
    return d;
  }

  Handle Open(const std::string& tag, ShareMode share = ShareMode::kShared,
              OpenMode mode = OpenMode::kReadWrite, Handle db = kNoHandle) {
    OpenTableArgs args;
    args.database = db == kNoHandle ? db_ : db;
    args.table_name = "OBS.DBF";
    args.index_tag = tag;
    args.share_mode = share;
    args.open_mode = mode;
    Handle cur = kNoHandle;
    last_ = OpenTable(args, cur);
    return cur;
  }

  static std::vector<uint32_t> Walk(Handle cur, bool forward = true) {
    std::vector<uint32_t> out;
    forward ? SetToBeginning(cur) : SetToEnd(cur);
    RecordProperties props;
    while ((forward ? GetNextRecord(cur, LockMode::kNoLock, nullptr, &props)
                    : GetPriorRecord(cur, LockMode::kNoLock, nullptr, &props)) == kOk)
      out.push_back(props.physical_number);
    return out;
  }

  // Record numbers of the live records sorted by a field's bytes (dates as YYYYMMDD and
  // blank-padded texts sort like their keys), equal keys by record number.
  std::vector<uint32_t> SortedBy(size_t field, bool descending_number = false) {
    const testing::MemTable t = testing::ReadDbf(dir_.File("OBS.DBF"));
    std::vector<std::pair<std::string, uint32_t>> rows;
    for (uint32_t r = 1; r <= t.records.size(); ++r) {
      if (t.View(r).Deleted()) continue;
      rows.emplace_back(std::string(t.View(r).Raw(field)), r);
    }
    std::stable_sort(rows.begin(), rows.end(), [&](const auto& a, const auto& b) {
      if (descending_number) {
        const double x = std::atof(a.first.c_str()), y = std::atof(b.first.c_str());
        if (x != y) return x > y;
        return a.second < b.second;
      }
      return a < b;
    });
    std::vector<uint32_t> out;
    for (const auto& row : rows) out.push_back(row.second);
    return out;
  }

  testsupport::EngineSession engine_;
  testsupport::TempDir dir_;
  Handle db_ = kNoHandle;
  Result last_ = kOk;
  std::mt19937 rng_{99};
};

TEST_F(IndexApiTest, NewTagsPersistAndAreFoundByNameInACopiedTable) {
  CreateObs(60);
  Handle cur = Open("", ShareMode::kExclusive);
  ASSERT_EQ(last_, kOk) << LastErrorText();
  SNYLTDYR_ENGINE_OK(AddIndex(db_, cur, OnField("DATO", 1)));
  SNYLTDYR_ENGINE_OK(AddIndex(db_, cur, OnField("BYGG", 2)));
  IndexDescriptor tall = OnField("TALL", 3);
  tall.descending = true;
  SNYLTDYR_ENGINE_OK(AddIndex(db_, cur, tall));
  // The cursor can use them at once, and its writes keep them in step.
  SNYLTDYR_ENGINE_OK(SwitchToIndex(cur, "", "DATO", 0, false));
  testsupport::AppendRow(cur, RandomRow());
  CloseCursor(cur);

  const std::string header = [&] {
    std::ifstream in(dir_.File("OBS.DBF"), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }();
  EXPECT_EQ(header[28], 1) << "the header flags the production index";
  EXPECT_EQ(header[32 + 31], 1) << "DATO has a tag of its own";
  EXPECT_TRUE(fs::exists(dir_.File("OBS.MDX")));

  testsupport::TempDir copy;
  for (const auto& f : fs::directory_iterator(dir_.path())) fs::copy_file(f.path(), fs::path(copy.path()) / f.path().filename());
  const Handle db2 = engine_.Database(copy.path());
  Handle again = Open("dato", ShareMode::kShared, OpenMode::kReadWrite, db2);
  ASSERT_EQ(last_, kOk) << LastErrorText();
  EXPECT_EQ(Walk(again), SortedBy(0));
  std::vector<IndexDescriptor> defs;
  SNYLTDYR_ENGINE_OK(GetIndexDescriptors(again, defs));
  ASSERT_EQ(defs.size(), 3u);
  EXPECT_EQ(defs[0].tag_name, "DATO");
  EXPECT_EQ(defs[0].file_name, "OBS.MDX");
  EXPECT_EQ(defs[0].field_numbers, std::vector<uint16_t>{1});
  EXPECT_FALSE(defs[0].expression);
  EXPECT_TRUE(defs[2].descending);
  IndexDescriptor current;
  SNYLTDYR_ENGINE_OK(GetCurrentIndex(again, current));
  EXPECT_EQ(current.tag_name, "DATO");
  SNYLTDYR_ENGINE_OK(SwitchToIndex(again, "OBS.MDX", "TALL", 0, false));
  EXPECT_EQ(Walk(again), SortedBy(2, true));
  CloseCursor(again);
  EXPECT_EQ(Problems(fs::path(copy.path()) / "OBS.DBF", fs::path(copy.path()) / "OBS.MDX"), "");
}

TEST_F(IndexApiTest, EveryWriteKeepsEveryTagInStep) {
  CreateObs(200);
  {
    Handle cur = Open("", ShareMode::kExclusive);
    SNYLTDYR_ENGINE_OK(AddIndex(db_, cur, OnField("DATO", 1)));
    SNYLTDYR_ENGINE_OK(AddIndex(db_, cur, OnField("BYGG", 2)));
    SNYLTDYR_ENGINE_OK(AddIndex(db_, cur, OnField("TALL", 3)));
    CloseCursor(cur);
  }
  Handle cur = Open("DATO");
  ASSERT_EQ(last_, kOk) << LastErrorText();
  std::uniform_int_distribution<int> op(0, 9);
  std::vector<uint8_t> buf = testsupport::NewBuffer(cur);
  for (int i = 0; i < 400; ++i) {
    CursorProperties props;
    GetCursorProperties(cur, props);
    uint32_t count = 0;
    GetRecordCount(cur, count);
    const int o = op(rng_);
    if (o < 4 || count == 0) {
      testsupport::AppendRow(cur, RandomRow());
      continue;
    }
    const std::vector<uint32_t> live = Walk(cur);
    uint32_t recno = live[std::uniform_int_distribution<size_t>(0, live.size() - 1)(rng_)];
    SNYLTDYR_ENGINE_OK(SetToBookmark(cur, reinterpret_cast<const uint8_t*>(&recno)));
    if (o < 8) {
      SNYLTDYR_ENGINE_OK(GetRecord(cur, LockMode::kWriteLock, buf.data(), nullptr));
      const std::vector<FieldValue> row = RandomRow();
      for (uint16_t f = 1; f <= 3; ++f)
        if (std::uniform_int_distribution<int>(0, 1)(rng_)) SNYLTDYR_ENGINE_OK(PutField(cur, f, buf.data(), row[f - 1]));
      SNYLTDYR_ENGINE_OK(ModifyRecord(cur, buf.data(), true));
    } else {
      SNYLTDYR_ENGINE_OK(DeleteRecord(cur));
    }
  }
  EXPECT_EQ(Walk(cur), SortedBy(0));
  std::vector<uint32_t> backwards = Walk(cur, false);
  std::reverse(backwards.begin(), backwards.end());
  EXPECT_EQ(backwards, SortedBy(0));
  SNYLTDYR_ENGINE_OK(SwitchToIndex(cur, "", "BYGG", 0, false));
  EXPECT_EQ(Walk(cur), SortedBy(1));
  CloseCursor(cur);
  EXPECT_EQ(Problems(dir_.File("OBS.DBF"), dir_.File("OBS.MDX")), "");
}

TEST_F(IndexApiTest, SwitchingIndexKeepsTheCurrentRecord) {
  CreateObs(40);
  Handle cur = Open("", ShareMode::kExclusive);
  SNYLTDYR_ENGINE_OK(AddIndex(db_, cur, OnField("DATO", 1)));
  IndexDescriptor unique = OnField("KAR", 2);
  unique.unique = true;
  SNYLTDYR_ENGINE_OK(AddIndex(db_, cur, unique));
  SNYLTDYR_ENGINE_OK(SwitchToIndex(cur, "", "DATO", 0, false));
  RecordProperties props;
  for (int i = 0; i < 17; ++i) SNYLTDYR_ENGINE_OK(GetNextRecord(cur, LockMode::kNoLock, nullptr, &props));
  const uint32_t here = props.physical_number;
  SNYLTDYR_ENGINE_OK(SwitchToIndex(cur, "", "", 0, true));  // record order
  SNYLTDYR_ENGINE_OK(GetRecord(cur, LockMode::kNoLock, nullptr, &props));
  EXPECT_EQ(props.physical_number, here);
  SNYLTDYR_ENGINE_OK(SwitchToIndex(cur, "", "DATO", 0, true));
  SNYLTDYR_ENGINE_OK(GetRecord(cur, LockMode::kNoLock, nullptr, &props));
  EXPECT_EQ(props.physical_number, here);
  // The next record is the next in date order.
  const std::vector<uint32_t> order = SortedBy(0);
  const auto at = std::find(order.begin(), order.end(), here);
  ASSERT_NE(at + 1, order.end());
  SNYLTDYR_ENGINE_OK(GetNextRecord(cur, LockMode::kNoLock, nullptr, &props));
  EXPECT_EQ(props.physical_number, *(at + 1));

  // A unique tag holds only the first record of each key: the others cannot stay.
  const testing::MemTable t = testing::ReadDbf(dir_.File("OBS.DBF"));
  uint32_t second = 0;
  for (uint32_t r = 2; r <= t.records.size() && second == 0; ++r)
    for (uint32_t q = 1; q < r; ++q)
      if (t.View(r).Raw(1) == t.View(q).Raw(1)) second = r;
  ASSERT_NE(second, 0u);
  SNYLTDYR_ENGINE_OK(SetToBookmark(cur, reinterpret_cast<const uint8_t*>(&second)));
  EXPECT_EQ(SwitchToIndex(cur, "", "KAR", 0, true), kErrCannotStayOnRecord);
  SNYLTDYR_ENGINE_OK(GetRecord(cur, LockMode::kNoLock, nullptr, &props));
  EXPECT_EQ(props.physical_number, second) << "a failed switch leaves the order alone";
  SNYLTDYR_ENGINE_OK(SwitchToIndex(cur, "", "KAR", 0, false));

  EXPECT_EQ(SwitchToIndex(cur, "", "NOSUCH", 0, false), kErrIndexNotFound);
  EXPECT_EQ(SwitchToIndex(cur, "OTHER.NDX", "", 0, false), kErrIndexNotFound);
  EXPECT_EQ(OpenIndexFile(cur, "obs.mdx"), kErrIndexAlreadyOpen);
  CloseCursor(cur);
  EXPECT_EQ(Problems(dir_.File("OBS.DBF"), dir_.File("OBS.MDX")), "");
}

TEST_F(IndexApiTest, AddingIndexesRefusesBadRequests) {
  CreateObs(5);
  Handle shared = Open("");
  EXPECT_EQ(AddIndex(db_, shared, OnField("DATO", 1)), kErrTableInUse) << "a new index file needs the table alone";
  CloseCursor(shared);
  SNYLTDYR_ENGINE_OK(AddIndexToTable(db_, "obs.dbf", "DBASE", OnField("DATO", 1)));
  Handle cur = Open("DATO");
  ASSERT_EQ(last_, kOk);
  EXPECT_NE(AddIndex(db_, cur, OnField("dato", 2)), kOk);
  EXPECT_NE(LastErrorText().find("already exists"), std::string::npos) << LastErrorText();
  EXPECT_EQ(AddIndex(db_, cur, OnField("X", 9)), kErrInvalidFieldNumber);
  EXPECT_EQ(AddIndex(db_, cur, OnField("KOMENT", 4)), kErrFieldTypeMismatch);
  IndexDescriptor expr;
  expr.tag_name = "EXPR";
  expr.expression = true;
  expr.key_expression = "BYGG+NOSUCH";
  EXPECT_NE(AddIndex(db_, cur, expr), kOk);
  EXPECT_NE(LastErrorText().find("unknown field NOSUCH"), std::string::npos) << LastErrorText();
  // A tag added while the table is shared is kept by every opening from then on.
  expr.key_expression = "BYGG+DTOS(DATO)";
  expr.case_insensitive = true;
  SNYLTDYR_ENGINE_OK(AddIndex(db_, cur, expr));
  Handle other = Open("EXPR");
  ASSERT_EQ(last_, kOk) << LastErrorText();
  testsupport::AppendRow(cur, RandomRow());
  testsupport::AppendRow(other, RandomRow());
  CloseCursor(other);
  CloseCursor(cur);
  EXPECT_EQ(Problems(dir_.File("OBS.DBF"), dir_.File("OBS.MDX")), "");
}

TEST_F(IndexApiTest, AWalkGoesOnInOrderWhileAnotherOpeningSplitsItsLeaves) {
  CreateObs(60);  // one leaf, which the writer's records split into a tree
  ASSERT_EQ(AddIndexToTable(db_, "OBS.DBF", "DBASE", OnField("DATO", 1)), kOk) << LastErrorText();
  Handle reader = Open("DATO");
  Handle marker = Open("DATO");  // looks at the tree only after the writer has grown it
  Handle writer = Open("DATO");
  ASSERT_EQ(last_, kOk) << LastErrorText();
  std::vector<uint32_t> seen;
  RecordProperties props;
  SetToBeginning(reader);
  for (int i = 0; i < 30; ++i) {
    ASSERT_EQ(GetNextRecord(reader, LockMode::kNoLock, nullptr, &props), kOk);
    seen.push_back(props.physical_number);
  }
  for (int i = 0; i < 400; ++i) testsupport::AppendRow(writer, RandomRow());
  Result walk_end = kOk;
  while ((walk_end = GetNextRecord(reader, LockMode::kNoLock, nullptr, &props)) == kOk) seen.push_back(props.physical_number);
  EXPECT_EQ(walk_end, kErrEndOfTable) << LastErrorText();
  // Every record that was there is seen once, and all of them in date order.
  const testing::MemTable t = testing::ReadDbf(dir_.File("OBS.DBF"));
  std::vector<uint32_t> sorted_seen = seen;
  std::sort(sorted_seen.begin(), sorted_seen.end());
  EXPECT_EQ(std::adjacent_find(sorted_seen.begin(), sorted_seen.end()), sorted_seen.end()) << "a record came twice";
  for (uint32_t r = 1; r <= 60; ++r)
    EXPECT_TRUE(std::binary_search(sorted_seen.begin(), sorted_seen.end(), r)) << "record " << r << " was skipped";
  for (size_t i = 1; i < seen.size(); ++i)
    ASSERT_LE(t.View(seen[i - 1]).Raw(0), t.View(seen[i]).Raw(0)) << "out of date order at " << i;
  // A bookmark finds its record in the grown tree, and the walk goes on from there.
  const std::vector<uint32_t> order = SortedBy(0);
  const uint32_t mark = order[order.size() / 2];
  SNYLTDYR_ENGINE_OK(SetToBookmark(marker, reinterpret_cast<const uint8_t*>(&mark)));
  SNYLTDYR_ENGINE_OK(GetNextRecord(marker, LockMode::kNoLock, nullptr, &props));
  EXPECT_EQ(props.physical_number, order[order.size() / 2 + 1]);
  CloseCursor(marker);
  CloseCursor(reader);
  CloseCursor(writer);
  EXPECT_EQ(Problems(dir_.File("OBS.DBF"), dir_.File("OBS.MDX")), "");
}

// Patches the bytes of the first tag of OBS.MDX.
void PatchTag(const std::string& mdx, const std::function<void(std::string& header, MdxFile& f, MdxTag& t)>& patch) {
  std::unique_ptr<MdxFile> f;
  ASSERT_TRUE(MdxFile::Open(mdx, true, f));
  std::unique_ptr<MdxTag> t;
  ASSERT_TRUE(MdxTag::Load(*f, f->tags()[0], t));
  std::string header;
  ASSERT_TRUE(f->ReadBlock(t->header_page(), header));
  patch(header, *f, *t);
}

TEST_F(IndexApiTest, AnIndexThatCannotBeWrittenMakesTheTableReadOnlyWithAReason) {
  CreateObs(80);
  ASSERT_EQ(AddIndexToTable(db_, "OBS.DBF", "DBASE", OnField("BYGG", 2)), kOk) << LastErrorText();
  const std::string mdx = dir_.File("OBS.MDX");
  const std::string good = [&] {
    std::ifstream in(mdx, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }();
  auto restore = [&] { std::ofstream(mdx, std::ios::binary | std::ios::trunc) << good; };

  // A key expression this engine cannot evaluate.
  PatchTag(mdx, [](std::string& h, MdxFile& f, MdxTag& t) {
    std::memcpy(&h[24], "SOUNDEX(BYGG)", 14);
    ASSERT_TRUE(f.WriteBlock(t.header_page(), h));
  });
  Open("BYGG");
  EXPECT_EQ(last_, kErrTableReadOnly);
  EXPECT_NE(LastErrorText().find("SOUNDEX(BYGG)"), std::string::npos) << LastErrorText();
  // Its entries cannot be checked: the tag gives no order, record order every record.
  Open("BYGG", ShareMode::kShared, OpenMode::kReadOnly);
  EXPECT_EQ(last_, kErrIndexOutOfDate);
  Handle ro = Open("", ShareMode::kShared, OpenMode::kReadOnly);
  ASSERT_EQ(last_, kOk) << LastErrorText();
  EXPECT_EQ(Walk(ro).size(), SortedBy(1).size());
  std::vector<uint8_t> buf = testsupport::NewBuffer(ro);
  EXPECT_EQ(AppendRecord(ro, buf.data()), kErrTableReadOnly);
  CloseCursor(ro);

  // Keys in another character order: the first two entries of a leaf trade places.
  restore();
  PatchTag(mdx, [](std::string&, MdxFile& f, MdxTag& t) {
    MdxPath path;
    bool found = false;
    ASSERT_TRUE(t.First(path, found));
    std::string block;
    ASSERT_TRUE(f.ReadBlock(path.back().node.page, block));
    const size_t item = (t.key_length() + 4 + 3) / 4 * 4;
    size_t at = 0;  // two neighbours with different keys
    while (block.compare(8 + at * item + 4, t.key_length(), block, 8 + (at + 1) * item + 4, t.key_length()) == 0) ++at;
    std::string first = block.substr(8 + at * item, item);
    block.replace(8 + at * item, item, block.substr(8 + (at + 1) * item, item));
    block.replace(8 + (at + 1) * item, item, first);
    ASSERT_TRUE(f.WriteBlock(path.back().node.page, block));
  });
  Open("BYGG");
  EXPECT_EQ(last_, kErrTableReadOnly);
  EXPECT_NE(LastErrorText().find("collation"), std::string::npos) << LastErrorText();

  // Keys out of step with the data: a record's key points at another record.
  restore();
  PatchTag(mdx, [](std::string&, MdxFile& f, MdxTag& t) {
    MdxPath path;
    bool found = false;
    ASSERT_TRUE(t.Last(path, found));
    std::string block;
    ASSERT_TRUE(f.ReadBlock(path.back().node.page, block));
    const size_t item = (t.key_length() + 4 + 3) / 4 * 4;
    block[8 + path.back().idx * item + 4] = 'A';  // the greatest key becomes the least
    ASSERT_TRUE(f.WriteBlock(path.back().node.page, block));
  });
  Open("BYGG");
  EXPECT_EQ(last_, kErrTableReadOnly);
  EXPECT_NE(LastErrorText().find("does not agree"), std::string::npos) << LastErrorText();

  restore();
  Handle fine = Open("BYGG");
  EXPECT_EQ(last_, kOk) << LastErrorText();
  CloseCursor(fine);

  // A record appended by a program that left the index alone.
  std::string dbf = [&] {
    std::ifstream in(dir_.File("OBS.DBF"), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }();
  const uint32_t count = static_cast<uint8_t>(dbf[4]) | static_cast<uint8_t>(dbf[5]) << 8;
  const size_t hl = static_cast<uint8_t>(dbf[8]) | static_cast<uint8_t>(dbf[9]) << 8;
  const size_t rl = static_cast<uint8_t>(dbf[10]) | static_cast<uint8_t>(dbf[11]) << 8;
  dbf.insert(hl + count * rl, dbf.substr(hl, rl));
  dbf[4] = static_cast<char>(count + 1);
  std::ofstream(dir_.File("OBS.DBF"), std::ios::binary | std::ios::trunc) << dbf;
  Open("BYGG");
  EXPECT_EQ(last_, kErrTableReadOnly);
  EXPECT_NE(LastErrorText().find("81 records"), std::string::npos) << LastErrorText();
}

TEST_F(IndexApiTest, RealTablesOpenInTagOrderAndStayValidAfterOurWrites) {
  SKIP_WITHOUT_FIXTURES();
  const fs::path from = testing::RealFixtures() / "plc-project" / "UnitTest" / "ombstx" / "offline" / "00000002";
  for (const char* f : {"BAUSTEIN.DBF", "BAUSTEIN.DBT", "BAUSTEIN.MDX"}) fs::copy_file(from / f, fs::path(dir_.path()) / f);
  // Its header names no code page, and its text fits none: the code page is declared.
  std::ofstream(fs::path(dir_.path()) / "BAUSTEIN.CPG") << "437\n";
  OpenTableArgs args;
  args.database = db_;
  args.table_name = "baustein.dbf";
  args.index_tag = "TYPNUMBER_";
  Handle cur = kNoHandle;
  ASSERT_EQ(OpenTable(args, cur), kOk) << LastErrorText();
  std::vector<uint8_t> buf = testsupport::NewBuffer(cur);
  std::string last_key;
  RecordProperties props;
  size_t seen = 0;
  while (GetNextRecord(cur, LockMode::kNoLock, buf.data(), &props) == kOk) {
    FieldValue typ, num;
    GetField(cur, 2, buf.data(), typ);
    GetField(cur, 3, buf.data(), num);
    const std::string key = typ.text + "|" + num.text;
    EXPECT_LE(last_key, key);
    EXPECT_FALSE(props.deleted);
    last_key = key;
    ++seen;
  }
  EXPECT_EQ(seen, 10u);  // 11 records, one deleted
  // Add one, change one, delete one.
  testsupport::AppendRow(cur, {Number(77), Text("00010"), Text("99999"), Text(""), Number(0)});
  SNYLTDYR_ENGINE_OK(SetToBeginning(cur));
  SNYLTDYR_ENGINE_OK(GetNextRecord(cur, LockMode::kWriteLock, buf.data(), nullptr));
  SNYLTDYR_ENGINE_OK(PutField(cur, 3, buf.data(), Text("00000")));
  SNYLTDYR_ENGINE_OK(ModifyRecord(cur, buf.data(), true));
  SNYLTDYR_ENGINE_OK(GetNextRecord(cur, LockMode::kNoLock, buf.data(), nullptr));
  SNYLTDYR_ENGINE_OK(DeleteRecord(cur));
  CloseCursor(cur);
  EXPECT_EQ(Problems(fs::path(dir_.path()) / "BAUSTEIN.DBF", fs::path(dir_.path()) / "BAUSTEIN.MDX"), "");
}

}  // namespace
}  // namespace snyltdyr::engine
