#include "storage/engine/repair/table_diagnosis.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <memory>

#include "storage/engine/datafile/code_page.h"
#include "storage/engine/datafile/code_page_guess.h"
#include "storage/engine/datafile/dbf_file.h"
#include "storage/engine/datafile/record_cache.h"
#include "storage/engine/files/case_insensitive_path.h"
#include "storage/engine/index/index_checker.h"
#include "storage/engine/index/mdx_file.h"
#include "storage/engine/memo/dbt_memo.h"

namespace snyltdyr::engine {
namespace {

namespace fs = std::filesystem;

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string FileName(const std::string& path) { return fs::path(path).filename().string(); }

// The files beside the table named like it with extension `ext`, in any case.
std::vector<std::string> Companions(const std::string& dbf_path, const std::string& ext) {
  const fs::path dbf(dbf_path);
  const std::string want = Upper(dbf.stem().string() + ext);
  std::vector<std::string> found;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dbf.parent_path(), ec))
    if (entry.is_regular_file(ec) && Upper(entry.path().filename().string()) == want)
      found.push_back(entry.path().string());
  std::sort(found.begin(), found.end());
  return found;
}

// The table's name with extension `ext` (upper case, or lower when the table's is).
std::string TableNamed(const std::string& dbf_path, const std::string& ext) {
  const fs::path dbf(dbf_path);
  const std::string own = dbf.extension().string();
  const bool lower = !own.empty() && std::islower(static_cast<unsigned char>(own.back()));
  std::string e = ext;
  if (lower)
    for (char& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return (dbf.parent_path() / (dbf.stem().string() + e)).string();
}

// Calls `visit` with the bytes of every record of the table, in runs.
template <typename Visit>
Result EachRecord(DbfFile& dbf, Visit visit) {
  const DbfHeader& h = dbf.header();
  const uint32_t run = std::max<uint32_t>(1, static_cast<uint32_t>(RecordCache::kMaxRunBytes / h.record_length));
  std::vector<uint8_t> bytes;
  for (uint32_t first = 1; first <= h.record_count; first += run) {
    const uint32_t count = std::min(run, h.record_count - first + 1);
    bytes.resize(static_cast<size_t>(count) * h.record_length);
    if (Result r = dbf.ReadRecords(first, count, bytes.data())) return r;
    for (uint32_t i = 0; i < count; ++i)
      if (!visit(bytes.data() + static_cast<size_t>(i) * h.record_length)) return kOk;
  }
  return kOk;
}

MemoKind MemoKindToRead(const DbfHeader& h) {
  return h.memo_kind == MemoKind::kDbase3 ? MemoKind::kDbase3 : MemoKind::kDbase4;
}

// Whether every memo pointer of the table lands on a memo of the file at `path`.
bool MemoFits(DbfFile& dbf, const std::string& path) {
  DbtMemo memo;
  if (memo.Open(path, MemoKindToRead(dbf.header()), false) != kOk) return false;
  bool fits = true;
  std::string content;
  EachRecord(dbf, [&](const uint8_t* record) {
    for (const FieldDesc& f : dbf.header().fields) {
      if (!IsMemoType(f.type)) continue;
      uint32_t block = 0;
      fits = ParseMemoBlock(record + f.offset, f.length, block) && (block == 0 || memo.Read(block, content) == kOk);
      if (!fits) return false;
    }
    return true;
  });
  return fits;
}

// The table as the index checker reads it, with `fields` and `code_page` as mended.
IndexedTable CheckedTable(DbfFile& dbf, const std::vector<FieldDesc>& fields, int code_page) {
  IndexedTable t;
  t.fields = &fields;
  t.code_page = code_page;
  t.record_count = dbf.header().record_count;
  t.read_record = [&dbf](uint32_t recno, std::vector<uint8_t>& bytes) {
    bytes.resize(dbf.header().record_length);
    return dbf.ReadRecord(recno, bytes.data()) == kOk;
  };
  return t;
}

// The first problem the index checker finds in the index at `path`, or empty.
std::string IndexProblem(const std::string& path, const IndexedTable& table) {
  std::unique_ptr<MdxFile> file;
  if (IndexStatus s = MdxFile::Open(path, false, file); !s) return s.message();
  IndexCheckOptions options;
  options.max_problems = 1;
  const std::vector<engine::IndexProblem> problems = CheckIndex(*file, table, options);
  return problems.empty() ? std::string() : DescribeProblems(problems);
}

class Diagnoser {
 public:
  Diagnoser(DbfFile& dbf, const RepairOptions& options, TableDiagnosis& d)
      : dbf_(dbf), options_(options), d_(d), fields_(dbf.header().fields) {}

  void Run() {
    memo_path_ = Twins(".DBT", "memo file", [&](const std::string& p) { return MemoFits(dbf_, p); }, d_.memo);
    Version();
    CodePage();
    Columns();
    index_path_ = Twins(".MDX", "index file", [&](const std::string& p) {
      return IndexProblem(p, CheckedTable(dbf_, fields_, d_.code_page)).empty();
    }, d_.index);
    Index();
  }

 private:
  void Step(std::string problem, std::string action) {
    if (action.empty()) d_.plan.blocked = true;
    d_.plan.steps.push_back({std::move(problem), std::move(action)});
  }
  void Changes(const std::string& file) {
    if (std::find(d_.plan.files.begin(), d_.plan.files.end(), file) == d_.plan.files.end())
      d_.plan.files.push_back(file);
  }

  // Of two or more files for one companion, the one `fits` (the records fit it) is kept
  // under the table's name; gives the file the companion is in now ("" when there is none).
  template <typename Fits>
  std::string Twins(const std::string& ext, const std::string& what, Fits fits, std::optional<TwinChoice>& choice) {
    const std::vector<std::string> files = Companions(d_.dbf_path, ext);
    if (files.size() < 2) return files.empty() ? std::string() : files.front();
    std::string names;
    for (const std::string& f : files) names += (names.empty() ? "" : " and ") + FileName(f);
    std::vector<std::string> fitting;
    for (const std::string& f : files)
      if (fits(f)) fitting.push_back(f);
    const std::string problem = "The table has two " + what + "s whose names differ only in case: " + names + ".";
    if (fitting.size() != 1) {
      Step(problem + (fitting.empty() ? " The records fit neither of them"
                                      : " The records fit more than one of them") +
               ", so this program cannot tell which belongs to the table; nothing is changed. Move the "
               "wrong one out of the folder, then repair again.",
           "");
      return fitting.empty() ? files.front() : fitting.front();
    }
    TwinChoice c;
    c.keep = fitting.front();
    c.keep_as = TableNamed(d_.dbf_path, ext);
    for (const std::string& f : files)
      if (f != c.keep) c.aside.push_back(f);
    std::string aside;
    for (const std::string& f : c.aside) aside += (aside.empty() ? "" : " and ") + FileName(f);
    Step(problem + " The records fit " + FileName(c.keep) + ".",
         "keep " + FileName(c.keep) + " as " + FileName(c.keep_as) + " and move " + aside +
             " aside under a new name");
    for (const std::string& f : files) Changes(f);
    choice = c;
    return c.keep;  // where it is until the repair renames it
  }

  void Version() {
    const DbfHeader& h = dbf_.header();
    if (h.memo_kind != MemoKind::kUnknown || memo_path_.empty()) return;
    // A dBASE IV memo file keeps its block size in header bytes 20-21; dBASE III's are 0.
    std::ifstream in(memo_path_, std::ios::binary);
    unsigned char head[22] = {};
    in.read(reinterpret_cast<char*>(head), sizeof head);
    const uint8_t version = in && (head[20] | head[21]) == 0 ? 0x83 : 0x8B;
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%02X", h.version);
    std::string problem = std::string("The table's version byte ") + hex +
                          " does not name a memo file, but the table has memo fields and its memo file " +
                          FileName(memo_path_) + ".";
    std::snprintf(hex, sizeof hex, "0x%02X", version);
    Step(problem, std::string("set the version byte to ") + hex + " (" +
                      (version == 0x83 ? "dBASE III" : "dBASE IV") + " table with a memo file)");
    d_.version = version;
    Changes(d_.dbf_path);
  }

  void CodePage() {
    const DbfHeader& h = dbf_.header();
    d_.code_page = CodePageOfDriver(h.language_driver);
    if (h.language_driver != 0) {
      if (d_.code_page == 0) d_.code_page = DefaultCodePage(d_.dbf_path);
      return;
    }
    const std::string problem = "The table's header names no code page (byte 29 is 0).";
    bool cpg = false;
    const std::string cpg_path = CompanionPath(d_.dbf_path, ".CPG", cpg);
    int cp = options_.code_page;
    std::string from = "as asked";
    if (cp == 0 && cpg) {
      cp = DefaultCodePage(d_.dbf_path);
      from = "as " + FileName(cpg_path) + " says";
    }
    if (cp == 0) {
      TextBytes text;
      CodePageGuess g;
      if (ReadTableText(dbf_, kCodePageGuessRecords, text) == kOk) g = GuessCodePage(text);
      d_.code_page = g.code_page;
      if (!g.certain || g.plain_ascii) {
        Step(problem + (g.plain_ascii ? " Its text is plain ASCII, which reads alike in every code page."
                        : g.fitting.empty() ? " Its text fits none of the code pages 865, 850, 437 and 1252."
                                            : " Its text fits code pages " + CodePageList(g.fitting) +
                                                  ", which read it differently.") +
                 " Give the code page the text was written in: repair --apply --code-page N.",
             "");
        return;
      }
      cp = g.code_page;
      from = "found from its text";
      if (g.fitting.size() > 1) from += " (" + CodePageList({g.fitting.begin() + 1, g.fitting.end()}) + " would read it alike)";
    }
    const uint8_t driver = DriverOfCodePage(cp);
    if (driver == 0 || !CodePageSupported(cp)) {
      Step(problem + " Code page " + std::to_string(cp) + " has no code-page byte this program knows; give "
                     "another: repair --apply --code-page N.",
           "");
      return;
    }
    d_.code_page = cp;
    d_.driver = driver;
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", driver);
    Step(problem, "set it to " + std::string(hex) + ": code page " + std::to_string(cp) + ", " + from);
    Changes(d_.dbf_path);
  }

  // A column at its place with its type and width but another name (another program
  // could not write the name's letters) gets its name back. Only in a table whose other
  // columns are the register's: in another table a column of the same shape is its own.
  void Columns() {
    const std::vector<NewField>& want = options_.columns;
    if (want.empty()) return;
    const int cp = d_.code_page != 0 ? d_.code_page : 437;
    auto ansi = [](int code_page, const std::string& name) { return Upper(NativeToAnsi(code_page, name)); };
    size_t same = 0;
    for (size_t i = 0; i < want.size() && i < fields_.size(); ++i)
      same += ansi(options_.columns_code_page, want[i].name) == ansi(cp, fields_[i].name);
    if (same * 2 < want.size()) return;
    for (size_t i = 0; i < want.size() && i < fields_.size(); ++i) {
      const std::string name = ansi(options_.columns_code_page, want[i].name);
      FieldDesc& f = fields_[i];
      if (name == ansi(cp, f.name) || f.type != want[i].type) continue;
      if ((want[i].type == 'C' || want[i].type == 'N') && (f.length != want[i].length || f.decimals != want[i].decimals))
        continue;
      bool elsewhere = false;
      for (const FieldDesc& other : fields_) elsewhere = elsewhere || ansi(cp, other.name) == name;
      if (elsewhere) continue;
      const std::string native = AnsiToNative(cp, name);
      Step("Column " + std::to_string(i + 1) + " is named " + NativeToAnsi(cp, f.name) + " where the table has " +
               name + " (another program could not write the name).",
           "name it " + name + " again");
      d_.renames.emplace_back(i, native);
      f.name = native;
      Changes(d_.dbf_path);
    }
  }

  void Index() {
    const DbfHeader& h = dbf_.header();
    if (d_.plan.blocked || (!h.production_index && index_path_.empty())) return;
    if (!h.production_index) {  // a rewrite by a program that keeps no index clears the flag
      Step("The table's header no longer names its production index " + FileName(index_path_) +
               " (byte 28 is 0), so the index would fall behind every change.",
           "name the index in the header again");
      d_.index_flag = true;
      Changes(d_.dbf_path);
    }
    std::string problem;
    const std::string path = d_.index ? d_.index->keep_as
                             : index_path_.empty() ? TableNamed(d_.dbf_path, ".MDX") : index_path_;
    if (index_path_.empty()) {
      problem = "The table's production index " + FileName(path) + " is missing.";
    } else {
      const std::string found = IndexProblem(index_path_, CheckedTable(dbf_, fields_, d_.code_page));
      if (found.empty()) return;
      problem = "The production index " + FileName(path) + " does not agree with the table (" + found + ").";
    }
    Step(problem, "rebuild the index from the records, every tag as it was defined");
    d_.rebuild_index = true;
    Changes(path);
  }

  DbfFile& dbf_;
  const RepairOptions& options_;
  TableDiagnosis& d_;
  std::vector<FieldDesc> fields_;  // with the names mended
  std::string memo_path_, index_path_;
};

}  // namespace

Result DiagnoseTable(const std::string& dbf_path, const RepairOptions& options, TableDiagnosis& d) {
  d = TableDiagnosis{};
  d.dbf_path = dbf_path;
  d.plan.table_file = dbf_path;
  DbfFile dbf;
  if (Result r = dbf.Open(dbf_path, false)) return r;
  d.header = dbf.header();
  Diagnoser(dbf, options, d).Run();
  return kOk;
}

}  // namespace snyltdyr::engine
