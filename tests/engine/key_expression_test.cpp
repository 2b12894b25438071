#include "storage/engine/keys/key_expression.h"

#include <gtest/gtest.h>

#include "storage/engine/keys/key_codec.h"
#include "index_test_support.h"

namespace snyltdyr::engine {
namespace {

using testing::MemTable;

class KeyExpressionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    t_.AddField("_SKZ", 'C', 12);
    t_.AddField("ID", 'N', 11);
    t_.AddField("DATO", 'D', 8);
    t_.AddField("TYP", 'C', 5);
    t_.AddField("KOMENT", 'M', 10);
    t_.AddField("PRIS", 'N', 8, 2);
    t_.Append();
    t_.Set(1, 0, "  Abc d\xE5r");
    t_.Set(1, 1, "185");
    t_.Set(1, 2, "20240315");
    t_.Set(1, 3, "0001");
    t_.Set(1, 5, "-3.50");
  }
  std::string Key(const std::string& expr, char type, size_t len) {
    std::string why;
    auto e = KeyExpression::Parse(expr, t_.fields, 1252, &why);
    EXPECT_TRUE(e) << why;
    if (!e) return {};
    return e->MakeKey(t_.View(1), type, len).value_or("<none>");
  }
  MemTable t_;
};

TEST_F(KeyExpressionTest, FunctionsOfRealKeyExpressions) {
  EXPECT_EQ(Key("UPPER(LTRIM(TRIM(_SKZ)))", 'C', 12), "ABC D\xC5R     ");
  EXPECT_EQ(Key("_skz", 'C', 12), "  Abc d\xE5r   ");  // field names ignore case
  EXPECT_EQ(Key("STR(ID,11,0)+TYP", 'C', 16), "        1850001 ");
  EXPECT_EQ(Key("TYP + _SKZ", 'C', 10), "0001   Abc");  // cut to the key length
  EXPECT_EQ(Key("SUBSTR(_SKZ,3,3)+LEFT(TYP,2)+RIGHT(TYP,2)", 'C', 7), "Abc001 ");  // RIGHT keeps the trailing blank
  EXPECT_EQ(Key("DTOS(DATO)", 'C', 8), "20240315");
  EXPECT_EQ(Key("STR(PRIS,6,1)", 'C', 6), "  -3.5");
  EXPECT_EQ(Key("TYP - _SKZ", 'C', 18), "0001  Abc d\xE5r     ");
  EXPECT_EQ(KeyToText('N', Key("VAL(TYP)", 'N', 12)), "1");
  EXPECT_EQ(KeyToText('N', Key("ID", 'N', 12)), "185");
  EXPECT_EQ(KeyToText('N', Key("PRIS", 'N', 12)), "-3.5");
  EXPECT_EQ(KeyToText('N', Key("ID + PRIS", 'N', 12)), "181.5");
  EXPECT_EQ(KeyToText('D', Key("DATO", 'D', 8)), "20240315");
}

TEST_F(KeyExpressionTest, StaticTypesAndWidths) {
  auto e = KeyExpression::Parse("STR(ID,11,0)+UPPER(_SKZ)", t_.fields, 1252, nullptr);
  ASSERT_TRUE(e);
  EXPECT_EQ(e->type(), 'C');
  EXPECT_EQ(e->width(), 23u);
  EXPECT_EQ(e->single_field(), -1);
  auto d = KeyExpression::Parse("dato", t_.fields, 1252, nullptr);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->type(), 'D');
  EXPECT_EQ(d->single_field(), 2);
  // A key of another type than the tag's is refused, never stored.
  EXPECT_FALSE(d->MakeKey(t_.View(1), 'C', 8));
}

TEST_F(KeyExpressionTest, BlankFieldsGiveBlankKeys) {
  t_.Append();
  EXPECT_EQ(KeyToText('N', *KeyExpression::Parse("ID", t_.fields, 1252, nullptr)
                                ->MakeKey(t_.View(2), 'N', 12)), "0");
  EXPECT_EQ(DecodeDateKey(*KeyExpression::Parse("DATO", t_.fields, 1252, nullptr)
                               ->MakeKey(t_.View(2), 'D', 8)), 0.0);
  EXPECT_EQ(*KeyExpression::Parse("DTOS(DATO)", t_.fields, 1252, nullptr)->MakeKey(t_.View(2), 'C', 8),
            "        ");
}

TEST_F(KeyExpressionTest, RefusesWhatItCannotEvaluate) {
  for (const char* bad : {"NOSUCH", "KOMENT", "SOUNDEX(TYP)", "UPPER(ID)", "TYP + ID", "STR(ID,",
                          "'open", "TYP)", "SUBSTR(TYP, ID)", "DATO + DATO", ""}) {
    std::string why;
    EXPECT_FALSE(KeyExpression::Parse(bad, t_.fields, 1252, &why)) << bad;
    EXPECT_FALSE(why.empty()) << bad;
  }
}

// A tag header may hold anything: widths, positions and decimals out of range, and nesting
// that would exhaust the stack, are refused when the expression is read, with the reason.
TEST_F(KeyExpressionTest, RefusesArgumentsOutsideTheirRangeAndDeepNesting) {
  for (const char* bad : {"STR(ID,2000000000,2000000000)", "STR(ID,0)", "STR(ID,10,19)",
                          "SUBSTR(_SKZ,99999999999,2)", "SUBSTR(_SKZ,1,255)", "LEFT(_SKZ,300)",
                          "RIGHT(_SKZ,1000000000)"}) {
    std::string why;
    EXPECT_FALSE(KeyExpression::Parse(bad, t_.fields, 1252, &why)) << bad;
    EXPECT_NE(why.find("outside"), std::string::npos) << bad << ": " << why;
  }
  std::string deep = "TYP";
  for (int i = 0; i < 40; ++i) deep = "UPPER(" + deep + ")";
  std::string why;
  EXPECT_FALSE(KeyExpression::Parse(deep, t_.fields, 1252, &why));
  EXPECT_NE(why.find("nests deeper than 32"), std::string::npos) << why;
  EXPECT_FALSE(KeyExpression::Parse(std::string(100000, '('), t_.fields, 1252, &why));
  // The limits themselves are fine.
  EXPECT_EQ(Key("STR(PRIS,254,18)", 'C', 100).size(), 100u);
  EXPECT_EQ(Key("SUBSTR(_SKZ,254,0)+LEFT(_SKZ,254)", 'C', 12), "  Abc d\xE5r   ");
}

TEST(UpperInCodePage, NordicLettersInEachCodePage) {
  EXPECT_EQ(UpperInCodePage("\xE6\xF8\xE5", 1252), "\xC6\xD8\xC5");
  EXPECT_EQ(UpperInCodePage("\x91\x9B\x86", 865), "\x92\x9D\x8F");
  EXPECT_EQ(UpperInCodePage("\x9B", 437), "\x9B");  // a cent sign there, not a letter
  EXPECT_EQ(UpperInCodePage("\xF7", 1252), "\xF7");  // the division sign stays
}

}  // namespace
}  // namespace snyltdyr::engine
