// Fuzz target: a .DBF file, header and records, through the engine's interface.
//
// The input is the table file; beside it lies the fuzz table's memo file. Every record is
// read and every field decoded (memos through the blob calls), in record order and under
// the selection filter the window makes; then one blank record is appended to a writable
// opening. Properties: nothing crashes, every walk ends, and the append grows the file by
// at most one record and its end marker.
#include <cstdint>
#include <vector>

#include "fuzz_support.h"
#include "storage/engine/engine.h"

namespace eng = snyltdyr::engine;
using snyltdyr::fuzz::FuzzFail;

namespace {

// The filter tree of «SNYLTDYR='Haptor Mark' AND MENGDE<>'-'» for the fuzz table's fields.
const std::vector<uint8_t>& HaptorFilter() {
  static const std::vector<uint8_t> tree = {
      2, 0, 128, 0, 0xFF, 0xFF, 10, 0, 98, 0,        // header
      2, 0, 0, 0, 10, 0, 0, 0, 12, 0, 50, 0,         // 0: AND
      2, 0, 0, 0, 3, 0, 0, 0, 24, 0, 36, 0,          // 12: =
      4, 0, 0, 0, 13, 0, 0, 0, 3, 0, 0, 0,           // 24: SNYLTDYR
      5, 0, 0, 0, 14, 0, 0, 0, 1, 0, 12, 0, 9, 0,    // 36: 'Haptor Mark'
      2, 0, 0, 0, 4, 0, 0, 0, 62, 0, 74, 0,          // 50: <>
      4, 0, 0, 0, 13, 0, 0, 0, 4, 0, 21, 0,          // 62: MENGDE
      5, 0, 0, 0, 14, 0, 0, 0, 1, 0, 2, 0, 28, 0,    // 74: '-'
      'S', 'N', 'Y', 'L', 'T', 'D', 'Y', 'R', 0, 'H', 'a', 'p', 't', 'o', 'r', ' ', 'M', 'a',
      'r', 'k', 0, 'M', 'E', 'N', 'G', 'D', 'E', 0, '-', 0};
  return tree;
}

struct Engine {
  eng::Handle db = eng::kNoHandle;
  Engine() {
    const eng::Result r = eng::StartEngine(eng::kInterfaceVersion, {"0009"});
    if (r != eng::kOk && r != eng::kErrAlreadyInitialized) FuzzFail("the engine does not start");
    if (eng::OpenDatabase("", eng::OpenMode::kReadWrite, eng::ShareMode::kShared, db) != eng::kOk ||
        eng::SetDirectory(db, snyltdyr::fuzz::ScratchDir()) != eng::kOk)
      FuzzFail("no database for the scratch directory");
  }
};

eng::Handle Open(eng::Handle db, eng::OpenMode mode, eng::ShareMode share) {
  eng::OpenTableArgs args;
  args.database = db;
  args.table_name = "FUZZ.DBF";
  args.open_mode = mode;
  args.share_mode = share;
  eng::Handle cursor = eng::kNoHandle;
  return eng::OpenTable(args, cursor) == eng::kOk ? cursor : eng::kNoHandle;
}

// Reads every record the cursor shows and every field of it; gives how many there were.
uint32_t ReadAll(eng::Handle cursor, uint32_t limit) {
  eng::CursorProperties props;
  std::vector<eng::FieldDescriptor> fields;
  if (eng::GetCursorProperties(cursor, props) != eng::kOk ||
      eng::GetFieldDescriptors(cursor, fields) != eng::kOk)
    return 0;
  std::vector<uint8_t> record(props.record_size);
  uint32_t seen = 0;
  eng::SetToBeginning(cursor);
  while (eng::GetNextRecord(cursor, eng::LockMode::kNoLock, record.data(), nullptr) == eng::kOk) {
    if (++seen > limit) FuzzFail("a walk in record order gave more records than the table holds");
    for (uint16_t f = 1; f <= fields.size(); ++f) {
      eng::FieldValue value;
      eng::GetField(cursor, f, record.data(), value);
      if (fields[f - 1].type != eng::kTypeBlob) continue;
      if (eng::OpenBlob(cursor, record.data(), f, eng::BlobMode::kReadOnly) != eng::kOk) continue;
      uint32_t size = 0, read = 0;
      eng::GetBlobSize(cursor, record.data(), f, size);
      std::vector<uint8_t> memo(std::min<uint32_t>(size, 1u << 20));
      eng::GetBlob(cursor, record.data(), f, 0, static_cast<uint32_t>(memo.size()), memo.data(), read);
      eng::FreeBlob(cursor, record.data(), f);
    }
  }
  return seen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Engine engine;
  static const bool memo_written = [] {
    for (const std::string& dbt : snyltdyr::fuzz::SeedInputs("dbt")) {
      snyltdyr::fuzz::WriteScratchFile("FUZZ.DBT", dbt);
      break;
    }
    return true;
  }();
  (void)memo_written;
  const std::string path =
      snyltdyr::fuzz::WriteScratchFile("FUZZ.DBF", std::string(reinterpret_cast<const char*>(data), size));

  if (eng::Handle cur = Open(engine.db, eng::OpenMode::kReadOnly, eng::ShareMode::kShared)) {
    // A record count can claim at most what the file holds.
    const uint32_t limit = static_cast<uint32_t>(size);
    const uint32_t all = ReadAll(cur, limit);
    uint32_t count = 0;
    if (eng::GetExactRecordCount(cur, count) == eng::kOk && count != all)
      FuzzFail("the count " + std::to_string(count) + " differs from the walk's " + std::to_string(all));
    eng::Handle filter = eng::kNoHandle;
    if (eng::AddFilter(cur, HaptorFilter().data(), 0, filter) == eng::kOk &&
        eng::ActivateFilter(cur, filter) == eng::kOk) {
      const uint32_t passing = ReadAll(cur, limit);
      if (passing > all) FuzzFail("a filter let more records through than the table shows");
    }
    eng::CloseCursor(cur);
  }
  if (eng::Handle cur = Open(engine.db, eng::OpenMode::kReadWrite, eng::ShareMode::kExclusive)) {
    eng::CursorProperties props;
    if (eng::GetCursorProperties(cur, props) == eng::kOk) {
      std::vector<uint8_t> record(props.record_size);
      const uint64_t before = snyltdyr::fuzz::FileSize(path);
      if (eng::InitRecord(cur, record.data()) == eng::kOk &&
          eng::AppendRecord(cur, record.data()) == eng::kOk) {
        // The new record lands where the header's count says the records end, which the
        // opening checked against the file: never past its end.
        const uint64_t after = snyltdyr::fuzz::FileSize(path);
        if (after > before + props.record_size + 1)
          FuzzFail("an append grew the table from " + std::to_string(before) + " to " +
                   std::to_string(after) + " bytes");
      }
    }
    eng::CloseCursor(cur);
  }
  return 0;
}
