// TTable: one stored table, opened by name and type in its database, with its index
// selection, its index list and the indexes it can add.
//
// While the table is open, IndexName, Filter, FilterOptions and Filtered act on the
// cursor at once; while it is closed they are only stored and take effect at the next
// Open. TableName, TableType, DatabaseName, Exclusive and ReadOnly change only while it
// is closed. A failed Open leaves the table closed and holding no database, so
// DatabaseName can be changed and Open tried again.
//
// Index names: for a dBASE or FoxPro table a name without the extension ".NDX" is a tag
// of the production index file (the .MDX named after the table), looked up in IndexDefs
// without regard to case; "Index does not exist. Index: %s" when it is missing. An empty
// name is the table's natural record order.
#pragma once

#include <string>
#include <vector>

#include "storage/db_data_set.h"
#include "storage/index_defs.h"

namespace snyltdyr {

enum TTableType : uint8_t { ttDefault, ttParadox, ttDBase, ttFoxPro, ttASCII };

class TTable : public TDBDataSet {
 public:
  explicit TTable(std::string name = {});
  ~TTable() override;

  // ---- Which table ---------------------------------------------------------------------
  const std::string& TableName() const { return table_name_; }
  void SetTableName(const std::string& name);
  TTableType TableType() const { return table_type_; }
  void SetTableType(TTableType type);
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool exclusive);
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool read_only);
  // Open in the table's default order (true) or with no default index.
  bool DefaultIndex() const { return default_index_; }
  void SetDefaultIndex(bool on);
  // Extra index files opened with the table (dBASE: .NDX files).
  const std::vector<std::string>& IndexFiles() const { return index_files_; }
  void SetIndexFiles(std::vector<std::string> files);

  // ---- Indexes -------------------------------------------------------------------------
  // The current index: a tag of the production index, an .NDX file, or empty (record
  // order). Assigning a different text (compared with regard to case) on an open table
  // finishes any edit, switches the cursor, staying on the current record when the new
  // order can find it, and re-reads the window; a missing index raises and leaves the
  // old index and name in place.
  const std::string& IndexName() const { return index_name_; }
  void SetIndexName(const std::string& name);
  // The table's indexes, brought up to date from the engine when they are out of date.
  const TIndexDefs& IndexDefs();
  // Marks IndexDefs out of date; the next use reads it again.
  void InvalidateIndexDefs() { index_defs_.SetUpdated(false); }
  // Adds an index, on an open or a closed table. For a dBASE table a maintained index
  // becomes a tag of the production index. `fields` is a ";"-separated list of field
  // names (at most 16), or the key expression with ixExpression. `descending_fields`
  // names key fields that run descending ("Cannot access index field '%s'" for a name
  // that is not a key field).
  // `progress` (may be empty) hears how many records the building read.
  void CreateIndex(const std::string& name, const std::string& fields,
                   TIndexOptions options = 0, const std::string& descending_fields = {},
                   const engine::IndexProgress& progress = {});

  // Rebuilds the production index of the closed table from its records (every tag keeps
  // its definition; the old index stays beside it as a backup). The table must not be
  // open anywhere else. `progress` hears how many records were read.
  engine::RebuildReport RebuildIndexes(const engine::RebuildProgress& progress = {});
  // What other programs did to the closed table's files and how a repair mends it
  // (engine.h, PlanRepair); reads the files only.
  engine::RepairPlan PlanRepair(const engine::RepairOptions& options);
  // Mends it (engine.h, RepairTable): the table must not be open anywhere else; every
  // file changed is copied first. Raises when a step cannot be mended or the result does
  // not open writable and in step; `report` then tells what was done before.
  void Repair(const engine::RepairOptions& options, const engine::RebuildProgress& progress,
              engine::RepairReport& report);

  // Why the open table cannot be written, and what the user can do about it: the engine's
  // reason when a read-write opening was refused and the table fell back to reading, or
  // what was found since; and when the index IndexName may not be used (found damaged or
  // out of step), that the records are shown in their stored order. Empty when the table
  // is writable, and while it is closed.
  std::string ReadOnlyReason() const override;

  // ---- Table kind ------------------------------------------------------------------------
  // The type with ttDefault resolved from the file name (".DB", ".DBF", ".TXT").
  TTableType ResolvedTableType();
  // The engine's driver name of the resolved type ("DBASE", "FOXPRO", ...).
  std::string DriverName();
  // A dBASE or FoxPro table (by type, or by the ".DBF" extension).
  bool IsXBaseTable() const;

 protected:
  engine::Handle CreateCursor(bool gen_handle) override;
  void OpenCursorIndex() override;
  void ReadFieldDefinitions() override;

 public:
  // A change of a field definition's property also puts IndexDefs out of date.
  void NotifyDataEvent(DataEventKind kind, std::intptr_t info = 0) override;

 private:
  // Where an index name leads: an index file (native text) and a tag (native text).
  struct IndexParams {
    std::string file;
    std::string tag;
  };
  IndexParams IndexParamsOf(const std::string& name);
  // IndexParamsOf(IndexName) while `cursor` opens; none (record order, with the reason
  // kept for ReadOnlyReason) when the table's index file cannot be used at all.
  IndexParams UsableIndexParams(engine::Handle cursor);
  engine::IndexDescriptor IndexDescriptorOf(const std::string& name, const std::string& fields,
                                            TIndexOptions options,
                                            const std::string& descending_fields);
  bool IsProductionIndex(const std::string& index_file) const;
  // Switches the open cursor to `params`, staying on the current record if possible.
  void SwitchToIndex(const IndexParams& params);
  void UpdateIndexDefs();
  void ReadIndexDefs(engine::Handle cursor);
  // Field definitions read from the closed table when there are none yet.
  void UpdateFieldDefs();
  std::string NativeTableName();
  void OpenIndexFiles(engine::Handle cursor);
  // Opens the table read-only for a look at its fields, indexes or language driver.
  engine::Handle OpenTemporaryCursor();
  // The table's language driver (the database's when the table cannot be opened).
  engine::Handle TableLocale();

  std::string table_name_;
  TTableType table_type_ = ttDefault;
  std::string index_name_;
  bool index_holds_field_names_ = false;
  bool exclusive_ = false;
  bool read_only_ = false;
  bool default_index_ = true;
  std::vector<std::string> index_files_;
  TIndexDefs index_defs_;
  std::string native_table_name_;  // cached; cleared when TableName changes
  // Set by the opening, kept while open: why the read-write opening was refused, and why
  // the cursor stayed in record order instead of IndexName.
  std::string open_refusal_;
  std::string index_fallback_;
  engine::Handle new_cursor_ = engine::kNoHandle;  // the cursor being created
};

}  // namespace snyltdyr
