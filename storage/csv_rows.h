// The rows of a CSV export: every field of each record a pass of a TEngineDataSet reaches
// (VisitSelection), one UTF-8 row ended by CR LF, exactly what
//   CsvCell(field.IsBlob() ? field.AsString() : field.DisplayText())
// for each field, joined by commas and converted from code page 1252, gives, but without
// the layers of TField wherever a cell is a plain function of the record's bytes:
// - a plain text field (TStoredText): its bytes, when they are plain ASCII, else its
//   bytes converted as the field converts them (unless a NUL ends its text early);
// - a date or float field that nothing shapes but its value (exactly a TDateField or
//   TFloatField, no OnGetText, no display format): the cell the field gave before for the
//   same bytes, kept in a fixed table (TKnownCells);
// - a memo field (exactly a TMemoField): its memo read with those of the rows around it
//   (engine::ReadMemos), converted as the field's blob stream converts it.
// Everything else, and every text that is not plain, is asked of the field; so is every
// cell of a pass that has no record bytes to give (TEngineDataSet::PassRecord null: the
// dataset walks the records itself for a filter handler).
//
// Memos are read in batches. A row with a memo waits, with the rows after it, until
// kMemoBatch memos wait (or Finish); they are then read together, sorted by block, and
// the rows written out in their order. What an export guarantees of a memo: it is read
// after the record that names it, by the block number in the bytes the pass handed on,
// at most kMemoBatch memos later (a few milliseconds of rows); each memo comes from one
// read of the file (two for a memo longer than the read that reached it), so that its
// length and its text are read together. A memo another program changes during the pass
// comes out as it was or as it is then, as reading it at its row would give; a block the
// engine cannot read as a memo is read alone as the field would read it, and fails as the
// field would. A failure of a later row waits until the rows before it are done, so the
// first failing row is the one that fails the export, as when the fields are asked.
//
// Memory: the rows waiting for their memos (a batch of rows, well under a megabyte for
// records of a few hundred bytes), the bytes of their records and the batch's memos.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "storage/known_cells.h"
#include "storage/stored_text.h"

namespace snyltdyr {

class TEngineDataSet;
class TField;

// `text` as a CSV cell (code page 1252): quoted when it holds a comma, a quote or a line
// break, its quotes doubled. Appended to `out`.
void AppendCsvCell(std::string& out, std::string_view text);

class TCsvRows {
 public:
  // The rows of `data_set`'s fields (in their order), appended to `out`. `data_set` is
  // open and stays so while the rows are made.
  TCsvRows(TEngineDataSet& data_set, std::string& out);
  ~TCsvRows();
  TCsvRows(const TCsvRows&) = delete;
  TCsvRows& operator=(const TCsvRows&) = delete;

  // The row of the record the pass reached (called from the pass's function).
  void AddRow();
  // Writes the rows still waiting for their memos; called once the pass is done.
  void Finish();

  static constexpr size_t kMemoBatch = 1024;
  static constexpr size_t kMostReserved = size_t{1} << 30;  // bytes of rows made room for

 private:
  enum class Road : uint8_t { kField, kText, kKnown, kMemo };
  struct Column {
    const TField* field = nullptr;
    Road road = Road::kField;
    TStoredText text;          // kText
    uint16_t offset = 0;       // kKnown, kMemo: the field's bytes in the record
    uint16_t width = 0;
    TKnownCells known;         // kKnown
    bool transliterate = false;  // kMemo
    // kMemo: the bytes of the field of each waiting memo, and what was read of them.
    std::vector<uint8_t> waiting;
    std::vector<std::string> contents;
    std::vector<uint8_t> read;
  };
  // A memo the rows wait for: where it goes in waiting_, its column, its place in the
  // column's batch and the bytes of its record (in records_, one copy per memo).
  struct Hole {
    size_t at;
    uint32_t column, index, record;
  };

  void AddCells(const char* record, std::string& out);
  void AddFieldCell(const Column& c, std::string& out);
  void AddMemoCell(Column& c, const Hole& hole, std::string& out);
  // The memo the field would give, read alone for record `record` of records_.
  std::string MemoOfRecord(const Column& c, uint32_t record);
  void Transliterate(const Column& c, std::string& text) const;
  void Flush();

  TEngineDataSet& data_set_;
  std::string& out_;
  std::vector<Column> columns_;
  size_t record_bytes_ = 0;      // of the fields, from the deletion flag on
  std::vector<char> blob_record_;  // a record buffer for MemoOfRecord
  // The rows waiting for their memos (the memos left out) and the memos' places in them.
  std::string waiting_;
  std::string converted_;  // a text cell's letters converted (kText), kept for the next
  std::vector<Hole> holes_;
  std::vector<char> records_;  // the records of the memos that wait, one per memo
};

}  // namespace snyltdyr
