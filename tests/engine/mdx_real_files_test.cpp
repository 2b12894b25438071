// The production indexes that other programs wrote: their tags open, their order is the
// order of the data, and our writes keep them valid.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <map>

#include "index_test_support.h"
#include "storage/engine/index/index_checker.h"
#include "storage/engine/index/index_production.h"
#include "storage/engine/keys/key_codec.h"
#include "storage/engine/index/mdx_tag.h"

namespace snyltdyr::engine {
namespace {

using testing::MemTable;
using testing::ReadDbf;
using testing::RealFixtures;
using testing::TempDir;
namespace fs = std::filesystem;

struct Set {
  fs::path mdx, dbf;
};

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Every .MDX of the fixtures with the .DBF of the same base name beside it.
std::vector<Set> RealSets() {
  std::vector<Set> sets;
  for (const auto& e : fs::recursive_directory_iterator(RealFixtures())) {
    if (Upper(e.path().extension().string()) != ".MDX") continue;
    for (const auto& d : fs::directory_iterator(e.path().parent_path())) {
      if (Upper(d.path().extension().string()) == ".DBF" &&
          Upper(d.path().stem().string()) == Upper(e.path().stem().string()))
        sets.push_back({e.path(), d.path()});
    }
  }
  std::sort(sets.begin(), sets.end(), [](const Set& a, const Set& b) { return a.mdx < b.mdx; });
  return sets;
}

std::vector<MdxEntry> WalkTag(const MdxTag& tag) {
  std::vector<MdxEntry> out;
  MdxPath path;
  bool found = false;
  EXPECT_TRUE(tag.First(path, found));
  while (found) {
    out.push_back({MdxTag::KeyAt(path), MdxTag::RecnoAt(path)});
    EXPECT_TRUE(tag.Step(path, true, found));
  }
  return out;
}

// The keys of the records the table shows, sorted in tag order: what a walk must give.
std::vector<std::string> SortedData(const ProductionIndex::Tag& t, const MemTable& table) {
  std::vector<std::string> keys;
  for (uint32_t r = 1; r <= table.records.size(); ++r) {
    if (table.View(r).Deleted()) continue;
    if (auto k = ProductionIndex::KeyOf(t, table.View(r))) keys.push_back(*k);
  }
  std::stable_sort(keys.begin(), keys.end(), [&](const std::string& a, const std::string& b) {
    return t.mdx->CompareKeys(a, b) < 0;
  });
  if (t.mdx->unique())
    keys.erase(std::unique(keys.begin(), keys.end(), [&](const std::string& a, const std::string& b) {
                 return t.mdx->CompareKeys(a, b) == 0;
               }), keys.end());
  return keys;
}

void ExpectOrderEqualsSortedData(const ProductionIndex& index, const MemTable& table,
                                 const std::string& where) {
  for (const ProductionIndex::Tag& t : index.tags()) {
    ASSERT_TRUE(t.mdx) << where;
    ASSERT_TRUE(t.expr) << where << " tag " << t.mdx->name() << ": " << t.problem;
    std::vector<std::string> walked;
    for (const MdxEntry& e : WalkTag(*t.mdx))
      if (!table.View(e.recno).Deleted()) walked.push_back(e.key);
    const std::vector<std::string> want = SortedData(t, table);
    ASSERT_EQ(walked.size(), want.size()) << where << " tag " << t.mdx->name();
    for (size_t i = 0; i < want.size(); ++i)
      ASSERT_EQ(t.mdx->CompareKeys(walked[i], want[i]), 0)
          << where << " tag " << t.mdx->name() << " position " << i;
  }
}

TEST(RealMdxFiles, TagsOpenWalkInDataOrderAndPassTheChecker) {
  SKIP_WITHOUT_FIXTURES();
  const auto sets = RealSets();
  ASSERT_GE(sets.size(), 20u);
  size_t tags_seen = 0, entries_seen = 0;
  for (const Set& s : sets) {
    SCOPED_TRACE(s.mdx.string());
    const MemTable table = ReadDbf(s.dbf);
    std::unique_ptr<ProductionIndex> index;
    IndexStatus st = ProductionIndex::Open(s.mdx.string(), table.fields, table.code_page, false, index);
    ASSERT_TRUE(st) << st.message();
    for (const auto& t : index->tags()) {
      ASSERT_TRUE(t.mdx);
      entries_seen += WalkTag(*t.mdx).size();
    }
    tags_seen += index->tags().size();
    ExpectOrderEqualsSortedData(*index, table, s.mdx.string());
    const auto problems = CheckIndex(index->file(), table.Indexed());
    EXPECT_TRUE(problems.empty()) << DescribeProblems(problems);
  }
  EXPECT_GE(tags_seen, 40u);
  EXPECT_GE(entries_seen, 90u);
}

TEST(RealMdxFiles, KeysOfOtherProgramsDecodeAsTheirData) {
  SKIP_WITHOUT_FIXTURES();
  // Digit-count bits 0x29 from one program, 0x05 from another: same values, same order.
  const fs::path dir = RealFixtures() / "jdbfdriver-mdx";
  std::unique_ptr<MdxFile> f;
  ASSERT_TRUE(MdxFile::Open((dir / "TEST.MDX").string(), false, f));
  ASSERT_EQ(f->tags().size(), 2u);
  std::unique_ptr<MdxTag> test2;
  ASSERT_TRUE(MdxTag::Load(*f, f->tags()[1], test2));
  EXPECT_EQ(test2->expression(), "test2");
  std::vector<std::string> values;
  std::vector<uint32_t> recnos;
  for (const MdxEntry& e : WalkTag(*test2)) {
    values.push_back(KeyToText('N', e.key));
    recnos.push_back(e.recno);
  }
  EXPECT_EQ(values, (std::vector<std::string>{"10", "15", "20"}));
  EXPECT_EQ(recnos, (std::vector<uint32_t>{1, 3, 2}));
}

// Damaged copies (bytes overwritten at random) give errors or problems, never a crash.
TEST(RealMdxFiles, DamagedCopiesAreReportedNotFollowed) {
  SKIP_WITHOUT_FIXTURES();
  const fs::path dir = RealFixtures() / "plc-project" / "UnitTest" / "siprom";
  const MemTable table = ReadDbf(dir / "CHANGELOG.DBF");
  const std::vector<uint8_t> good = testing::ReadFile(dir / "CHANGELOG.MDX");
  TempDir tmp;
  std::mt19937 rng(5);
  size_t refused = 0;
  for (int round = 0; round < 300; ++round) {
    std::vector<uint8_t> bad = good;
    const int hits = std::uniform_int_distribution<int>(1, 8)(rng);
    for (int i = 0; i < hits; ++i)
      bad[std::uniform_int_distribution<size_t>(0, bad.size() - 1)(rng)] =
          static_cast<uint8_t>(std::uniform_int_distribution<int>(0, 255)(rng));
    const fs::path path = tmp.path() / "CHANGELOG.MDX";
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bad.data()), static_cast<std::streamsize>(bad.size()));
    std::unique_ptr<ProductionIndex> index;
    if (!ProductionIndex::Open(path.string(), table.fields, table.code_page, true, index)) {
      ++refused;
      continue;
    }
    for (const auto& t : index->tags()) {  // reading a damaged tag ends, one way or another
      if (!t.mdx) continue;
      MdxPath path_in_tag;
      bool found = false;
      IndexStatus st = t.mdx->First(path_in_tag, found);
      for (int steps = 0; st && found && steps < 10000; ++steps) st = t.mdx->Step(path_in_tag, true, found);
    }
    index->CheckBeforeWriting(table.Indexed(), 0);
    if (!index->write_refusal().empty()) {
      ++refused;
      continue;
    }
    // Damage that passed the checks lay where nothing reads: writing still gives a sound index.
    MemTable grown = table;
    grown.records.push_back(grown.records.front());
    const RecordView added = grown.View(static_cast<uint32_t>(grown.records.size()));
    ASSERT_TRUE(index->Apply(static_cast<uint32_t>(grown.records.size()), nullptr, &added, grown.Indexed()));
    const auto problems = CheckIndex(index->file(), grown.Indexed());
    ASSERT_TRUE(problems.empty()) << "round " << round << ": " << DescribeProblems(problems);
  }
  EXPECT_GT(refused, 20u);
}

// Appends, modifies and deletes on a copy, keeping every tag in step, then checks.
TEST(RealMdxFiles, OurWritesKeepTheirIndexesValid) {
  SKIP_WITHOUT_FIXTURES();
  TempDir tmp;
  size_t written = 0;
  for (const Set& s : RealSets()) {
    SCOPED_TRACE(s.mdx.string());
    const fs::path mdx = tmp.path() / ("copy_" + std::to_string(written++) + ".MDX");
    fs::copy_file(s.mdx, mdx);
    MemTable table = ReadDbf(s.dbf);
    if (table.records.empty()) {
      table.Append();  // an empty table: give it one record to start from
      std::unique_ptr<ProductionIndex> idx;
      ASSERT_TRUE(ProductionIndex::Open(mdx.string(), table.fields, table.code_page, true, idx));
      const RecordView first = table.View(1);
      ASSERT_TRUE(idx->Apply(1, nullptr, &first, table.Indexed()));
    }
    std::unique_ptr<ProductionIndex> index;
    ASSERT_TRUE(ProductionIndex::Open(mdx.string(), table.fields, table.code_page, true, index));
    index->CheckBeforeWriting(table.Indexed(), 0);
    ASSERT_EQ(index->write_refusal(), "");
    // Append copies of every record with each character field's first byte changed, so
    // keys land all over the tags (and unique tags get both new and taken keys).
    const uint32_t n = static_cast<uint32_t>(table.records.size());
    for (uint32_t r = 1; r <= n; ++r) {
      table.records.push_back(table.records[r - 1]);
      const uint32_t copy = static_cast<uint32_t>(table.records.size());
      table.records[copy - 1][0] = ' ';
      if (r % 2 == 0)
        for (const FieldDesc& f : table.fields)
          if (f.type == 'C') table.records[copy - 1][f.offset] = static_cast<uint8_t>('A' + r % 26);
      const RecordView after = table.View(copy);
      ASSERT_TRUE(index->Apply(copy, nullptr, &after, table.Indexed()));
    }
    // Modify the first record: numbers and texts change.
    const std::vector<uint8_t> before_bytes = table.records[0];
    for (const FieldDesc& f : table.fields) {
      if (f.type == 'C') table.records[0][f.offset] = 'z';
      if (f.type == 'N') table.Set(1, static_cast<size_t>(&f - table.fields.data()), "7");
    }
    const RecordView before{&table.fields, before_bytes.data(), table.code_page};
    const RecordView after = table.View(1);
    ASSERT_TRUE(index->Apply(1, &before, &after, table.Indexed()));
    // Delete the last record: its keys stay, but tags FOR .NOT. DELETED() let it go.
    const std::vector<uint8_t> live = table.records.back();
    table.records.back()[0] = '*';
    const RecordView was{&table.fields, live.data(), table.code_page};
    const RecordView gone = table.View(static_cast<uint32_t>(table.records.size()));
    ASSERT_TRUE(index->Apply(static_cast<uint32_t>(table.records.size()), &was, &gone, table.Indexed()));
    const auto problems = CheckIndex(index->file(), table.Indexed());
    EXPECT_TRUE(problems.empty()) << DescribeProblems(problems);
    ExpectOrderEqualsSortedData(*index, table, s.mdx.string());
  }
}

}  // namespace
}  // namespace snyltdyr::engine
