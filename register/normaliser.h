// The record normaliser: rewrites what users type into the canonical forms that the
// selection filters and the grade rely on, makes the generation a four-digit year and
// works out the year class.
//
// Text rules. Each field's text is upper-cased once by the code page 1252 rules (so "å"
// becomes "Å"); every rule of that field tests that same upper-cased text, "contains" as
// a case-sensitive substring test and "is" as a whole-text comparison. The rules run in
// order and every rule that holds writes the field, so when several hold the last one
// wins ("Hud/Gjelle" holds "HUD" and "GJELLE" and becomes "Gjelle"). A rule function
// returns the text the field ends with, or nothing when no rule holds and the field is
// left as it is.
//
// The year of the observation comes from the date value itself (0 for an empty date),
// not from characters of its text, so the year class is right whatever the user's short
// date pattern is.
//
// Fix never fails on odd text: what does not read as a whole number counts as 0.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "dataset/selection_pass.h"

namespace snyltdyr {

class TDataSet;
class TField;

// ---- Rules on texts -------------------------------------------------------------------
std::optional<std::string> TreatmentRule(std::string_view behandl);
std::optional<std::string> ParasiteRule(std::string_view snyltdyr);
std::optional<std::string> OrganRule(std::string_view organ);
// Always a text: the upper-cased amount, "-" for an empty one.
std::string AmountRule(std::string_view mengde);
// The generation as a year: the whole number of the text (0 when it is none), with 1900
// added when it is below 100.
int32_t GenerationRule(std::string_view gener);
// Year of the observation minus generation, as the 32-bit value stored in the field.
int32_t YearClassOf(int32_t year, int32_t generation);

// ---- On the values of a record ------------------------------------------------------
// The values of one record that the rules read and write, wherever the record is kept:
// in its fields (FixRecord) or in the bytes of a pass's record (TDirectNormaliser).
class TFixValues {
 public:
  enum Text { kBehandl, kSnyltdyr, kOrgan, kMengde, kGener };
  // The text of a field; valid until the next call.
  virtual std::string_view Read(Text field) = 0;
  virtual void Write(Text field, std::string_view text) = 0;
  // The year of DATO, 0 when it is empty.
  virtual int32_t Year() = 0;
  virtual void WriteYearClass(int32_t year_class) = 0;

 protected:
  ~TFixValues() = default;
};

// The rules applied once to a record, field after field in this order: BEHANDL, SNYLTDYR,
// ORGAN, MENGDE, then DATO and GENER read, GENER and ÅRSKLAS written. The one sequence of
// the rules, whoever holds the record.
void ApplyFixRules(TFixValues& values);

// ---- On a record ----------------------------------------------------------------------
// The fields the normaliser reads and writes; all belong to one dataset.
struct FixFields {
  TField& dato;
  TField& gener;
  TField& arsklas;
  TField& snyltdyr;
  TField& mengde;
  TField& organ;
  TField& behandl;
};

// Normalises the current record, which must be in edit or insert state. Writes
// BEHANDL, SNYLTDYR and ORGAN only when a rule holds; MENGDE, GENER and ÅRSKLAS always.
void FixRecord(const FixFields& fields);

// Normalises and stores every record of the selection (TDataSet::RewriteSelection with
// FixRecord, BeforePost normalising once more). A plain dataset does it as a user would,
// from the first record: Edit, Fix, Post, Next. The storage table goes through the
// records as they lie in the file and stores those whose values changed; a record left as
// it was is not written again, which nobody can tell apart from writing the same bytes,
// since the table is dated all the same. A failing record stops the pass, in edit state.
//
// With bpFixRecord the caller vouches that the table's BeforePost is FixRecord on these
// same fields, so that a record of the storage table can be fixed and "posted" in one go
// straight in its bytes (TDirectNormaliser) where that gives the same record; any other
// BeforePost is left to run as it is, and so is every record of another dataset.
enum class TBeforePost { bpOther, bpFixRecord };
TRewriteCount FixAllRecords(TDataSet& table, const FixFields& fields,
                            const TPassProgress& progress = {},
                            TBeforePost before_post = TBeforePost::bpOther);

// "Fiks formatering": FixAllRecords with the controls' notifications suspended, resumed
// also when the pass fails.
TRewriteCount FixFormattingPass(TDataSet& table, const FixFields& fields,
                                const TPassProgress& progress = {},
                                TBeforePost before_post = TBeforePost::bpOther);

}  // namespace snyltdyr
