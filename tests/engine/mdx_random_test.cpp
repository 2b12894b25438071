// Random workloads on a table with several tags, checked after each batch by the index
// checker and against a plain sort of the data.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>

#include "index_test_support.h"
#include "storage/engine/index/index_checker.h"
#include "storage/engine/index/index_production.h"
#include "storage/engine/keys/key_codec.h"

namespace snyltdyr::engine {
namespace {

using testing::MemTable;
using testing::TempDir;

class RandomWorkload : public ::testing::Test {
 protected:
  enum { kName, kAmount, kDato, kCode };

  void SetUp() override {
    t_.AddField("NAME", 'C', 30);
    t_.AddField("AMOUNT", 'N', 10, 2);
    t_.AddField("DATO", 'D', 8);
    t_.AddField("CODE", 'C', 4);
    t_.code_page = 865;
  }

  void Fill(uint32_t recno) {
    static const char* names[] = {"haptor", "Tricodina", "costia", "\x91gg", "\x8Frsklasse", "negativ"};
    std::uniform_int_distribution<int> pick(0, 5), num(-99999, 99999), day(1, 28), mon(1, 12),
        year(1990, 2030), code(0, 80), blank(0, 19);
    t_.Set(recno, kName, std::string(names[pick(rng_)]) + " " + std::to_string(code(rng_) % 9));
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", num(rng_) / 100.0);
    t_.Set(recno, kAmount, blank(rng_) == 0 ? "" : buf);
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", year(rng_), mon(rng_), day(rng_));
    t_.Set(recno, kDato, blank(rng_) == 0 ? "        " : buf);
    t_.Set(recno, kCode, "C" + std::to_string(code(rng_)));
  }

  void AddTags() {
    const IndexedTable table = t_.Indexed();
    for (const NewTagDefinition& tag_def : {NewTagDefinition{"NAME", "UPPER(NAME)", false, false},
                                   NewTagDefinition{"AMOUNT", "AMOUNT", true, false},
                                   NewTagDefinition{"DATO", "DATO", false, false},
                                   NewTagDefinition{"CODE", "CODE", false, true},
                                   NewTagDefinition{"DATOCODE", "DTOS(DATO)+CODE", false, false}}) {
      IndexStatus s = index_->AddTag(tag_def, table);
      ASSERT_TRUE(s) << s.message();
    }
  }

  void Insert() {
    const uint32_t r = t_.Append();
    Fill(r);
    const RecordView after = t_.View(r);
    IndexStatus s = index_->Apply(r, nullptr, &after, t_.Indexed());
    ASSERT_TRUE(s) << s.message();
  }

  void Modify(uint32_t r, bool deleted) {
    const std::vector<uint8_t> old = t_.records[r - 1];
    if (deleted) {
      t_.records[r - 1][0] = '*';
    } else {
      std::uniform_int_distribution<int> coin(0, 1);
      const std::vector<uint8_t> keep = t_.records[r - 1];
      Fill(r);
      for (const FieldDesc& f : t_.fields)  // change only some of the fields
        if (coin(rng_))
          std::copy(keep.begin() + f.offset, keep.begin() + f.offset + f.length,
                    t_.records[r - 1].begin() + f.offset);
    }
    const RecordView before{&t_.fields, old.data(), t_.code_page};
    const RecordView after = t_.View(r);
    IndexStatus s = index_->Apply(r, &before, &after, t_.Indexed());
    ASSERT_TRUE(s) << s.message();
  }

  // The checker passes, and each tag walks exactly as a plain sort of the data.
  void Verify(const std::string& when) {
    const auto problems = CheckIndex(index_->file(), t_.Indexed());
    ASSERT_TRUE(problems.empty()) << when << "\n" << DescribeProblems(problems);
    for (const ProductionIndex::Tag& tag : index_->tags()) {
      std::vector<MdxEntry> want;
      for (uint32_t r = 1; r <= t_.records.size(); ++r)
        want.push_back({*ProductionIndex::KeyOf(tag, t_.View(r)), r});
      std::stable_sort(want.begin(), want.end(), [&](const MdxEntry& a, const MdxEntry& b) {
        return tag.mdx->ComparePos(a.key, a.recno, b.key, b.recno) < 0;
      });
      if (tag.mdx->unique())
        want.erase(std::unique(want.begin(), want.end(), [&](const MdxEntry& a, const MdxEntry& b) {
                     return tag.mdx->CompareKeys(a.key, b.key) == 0;
                   }), want.end());
      MdxPath path;
      bool found = false;
      ASSERT_TRUE(tag.mdx->First(path, found));
      for (size_t i = 0; i < want.size(); ++i) {
        ASSERT_TRUE(found) << when << " tag " << tag.mdx->name() << " ends early at " << i;
        ASSERT_EQ(MdxTag::RecnoAt(path), want[i].recno) << when << " tag " << tag.mdx->name() << " at " << i;
        ASSERT_EQ(MdxTag::KeyAt(path), want[i].key) << when << " tag " << tag.mdx->name();
        ASSERT_TRUE(tag.mdx->Step(path, true, found));
      }
      ASSERT_FALSE(found) << when << " tag " << tag.mdx->name() << " has extra entries";
      // And backwards from the end.
      ASSERT_TRUE(tag.mdx->Last(path, found));
      for (size_t i = want.size(); i-- > 0;) {
        ASSERT_TRUE(found);
        ASSERT_EQ(MdxTag::RecnoAt(path), want[i].recno) << when << " backwards, tag " << tag.mdx->name();
        ASSERT_TRUE(tag.mdx->Step(path, false, found));
      }
      ASSERT_FALSE(found);
    }
  }

  void Open() {
    index_.reset();
    IndexStatus s = ProductionIndex::Create((dir_.path() / "T.MDX").string(), "T", t_.fields,
                                            t_.code_page, index_);
    ASSERT_TRUE(s) << s.message();
  }

  TempDir dir_;
  MemTable t_;
  std::mt19937 rng_{12345};
  std::unique_ptr<ProductionIndex> index_;
};

TEST_F(RandomWorkload, ThousandsOfInsertsModifiesAndDeletesKeepEveryTagValid) {
  for (int i = 0; i < 700; ++i) Fill(t_.Append());
  Open();
  AddTags();  // built by one sort over the existing records
  Verify("after adding the tags");
  std::uniform_int_distribution<int> op(0, 99);
  for (int batch = 0; batch < 8; ++batch) {
    for (int i = 0; i < 500; ++i) {
      const int o = op(rng_);
      std::uniform_int_distribution<uint32_t> rec(1, static_cast<uint32_t>(t_.records.size()));
      if (o < 45) {
        Insert();
      } else if (o < 92) {
        Modify(rec(rng_), false);
      } else {
        Modify(rec(rng_), true);
      }
      if (HasFatalFailure()) return;
    }
    Verify("after batch " + std::to_string(batch));
    if (HasFatalFailure()) return;
  }
  // Reopened from the file alone, the tags are the same.
  std::unique_ptr<ProductionIndex> again;
  ASSERT_TRUE(ProductionIndex::Open((dir_.path() / "T.MDX").string(), t_.fields, t_.code_page, true, again));
  ASSERT_EQ(again->tags().size(), 5u);
  again->CheckBeforeWriting(t_.Indexed(), 0);
  EXPECT_EQ(again->write_refusal(), "");
  index_ = std::move(again);
  Verify("after reopening");
}

TEST_F(RandomWorkload, EmptiedNodesGoToTheFreeListAndAreUsedAgain) {
  for (int i = 0; i < 3000; ++i) {
    const uint32_t r = t_.Append();
    Fill(r);
    char name[16];
    std::snprintf(name, sizeof name, "K%05d", i);
    t_.Set(r, kName, name);
  }
  Open();
  ASSERT_TRUE(index_->AddTag({"NAME", "NAME", false, false}, t_.Indexed()));
  const uint32_t pages_full = index_->file().page_count();
  // Move the first half of the keys past the end: their leaves empty out and are freed,
  // and the new leaves at the end take those blocks instead of growing the file.
  for (uint32_t r = 1; r <= 1500; ++r) {
    const std::vector<uint8_t> old = t_.records[r - 1];
    char name[16];
    std::snprintf(name, sizeof name, "Z%05u", r);
    t_.Set(r, kName, name);
    const RecordView before{&t_.fields, old.data(), t_.code_page};
    const RecordView after = t_.View(r);
    ASSERT_TRUE(index_->Apply(r, &before, &after, t_.Indexed()));
  }
  EXPECT_LE(index_->file().page_count(), pages_full + 5 * index_->file().block_pages());  // ~50 new leaves without reuse
  Verify("after moving the keys");
  // A tag emptied completely keeps its root leaf; the blocks wait on the free list.
  ASSERT_TRUE(index_->AddTag({"CODE", "CODE", false, false}, t_.Indexed()));
  const uint32_t before_drop = index_->file().page_count();
  for (uint32_t r = 1; r <= t_.records.size(); ++r) {
    const std::vector<uint8_t> old = t_.records[r - 1];
    t_.records[r - 1][0] = '*';
    const RecordView before{&t_.fields, old.data(), t_.code_page};
    const RecordView after = t_.View(r);
    ASSERT_TRUE(index_->Apply(r, &before, &after, t_.Indexed()));
  }
  EXPECT_EQ(index_->file().page_count(), before_drop);  // deleting keeps keys: no change
  Verify("after deleting every record");
}

TEST_F(RandomWorkload, SampledChecksStillFindAMissingOrWrongEntry) {
  for (int i = 0; i < 3000; ++i) Fill(t_.Append());
  Open();
  AddTags();
  IndexCheckOptions sampled;
  sampled.record_sample = 100;
  EXPECT_TRUE(CheckIndex(index_->file(), t_.Indexed(), sampled).empty());
  // Record 1 is always among the sampled ones: take its DATO entry away.
  MdxTag& dato = *index_->Find("DATO")->mdx;
  bool found = false;
  ASSERT_TRUE(dato.Remove(*ProductionIndex::KeyOf(*index_->Find("DATO"), t_.View(1)), 1, found));
  ASSERT_TRUE(found);
  const std::string text = DescribeProblems(CheckIndex(index_->file(), t_.Indexed(), sampled));
  EXPECT_NE(text.find("tag DATO: record 1 has no entry"), std::string::npos) << text;
}

TEST_F(RandomWorkload, DamageInDeepTreesIsRefusedOrHarmless) {
  for (int i = 0; i < 3000; ++i) Fill(t_.Append());
  Open();
  AddTags();
  index_.reset();
  const auto path = dir_.path() / "T.MDX";
  const std::vector<uint8_t> good = testing::ReadFile(path);
  size_t refused = 0;
  for (int round = 0; round < 150; ++round) {
    std::vector<uint8_t> bad = good;
    for (int i = 0; i < 4; ++i)  // four bytes of the nodes, branches included
      bad[std::uniform_int_distribution<size_t>(2048, bad.size() - 1)(rng_)] =
          static_cast<uint8_t>(std::uniform_int_distribution<int>(0, 255)(rng_));
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bad.data()), static_cast<std::streamsize>(bad.size()));
    std::unique_ptr<ProductionIndex> index;
    if (!ProductionIndex::Open(path.string(), t_.fields, t_.code_page, true, index)) {
      ++refused;
      continue;
    }
    index->CheckBeforeWriting(t_.Indexed(), 0);
    if (!index->write_refusal().empty()) {
      ++refused;
      continue;
    }
    MemTable grown = t_;
    Fill(grown.Append());
    grown.records.back() = t_.records.front();
    const RecordView added = grown.View(static_cast<uint32_t>(grown.records.size()));
    ASSERT_TRUE(index->Apply(static_cast<uint32_t>(grown.records.size()), nullptr, &added, grown.Indexed()));
    const auto problems = CheckIndex(index->file(), grown.Indexed());
    ASSERT_TRUE(problems.empty()) << "round " << round << ": " << DescribeProblems(problems);
  }
  EXPECT_GT(refused, 50u);
}

TEST(NordicNames, ATagOnTheYearClassFieldIsFoundWithoutRegardToCase) {
  MemTable t;
  t.code_page = 865;
  t.AddField("\x8FRSKLAS", 'C', 20);  // the year-class field, A ring in code page 865
  t.Set(t.Append(), 0, "3");
  t.Set(t.Append(), 0, "1");
  TempDir dir;
  std::unique_ptr<ProductionIndex> index;
  ASSERT_TRUE(ProductionIndex::Create((dir.path() / "S.MDX").string(), "S", t.fields, 865, index));
  IndexStatus s = index->AddTag({"\x8FRSKLAS", "\x86rsklas"}, t.Indexed());
  ASSERT_TRUE(s) << s.message();
  const ProductionIndex::Tag* tag = index->Find("\x86rsklas");
  ASSERT_NE(tag, nullptr);
  EXPECT_EQ(tag->mdx->name(), "\x8FRSKLAS");
  std::unique_ptr<ProductionIndex> again;  // as stored
  ASSERT_TRUE(ProductionIndex::Open((dir.path() / "S.MDX").string(), t.fields, 865, false, again));
  ASSERT_NE(again->Find("\x8Frsklas"), nullptr);
  EXPECT_TRUE(CheckIndex(again->file(), t.Indexed()).empty());
}

TEST_F(RandomWorkload, AddTagRefusesBadRequestsWithClearMessages) {
  Fill(t_.Append());
  Open();
  ASSERT_TRUE(index_->AddTag({"NAME", "NAME", false, false}, t_.Indexed()));
  auto error = [&](const NewTagDefinition& tag_def) { return index_->AddTag(tag_def, t_.Indexed()).message(); };
  EXPECT_NE(error({"name", "CODE", false, false}).find("already exists"), std::string::npos);
  EXPECT_NE(error({"X", "NOSUCH", false, false}).find("unknown field NOSUCH"), std::string::npos);
  EXPECT_NE(error({"LONGERTHAN10", "CODE", false, false}).find("longer than 10"), std::string::npos);
  EXPECT_NE(error({"", "CODE", false, false}).find("needs a name"), std::string::npos);
  EXPECT_NE(error({"WIDE", "NAME+NAME+NAME+NAME", false, false}).find("1 to 100"), std::string::npos);
  for (int i = 1; i < 47; ++i) ASSERT_TRUE(index_->AddTag({"T" + std::to_string(i), "CODE", false, false}, t_.Indexed()));
  EXPECT_NE(error({"ONEMORE", "CODE", false, false}).find("47 tags"), std::string::npos);
  const auto problems = CheckIndex(index_->file(), t_.Indexed());
  EXPECT_TRUE(problems.empty()) << DescribeProblems(problems);
}

}  // namespace
}  // namespace snyltdyr::engine
