// What other programs do to the table's files, made byte for byte as they make them (an
// office suite's save, a GIS tool's edits, a record changed in place), then the companion:
// nothing is written while the table is out of step, no text is shown in a wrong code
// page, `repair` without --apply changes no byte, and `repair --apply` leaves a table whose
// export equals the independent reader's reading of it, whose index passes the checker,
// with backups that hold the files as they were.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "support/python_runner.h"
#include "support/table_builder.h"
#include "support/table_files.h"
#include "support/temp_dir.h"

namespace snyltdyr {
namespace {

namespace fs = std::filesystem;

struct CliRun {
  int status = -1;
  std::string out, err;
};

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Every file of a folder by name, with its bytes.
std::map<std::string, std::string> Files(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(dir)) files[e.path().filename().string()] = Bytes(e.path().string());
  return files;
}

class CliRepair : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testsupport::PythonAvailable()) GTEST_SKIP() << "no " << SNYLTDYR_PYTHON;
    ASSERT_EQ(Cli("create-sample '" + t_ + "' --records 300 --seed 5").status, 0);
  }

  CliRun Cli(const std::string& args) {
    const std::string out = dir_.File("out.txt"), err = dir_.File("err.txt");
    const std::string line = "'" + std::string(SNYLTDYR_CLI) + "' " + args + " >'" + out + "' 2>'" + err + "'";
    const int raw = std::system(line.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Bytes(out), Bytes(err)};
  }
  CliRun Repair(const std::string& options = {}) { return Cli("repair '" + t_ + "'" + options); }

  std::string Table() const { return t_ + "/SNYLTDYR.DBF"; }
  uint16_t HeaderLength() { return static_cast<uint16_t>(Byte(8) | Byte(9) << 8); }
  uint16_t RecordLength() { return static_cast<uint16_t>(Byte(10) | Byte(11) << 8); }
  uint8_t Byte(size_t at) { return static_cast<uint8_t>(Bytes(Table())[at]); }
  void Patch(size_t at, const std::string& bytes) {
    std::string all = Bytes(Table());
    all.replace(at, bytes.size(), bytes);
    Write(Table(), all);
  }
  // An office suite's or GIS tool's save: the header dated today, the file dated after
  // the index.
  void SavedLater() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    Patch(1, std::string{char(tm.tm_year), char(tm.tm_mon + 1), char(tm.tm_mday)});
    struct stat mdx {};
    ASSERT_EQ(stat((t_ + "/SNYLTDYR.MDX").c_str(), &mdx), 0);
    timespec times[2] = {mdx.st_mtim, mdx.st_mtim};
    times[0].tv_sec += 2;
    times[1].tv_sec += 2;
    ASSERT_EQ(utimensat(AT_FDCWD, Table().c_str(), times, 0), 0);
  }

  // Whether the export (in date order) holds what the independent reader reads in the
  // file: every record's date and texts, comments included. "same" when it does.
  std::string ExportAgainstDbfread() {
    const CliRun exported = Cli("export '" + t_ + "'");
    EXPECT_EQ(exported.status, 0) << exported.err;
    Write(dir_.File("export.csv"), exported.out);
    const std::string script =
        "import csv, sys, dbfread\n"
        "t = dbfread.DBF(sys.argv[1] + '/SNYLTDYR.DBF', encoding='cp865')\n"
        "def s(v): return '' if v is None else str(v).replace('\\r\\n', '\\n').strip()\n"
        "def d(v): return '' if v is None else v.strftime('%d.%m.%Y')\n"
        "cols = (1, 2, 3, 5, 6, 7, 8, 9, 10, 11, 12)\n"
        "a = sorted((d(list(r.values())[0]),) + tuple(s(list(r.values())[i]) for i in cols) for r in t)\n"
        "rows = list(csv.reader(open(sys.argv[2], encoding='utf-8', newline='')))[1:]\n"
        "b = sorted((r[0],) + tuple(r[i].replace('\\r\\n', '\\n').strip() for i in cols) for r in rows)\n"
        "print('same' if a == b else 'differ: %d %d %s' % (len(a), len(b), [(x, y) for x, y in zip(a, b) if x != y][:1]))\n";
    int status = 0;
    std::string out = testsupport::RunPython(dir_.File("compare.py"), script,
                                             "'" + t_ + "' '" + dir_.File("export.csv") + "'", status);
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
  }

  // The dry run changes no byte and lists `expected`; the repair then mends, keeps each
  // file it changed as it was, and leaves a sound table.
  void RepairsAndKeepsBackups(const std::vector<std::string>& expected, const std::string& options = {}) {
    const auto before = Files(t_);
    const CliRun dry = Repair(options);
    EXPECT_EQ(dry.status, 1) << dry.out << dry.err;
    for (const std::string& text : expected) EXPECT_NE(dry.out.find(text), std::string::npos) << dry.out;
    EXPECT_EQ(Files(t_), before);

    const CliRun applied = Repair(" --apply" + options);
    ASSERT_EQ(applied.status, 0) << applied.out << applied.err;
    EXPECT_NE(applied.out.find("The table opens for writing"), std::string::npos) << applied.out;
    size_t backups = 0;
    for (const auto& [name, bytes] : Files(t_)) {
      // "SNYLTDYR.DBF.<when>.bak", and the rebuild's own "SNYLTDYR.MDX.bak".
      if (name.size() < 4 || name.substr(name.size() - 4) != ".bak") continue;
      const std::string original = name.substr(0, name.find('.', name.find('.') + 1));
      ASSERT_TRUE(before.count(original)) << name;
      EXPECT_EQ(bytes, before.at(original)) << name;
      ++backups;
    }
    EXPECT_GT(backups, 0u);
    EXPECT_EQ(testsupport::IndexProblems(t_), "");
    EXPECT_EQ(ExportAgainstDbfread(), "same");
    const CliRun again = Repair();
    EXPECT_EQ(again.status, 0) << again.out;
    EXPECT_EQ(again.out, "The table is sound: nothing to mend.\n");
  }

  testsupport::TempDir dir_;
  const std::string t_ = dir_.File("t");
};

TEST_F(CliRepair, ARecordChangedInPlaceIsNeverWrittenThroughAndTheRepairRebuilds) {
  const size_t at = HeaderLength() + 7 * RecordLength() + 1;  // record 8's date
  Patch(at, "19500101");
  SavedLater();
  const std::string dbf = Bytes(Table());
  const CliRun stats = Cli("stats '" + t_ + "'");
  EXPECT_EQ(stats.status, 0);
  EXPECT_NE(stats.out.find("Read-only: "), std::string::npos) << stats.out;
  EXPECT_NE(stats.out.find("record 8 is filed under"), std::string::npos) << stats.out;
  const CliRun fix = Cli("fix '" + t_ + "'");
  EXPECT_EQ(fix.status, 1);
  EXPECT_EQ(Bytes(Table()), dbf);
  RepairsAndKeepsBackups({"does not agree with the table", "Would: rebuild the index"});
  EXPECT_EQ(Bytes(Table()), dbf);  // the records are as the other program left them
}

TEST_F(CliRepair, AnOfficeSuitesSaveGetsItsCodePageAndColumnNameBack) {
  Patch(29, std::string(1, '\0'));
  Patch(32 + 3 * 32, std::string("N_RSKLAS\0\0\0", 11));
  SavedLater();
  const CliRun stats = Cli("stats '" + t_ + "'");
  EXPECT_EQ(stats.status, 1);
  EXPECT_NE(stats.err.find("not found"), std::string::npos) << stats.err;
  EXPECT_NE(stats.err.find("snyltdyr-cli repair \"" + t_ + "\" --apply"), std::string::npos) << stats.err;
  RepairsAndKeepsBackups({"names no code page", "set it to 0x17: code page 865, found from its text",
                          "Column 4 is named N_RSKLAS", "name it \xC3\x85RSKLAS again"});
  EXPECT_EQ(Byte(29), 0x17);
  EXPECT_EQ(Bytes(Table()).substr(32 + 3 * 32, 8), std::string("\x8FRSKLAS\0", 8));
  const CliRun after = Cli("stats '" + t_ + "'");
  EXPECT_EQ(after.status, 0) << after.err;
  EXPECT_EQ(after.out.find("Read-only"), std::string::npos) << after.out;
}

TEST_F(CliRepair, WithoutACodePageTheTextIsShownAsFoundOrNotExportedAtAll) {
  Patch(29, std::string(1, '\0'));
  const CliRun stats = Cli("stats '" + t_ + "'");
  EXPECT_EQ(stats.status, 0) << stats.err;
  EXPECT_NE(stats.out.find("reads as code page 865, which is assumed"), std::string::npos) << stats.out;
  const CliRun exported = Cli("export '" + t_ + "'");
  EXPECT_EQ(exported.status, 0);
  EXPECT_NE(exported.err.find("which is assumed"), std::string::npos) << exported.err;
  EXPECT_EQ(ExportAgainstDbfread(), "same");  // the letters as code page 865 reads them

  // Another program wrote one name in code page 1252 beside the DOS letters: no code
  // page reads every letter, and nothing is exported that may be wrong.
  const size_t bygg = HeaderLength() + 1 + 8;  // record 1's BYGG
  Patch(bygg, "\xE6");
  const CliRun refused = Cli("export '" + t_ + "'");
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.out, "");
  EXPECT_NE(refused.err.find("Not exported"), std::string::npos) << refused.err;
  const auto before = Files(t_);
  const CliRun dry = Repair(" --apply");
  EXPECT_EQ(dry.status, 1);
  EXPECT_NE(dry.out.find("--code-page N"), std::string::npos) << dry.out;
  EXPECT_EQ(Files(t_), before);
  Patch(bygg, "B");
  RepairsAndKeepsBackups({"set it to 0x17: code page 865, as asked"}, " --code-page 865");
}

TEST_F(CliRepair, AVersionByteThatNamesNoMemoFileIsSetAgain) {
  Patch(0, "\x03");  // what a GIS tool's delete writes
  SavedLater();
  const CliRun stats = Cli("stats '" + t_ + "'");
  EXPECT_NE(stats.out.find("does not say which memo file"), std::string::npos) << stats.out;
  EXPECT_NE(stats.out.find("snyltdyr-cli repair"), std::string::npos) << stats.out;
  RepairsAndKeepsBackups({"version byte 0x03 does not name a memo file", "set the version byte to 0x8B"});
  EXPECT_EQ(Byte(0), 0x8B);
}

// An office suite writes its own memo file beside ours, in lower case, with the memos at
// other blocks, and points the records at them.
TEST_F(CliRepair, OfTwoMemoFilesTheOneTheRecordsFitIsKept) {
  const std::string ours = Bytes(t_ + "/SNYLTDYR.DBT");
  const size_t shift = ours.size() / 512 + 5;  // beyond every block of ours
  std::string theirs = ours.substr(0, 512) + std::string(shift * 512, '\0') + ours.substr(512);
  const uint32_t next = static_cast<uint32_t>(theirs.size() / 512);
  std::memcpy(theirs.data(), &next, 4);
  Write(t_ + "/SNYLTDYR.dbt", theirs);
  std::string dbf = Bytes(Table());
  const size_t memo = 1 + 8 + 9 + 10 + 10 + 4 + 30 + 9 + 30 + 30 + 20 + 20;  // KOMENT
  for (size_t r = 0; r < 300; ++r) {
    const size_t at = HeaderLength() + r * RecordLength() + memo;
    const std::string field = dbf.substr(at, 10);
    const long block = std::strtol(field.c_str(), nullptr, 10);
    if (block == 0) continue;
    char moved[24];  // a memo block number fits the field's 10 digits
    std::snprintf(moved, sizeof moved, "%10ld", block + static_cast<long>(shift));
    dbf.replace(at, 10, std::string(moved).substr(0, 10));
  }
  Write(Table(), dbf);
  SavedLater();
  EXPECT_NE(Cli("stats '" + t_ + "'").err.find("snyltdyr-cli repair"), std::string::npos);
  RepairsAndKeepsBackups({"two memo files", "The records fit SNYLTDYR.dbt",
                          "keep SNYLTDYR.dbt as SNYLTDYR.DBT and move SNYLTDYR.DBT aside"});
  EXPECT_EQ(Bytes(t_ + "/SNYLTDYR.DBT"), theirs);
  size_t aside = 0;
  for (const auto& [name, bytes] : Files(t_))
    if (name.find(".aside") != std::string::npos) aside += bytes == ours;
  EXPECT_EQ(aside, 1u);
}

TEST_F(CliRepair, TwoMemoFilesTheRecordsBothFitAreLeftAlone) {
  fs::copy_file(t_ + "/SNYLTDYR.DBT", t_ + "/SNYLTDYR.dbt");
  const auto before = Files(t_);
  for (const char* options : {"", " --apply"}) {
    const CliRun run = Repair(options);
    EXPECT_EQ(run.status, 1) << options;
    EXPECT_NE(run.out.find("fit more than one of them"), std::string::npos) << run.out;
    EXPECT_EQ(Files(t_), before) << options;
  }
}

TEST_F(CliRepair, TheRepairNeedsTheTableAloneAndASoundTableNeedsNone) {
  const CliRun sound = Repair(" --apply");
  EXPECT_EQ(sound.status, 0) << sound.out << sound.err;
  EXPECT_EQ(sound.out, "The table is sound: nothing to mend.\n");
  Patch(0, "\x03");
  const auto before = Files(t_);
  testsupport::EngineSession engine;
  const engine::Handle db = engine.Database(t_);
  const engine::Handle cur = testsupport::OpenCursor(db, "SNYLTDYR.DBF", engine::OpenMode::kReadOnly);
  const CliRun busy = Repair(" --apply");
  EXPECT_EQ(busy.status, 1);
  EXPECT_NE(busy.err.find("another program has the table open"), std::string::npos) << busy.err;
  EXPECT_EQ(Files(t_), before);
  engine::CloseCursor(cur);
}

// Another table's index: its tag DATO keys a field this table lacks. Nothing is read in
// its order; the figures come in record order, with the reason beside them.
TEST_F(CliRepair, ATagThatCannotBeCheckedGivesNoRowsAndNoFigures) {
  std::string mdx = Bytes(t_ + "/SNYLTDYR.MDX");
  size_t at = mdx.find(std::string("DATO\0", 5));
  while (at != std::string::npos && at % 512 != 24) at = mdx.find(std::string("DATO\0", 5), at + 1);
  ASSERT_NE(at, std::string::npos);
  mdx.replace(at, 6, std::string("DATUM\0", 6));
  Write(t_ + "/SNYLTDYR.MDX", mdx);
  const CliRun exported = Cli("export '" + t_ + "'");
  EXPECT_EQ(exported.status, 1);
  EXPECT_EQ(exported.out, "");
  EXPECT_NE(exported.err.find("which this program cannot evaluate"), std::string::npos) << exported.err;
  const CliRun stats = Cli("stats '" + t_ + "'");
  EXPECT_EQ(stats.status, 0) << stats.err;
  EXPECT_NE(stats.out.find("Antall: 300\n"), std::string::npos) << stats.out;
  EXPECT_NE(stats.out.find("The index DATO is not used"), std::string::npos) << stats.out;
}

// A BYGG entry of one record made to name another record with the same key: each record
// reached holds the key it is filed under, but one comes twice and one never.
TEST_F(CliRepair, ASortThatReachesARecordTwiceStopsAndTheNextOpeningSaysSo) {
  ASSERT_EQ(Cli("sort '" + t_ + "' BYGG").status, 0);
  const std::string dbf = Bytes(Table());
  auto bygg = [&](uint32_t r) { return dbf.substr(HeaderLength() + (r - 1) * RecordLength() + 9, 9); };
  auto le = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
  std::string mdx = Bytes(t_ + "/SNYLTDYR.MDX");
  size_t at = std::string::npos;
  uint32_t first = 0;
  for (uint32_t b = 2; b <= 280 && at == std::string::npos; ++b) {
    if (b % 3 == 1) continue;  // looked up when the table opens
    for (uint32_t a = 1; a < b && first == 0; ++a)
      if (bygg(a) == bygg(b)) first = a;
    if (first != 0) at = mdx.find(le(b) + bygg(b));
    if (at == std::string::npos) first = 0;
  }
  ASSERT_NE(at, std::string::npos);
  mdx.replace(at, 4, le(first));
  Write(t_ + "/SNYLTDYR.MDX", mdx);
  const CliRun sorted = Cli("sort '" + t_ + "' BYGG");
  EXPECT_EQ(sorted.status, 1);
  EXPECT_NE(sorted.err.find("record " + std::to_string(first) + " is reached twice"), std::string::npos)
      << sorted.err;
  const CliRun stats = Cli("stats '" + t_ + "'");
  EXPECT_NE(stats.out.find("Read-only: "), std::string::npos) << stats.out;
  EXPECT_NE(stats.out.find("tag BYGG"), std::string::npos) << stats.out;
}

// The real GIS tool: an update in place, an append and a delete, then the repair.
TEST_F(CliRepair, AfterTheGisToolsEditsOneRepairMakesTheTableWhole) {
  if (std::system("command -v ogrinfo >/dev/null && command -v ogr2ogr >/dev/null") != 0)
    GTEST_SKIP() << "gdal-bin is not installed";
  const std::string table = "'" + Table() + "'";
  auto gdal = [&](const std::string& line) {
    const int status = std::system((line + " >'" + dir_.File("gdal.txt") + "' 2>&1").c_str());
    EXPECT_EQ(status, 0) << line << "\n" << Bytes(dir_.File("gdal.txt"));
  };
  gdal("ogrinfo -q " + table + " -dialect SQLite -sql \"UPDATE SNYLTDYR SET BYGG = 'GIS' WHERE rowid = 7\"");
  fs::copy_file(Table(), dir_.File("source.dbf"));
  gdal("ogr2ogr -append -f 'ESRI Shapefile' " + table + " '" + dir_.File("source.dbf") +
       "' -nln SNYLTDYR -where \"BYGG = 'GIS'\"");
  gdal("ogrinfo -q " + table + " -dialect SQLite -sql \"DELETE FROM SNYLTDYR WHERE rowid = 3\"");
  SavedLater();
  const std::string dbf = Bytes(Table());
  EXPECT_EQ(Cli("fix '" + t_ + "'").status, 1);
  EXPECT_EQ(Bytes(Table()), dbf);
  RepairsAndKeepsBackups({"Would:"});
  EXPECT_NE(Bytes(Table()).find("GIS      "), std::string::npos);
}

}  // namespace
}  // namespace snyltdyr
