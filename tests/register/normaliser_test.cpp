#include "register/normaliser.h"

#include <gtest/gtest.h>

#include "observation_memory.h"
#include "runtime/regional_settings.h"

namespace snyltdyr {
namespace {

using testing::Observation;
using testing::ObservationMemoryTable;

std::string Or(const std::optional<std::string>& text, const char* unchanged = "(unchanged)") {
  return text.value_or(unchanged);
}

TEST(NormaliserRules, TreatmentTakesContainsOrExactAbbreviations) {
  EXPECT_EQ(Or(TreatmentRule("formalin 1:4000")), "Formalin");
  EXPECT_EQ(Or(TreatmentRule("f")), "Formalin");
  EXPECT_EQ(Or(TreatmentRule("FoRm")), "Formalin");
  // Upper-cased it is not exactly "FORM" and holds no "FORMALIN".
  EXPECT_EQ(Or(TreatmentRule("Form.")), "(unchanged)");
  EXPECT_EQ(Or(TreatmentRule(" f")), "(unchanged)");
  EXPECT_EQ(Or(TreatmentRule("")), "(unchanged)");
}

TEST(NormaliserRules, ParasiteRulesHoldTogetherAndTheLastOneWins) {
  EXPECT_EQ(Or(ParasiteRule("t")), "Tricodina");
  EXPECT_EQ(Or(ParasiteRule("h.mark")), "Haptor Mark");
  EXPECT_EQ(Or(ParasiteRule("mark")), "Haptor Mark");
  EXPECT_EQ(Or(ParasiteRule("Neg.")), "Negativ");
  EXPECT_EQ(Or(ParasiteRule("n")), "Negativ");
  EXPECT_EQ(Or(ParasiteRule("c")), "Costia");
  // Rules 1 and 4 hold; 4 is the last.
  EXPECT_EQ(Or(ParasiteRule("tric + costia")), "Costia");
  // "HAPTOR MARK" and "NEG." both hold: the later rule wins.
  EXPECT_EQ(Or(ParasiteRule("haptor neg.")), "Negativ");
  // No rule: "NEGATIV" lacks the full stop, "M" is no abbreviation.
  EXPECT_EQ(Or(ParasiteRule("Negativ")), "(unchanged)");
  EXPECT_EQ(Or(ParasiteRule("M")), "(unchanged)");
}

TEST(NormaliserRules, OrganHudGjelleBecomesGjelleAndHIsHud) {
  EXPECT_EQ(Or(OrganRule("g")), "Gjelle");
  EXPECT_EQ(Or(OrganRule("innvoller")), "Innvoller");
  EXPECT_EQ(Or(OrganRule("i")), "Innvoller");
  EXPECT_EQ(Or(OrganRule("l")), "Lever");
  EXPECT_EQ(Or(OrganRule("H/G")), "Hud/Gjelle");
  EXPECT_EQ(Or(OrganRule("h/g")), "Hud/Gjelle");
  EXPECT_EQ(Or(OrganRule("H")), "Hud");
  // "HUD" and "GJELLE" hold, "H/G" does not: the canonical form itself turns to Gjelle.
  EXPECT_EQ(Or(OrganRule("Hud/Gjelle")), "Gjelle");
}

TEST(NormaliserRules, AmountIsUpperCasedByTheCodePageAndEmptyBecomesDash) {
  EXPECT_EQ(AmountRule("m+"), "M+");
  EXPECT_EQ(AmountRule(""), "-");
  EXPECT_EQ(AmountRule(" "), " ");
  EXPECT_EQ(AmountRule("s\xE5"), "S\xC5");  // å -> Å
  EXPECT_EQ(Or(ParasiteRule("\xE6tric")), "Tricodina");
}

TEST(NormaliserRules, GenerationReadsAWholeNumberAndCompletesTheCentury) {
  EXPECT_EQ(GenerationRule("98"), 1998);
  EXPECT_EQ(GenerationRule("99"), 1999);
  EXPECT_EQ(GenerationRule("100"), 100);
  EXPECT_EQ(GenerationRule("2001"), 2001);
  EXPECT_EQ(GenerationRule("3"), 1903);
  EXPECT_EQ(GenerationRule("-5"), 1895);
  EXPECT_EQ(GenerationRule(""), 1900);
  EXPECT_EQ(GenerationRule("ukjent"), 1900);
  EXPECT_EQ(GenerationRule(" 01"), 1901);
  EXPECT_EQ(GenerationRule("$10"), 1916);
  EXPECT_EQ(GenerationRule("98 "), 1900);  // something follows: not a whole number
  EXPECT_EQ(YearClassOf(2004, 2001), 3);
  EXPECT_EQ(YearClassOf(0, 2001), -2001);
  EXPECT_EQ(YearClassOf(2004, INT32_MIN + 1900), static_cast<int32_t>(2004LL - (INT32_MIN + 1900LL)));
}

class FixOnRecords : public ::testing::Test {
 protected:
  void SetUp() override { SetRegional(NorwegianSettings()); }
  void TearDown() override { SetRegional(NorwegianSettings()); }

  // Fixes the single stored record once (through Edit, Fix, Post without BeforePost).
  void FixOnce(const Observation& o) {
    t.Add(o);
    t.table.Open();
    t.table.Edit();
    FixRecord(t.Fields());
    t.table.Post();
  }

  ObservationMemoryTable t;
};

TEST_F(FixOnRecords, AWholeRecordIsNormalisedInOneCall) {
  FixOnce({"2004-06-15", "98", "h.mark", "m+", "h/g", "formalin 1:4000"});
  EXPECT_EQ(t.Stored(0, "SNYLTDYR"), "Haptor Mark");
  EXPECT_EQ(t.Stored(0, "MENGDE"), "M+");
  EXPECT_EQ(t.Stored(0, "ORGAN"), "Hud/Gjelle");
  EXPECT_EQ(t.Stored(0, "BEHANDL"), "Formalin");
  EXPECT_EQ(t.Stored(0, "GENER"), "1998");
  EXPECT_EQ(t.Stored(0, "\xC5RSKLAS"), "6");
}

TEST_F(FixOnRecords, TheBlankRecordGetsDashGeneration1900AndMinus1900) {
  FixOnce({});
  EXPECT_EQ(t.Stored(0, "MENGDE"), "-");
  EXPECT_EQ(t.Stored(0, "GENER"), "1900");
  EXPECT_EQ(t.Stored(0, "\xC5RSKLAS"), "-1900");
  EXPECT_EQ(t.Stored(0, "SNYLTDYR"), "");
  EXPECT_EQ(t.Stored(0, "ORGAN"), "");
  EXPECT_EQ(t.Stored(0, "BEHANDL"), "");
}

TEST_F(FixOnRecords, AnEmptyDateCountsAsYearZero) {
  FixOnce({"", "2001", "", "S", "", ""});
  EXPECT_EQ(t.Stored(0, "\xC5RSKLAS"), "-2001");
}

TEST_F(FixOnRecords, TheYearComesFromTheDateWhateverTheShortDatePattern) {
  // With day.month.four-digit-year the year is the same as the date text's characters
  // 7 to 10; with a short pattern like d/M/yy it must still be 2004, not 0 or 4.
  for (const char* pattern : {"dd.MM.yyyy", "d/M/yy", "yyyy-MM-dd", "M/d/yyyy"}) {
    RegionalSettings settings = NorwegianSettings();
    settings.short_date_format = pattern;
    SetRegional(settings);
    ObservationMemoryTable table;
    table.Add({"2004-06-15", "2001", "", "", "", ""});
    table.table.Open();
    table.table.Edit();
    FixRecord(table.Fields());
    table.table.Post();
    EXPECT_EQ(table.Stored(0, "\xC5RSKLAS"), "3") << pattern;
  }
}

TEST_F(FixOnRecords, FieldsWithoutAHoldingRuleAreNotWritten) {
  FixOnce({"2004-06-15", "2001", "Form.", "L", "Negativ", "M"});
  EXPECT_EQ(t.Stored(0, "SNYLTDYR"), "Form.");
  EXPECT_EQ(t.Stored(0, "ORGAN"), "Negativ");
  EXPECT_EQ(t.Stored(0, "BEHANDL"), "M");
}

class FixAllOnRecords : public FixOnRecords {
 protected:
  void SetUp() override {
    FixOnRecords::SetUp();
    // The table normalises every post, as the register's table does.
    t.table.BeforePost = [this](TDataSet&) { FixRecord(t.Fields()); };
  }
};

TEST_F(FixAllOnRecords, EveryRecordIsWrittenAndHGEndsAsGjelleAfterTwoFixes) {
  t.Add({"2004-06-15", "98", "t", "", "H/G", "f"});
  t.Add({"2005-01-02", "2001", "Haptor Mark", "M", "Gjelle", "Formalin"});
  t.Add({"", "3", "costia", "s-", "lever", ""});
  t.table.Open();
  std::vector<std::string> log;
  t.table.log = &log;
  EXPECT_EQ(FixAllRecords(t.table, t.Fields()).records, 3);
  EXPECT_EQ(std::count(log.begin(), log.end(), "write"), 3);
  EXPECT_EQ(t.Stored(0, "ORGAN"), "Gjelle");
  EXPECT_EQ(t.Stored(0, "SNYLTDYR"), "Tricodina");
  EXPECT_EQ(t.Stored(0, "MENGDE"), "-");
  EXPECT_EQ(t.Stored(2, "\xC5RSKLAS"), "-1903");
  EXPECT_TRUE(t.table.AtEnd());
  EXPECT_EQ(t.table.DataState(), StateBrowse);

  // A second run changes nothing but writes every record again.
  std::vector<std::vector<testing::Value>> before;
  for (const auto& row : t.table.rows) before.push_back(row.values);
  log.clear();
  EXPECT_EQ(FixAllRecords(t.table, t.Fields()).written, 3);
  EXPECT_EQ(std::count(log.begin(), log.end(), "write"), 3);
  for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(t.table.rows[i].values, before[i]);
  t.table.log = nullptr;
}

TEST_F(FixAllOnRecords, AnEmptySelectionWritesNothing) {
  t.table.Open();
  EXPECT_EQ(FixFormattingPass(t.table, t.Fields()).records, 0);
  EXPECT_TRUE(t.table.AtEnd());
}

TEST_F(FixAllOnRecords, AFailedPostStopsThePassAndTheControlsAreResumed) {
  t.Add({"2004-06-15", "98", "t", "m", "", ""});
  t.Add({"2004-06-16", "98", "t", "m", "", ""});
  t.Add({"2004-06-17", "98", "t", "m", "", ""});
  t.table.Open();
  t.table.fail_writes = 0;
  // The second post fails.
  int posts = 0;
  t.table.BeforePost = [&](TDataSet&) {
    FixRecord(t.Fields());
    if (++posts == 2) t.table.fail_writes = 1;
  };
  EXPECT_THROW(FixFormattingPass(t.table, t.Fields()), EDatabaseError);
  EXPECT_FALSE(t.table.ControlsSuspended());
  EXPECT_EQ(t.table.DataState(), StateEdit);
  EXPECT_EQ(t.Stored(0, "SNYLTDYR"), "Tricodina");
  EXPECT_EQ(t.Stored(1, "SNYLTDYR"), "t");
  EXPECT_EQ(t.Stored(2, "SNYLTDYR"), "t");
  EXPECT_EQ(t.snyltdyr.AsString(), "Tricodina");  // the failed record keeps its new values
}

}  // namespace
}  // namespace snyltdyr
