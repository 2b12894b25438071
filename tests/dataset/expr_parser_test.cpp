// Filter texts to filter trees: the exact bytes of the texts the selection buttons compose,
// the options, the typing of constants, and the messages of bad texts.
#include "dataset/filters/expr_parser.h"

#include <gtest/gtest.h>

#include "dataset/fields/blob_field.h"
#include "dataset/fields/date_time_field.h"
#include "dataset/fields/numeric_field.h"
#include "dataset/fields/string_field.h"
#include "runtime/date_time.h"
#include "runtime/regional_settings.h"
#include "support/filter_tree_builder.h"
#include "support/memory_dataset.h"

namespace snyltdyr {
namespace {

namespace ft = filter_tree;
using Bytes = std::vector<uint8_t>;

// The observation table, plus columns for the types and names the parser must handle.
// Its native character set is code page 865 when `nordic` is set: "Å" 0xC5 -> 0x8F.
class TFilterTable : public testing::TMemoryDataSet {
 public:
  TFilterTable() : TMemoryDataSet("SnyltdyrTable") {}
  bool nordic = false;
  void TranslateText(std::string& text, bool to_storage) override {
    if (!nordic || !to_storage) return;
    for (char& c : text) {
      if (c == '\xC5') c = '\x8F';
      if (c == '\xE5') c = '\x86';
    }
  }
};

class ExprParserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegionalSettings settings = NorwegianSettings();
    settings.decimal_separator = '.';
    SetRegional(settings);
    struct Column {
      const char* name;
      TFieldType type;
      int size;
    };
    const Column columns[] = {
        {"DATO", ftDate, 0},       {"BYGG", ftString, 9},      {"GENER", ftString, 20},
        {"\xC5RSKLAS", ftString, 20}, {"GRUPPE", ftFloat, 0},  {"SNYLTDYR", ftString, 30},
        {"MENGDE", ftString, 9},   {"ORGAN", ftString, 30},    {"BEHANDL", ftString, 30},
        {"TID", ftString, 20},     {"KONS", ftString, 20},     {"KOMENT", ftMemo, 10},
        {"METODE", ftString, 30},  {"TALL", ftFloat, 0},       {"OK", ftBoolean, 0},
        {"LITEN", ftSmallint, 0},  {"ORD", ftWord, 0},         {"BYTES", ftBytes, 4},
        {"NOT", ftString, 5},      {"B\xC5T", ftString, 5}};
    for (const Column& c : columns) {
      table.AddColumn(c.name, c.type, c.size);
      fields.push_back(testing::NewFieldFor(c.name, c.type, c.size));
      fields.back()->SetDataSet(&table);
    }
    calculated.SetFieldName("KALK");
    calculated.SetFieldKind(fkCalculated);
    calculated.SetDataSet(&table);
    table.Open();
  }
  void TearDown() override {
    table.Close();
    SetRegional(NorwegianSettings());
  }

  Bytes Tree(const std::string& text, TFilterOptions options = 0) {
    TExprParser parser(table, text, options, 0, "", nullptr, EngineTypeMap());
    EXPECT_EQ(parser.DataSize(), parser.FilterData()->size());
    return *parser.FilterData();
  }

  std::string Error(const std::string& text, TFilterOptions options = 0) {
    try {
      TExprParser parser(table, text, options, 0, "", nullptr, EngineTypeMap());
    } catch (const Exception& e) {
      return e.Message();
    }
    return "(accepted)";
  }

  TFilterTable table;
  std::vector<std::unique_ptr<TField>> fields;
  TStringField calculated;
};

// Field references of the table, by their column numbers.
ft::TreeNode Kind() { return ft::Field(6, "SNYLTDYR"); }
ft::TreeNode Amount() { return ft::Field(7, "MENGDE"); }
ft::TreeNode Treated() { return ft::Field(9, "BEHANDL"); }
ft::TreeNode Year() { return ft::Field(4, "\xC5RSKLAS"); }
ft::TreeNode Group() { return ft::Field(5, "GRUPPE"); }

TEST_F(ExprParserTest, WorkedExampleByteForByte) {
  Bytes expected = {
      2, 0, 129, 0, 0xFF, 0xFF, 10, 0, 98, 0,                      // header
      2, 0, 0, 0, 10, 0, 0, 0, 12, 0, 50, 0,                       // 0: AND
      2, 0, 0, 0, 3, 0, 0, 0, 24, 0, 36, 0,                        // 12: =
      4, 0, 0, 0, 13, 0, 0, 0, 6, 0, 0, 0,                         // 24: SNYLTDYR
      5, 0, 0, 0, 14, 0, 0, 0, 1, 0, 12, 0, 9, 0,                  // 36: 'Haptor Mark'
      2, 0, 0, 0, 3, 0, 0, 0, 62, 0, 74, 0,                        // 50: =
      4, 0, 0, 0, 13, 0, 0, 0, 4, 0, 21, 0,                        // 62: ÅRSKLAS
      5, 0, 0, 0, 14, 0, 0, 0, 1, 0, 2, 0, 29, 0};                 // 74: '3'
  for (const char* literal : {"SNYLTDYR", "Haptor Mark", "\xC5RSKLAS", "3"}) {
    expected.insert(expected.end(), literal, literal + std::strlen(literal) + 1);
  }
  EXPECT_EQ(Tree("SNYLTDYR='Haptor Mark' AND \xC5RSKLAS=3"), expected);
}

// Every text the selection buttons compose, built the way they build it.
TEST_F(ExprParserTest, EverySelectionFilterText) {
  int texts = 0;
  for (std::string kind : {"", "Haptor Mark", "Tricodina"}) {
    for (int found = 0; found < 2; ++found) {
      for (int treated = 0; treated < 2; ++treated) {
        for (int year = -1; year <= 5; ++year) {
          std::string text;
          std::vector<ft::TreeNode> parts;
          auto add = [&](const std::string& piece, ft::TreeNode node) {
            text += (text.empty() ? "" : " AND ") + piece;
            parts.push_back(std::move(node));
          };
          if (!kind.empty()) add("SNYLTDYR='" + kind + "'", ft::Binary(ft::kEq, Kind(), ft::Text(kind)));
          if (found) add("MENGDE<>'-'", ft::Binary(ft::kNe, Amount(), ft::Text("-")));
          if (treated) add("BEHANDL<>''", ft::Binary(ft::kNe, Treated(), ft::Text("")));
          if (year >= 0) {
            add("\xC5RSKLAS=" + std::to_string(year),
                ft::Binary(ft::kEq, Year(), ft::Text(std::to_string(year))));
          }
          if (parts.empty()) continue;
          ft::TreeNode expected = parts[0];
          for (size_t i = 1; i < parts.size(); ++i) {
            expected = ft::Binary(ft::kAnd, expected, parts[i]);
          }
          EXPECT_EQ(Tree(text), ft::Tree(expected)) << text;
          ++texts;
        }
      }
    }
  }
  EXPECT_EQ(texts, 3 * 4 * 7 - 1);
}

TEST_F(ExprParserTest, NamesAndTextsReachTheTableInItsCharacterSet) {
  table.nordic = true;
  EXPECT_EQ(Tree("\xC5RSKLAS='s\xE5r'"),
            ft::Tree(ft::Binary(ft::kEq, ft::Field(4, "\x8FRSKLAS"), ft::Text("s\x86r"))));
  // The name goes to the tree as written in the text, whatever its case.
  EXPECT_EQ(Tree("mengde='S'"),
            ft::Tree(ft::Binary(ft::kEq, ft::Field(7, "mengde"), ft::Text("S"))));
}

TEST_F(ExprParserTest, CaseAndPrefixOptionsMakeCompareNodes) {
  EXPECT_EQ(Tree("MENGDE<>'-'", foCaseInsensitive),
            ft::Tree(ft::CompareNode(ft::kNe, true, 0, Amount(), ft::Text("-"))));
  EXPECT_EQ(Tree("SNYLTDYR='Haptor*'"),
            ft::Tree(ft::CompareNode(ft::kEq, false, 6, Kind(), ft::Text("Haptor"))));
  EXPECT_EQ(Tree("SNYLTDYR='Haptor*'", foNoPartialCompare),
            ft::Tree(ft::Binary(ft::kEq, Kind(), ft::Text("Haptor*"))));
  EXPECT_EQ(Tree("SNYLTDYR LIKE 'Hap*'", foCaseInsensitive),
            ft::Tree(ft::CompareNode(ft::kLike, true, 3, Kind(), ft::Text("Hap"))));
  EXPECT_EQ(Tree("SNYLTDYR='*'"), ft::Tree(ft::Binary(ft::kEq, Kind(), ft::Text("*"))));
  // An empty text never makes a compare node; nor does an ordering.
  EXPECT_EQ(Tree("BEHANDL<>''", foCaseInsensitive),
            ft::Tree(ft::Binary(ft::kNe, Treated(), ft::Text(""))));
  EXPECT_EQ(Tree("SNYLTDYR>'a*'", foCaseInsensitive),
            ft::Tree(ft::Binary(ft::kGt, Kind(), ft::Text("a*"))));
}

TEST_F(ExprParserTest, ConstantsTakeTheTypeOfTheirField) {
  // A constant before the field: the operands change places and the sign turns round.
  EXPECT_EQ(Tree("3=\xC5RSKLAS"), Tree("\xC5RSKLAS=3"));
  EXPECT_EQ(Tree("3<GRUPPE"), ft::Tree(ft::Binary(ft::kGt, Group(), ft::Number(3))));
  EXPECT_EQ(Tree("3>=GRUPPE"), ft::Tree(ft::Binary(ft::kLe, Group(), ft::Number(3))));
  EXPECT_EQ(Tree("GRUPPE=-1"), ft::Tree(ft::Binary(ft::kEq, Group(), ft::Number(-1))));
  EXPECT_EQ(Tree("GRUPPE='2.5'"), ft::Tree(ft::Binary(ft::kEq, Group(), ft::Number(2.5))));
  EXPECT_EQ(Tree("LITEN=-5"), ft::Tree(ft::Binary(ft::kEq, ft::Field(16, "LITEN"),
                                                  ft::Constant(5, ft::Raw<int16_t>(-5)))));
  EXPECT_EQ(Tree("ORD=65535"), ft::Tree(ft::Binary(ft::kEq, ft::Field(17, "ORD"),
                                                   ft::Constant(12, ft::Raw<uint16_t>(65535)))));
  int32_t day = DateToDayNumber(*EncodeDate(2005, 3, 7));
  EXPECT_EQ(Tree("DATO='07.03.2005'"),
            ft::Tree(ft::Binary(ft::kEq, ft::Field(1, "DATO"), ft::DateConst(day))));
  // A number with a field on neither side stays a float; an IN list keeps its numbers.
  EXPECT_EQ(Tree("\xC5RSKLAS IN (1, 2)"),
            ft::Tree(ft::TreeWriter::In(Year(), {ft::Number(1), ft::Number(2)})));
  EXPECT_EQ(Tree("DATO IN ('07.03.2005')"),
            ft::Tree(ft::TreeWriter::In(ft::Field(1, "DATO"), {ft::DateConst(day)})));
  // A memo compares by LIKE only, as text.
  EXPECT_EQ(Tree("KOMENT LIKE 'x%'"),
            ft::Tree(ft::Binary(ft::kLike, ft::Field(12, "KOMENT"), ft::Text("x%"))));
}

TEST_F(ExprParserTest, NullAndBooleans) {
  EXPECT_EQ(Tree("BEHANDL=NULL"), ft::Tree(ft::Unary(ft::kIsBlank, Treated())));
  EXPECT_EQ(Tree("NULL<>BEHANDL"), ft::Tree(ft::Unary(ft::kNotBlank, Treated())));
  EXPECT_EQ(Tree("BEHANDL is null"), ft::Tree(ft::Unary(ft::kIsBlank, Treated())));
  EXPECT_EQ(Tree("BEHANDL IS  NOT\tNULL"), ft::Tree(ft::Unary(ft::kNotBlank, Treated())));
  // A bare logical field stands for "<> false"; compared, it is a plain field.
  ft::TreeNode ok = ft::Field(15, "OK");
  ft::TreeNode bare = ft::Binary(ft::kNe, ok, ft::BoolConst(false));
  EXPECT_EQ(Tree("OK"), ft::Tree(bare));
  EXPECT_EQ(Tree("NOT OK"), ft::Tree(ft::Unary(ft::kNot, bare)));
  EXPECT_EQ(Tree("OK OR MENGDE='S'"),
            ft::Tree(ft::Binary(ft::kOr, bare, ft::Binary(ft::kEq, Amount(), ft::Text("S")))));
  EXPECT_EQ(Tree("OK=true"), ft::Tree(ft::Binary(ft::kEq, ok, ft::BoolConst(true))));
  EXPECT_EQ(Tree("OK='False'"), ft::Tree(ft::Binary(ft::kEq, ok, ft::BoolConst(false))));
  EXPECT_EQ(Tree("TRUE"), ft::Tree(ft::BoolConst(true)));
  // Keywords in brackets are names.
  EXPECT_EQ(Tree("[NOT]='1'"),
            ft::Tree(ft::Binary(ft::kEq, ft::Field(19, "NOT"), ft::Text("1"))));
  EXPECT_EQ(Tree("[B\xC5T]='x'"),
            ft::Tree(ft::Binary(ft::kEq, ft::Field(20, "B\xC5T"), ft::Text("x"))));
}

TEST_F(ExprParserTest, QuotedTexts) {
  auto kind_is = [](const std::string& value) {
    return ft::Tree(ft::Binary(ft::kEq, Kind(), ft::Text(value)));
  };
  EXPECT_EQ(Tree("SNYLTDYR='O'Brien'"), kind_is("O'Brien"));
  EXPECT_EQ(Tree("SNYLTDYR='It''s'"), kind_is("It's"));
  EXPECT_EQ(Tree("SNYLTDYR='x' AND MENGDE='y'"),
            ft::Tree(ft::Binary(ft::kAnd, ft::Binary(ft::kEq, Kind(), ft::Text("x")),
                                ft::Binary(ft::kEq, Amount(), ft::Text("y")))));
  EXPECT_EQ(Tree("(SNYLTDYR='x') or (MENGDE='y')"),
            ft::Tree(ft::Binary(ft::kOr, ft::Binary(ft::kEq, Kind(), ft::Text("x")),
                                ft::Binary(ft::kEq, Amount(), ft::Text("y")))));
  // 300 characters: the tree keeps 255.
  EXPECT_EQ(Tree("SNYLTDYR='" + std::string(300, 'k') + "'"), kind_is(std::string(255, 'k')));
  // Only a word's first characters can make it a keyword: a long word after a quote, or a
  // keyword with more letters, continues the text; a keyword ends it.
  EXPECT_EQ(Tree("SNYLTDYR='O'Brien-Andersen-Haugen'"), kind_is("O'Brien-Andersen-Haugen"));
  EXPECT_EQ(Tree("SNYLTDYR='a' DESCENDINGS 'b'"), kind_is("a' DESCENDINGS 'b"));
  EXPECT_EQ(Error("SNYLTDYR='a' DESCENDING 'b'"), "Filter expression incorrectly terminated");
  // Forty thousand quotes with no blank between them: each closing quote looks ahead a few
  // characters, no more, so the text reads in time linear in its length.
  std::string quotes;
  for (int i = 0; i < 40000; ++i) quotes += "'y";
  EXPECT_EQ(Tree("SNYLTDYR='x" + quotes + "'"), kind_is(("x" + quotes).substr(0, 255)));
  // Comments and control characters between tokens.
  EXPECT_EQ(Tree("/* kind */ SNYLTDYR\r\n=\t'x'"), kind_is("x"));
}

TEST_F(ExprParserTest, DecimalCommaAndLists) {
  SetRegional(NorwegianSettings());
  EXPECT_EQ(Tree("GRUPPE IN (1,5)"), ft::Tree(ft::TreeWriter::In(Group(), {ft::Number(1.5)})));
  EXPECT_EQ(Tree("GRUPPE IN (1, 5)"),
            ft::Tree(ft::TreeWriter::In(Group(), {ft::Number(1), ft::Number(5)})));
  EXPECT_EQ(Tree("GRUPPE=2,5"), ft::Tree(ft::Binary(ft::kEq, Group(), ft::Number(2.5))));
  EXPECT_EQ(Error("GRUPPE IN (1,"), "')' or ',' expected but nothing found");
  EXPECT_EQ(Error("GRUPPE=2.5"), "Invalid filter expression character: '.'");
}

TEST_F(ExprParserTest, BadTextsGiveTheirMessages) {
  const std::pair<const char*, const char*> cases[] = {
      {"MENGDE", "Incorrectly formed filter expression"},
      {"MENGDE='S' X", "Filter expression incorrectly terminated"},
      {"MENGDE='S' AND", "Expression expected but nothing found"},
      {"MENGDE='S' AND )", "Expression expected but ')' found"},
      {"GRUPPE-1=0", "Arithmetic in filter expressions not supported"},
      {"GRUPPE=1 2", "Arithmetic in filter expressions not supported"},
      {"GRUPPE*2=4", "Arithmetic in filter expressions not supported"},
      {"GRUPPE='x'", "'x' is not a valid floating point value"},
      {"KOMENT='x'", "Type mismatch in expression"},
      {"BYTES='x'", "Type mismatch in expression"},
      {"GRUPPE IN ()", "IN predicate list may not be empty"},
      {"GRUPPE IN (1 2)", "Arithmetic in filter expressions not supported"},
      {"GRUPPE IN (1, 2", "')' or ',' expected but nothing found"},
      {"GRUPPE IN (1,", "')' expected but nothing found"},
      {"GRUPPE IN 1", "'(' expected but '1' found"},
      {"(MENGDE='S'", "')' expected but nothing found"},
      {"/* a * b */ MENGDE='S'", "Invalid filter expression character: '*'"},
      {"/* open", "Invalid filter expression character: ''"},
      {"/* a */ /* b */ MENGDE='S'", "Expression expected but '/' found"},
      {"MENGDE=\"S\"", "Invalid filter expression character: '\"'"},
      {"MENGDE='S' & OK", "Invalid filter expression character: '&'"},
      {"[MENGDE='S'", "Unterminated field name"},
      {"MENGDE='S", "Unterminated string constant"},
      {"MENGDE IS NOTHING", "Invalid use of keyword"},
      {"MENGDE IS NOT 1", "Invalid use of keyword"},
      {"BEHANDL LIKE NULL", "NULL only allowed with '=' and '<>'"},
      {"GRUPPE>NULL", "NULL only allowed with '=' and '<>'"},
      {"GRUPPE IN (1, NULL)", "NULL only allowed with '=' and '<>'"},
      {"LITEN=40000", "Constant out of range"},
      {"ORD=-1", "Constant out of range"},
      {"LITEN=1.5", "'1.5' is not a valid integer value"},
      {"DATO=3", "'3' is not a valid date"},
      {"KALK='x'", "Field 'KALK' cannot be used in a filter expression"},
      {"UPPER(MENGDE)='A'", "SnyltdyrTable: Field 'UPPER' not found"},
      {"B\xC5T='x'", "SnyltdyrTable: Field 'B' not found"},
      {"NOT NOT MENGDE='S'", "Filter expression incorrectly terminated"},
  };
  for (const auto& [text, message] : cases) EXPECT_EQ(Error(text), message) << text;
}

TEST_F(ExprParserTest, OversizedTextsAreRefusedNotCrashed) {
  std::string deep = std::string(5000, '(') + "MENGDE='S'" + std::string(5000, ')');
  EXPECT_EQ(Error(deep), "Filter expression too complex");
  std::string wide = "MENGDE='S'";
  for (int i = 0; i < 4000; ++i) wide += " OR MENGDE='S'";
  EXPECT_EQ(Error(wide), "Filter expression too complex");
  std::string fits = "MENGDE='S'";
  for (int i = 0; i < 400; ++i) fits += " OR MENGDE='S'";
  EXPECT_GT(Tree(fits).size(), 10000u);
}

TEST_F(ExprParserTest, FieldsUsedAreMarkedAndTheTreeOutlivesTheParser) {
  std::vector<bool> used;
  TFilterTree tree;
  {
    TExprParser parser(table, "MENGDE<>'-' AND \xC5RSKLAS=3", 0, 0, "", &used, EngineTypeMap());
    tree = parser.FilterData();
  }
  ASSERT_EQ(used.size(), 8u);
  EXPECT_TRUE(used[7]);
  EXPECT_TRUE(used[4]);
  EXPECT_FALSE(used[6]);
  EXPECT_EQ(tree->size(), static_cast<size_t>((*tree)[2] | ((*tree)[3] << 8)));
}

TEST(EngineTypeMap, MapsEveryFieldType) {
  const TFieldMap& m = EngineTypeMap();
  EXPECT_EQ(m[ftUnknown], 0);
  EXPECT_EQ(m[ftString], 1);
  EXPECT_EQ(m[ftGuid], 1);
  EXPECT_EQ(m[ftDate], 2);
  EXPECT_EQ(m[ftMemo], 3);
  EXPECT_EQ(m[ftOraClob], 3);
  EXPECT_EQ(m[ftBoolean], 4);
  EXPECT_EQ(m[ftSmallint], 5);
  EXPECT_EQ(m[ftAutoInc], 6);
  EXPECT_EQ(m[ftCurrency], 7);
  EXPECT_EQ(m[ftFMTBcd], 8);
  EXPECT_EQ(m[ftBytes], 9);
  EXPECT_EQ(m[ftTime], 10);
  EXPECT_EQ(m[ftDateTime], 11);
  EXPECT_EQ(m[ftWord], 12);
  EXPECT_EQ(m[ftVarBytes], 15);
  EXPECT_EQ(m[ftCursor], 17);
  EXPECT_EQ(m[ftLargeint], 18);
  EXPECT_EQ(m[ftDataSet], 23);
  EXPECT_EQ(m[ftTimeStamp], 24);
  EXPECT_EQ(m[ftVariant], 0);
}

}  // namespace
}  // namespace snyltdyr
