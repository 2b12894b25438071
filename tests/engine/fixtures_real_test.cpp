// Every real-world table of the shared fixtures, read by this engine and by an
// independent reader (python3-dbfread), record by record and value by value; tables that
// cannot be read safely are refused with the code that names their problem.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "storage/engine/engine.h"
#include "storage/engine/datafile/field_codec.h"
#include "support/python_runner.h"
#include "support/hex.h"
#include "support/table_builder.h"
#include "support/temp_dir.h"

namespace snyltdyr::engine {
namespace {

namespace fs = std::filesystem;

fs::path FixturesDir() { return fs::path(SNYLTDYR_SHARED_DIR) / "fixtures" / "real"; }

// For each table: "FILE", then "H" with the names of the fields compared (types C, D, N,
// F, L, M), then one "L" line per live record, or "ERROR" when the reader gives up.
// Names and texts are hex of their stored bytes; values go by position, since some
// tables repeat a field name.
constexpr const char* kDumpScript = R"(
import sys, datetime
from dbfread import DBF
def show(v):
    if v is None: return '-'
    if isinstance(v, bool): return 'T' if v else 'F'
    if isinstance(v, (int, float)): return '%.12g' % v
    if isinstance(v, datetime.date): return v.isoformat()
    if isinstance(v, str): v = v.encode('latin-1')
    return v.hex()
for path in sys.argv[1:]:
    print('FILE\t' + path)
    try:
        t = DBF(path, encoding='latin-1', ignore_missing_memofile=True, load=True,
                recfactory=lambda items: [v for _, v in items])
        keep = [i for i, f in enumerate(t.fields) if f.type in 'CDNFLM']
        lines = ['H' + ''.join('\t' + t.fields[i].name.encode('latin-1').hex() for i in keep)]
        for r in t.records:
            lines.append('L' + ''.join('\t' + show(r[i]) for i in keep))
        print('\n'.join(lines))
    except Exception as e:
        print('ERROR\t' + type(e).__name__ + ': ' + str(e).replace('\n', ' '))
)";

using testsupport::Hex;

struct Dump {
  std::string header;
  std::vector<bool> memo_column;  // by column, the "H" or "L" first
  std::vector<std::string> rows;
  std::string error;
};

std::map<std::string, Dump> ReadWithDbfread(const std::vector<std::string>& paths,
                                            const std::string& script_path) {
  std::string args;
  for (const std::string& p : paths) args += " '" + p + "'";
  int status = 0;
  std::istringstream out(testsupport::RunPython(script_path, kDumpScript, args, status));
  std::map<std::string, Dump> dumps;
  Dump* current = nullptr;
  for (std::string line; std::getline(out, line);) {
    if (line.rfind("FILE\t", 0) == 0) current = &dumps[line.substr(5)];
    else if (current == nullptr) continue;
    else if (line.rfind("H\t", 0) == 0 || line == "H") current->header = line;
    else if (line.rfind("L\t", 0) == 0 || line == "L") current->rows.push_back(line);
    else if (line.rfind("ERROR\t", 0) == 0) current->error = line.substr(6);
  }
  return dumps;
}

// The same dump through the engine: raw field bytes, memos from the memo file.
Result ReadWithEngine(Handle db, const std::string& path, Dump& dump) {
  OpenTableArgs args;
  args.database = db;
  args.table_name = path;
  args.open_mode = OpenMode::kReadOnly;
  args.translate_fields = false;
  Handle cur = kNoHandle;
  if (Result r = OpenTable(args, cur)) return r;
  std::vector<FieldDescriptor> fields;
  GetFieldDescriptors(cur, fields);
  std::vector<const FieldDescriptor*> compared;
  dump.header = "H";
  dump.memo_column = {false};
  for (const FieldDescriptor& f : fields)
    if (std::string("CDNFLM").find(f.dbase_type) != std::string::npos) {
      compared.push_back(&f);
      dump.header += "\t" + Hex(f.name);
      dump.memo_column.push_back(f.dbase_type == 'M');
    }
  std::vector<uint8_t> buf = testsupport::NewBuffer(cur);
  Result r;
  while ((r = GetNextRecord(cur, LockMode::kNoLock, buf.data(), nullptr)) == kOk) {
    std::string row = "L";
    for (const FieldDescriptor* f : compared) {
      row += "\t";
      if (f->dbase_type == 'M') {
        FieldValue v;
        GetField(cur, f->number, buf.data(), v);
        if (v.blank) { row += "-"; continue; }
        if (Result br = OpenBlob(cur, buf.data(), f->number, BlobMode::kReadOnly)) {
          char code[8];
          std::snprintf(code, sizeof code, "?%04X", br);
          row += code;
          continue;
        }
        uint32_t size = 0, read = 0;
        GetBlobSize(cur, buf.data(), f->number, size);
        std::string memo(size, '\0');
        GetBlob(cur, buf.data(), f->number, 0, size, reinterpret_cast<uint8_t*>(memo.data()), read);
        FreeBlob(cur, buf.data(), f->number);
        row += Hex(memo);
        continue;
      }
      FieldValue v;
      if (Result fr = GetField(cur, f->number, buf.data(), v)) return fr;
      char text[64];
      if (f->type == kTypeText) row += Hex(v.text);  // no text reads as empty text
      else if (v.blank) row += "-";
      else if (f->type == kTypeBoolean) row += v.boolean ? "T" : "F";
      else if (f->type == kTypeFloat) { std::snprintf(text, sizeof text, "%.12g", v.number); row += text; }
      else if (f->type == kTypeDate) {
        int y, m, d;
        CivilFromDayNumber(v.date, y, m, d);
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", y, m, d);
        row += text;
      }
    }
    dump.rows.push_back(row);
  }
  CloseCursor(cur);
  return r == kErrEndOfTable ? kOk : r;
}

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
    parts.push_back(line.substr(start, tab - start));
  parts.push_back(line.substr(start));
  return parts;
}

// Memos: the reader takes the length of a dBASE IV memo for its data alone, so it may
// show up to 8 bytes more than the memo holds, and it stops at a 0x1F byte.
bool SameMemo(const std::string& ours, const std::string& theirs) {
  if (ours == theirs) return true;
  if (theirs.size() > ours.size() && theirs.compare(0, ours.size(), ours) == 0)
    return theirs.size() - ours.size() <= 16;  // hex digits of 8 bytes
  return ours.size() > theirs.size() && ours.compare(0, theirs.size(), theirs) == 0 &&
         ours.compare(theirs.size(), 2, "1f") == 0;
}

TEST(FixturesReal, EveryTableReadsAsTheIndependentReaderReadsItOrIsRefusedCleanly) {
  if (!fs::exists(FixturesDir())) GTEST_SKIP() << "real-world fixtures not found at " << FixturesDir();
  if (!testsupport::PythonAvailable()) GTEST_SKIP() << "no " << SNYLTDYR_PYTHON;
  // Memo files that are missing or damaged: the reader shows nothing, we report why.
  const std::map<std::string, std::string> unavailable_memos = {
      {"dans-dbf-lib/dbase3plus/fileExceptions/MEMEMPTY.DBF", "?220A"},
      {"dans-dbf-lib/dbase3plus/tableExceptions/MEMEMPTY.DBF", "?220A"},
      {"dans-dbf-lib/dbase3plus/fileExceptions/MISSMEMO.DBF", "?220A"},
      {"dans-dbf-lib/dbase3plus/tableExceptions/MISSMEMO.DBF", "?220A"},
      {"dans-dbf-lib/dbase3plus/fileExceptions/PNTRERR.DBF", "?2404"},
      {"dans-dbf-lib/dbase3plus/tableExceptions/PNTRERR.DBF", "?2404"},
      {"dbffile-js/dbase_8b_missing_memo.dbf", "?220A"},
      {"infused-dbf/dbase_83_missing_memo.dbf", "?220A"},
      {"javadbf/bug-49/student.dbf", "?220A"},
  };
  // Memo files whose block size is not 512: the reader assumes 512 and reads elsewhere.
  const std::set<std::string> reader_misreads_memos = {"ndbfreaderex/ext_test_4_64.dbf"};
  const std::set<std::string> reader_reads_past_count = {"xbasej/b_daten.DBF",
                                                         "xbasej/testdbtxmled.dbf"};
  // Tables that must be refused, and why.
  const std::map<std::string, Result> refused = {
      {"dans-dbf-lib/dbase3plus/fileExceptions/EMPTY.DBF", kErrDamagedHeader},
      {"dans-dbf-lib/dbase3plus/tableExceptions/EMPTY.DBF", kErrDamagedHeader},
      {"infused-dbf/dbase_02.dbf", kErrUnsupportedFormat},        // dBASE II
      {"infused-dbf/dbase_8c.dbf", kErrUnsupportedFormat},        // level 7
      {"infused-dbf/polygon.dbf", kErrDamagedHeader},             // no fields
      {"javadbf/bug-102/bug102.dbf", kErrUnsupportedFormat},
      {"javadbf/inventory.dbf", kErrUnsupportedFormat},
      {"ndbfreaderex/Seged7.dbf", kErrUnsupportedFormat},
      {"ndbfreaderex/ext_test_7_1024.dbf", kErrUnsupportedFormat},
      {"ndbfreaderex/ext_test_7_2048.dbf", kErrUnsupportedFormat},
      {"ndbfreaderex/ext_test_7_64.dbf", kErrUnsupportedFormat},
      {"php-xbase/dBaseVII.dbf", kErrUnsupportedFormat},
      {"dbase-rs/stations_with_deleted.dbf", kErrRecordLengthMismatch},
      {"xbasej/BALSET.DBF", kErrUnsupportedFormat},  // character fields over 255 bytes
  };
  std::vector<std::string> tables;
  for (const auto& e : fs::recursive_directory_iterator(FixturesDir())) {
    std::string ext = e.path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
    if (e.is_regular_file() && ext == ".dbf") tables.push_back(e.path().string());
  }
  std::sort(tables.begin(), tables.end());
  ASSERT_GT(tables.size(), 100u);

  testsupport::EngineSession engine;
  testsupport::TempDir dir;
  Handle db = engine.Database("");
  std::map<std::string, Dump> theirs = ReadWithDbfread(tables, dir.File("dump.py"));
  ASSERT_EQ(theirs.size(), tables.size()) << "the reader did not run";
  int compared = 0;
  for (const std::string& path : tables) {
    const std::string rel = fs::relative(path, FixturesDir()).string();
    SCOPED_TRACE(rel);
    Dump ours;
    Result r = ReadWithEngine(db, path, ours);
    auto refusal = refused.find(rel);
    if (refusal != refused.end()) {
      EXPECT_EQ(r, refusal->second);
      ErrorEntry e;
      EXPECT_EQ(GetErrorEntry(1, e), kOk);
      EXPECT_NE(e.text.find(path), std::string::npos) << e.text;  // names the file
      continue;
    }
    ASSERT_EQ(r, kOk) << testsupport::EngineErrorText(r);
    const Dump& t = theirs[path];
    if (!t.error.empty()) continue;  // the reader gave up (garbled values); we read it all
    EXPECT_EQ(ours.header, t.header);
    // Some files hold bytes after the last record the header counts; the reader takes
    // them for records, we go by the header.
    if (reader_reads_past_count.count(rel)) EXPECT_GT(t.rows.size(), ours.rows.size());
    else EXPECT_EQ(ours.rows.size(), t.rows.size());
    for (size_t i = 0; i < std::min(ours.rows.size(), t.rows.size()); ++i) {
      std::vector<std::string> a = Split(ours.rows[i]), b = Split(t.rows[i]);
      ASSERT_EQ(a.size(), b.size()) << "record " << i + 1;
      std::vector<std::string> names = Split(ours.header);
      for (size_t k = 1; k < a.size(); ++k) {
        if (a[k] == b[k] || (ours.memo_column[k] && reader_misreads_memos.count(rel))) continue;
        auto memo = unavailable_memos.find(rel);
        if (memo != unavailable_memos.end() && a[k] == memo->second && (b[k].empty() || b[k] == "-"))
          continue;
        EXPECT_TRUE(SameMemo(a[k], b[k]))
            << "record " << i + 1 << " field " << names[k] << ": ours " << a[k].substr(0, 80)
            << " theirs " << b[k].substr(0, 80);
      }
    }
    ++compared;
  }
  EXPECT_GT(compared, 90);
}

TEST(FixturesReal, NorwegianLettersReadThroughTheDriverByteOrTheSidecarFile) {
  if (!fs::exists(FixturesDir())) GTEST_SKIP() << "real-world fixtures not found at " << FixturesDir();
  testsupport::EngineSession engine;
  Handle db = engine.Database((FixturesDir() / "ts-shapefile-codepage").string());
  // Driver byte 0x17 (865); no driver byte with a "1252" sidecar; with an "ISO 88591" one.
  for (const char* name : {"cp865.dbf", "cp1252.dbf", "cp88591.dbf"}) {
    SCOPED_TRACE(name);
    Handle cur = testsupport::OpenCursor(db, name, OpenMode::kReadOnly);
    std::vector<uint8_t> buf = testsupport::NewBuffer(cur);
    std::string all;
    while (GetNextRecord(cur, LockMode::kNoLock, buf.data(), nullptr) == kOk) {
      FieldValue v;
      ASSERT_EQ(GetField(cur, 2, buf.data(), v), kOk);
      all += v.text + "|";
    }
    EXPECT_NE(all.find("\xC6\xD8\xC5"), std::string::npos) << all;
    EXPECT_NE(all.find("\xE6\xF8\xE5"), std::string::npos) << all;
    CloseCursor(cur);
  }
}

}  // namespace
}  // namespace snyltdyr::engine
