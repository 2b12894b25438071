// Passes over the whole selection (the count and grade, "Fiks formatering", the export's
// ordered walk) against what a record-by-record walk and an independent reader see, and
// against another process writing the same table meanwhile.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "register/sample_observations.h"
#include "register/severity.h"
#include "register/snyltdyr_register.h"
#include "runtime/regional_settings.h"
#include "storage/engine/datafile/record_cache.h"
#include "storage/session.h"
#include "support/table_files.h"
#include "support/temp_dir.h"

namespace snyltdyr {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kRecords = 6000;

// Opens the table of `dir` the way the window does, without a selection.
void OpenRegister(SnyltdyrRegister& r, const std::string& dir) {
  r.SnyltdyrTable.SetDatabaseName(dir);
  r.OpenHere();
}

// Runs `body` in a child process with a table of its own opening; the child's status.
pid_t InChild(const std::function<void()>& body) {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  int code = 0;
  try {
    body();
  } catch (const Exception& e) {
    std::fprintf(stderr, "child: %s\n", e.Message().c_str());
    code = 1;
  } catch (...) {
    code = 2;
  }
  ::_exit(code);
}

bool ExitedWell(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class SelectionPass : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    SetRegional(NorwegianSettings());
    master_ = new testsupport::TempDir();
    CreateSampleTable(master_->path(), kRecords, 31);
    SnyltdyrRegister r;
    OpenRegister(r, master_->path());
    TTable& t = r.SnyltdyrTable;
    // Deleted records, which no pass may reach.
    t.SetIndexName("");
    t.First();
    for (int i = 0; i < 40; ++i) {
      t.MoveRelative(97);
      t.Delete();
    }
    t.Close();
    t.CreateIndex("BYGG", "BYGG");
    StopDefaultSession();
  }
  static void TearDownTestSuite() {
    delete master_;
    master_ = nullptr;
  }
  void SetUp() override { testsupport::CopyFolderFiles(master_->path(), dir_.path() + "/t"); }
  std::string Dir() const { return dir_.path() + "/t"; }

  static testsupport::TempDir* master_;
  testsupport::TempDir dir_;
};

testsupport::TempDir* SelectionPass::master_ = nullptr;

struct Seen {
  std::vector<int32_t> recnos;
  int64_t score = 0;
};

// Record by record, as the window's walk goes: First, then Next to the end.
Seen PlainWalk(TTable& t) {
  Seen seen;
  for (t.First(); !t.AtEnd(); t.Next()) {
    seen.recnos.push_back(t.RecordNumber());
    seen.score += AmountScore(t.FieldByName("MENGDE").AsString());
  }
  return seen;
}

Seen Pass(TTable& t, TPassOrder order, int32_t& total) {
  Seen seen;
  total = t.VisitSelection(
      [&] {
        seen.recnos.push_back(t.RecordNumber());
        seen.score += AmountScore(t.FieldByName("MENGDE").AsString());
      },
      order);
  return seen;
}

TEST_F(SelectionPass, PassesInEveryOrderReachTheRecordsOfTheWalkAndOfTheIndependentReader) {
  const std::vector<testsupport::DbfRow> rows = testsupport::DbfreadRows(Dir());
  ASSERT_EQ(rows.size(), static_cast<size_t>(kRecords - 40));
  int64_t reader_all = 0, reader_haptor = 0, haptor_count = 0;
  for (const auto& row : rows) {
    const int64_t score = AmountScore(row.at("MENGDE"));
    reader_all += score;
    if (row.at("SNYLTDYR") == "Haptor Mark" && row.at("MENGDE") != "-") {
      reader_haptor += score;
      ++haptor_count;
    }
  }
  ASSERT_GT(haptor_count, 0);

  SnyltdyrRegister r;
  OpenRegister(r, Dir());
  TTable& t = r.SnyltdyrTable;
  for (const char* index : {"", "DATO", "BYGG"}) {
    for (bool haptor : {false, true}) {
      SCOPED_TRACE(std::string("index '") + index + (haptor ? "', Haptor found" : "', all"));
      t.SetIndexName(index);
      t.SetFilter(haptor ? "SNYLTDYR='Haptor Mark' AND MENGDE<>'-'" : "");
      t.SetFiltered(haptor);
      const Seen walk = PlainWalk(t);
      EXPECT_EQ(walk.recnos.size(), static_cast<size_t>(haptor ? haptor_count : kRecords - 40));
      EXPECT_EQ(walk.score, haptor ? reader_haptor : reader_all);

      int32_t total = 0;
      const Seen ordered = Pass(t, poShownOrder, total);
      EXPECT_EQ(ordered.recnos, walk.recnos);  // the same records in the same order
      EXPECT_EQ(total, static_cast<int32_t>(walk.recnos.size()));
      EXPECT_TRUE(t.AtEnd());

      Seen any = Pass(t, poAnyOrder, total);
      EXPECT_EQ(total, static_cast<int32_t>(walk.recnos.size()));
      std::vector<int32_t> sorted_walk = walk.recnos;
      std::sort(sorted_walk.begin(), sorted_walk.end());
      std::sort(any.recnos.begin(), any.recnos.end());
      EXPECT_EQ(any.recnos, sorted_walk);  // every record once
      EXPECT_EQ(any.score, walk.score);
      // The last record of the selection is current after a pass, as after the walk.
      EXPECT_EQ(t.RecordNumber(), walk.recnos.back());
    }
  }
  // The count and grade: the reader's sum over its count.
  t.SetFiltered(false);
  t.SetIndexName(kDateIndexName);
  r.summer();
  EXPECT_EQ(r.AntallText(), std::to_string(kRecords - 40));
  EXPECT_EQ(r.LastAverage(), static_cast<int32_t>(reader_all / (kRecords - 40)));
}

// A pass reading the table while another process changes a record ahead of it: once the
// change is committed and the cache's bound has passed, the walk sees the new value.
TEST_F(SelectionPass, WalksSeeAnotherProcesssCommittedChangeWithinTheBound) {
  const auto bound = std::chrono::milliseconds(engine::RecordCache::kFreshForMs + 30);
  auto change_in_child = [&](int32_t recno, const std::string& bygg) {
    const pid_t child = InChild([&] {
      SnyltdyrRegister other;
      OpenRegister(other, Dir());
      TTable& o = other.SnyltdyrTable;
      o.SetIndexName("");
      o.First();
      o.MoveRelative(recno - 1);
      o.Edit();
      o.FieldByName("BYGG").SetAsString(bygg);
      o.Post();
      other.FormClose();
    });
    ASSERT_TRUE(ExitedWell(child));
    std::this_thread::sleep_for(bound);
  };
  SnyltdyrRegister r;
  OpenRegister(r, Dir());
  TTable& t = r.SnyltdyrTable;
  const int32_t target = 30;  // among the first records, read together with the first

  // The navigating walk in record order: record 1 read, its neighbours with it.
  t.SetIndexName("");
  t.First();
  change_in_child(target, "WALK");
  while (t.RecordNumber() < target) t.Next();
  EXPECT_EQ(t.FieldByName("BYGG").AsString(), "WALK");

  // Passes, in the file's order and in the index's: the change is made while the pass
  // stands on its first record.
  for (TPassOrder order : {poAnyOrder, poShownOrder}) {
    const std::string mark = order == poAnyOrder ? "ANY" : "SHOWN";
    t.SetIndexName(order == poAnyOrder ? "" : "BYGG");
    bool changed = false;
    std::string seen;
    t.VisitSelection(
        [&] {
          if (!changed) {
            changed = true;
            change_in_child(target, mark);
          }
          if (t.RecordNumber() == target) seen = t.FieldByName("BYGG").AsString();
        },
        order);
    EXPECT_EQ(seen, mark);
  }
}

// "Fiks formatering" while another process edits records of the same table: neither the
// pass's normalised values nor the other process's edits are lost, and the index agrees.
TEST_F(SelectionPass, FixFormattingWhileAnotherProcessEditsLosesNeitherUpdate) {
  // What the pass alone makes of the table.
  const std::string alone = dir_.path() + "/alone";
  testsupport::CopyFolderFiles(Dir(), alone);
  {
    SnyltdyrRegister r;
    OpenRegister(r, alone);
    r.BitBtn1Click();
  }
  const std::vector<testsupport::DbfRow> reference = testsupport::DbfreadRows(alone);

  int ready[2], done[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(done), 0);
  // Edits BYGG (which the normaliser leaves alone) of every 53rd live record, in rounds,
  // without normalising, until the pass is over; a record the pass holds is tried again.
  // Tells its last round at the end.
  const pid_t editor = InChild([&] {
    ::close(ready[0]);
    ::close(done[1]);
    TTable o("Editor");
    o.SetDatabaseName(Dir());
    o.SetTableName(kObservationTableName);
    o.Open();
    int round = 0;
    for (;; ++round) {
      int k = 0;
      for (o.First(); !o.AtEnd(); o.Next(), ++k) {
        if (k % 53 != 0) continue;
        for (;;) {
          try {
            o.Edit();
            o.FieldByName("BYGG").SetAsString("E" + std::to_string(round));
            o.Post();
            break;
          } catch (const EDatabaseError&) {
            if (o.DataState() != StateBrowse) o.Cancel();  // held by the pass for a moment
          }
        }
        if (round == 0 && k == 0 && ::write(ready[1], "r", 1) != 1) ::_exit(4);
      }
      fd_set set;
      FD_ZERO(&set);
      FD_SET(done[0], &set);
      timeval now{0, 0};
      if (::select(done[0] + 1, &set, nullptr, nullptr, &now) > 0) break;
    }
    o.Close();
    if (::write(ready[1], &round, sizeof round) != sizeof round) ::_exit(5);
  });
  ::close(ready[1]);
  ::close(done[0]);
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);  // the editor is at work
  TRewriteCount count;
  {
    SnyltdyrRegister r;
    OpenRegister(r, Dir());
    // A pass slowed down enough to meet the editor in many of its batches.
    r.SnyltdyrTable.BeforePost = [&r](TDataSet&) {
      r.Fix();
      std::this_thread::sleep_for(std::chrono::microseconds(50));
    };
    count = r.BitBtn1Click();
  }
  ::close(done[1]);
  int last_round = -1;
  ASSERT_EQ(::read(ready[0], &last_round, sizeof last_round), static_cast<ssize_t>(sizeof last_round));
  ASSERT_TRUE(ExitedWell(editor));
  EXPECT_EQ(count.records, kRecords - 40);
  EXPECT_GT(last_round, 0);  // the editor went on after the pass began

  const std::vector<testsupport::DbfRow> rows = testsupport::DbfreadRows(Dir());
  ASSERT_EQ(rows.size(), reference.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    for (const auto& [name, value] : reference[i]) {
      if (name == "BYGG") continue;
      EXPECT_EQ(rows[i].at(name), value) << "row " << i << ", " << name;  // the pass's values
    }
    // The editor's last value, or the pass's for a record it did not edit.
    EXPECT_EQ(rows[i].at("BYGG"), i % 53 == 0 ? "E" + std::to_string(last_round) : reference[i].at("BYGG"))
        << "row " << i;
  }
  EXPECT_EQ(testsupport::IndexProblems(Dir()), "");
}

}  // namespace
}  // namespace snyltdyr
