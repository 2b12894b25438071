// Fields over the in-memory table: value access of each class, null and empty text,
// cutting, conversions, text forms and their errors.
#include <gtest/gtest.h>

#include "dataset/fields/blob_field.h"
#include "dataset/fields/date_time_field.h"
#include "dataset/fields/numeric_field.h"
#include "dataset/fields/string_field.h"
#include "runtime/date_time.h"
#include "runtime/regional_settings.h"
#include "support/memory_dataset.h"

namespace snyltdyr {
namespace {

using testing::Day;
using testing::Number;
using testing::TMemoryDataSet;
using testing::Value;

// Runs `action` and returns the message of the Exception it raises ("" when none).
template <typename F>
std::string MessageOf(F action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.Message();
  }
  return {};
}

class FieldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetRegional(NorwegianSettings());
    table.AddColumn("BYGG", ftString, 30);
    table.AddColumn("\xC5RSKLAS", ftString, 10);
    table.AddColumn("DATO", ftDate);
    table.AddColumn("TALL", ftFloat);
    table.AddColumn("KOMENT", ftMemo, 10);
    table.AddRow({testing::Text("Kar 1"), testing::Text(""),
                  Day(DateToDayNumber(*EncodeDate(2005, 3, 7))), Number(2.5), testing::Text("")});
    table.AddRow({});  // every value null
    bygg.SetFieldName("BYGG");
    arsklas.SetFieldName("\xC5RSKLAS");
    dato.SetFieldName("DATO");
    tall.SetFieldName("TALL");
    koment.SetFieldName("KOMENT");
    for (TField* field : std::initializer_list<TField*>{&bygg, &arsklas, &dato, &tall, &koment}) {
      field->SetDataSet(&table);
    }
    table.Open();
  }
  void TearDown() override { SetRegional(NorwegianSettings()); }

  TMemoryDataSet table{"SnyltdyrTable"};
  TStringField bygg{"SnyltdyrTableBYGG"};
  TStringField arsklas{"SnyltdyrTable\xC5RSKLAS"};
  TDateField dato{"SnyltdyrTableDATO"};
  TFloatField tall{"SnyltdyrTableTALL"};
  TMemoField koment{"SnyltdyrTableKOMENT"};
};

TEST_F(FieldTest, StringFieldCutsToItsSizeAndStoresEmptyTextAsText) {
  EXPECT_EQ(bygg.Size(), 20);
  EXPECT_EQ(bygg.DisplayWidth(), 20);
  EXPECT_EQ(bygg.ValueSize(), 21);
  table.Edit();
  bygg.SetAsString("ABCDEFGHIJKLMNOPQRSTUVWXY");  // 25 characters
  EXPECT_EQ(bygg.AsString(), "ABCDEFGHIJKLMNOPQRST");
  bygg.SetAsString(std::string("Kar\0 9", 6));  // a zero byte ends the text
  EXPECT_EQ(bygg.AsString(), "Kar");
  bygg.SetAsString("");
  table.Post();
  ASSERT_TRUE(table.Stored(0, "BYGG").has_value());  // empty text, not null
  EXPECT_EQ(*table.Stored(0, "BYGG"), "");
}

TEST_F(FieldTest, StringFieldReadsTheWholeColumnWhenItIsWiderThanDeclared) {
  table.rows[0].values[0] = testing::Text("123456789012345678901234567890");
  table.First();
  EXPECT_EQ(bygg.AsString(), "123456789012345678901234567890");
}

TEST(StringField, LongValuesPassWhole) {
  TMemoryDataSet table("Wide");
  table.AddColumn("LANG", ftString, 9000);
  table.AddRow({testing::Text("")});
  TStringField lang("WideLANG");
  lang.SetFieldName("LANG");
  lang.SetSize(9000);
  lang.SetDataSet(&table);
  table.Open();
  table.Edit();
  const std::string text = std::string(8999, 'x') + "yz";
  lang.SetAsString(text);
  EXPECT_EQ(lang.AsString(), text.substr(0, 9000));
}

TEST_F(FieldTest, StringFieldIntegerAccess) {
  table.Edit();
  arsklas.SetAsInteger(-3);
  EXPECT_EQ(arsklas.AsString(), "-3");
  arsklas.SetAsInteger(105);
  EXPECT_EQ(arsklas.AsString(), "105");
  EXPECT_EQ(arsklas.AsInteger(), 105);
  arsklas.SetAsString("");
  EXPECT_EQ(MessageOf([&] { (void)arsklas.AsInteger(); }), "'' is not a valid integer value");
  arsklas.SetAsString("4,5");
  EXPECT_EQ(MessageOf([&] { (void)arsklas.AsInteger(); }), "'4,5' is not a valid integer value");
  EXPECT_DOUBLE_EQ(arsklas.AsDouble(), 4.5);
  arsklas.SetAsDouble(0.25);
  EXPECT_EQ(arsklas.AsString(), "0,25");
}

TEST_F(FieldTest, StringFieldTransliteratesThroughTheDataset) {
  // The base dataset copies unchanged; a binding that translates sees both directions.
  struct Translating : TMemoryDataSet {
    using TMemoryDataSet::TMemoryDataSet;
    void TranslateText(std::string& text, bool to_storage) override {
      for (char& c : text) c = to_storage ? (c == '\xC5' ? '\x8F' : c) : (c == '\x8F' ? '\xC5' : c);
    }
  } oem("OemTable");
  oem.AddColumn("NAVN", ftString, 10);
  oem.AddRow({testing::Text("\x8F" "s")});
  TStringField navn("OemTableNAVN");
  navn.SetFieldName("NAVN");
  navn.SetDataSet(&oem);
  oem.Open();
  EXPECT_EQ(navn.AsString(), "\xC5s");
  oem.Edit();
  navn.SetAsString("\xC5" "rsklas");
  oem.Post();
  EXPECT_EQ(*oem.Stored(0, "NAVN"), "\x8F" "rsklas");
  navn.SetTransliterate(false);
  EXPECT_EQ(navn.AsString(), "\x8F" "rsklas");
}

TEST_F(FieldTest, DateTextFollowsTheShortDatePattern) {
  EXPECT_EQ(dato.AsString(), "07.03.2005");
  EXPECT_EQ(dato.Text(), "07.03.2005");
  EXPECT_EQ(dato.DisplayText(), "07.03.2005");
  EXPECT_EQ(dato.AsDateTime(), *EncodeDate(2005, 3, 7));
  RegionalSettings settings = NorwegianSettings();
  settings.short_date_format = "d/m/yy";
  SetRegional(settings);
  EXPECT_EQ(dato.AsString(), "7.3.05");
  dato.SetDisplayFormat("yyyy-mm-dd");
  EXPECT_EQ(dato.DisplayText(), "2005-03-07");
  EXPECT_EQ(dato.Text(), "7.3.05");
  EXPECT_EQ(dato.DisplayWidth(), 10);
  // The null date reads as the empty text and as 0; the normaliser's year is then "".
  table.Next();
  EXPECT_EQ(dato.AsString(), "");
  EXPECT_EQ(dato.AsDateTime(), 0);
  EXPECT_TRUE(dato.IsBlank());
}

TEST_F(FieldTest, DateWritesParseOrClearAndDropTheTimeOfDay) {
  table.Edit();
  dato.SetAsString("8.4.2006");
  EXPECT_EQ(dato.AsString(), "08.04.2006");
  dato.SetAsDateTime(*EncodeDate(2007, 1, 2) + 0.75);
  EXPECT_EQ(dato.AsDateTime(), *EncodeDate(2007, 1, 2));
  table.Post();
  int32_t stored = 0;
  std::memcpy(&stored, table.Stored(0, "DATO")->data(), sizeof stored);
  EXPECT_EQ(stored, DateToDayNumber(*EncodeDate(2007, 1, 2)));

  table.Edit();
  dato.SetAsString("");
  EXPECT_TRUE(dato.IsBlank());
  table.Post();
  EXPECT_FALSE(table.Stored(0, "DATO").has_value());
}

TEST_F(FieldTest, AFailedWriteLeavesTheValueAndTheModifiedFlag) {
  table.Edit();
  EXPECT_EQ(MessageOf([&] { dato.SetAsString("31.02.2005"); }), "'31.02.2005' is not a valid date");
  EXPECT_EQ(MessageOf([&] { tall.SetAsString("2.5"); }),
            "'2.5' is not a valid floating point value for field 'TALL'");
  EXPECT_EQ(dato.AsString(), "07.03.2005");
  EXPECT_DOUBLE_EQ(tall.AsDouble(), 2.5);
  EXPECT_FALSE(table.RecordModified());
}

TEST_F(FieldTest, FloatFieldRoundsHalvesToEvenForIntegers) {
  EXPECT_EQ(tall.AsInteger(), 2);  // 2.5
  table.Edit();
  tall.SetAsDouble(3.5);
  EXPECT_EQ(tall.AsInteger(), 4);
  tall.SetAsDouble(-2.5);
  EXPECT_EQ(tall.AsInteger(), -2);
  tall.SetAsInteger(-3);
  EXPECT_DOUBLE_EQ(tall.AsDouble(), -3);
  tall.SetAsDouble(1e12);
  EXPECT_EQ(MessageOf([&] { (void)tall.AsInteger(); }), "'1000000000000' is not a valid integer value");
}

TEST_F(FieldTest, FloatTextAndNull) {
  EXPECT_EQ(tall.AsString(), "2,5");
  EXPECT_EQ(tall.Alignment(), taRightJustify);
  table.Edit();
  tall.SetAsString(" 1234,5 ");
  EXPECT_DOUBLE_EQ(tall.AsDouble(), 1234.5);
  tall.SetPrecision(3);
  EXPECT_EQ(tall.DisplayText(), "1,23E3");
  tall.SetPrecision(40);
  EXPECT_EQ(tall.Precision(), 15);
  tall.SetDisplayFormat("#,##0.00");
  EXPECT_EQ(tall.DisplayText(), "1 234,50");
  EXPECT_EQ(tall.Text(), "1 234,50");  // edit text falls back to DisplayFormat
  tall.SetEditFormat("0.0");
  EXPECT_EQ(tall.Text(), "1234,5");
  tall.SetDisplayFormat("");
  tall.SetEditFormat("");
  tall.SetCurrency(true);
  EXPECT_EQ(tall.DisplayText(), "kr 1 234,50");
  EXPECT_EQ(tall.Text(), "1234,50");
  tall.SetAsString("");
  EXPECT_TRUE(tall.IsBlank());
  EXPECT_EQ(tall.AsString(), "");
  EXPECT_EQ(tall.DisplayText(), "");
  EXPECT_EQ(tall.AsInteger(), 0);
  EXPECT_EQ(tall.AsDouble(), 0);
}

TEST_F(FieldTest, FloatFieldAcceptsOnlyNumberCharacters) {
  for (char c : std::string("+-0123456789eE,")) EXPECT_TRUE(tall.IsAllowedChar(c)) << c;
  for (char c : std::string(". a/\xE6")) EXPECT_FALSE(tall.IsAllowedChar(c)) << c;
  EXPECT_TRUE(bygg.IsAllowedChar('\xE6'));
  EXPECT_TRUE(bygg.IsAllowedChar('.'));
}

TEST_F(FieldTest, FloatRangeIsCheckedOnlyWhenSet) {
  table.Edit();
  tall.SetAsDouble(-1e6);  // no range
  tall.SetMinValue(0);
  tall.SetMaxValue(100);
  EXPECT_EQ(MessageOf([&] { tall.SetAsString("150"); }),
            "150 is not a valid value for field 'TALL'. The allowed range is 0 to 100");
  tall.SetAsString("99,5");
  EXPECT_DOUBLE_EQ(tall.AsDouble(), 99.5);
}

TEST_F(FieldTest, MemoTextNamesItsTypeAndShowsWhetherItHasContent) {
  EXPECT_EQ(koment.Text(), "(Memo)");
  EXPECT_EQ(koment.DisplayText(), "(Memo)");
  EXPECT_TRUE(koment.IsBlank());
  table.Edit();
  koment.SetAsString("Mye snyltedyr p\xE5 gjellene");
  EXPECT_TRUE(koment.Modified());
  EXPECT_FALSE(koment.IsBlank());
  EXPECT_EQ(koment.Text(), "(MEMO)");
  EXPECT_EQ(koment.AsString(), "Mye snyltedyr p\xE5 gjellene");
  EXPECT_TRUE(table.RecordModified());
  table.Post();
  EXPECT_FALSE(koment.Modified());
  EXPECT_EQ(*table.Stored(0, "KOMENT"), "Mye snyltedyr p\xE5 gjellene");
  EXPECT_EQ(MessageOf([&] { koment.SetText("x"); }), "Cannot access field 'KOMENT' as type Text");

  table.Edit();
  koment.ClearValue();
  EXPECT_TRUE(koment.IsBlank());
  EXPECT_EQ(koment.Text(), "(Memo)");
  table.Post();
  EXPECT_EQ(*table.Stored(0, "KOMENT"), "");
}

TEST_F(FieldTest, UnsupportedAccessesNameTheType) {
  EXPECT_EQ(MessageOf([&] { (void)dato.AsInteger(); }), "Cannot access field 'DATO' as type Integer");
  EXPECT_EQ(MessageOf([&] { (void)tall.AsDateTime(); }), "Cannot access field 'TALL' as type DateTime");
  EXPECT_EQ(MessageOf([&] { (void)koment.AsDouble(); }), "Cannot access field 'KOMENT' as type Float");
  EXPECT_EQ(MessageOf([&] { koment.SetAsInteger(1); }), "Cannot access field 'KOMENT' as type Integer");
  dato.SetDisplayLabel("Dato");
  EXPECT_EQ(MessageOf([&] { dato.SetAsInteger(1); }), "Cannot access field 'Dato' as type Integer");
}

TEST_F(FieldTest, WritesNeedEditOrInsertAndMarkTheRecordModified) {
  EXPECT_EQ(MessageOf([&] { bygg.SetAsString("Kar 2"); }),
            "SnyltdyrTable: Dataset not in edit or insert mode");
  int changes = 0;
  bygg.OnChange = [&](TField&) { ++changes; };
  table.Edit();
  EXPECT_FALSE(table.RecordModified());
  bygg.SetAsString("Kar 2");
  EXPECT_TRUE(table.RecordModified());
  EXPECT_EQ(changes, 1);
  table.Next();  // moving away posts
  EXPECT_EQ(*table.Stored(0, "BYGG"), "Kar 2");
}

TEST_F(FieldTest, ValueAccessWithoutADatasetIsRefused) {
  TStringField loose("Loose");
  loose.SetFieldName("LOOSE");
  EXPECT_EQ(MessageOf([&] { (void)loose.AsString(); }), "Field 'LOOSE' has no dataset");
  EXPECT_EQ(MessageOf([&] { loose.SetAsString("x"); }), "Field 'LOOSE' has no dataset");
  EXPECT_FALSE(loose.Modifiable());
}

TEST_F(FieldTest, TextEventsReplaceTheConversions) {
  bygg.OnGetText = [](TField& field, std::string& text, bool display) {
    text = (display ? "show " : "edit ") + field.AsString();
  };
  EXPECT_EQ(bygg.DisplayText(), "show Kar 1");
  EXPECT_EQ(bygg.Text(), "edit Kar 1");
  std::string seen;
  bygg.OnSetText = [&](TField&, const std::string& text) { seen = text; };
  table.Edit();
  bygg.SetText("Kar 7");
  EXPECT_EQ(seen, "Kar 7");
  EXPECT_EQ(bygg.AsString(), "Kar 1");
}

TEST_F(FieldTest, OnValidateSeesTheValueAboutToBeWritten) {
  std::string seen_new;
  tall.OnValidate = [&](TField& field) {
    seen_new = field.AsString();
    if (field.AsDouble() < 0) throw EDatabaseError("negative");
  };
  table.Edit();
  tall.SetAsString("7,25");
  EXPECT_EQ(seen_new, "7,25");
  EXPECT_EQ(MessageOf([&] { tall.SetAsDouble(-1); }), "negative");
  EXPECT_DOUBLE_EQ(tall.AsDouble(), 7.25);  // after validation the stored value shows again
}

TEST_F(FieldTest, EditMaskShapesOnlyTheDisplayText) {
  table.Edit();
  bygg.SetAsString("1234");
  bygg.SetEditMask("00-00;0;_");
  EXPECT_EQ(bygg.DisplayText(), "12-34");
  EXPECT_EQ(bygg.Text(), "1234");
  bygg.SetEditMask(">LLL;0;_");
  bygg.SetAsString("ab");
  EXPECT_EQ(bygg.DisplayText(), "AB_");
}

}  // namespace
}  // namespace snyltdyr
