// Reading and evaluating filter trees built by hand, against records built in memory.
#include "storage/engine/filters/filter_eval.h"

#include <gtest/gtest.h>

#include <random>

#include "support/filter_tree_builder.h"

namespace snyltdyr::engine {
namespace {

using namespace snyltdyr::filter_tree;  // NOLINT: the tree builder's small vocabulary

// Columns: 1 SNYLTDYR C30, 2 AARSKLAS C20, 3 GRUPPE N5.1, 4 DATO D, 5 OK L, 6 KOMENT M.
std::vector<FieldDesc> Columns() {
  std::vector<FieldDesc> f = {{"SNYLTDYR", 'C', 0, 30, 0}, {"\xC5RSKLAS", 'C', 0, 20, 0},
                              {"GRUPPE", 'N', 0, 5, 1},    {"DATO", 'D', 0, 8, 0},
                              {"OK", 'L', 0, 1, 0},        {"KOMENT", 'M', 0, 10, 0}};
  uint16_t offset = 1;
  for (auto& d : f) {
    d.offset = offset;
    offset += d.length;
  }
  return f;
}

struct Rec {
  std::string kind, year, group, date, ok, memo_block;
};

class Table {
 public:
  explicit Table(int code_page = 1252) : fields_(Columns()), code_page_(code_page) {}

  std::vector<uint8_t> Bytes(const Rec& r) const {
    std::vector<uint8_t> b(1, ' ');
    auto put = [&](const std::string& v, size_t width, bool right) {
      std::string s = v.substr(0, width);
      std::string pad(width - s.size(), ' ');
      s = right ? pad + s : s + pad;
      b.insert(b.end(), s.begin(), s.end());
    };
    put(r.kind, 30, false);
    put(r.year, 20, false);
    put(r.group, 5, true);
    put(r.date, 8, false);
    put(r.ok, 1, false);
    put(r.memo_block, 10, true);
    return b;
  }

  // Whether the record passes the tree; a refused tree fails the test.
  bool Passes(const TreeNode& root, const Rec& r, MemoReader memo = {}) const {
    std::vector<uint8_t> tree = Tree(root);
    FilterProgram program;
    FilterTreeError e = FilterProgram::Compile(tree.data(), tree.size(), fields_, &program);
    EXPECT_EQ(e, FilterTreeError::kNone) << FilterTreeErrorText(e);
    program.SetMemoReader(std::move(memo));
    std::vector<uint8_t> bytes = Bytes(r);
    RecordView view{&fields_, bytes.data(), code_page_};
    return program.Matches(view);
  }

 private:
  std::vector<FieldDesc> fields_;
  int code_page_;
};

TreeNode Kind() { return Field(1, "SNYLTDYR"); }
TreeNode Year() { return Field(2, "\xC5RSKLAS"); }
TreeNode Group() { return Field(3, "GRUPPE"); }

TEST(FilterEval, TextEqualityIgnoresTrailingBlanksOnBothSides) {
  Table t;
  Rec haptor{"Haptor Mark", "3"};
  EXPECT_TRUE(t.Passes(Binary(kEq, Kind(), Text("Haptor Mark")), haptor));
  EXPECT_TRUE(t.Passes(Binary(kEq, Kind(), Text("Haptor Mark  ")), haptor));
  EXPECT_FALSE(t.Passes(Binary(kEq, Kind(), Text("Haptor")), haptor));
  EXPECT_FALSE(t.Passes(Binary(kEq, Kind(), Text("haptor mark")), haptor));
  EXPECT_TRUE(t.Passes(Binary(kNe, Kind(), Text("Tricodina")), haptor));
  // A year-class text against the digit constant the parser makes of a number.
  EXPECT_TRUE(t.Passes(Binary(kEq, Year(), Text("3")), haptor));
  EXPECT_FALSE(t.Passes(Binary(kEq, Year(), Text("3")), Rec{"x", "13"}));
  // Empty text: "<> ''" keeps exactly the records with something in the column.
  EXPECT_FALSE(t.Passes(Binary(kNe, Kind(), Text("")), Rec{"", "1"}));
  EXPECT_TRUE(t.Passes(Binary(kNe, Kind(), Text("")), haptor));
  EXPECT_TRUE(t.Passes(Binary(kLt, Kind(), Text("Tricodina")), haptor));
  EXPECT_FALSE(t.Passes(Binary(kGt, Kind(), Text("Tricodina")), haptor));
}

TEST(FilterEval, NumbersDatesAndBooleans) {
  Table t;
  Rec r{"a", "1", "2.5", "20050307", "T"};
  EXPECT_TRUE(t.Passes(Binary(kGt, Group(), Number(2)), r));
  EXPECT_TRUE(t.Passes(Binary(kEq, Group(), Number(2.5)), r));
  EXPECT_TRUE(t.Passes(Binary(kLe, Group(), Integer(3)), r));
  EXPECT_FALSE(t.Passes(Binary(kGe, Group(), Number(2.6)), r));
  EXPECT_TRUE(t.Passes(Binary(kEq, Group(), Number(-1)), Rec{"a", "1", " -1.0"}));

  int32_t day = ValidDayNumber(2005, 3, 7);
  EXPECT_EQ(ValidDayNumber(1, 1, 1), 1);
  EXPECT_EQ(ValidDayNumber(1899, 12, 30), 693594);
  EXPECT_EQ(ValidDayNumber(2005, 2, 29), 0);
  EXPECT_TRUE(t.Passes(Binary(kEq, Field(4, "DATO"), DateConst(day)), r));
  EXPECT_TRUE(t.Passes(Binary(kLt, Field(4, "DATO"), DateConst(day + 1)), r));
  EXPECT_FALSE(t.Passes(Binary(kGt, Field(4, "DATO"), DateConst(day)), r));

  // A bare logical column reaches the engine as "<> false".
  TreeNode ok = Binary(kNe, Field(5, "OK"), BoolConst(false));
  EXPECT_TRUE(t.Passes(ok, r));
  EXPECT_FALSE(t.Passes(ok, Rec{"a", "1", "1", "", "F"}));
  EXPECT_FALSE(t.Passes(ok, Rec{"a", "1", "1", "", "?"}));
}

TEST(FilterEval, BlankColumnsAreNullExceptForTheBlankTest) {
  Table t;
  Rec blank{"", "", "", "", " ", ""};
  EXPECT_FALSE(t.Passes(Binary(kEq, Group(), Number(0)), blank));
  EXPECT_FALSE(t.Passes(Binary(kNe, Group(), Number(0)), blank));
  EXPECT_FALSE(t.Passes(Binary(kNe, Field(4, "DATO"), DateConst(5)), blank));
  for (uint16_t column = 1; column <= 6; ++column) {
    EXPECT_TRUE(t.Passes(Unary(kIsBlank, Field(column, "")), blank)) << column;
    EXPECT_FALSE(t.Passes(Unary(kNotBlank, Field(column, "")), blank)) << column;
  }
  Rec full{"x", "1", "0", "20000101", "F", "7"};
  for (uint16_t column = 1; column <= 6; ++column) {
    EXPECT_TRUE(t.Passes(Unary(kNotBlank, Field(column, "")), full)) << column;
  }
  EXPECT_TRUE(t.Passes(Unary(kIsBlank, Field(4, "DATO")), Rec{"", "", "", "00000000"}));
  EXPECT_TRUE(t.Passes(Unary(kIsBlank, Field(6, "KOMENT")), Rec{"", "", "", "", "", "0"}));
}

TEST(FilterEval, AndOrNotCombine) {
  Table t;
  Rec r{"Tricodina", "2", "1"};
  TreeNode is_tri = Binary(kEq, Kind(), Text("Tricodina"));
  TreeNode year3 = Binary(kEq, Year(), Text("3"));
  EXPECT_FALSE(t.Passes(Binary(kAnd, is_tri, year3), r));
  EXPECT_TRUE(t.Passes(Binary(kOr, is_tri, year3), r));
  EXPECT_TRUE(t.Passes(Binary(kAnd, is_tri, Unary(kNot, year3)), r));
  EXPECT_FALSE(t.Passes(Unary(kNot, Binary(kOr, year3, is_tri)), r));
}

TEST(FilterEval, CompareNodeCaseAndPrefix) {
  Table t;
  Rec r{"Haptor Mark", "\xE5r"};
  EXPECT_TRUE(t.Passes(CompareNode(kEq, false, 6, Kind(), Text("Haptor")), r));
  EXPECT_FALSE(t.Passes(CompareNode(kEq, false, 6, Kind(), Text("haptor")), r));
  EXPECT_TRUE(t.Passes(CompareNode(kEq, true, 6, Kind(), Text("haptor")), r));
  EXPECT_FALSE(t.Passes(CompareNode(kEq, true, 0, Kind(), Text("haptor")), r));
  EXPECT_TRUE(t.Passes(CompareNode(kEq, true, 0, Kind(), Text("HAPTOR MARK")), r));
  EXPECT_TRUE(t.Passes(CompareNode(kNe, true, 0, Kind(), Text("-")), r));
  EXPECT_FALSE(t.Passes(CompareNode(kNe, false, 3, Kind(), Text("Hap")), r));
  // A prefix longer than the value does not match.
  EXPECT_FALSE(t.Passes(CompareNode(kEq, false, 6, Kind(), Text("Haptor")), Rec{"Hapt"}));
  // Case by the table's character set: a ring in 1252 and in code page 865.
  EXPECT_TRUE(t.Passes(CompareNode(kEq, true, 0, Year(), Text("\xC5R")), r));
  Table nordic(865);
  EXPECT_TRUE(nordic.Passes(CompareNode(kEq, true, 0, Year(), Text("\x8FR")), Rec{"", "\x86r"}));
  EXPECT_TRUE(nordic.Passes(CompareNode(kEq, true, 0, Year(), Text("\x9D")), Rec{"", "\x9B"}));
}

TEST(FilterEval, LikePatterns) {
  EXPECT_TRUE(LikeMatch("Haptor Mark", "Hap%", false, 1252));
  EXPECT_TRUE(LikeMatch("Haptor Mark", "%Mark", false, 1252));
  EXPECT_TRUE(LikeMatch("Haptor Mark", "H_ptor%k", false, 1252));
  EXPECT_TRUE(LikeMatch("Haptor Mark", "%%", false, 1252));
  EXPECT_TRUE(LikeMatch("", "%", false, 1252));
  EXPECT_FALSE(LikeMatch("", "_", false, 1252));
  EXPECT_FALSE(LikeMatch("Haptor Mark", "Hap", false, 1252));
  EXPECT_FALSE(LikeMatch("Haptor Mark", "%Mar", false, 1252));
  EXPECT_TRUE(LikeMatch("abcabcabd", "%abd", false, 1252));
  EXPECT_TRUE(LikeMatch("HAPTOR", "hap%", true, 1252));
  EXPECT_FALSE(LikeMatch("HAPTOR", "hap%", false, 1252));

  Table t;
  Rec r{"Haptor Mark", "", "", "", "", "12"};
  EXPECT_TRUE(t.Passes(Binary(kLike, Kind(), Text("%tor M%")), r));
  EXPECT_FALSE(t.Passes(Binary(kLike, Kind(), Text("%tor")), r));
  EXPECT_TRUE(t.Passes(CompareNode(kLike, true, 3, Kind(), Text("hap")), r));
  // LIKE on a memo reads its text.
  MemoReader memo = [](const RecordView& v, size_t field) {
    EXPECT_EQ(field, 5u);
    EXPECT_EQ(v.Raw(field), "        12");
    return std::string("Fisken var syk   ");
  };
  EXPECT_TRUE(t.Passes(Binary(kLike, Field(6, "KOMENT"), Text("%syk")), r, memo));
  EXPECT_FALSE(t.Passes(Binary(kLike, Field(6, "KOMENT"), Text("%frisk%")), r, memo));
}

TEST(FilterEval, InListsCompareTextWithNumbers) {
  Table t;
  TreeNode in = TreeWriter::In(Year(), {Number(1), Number(2), Text("x")});
  EXPECT_TRUE(t.Passes(in, Rec{"", "2"}));
  EXPECT_TRUE(t.Passes(in, Rec{"", "x"}));
  EXPECT_FALSE(t.Passes(in, Rec{"", "3"}));
  EXPECT_FALSE(t.Passes(in, Rec{"", ""}));
  TreeNode groups = TreeWriter::In(Group(), {Number(1.5), Integer(4)});
  EXPECT_TRUE(t.Passes(groups, Rec{"", "", "1.5"}));
  EXPECT_TRUE(t.Passes(groups, Rec{"", "", "4.0"}));
  EXPECT_FALSE(t.Passes(groups, Rec{"", "", ""}));
  // A text column against a number outside a list: "3 " reads as 3.
  EXPECT_TRUE(t.Passes(Binary(kEq, Year(), Number(3)), Rec{"", "3"}));
  EXPECT_FALSE(t.Passes(Binary(kEq, Year(), Number(3)), Rec{"", "tre"}));
  EXPECT_TRUE(t.Passes(Binary(kNe, Year(), Number(3)), Rec{"", "tre"}));
}

// ---- Refusals ----------------------------------------------------------------------------

FilterTreeError Read(const std::vector<uint8_t>& bytes) {
  FilterTree tree;
  // An exact-size copy on the heap, so a read past the end is a real overrun.
  std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size() + 1]);
  std::memcpy(copy.get(), bytes.data(), bytes.size());
  return ReadFilterTree(bytes.empty() ? nullptr : copy.get(), bytes.size(), &tree);
}

void SetU16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = v & 0xFF;
  b[at + 1] = v >> 8;
}

std::vector<uint8_t> Sample() {
  // "SNYLTDYR = 'Haptor Mark' AND AARSKLAS IN (1, 2)": at 0 and, 12 =, 24 field,
  // 36 constant, 50 in, 62 field, 74 item, 86 constant, 100 constant, 114 item.
  return Tree(Binary(kAnd, Binary(kEq, Kind(), Text("Haptor Mark")),
                     TreeWriter::In(Year(), {Number(1), Number(2)})));
}

TEST(FilterTreeRead, RefusesDamagedTrees) {
  std::vector<uint8_t> good = Sample();
  ASSERT_EQ(Read(good), FilterTreeError::kNone);
  FilterTree tree;
  ASSERT_EQ(ReadFilterTree(good.data(), good.size(), &tree), FilterTreeError::kNone);
  ASSERT_EQ(tree.nodes.size(), 10u);

  auto damaged = [&](auto change) {
    std::vector<uint8_t> b = good;
    change(b);
    return Read(b);
  };
  EXPECT_EQ(damaged([](auto& b) { SetU16(b, 0, 3); }), FilterTreeError::kBadVersion);
  EXPECT_EQ(damaged([](auto& b) { b.pop_back(); }), FilterTreeError::kTooShort);
  EXPECT_EQ(Read({2, 0, 10}), FilterTreeError::kTooShort);
  EXPECT_EQ(damaged([](auto& b) { SetU16(b, 8, 5000); }), FilterTreeError::kBadLayout);
  EXPECT_EQ(damaged([](auto& b) { SetU16(b, 8, 10); }), FilterTreeError::kBadLayout);
  // The root's right operand pointed outside the node area, or back at the root.
  EXPECT_EQ(damaged([](auto& b) { SetU16(b, 10 + 10, 4000); }), FilterTreeError::kNodeOutside);
  EXPECT_EQ(damaged([](auto& b) { SetU16(b, 10 + 10, 0); }), FilterTreeError::kBadOperand);
  // A list item's next pointing back at itself.
  EXPECT_EQ(damaged([](auto& b) { SetU16(b, 10 + 74 + 10, 74); }), FilterTreeError::kBadOperand);
  // A function node and an unheard-of class.
  EXPECT_EQ(damaged([](auto& b) { b[10 + 12] = 10; }), FilterTreeError::kUnknownClass);
  EXPECT_EQ(damaged([](auto& b) { b[10 + 12] = 77; }), FilterTreeError::kUnknownClass);
  EXPECT_EQ(damaged([](auto& b) { b[10 + 12 + 4] = 13; }), FilterTreeError::kBadOperator);
  // A field name running to the end without its zero; a constant past the literal area.
  EXPECT_EQ(damaged([](auto& b) { b.back() = 'x'; }), FilterTreeError::kNone);  // a value
  EXPECT_EQ(damaged([](auto& b) { SetU16(b, 10 + 24 + 10, 5000); }),
            FilterTreeError::kLiteralOutside);
  EXPECT_EQ(damaged([](auto& b) { SetU16(b, 10 + 36 + 10, 200); }),
            FilterTreeError::kLiteralOutside);
  EXPECT_EQ(damaged([](auto& b) { SetU16(b, 10 + 86 + 8, 99); }), FilterTreeError::kBadConstant);
  EXPECT_EQ(damaged([](auto& b) { SetU16(b, 10 + 86 + 10, 4); }), FilterTreeError::kBadConstant);
  // Both operands of the AND aiming at one node: shared operands evaluate in time
  // exponential in the depth of the tree.
  EXPECT_EQ(damaged([](auto& b) { SetU16(b, 10 + 10, 12); }), FilterTreeError::kBadOperand);
  // IN whose right operand is no list, and a list item used as an ordinary operand.
  EXPECT_EQ(damaged([](auto& b) { SetU16(b, 10 + 50 + 10, 86); }), FilterTreeError::kBadOperand);
  EXPECT_EQ(damaged([](auto& b) { SetU16(b, 10 + 10, 74); }), FilterTreeError::kBadOperand);
}

TEST(FilterTreeRead, EveryCutAndEveryByteChangeIsReadSafely) {
  std::vector<uint8_t> good = Sample();
  for (size_t n = 0; n < good.size(); ++n) {
    std::vector<uint8_t> cut(good.begin(), good.begin() + n);
    EXPECT_NE(Read(cut), FilterTreeError::kNone) << n;
  }
  // Random damage: whatever is accepted must also evaluate without harm.
  std::mt19937 random(7);
  std::vector<FieldDesc> fields = Columns();
  Table t;
  std::vector<uint8_t> record = t.Bytes(Rec{"Haptor Mark", "2", "1.0", "20000101", "T", "3"});
  RecordView view{&fields, record.data(), 1252};
  for (int round = 0; round < 3000; ++round) {
    std::vector<uint8_t> b = good;
    for (int k = 0; k < 3; ++k) b[random() % b.size()] = static_cast<uint8_t>(random());
    SetU16(b, 0, 2);
    FilterProgram program;
    if (FilterProgram::Compile(b.data(), b.size(), fields, &program) == FilterTreeError::kNone) {
      program.Matches(view);
    }
  }
}

TEST(FilterTreeRead, FieldsBindByNumberOrByName) {
  std::vector<FieldDesc> fields = Columns();
  FilterProgram program;
  std::vector<uint8_t> by_name = Tree(Binary(kEq, Field(0, "gruppe"), Number(1)));
  EXPECT_EQ(FilterProgram::Compile(by_name.data(), by_name.size(), fields, &program),
            FilterTreeError::kNone);
  std::vector<uint8_t> beyond = Tree(Binary(kEq, Field(7, "X"), Number(1)));
  EXPECT_EQ(FilterProgram::Compile(beyond.data(), beyond.size(), fields, &program),
            FilterTreeError::kBadOperand);
  std::vector<uint8_t> unknown = Tree(Binary(kEq, Field(0, "NOPE"), Number(1)));
  EXPECT_EQ(FilterProgram::Compile(unknown.data(), unknown.size(), fields, &program),
            FilterTreeError::kBadOperand);
}

}  // namespace
}  // namespace snyltdyr::engine
