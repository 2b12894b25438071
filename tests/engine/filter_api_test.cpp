// Engine filters on a real table file: every selection the program composes shows exactly
// the records a plain loop over the data selects, walking forwards and backwards, and the
// exact count agrees.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <set>

#include "storage/engine/engine.h"
#include "support/filter_tree_builder.h"
#include "support/table_builder.h"
#include "support/temp_dir.h"

namespace snyltdyr {
namespace {

namespace eng = engine;
namespace ft = filter_tree;
namespace ts = testsupport;

struct Row {
  std::string kind, amount, treatment, year, memo;
  double group = 0;
  bool has_group = false;
};

std::string Trimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

class FilterApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db = engine.Database(dir.path());
    // The observation table, code page 865. The year-class column is created under a
    // plain name and renamed to its real one in the header: "\x8FRSKLAS".
    ts::CreateTable(db, "SNYLTDYR.DBF",
                    {{"DATO", 'D'}, {"BYGG", 'C', 9}, {"GENER", 'C', 20}, {"XRSKLAS", 'C', 20},
                     {"GRUPPE", 'N', 5, 1}, {"SNYLTDYR", 'C', 30}, {"MENGDE", 'C', 9},
                     {"ORGAN", 'C', 30}, {"BEHANDL", 'C', 30}, {"TID", 'C', 20},
                     {"KONS", 'C', 20}, {"KOMENT", 'M'}, {"METODE", 'C', 30},
                     {"TALL", 'N', 10, 2}},
                    0x17);
    {
      std::fstream file(dir.File("SNYLTDYR.DBF"), std::ios::in | std::ios::out | std::ios::binary);
      file.seekp(32 + 3 * 32);
      file.put('\x8F');
    }
    cursor = ts::OpenCursor(db, "SNYLTDYR.DBF");

    std::mt19937 random(1234);
    const char* kinds[] = {"Haptor Mark", "Tricodina", "Negativ", "", "haptor mark", "Haptor",
                           "Haptor Marks"};
    const char* amounts[] = {"-", "S+", "M-", "L+", "", "--"};
    const char* treatments[] = {"", "Formalin", "Formalin", "Salt"};
    const char* years[] = {"0", "1", "2", "3", "4", "5", "", "13", "03", "3.0", "tre"};
    for (int i = 0; i < 240; ++i) {
      Row r;
      r.kind = kinds[random() % 7];
      r.amount = amounts[random() % 6];
      r.treatment = treatments[random() % 4];
      r.year = years[random() % 11];
      r.has_group = random() % 4 != 0;
      r.group = static_cast<double>(random() % 40) / 2;
      if (random() % 3 == 0) r.memo = random() % 2 ? "Fisken var syk" : "Alt vel";
      rows.push_back(r);
      ts::AppendRow(cursor, {ts::Date(2000 + i % 20, 1 + i % 12, 1 + i % 28), ts::Text("Kar"),
                             ts::Text("1999"), ts::Text(r.year),
                             r.has_group ? ts::Number(r.group) : ts::Blank(), ts::Text(r.kind),
                             ts::Text(r.amount), ts::Blank(), ts::Text(r.treatment), ts::Blank(),
                             ts::Blank(), r.memo.empty() ? ts::Blank() : ts::Text(r.memo)});
    }
  }

  eng::Handle Add(const ft::TreeNode& root) {
    std::vector<uint8_t> tree = ft::Tree(root);
    eng::Handle filter = eng::kNoHandle;
    EXPECT_EQ(eng::AddFilter(cursor, tree.data(), 0, filter), eng::kOk);
    return filter;
  }

  // Physical numbers of the records the cursor shows, walking forwards or backwards.
  std::vector<uint32_t> Walk(bool forward) {
    std::vector<uint32_t> seen;
    EXPECT_EQ(forward ? eng::SetToBeginning(cursor) : eng::SetToEnd(cursor), eng::kOk);
    eng::RecordProperties props;
    for (;;) {
      eng::Result r = forward ? eng::GetNextRecord(cursor, eng::LockMode::kNoLock, nullptr, &props)
                              : eng::GetPriorRecord(cursor, eng::LockMode::kNoLock, nullptr, &props);
      if (r != eng::kOk) {
        EXPECT_EQ(r, forward ? eng::kErrEndOfTable : eng::kErrBeginningOfTable);
        break;
      }
      seen.push_back(props.physical_number);
    }
    return seen;
  }

  std::set<uint32_t> Selected(const std::function<bool(const Row&)>& keep) const {
    std::set<uint32_t> out;
    for (size_t i = 0; i < rows.size(); ++i) {
      if (keep(rows[i])) out.insert(static_cast<uint32_t>(i + 1));
    }
    return out;
  }

  // The cursor shows exactly `expected`, each record once, and counts them.
  void ExpectShows(const std::set<uint32_t>& expected, const std::string& what) {
    for (bool forward : {true, false}) {
      std::vector<uint32_t> seen = Walk(forward);
      EXPECT_EQ(std::set<uint32_t>(seen.begin(), seen.end()), expected) << what;
      EXPECT_EQ(seen.size(), expected.size()) << what;
    }
    uint32_t count = 0;
    EXPECT_EQ(eng::GetExactRecordCount(cursor, count), eng::kOk);
    EXPECT_EQ(count, expected.size()) << what;
    EXPECT_EQ(eng::GetRecordCount(cursor, count), eng::kOk);
    EXPECT_EQ(count, expected.size()) << what;
  }

  ts::EngineSession engine;
  ts::TempDir dir;
  eng::Handle db = eng::kNoHandle;
  eng::Handle cursor = eng::kNoHandle;
  std::vector<Row> rows;
};

// Every selection of the kind, "Funn", "Behandling" and year-class buttons, in the tree
// the filter language makes of its text.
TEST_F(FilterApiTest, EverySelectionShowsAndCountsExactlyItsRecords) {
  int selections = 0;
  for (std::string kind : {"", "Haptor Mark", "Tricodina"}) {
    for (int found = 0; found < 2; ++found) {
      for (int treated = 0; treated < 2; ++treated) {
        for (int year = -1; year <= 5; ++year) {
          std::vector<ft::TreeNode> parts;
          if (!kind.empty()) {
            parts.push_back(ft::Binary(ft::kEq, ft::Field(6, "SNYLTDYR"), ft::Text(kind)));
          }
          if (found) parts.push_back(ft::Binary(ft::kNe, ft::Field(7, "MENGDE"), ft::Text("-")));
          if (treated) parts.push_back(ft::Binary(ft::kNe, ft::Field(9, "BEHANDL"), ft::Text("")));
          if (year >= 0) {
            parts.push_back(ft::Binary(ft::kEq, ft::Field(4, "\x8FRSKLAS"),
                                       ft::Text(std::to_string(year))));
          }
          if (parts.empty()) continue;
          ft::TreeNode root = parts[0];
          for (size_t i = 1; i < parts.size(); ++i) root = ft::Binary(ft::kAnd, root, parts[i]);

          std::set<uint32_t> expected = Selected([&](const Row& r) {
            return (kind.empty() || r.kind == kind) && (!found || r.amount != "-") &&
                   (!treated || !Trimmed(r.treatment).empty()) &&
                   (year < 0 || r.year == std::to_string(year));
          });
          eng::Handle filter = Add(root);
          ASSERT_EQ(eng::ActivateFilter(cursor, filter), eng::kOk);
          std::string what = kind + "/" + std::to_string(found) + std::to_string(treated) + "/" +
                             std::to_string(year);
          ExpectShows(expected, what);
          if (!kind.empty() && year < 0 && !found && !treated) {
            EXPECT_FALSE(expected.empty()) << what;  // the data holds every kind
          }
          ASSERT_EQ(eng::DropFilter(cursor, filter), eng::kOk);
          ++selections;
        }
      }
    }
  }
  EXPECT_EQ(selections, 83);
}

TEST_F(FilterApiTest, FiltersActOnlyWhileActiveAndTogether) {
  std::set<uint32_t> all = Selected([](const Row&) { return true; });
  eng::Handle haptor = Add(ft::Binary(ft::kEq, ft::Field(6, "SNYLTDYR"), ft::Text("Haptor Mark")));
  ExpectShows(all, "added, not active");
  ASSERT_EQ(eng::ActivateFilter(cursor, haptor), eng::kOk);
  eng::Handle grouped = Add(ft::Binary(ft::kGe, ft::Field(5, "GRUPPE"), ft::Number(10)));
  ASSERT_EQ(eng::ActivateFilter(cursor, grouped), eng::kOk);
  ExpectShows(Selected([](const Row& r) {
                return r.kind == "Haptor Mark" && r.has_group && r.group >= 10;
              }),
              "both");
  ASSERT_EQ(eng::DeactivateFilter(cursor, haptor), eng::kOk);
  ExpectShows(Selected([](const Row& r) { return r.has_group && r.group >= 10; }), "one");
  ASSERT_EQ(eng::DropFilter(cursor, grouped), eng::kOk);
  ExpectShows(all, "dropped");
  EXPECT_EQ(eng::ActivateFilter(cursor, grouped), eng::kErrInvalidHandle);
  EXPECT_EQ(eng::DropFilter(cursor, grouped), eng::kErrInvalidHandle);
  EXPECT_EQ(eng::ActivateFilter(cursor + 1000, haptor), eng::kErrInvalidHandle);
}

TEST_F(FilterApiTest, MemoTextAndBlankTests) {
  eng::Handle sick = Add(ft::Binary(ft::kLike, ft::Field(12, "KOMENT"), ft::Text("%syk")));
  ASSERT_EQ(eng::ActivateFilter(cursor, sick), eng::kOk);
  ExpectShows(Selected([](const Row& r) { return r.memo == "Fisken var syk"; }), "memo like");
  ASSERT_EQ(eng::DropFilter(cursor, sick), eng::kOk);

  eng::Handle no_memo = Add(ft::Unary(ft::kIsBlank, ft::Field(12, "KOMENT")));
  ASSERT_EQ(eng::ActivateFilter(cursor, no_memo), eng::kOk);
  ExpectShows(Selected([](const Row& r) { return r.memo.empty(); }), "memo blank");
  ASSERT_EQ(eng::DropFilter(cursor, no_memo), eng::kOk);

  eng::Handle no_group = Add(ft::Unary(ft::kIsBlank, ft::Field(5, "GRUPPE")));
  ASSERT_EQ(eng::ActivateFilter(cursor, no_group), eng::kOk);
  ExpectShows(Selected([](const Row& r) { return !r.has_group; }), "group blank");
}

TEST_F(FilterApiTest, RefusedTreesAddNothing) {
  std::vector<uint8_t> tree = ft::Tree(ft::Binary(ft::kEq, ft::Field(6, ""), ft::Text("x")));
  tree[0] = 3;
  eng::Handle filter = eng::kNoHandle;
  EXPECT_EQ(eng::AddFilter(cursor, tree.data(), 0, filter), eng::kErrInvalidFilter);
  EXPECT_EQ(filter, eng::kNoHandle);
  eng::ErrorEntry entry;
  ASSERT_EQ(eng::GetErrorEntry(1, entry), eng::kOk);
  EXPECT_EQ(entry.code, eng::kErrInvalidFilter);
  // A field number beyond the table's fields.
  tree = ft::Tree(ft::Binary(ft::kEq, ft::Field(15, "X"), ft::Text("x")));
  EXPECT_EQ(eng::AddFilter(cursor, tree.data(), 0, filter), eng::kErrInvalidFilter);
  EXPECT_EQ(eng::AddFilter(cursor, nullptr, 0, filter), eng::kErrInvalidParameter);
  uint32_t count = 0;
  EXPECT_EQ(eng::GetExactRecordCount(cursor, count), eng::kOk);
  EXPECT_EQ(count, rows.size());
}

}  // namespace
}  // namespace snyltdyr
