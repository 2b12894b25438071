#include "runtime/csv_text.h"

#include <gtest/gtest.h>

#include "runtime/exception.h"

namespace snyltdyr {
namespace {

using Cells = std::vector<std::string>;

TEST(CsvText, TheSeparatorIsTheOneTheHeaderLineHoldsMostOfOutsideQuotes) {
  EXPECT_EQ(ReadCsvText("a,b,c\n1,2,3\n").separator, ',');
  EXPECT_EQ(ReadCsvText("a;b;c\n1,5;2,5;3\n").separator, ';');
  EXPECT_EQ(ReadCsvText("a\tb,x\tc\n").separator, '\t');
  // Commas inside a quoted title do not count.
  const CsvText quoted = ReadCsvText("\"a,b,c\";d\n1;2\n");
  EXPECT_EQ(quoted.separator, ';');
  EXPECT_EQ(quoted.header, (Cells{"a,b,c", "d"}));
  EXPECT_EQ(ReadCsvText("dato\n01.02.2020\n").rows.at(0).cells, Cells{"01.02.2020"});
}

TEST(CsvText, QuotedCellsHoldSeparatorsQuotesAndLineBreaksAndRowsKnowTheirLine) {
  const CsvText csv = ReadCsvText(
      "dato;KOMENT;tall\r\n"
      "01.02.2020;\"f\xC3\xB8rste linje\r\nandre; \"\"linje\"\"\";1,5\r\n"
      "\r\n"
      "02.02.2020;\"\";2\r\n"
      ";;\r\n"
      "03.02.2020;\"a\nb\nc\";3");
  ASSERT_EQ(csv.rows.size(), 3u);
  EXPECT_TRUE(csv.was_utf8);
  EXPECT_EQ(csv.rows[0].line, 2);
  EXPECT_EQ(csv.rows[0].cells, (Cells{"01.02.2020", "f\xC3\xB8rste linje\r\nandre; \"linje\"", "1,5"}));
  EXPECT_EQ(csv.rows[1].line, 5);  // after a comment of two lines and an empty line
  EXPECT_EQ(csv.rows[1].cells, (Cells{"02.02.2020", "", "2"}));
  EXPECT_EQ(csv.rows[2].line, 7);  // the line of nothing but separators is left out
  EXPECT_EQ(csv.rows[2].cells, (Cells{"03.02.2020", "a\nb\nc", "3"}));
}

TEST(CsvText, ShortRowsAreFilledAndEmptyCellsPastTheLastColumnDropped) {
  const CsvText csv = ReadCsvText("a,b,c\n1\n1,2,3,,\n");
  ASSERT_EQ(csv.rows.size(), 2u);
  EXPECT_EQ(csv.rows[0].cells, (Cells{"1", "", ""}));
  EXPECT_EQ(csv.rows[1].cells, (Cells{"1", "2", "3"}));
}

TEST(CsvText, TextThatIsNotUtf8IsCodePage1252AndAByteOrderMarkIsSkipped) {
  const CsvText bom = ReadCsvText("\xEF\xBB\xBF" "kar;pr\xC3\xB8vemetode\nK1;\xE2\x82\xAC\n");
  EXPECT_TRUE(bom.was_utf8);
  EXPECT_EQ(bom.header, (Cells{"kar", "pr\xC3\xB8vemetode"}));
  EXPECT_EQ(bom.rows.at(0).cells, (Cells{"K1", "\xE2\x82\xAC"}));
  // The same in code page 1252 ("\xF8" is ø, "\x80" the euro sign); 0x81 has no character.
  const CsvText ansi = ReadCsvText("kar;pr\xF8vemetode\nK1;\x80\x81\n");
  EXPECT_FALSE(ansi.was_utf8);
  EXPECT_EQ(ansi.header, (Cells{"kar", "pr\xC3\xB8vemetode"}));
  EXPECT_EQ(ansi.rows.at(0).cells, (Cells{"K1", "\xE2\x82\xAC\xEF\xBF\xBD"}));
}

TEST(CsvText, Utf8IsCheckedStrictly) {
  EXPECT_TRUE(IsValidUtf8("pr\xC3\xB8ve \xE2\x82\xAC \xF0\x9F\x90\x9F"));
  EXPECT_FALSE(IsValidUtf8("pr\xF8ve"));          // a code page 1252 letter
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // an overlong "/"
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // a surrogate
  EXPECT_FALSE(IsValidUtf8("\xE2\x82"));          // cut short
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // beyond U+10FFFF
}

TEST(CsvText, BrokenQuotesAndRowsWiderThanTheHeaderAreRefusedWithTheirLine) {
  auto message = [](const std::string& text) {
    try {
      ReadCsvText(text);
    } catch (const EConvertError& e) {
      return e.Message();
    }
    return std::string("no error");
  };
  EXPECT_EQ(message("a;b\n1;2\n3;\"never closed\n4;5\n"),
            "line 3, character 3: the quote that starts a cell here is never closed");
  EXPECT_EQ(message("a;b\n1;\"x\"y\n"), "line 2, character 6: text after the closing quote of a cell");
  EXPECT_EQ(message("a;b\n1;2\n1;2;3\n"), "line 3: 3 cells, but the header line names 2 columns");
}

}  // namespace
}  // namespace snyltdyr
