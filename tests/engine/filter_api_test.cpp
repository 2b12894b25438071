// Engine filters on a real table file: every selection the program composes shows exactly
// the records a plain loop over the data selects, walking forwards and backwards, in record
// and in index order, and the exact count agrees.
#include <gtest/gtest.h>

#include <set>

#include "storage/engine/engine.h"
#include "support/filter_tree_builder.h"
#include "support/observation_table.h"

namespace snyltdyr {
namespace {

namespace eng = engine;
namespace ft = filter_tree;
namespace ts = testsupport;

class FilterApiTest : public ::testing::Test {
 protected:
  eng::Handle Add(const ft::TreeNode& root) {
    std::vector<uint8_t> tree = ft::Tree(root);
    eng::Handle filter = eng::kNoHandle;
    EXPECT_EQ(eng::AddFilter(cursor, tree.data(), 0, filter), eng::kOk);
    return filter;
  }
  std::set<uint32_t> Selected(const std::function<bool(const ts::ObservationRow&)>& keep) {
    return table.Selected(keep);
  }
  void ExpectShows(const std::set<uint32_t>& expected, const std::string& what) {
    table.ExpectShows(expected, what);
  }

  ts::EngineSession engine;
  ts::TempDir dir;
  eng::Handle db = engine.Database(dir.path());
  ts::ObservationTable table{db, dir};
  eng::Handle cursor = table.cursor;
  const std::vector<ts::ObservationRow>& rows = table.rows;
};

// Every selection of the kind, "Funn", "Behandling" and year-class buttons, in the tree
// the filter language makes of its text, walked in index order (record order: the
// selection test of the storage layer).
TEST_F(FilterApiTest, FiltersHoldInIndexOrder) {
  eng::IndexDescriptor by_kind;
  by_kind.tag_name = "SNYLTDYR";
  by_kind.field_numbers = {6};
  by_kind.descending_fields = {false};
  // The first tag of a table is added while nobody has it open.
  ASSERT_EQ(eng::CloseCursor(cursor), eng::kOk);
  ASSERT_EQ(eng::AddIndexToTable(db, "SNYLTDYR.DBF", "DBASE", by_kind), eng::kOk)
      << ts::EngineErrorText(0);
  cursor = table.cursor = ts::OpenCursor(db, "SNYLTDYR.DBF");
  ASSERT_EQ(eng::SwitchToIndex(cursor, "", "SNYLTDYR", 0, false), eng::kOk)
      << ts::EngineErrorText(0);
  std::vector<uint32_t> order = table.Walk(true);
  ASSERT_EQ(order.size(), rows.size());
  for (size_t i = 1; i < order.size(); ++i) {
    ASSERT_LE(rows[order[i - 1] - 1].kind, rows[order[i] - 1].kind) << "not in index order";
  }
  for (const ts::Selection& s : ts::AllSelections()) {
    std::vector<ft::TreeNode> parts;
    if (!s.kind.empty()) {
      parts.push_back(ft::Binary(ft::kEq, ft::Field(6, "SNYLTDYR"), ft::Text(s.kind)));
    }
    if (s.found) parts.push_back(ft::Binary(ft::kNe, ft::Field(7, "MENGDE"), ft::Text("-")));
    if (s.treated) parts.push_back(ft::Binary(ft::kNe, ft::Field(9, "BEHANDL"), ft::Text("")));
    if (s.year >= 0) {
      parts.push_back(ft::Binary(ft::kEq, ft::Field(4, "\x8FRSKLAS"),
                                 ft::Text(std::to_string(s.year))));
    }
    ft::TreeNode root = parts[0];
    for (size_t i = 1; i < parts.size(); ++i) root = ft::Binary(ft::kAnd, root, parts[i]);
    eng::Handle filter = Add(root);
    ASSERT_EQ(eng::ActivateFilter(cursor, filter), eng::kOk);
    std::set<uint32_t> expected = Selected([&](const ts::ObservationRow& r) { return s.Keeps(r); });
    ExpectShows(expected, s.text);
    if (!s.found && !s.treated && s.year < 0) {
      EXPECT_FALSE(expected.empty()) << s.text;  // the data holds every kind
    }
    ASSERT_EQ(eng::DropFilter(cursor, filter), eng::kOk);
  }
}

TEST_F(FilterApiTest, FiltersActOnlyWhileActiveAndTogether) {
  std::set<uint32_t> all = Selected([](const ts::ObservationRow&) { return true; });
  eng::Handle haptor = Add(ft::Binary(ft::kEq, ft::Field(6, "SNYLTDYR"), ft::Text("Haptor Mark")));
  ExpectShows(all, "added, not active");
  ASSERT_EQ(eng::ActivateFilter(cursor, haptor), eng::kOk);
  eng::Handle grouped = Add(ft::Binary(ft::kGe, ft::Field(5, "GRUPPE"), ft::Number(10)));
  ASSERT_EQ(eng::ActivateFilter(cursor, grouped), eng::kOk);
  ExpectShows(Selected([](const ts::ObservationRow& r) {
                return r.kind == "Haptor Mark" && r.has_group && r.group >= 10;
              }),
              "both");
  ASSERT_EQ(eng::DeactivateFilter(cursor, haptor), eng::kOk);
  ExpectShows(Selected([](const ts::ObservationRow& r) { return r.has_group && r.group >= 10; }), "one");
  ASSERT_EQ(eng::DropFilter(cursor, grouped), eng::kOk);
  ExpectShows(all, "dropped");
  EXPECT_EQ(eng::ActivateFilter(cursor, grouped), eng::kErrInvalidHandle);
  EXPECT_EQ(eng::DropFilter(cursor, grouped), eng::kErrInvalidHandle);
  EXPECT_EQ(eng::ActivateFilter(cursor + 1000, haptor), eng::kErrInvalidHandle);
}

TEST_F(FilterApiTest, MemoTextAndBlankTests) {
  eng::Handle sick = Add(ft::Binary(ft::kLike, ft::Field(12, "KOMENT"), ft::Text("%syk")));
  ASSERT_EQ(eng::ActivateFilter(cursor, sick), eng::kOk);
  ExpectShows(Selected([](const ts::ObservationRow& r) { return r.memo == "Fisken var syk"; }), "memo like");
  ASSERT_EQ(eng::DropFilter(cursor, sick), eng::kOk);

  eng::Handle no_memo = Add(ft::Unary(ft::kIsBlank, ft::Field(12, "KOMENT")));
  ASSERT_EQ(eng::ActivateFilter(cursor, no_memo), eng::kOk);
  ExpectShows(Selected([](const ts::ObservationRow& r) { return r.memo.empty(); }), "memo blank");
  ASSERT_EQ(eng::DropFilter(cursor, no_memo), eng::kOk);

  eng::Handle no_group = Add(ft::Unary(ft::kIsBlank, ft::Field(5, "GRUPPE")));
  ASSERT_EQ(eng::ActivateFilter(cursor, no_group), eng::kOk);
  ExpectShows(Selected([](const ts::ObservationRow& r) { return !r.has_group; }), "group blank");
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
