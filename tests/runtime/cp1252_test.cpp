#include "runtime/cp1252.h"

#include <gtest/gtest.h>

namespace snyltdyr {
namespace {

TEST(Cp1252, UpperCasesNorwegianLettersAndTheSpecialBytes) {
  // æ ø å -> Æ Ø Å, and the four bytes whose capitals lie in 0x80..0x9F.
  EXPECT_EQ(UpperCase1252("\xE6\xF8\xE5"), "\xC6\xD8\xC5");
  EXPECT_EQ(UpperCase1252("\x9A\x9C\x9E\xFF"), "\x8A\x8C\x8E\x9F");
  EXPECT_EQ(UpperCase1252("haptor mark"), "HAPTOR MARK");
  // The division sign, sharp s, micro sign and digits have no capital.
  EXPECT_EQ(UpperCase1252("\xF7\xDF\xB5" "09-"), "\xF7\xDF\xB5" "09-");
  // Capitals and the multiplication sign stay as they are.
  EXPECT_EQ(UpperCase1252("\xC5\xD7\x8A"), "\xC5\xD7\x8A");
}

TEST(Cp1252, LowerCasingIsTheInverseOfUpperCasing) {
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    const char upper = UpperChar1252(c);
    if (upper != c) {
      EXPECT_EQ(LowerChar1252(upper), c) << "byte " << b;
    }
  }
  EXPECT_EQ(LowerCase1252("\xC5RSKLAS \x9F\xD7"), "\xE5rsklas \xFF\xD7");
}

TEST(Cp1252, ComparesWithoutRegardToCase) {
  EXPECT_TRUE(SameText1252("\xC5RSKLAS", "\xE5rsklas"));
  EXPECT_FALSE(SameText1252("DATO", "DAT"));
  EXPECT_EQ(CompareText1252("abc", "ABD"), -1);
  EXPECT_EQ(CompareText1252("b", "A"), 1);
  EXPECT_EQ(CompareText1252("ab", "AB"), 0);
  EXPECT_LT(CompareText1252("ab", "abc"), 0);
}

TEST(Cp1252, ConvertsToAndFromUtf8) {
  EXPECT_EQ(Cp1252ToUtf8("\xC5rsklas \x80"), "\xC3\x85rsklas \xE2\x82\xAC");
  EXPECT_EQ(Utf8ToCp1252("\xC3\x85rsklas \xE2\x82\xAC \xC5\xA0"), "\xC5rsklas \x80 \x8A");
  // Round trip of every byte that has a character.
  std::string all;
  for (int b = 1; b < 256; ++b) {
    if (b != 0x81 && b != 0x8D && b != 0x8F && b != 0x90 && b != 0x9D) all += static_cast<char>(b);
  }
  EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all)), all);
}

TEST(Cp1252, UnmappableCharactersBecomeQuestionMarks) {
  EXPECT_EQ(Cp1252ToUtf8("a\x81" "b"), "a?b");
  EXPECT_EQ(Utf8ToCp1252("\xE4\xB8\xAD"), "?");          // a CJK character
  EXPECT_EQ(Utf8ToCp1252("\xF0\x9F\x90\x9F" "x"), "?x");  // outside the basic plane
  EXPECT_EQ(Utf8ToCp1252("a\xC3"), "a?");                 // cut-off sequence
  EXPECT_EQ(Utf8ToCp1252("\xFF" "b"), "?b");              // not a lead byte
}

}  // namespace
}  // namespace snyltdyr
