// SnyltdyrRegister: the observation register without its window. It owns the table
// SnyltdyrTable with its fourteen field objects and the data source SnyltdyrSource, keeps
// the state the window shows (kind, year class, the "Funn" and "Behandling" ticks, the
// "Antall" and "Snitt" texts) and offers the operations the window's handlers call.
//
// The table is declared here and never created or restructured: it is "SNYLTDYR.DBF", a
// dBASE table with the index "DATO" current from the moment it opens. Every post runs
// Fix (the table's BeforePost), so whatever writes a record writes it normalised.
//
// The filters: a kind button (SetFilter) remembers its field and value, so a later
// year-class button brings the kind back (sistefilter) even after "Alle"
// (SpeedButton3Click) was clicked. Until a kind has been chosen, a year-class button only
// switches filtering off. Every applied selection recomputes the count and grade.
#pragma once

#include <cstdint>
#include <string>

#include "dataset/fields/blob_field.h"
#include "dataset/links/data_source.h"
#include "dataset/fields/date_time_field.h"
#include "dataset/fields/numeric_field.h"
#include "dataset/fields/string_field.h"
#include "register/normaliser.h"
#include "register/selection_filter.h"
#include "register/severity.h"
#include "storage/table.h"

namespace snyltdyr {

// Where the table is looked for when the working directory does not hold it.
inline constexpr const char* kFallbackDataDirectory = "p:\\strandum\\merder";
inline constexpr const char* kObservationTableName = "SNYLTDYR.DBF";
inline constexpr const char* kDateIndexName = "DATO";

class SnyltdyrRegister {
 public:
  SnyltdyrRegister();
  ~SnyltdyrRegister();
  SnyltdyrRegister(const SnyltdyrRegister&) = delete;
  SnyltdyrRegister& operator=(const SnyltdyrRegister&) = delete;

  // ---- The table, its fields (in column order) and its data source -------------------
  TTable SnyltdyrTable{"SnyltdyrTable"};
  TDateField SnyltdyrTableDATO{"SnyltdyrTableDATO"};
  TStringField SnyltdyrTableBYGG{"SnyltdyrTableBYGG"};
  TStringField SnyltdyrTableGENER{"SnyltdyrTableGENER"};
  TStringField SnyltdyrTableRSKLAS{"SnyltdyrTableRSKLAS"};
  TFloatField SnyltdyrTableGRUPPE{"SnyltdyrTableGRUPPE"};
  TStringField SnyltdyrTableSNYLTDYR{"SnyltdyrTableSNYLTDYR"};
  TStringField SnyltdyrTableMENGDE{"SnyltdyrTableMENGDE"};
  TStringField SnyltdyrTableORGAN{"SnyltdyrTableORGAN"};
  TStringField SnyltdyrTableBEHANDL{"SnyltdyrTableBEHANDL"};
  TStringField SnyltdyrTableTID{"SnyltdyrTableTID"};
  TStringField SnyltdyrTableKONS{"SnyltdyrTableKONS"};
  TMemoField SnyltdyrTableKOMENT{"SnyltdyrTableKOMENT"};
  TStringField SnyltdyrTableMETODE{"SnyltdyrTableMETODE"};
  TFloatField SnyltdyrTableTALL{"SnyltdyrTableTALL"};
  TDataSource SnyltdyrSource{"SnyltdyrSource"};

  // ---- Window state --------------------------------------------------------------------
  int32_t YearClass = 0;  // -1: all year classes, else 0..5
  std::string LastFilterField;
  std::string LastFilterValue;
  bool Funn = false;        // the "Funn" box is ticked
  bool Behandling = false;  // the "Behandling" box is ticked
  int32_t LastAverage() const { return figures_.last_average; }
  const std::string& AntallText() const { return figures_.antall; }  // the "Antall" box
  const std::string& GradText() const { return figures_.grad; }      // the "Snitt" box

  // ---- Opening and closing -------------------------------------------------------------
  // Opens the table in its database; when that fails for any reason, in the fallback
  // directory. A failure there is passed on with both reasons, the first opening's first,
  // and leaves the state untouched.
  void OpenTable();
  // Opens the table in its database, once. A table without the index DATO is reported
  // with the command that adds it.
  void OpenHere();
  // Why the open table cannot be written (and, when the index DATO may not be used, that
  // the records are in their stored order), with the command that repairs it; empty when
  // the table is writable or closed. The window shows it; the command line prints it.
  std::string ReadOnlyReason() const { return SnyltdyrTable.ReadOnlyReason(); }
  // The fallback directory: "p:\strandum\merder" (where that share is mounted here).
  const std::string& FallbackDirectory() const { return fallback_directory_; }
  void SetFallbackDirectory(const std::string& directory) { fallback_directory_ = directory; }
  // The state after the window is shown: last record current, every year class, no kind,
  // then the count and grade.
  void StartSelection();
  // OpenTable, then StartSelection.
  void FormShow();
  // Closes the table; a record still being edited is discarded (the window asks first).
  void FormClose();

  // ---- Normaliser ----------------------------------------------------------------------
  // Normalises the current record (which is in edit or insert state).
  void Fix();
  // Stores every record of the selection normalised; returns how many records it went
  // through and how many of them changed and were written.
  TRewriteCount FixAll(const TPassProgress& progress = {});
  // "Fiks formatering": FixAll with the controls held still.
  TRewriteCount BitBtn1Click(const TPassProgress& progress = {});

  // ---- Selection -----------------------------------------------------------------------
  // A kind button: remember field and value, switch filtering off and, for a non-empty
  // field, filter on the kind with the ticked boxes and the year class, then summer.
  void SetFilter(const std::string& field, const std::string& value);
  // The last kind again (after a year-class button).
  void sistefilter();
  // A year-class button: -1 for "Alle", else 0..5.
  void YearClassClick(int32_t year_class);
  // The "Alle" kind button: the boxes and the year class alone, then summer.
  void SpeedButton3Click();
  // The "Haptor" and "Tricodina" kind buttons.
  void SpeedButton4Click() { SetFilter(kKindField, kHaptorValue); }
  void SpeedButton5Click() { SetFilter(kKindField, kTricodinaValue); }
  // The "Behandling" box changed: ticking it ticks "Funn" too.
  void BehandlingClick();
  // The inputs of a selection as the boxes and buttons hold them now.
  SelectionBoxes Boxes() const { return {Funn, Behandling, YearClass}; }

  // ---- Count and grade -----------------------------------------------------------------
  void summer();
  // Off for a caller that shows no figures (the companion's export): summer then counts
  // nothing, since the count is a pass over the whole selection of its own.
  bool CountsFigures = true;

  // ---- Column sort ---------------------------------------------------------------------
  // Makes the index named after the field current, adding it the first time. The pending
  // edit is posted first; a failure of that post, or any failure but the missing index,
  // is passed on with the edit kept. A table that cannot be written gets no index: its
  // read-only reason is the failure.
  void SortByField(const std::string& field_name);
  // Adds an index with the table opened exclusively for the moment; a failure stops the
  // steps after it and is not raised, but the table is always left open and shared as it
  // was found, so that a failure (another user has the table open) leaves the window usable
  // and other users in. The failure's message is kept (empty when it went well), so that
  // the caller's failing second attempt can say why the index is missing.
  void AddFieldIndex(const std::string& index_name, const std::string& field_names,
                     TIndexOptions options);
  const std::string& AddIndexFailure() const { return add_index_failure_; }

 private:
  struct FixOnPost;
  FixFields NormalisedFields();
  // bpFixRecord while the table's BeforePost is still this register's own Fix.
  TBeforePost PostingNormalises() const;

  SelectionFigures figures_;
  std::string add_index_failure_;
  std::string fallback_directory_ = kFallbackDataDirectory;
};

}  // namespace snyltdyr
