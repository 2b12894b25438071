// The field list: names, lookup, binding at open, the required check, and the
// notifications that property changes send.
#include <gtest/gtest.h>

#include <memory>

#include "dataset/fields/blob_field.h"
#include "dataset/links/data_link.h"
#include "dataset/links/data_source.h"
#include "dataset/fields/date_time_field.h"
#include "dataset/fields/numeric_field.h"
#include "dataset/fields/string_field.h"
#include "runtime/regional_settings.h"
#include "support/memory_dataset.h"

namespace snyltdyr {
namespace {

using testing::TMemoryDataSet;

template <typename F>
std::string MessageOf(F action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.Message();
  }
  return {};
}

// Records the data events that reach it.
class EventLog : public TDataLink {
 public:
  std::vector<DataEventKind> events;
  TField* focus_request = nullptr;

 protected:
  void HandleDataEvent(DataEventKind kind, std::intptr_t info) override {
    events.push_back(kind);
    if (kind == EventFocusField) focus_request = *reinterpret_cast<TField**>(info);
    TDataLink::HandleDataEvent(kind, info);
  }
};

class FieldListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetRegional(NorwegianSettings());
    table.AddColumn("BYGG", ftString, 10);
    table.AddColumn("\xC5RSKLAS", ftString, 10);
    table.AddColumn("DATO", ftDateTime);
    table.AddColumn("TALL", ftCurrency);
    table.AddColumn("KOMENT", ftMemo, 10);
    table.AddRow({testing::Text("Kar 1")});
  }
  void Attach(TField& field, const std::string& name) {
    field.SetFieldName(name);
    field.SetDataSet(&table);
  }

  TMemoryDataSet table{"SnyltdyrTable"};
};

TEST_F(FieldListTest, NamesMustBePresentAndUniqueWithoutRegardToCase) {
  TStringField first("A"), second("B"), nameless("C");
  Attach(first, "\xC5RSKLAS");
  second.SetFieldName("\xE5rsklas");
  EXPECT_EQ(MessageOf([&] { second.SetDataSet(&table); }),
            "SnyltdyrTable: Duplicate field name '\xE5rsklas'");
  EXPECT_EQ(second.DataSet(), nullptr);
  EXPECT_EQ(MessageOf([&] { nameless.SetDataSet(&table); }), "SnyltdyrTable: Field name missing");
  EXPECT_EQ(table.Fields().Count(), 1);
  // Renaming into a clash is refused the same way.
  second.SetFieldName("BYGG");
  second.SetDataSet(&table);
  EXPECT_EQ(MessageOf([&] { second.SetFieldName("\xE5RSKLAS"); }),
            "SnyltdyrTable: Duplicate field name '\xE5RSKLAS'");
  EXPECT_EQ(second.FieldName(), "BYGG");
}

TEST_F(FieldListTest, LookupByNameAndNumber) {
  TStringField bygg("A"), arsklas("B");
  Attach(bygg, "BYGG");
  Attach(arsklas, "\xC5RSKLAS");
  EXPECT_EQ(table.Fields().FindField("\xE5rsKlas"), &arsklas);
  EXPECT_EQ(table.FindField("bygg"), &bygg);
  EXPECT_EQ(table.FindField("BYG"), nullptr);
  EXPECT_EQ(MessageOf([&] { table.Fields().FieldByName("MENGDE"); }),
            "SnyltdyrTable: Field 'MENGDE' not found");
  table.Open();
  EXPECT_EQ(table.Fields().FieldByNumber(2), &arsklas);
  EXPECT_EQ(table.Fields().FieldByNumber(3), nullptr);
}

TEST_F(FieldListTest, FieldsLeaveTheListWhenDestroyedOrMoved) {
  TMemoryDataSet other("Other");
  TStringField kept("A");
  Attach(kept, "BYGG");
  {
    TStringField gone("B");
    Attach(gone, "\xC5RSKLAS");
    EXPECT_EQ(table.Fields().Count(), 2);
  }
  EXPECT_EQ(table.Fields().Count(), 1);
  kept.SetDataSet(&other);
  EXPECT_EQ(table.Fields().Count(), 0);
  EXPECT_EQ(other.Fields().IndexOf(&kept), 0);
}

TEST_F(FieldListTest, OpenBindsByNameAndCloseUnbinds) {
  TStringField arsklas("A");
  TDateField dato("B");
  TFloatField tall("C");
  TMemoField koment("D");
  Attach(arsklas, "\xE5rsklas");
  Attach(dato, "DATO");    // a date field binds to a date-time column
  Attach(tall, "TALL");    // a float field binds to a currency column
  Attach(koment, "KOMENT");
  EXPECT_EQ(arsklas.FieldNumber(), 0);
  EXPECT_FALSE(arsklas.Modifiable());
  table.Open();
  EXPECT_EQ(arsklas.FieldNumber(), 2);
  EXPECT_EQ(dato.FieldNumber(), 3);
  EXPECT_EQ(tall.FieldNumber(), 4);
  EXPECT_EQ(koment.FieldNumber(), 5);
  EXPECT_EQ(koment.Size(), 10);  // a memo takes the column's size
  EXPECT_TRUE(arsklas.Modifiable());
  table.read_only = true;
  EXPECT_FALSE(arsklas.Modifiable());
  table.Close();
  EXPECT_EQ(arsklas.FieldNumber(), 0);
  EXPECT_EQ(koment.FieldNumber(), 0);
}

TEST_F(FieldListTest, OpenFailsOnAMissingColumnOrAForeignType) {
  TStringField bygg("A"), missing("B");
  Attach(bygg, "BYGG");
  Attach(missing, "MENGDE");
  EXPECT_EQ(MessageOf([&] { table.Open(); }), "SnyltdyrTable: Field 'MENGDE' not found");
  EXPECT_FALSE(table.Active());
  EXPECT_EQ(bygg.FieldNumber(), 0);  // nothing stays half bound

  missing.SetDataSet(nullptr);
  bygg.SetDataSet(nullptr);
  TFloatField wrong("C");
  wrong.SetDisplayLabel("Bygg");
  Attach(wrong, "BYGG");
  EXPECT_EQ(MessageOf([&] { table.Open(); }),
            "SnyltdyrTable: Type mismatch for field 'Bygg', expecting: Float actual: String");
  TDateField memo_as_date("D");
  wrong.SetDataSet(nullptr);
  Attach(memo_as_date, "KOMENT");
  EXPECT_EQ(MessageOf([&] { table.Open(); }),
            "SnyltdyrTable: Type mismatch for field 'KOMENT', expecting: Date actual: Memo");
}

TEST_F(FieldListTest, NameKindAndSizeChangeOnlyWhileClosed) {
  TStringField bygg("A");
  Attach(bygg, "BYGG");
  EXPECT_EQ(MessageOf([&] { bygg.SetSize(-1); }), "Invalid field size");
  bygg.SetSize(8);
  table.Open();
  const std::string open_error = "SnyltdyrTable: Cannot perform this operation on an open dataset";
  EXPECT_EQ(MessageOf([&] { bygg.SetFieldName("X"); }), open_error);
  EXPECT_EQ(MessageOf([&] { bygg.SetSize(4); }), open_error);
  EXPECT_EQ(MessageOf([&] { bygg.SetFieldKind(fkCalculated); }), open_error);
  EXPECT_EQ(MessageOf([&] { bygg.SetDataSet(nullptr); }), open_error);
  TStringField late("B");
  late.SetFieldName("\xC5RSKLAS");
  EXPECT_EQ(MessageOf([&] { late.SetDataSet(&table); }), open_error);
  EXPECT_EQ(bygg.Size(), 8);
  EXPECT_EQ(table.Fields().Count(), 1);
}

TEST_F(FieldListTest, LabelsWidthsAndDefaults) {
  TStringField bygg("A");
  TFloatField tall("B");
  TDateTimeField stamp("C");
  TMemoField koment("D");
  bygg.SetFieldName("BYGG");
  EXPECT_EQ(bygg.DisplayLabel(), "BYGG");
  bygg.SetDisplayLabel("Bygg");
  EXPECT_EQ(bygg.MessageName(), "Bygg");
  bygg.SetDisplayLabel("BYGG");  // equal to the name: stored empty, follows renames
  bygg.SetFieldName("MERD");
  EXPECT_EQ(bygg.DisplayLabel(), "MERD");
  EXPECT_EQ(bygg.DisplayWidth(), 20);
  bygg.SetDisplayWidth(5);
  EXPECT_EQ(bygg.DisplayWidth(), 5);
  EXPECT_EQ(tall.DisplayWidth(), 10);
  EXPECT_EQ(stamp.DisplayWidth(), 18);
  EXPECT_EQ(koment.DisplayWidth(), 10);
  EXPECT_EQ(koment.ValueSize(), 0);
  EXPECT_EQ(tall.ValueSize(), 8);
  EXPECT_EQ(koment.DataType(), ftMemo);
  EXPECT_TRUE(koment.Transliterate());
  EXPECT_EQ(bygg.Alignment(), taLeftJustify);
}

TEST_F(FieldListTest, PropertyChangesTellTheOpenDataset) {
  TStringField bygg("A");
  TFloatField tall("B");
  Attach(bygg, "BYGG");
  Attach(tall, "TALL");
  TDataSource source("Source");
  source.SetDataSet(&table);
  EventLog log;
  log.SetDataSource(&source);
  bygg.SetVisible(false);  // closed: nothing is sent
  EXPECT_TRUE(log.events.empty());
  table.Open();
  log.events.clear();
  bygg.SetDisplayLabel("Bygg");
  bygg.SetDisplayWidth(12);
  bygg.SetReadOnly(true);
  bygg.SetVisible(true);
  EXPECT_EQ(log.events, std::vector<DataEventKind>(4, EventLayoutChanged));
  log.events.clear();
  bygg.SetAlignment(taCenter);
  bygg.SetEditMask("000");
  tall.SetDisplayFormat("0.0");
  tall.SetEditFormat("0.00");
  tall.SetCurrency(true);
  tall.SetPrecision(5);
  EXPECT_EQ(log.events, std::vector<DataEventKind>(6, EventDataSetChanged));
  log.events.clear();
  tall.SetPrecision(5);  // unchanged: nothing
  EXPECT_TRUE(log.events.empty());
  source.SetDataSet(nullptr);
}

TEST_F(FieldListTest, RequiredCheckFocusesAndNamesTheFirstBlankField) {
  TStringField bygg("A"), arsklas("B");
  TMemoField koment("C");
  Attach(bygg, "BYGG");
  Attach(arsklas, "\xC5RSKLAS");
  Attach(koment, "KOMENT");
  arsklas.SetRequired(true);
  arsklas.SetDisplayLabel("\xC5rsklasse");
  koment.SetRequired(true);
  TDataSource source("Source");
  source.SetDataSet(&table);
  EventLog log;
  log.SetDataSource(&source);
  table.Open();
  table.Edit();
  bygg.SetAsString("Kar 3");
  EXPECT_EQ(MessageOf([&] { table.Post(); }), "Field '\xC5rsklasse' must have a value");
  EXPECT_EQ(log.focus_request, &arsklas);
  EXPECT_EQ(table.DataState(), StateEdit);
  arsklas.SetAsString("2");
  EXPECT_EQ(MessageOf([&] { table.Post(); }), "Field 'KOMENT' must have a value");
  koment.SetAsString("ok");
  table.Post();
  EXPECT_EQ(*table.Stored(0, "BYGG"), "Kar 3");
  source.SetDataSet(nullptr);
}

// Moving a field keeps it within the list; on an open dataset the controls hear a layout
// change and the field list changes.
TEST_F(FieldListTest, MovingAFieldReordersTheListAndTellsTheControls) {
  TStringField bygg, arsklas;
  TDateTimeField dato;
  Attach(bygg, "BYGG");
  Attach(arsklas, "\xC5RSKLAS");
  Attach(dato, "DATO");
  TDataSource source;
  source.SetDataSet(&table);
  EventLog log;
  log.SetDataSource(&source);
  dato.SetIndex(0);
  EXPECT_EQ(dato.Index(), 0);
  EXPECT_EQ(bygg.Index(), 1);
  EXPECT_TRUE(log.events.empty());  // closed: nobody to tell
  table.Open();
  log.events.clear();
  bygg.SetIndex(99);
  EXPECT_EQ(bygg.Index(), 2);
  EXPECT_EQ(arsklas.Index(), 1);
  EXPECT_EQ(log.events, (std::vector<DataEventKind>{EventLayoutChanged, EventFieldListChanged}));
  log.events.clear();
  bygg.SetIndex(2);
  EXPECT_TRUE(log.events.empty());
  log.SetDataSource(nullptr);
  source.SetDataSet(nullptr);
}

// A field going away tells its observers once, after it has left its dataset; an
// observer that let go hears nothing.
TEST_F(FieldListTest, ADestroyedFieldTellsItsObservers) {
  struct Observer : TFieldObserver {
    std::vector<std::string> heard;
    void FieldDestroyed(TField& field) override {
      heard.push_back(field.FieldName() + (field.DataSet() == nullptr ? " gone" : " still in"));
    }
  } first, second;
  auto bygg = std::make_unique<TStringField>();
  Attach(*bygg, "BYGG");
  bygg->AddObserver(&first);
  bygg->AddObserver(&first);
  bygg->AddObserver(&second);
  bygg->RemoveObserver(&second);
  bygg.reset();
  EXPECT_EQ(first.heard, (std::vector<std::string>{"BYGG gone"}));
  EXPECT_TRUE(second.heard.empty());
  EXPECT_EQ(table.Fields().Count(), 0);
}

}  // namespace
}  // namespace snyltdyr

namespace snyltdyr {
namespace {

TEST(NewFieldOfType, PicksTheClassThatHoldsTheType) {
  EXPECT_NE(dynamic_cast<TStringField*>(NewFieldOfType(ftString).get()), nullptr);
  EXPECT_TRUE(dynamic_cast<TStringField&>(*NewFieldOfType(ftFixedChar)).FixedChar());
  EXPECT_TRUE(dynamic_cast<TFloatField&>(*NewFieldOfType(ftCurrency)).Currency());
  EXPECT_EQ(NewFieldOfType(ftDate)->DataType(), ftDate);
  EXPECT_EQ(NewFieldOfType(ftDateTime)->DataType(), ftDateTime);
  EXPECT_NE(dynamic_cast<TMemoField*>(NewFieldOfType(ftMemo).get()), nullptr);
  EXPECT_EQ(NewFieldOfType(ftGraphic)->DataType(), ftBlob);
  EXPECT_EQ(NewFieldOfType(ftBoolean), nullptr);
}

}  // namespace
}  // namespace snyltdyr
