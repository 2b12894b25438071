// A plain text field read and written straight in the bytes of a pass's record: exactly
// the field's text, and never a byte of the column after it.
#include "binding_fixture.h"
#include "storage/stored_text.h"

namespace snyltdyr::testing {
namespace {

TEST_F(BindingTest, StoredTextIsTheFieldsTextAndStaysInItsColumn) {
  MakeStandardTable();  // BYGG (9 bytes) is followed by GENER, "2020" in every record
  TTable& table = NewTable();
  table.Open();
  const TStoredText bygg(table.FieldByName("BYGG"));
  ASSERT_TRUE(bygg.Direct());
  std::vector<std::string> read, asked;
  table.VisitSelection([&] {
    std::string_view text;
    read.push_back(bygg.Read(table.PassRecord(), text) ? std::string(text) : "<field>");
    asked.push_back(table.FieldByName("BYGG").AsString());
    bygg.Write(table.PassRecord(), "LONGER THAN NINE");
    EXPECT_EQ(table.FieldByName("BYGG").AsString(), "LONGER TH");
    EXPECT_EQ(table.FieldByName("GENER").AsString(), "2020");
  });
  // The record with a Nordic letter is left to the field.
  EXPECT_EQ(read, (std::vector<std::string>{"K5", "<field>", "K1", "K4", "K2"}));
  EXPECT_EQ(asked[1], std::string("K") + kOslash1252);
}

}  // namespace
}  // namespace snyltdyr::testing
