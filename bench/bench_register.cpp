// The count and grade, "Fiks formatering" and the companion's export over one million
// observations, each against its physical floor: a plain loop that reads the same .DBF
// file and does the same work on its bytes. The export has a second reference: the
// independent reader (python3-dbfread) reading the whole table in its own process.
//
// The table is generated once into scratch/bench_register (or the folder given as the
// first argument) and kept between runs; "Fiks formatering" runs on a fresh copy of it.
// The count, "Fiks formatering" (each run on a copy of its own) and the export are the
// best of three runs, against the best of three of their floors. Each measured row gives
// the peak memory the work took beside its time (bench::PeakMemory). Prints the figures;
// asserts nothing.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "bench/large_table.h"
#include "bench/timing.h"
#include "register/normaliser.h"
#include "register/sample_observations.h"
#include "register/severity.h"
#include "register/snyltdyr_register.h"
#include "runtime/cp1252.h"
#include "runtime/regional_settings.h"
#include "storage/engine/engine.h"
#include "app/cli.h"
#include "storage/session.h"

namespace fs = std::filesystem;
using namespace snyltdyr;

namespace {

const int64_t kRecords = bench::LargeTableRecords();

using bench::Best;
using bench::Seconds;

// ---- The physical floor: the .DBF read directly ---------------------------------------
std::string_view Trimmed(const char* bytes, size_t length) {
  while (length > 0 && bytes[length - 1] == ' ') --length;
  return {bytes, length};
}

struct FloorResult { int64_t count = 0; int64_t sum = 0; };

// Hands every live record of the file to `use`, reading the file in large blocks.
template <typename Use>
void ForEachLiveRecord(const fs::path& dbf, const bench::DbfLayout& layout, const Use& use) {
  std::ifstream in(dbf, std::ios::binary);
  in.seekg(layout.header);
  const size_t per_block = 4096;
  std::vector<char> block(per_block * layout.record_size);
  for (uint32_t done = 0; done < layout.records;) {
    const uint32_t n = std::min<uint32_t>(per_block, layout.records - done);
    in.read(block.data(), static_cast<std::streamsize>(n) * layout.record_size);
    for (uint32_t i = 0; i < n; ++i) {
      const char* rec = block.data() + static_cast<size_t>(i) * layout.record_size;
      if (rec[0] != '*') use(rec);
    }
    done += n;
  }
}

// Reads the file in large blocks and scores every live record that `keep` accepts.
FloorResult FloorCount(const fs::path& dbf, bool haptor_found_only) {
  const bench::DbfLayout layout = bench::ReadLayout(dbf);
  const auto& mengde = layout.Find("MENGDE");
  const auto& snyltdyr = layout.Find("SNYLTDYR");
  FloorResult result;
  ForEachLiveRecord(dbf, layout, [&](const char* rec) {
    const std::string_view amount = Trimmed(rec + mengde.offset, mengde.length);
    if (haptor_found_only &&
        (Trimmed(rec + snyltdyr.offset, snyltdyr.length) != "Haptor Mark" || amount == "-")) {
      return;
    }
    ++result.count;
    result.sum += AmountScore(amount);
  });
  return result;
}

// Reads every record, applies the text rules to its bytes and writes it back.
int64_t FloorFix(const fs::path& dbf) {
  const bench::DbfLayout layout = bench::ReadLayout(dbf);
  const auto& behandl = layout.Find("BEHANDL");
  const auto& snyltdyr = layout.Find("SNYLTDYR");
  const auto& organ = layout.Find("ORGAN");
  const auto& mengde = layout.Find("MENGDE");
  const auto& gener = layout.Find("GENER");
  const auto& dato = layout.Find("DATO");
  const auto& arsklas = layout.Find("\x8FRSKLAS");  // the name in code page 865
  std::fstream io(dbf, std::ios::binary | std::ios::in | std::ios::out);
  const size_t per_block = 4096;
  std::vector<char> block(per_block * layout.record_size);
  auto put = [](char* at, uint8_t length, const std::string& text) {
    std::memset(at, ' ', length);
    std::memcpy(at, text.data(), std::min<size_t>(length, text.size()));
  };
  int64_t written = 0;
  for (uint32_t done = 0; done < layout.records;) {
    const uint32_t n = std::min<uint32_t>(per_block, layout.records - done);
    const std::streamoff at = layout.header + static_cast<std::streamoff>(done) * layout.record_size;
    io.seekg(at);
    io.read(block.data(), static_cast<std::streamsize>(n) * layout.record_size);
    for (uint32_t i = 0; i < n; ++i) {
      char* rec = block.data() + static_cast<size_t>(i) * layout.record_size;
      if (rec[0] == '*') continue;
      auto text = [&](const bench::DbfLayout::Column& c) {
        return std::string(Trimmed(rec + c.offset, c.length));
      };
      if (auto t = TreatmentRule(text(behandl))) put(rec + behandl.offset, behandl.length, *t);
      if (auto t = ParasiteRule(text(snyltdyr))) put(rec + snyltdyr.offset, snyltdyr.length, *t);
      if (auto t = OrganRule(text(organ))) put(rec + organ.offset, organ.length, *t);
      put(rec + mengde.offset, mengde.length, AmountRule(text(mengde)));
      const int32_t generation = GenerationRule(text(gener));
      put(rec + gener.offset, gener.length, std::to_string(generation));
      const int32_t year = std::atoi(std::string(rec + dato.offset, 4).c_str());
      put(rec + arsklas.offset, arsklas.length, std::to_string(YearClassOf(year, generation)));
      ++written;
    }
    io.seekp(at);
    io.write(block.data(), static_cast<std::streamsize>(n) * layout.record_size);
    done += n;
  }
  return written;
}

// The memo text that a memo field's block number points to, read with the plain calls a
// simple program would make: the first block, then the rest when the memo is longer.
std::string ReadMemo(int fd, uint32_t block_size, uint32_t block) {
  std::string bytes(block_size, '\0');
  const off_t at = static_cast<off_t>(block) * block_size;
  const ssize_t got = ::pread(fd, bytes.data(), block_size, at);
  if (got < 8) return {};
  bytes.resize(static_cast<size_t>(got));
  if (static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xFF) {
    uint32_t length = 0;  // the text and the 8 bytes before it
    std::memcpy(&length, bytes.data() + 4, 4);
    if (length < 8) return {};
    if (length > bytes.size()) {
      bytes.resize(length);
      const ssize_t more = ::pread(fd, bytes.data() + got, length - got, at + got);
      bytes.resize(static_cast<size_t>(got + std::max<ssize_t>(more, 0)));
    }
    return bytes.substr(8, length - 8);
  }
  return bytes.substr(0, bytes.find('\x1A'));
}

// The export's floor: every live record read in large blocks, each field trimmed (a date
// as DD.MM.YYYY, a memo read from the memo file), the high characters turned into two
// UTF-8 bytes, and a CSV line appended. Returns the rows written.
int64_t FloorExport(const fs::path& dbf, std::string& csv) {
  const bench::DbfLayout layout = bench::ReadLayout(dbf);
  fs::path dbt = dbf;
  dbt.replace_extension(".DBT");
  const int memo_fd = ::open(dbt.c_str(), O_RDONLY);
  uint32_t block_size = 512;
  if (memo_fd >= 0) {
    uint8_t head[22] = {};
    if (::pread(memo_fd, head, sizeof head, 0) == static_cast<ssize_t>(sizeof head) &&
        (head[20] | head[21] << 8) != 0) {
      block_size = head[20] | head[21] << 8;
    }
  }
  auto put = [&csv](std::string_view text) {
    const bool quote = text.find_first_of(",\"\r\n") != std::string_view::npos;
    if (quote) csv += '"';
    for (char c : text) {
      const auto b = static_cast<uint8_t>(c);
      if (b < 0x80) {
        if (quote && c == '"') csv += '"';
        csv += c;
      } else {
        csv += static_cast<char>(0xC0 | b >> 6);
        csv += static_cast<char>(0x80 | (b & 0x3F));
      }
    }
    if (quote) csv += '"';
  };
  int64_t rows = 0;
  ForEachLiveRecord(dbf, layout, [&](const char* rec) {
    for (size_t c = 0; c < layout.columns.size(); ++c) {
      const bench::DbfLayout::Column& col = layout.columns[c];
      if (c > 0) csv += ',';
      std::string_view text = Trimmed(rec + col.offset, col.length);
      while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
      if (col.type == 'D' && text.size() == 8) {
        const std::string date = std::string(text.substr(6, 2)) + "." +
                                 std::string(text.substr(4, 2)) + "." + std::string(text.substr(0, 4));
        put(date);
      } else if (col.type == 'M') {
        const uint32_t memo_block = static_cast<uint32_t>(std::atol(std::string(text).c_str()));
        if (memo_block != 0 && memo_fd >= 0) put(ReadMemo(memo_fd, block_size, memo_block));
      } else {
        put(text);
      }
    }
    csv += "\r\n";
    ++rows;
  });
  if (memo_fd >= 0) ::close(memo_fd);
  return rows;
}

// The independent reader's full read of the table, every record and memo, in its own
// process; a negative time when it is not installed.
double PythonReaderSeconds(const fs::path& dbf, int64_t& rows) {
  const fs::path script = fs::temp_directory_path() / "bench_register_dbfread.py";
  {
    std::ofstream out(script);
    out << "import sys, time\n"
           "try:\n"
           "    import dbfread\n"
           "except ImportError:\n"
           "    print(-1, 0); sys.exit(0)\n"
           "start = time.monotonic()\n"
           "n = sum(1 for r in dbfread.DBF(sys.argv[1], encoding='cp865'))\n"
           "print(time.monotonic() - start, n)\n";
  }
  const std::string python = fs::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
  const std::string command = python + " '" + script.string() + "' '" + dbf.string() + "'";
  FILE* pipe = ::popen(command.c_str(), "r");
  double seconds = -1;
  long long n = 0;
  if (pipe != nullptr) {
    if (std::fscanf(pipe, "%lf %lld", &seconds, &n) != 2) seconds = -1;
    ::pclose(pipe);
  }
  fs::remove(script);
  rows = n;
  return seconds;
}

// Where the export's text goes: counted and dropped, as the floor's text stays where it
// was made. A stream that kept it would add its own copying to the export's time.
class CountingSink : public std::streambuf {
 public:
  size_t bytes() const { return bytes_; }
  void Reset() { bytes_ = 0; }

 protected:
  std::streamsize xsputn(const char*, std::streamsize n) override {
    bytes_ += static_cast<size_t>(n);
    return n;
  }
  int_type overflow(int_type c) override {
    if (c != traits_type::eof()) ++bytes_;
    return traits_type::not_eof(c);
  }

 private:
  size_t bytes_ = 0;
};

// A measured row: its time against the floor's, and the peak memory the work took
// (bench::PeakMemory; negative when not measured).
void Row(const char* what, double seconds, double floor_seconds, double peak_mb = -1) {
  std::printf("%-48s %9.3f s   floor %8.3f s   ratio %6.2f", what, seconds, floor_seconds,
              floor_seconds > 0 ? seconds / floor_seconds : 0.0);
  if (peak_mb >= 0) std::printf("   peak memory %7.1f MB", peak_mb);
  std::printf("\n");
}

// ---- Import of a spreadsheet's rows ------------------------------------------------------
// Rows to import: SNYLTDYR_BENCH_IMPORT_ROWS, else 100,000.
int64_t ImportRows() {
  const char* text = std::getenv("SNYLTDYR_BENCH_IMPORT_ROWS");
  const long long n = text ? std::atoll(text) : 0;
  return n > 0 ? static_cast<int64_t>(n) : int64_t{100000};
}

void FreshCopy(const fs::path& from, const fs::path& to) {
  fs::remove_all(to);
  fs::create_directories(to);
  for (const auto& entry : fs::directory_iterator(from)) fs::copy_file(entry.path(), to / entry.path().filename());
}

// Observations as a technician types them into a sheet (UTF-8, semicolons).
std::string SpreadsheetRows(int64_t rows) {
  std::string csv =
      "dato;kar;generasjon;\xC3\xA5rsklasse;gruppe;snyltdyr;mengde;organ;behandling;tid;konsentrasjon;"
      "KOMENT;pr\xC3\xB8vemetode;tall\r\n";
  auto cell = [&](const std::string& text, char end = ';') {
    const std::string utf8 = Cp1252ToUtf8(text);
    csv += utf8.find_first_of(";\"\r\n") == std::string::npos ? utf8 : "\"" + utf8 + "\"";
    csv += end;
  };
  char number[32];
  for (int64_t i = 0; i < rows; ++i) {
    const SampleObservation o = MakeSampleObservation(99, i);
    if (o.year != 0) std::snprintf(number, sizeof number, "%02d.%02d.%04d", o.day, o.month, o.year);
    cell(o.year != 0 ? number : "");
    cell(o.bygg);
    cell(o.gener);
    cell(o.arsklas);
    cell(o.has_gruppe ? std::to_string(static_cast<int>(o.gruppe)) : "");
    for (const std::string* text : {&o.snyltdyr, &o.mengde, &o.organ, &o.behandl, &o.tid, &o.kons,
                                    &o.koment, &o.metode})
      cell(*text);
    std::snprintf(number, sizeof number, "%.2f", o.tall);
    if (number[std::strlen(number) - 3] == '.') number[std::strlen(number) - 3] = ',';
    cell(o.has_tall ? number : "", '\r');
    csv += '\n';
  }
  return csv;
}

struct NewRecord {
  std::vector<uint8_t> bytes;
  std::string memo;  // native text
};

// Records `first` on of the table in `dir`, with their memos, read through the engine.
std::vector<NewRecord> RecordsFrom(const fs::path& dir, uint32_t first) {
  engine::Handle db = engine::kNoHandle, cursor = engine::kNoHandle;
  engine::OpenDatabase("", engine::OpenMode::kReadOnly, engine::ShareMode::kShared, db);
  engine::SetDirectory(db, dir.string());
  engine::OpenTableArgs args;
  args.database = db;
  args.table_name = "SNYLTDYR.DBF";
  args.open_mode = engine::OpenMode::kReadOnly;
  if (engine::OpenTable(args, cursor) != engine::kOk) throw std::runtime_error("the imported table did not open");
  engine::CursorProperties props;
  engine::GetCursorProperties(cursor, props);
  std::vector<NewRecord> records;
  std::vector<uint8_t> buffer(props.record_size);
  uint32_t bookmark = first;
  engine::SetToBookmark(cursor, reinterpret_cast<const uint8_t*>(&bookmark));
  for (engine::Result r = engine::GetRecord(cursor, engine::LockMode::kNoLock, buffer.data(), nullptr);
       r == engine::kOk;
       r = engine::GetNextRecord(cursor, engine::LockMode::kNoLock, buffer.data(), nullptr)) {
    NewRecord rec{buffer, {}};
    uint32_t size = 0, read = 0;
    engine::OpenBlob(cursor, buffer.data(), 12, engine::BlobMode::kReadOnly);
    engine::GetBlobSize(cursor, buffer.data(), 12, size);
    rec.memo.resize(size);
    if (size > 0) engine::GetBlob(cursor, buffer.data(), 12, 0, size, reinterpret_cast<uint8_t*>(rec.memo.data()), read);
    engine::FreeBlob(cursor, buffer.data(), 12);
    records.push_back(std::move(rec));
  }
  engine::CloseCursor(cursor);
  engine::CloseDatabase(db);
  return records;
}

// The floor of an import: the same records appended to a copy of the table by a plain
// loop of single appends (memos and index kept, as every append keeps them).
double AppendLoopSeconds(const fs::path& dir, const std::vector<NewRecord>& records) {
  engine::Handle db = engine::kNoHandle, cursor = engine::kNoHandle;
  engine::OpenDatabase("", engine::OpenMode::kReadWrite, engine::ShareMode::kShared, db);
  engine::SetDirectory(db, dir.string());
  engine::OpenTableArgs args;
  args.database = db;
  args.table_name = "SNYLTDYR.DBF";
  if (engine::OpenTable(args, cursor) != engine::kOk) throw std::runtime_error("the copy did not open");
  engine::CursorProperties props;
  engine::GetCursorProperties(cursor, props);
  std::vector<uint8_t> buffer(props.record_size);
  const double seconds = Seconds([&] {
    for (const NewRecord& rec : records) {
      std::memcpy(buffer.data(), rec.bytes.data(), buffer.size());
      engine::PutField(cursor, 12, buffer.data(), engine::FieldValue{});
      if (!rec.memo.empty()) {
        engine::OpenBlob(cursor, buffer.data(), 12, engine::BlobMode::kReadWrite);
        engine::PutBlob(cursor, buffer.data(), 12, 0, static_cast<uint32_t>(rec.memo.size()),
                        reinterpret_cast<const uint8_t*>(rec.memo.data()));
      }
      if (engine::AppendRecord(cursor, buffer.data()) != engine::kOk) throw std::runtime_error("an append failed");
      if (!rec.memo.empty()) engine::FreeBlob(cursor, buffer.data(), 12);
    }
  });
  engine::CloseCursor(cursor);
  engine::CloseDatabase(db);
  return seconds;
}

// The bare file floor: the same record bytes written after the last record of a copy of
// the .DBF, in one loop of writes, and the count after them (no memos, no index).
double RawAppendSeconds(const fs::path& dir, const std::vector<NewRecord>& records) {
  const fs::path dbf = bench::FindTable(dir);
  const bench::DbfLayout layout = bench::ReadLayout(dbf);
  return Seconds([&] {
    std::fstream file(dbf, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(static_cast<std::streamoff>(layout.header) +
               static_cast<std::streamoff>(layout.records) * layout.record_size);
    for (const NewRecord& rec : records)
      file.write(reinterpret_cast<const char*>(rec.bytes.data()), layout.record_size);
    file.put('\x1A');
    const uint32_t count = layout.records + static_cast<uint32_t>(records.size());
    file.seekp(4);
    file.write(reinterpret_cast<const char*>(&count), 4);
  });
}

// The companion's import of a sheet into a copy of the large table, against the floor.
void ImportBench(const fs::path& dir) {
  const int64_t rows = ImportRows();
  const fs::path copy = dir.parent_path() / (dir.filename().string() + "_import");
  const fs::path csv = dir.parent_path() / (dir.filename().string() + "_import.csv");
  std::ofstream(csv, std::ios::binary) << SpreadsheetRows(rows);
  FreshCopy(dir, copy);
  std::ostringstream out, err;
  int status = 0;
  const bench::PeakMemory import_memory;
  const double import_s = Seconds([&] { status = RunCli({"import", copy.string(), csv.string()}, out, err); });
  const double import_mb = import_memory.Megabytes();
  if (status != 0) throw std::runtime_error("import failed: " + err.str());
  StopDefaultSession();
  engine::StartEngine(engine::kInterfaceVersion, {"0009"});
  const std::vector<NewRecord> records = RecordsFrom(copy, static_cast<uint32_t>(kRecords) + 1);
  FreshCopy(dir, copy);
  const double floor_s = AppendLoopSeconds(copy, records);
  FreshCopy(dir, copy);
  const double raw_s = RawAppendSeconds(copy, records);
  std::printf("\n  import: %s  (%lld rows; the loop appended %zu records)\n", out.str().substr(0, out.str().size() - 1).c_str(),
              static_cast<long long>(rows), records.size());
  Row("import of a sheet, checked, normalised, indexed", import_s, floor_s, import_mb);
  std::printf("  import: %.0f rows/s; the loop of single appends: %.0f rows/s\n", rows / import_s,
              static_cast<double>(records.size()) / floor_s);
  Row("import, against the bare bytes written to the file", import_s, raw_s);
  fs::remove_all(copy);
  fs::remove(csv);
}

// The table's count and grade in the window's order (the index DATO), then in the
// table's record order, each against the floor; and the time to open it for writing.
void CountBench(const fs::path& dir, const fs::path& dbf) {
  FloorResult floor_all, floor_haptor;
  const double floor_all_s = Best([&] { floor_all = FloorCount(dbf, false); });
  const double floor_haptor_s = Best([&] { floor_haptor = FloorCount(dbf, true); });
  std::printf("\nFloor over %lld records: all %lld, average %lld; Haptor Mark found %lld, "
              "average %lld\n",
              static_cast<long long>(kRecords), static_cast<long long>(floor_all.count),
              static_cast<long long>(floor_all.count ? floor_all.sum / floor_all.count : 0),
              static_cast<long long>(floor_haptor.count),
              static_cast<long long>(floor_haptor.count ? floor_haptor.sum / floor_haptor.count
                                                        : 0));

  // Opening the table for writing with its index DATO: the header, the memo file, and
  // the check of the production index under its lock. Warm file; the median of 21.
  {
    engine::Handle db = engine::kNoHandle;
    engine::StartEngine(engine::kInterfaceVersion, {"0009"});
    engine::OpenDatabase("", engine::OpenMode::kReadWrite, engine::ShareMode::kShared, db);
    engine::SetDirectory(db, dir.string());
    std::vector<double> times;
    for (int i = 0; i < 22; ++i) {
      const double s = bench::OpenForWritingSeconds(db);
      if (i > 0) times.push_back(s);  // the first warms the file
    }
    std::sort(times.begin(), times.end());
    std::printf("\nOpening for writing, index check included: median %.1f ms (%.1f to %.1f)\n",
                times[times.size() / 2] * 1000, times.front() * 1000, times.back() * 1000);
    engine::CloseDatabase(db);  // the engine keeps running for the session below
  }

  for (const char* index : {"DATO", ""}) {
    SnyltdyrRegister r;
    r.SnyltdyrTable.SetDatabaseName(dir.string());
    r.SnyltdyrTable.SetIndexName(index);
    const double open_s = Seconds([&] { r.SnyltdyrTable.Open(); });
    r.YearClass = -1;  // every year class, as after the window is shown
    const bench::PeakMemory count_memory;
    const double count_all = Best([&] { r.summer(); });
    const double count_mb = count_memory.Megabytes();
    const std::string all = r.AntallText() + " / " + r.GradText();
    r.Funn = true;
    const bench::PeakMemory click_memory;
    const double click_haptor = Seconds([&] { r.SpeedButton4Click(); });
    const double click_mb = click_memory.Megabytes();
    const bench::PeakMemory haptor_memory;
    const double count_haptor = Best([&] { r.summer(); });
    const double haptor_mb = haptor_memory.Megabytes();
    const std::string haptor = r.AntallText() + " / " + r.GradText();
    std::printf("\nOrder %s (opening %.2f s); Antall / Snitt: all %s, Haptor Mark found %s\n",
                *index ? index : "of the records", open_s, all.c_str(), haptor.c_str());
    Row("summer, all records", count_all, floor_all_s, count_mb);
    Row("summer, SNYLTDYR='Haptor Mark' AND MENGDE<>'-'", count_haptor, floor_haptor_s, haptor_mb);
    Row("click on Haptor with Funn (filter + summer)", click_haptor, floor_haptor_s, click_mb);
  }
  std::printf("\n");
}

// "Fiks formatering" on a fresh copy, against the floor on another copy: the best of
// three runs each, every run on a copy of its own (the peak memory is the first run's).
void FixBench(const fs::path& dir) {
  const fs::path fix_dir = dir.parent_path() / (dir.filename().string() + "_fix");
  int64_t written = 0, floor_written = 0;
  double fix_s = 0, fix_mb = -1, floor_fix_s = 0;
  for (int run = 0; run < 3; ++run) {
    FreshCopy(dir, fix_dir);
    {
      SnyltdyrRegister r;
      r.SnyltdyrTable.SetDatabaseName(fix_dir.string());
      r.SnyltdyrTable.Open();
      TRewriteCount count;
      const bench::PeakMemory fix_memory;
      const double s = Seconds([&] { count = r.BitBtn1Click(); });
      if (fix_mb < 0) fix_mb = fix_memory.Megabytes();
      fix_s = run == 0 ? s : std::min(fix_s, s);
      written = count.written;
      if (run == 0) std::printf("  Fiks formatering went through %d records\n", count.records);
    }
    StopDefaultSession();
    FreshCopy(dir, fix_dir);
    const double s = Seconds([&] { floor_written = FloorFix(bench::FindTable(fix_dir)); });
    floor_fix_s = run == 0 ? s : std::min(floor_fix_s, s);
  }
  std::printf("  Fiks formatering wrote %lld records; the floor rewrote %lld\n",
              static_cast<long long>(written), static_cast<long long>(floor_written));
  Row("Fiks formatering, all records", fix_s, floor_fix_s, fix_mb);
  fs::remove_all(fix_dir);
}

// The companion's export of every record in date order, memos included, against a plain
// loop that reads the file in record order and writes the same kind of text, and against
// the independent reader's full read of the table. Both are the best of three runs, each
// making its text afresh.
void ExportBench(const fs::path& dbf) {
  const fs::path dir = dbf.parent_path();
  const bench::DbfLayout layout = bench::ReadLayout(dbf);
  const size_t file_bytes = size_t{layout.records} * layout.record_size;
  std::string floor_csv;
  int64_t floor_rows = 0;
  size_t floor_bytes = 0;
  const double floor_export_s = Best([&] {
    std::string().swap(floor_csv);
    floor_csv.reserve(file_bytes);  // as the export makes room for its text
    floor_rows = FloorExport(dbf, floor_csv);
    floor_bytes = floor_csv.size();
  });
  std::string().swap(floor_csv);
  // The export keeps its whole text until every row is read (so that a failure leaves
  // no partial file): that is in the figures. The peak memory is the first run's.
  CountingSink sink;
  std::ostream csv(&sink);
  std::ostringstream err;
  int status = 0;
  double export_mb = -1;
  const double export_s = Best([&] {
    sink.Reset();
    const bench::PeakMemory export_memory;
    status = RunCli({"export", dir.string()}, csv, err);
    if (export_mb < 0) export_mb = export_memory.Megabytes();
    if (status != 0) throw std::runtime_error("export failed: " + err.str());
  });
  std::printf("\n  export wrote %zu bytes; the floor wrote %zu bytes in %lld rows\n",
              sink.bytes(), floor_bytes, static_cast<long long>(floor_rows));
  Row("export, all records, DATO order", export_s, floor_export_s, export_mb);
  std::printf("  of that, the CSV text: %.1f MB\n", static_cast<double>(sink.bytes()) / (1 << 20));
  int64_t python_rows = 0;
  const double python_s = PythonReaderSeconds(dbf, python_rows);
  if (python_s < 0) {
    std::printf("python3-dbfread is not installed: no second reference\n");
  } else {
    std::printf("python3-dbfread, full read (%lld records)       %9.3f s   export is %.1f times "
                "faster\n",
                static_cast<long long>(python_rows), python_s, python_s / export_s);
  }
}

// Whether `part` is among the parts to run: a list like "count,export", or all of them.
bool Runs(const std::string& parts, const char* part) {
  return parts.empty() || ("," + parts + ",").find("," + std::string(part) + ",") != std::string::npos;
}

}  // namespace

// bench_register [FOLDER [PARTS]]: PARTS names the parts to run, of count, fix, export and
// import, joined by commas (all of them when left out).
int main(int argc, char** argv) {
  SetRegional(NorwegianSettings());
  const fs::path dir = fs::absolute(argc > 1 ? argv[1] : "scratch/bench_register");
  const std::string parts = argc > 2 ? argv[2] : "";
  try {
    const fs::path dbf = bench::EnsureLargeTable(dir, kRecords);
    if (Runs(parts, "count")) CountBench(dir, dbf);
    if (Runs(parts, "fix")) FixBench(dir);
    if (Runs(parts, "export")) ExportBench(dbf);
    if (Runs(parts, "import")) ImportBench(dir);
  } catch (const snyltdyr::Exception& e) {
    std::fprintf(stderr, "bench_register: %s\n", e.Message().c_str());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_register: %s\n", e.what());
    return 1;
  }
  return 0;
}
