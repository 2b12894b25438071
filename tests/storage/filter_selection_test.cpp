// From filter text to shown records: each text the selection buttons compose is parsed
// against the table's fields, handed to the engine, and shows exactly the records a plain
// loop over the data selects, with a count that agrees.
#include <gtest/gtest.h>

#include "dataset/filters/expr_parser.h"
#include "dataset/fields/fields.h"
#include "runtime/regional_settings.h"
#include "storage/engine/engine.h"
#include "support/memory_dataset.h"
#include "support/observation_table.h"

namespace snyltdyr {
namespace {

namespace eng = engine;
namespace ts = testsupport;

// The table's fields, for the parser's lookups, and its character set for native text.
class TFieldsOfTable : public testing::TMemoryDataSet {
 public:
  explicit TFieldsOfTable(eng::Handle cursor) : TMemoryDataSet("SnyltdyrTable") {
    EXPECT_EQ(eng::GetTableLanguageDriver(cursor, driver_), eng::kOk);
    AddColumn("DATO", ftDate);
    for (const char* name : {"BYGG", "GENER", "\xC5RSKLAS"}) AddColumn(name, ftString, 20);
    AddColumn("GRUPPE", ftFloat);
    for (const char* name : {"SNYLTDYR", "MENGDE", "ORGAN", "BEHANDL", "TID", "KONS"}) {
      AddColumn(name, ftString, 30);
    }
    AddColumn("KOMENT", ftMemo, 10);
    AddColumn("METODE", ftString, 30);
    AddColumn("TALL", ftFloat);
    for (const testing::MemoryColumn& column : columns) {
      std::unique_ptr<TField> field = NewFieldOfType(column.type);
      field->SetFieldName(column.name);
      if (column.type == ftString) field->SetSize(column.size);
      field->SetDataSet(this);
      owned_.push_back(std::move(field));
    }
    Open();
  }
  ~TFieldsOfTable() override {
    Close();
    for (auto& field : owned_) field->SetDataSet(nullptr);
  }
  void TranslateText(std::string& text, bool to_storage) override {
    std::string out;
    EXPECT_EQ(to_storage ? eng::AnsiToNative(driver_, text, out)
                         : eng::NativeToAnsi(driver_, text, out),
              eng::kOk);
    text = out;
  }

 private:
  eng::Handle driver_ = eng::kNoHandle;
  std::vector<std::unique_ptr<TField>> owned_;
};

class FilterSelectionTest : public ::testing::Test {
 protected:
  void SetUp() override { SetRegional(NorwegianSettings()); }

  // Parses `text` and puts it on the cursor as an active filter.
  eng::Handle Apply(const std::string& text, TFilterOptions options = 0) {
    TExprParser parser(fields, text, options, 0, "", nullptr, EngineTypeMap());
    eng::Handle filter = eng::kNoHandle;
    EXPECT_EQ(eng::AddFilter(table.cursor, parser.FilterData()->data(), 0, filter), eng::kOk)
        << text << ": " << ts::EngineErrorText(0);
    EXPECT_EQ(eng::ActivateFilter(table.cursor, filter), eng::kOk);
    return filter;
  }

  ts::EngineSession engine;
  ts::TempDir dir;
  eng::Handle db = engine.Database(dir.path());
  ts::ObservationTable table{db, dir};
  TFieldsOfTable fields{table.cursor};
};

TEST_F(FilterSelectionTest, EverySelectionTextShowsExactlyItsRecords) {
  for (const ts::Selection& s : ts::AllSelections()) {
    eng::Handle filter = Apply(s.text);
    table.ExpectShows(table.Selected([&](const ts::ObservationRow& r) { return s.Keeps(r); }),
                      s.text);
    ASSERT_EQ(eng::DropFilter(table.cursor, filter), eng::kOk);
  }
}

TEST_F(FilterSelectionTest, OptionsPrefixesListsAndBlanks) {
  struct Case {
    const char* text;
    TFilterOptions options;
    std::function<bool(const ts::ObservationRow&)> keep;
  };
  const Case cases[] = {
      {"SNYLTDYR='haptor mark'", foCaseInsensitive,
       [](const ts::ObservationRow& r) { return r.kind == "Haptor Mark" || r.kind == "haptor mark"; }},
      {"SNYLTDYR='Haptor*'", 0,
       [](const ts::ObservationRow& r) { return r.kind.rfind("Haptor", 0) == 0; }},
      {"SNYLTDYR='Haptor*'", foNoPartialCompare,
       [](const ts::ObservationRow&) { return false; }},
      {"\xC5RSKLAS IN ('1', '2')", 0,
       [](const ts::ObservationRow& r) { return r.year == "1" || r.year == "2"; }},
      {"GRUPPE IN (1, 2,5)", 0,
       [](const ts::ObservationRow& r) { return r.has_group && (r.group == 1 || r.group == 2.5); }},
      {"NOT (MENGDE='-' OR MENGDE='')", 0,
       [](const ts::ObservationRow& r) { return r.amount != "-" && !r.amount.empty(); }},
      {"BEHANDL IS NULL", 0, [](const ts::ObservationRow& r) { return r.treatment.empty(); }},
      {"GRUPPE>=7,5", 0, [](const ts::ObservationRow& r) { return r.has_group && r.group >= 7.5; }},
      {"KOMENT LIKE '%syk'", 0,
       [](const ts::ObservationRow& r) { return r.memo == "Fisken var syk"; }},
  };
  for (const Case& c : cases) {
    eng::Handle filter = Apply(c.text, c.options);
    table.ExpectShows(table.Selected(c.keep), c.text);
    ASSERT_EQ(eng::DropFilter(table.cursor, filter), eng::kOk);
  }
}

}  // namespace
}  // namespace snyltdyr
