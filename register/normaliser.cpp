#include "register/normaliser.h"

#include "dataset/data_set.h"
#include "dataset/fields/field.h"
#include "dataset/try_finally.h"
#include "runtime/cp1252.h"
#include "runtime/date_time.h"
#include "runtime/whole_number.h"

namespace snyltdyr {
namespace {

bool Contains(std::string_view upper, std::string_view part) {
  return upper.find(part) != std::string_view::npos;
}

// One rule: when `holds`, the field becomes `text` (a later rule may overwrite it).
void Rule(bool holds, const char* text, std::optional<std::string>& result) {
  if (holds) result = text;
}

}  // namespace

std::optional<std::string> TreatmentRule(std::string_view behandl) {
  const std::string u = UpperCase1252(behandl);
  std::optional<std::string> result;
  Rule(Contains(u, "FORMALIN") || u == "F" || u == "FORM", "Formalin", result);
  return result;
}

std::optional<std::string> ParasiteRule(std::string_view snyltdyr) {
  const std::string u = UpperCase1252(snyltdyr);
  std::optional<std::string> result;
  Rule(Contains(u, "TRIC") || u == "T", "Tricodina", result);
  Rule(Contains(u, "HAPTOR") || Contains(u, "MARK") || u == "H", "Haptor Mark", result);
  Rule(Contains(u, "NEG.") || u == "N", "Negativ", result);
  Rule(Contains(u, "COS") || u == "C", "Costia", result);
  return result;
}

std::optional<std::string> OrganRule(std::string_view organ) {
  const std::string u = UpperCase1252(organ);
  std::optional<std::string> result;
  Rule(Contains(u, "HUD") || u == "H", "Hud", result);
  Rule(Contains(u, "GJELLE") || u == "G", "Gjelle", result);
  Rule(Contains(u, "LEVER") || u == "L", "Lever", result);
  Rule(Contains(u, "VOLL") || u == "I", "Innvoller", result);
  Rule(Contains(u, "H/G"), "Hud/Gjelle", result);
  return result;
}

std::string AmountRule(std::string_view mengde) {
  if (mengde.empty()) return "-";
  return UpperCase1252(mengde);
}

int32_t GenerationRule(std::string_view gener) {
  int32_t g = ReadWholeNumber(gener, 0);
  if (g < 100) g += 1900;  // cannot overflow: g < 100
  return g;
}

int32_t YearClassOf(int32_t year, int32_t generation) {
  // Computed wide and wrapped to 32 bits like the stored value, without overflow.
  return static_cast<int32_t>(static_cast<int64_t>(year) - generation);
}

void FixRecord(const FixFields& f) {
  if (auto text = TreatmentRule(f.behandl.AsString())) f.behandl.SetAsString(*text);
  if (auto text = ParasiteRule(f.snyltdyr.AsString())) f.snyltdyr.SetAsString(*text);
  if (auto text = OrganRule(f.organ.AsString())) f.organ.SetAsString(*text);
  f.mengde.SetAsString(AmountRule(f.mengde.AsString()));

  int32_t year = 0;
  if (!f.dato.IsBlank()) {
    int month = 0, day = 0, y = 0;
    DecodeDate(f.dato.AsDateTime(), y, month, day);
    year = y;
  }
  const int32_t generation = GenerationRule(f.gener.AsString());
  f.gener.SetAsString(std::to_string(generation));
  f.arsklas.SetAsInteger(YearClassOf(year, generation));
}

TRewriteCount FixAllRecords(TDataSet& table, const FixFields& fields,
                            const TPassProgress& progress) {
  return table.RewriteSelection([&] { FixRecord(fields); }, progress);
}

TRewriteCount FixFormattingPass(TDataSet& table, const FixFields& fields,
                                const TPassProgress& progress) {
  TRewriteCount count;
  table.SuspendControls();
  TryFinally([&] { count = FixAllRecords(table, fields, progress); },
             [&] { table.ResumeControls(); });
  return count;
}

}  // namespace snyltdyr
