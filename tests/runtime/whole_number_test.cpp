#include "runtime/whole_number.h"

#include <gtest/gtest.h>

#include "runtime/exception.h"

namespace snyltdyr {
namespace {

TEST(WholeNumber, ReadsDecimalWithBlanksAndSign) {
  EXPECT_EQ(ReadWholeNumber("2005", -1), 2005);
  EXPECT_EQ(ReadWholeNumber("   85", -1), 85);
  EXPECT_EQ(ReadWholeNumber("+7", -1), 7);
  EXPECT_EQ(ReadWholeNumber("-1900", 0), -1900);
  EXPECT_EQ(ReadWholeNumber("007", 0), 7);
}

TEST(WholeNumber, ReadsHexadecimalAfterEachPrefix) {
  EXPECT_EQ(ReadWholeNumber("$1F", 0), 31);
  EXPECT_EQ(ReadWholeNumber("x1f", 0), 31);
  EXPECT_EQ(ReadWholeNumber("X10", 0), 16);
  EXPECT_EQ(ReadWholeNumber("0x7FFFFFFF", 0), INT32_MAX);
  EXPECT_EQ(ReadWholeNumber("  0Xff", 0), 255);
}

TEST(WholeNumber, GivesTheDefaultForAnythingElse) {
  for (const char* text : {"", "   ", "-", "+", "$", "0x", "x", "12 ", "1.5", "1,5", "12a",
                           "--1", "+-1", "$G", "0x1G", "2147483648", "-2147483649",
                           "0x80000000", "99999999999999999999", " - 1"}) {
    EXPECT_EQ(ReadWholeNumber(text, -77), -77) << "'" << text << "'";
  }
}

TEST(WholeNumber, TheLimitsOfSigned32BitsFit) {
  EXPECT_EQ(ReadWholeNumber("2147483647", 0), INT32_MAX);
  EXPECT_EQ(ReadWholeNumber("-2147483648", 0), INT32_MIN);
}

TEST(WholeNumber, TheRaisingFormNamesTheText) {
  EXPECT_EQ(ParseWholeNumber(" 42"), 42);
  try {
    ParseWholeNumber("");
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'' is not a valid integer value");
  }
  try {
    ParseWholeNumber("4x");
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'4x' is not a valid integer value");
  }
}

}  // namespace
}  // namespace snyltdyr
