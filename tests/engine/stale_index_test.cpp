// Indexes that do not agree with their table: found on the way and never read through,
// refused before a write changes anything, completed after a writer stopped half way,
// and rebuilt with every tag's definition. Also: names that differ only in case, and
// error entries that belong to the failure at hand.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "index_test_support.h"
#include "storage/engine/engine.h"
#include "storage/engine/index/index_freshness.h"
#include "storage/engine/index/index_production.h"
#include "support/table_builder.h"
#include "support/temp_dir.h"

namespace snyltdyr::engine {
namespace {

namespace fs = std::filesystem;
using testsupport::Date;
using testsupport::Number;
using testsupport::Text;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

const auto ErrorText = testing::ErrorEntriesText;

class StaleIndexTest : public ::testing::Test {
 protected:
  // OBS.DBF with 300 records (DATO D, BYGG C9, TALL N8.2, KOMENT M) and the tags DATO
  // and BYGG.
  void SetUp() override {
    db_ = engine_.Database(dir_.path());
    testsupport::CreateTable(db_, "OBS.DBF",
                             {{"DATO", 'D'}, {"BYGG", 'C', 9}, {"TALL", 'N', 8, 2}, {"KOMENT", 'M'}},
                             0x17);
    Handle cur = testsupport::OpenCursor(db_, "OBS.DBF");
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> day(1, 28), mon(1, 12), year(2000, 2020), kar(1, 30);
    for (int i = 0; i < 300; ++i)
      testsupport::AppendRow(cur, {Date(year(rng), mon(rng), day(rng)),
                                   Text("K" + std::to_string(kar(rng))), Number(i), Text("")});
    CloseCursor(cur);
    for (auto [tag, field] : {std::pair{"DATO", 1}, std::pair{"BYGG", 2}}) {
      IndexDescriptor d;
      d.tag_name = tag;
      d.field_numbers = {static_cast<uint16_t>(field)};
      SNYLTDYR_ENGINE_OK(AddIndexToTable(db_, "OBS.DBF", "DBASE", d));
    }
  }

  Handle Open(const std::string& tag, OpenMode mode = OpenMode::kReadWrite) {
    OpenTableArgs args;
    args.database = db_;
    args.table_name = "OBS.DBF";
    args.index_tag = tag;
    args.open_mode = mode;
    Handle cur = kNoHandle;
    last_ = OpenTable(args, cur);
    return cur;
  }

  // Another program changes record `recno`'s date in place, leaving the index alone.
  // With `dated_later` its file is dated after the index, as a save some time later
  // leaves it; without, the two keep one time (a change the file times cannot show,
  // found only when a walk or a write reaches the record).
  void ChangeDateBehindTheIndex(uint32_t recno, const char* yyyymmdd, bool dated_later = false) {
    std::string dbf = Slurp(dir_.File("OBS.DBF"));
    const testing::MemTable t = testing::ReadDbf(dir_.File("OBS.DBF"));
    const size_t hl = static_cast<uint8_t>(dbf[8]) | static_cast<uint8_t>(dbf[9]) << 8;
    std::memcpy(&dbf[hl + (recno - 1) * t.record_length + t.fields[0].offset], yyyymmdd, 8);
    std::ofstream(dir_.File("OBS.DBF"), std::ios::binary | std::ios::trunc) << dbf;
    DateFiles(dated_later ? 2 : 0, 0);
  }

  // Dates the data file `dbf_seconds` and the index `mdx_seconds` from the index's time.
  void DateFiles(int dbf_seconds, int mdx_seconds) {
    struct stat mdx {};
    ASSERT_EQ(stat(dir_.File("OBS.MDX").c_str(), &mdx), 0);
    for (auto [file, seconds] : {std::pair{"OBS.DBF", dbf_seconds}, std::pair{"OBS.MDX", mdx_seconds}}) {
      timespec times[2] = {mdx.st_mtim, mdx.st_mtim};
      times[0].tv_sec += seconds;
      times[1].tv_sec += seconds;
      ASSERT_EQ(utimensat(AT_FDCWD, dir_.File(file).c_str(), times, 0), 0);
    }
  }

  // Overwrites `bytes.size()` bytes of `file` at `offset`.
  void Patch(const std::string& file, size_t offset, const std::string& bytes) {
    std::string all = Slurp(dir_.File(file));
    ASSERT_LE(offset + bytes.size(), all.size());
    all.replace(offset, bytes.size(), bytes);
    std::ofstream(dir_.File(file), std::ios::binary | std::ios::trunc) << all;
  }

  // Sets field 3 (TALL) of every record the cursor shows in one pass.
  Result RewriteTall(Handle cur, double value, RewriteReport& report) {
    std::vector<uint8_t> buf = testsupport::NewBuffer(cur);
    return RewriteRecords(
        cur, buf.data(), [&](uint32_t) { return PutField(cur, 3, buf.data(), Number(value)); }, {},
        report);
  }

  // The record numbers a walk delivers, and the code that ended it.
  std::vector<uint32_t> Walk(Handle cur, Result& ended) {
    std::vector<uint32_t> out;
    SetToBeginning(cur);
    RecordProperties props;
    while ((ended = GetNextRecord(cur, LockMode::kNoLock, nullptr, &props)) == kOk)
      out.push_back(props.physical_number);
    return out;
  }

  std::string Problems() { return testing::IndexProblems(dir_.File("OBS.DBF"), dir_.File("OBS.MDX")); }

  testsupport::EngineSession engine_;
  testsupport::TempDir dir_;
  Handle db_ = kNoHandle;
  Result last_ = kOk;
};

// Record 8 is none of the records the opening check looks up (every third from the
// first, and the last twenty), so the change is found when a walk or a write reaches it.
constexpr uint32_t kUnsampled = 8;

TEST_F(StaleIndexTest, AWalkStopsAtTheFirstRecordFiledUnderAnotherKey) {
  ChangeDateBehindTheIndex(kUnsampled, "19500101");
  Handle cur = Open("DATO");
  ASSERT_EQ(last_, kOk) << ErrorText();
  Result ended = kOk;
  const std::vector<uint32_t> seen = Walk(cur, ended);
  EXPECT_EQ(ended, kErrIndexOutOfDate);
  const std::string text = ErrorText();
  EXPECT_NE(text.find("tag DATO: record 8 is filed under"), std::string::npos) << text;
  EXPECT_NE(text.find("snyltdyr-cli reindex \"" + dir_.path() + "\""), std::string::npos) << text;
  EXPECT_LT(seen.size(), 300u);
  EXPECT_EQ(std::count(seen.begin(), seen.end(), kUnsampled), 0);

  // From now on the tag gives nothing: not the order, not the count, not a place.
  EXPECT_EQ(Walk(cur, ended).size(), 0u);
  EXPECT_EQ(ended, kErrIndexOutOfDate);
  uint32_t count = 0;
  EXPECT_EQ(GetExactRecordCount(cur, count), kErrIndexOutOfDate);
  EXPECT_EQ(SwitchToIndex(cur, "", "DATO", 0, false), kErrIndexOutOfDate);
  // Nothing is written into an index found so; the sound tag is still read.
  const std::string dbf = Slurp(dir_.File("OBS.DBF")), mdx = Slurp(dir_.File("OBS.MDX"));
  std::vector<uint8_t> buf = testsupport::NewBuffer(cur);
  EXPECT_EQ(AppendRecord(cur, buf.data()), kErrIndexOutOfDate);
  CursorProperties props;
  ASSERT_EQ(GetCursorProperties(cur, props), kOk);
  EXPECT_NE(props.write_refusal.find("does not agree"), std::string::npos) << props.write_refusal;
  ASSERT_EQ(SwitchToIndex(cur, "", "BYGG", 0, false), kOk);
  EXPECT_EQ(Walk(cur, ended).size(), 300u);
  EXPECT_EQ(ended, kErrEndOfTable);
  CloseCursor(cur);
  EXPECT_EQ(Slurp(dir_.File("OBS.DBF")), dbf);
  EXPECT_EQ(Slurp(dir_.File("OBS.MDX")), mdx);
}

TEST_F(StaleIndexTest, ARecordFiledElsewhereIsNotRewrittenOrDeleted) {
  ChangeDateBehindTheIndex(kUnsampled, "19500101");
  const std::string dbf = Slurp(dir_.File("OBS.DBF")), mdx = Slurp(dir_.File("OBS.MDX"));
  Handle cur = Open("");  // record order
  ASSERT_EQ(last_, kOk) << ErrorText();
  std::vector<uint8_t> buf = testsupport::NewBuffer(cur);
  for (uint32_t i = 0; i < kUnsampled; ++i)
    ASSERT_EQ(GetNextRecord(cur, LockMode::kNoLock, buf.data(), nullptr), kOk);
  ASSERT_EQ(GetRecord(cur, LockMode::kWriteLock, buf.data(), nullptr), kOk);
  ASSERT_EQ(PutField(cur, 3, buf.data(), Number(1)), kOk);
  EXPECT_EQ(ModifyRecord(cur, buf.data(), true), kErrIndexOutOfDate);
  const std::string text = ErrorText();
  EXPECT_NE(text.find("record 8 is not filed under 19500101"), std::string::npos) << text;
  EXPECT_EQ(DeleteRecord(cur), kErrIndexOutOfDate);
  CloseCursor(cur);
  EXPECT_EQ(Slurp(dir_.File("OBS.DBF")), dbf);
  EXPECT_EQ(Slurp(dir_.File("OBS.MDX")), mdx);
}

TEST_F(StaleIndexTest, AChangeLeftHalfDoneIsCompletedWhenTheTableOpensForWriting) {
  // A writer stopped after it took record 5's keys out and rewrote it: the pending mark
  // names the record, and its entries are missing.
  {
    const testing::MemTable t = testing::ReadDbf(dir_.File("OBS.DBF"));
    std::unique_ptr<ProductionIndex> index;
    ASSERT_TRUE(ProductionIndex::Open(dir_.File("OBS.MDX"), t.fields, t.code_page, true, index));
    for (const auto& tag : index->tags()) {
      bool found = false;
      ASSERT_TRUE(tag.mdx->Remove(*ProductionIndex::KeyOf(tag, t.View(5)), 5, found));
      ASSERT_TRUE(found);
    }
    ASSERT_TRUE(index->file().SetPendingRecord(5));
  }
  EXPECT_NE(Problems(), "");
  Handle reader = Open("DATO", OpenMode::kReadOnly);  // a reader cannot complete it
  ASSERT_EQ(last_, kErrIndexOutOfDate) << ErrorText();
  EXPECT_NE(ErrorText().find("a change of record 5 was interrupted"), std::string::npos) << ErrorText();
  EXPECT_EQ(reader, kNoHandle);

  Handle cur = Open("DATO");
  ASSERT_EQ(last_, kOk) << ErrorText();
  Result ended = kOk;
  EXPECT_EQ(Walk(cur, ended).size(), 300u);
  CloseCursor(cur);
  EXPECT_EQ(Problems(), "");
  EXPECT_EQ(Slurp(dir_.File("OBS.MDX")).substr(48, 12), std::string(12, '\0'));
}

TEST_F(StaleIndexTest, TheRebuildKeepsEveryDefinitionAndTheOldFileAndNeedsTheTableAlone) {
  // Tags of every kind: descending, unique, with a FOR condition.
  {
    const testing::MemTable t = testing::ReadDbf(dir_.File("OBS.DBF"));
    std::unique_ptr<ProductionIndex> index;
    ASSERT_TRUE(ProductionIndex::Open(dir_.File("OBS.MDX"), t.fields, t.code_page, true, index));
    ASSERT_TRUE(index->AddTags({{"TALLNED", "TALL", true, false, ""},
                                {"KARENE", "BYGG", false, true, ""},
                                {"LEVENDE", "DTOS(DATO)", false, false, ".NOT. DELETED()"}},
                               t.Indexed()));
  }
  ChangeDateBehindTheIndex(kUnsampled, "19500101");
  const std::string old_mdx = Slurp(dir_.File("OBS.MDX"));
  auto definitions = [&] {
    std::vector<std::string> out;
    std::unique_ptr<MdxFile> f;
    EXPECT_TRUE(MdxFile::Open(dir_.File("OBS.MDX"), false, f));
    for (const MdxTagEntry& e : f->tags()) {
      std::unique_ptr<MdxTag> t;
      EXPECT_TRUE(MdxTag::Load(*f, e, t));
      out.push_back(t->name() + " " + t->expression() + (t->descending() ? " desc" : "") +
                    (t->unique() ? " unique" : "") + (t->has_for() ? " for " + t->for_expression() : ""));
    }
    return out;
  };
  const std::vector<std::string> before = definitions();
  ASSERT_EQ(before.size(), 5u);

  Handle other = Open("");  // someone else has the table open
  RebuildReport report;
  EXPECT_EQ(RebuildIndex(db_, "OBS.DBF", "DBASE", {}, report), kErrTableInUse);
  EXPECT_NE(ErrorText().find("no one else has the table open"), std::string::npos) << ErrorText();
  CloseCursor(other);
  EXPECT_EQ(Slurp(dir_.File("OBS.MDX")), old_mdx);

  uint32_t calls = 0, last = 0;
  SNYLTDYR_ENGINE_OK(RebuildIndex(db_, "OBS.DBF", "DBASE",
                                  [&](uint32_t done, uint32_t records) {
                                    ++calls;
                                    last = done;
                                    EXPECT_EQ(records, 300u);
                                  },
                                  report));
  EXPECT_GT(calls, 0u);
  EXPECT_EQ(last, 300u);
  EXPECT_EQ(report.tags, (std::vector<std::string>{"DATO", "BYGG", "TALLNED", "KARENE", "LEVENDE"}));
  EXPECT_EQ(report.records, 300u);
  EXPECT_EQ(report.backup_file, dir_.File("OBS.MDX.bak"));
  EXPECT_EQ(Slurp(dir_.File("OBS.MDX.bak")), old_mdx);
  EXPECT_EQ(definitions(), before);
  EXPECT_EQ(Problems(), "");
  Handle cur = Open("DATO");
  ASSERT_EQ(last_, kOk) << ErrorText();
  CloseCursor(cur);

  // Without the index file the definitions come from its copy, and without either from
  // the fields the table's header marks as indexed.
  fs::remove(dir_.File("OBS.MDX"));
  SNYLTDYR_ENGINE_OK(RebuildIndex(db_, "OBS.DBF", "DBASE", {}, report));
  EXPECT_EQ(report.definitions_from, dir_.File("OBS.MDX.bak"));
  EXPECT_EQ(definitions(), before);
  fs::remove(dir_.File("OBS.MDX"));
  fs::remove(dir_.File("OBS.MDX.bak"));
  SNYLTDYR_ENGINE_OK(RebuildIndex(db_, "OBS.DBF", "DBASE", {}, report));
  EXPECT_EQ(report.definitions_from, "the fields");
  EXPECT_EQ(report.tags, (std::vector<std::string>{"DATO", "BYGG", "TALL"}));  // TALLNED's field
  EXPECT_EQ(Problems(), "");
}

TEST_F(StaleIndexTest, NamesThatDifferOnlyInCaseAreRefusedNamingBoth) {
  Handle cur = Open("DATO");
  ASSERT_EQ(last_, kOk);
  CloseCursor(cur);
  for (const char* twin : {"obs.dbt", "Obs.Mdx", "obs.dbf"}) {
    const std::string from = std::string(twin) == "obs.dbt" ? "OBS.DBT"
                             : std::string(twin) == "Obs.Mdx" ? "OBS.MDX" : "OBS.DBF";
    fs::copy_file(dir_.File(from), dir_.File(twin));
    Open("DATO");
    EXPECT_EQ(last_, kErrAmbiguousFileName) << twin;
    const std::string text = ErrorText();
    EXPECT_NE(text.find(from), std::string::npos) << text;
    EXPECT_NE(text.find(twin), std::string::npos) << text;
    fs::remove(dir_.File(twin));
  }
}

TEST_F(StaleIndexTest, EveryFailureCarriesItsOwnEntriesOnly) {
  Handle first = Open("DATO");
  Handle second = Open("DATO");
  std::vector<uint8_t> buf = testsupport::NewBuffer(first);
  ASSERT_EQ(GetNextRecord(first, LockMode::kWriteLock, buf.data(), nullptr), kOk);
  ASSERT_EQ(GetNextRecord(second, LockMode::kWriteLock, buf.data(), nullptr), kErrRecordLocked);
  CursorProperties props;
  ASSERT_EQ(GetCursorProperties(second, props), kOk);  // a success empties the stack
  ErrorEntry e;
  EXPECT_EQ(GetErrorEntry(1, e), kErrNoMoreEntries);
  // Moving to a record whose key changed behind the index: its own failure, alone.
  ChangeDateBehindTheIndex(kUnsampled, "19500101");
  uint8_t bookmark[4];
  std::memcpy(bookmark, &kUnsampled, 4);
  EXPECT_EQ(SetToBookmark(second, bookmark), kErrIndexOutOfDate);
  const std::string text = ErrorText();
  EXPECT_NE(text.find("record 8 has no entry under 19500101"), std::string::npos) << text;
  EXPECT_EQ(text.find("locked"), std::string::npos) << text;
  CloseCursor(first);
  CloseCursor(second);
}

TEST_F(StaleIndexTest, AChangeInPlaceIsFoundInFullBeforeTheTableIsWrittenOrOrdered) {
  ChangeDateBehindTheIndex(kUnsampled, "19500101", /*dated_later=*/true);
  const std::string dbf = Slurp(dir_.File("OBS.DBF")), mdx = Slurp(dir_.File("OBS.MDX"));
  Handle cur = Open("");
  EXPECT_EQ(last_, kErrTableReadOnly);
  EXPECT_EQ(cur, kNoHandle);
  std::string text = ErrorText();
  EXPECT_NE(text.find("tag DATO: record 8 is filed under"), std::string::npos) << text;
  EXPECT_NE(text.find("snyltdyr-cli reindex"), std::string::npos) << text;
  // Read only, the tag gives no order (nor a wrong count); record order gives every record.
  Open("DATO", OpenMode::kReadOnly);
  EXPECT_EQ(last_, kErrIndexOutOfDate) << ErrorText();
  cur = Open("", OpenMode::kReadOnly);
  ASSERT_EQ(last_, kOk) << ErrorText();
  uint32_t count = 0;
  EXPECT_EQ(GetExactRecordCount(cur, count), kOk);
  EXPECT_EQ(count, 300u);
  CloseCursor(cur);
  EXPECT_EQ(Slurp(dir_.File("OBS.DBF")), dbf);
  EXPECT_EQ(Slurp(dir_.File("OBS.MDX")), mdx);

  RebuildReport report;
  SNYLTDYR_ENGINE_OK(RebuildIndex(db_, "OBS.DBF", "DBASE", {}, report));
  cur = Open("DATO");
  EXPECT_EQ(last_, kOk) << ErrorText();
  CloseCursor(cur);
}

TEST_F(StaleIndexTest, OurOwnWritesLeaveTheIndexDatedAfterTheData) {
  DateFiles(-5, -5);  // so that a write now would leave the data file newer
  Handle cur = Open("");
  ASSERT_EQ(last_, kOk) << ErrorText();
  RewriteReport report;
  ASSERT_EQ(RewriteTall(cur, 7.5, report), kOk) << ErrorText();
  EXPECT_EQ(report.written, 300u);  // no key moved: the index file was not written
  std::vector<uint8_t> buf = testsupport::NewBuffer(cur);
  SetToBeginning(cur);
  ASSERT_EQ(GetNextRecord(cur, LockMode::kWriteLock, buf.data(), nullptr), kOk);
  ASSERT_EQ(PutField(cur, 3, buf.data(), Number(8)), kOk);
  ASSERT_EQ(ModifyRecord(cur, buf.data(), true), kOk) << ErrorText();
  CloseCursor(cur);
  EXPECT_FALSE(DataChangedBehindIndex(dir_.File("OBS.DBF"), dir_.File("OBS.MDX")));
  cur = Open("DATO");
  EXPECT_EQ(last_, kOk) << ErrorText();
  CloseCursor(cur);
}

// A pass that changes the keyed field of some records files those anew, and writes the
// others (whose keys it need not make again) in runs: the index agrees with the data
// after it, and the tag's order is the order of the new keys.
TEST_F(StaleIndexTest, APassFilesAnewOnlyTheRecordsWhoseKeyedFieldItChanged) {
  Handle cur = Open("");
  ASSERT_EQ(last_, kOk) << ErrorText();
  std::vector<uint8_t> buf = testsupport::NewBuffer(cur);
  RewriteReport report;
  ASSERT_EQ(RewriteRecords(
                cur, buf.data(),
                [&](uint32_t recno) {
                  if (Result r = PutField(cur, 3, buf.data(), Number(recno % 7))) return r;
                  if (recno % 3 != 0) return kOk;
                  return PutField(cur, 2, buf.data(), Text("Z" + std::to_string(1000 - recno)));
                },
                {}, report),
            kOk)
      << ErrorText();
  CloseCursor(cur);
  EXPECT_EQ(Problems(), "");
  cur = Open("BYGG");
  ASSERT_EQ(last_, kOk) << ErrorText();
  Result ended = kOk;
  const std::vector<uint32_t> order = Walk(cur, ended);
  EXPECT_EQ(ended, kErrEndOfTable);
  ASSERT_EQ(order.size(), 300u);
  // The renamed records come last ("Z..." after "K..."), the highest number first.
  for (size_t i = 0; i < 100; ++i) EXPECT_EQ(order[200 + i], 300 - 3 * i) << i;
  CloseCursor(cur);
}

TEST_F(StaleIndexTest, NoWriteGoesThroughAnIndexChangedBehindItWhileTheTableIsOpen) {
  Handle cur = Open("");
  ASSERT_EQ(last_, kOk) << ErrorText();
  ChangeDateBehindTheIndex(kUnsampled, "19500101", /*dated_later=*/true);
  const std::string dbf = Slurp(dir_.File("OBS.DBF")), mdx = Slurp(dir_.File("OBS.MDX"));
  // The pass moves no key, so before it looked at no tag at all.
  RewriteReport report;
  EXPECT_EQ(RewriteTall(cur, 7, report), kErrIndexOutOfDate);
  EXPECT_EQ(report.written, 0u);
  std::string text = ErrorText();
  EXPECT_NE(text.find("tag DATO: record 8 is filed under"), std::string::npos) << text;
  // A single record far from the changed one: refused as well.
  std::vector<uint8_t> buf = testsupport::NewBuffer(cur);
  SetToBeginning(cur);
  ASSERT_EQ(GetNextRecord(cur, LockMode::kWriteLock, buf.data(), nullptr), kOk);
  ASSERT_EQ(PutField(cur, 3, buf.data(), Number(8)), kOk);
  EXPECT_EQ(ModifyRecord(cur, buf.data(), true), kErrIndexOutOfDate);
  CloseCursor(cur);
  EXPECT_EQ(Slurp(dir_.File("OBS.DBF")), dbf);
  EXPECT_EQ(Slurp(dir_.File("OBS.MDX")), mdx);
}

TEST_F(StaleIndexTest, ATagWhoseKeyCannotBeMadeGivesNoOrderNorCount) {
  // Another table's index: its tag DATO keys a field this table does not have.
  {
    std::unique_ptr<MdxFile> f;
    ASSERT_TRUE(MdxFile::Open(dir_.File("OBS.MDX"), false, f));
    ASSERT_EQ(f->tags()[0].name, "DATO");
    const size_t header = static_cast<size_t>(f->tags()[0].header_page) * kMdxPageSize;
    f.reset();
    Patch("OBS.MDX", header + 24, std::string("DATUM\0", 6));
  }
  Handle cur = Open("DATO", OpenMode::kReadOnly);
  EXPECT_EQ(last_, kErrIndexOutOfDate);
  EXPECT_EQ(cur, kNoHandle);
  std::string text = ErrorText();
  EXPECT_NE(text.find("\"DATUM\", which this program cannot evaluate"), std::string::npos) << text;
  cur = Open("", OpenMode::kReadOnly);
  ASSERT_EQ(last_, kOk) << ErrorText();
  EXPECT_EQ(SwitchToIndex(cur, "", "DATO", 0, false), kErrIndexOutOfDate);
  uint32_t count = 0;
  EXPECT_EQ(GetExactRecordCount(cur, count), kOk);
  EXPECT_EQ(count, 300u);
  ASSERT_EQ(SwitchToIndex(cur, "", "BYGG", 0, false), kOk);  // the other tag still serves
  Result ended = kOk;
  EXPECT_EQ(Walk(cur, ended).size(), 300u);
  CloseCursor(cur);
}

TEST_F(StaleIndexTest, AWholeWalkStopsAtARecordReachedTwiceAndTheNextOpeningSaysSo) {
  // Two records with one BYGG key, the second not among those the opening looks up:
  // its entry is made to name the first, so every record reached holds its key.
  const testing::MemTable t = testing::ReadDbf(dir_.File("OBS.DBF"));
  auto bygg = [&](uint32_t r) { return std::string(reinterpret_cast<const char*>(t.records[r - 1].data() + t.fields[1].offset), 9); };
  uint32_t first = 0, second = 0;
  for (uint32_t b = 2; b <= 280 && second == 0; ++b) {
    if (b % 3 == 1) continue;  // sampled at opening
    for (uint32_t a = 1; a < b && second == 0; ++a)
      if (bygg(a) == bygg(b)) first = a, second = b;
  }
  ASSERT_NE(second, 0u);
  std::string mdx = Slurp(dir_.File("OBS.MDX"));
  auto le = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
  const size_t at = mdx.find(le(second) + bygg(second));
  ASSERT_NE(at, std::string::npos);
  ASSERT_EQ(mdx.find(le(second) + bygg(second), at + 1), std::string::npos);
  Patch("OBS.MDX", at, le(first));

  Handle cur = Open("BYGG");
  ASSERT_EQ(last_, kOk) << ErrorText();
  Result ended = kOk;
  const std::vector<uint32_t> seen = Walk(cur, ended);
  EXPECT_EQ(ended, kErrIndexOutOfDate);
  const std::string text = ErrorText();
  EXPECT_NE(text.find("record " + std::to_string(first) + " is reached twice"), std::string::npos) << text;
  EXPECT_EQ(std::count(seen.begin(), seen.end(), first), 1);
  CloseCursor(cur);
  cur = Open("");
  EXPECT_EQ(last_, kErrTableReadOnly);
  EXPECT_NE(ErrorText().find("tag BYGG"), std::string::npos) << ErrorText();
}

TEST(CountEntries, AgreesWithAWalkOfEveryEntry) {
  testing::TempDir dir;
  testing::MemTable t;
  t.AddField("KODE", 'C', 6);
  std::mt19937 rng(3);
  for (int i = 0; i < 5000; ++i) t.Set(t.Append(), 0, std::to_string(rng() % 900));
  std::unique_ptr<ProductionIndex> index;
  ASSERT_TRUE(ProductionIndex::Create((dir.path() / "T.MDX").string(), "T", t.fields, 437, index));
  ASSERT_TRUE(index->AddTag({"KODE", "KODE"}, t.Indexed()));
  // Keys moved about, so that leaves split, empty and go: the tree is no longer the one
  // built in one go.
  for (uint32_t r = 1; r <= 3000; ++r) {
    const std::vector<uint8_t> old = t.records[r - 1];
    t.Set(r, 0, std::to_string(rng() % 40));
    const RecordView before{&t.fields, old.data(), t.code_page};
    const RecordView after = t.View(r);
    ASSERT_TRUE(index->Apply(r, &before, &after, t.Indexed()));
  }
  uint64_t counted = 0;
  ASSERT_TRUE(index->tags()[0].mdx->CountEntries(counted));
  const MdxTag& tag = *index->tags()[0].mdx;
  MdxPath path;
  bool found = false;
  uint64_t walked = 0;
  ASSERT_TRUE(tag.First(path, found));
  while (found) {
    ++walked;
    ASSERT_TRUE(tag.Step(path, true, found));
  }
  EXPECT_EQ(counted, walked);
  EXPECT_EQ(counted, 5000u);
}

}  // namespace
}  // namespace snyltdyr::engine
