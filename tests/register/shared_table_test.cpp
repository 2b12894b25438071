// A shared table that survives crashes and busy neighbours.
//
// Crash tests: a writer process is stopped just before its k-th write to the table's
// files (for every k of an append, two edits and a deletion, and at points spread over a
// "Fiks formatering" pass) and killed there with SIGKILL by this process. Then the table
// must open, its header count must fit the file, every record and comment must be as it
// was except the one being written (which is as it was or as the finished change made
// it), and its index must be in step (the index checker finds nothing) or refused with
// the rebuild message, after which the rebuild makes it writable and in step.
//
// Concurrency test: while another process appends and edits without pause, this one
// opens the table for writing again and again; no opening may be refused or fall back
// to reading only, and no walk may find the index out of step.
//
// SNYLTDYR_CRASH_KILLS sets how many kill points the "Fiks formatering" pass gets (40 by
// default); the tallies are printed.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <thread>

#include "register/sample_observations.h"
#include "register/snyltdyr_register.h"
#include "runtime/regional_settings.h"
#include "storage/engine/table/cursor.h"
#include "storage/engine/files/file_io.h"
#include "storage/engine/index/index_checker.h"
#include "storage/engine/index/index_companion.h"
#include "storage/session.h"
#include "support/temp_dir.h"

namespace snyltdyr {
namespace {

namespace fs = std::filesystem;

// With the newest observation added, 1210 records: the TEKST tag's 121 leaves of ten keys
// under 11 branches of eleven, all full, so that one more key splits every level.
constexpr int64_t kRecords = 1209;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// ---- What a table holds, read without the engine where it can be --------------------

struct Contents {
  std::vector<std::string> records;   // record n at n - 1, as stored
  std::vector<std::string> comments;  // KOMENT of record n, read through the engine
};

// The records as the .DBF file holds them; fails the test when the header's count does
// not fit the file (an appended record may lie beyond the count, never the other way).
std::vector<std::string> StoredRecords(const std::string& dir) {
  const std::string dbf = Slurp(dir + "/SNYLTDYR.DBF");
  auto u16 = [&](size_t o) { return static_cast<uint8_t>(dbf[o]) | static_cast<uint8_t>(dbf[o + 1]) << 8; };
  const uint32_t count = static_cast<uint32_t>(u16(4) | u16(6) << 16);
  const size_t header = u16(8), length = u16(10);
  EXPECT_LE(header + count * length, dbf.size()) << "the header counts records the file lacks";
  EXPECT_LE(dbf.size(), header + (count + 1) * length + 1) << "more than one record beyond the count";
  std::vector<std::string> records;
  for (uint32_t n = 0; n < count && header + (n + 1) * length <= dbf.size(); ++n)
    records.push_back(dbf.substr(header + n * length, length));
  return records;
}

// The comments in record order, through a table opened for reading only (so that reading
// them repairs nothing).
std::vector<std::string> StoredComments(const std::string& dir) {
  TTable t("Reader");
  t.SetDatabaseName(dir);
  t.SetTableName(kObservationTableName);
  t.SetReadOnly(true);
  t.Open();
  std::vector<std::string> comments;
  for (t.First(); !t.AtEnd(); t.Next()) comments.push_back(t.FieldByName("KOMENT").AsString());
  t.Close();
  return comments;
}

Contents Read(const std::string& dir) { return {StoredRecords(dir), StoredComments(dir)}; }

// The problems the index checker finds in the table's production index, every record
// and every entry looked at.
std::string IndexProblems(const std::string& dir) {
  engine::Table table;
  if (table.Open(dir + "/SNYLTDYR.DBF", engine::OpenMode::kReadOnly, engine::ShareMode::kShared) != engine::kOk)
    return "the table does not open";
  engine::IndexCompanion* companion = engine::CompanionOf(table);
  if (companion == nullptr) return "no production index";
  return engine::DescribeProblems(engine::CheckIndex(companion->index().file(), companion->Indexed()));
}

// Whether the .MDX header says that a change was under way.
bool ChangePending(const std::string& dir) { return Slurp(dir + "/SNYLTDYR.MDX").compare(48, 4, "PEND") == 0; }

// ---- A writer stopped at its k-th write ------------------------------------------------

uint64_t stop_at = 0;
uint64_t writes_seen = 0;

void StopAtWrite(uint64_t writes_before) {
  writes_seen = writes_before + 1;
  if (writes_before == stop_at) ::raise(SIGSTOP);
}

// Runs `change` in a child process that stops itself before write `k` (counting from 0),
// and kills it there. True when it was killed; false when the change ended first.
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
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the change failed at write " << k;
  return false;
}

// The number of writes of `change`, made on the table in `dir`.
uint64_t WritesOf(const std::function<void()>& change) {
  writes_seen = 0;
  stop_at = UINT64_MAX;
  engine::SetWriteObserver(StopAtWrite);
  change();
  engine::SetWriteObserver(nullptr);
  return writes_seen;
}

// ---- The register's changes, as the window makes them -----------------------------------

void WithRegister(const std::string& dir, const std::function<void(SnyltdyrRegister&)>& body) {
  SnyltdyrRegister r;
  r.SnyltdyrTable.SetDatabaseName(dir);
  r.OpenHere();
  body(r);
  r.FormClose();
}

void GoToRecord(TTable& t, int32_t recno) {
  t.SetIndexName("");
  t.First();
  t.MoveRelative(recno - 1);
}

struct Scenario {
  const char* name;
  std::function<void(const std::string& dir)> change;
  int32_t recno;  // the record being written; 0: any (a pass over every record)
  std::function<void(const std::string& dir)> prepare = {};  // made before, not killed
};

// The append of the scenarios, as a function of its own for the one with a unique tag.
void AppendObservation(const std::string& dir) {
  WithRegister(dir, [](SnyltdyrRegister& r) {
    TTable& t = r.SnyltdyrTable;
    t.Insert();
    t.FieldByName("DATO").SetAsString("15.06.2005");
    t.FieldByName("BYGG").SetAsString("K9");
    t.FieldByName("SNYLTDYR").SetAsString("h.mark");
    t.FieldByName("MENGDE").SetAsString("m");
    t.FieldByName("KOMENT").SetAsString("Ny pr\xF8ve\r\nandre linje");
    t.Post();
  });
}

std::vector<Scenario> Scenarios() {
  return {
      {"append", AppendObservation, static_cast<int32_t>(kRecords) + 2},
      // Another program's unique tag: which record a freed key went to is not told by the
      // record being written, so a change left pending there is refused until rebuilt.
      {"append, unique tag", AppendObservation, static_cast<int32_t>(kRecords) + 2,
       [](const std::string& dir) {
         TTable t("Setup");
         t.SetDatabaseName(dir);
         t.SetTableName(kObservationTableName);
         t.CreateIndex("KAR", "BYGG", ixUnique);
       }},
      {"edit", [](const std::string& dir) {
         WithRegister(dir, [](SnyltdyrRegister& r) {
           GoToRecord(r.SnyltdyrTable, 10);
           r.SnyltdyrTable.Edit();
           r.SnyltdyrTableDATO.SetAsString("01.01.1995");
           r.SnyltdyrTableBYGG.SetAsString("A1");
           r.SnyltdyrTableKOMENT.SetAsString(std::string(700, 'x'));  // a longer memo moves
           r.SnyltdyrTable.Post();
         });
       }, 10},
      {"edit the last date", [](const std::string& dir) {
         WithRegister(dir, [](SnyltdyrRegister& r) {  // alone in the last leaf: it empties
           r.SnyltdyrTable.Last();
           r.SnyltdyrTable.Edit();
           r.SnyltdyrTableDATO.SetAsString("02.01.1990");
           r.SnyltdyrTableBYGG.SetAsString("AAA");
           r.SnyltdyrTable.Post();
         });
       }, static_cast<int32_t>(kRecords) + 1},
      {"delete", [](const std::string& dir) {
         WithRegister(dir, [](SnyltdyrRegister& r) {
           GoToRecord(r.SnyltdyrTable, 20);
           r.SnyltdyrTable.Delete();
         });
       }, 20},
      {"Fiks formatering", [](const std::string& dir) {
         WithRegister(dir, [](SnyltdyrRegister& r) { r.BitBtn1Click(); });
       }, 0},
  };
}

class SharedTable : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    SetRegional(NorwegianSettings());
    master_ = new testsupport::TempDir();
    const std::string dir = master_->path();
    CreateSampleTable(dir, kRecords, 14);
    // The newest observation: a leaf of its own at the end of the date order.
    WithRegister(dir, [](SnyltdyrRegister& r) {
      r.SnyltdyrTable.Insert();
      r.SnyltdyrTableDATO.SetAsString("31.12.2099");
      r.SnyltdyrTable.Post();
    });
    TTable t("Setup");
    t.SetDatabaseName(dir);
    t.SetTableName(kObservationTableName);
    t.CreateIndex("BYGG", "BYGG");
    // Keys of 90 characters, ten to a node: a tree of four levels whose nodes split,
    // empty and go as the changes and "Fiks formatering" rewrite the texts.
    t.CreateIndex("TEKST", "SNYLTDYR+ORGAN+BEHANDL", ixExpression);
    StopDefaultSession();
  }
  static void TearDownTestSuite() {
    delete master_;
    master_ = nullptr;
  }

  static testsupport::TempDir* master_;
  testsupport::TempDir work_;
};

testsupport::TempDir* SharedTable::master_ = nullptr;

struct Tally {
  int in_step = 0;           // the index agreed with the table at once
  int completed = 0;         // a change left pending was completed when the table opened
  int refused_rebuilt = 0;   // refused with the rebuild message, then rebuilt
  int other = 0;
};

// Judges the table in `dir` after a kill: see the top of the file.
void Judge(const std::string& dir, const Scenario& s, const Contents& before,
           const Contents& after, Tally& tally, const std::string& where) {
  SCOPED_TRACE(where);
  const bool pending = ChangePending(dir);
  const std::vector<std::string> records = StoredRecords(dir);
  ASSERT_GE(records.size(), before.records.size());
  ASSERT_LE(records.size(), after.records.size());
  for (size_t i = 0; i < records.size(); ++i) {
    const bool written = s.recno == 0 || static_cast<size_t>(s.recno) == i + 1;
    const bool as_before = i < before.records.size() && records[i] == before.records[i];
    // An append killed after its record was counted, before it was made live: the record
    // is there marked deleted, so that every reader sees it gone alike.
    const bool appended_deleted = written && i >= before.records.size() && records[i][0] == '*' &&
                                  records[i].compare(1, std::string::npos, after.records[i], 1) == 0;
    EXPECT_TRUE(as_before || appended_deleted || (written && records[i] == after.records[i]))
        << "record " << i + 1 << " changed";
  }
  // Opening for writing completes a change left half done, or refuses with the reason.
  std::string reason;
  {
    SnyltdyrRegister r;
    r.SnyltdyrTable.SetDatabaseName(dir);
    r.OpenHere();
    reason = r.ReadOnlyReason();
    EXPECT_EQ(r.SnyltdyrTable.Modifiable(), reason.empty());
  }
  const std::vector<std::string> comments = StoredComments(dir);
  for (size_t i = 0; i < comments.size(); ++i) {
    const bool written = s.recno == 0 || static_cast<size_t>(s.recno) == i + 1;
    EXPECT_TRUE((i < before.comments.size() && comments[i] == before.comments[i]) ||
                (written && comments[i] == after.comments[i]))
        << "the comment of record " << i + 1 << " changed";
  }
  if (reason.empty()) {
    const std::string problems = IndexProblems(dir);
    EXPECT_EQ(problems, "");
    if (problems.empty()) ++(pending ? tally.completed : tally.in_step);
    else ++tally.other;
    return;
  }
  EXPECT_NE(reason.find("snyltdyr-cli reindex"), std::string::npos) << reason;
  TTable t("Rebuild");
  t.SetDatabaseName(dir);
  t.SetTableName(kObservationTableName);
  t.RebuildIndexes();
  const std::string problems = IndexProblems(dir);
  SnyltdyrRegister r;
  r.SnyltdyrTable.SetDatabaseName(dir);
  r.OpenHere();
  const bool ok = problems.empty() && r.SnyltdyrTable.Modifiable();
  EXPECT_TRUE(ok) << problems << r.ReadOnlyReason();
  ++(ok ? tally.refused_rebuilt : tally.other);
}

TEST_F(SharedTable, AWriterKilledAtAnyPointLeavesATableInStepOrRefusedUntilRebuilt) {
  const int fix_kills = [] {
    const char* text = std::getenv("SNYLTDYR_CRASH_KILLS");
    return text && std::atoi(text) > 0 ? std::atoi(text) : 40;
  }();
  Tally total;
  int kills = 0;
  const Contents before = Read(master_->path());
  for (const Scenario& s : Scenarios()) {
    const std::string done = work_.File("done");
    testsupport::CopyFolderFiles(master_->path(), done);
    if (s.prepare) s.prepare(done);
    const uint64_t writes = WritesOf([&] { s.change(done); });
    const Contents after = Read(done);
    ASSERT_GT(writes, 0u) << s.name;
    std::vector<uint64_t> points;
    const uint64_t step = s.recno == 0 ? std::max<uint64_t>(1, writes / fix_kills) : 1;
    for (uint64_t k = s.recno == 0 ? step / 2 : 0; k < writes; k += step) points.push_back(k);
    Tally tally;
    for (uint64_t k : points) {
      const std::string dir = work_.File("killed");
      testsupport::CopyFolderFiles(master_->path(), dir);
      if (s.prepare) s.prepare(dir);
      ASSERT_TRUE(KilledAt(k, [&] { s.change(dir); })) << s.name << " ended before write " << k;
      ++kills;
      Judge(dir, s, before, after, tally, std::string(s.name) + ", killed before write " +
                                              std::to_string(k) + " of " + std::to_string(writes));
      if (HasFatalFailure()) return;
    }
    std::printf("%-20s %4zu kills (of %6llu writes): %3d in step, %3d completed at opening, "
                "%3d refused then rebuilt, %d other\n",
                s.name, points.size(), static_cast<unsigned long long>(writes), tally.in_step,
                tally.completed, tally.refused_rebuilt, tally.other);
    total.in_step += tally.in_step;
    total.completed += tally.completed;
    total.refused_rebuilt += tally.refused_rebuilt;
    total.other += tally.other;
  }
  std::printf("%d kills: %d in step, %d completed at opening, %d refused then rebuilt, %d other\n",
              kills, total.in_step, total.completed, total.refused_rebuilt, total.other);
  EXPECT_EQ(total.other, 0);
}

TEST_F(SharedTable, OpeningForWritingWhileAnotherProcessWritesIsNeverRefused) {
  const std::string dir = work_.File("busy");
  testsupport::CopyFolderFiles(master_->path(), dir);
  const size_t records_before = StoredRecords(dir).size();
  int pipe_fds[2];
  ASSERT_EQ(::pipe(pipe_fds), 0);
  const pid_t writer = ::fork();
  if (writer == 0) {  // appends and edits until told to stop (the pipe closes)
    ::close(pipe_fds[1]);
    int code = 0;
    try {
      WithRegister(dir, [&](SnyltdyrRegister& r) {
        TTable& t = r.SnyltdyrTable;
        for (int i = 0;; ++i) {
          fd_set ready;
          FD_ZERO(&ready);
          FD_SET(pipe_fds[0], &ready);
          timeval now{0, 0};
          if (::select(pipe_fds[0] + 1, &ready, nullptr, nullptr, &now) > 0) break;
          if (i % 2 == 0) {
            t.Insert();
            t.FieldByName("DATO").SetAsString("0" + std::to_string(1 + i % 9) + ".03.2001");
            t.FieldByName("BYGG").SetAsString("N" + std::to_string(i % 50));
            t.Post();
          } else {
            GoToRecord(t, 1 + (i * 37) % kRecords);
            t.Edit();
            t.FieldByName("DATO").SetAsString("1" + std::to_string(i % 9) + ".0" +
                                              std::to_string(1 + i % 9) + ".2002");
            t.Post();
            t.SetIndexName(kDateIndexName);
          }
        }
      });
    } catch (const Exception& e) {
      std::fprintf(stderr, "writer: %s\n", e.Message().c_str());
      code = 1;
    }
    ::_exit(code);
  }
  ::close(pipe_fds[0]);
  int openings = 0, refused = 0, read_only = 0, walk_failures = 0;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(4);
  while (std::chrono::steady_clock::now() < until || openings < 50) {
    SnyltdyrRegister r;
    r.SnyltdyrTable.SetDatabaseName(dir);
    ++openings;
    try {
      r.OpenHere();
    } catch (const Exception& e) {
      ++refused;
      ADD_FAILURE() << "opening " << openings << " refused: " << e.Message();
      continue;
    }
    if (!r.SnyltdyrTable.Modifiable()) {
      ++read_only;
      ADD_FAILURE() << "opening " << openings << " read-only: " << r.ReadOnlyReason();
    }
    try {  // a walk in date order while the index changes under it
      TTable& t = r.SnyltdyrTable;
      t.Last();
      for (int i = 0; i < 30 && !t.AtStart(); ++i) t.Prior();
      for (int i = 0; i < 60 && !t.AtEnd(); ++i) t.Next();
    } catch (const Exception& e) {
      ++walk_failures;
      ADD_FAILURE() << "walk: " << e.Message();
    }
    if (openings > 400) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));  // people open tables, not loops
  }
  ::close(pipe_fds[1]);
  int status = 0;
  ::waitpid(writer, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const size_t appended = StoredRecords(dir).size() - records_before;
  EXPECT_GT(appended, 0u);
  std::printf("%d openings for writing while another process appended %zu records and edited "
              "as many: %d refused, %d read-only, %d walks failed\n",
              openings, appended, refused, read_only, walk_failures);
  EXPECT_EQ(IndexProblems(dir), "");
}

}  // namespace
}  // namespace snyltdyr
