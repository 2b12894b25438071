// An import stopped anywhere: a writer process importing rows is stopped just before its
// k-th write to the table's files and killed there (for write points spread over the
// whole import). The table must then hold either every record it held before and none
// of the rows, or those records and every row as the finished import stores them; the
// independent reader must see the same; and once the table is opened for writing again,
// its index must be in step. Also: another process reading the table all through an
// import sees it before or after, never half.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "register/observation_import.h"
#include "register/sample_observations.h"
#include "register/snyltdyr_register.h"
#include "runtime/regional_settings.h"
#include "storage/engine/files/file_io.h"
#include "storage/session.h"
#include "support/table_files.h"
#include "support/temp_dir.h"

namespace snyltdyr {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kRecords = 400;
constexpr int kRows = 50;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The records as the .DBF holds them by its header's count.
std::vector<std::string> StoredRecords(const std::string& dir) {
  const std::string dbf = Slurp(dir + "/SNYLTDYR.DBF");
  auto u16 = [&](size_t o) { return static_cast<uint8_t>(dbf[o]) | static_cast<uint8_t>(dbf[o + 1]) << 8; };
  const uint32_t count = static_cast<uint32_t>(u16(4) | u16(6) << 16);
  const size_t header = u16(8), length = u16(10);
  EXPECT_LE(header + count * length, dbf.size()) << "the header counts records the file lacks";
  std::vector<std::string> records;
  for (uint32_t n = 0; n < count && header + (n + 1) * length <= dbf.size(); ++n)
    records.push_back(dbf.substr(header + n * length, length));
  return records;
}

// Rows with comments (memos), Norwegian letters and dates all over the date order.
std::string Rows(int rows, int seed) {
  std::string csv = "dato;kar;snyltdyr;mengde;organ;KOMENT;tall\r\n";
  for (int i = 0; i < rows; ++i) {
    const int day = 1 + (i * 7 + seed) % 28, month = 1 + (i * 5 + seed) % 12, year = 2005 + (i + seed) % 15;
    csv += std::to_string(day) + "." + std::to_string(month) + "." + std::to_string(year) + ";K" +
           std::to_string(i % 13) + ";" + (i % 3 ? "t" : "h.mark") + ";s+;g;" +
           (i % 4 == 0 ? "\"Pr\xC3\xB8ve " + std::to_string(i) + "\r\nandre linje\"" : std::string()) +
           ";" + std::to_string(i) + ",5\r\n";
  }
  return csv;
}

void ImportInto(const std::string& dir, const std::string& csv) {
  SnyltdyrRegister r;
  r.SnyltdyrTable.SetDatabaseName(dir);
  r.OpenHere();
  const ImportReport report = ImportObservations(r, csv, true);
  if (!report.problems.empty()) throw Exception(ImportProblemsText(report));
}

uint64_t stop_at = 0;
uint64_t writes_seen = 0;

void StopAtWrite(uint64_t writes_before) {
  writes_seen = writes_before + 1;
  if (writes_before == stop_at) ::raise(SIGSTOP);
}

// Runs `change` in a child process stopped before write `k` and killed there; true when
// it was killed, false when it ended first.
bool KilledAt(uint64_t k, const std::function<void()>& change) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    stop_at = k;
    engine::SetWriteObserver(StopAtWrite);
    try {
      change();
    } catch (...) {
      ::_exit(3);
    }
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(pid, &status, WUNTRACED);
  if (WIFSTOPPED(status)) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return true;
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the import failed at write " << k;
  return false;
}

class ImportCrash : public ::testing::Test {
 protected:
  void SetUp() override {
    SetRegional(NorwegianSettings());
    CreateSampleTable(master.path(), kRecords, 9);
    TTable t("Setup");
    t.SetDatabaseName(master.path());
    t.SetTableName(kObservationTableName);
    t.CreateIndex("TEKST", "SNYLTDYR+ORGAN+BYGG", ixExpression);  // a second tag, of text keys
    StopDefaultSession();
  }
  void TearDown() override { StopDefaultSession(); }

  testsupport::TempDir master, work;
};

TEST_F(ImportCrash, AWriterKilledAnywhereInAnImportLeavesAllOrNothingInStep) {
  if (!testsupport::PythonAvailable()) GTEST_SKIP() << "no " << SNYLTDYR_PYTHON;
  const std::string csv = Rows(kRows, 3);
  const std::vector<std::string> before = StoredRecords(master.path());
  // The finished import, and how many writes it makes.
  const std::string done = work.File("done");
  testsupport::CopyFolderFiles(master.path(), done);
  writes_seen = 0;
  stop_at = UINT64_MAX;
  engine::SetWriteObserver(StopAtWrite);
  ImportInto(done, csv);
  engine::SetWriteObserver(nullptr);
  StopDefaultSession();
  const uint64_t writes = writes_seen;
  const std::vector<std::string> after = StoredRecords(done);
  ASSERT_EQ(after.size(), before.size() + kRows);
  ASSERT_GT(writes, 10u);

  int none = 0, all = 0, flag_completed = 0;
  const uint64_t step = std::max<uint64_t>(1, writes / 60);
  for (uint64_t k = 0; k < writes; k += (k < 12 || (k > 22 && k < 40) ? 1 : step)) {
    SCOPED_TRACE("killed before write " + std::to_string(k) + " of " + std::to_string(writes));
    const std::string dir = work.File("k");
    testsupport::CopyFolderFiles(master.path(), dir);
    ASSERT_TRUE(KilledAt(k, [&] { ImportInto(dir, csv); }));
    const size_t counted = StoredRecords(dir).size();
    ASSERT_TRUE(counted == before.size() || counted == after.size()) << counted;
    // A reader that goes by the end marker sees no more than the count says.
    const size_t seen = testsupport::DbfreadRows(dir).size();
    EXPECT_TRUE(seen == counted || seen == before.size()) << seen;
    if (seen != counted) ++flag_completed;
    // Opening for writing completes what a stopped writer left undone.
    {
      SnyltdyrRegister r;
      r.SnyltdyrTable.SetDatabaseName(dir);
      r.OpenHere();
      EXPECT_EQ(r.ReadOnlyReason(), "");
      EXPECT_EQ(r.SnyltdyrTable.RecordTotal(), static_cast<int32_t>(counted));
    }
    StopDefaultSession();
    const std::vector<std::string> records = StoredRecords(dir);
    const std::vector<std::string>& expected = records.size() == before.size() ? before : after;
    ASSERT_EQ(records.size(), expected.size());
    for (size_t i = 0; i < records.size(); ++i) ASSERT_EQ(records[i], expected[i]) << "record " << i + 1;
    ++(records.size() == before.size() ? none : all);
    EXPECT_EQ(testsupport::IndexProblems(dir), "");
    EXPECT_EQ(testsupport::DbfreadRows(dir).size(), records.size());
  }
  std::printf("[ killed ] %d left without the rows, %d with all of them, %d of those with the first "
              "flag still to write (of %llu writes)\n", none, all, flag_completed,
              static_cast<unsigned long long>(writes));
  EXPECT_GT(none, 0);
  EXPECT_GT(flag_completed, 0);
  EXPECT_GT(all, 0);
}

TEST_F(ImportCrash, AnotherProcessReadingThroughAnImportSeesItBeforeOrAfterNeverHalf) {
  const std::string dir = master.path();
  constexpr int kImports = 4, kBatch = 3000;
  const pid_t pid = ::fork();
  if (pid == 0) {
    int status = 0;
    try {
      for (int i = 0; i < kImports; ++i) ImportInto(dir, Rows(kBatch, i));
    } catch (...) {
      status = 3;
    }
    StopDefaultSession();
    ::_exit(status);
  }
  // The reader holds the table open all along; each round reads it again.
  SnyltdyrRegister r;
  r.SnyltdyrTable.SetDatabaseName(dir);
  r.OpenHere();
  TTable& t = r.SnyltdyrTable;
  int rounds = 0, status = 0;
  for (bool running = true; running; ++rounds) {
    running = ::waitpid(pid, &status, WNOHANG) == 0;
    t.Refresh();
    const int32_t total = t.RecordTotal();
    EXPECT_EQ((total - kRecords) % kBatch, 0) << "a count of part of an import: " << total;
    int32_t walked = 0;
    for (t.First(); !t.AtEnd(); t.Next()) ++walked;  // in date order, every record confirmed
    EXPECT_GE(walked, kRecords);
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  t.Refresh();
  EXPECT_EQ(t.RecordTotal(), kRecords + kImports * kBatch);
  std::printf("[ reader ] %d rounds of reading during %d imports\n", rounds, kImports);
  r.FormClose();
  StopDefaultSession();
  EXPECT_EQ(testsupport::IndexProblems(dir), "");
}

}  // namespace
}  // namespace snyltdyr
