#include "register/normaliser.h"

#include "dataset/data_set.h"
#include "dataset/fields/field.h"
#include "dataset/try_finally.h"
#include "register/direct_normaliser.h"
#include "runtime/cp1252.h"
#include "runtime/date_time.h"
#include "runtime/whole_number.h"
#include "storage/engine_data_set.h"

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

void ApplyFixRules(TFixValues& v) {
  using V = TFixValues;
  if (auto text = TreatmentRule(v.Read(V::kBehandl))) v.Write(V::kBehandl, *text);
  if (auto text = ParasiteRule(v.Read(V::kSnyltdyr))) v.Write(V::kSnyltdyr, *text);
  if (auto text = OrganRule(v.Read(V::kOrgan))) v.Write(V::kOrgan, *text);
  v.Write(V::kMengde, AmountRule(v.Read(V::kMengde)));
  const int32_t year = v.Year();
  const int32_t generation = GenerationRule(v.Read(V::kGener));
  v.Write(V::kGener, std::to_string(generation));
  v.WriteYearClass(YearClassOf(year, generation));
}

namespace {

// The values in the record's fields, as the window and the import post them.
class TFieldValues final : public TFixValues {
 public:
  explicit TFieldValues(const FixFields& f) : f_(f) {}

  std::string_view Read(Text field) override {
    text_ = Field(field).AsString();
    return text_;
  }
  void Write(Text field, std::string_view text) override { Field(field).SetAsString(std::string(text)); }
  int32_t Year() override {
    if (f_.dato.IsBlank()) return 0;
    int year = 0, month = 0, day = 0;
    DecodeDate(f_.dato.AsDateTime(), year, month, day);
    return year;
  }
  void WriteYearClass(int32_t year_class) override { f_.arsklas.SetAsInteger(year_class); }

 private:
  TField& Field(Text field) const {
    switch (field) {
      case kBehandl: return f_.behandl;
      case kSnyltdyr: return f_.snyltdyr;
      case kOrgan: return f_.organ;
      case kMengde: return f_.mengde;
      case kGener: break;
    }
    return f_.gener;
  }

  const FixFields& f_;
  std::string text_;
};

}  // namespace

void FixRecord(const FixFields& fields) {
  TFieldValues values(fields);
  ApplyFixRules(values);
}

TRewriteCount FixAllRecords(TDataSet& table, const FixFields& fields,
                            const TPassProgress& progress, TBeforePost before_post) {
  auto fix = [&] { FixRecord(fields); };
  auto* storage = dynamic_cast<TEngineDataSet*>(&table);
  if (before_post == TBeforePost::bpFixRecord && storage != nullptr && storage->Active()) {
    TDirectNormaliser direct(*storage, fields);
    if (direct.Usable())
      return storage->RewriteSelection(fix, [&] { return direct.FixPassRecord(); }, progress);
  }
  return table.RewriteSelection(fix, progress);
}

TRewriteCount FixFormattingPass(TDataSet& table, const FixFields& fields,
                                const TPassProgress& progress, TBeforePost before_post) {
  TRewriteCount count;
  table.SuspendControls();
  TryFinally([&] { count = FixAllRecords(table, fields, progress, before_post); },
             [&] { table.ResumeControls(); });
  return count;
}

}  // namespace snyltdyr
