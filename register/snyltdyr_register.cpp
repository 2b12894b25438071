#include "register/snyltdyr_register.h"

#include "dataset/data_set_messages.h"
#include "storage/db_engine_error.h"

namespace snyltdyr {
namespace {

// One column of the table as the grid shows it.
void Declare(TField& field, TDataSet& table, const char* name, const char* label,
             int32_t width, int32_t size = 0) {
  field.SetFieldName(name);
  if (size > 0) field.SetSize(size);
  if (label != nullptr) field.SetDisplayLabel(label);
  if (width > 0) field.SetDisplayWidth(width);
  field.SetDataSet(&table);
}

}  // namespace

// The table's own BeforePost: a type of its own, so that a pass can tell it from any
// other handler put in its place (std::function::target).
struct SnyltdyrRegister::FixOnPost {
  SnyltdyrRegister* owner;
  void operator()(TDataSet&) const { owner->Fix(); }
};

SnyltdyrRegister::SnyltdyrRegister() {
  SnyltdyrTable.SetTableName(kObservationTableName);
  SnyltdyrTable.SetTableType(ttDBase);
  SnyltdyrTable.SetIndexName(kDateIndexName);
  SnyltdyrTable.BeforePost = FixOnPost{this};

  // Names and labels are code page 1252: "\xC5" is Å, "\xE5" å and "\xF8" ø.
  Declare(SnyltdyrTableDATO, SnyltdyrTable, "DATO", "dato", 11);
  Declare(SnyltdyrTableBYGG, SnyltdyrTable, "BYGG", "kar", 10, 9);
  Declare(SnyltdyrTableGENER, SnyltdyrTable, "GENER", "generasjon", 11, 20);
  Declare(SnyltdyrTableRSKLAS, SnyltdyrTable, "\xC5RSKLAS", "\xE5rsklasse", 11, 20);
  Declare(SnyltdyrTableGRUPPE, SnyltdyrTable, "GRUPPE", "gruppe", 7);
  Declare(SnyltdyrTableSNYLTDYR, SnyltdyrTable, "SNYLTDYR", "snyltdyr", 18, 30);
  Declare(SnyltdyrTableMENGDE, SnyltdyrTable, "MENGDE", "mengde", 8, 9);
  Declare(SnyltdyrTableORGAN, SnyltdyrTable, "ORGAN", "organ", 12, 30);
  Declare(SnyltdyrTableBEHANDL, SnyltdyrTable, "BEHANDL", "behandling", 18, 30);
  Declare(SnyltdyrTableTID, SnyltdyrTable, "TID", "tid", 7, 20);
  Declare(SnyltdyrTableKONS, SnyltdyrTable, "KONS", "konsentrasjon", 14, 20);
  SnyltdyrTableKOMENT.SetBlobType(btMemo);
  Declare(SnyltdyrTableKOMENT, SnyltdyrTable, "KOMENT", nullptr, 0, 1);
  SnyltdyrTableKOMENT.SetVisible(false);
  Declare(SnyltdyrTableMETODE, SnyltdyrTable, "METODE", "pr\xF8vemetode", 24, 30);
  Declare(SnyltdyrTableTALL, SnyltdyrTable, "TALL", "tall", 12);

  SnyltdyrSource.SetDataSet(&SnyltdyrTable);
}

SnyltdyrRegister::~SnyltdyrRegister() {
  // Closed while every field object still exists; a pending edit is dropped. Nothing may
  // leave a destructor, and a table going away has no one left to tell.
  try {
    SnyltdyrTable.Close();
  } catch (...) {
  }
  SnyltdyrSource.SetDataSet(nullptr);
}

// When both openings fail, the message gives both reasons, the working directory's first:
// a table there that could not be opened (damaged, ambiguous) is the one to mend, and
// the fallback directory's "does not exist" alone would hide that.
void SnyltdyrRegister::OpenTable() {
  std::string first;
  try {
    OpenHere();
    return;
  } catch (const std::exception& e) {
    first = e.what();
  }
  SnyltdyrTable.SetDatabaseName(fallback_directory_);
  try {
    OpenHere();
  } catch (const EAbort&) {
    throw;
  } catch (const std::exception& e) {
    const std::string second = e.what();
    throw EDatabaseError(second == first ? first : first + "\n" + second);
  }
}

void SnyltdyrRegister::OpenHere() {
  try {
    SnyltdyrTable.Open();
  } catch (const EDBEngineError&) {
    throw;
  } catch (const EDatabaseError& e) {
    const std::string missing = EDatabaseError::WithComponent(
        SnyltdyrTable.Name(), std::string("Index does not exist. Index: ") + kDateIndexName);
    const std::string dir = SnyltdyrTable.DatabaseName().empty() ? "." : SnyltdyrTable.DatabaseName();
    // A column of the register missing from the table: another program may have renamed
    // it (one that cannot write its letters), which the repair undoes.
    if (e.Message().find("' not found") != std::string::npos)
      throw EDatabaseError(e.Message() + "\nAnother program may have renamed the column; to give it its "
                           "name back, run: snyltdyr-cli repair \"" + dir + "\" --apply");
    if (e.Message() != missing) throw;
    throw EDatabaseError(missing + "\nThe table has no index " + kDateIndexName +
                         ", by which the register shows it; add it with: snyltdyr-cli "
                         "add-index \"" + dir + "\" " + kDateIndexName);
  }
}

void SnyltdyrRegister::StartSelection() {
  SnyltdyrTable.Last();
  YearClass = -1;
  LastFilterField.clear();
  LastFilterValue.clear();
  figures_.last_average = 0;
  summer();
}

void SnyltdyrRegister::FormShow() {
  OpenTable();
  StartSelection();
}

void SnyltdyrRegister::FormClose() { SnyltdyrTable.Close(); }

FixFields SnyltdyrRegister::NormalisedFields() {
  return {SnyltdyrTableDATO,  SnyltdyrTableGENER, SnyltdyrTableRSKLAS, SnyltdyrTableSNYLTDYR,
          SnyltdyrTableMENGDE, SnyltdyrTableORGAN, SnyltdyrTableBEHANDL};
}

void SnyltdyrRegister::Fix() { FixRecord(NormalisedFields()); }

TBeforePost SnyltdyrRegister::PostingNormalises() const {
  const auto* own = SnyltdyrTable.BeforePost.target<FixOnPost>();
  return own != nullptr && own->owner == this ? TBeforePost::bpFixRecord : TBeforePost::bpOther;
}

TRewriteCount SnyltdyrRegister::FixAll(const TPassProgress& progress) {
  return FixAllRecords(SnyltdyrTable, NormalisedFields(), progress, PostingNormalises());
}

TRewriteCount SnyltdyrRegister::BitBtn1Click(const TPassProgress& progress) {
  return FixFormattingPass(SnyltdyrTable, NormalisedFields(), progress, PostingNormalises());
}

void SnyltdyrRegister::SetFilter(const std::string& field, const std::string& value) {
  LastFilterField = field;
  LastFilterValue = value;
  SnyltdyrTable.SetFiltered(false);
  if (field.empty()) return;  // no kind yet: everything shows, the figures stay
  SnyltdyrTable.SetFilter(KindFilterText(field, value, Boxes()));
  SnyltdyrTable.SetFiltered(true);
  summer();
}

void SnyltdyrRegister::sistefilter() { SetFilter(LastFilterField, LastFilterValue); }

void SnyltdyrRegister::YearClassClick(int32_t year_class) {
  YearClass = year_class;
  sistefilter();
}

void SnyltdyrRegister::SpeedButton3Click() {
  SnyltdyrTable.SetFiltered(false);
  // With nothing chosen the old text stays in Filter, out of effect.
  if (auto text = AllKindsFilterText(Boxes())) {
    SnyltdyrTable.SetFilter(*text);
    SnyltdyrTable.SetFiltered(true);
  }
  summer();
}

void SnyltdyrRegister::BehandlingClick() {
  if (Behandling) Funn = true;
}

void SnyltdyrRegister::summer() {
  if (CountsFigures) CountAndGrade(SnyltdyrTable, SnyltdyrTableMENGDE, figures_);
}

// Only a missing index is added: any other failure (the pending edit could not be posted,
// the index file is damaged) is the user's to see, with the edit kept, since adding an
// index closes the table and would drop it.
void SnyltdyrRegister::SortByField(const std::string& field_name) {
  if (SnyltdyrTable.Active()) SnyltdyrTable.EnsureBrowseMode();
  try {
    SnyltdyrTable.SetIndexName(field_name);
    return;
  } catch (const EDatabaseError& e) {
    const std::string missing = EDatabaseError::WithComponent(
        SnyltdyrTable.Name(), "Index does not exist. Index: " + field_name);
    if (e.Message() != missing) throw;
  }
  // A table that cannot be written cannot take an index either: the reason it cannot be
  // written is what the user needs to know.
  if (!SnyltdyrTable.Modifiable()) {
    const std::string why = SnyltdyrTable.ReadOnlyReason();
    throw EDatabaseError(SnyltdyrTable.Name(),
                         std::string(msg::kDataSetReadOnly) + (why.empty() ? "" : "\n" + why));
  }
  AddFieldIndex(field_name, field_name, 0);
  try {
    SnyltdyrTable.SetIndexName(field_name);
  } catch (EDatabaseError& e) {
    // "Index does not exist" alone would hide why it could not be added.
    if (!add_index_failure_.empty()) e.SetMessage(e.Message() + "\n" + add_index_failure_);
    throw;
  }
}

void SnyltdyrRegister::AddFieldIndex(const std::string& index_name,
                                     const std::string& field_names, TIndexOptions options) {
  const bool was_exclusive = SnyltdyrTable.Exclusive();
  add_index_failure_.clear();
  try {
    if (!was_exclusive) {
      SnyltdyrTable.Close();
      SnyltdyrTable.SetExclusive(true);
      SnyltdyrTable.Open();
    }
    SnyltdyrTable.CreateIndex(index_name, field_names, options);
    if (!was_exclusive) SnyltdyrTable.Close();
    SnyltdyrTable.SetExclusive(false);
    SnyltdyrTable.Open();
  } catch (const std::exception& e) {
    add_index_failure_ = e.what();  // the caller's second attempt reports it
  }
  // A step that failed may have left the table closed (another user has it open, so it
  // cannot be had exclusively) or held exclusively (the index could not be added): it is
  // opened again as it was, shared. A failure of that opening is the user's to see.
  if (!was_exclusive && SnyltdyrTable.Active() && SnyltdyrTable.Exclusive()) SnyltdyrTable.Close();
  if (!SnyltdyrTable.Active()) {
    SnyltdyrTable.SetExclusive(was_exclusive);
    SnyltdyrTable.Open();
  }
}

}  // namespace snyltdyr
