// Plain text straight from a pass's record bytes: the same text the field gives, and
// nothing where the field must decide.
#include "binding_fixture.h"
#include "storage/stored_text.h"

namespace snyltdyr::testing {
namespace {

class StoredTextTest : public BindingTest {};

TEST_F(StoredTextTest, ReadsWhatTheFieldReadsAndLeavesConvertedTextToTheField) {
  // BYGG filled to its width (its last byte borders GENER), a letter to convert, a blank.
  MakeTable({{1, "K12345678", "1", "Haptor Mark", "S+", "", 1},
             {2, std::string("K") + kOslash1252, "2", "Tricodina", "", "", 2},
             {3, "", "3", " lead", "MMMMMMMMM", "", 3}});
  TTable& table = NewTable();
  table.Open();
  std::vector<const TField*> texts;
  for (int32_t i = 0; i < table.Fields().Count(); ++i) texts.push_back(table.Fields()[i]);
  std::vector<TStoredText> stored;
  for (const TField* f : texts) stored.emplace_back(*f);
  int direct_reads = 0, asked = 0;
  table.VisitSelection([&] {
    for (size_t i = 0; i < texts.size(); ++i) {
      std::string_view text;
      if (stored[i].Read(table.PassRecord(), text)) {
        EXPECT_EQ(std::string(text), texts[i]->AsString()) << texts[i]->FieldName();
        ++direct_reads;
      } else if (stored[i].Direct()) {
        EXPECT_EQ(texts[i]->FieldName(), "BYGG");  // only the converted letter is asked
        std::string converted;  // and converted as the field converts it
        ASSERT_TRUE(stored[i].ReadConverted(table.PassRecord(), converted));
        EXPECT_EQ(converted, texts[i]->AsString());
        ++asked;
      }
    }
  });
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(direct_reads, 3 * 10 - 1);  // ten text columns of three records
  // Dates, numbers and memos are the fields' own business.
  for (const char* name : {"DATO", "GRUPPE", "KOMENT", "TALL"})
    EXPECT_FALSE(TStoredText(table.FieldByName(name)).Direct()) << name;
}

TEST_F(StoredTextTest, FieldsWithTheirOwnHandlersAreNotDirect) {
  MakeStandardTable();
  TTable& table = NewTable();
  table.Open();
  TField& mengde = table.FieldByName("MENGDE");
  EXPECT_TRUE(TStoredText(mengde).Direct());
  mengde.OnChange = [](TField&) {};
  EXPECT_FALSE(TStoredText(mengde).Direct());
  mengde.OnChange = nullptr;
  mengde.OnGetText = [](TField&, std::string&, bool) {};
  EXPECT_FALSE(TStoredText(mengde).Direct());
  mengde.OnGetText = nullptr;
  table.Close();
  EXPECT_FALSE(TStoredText(mengde).Direct());  // a closed table has no records to read
}

TEST_F(StoredTextTest, WritesWhatSetAsStringStores) {
  MakeStandardTable();
  TTable& table = NewTable();
  table.Open();
  TField& bygg = table.FieldByName("BYGG");
  const TStoredText stored(bygg);
  // A text longer than the field is cut as SetAsString cuts it; the rest is blank.
  for (const std::string text : {"K7", "Kar nummer 12", ""}) {
    table.First();
    table.Edit();
    bygg.SetAsString(text);
    const std::string by_field(table.ActiveBuffer(), table.ActiveBuffer() + 200);
    table.Cancel();
    table.First();
    table.Edit();
    stored.Write(table.ActiveBuffer(), text);
    EXPECT_EQ(std::string(table.ActiveBuffer(), table.ActiveBuffer() + 200), by_field) << text;
    EXPECT_EQ(bygg.AsString(), text.substr(0, 9));
    table.Cancel();
  }
}

TEST_F(StoredTextTest, StoredTextIsTheFieldsTextAndStaysInItsColumn) {
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

// The word-at-a-time checks against the byte-at-a-time rule they stand for, at every
// length and with every kind of byte at every place (a word's borders are where they
// would go wrong).
TEST(PlainBytesTest, TrimAndPlainAgreeWithTheBytesOneByOne) {
  auto trimmed = [](const std::string& b) {
    size_t n = b.size();
    while (n > 0 && (b[n - 1] == ' ' || b[n - 1] == '\0')) --n;
    return n;
  };
  auto plain = [](const std::string& b, size_t n) {
    for (size_t i = 0; i < n; ++i)
      if (b[i] == '\0' || static_cast<unsigned char>(b[i]) >= 0x80) return false;
    return true;
  };
  const char odd[] = {'\0', ' ', '\x01', '\x7F', '\x80', '\x81', '\xFF', '\xF8', 'A'};
  int cases = 0;
  for (size_t length = 0; length <= 33; ++length) {
    for (const char fill : {'a', ' '}) {
      for (size_t at = 0; at < std::max<size_t>(length, 1); ++at) {
        for (const char c : odd) {
          std::string bytes(length, fill);
          if (length > 0) bytes[at] = c;
          // Blanks and NULs after the text, as a column holds them.
          for (const std::string& tail : {std::string(), std::string(9, ' '), std::string("  \0\0 ")}) {
            const std::string b = bytes + tail;
            EXPECT_EQ(TrimmedLength(b.data(), b.size()), trimmed(b)) << length << " " << at;
            for (size_t n : {b.size(), trimmed(b)})
              EXPECT_EQ(PlainBytes(b.data(), n), plain(b, n)) << length << " " << at << " " << int(c);
            ++cases;
          }
        }
      }
    }
  }
  EXPECT_GT(cases, 10000);
}

}  // namespace
}  // namespace snyltdyr::testing
