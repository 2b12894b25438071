// Shared access between processes: record locks, exclusive opens, the byte-range lock
// conventions other programs see, read-only files, and records other users add.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "storage/engine/engine.h"
#include "support/table_builder.h"
#include "support/temp_dir.h"

namespace snyltdyr::engine {
namespace {

// Runs `body` in a child process and gives its result code. The child starts from a
// copy of this process, so it opens its own cursors (its own openings of the files).
Result InChild(const std::function<Result()>& body) {
  pid_t pid = ::fork();
  if (pid == 0) ::_exit(static_cast<int>(body() & 0xFF));
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? static_cast<Result>(WEXITSTATUS(status)) : 0xFF;
}

// A child answers only a byte; the codes tested here differ in their low byte.
uint8_t Low(Result r) { return static_cast<uint8_t>(r & 0xFF); }

class LockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = engine_.Database(dir_.path());
    testsupport::CreateTable(db_, "DELT.DBF", {{"NAVN", 'C', 8}}, 0x17);
    Handle cur = testsupport::OpenCursor(db_, "DELT.DBF");
    for (const char* n : {"en", "to", "tre"}) testsupport::AppendRow(cur, {testsupport::Text(n)});
    CloseCursor(cur);
  }

  // In a child: open the table and lock record `recno` for editing.
  Result ChildLocks(uint32_t recno, ShareMode share = ShareMode::kShared) {
    return InChild([this, recno, share] {
      OpenTableArgs args;
      args.database = db_;
      args.table_name = "DELT.DBF";
      args.share_mode = share;
      Handle cur;
      if (Result r = OpenTable(args, cur)) return r;
      for (uint32_t i = 0; i < recno; ++i)
        if (Result r = GetNextRecord(cur, LockMode::kNoLock, nullptr, nullptr)) return r;
      return GetRecord(cur, LockMode::kWriteLock, nullptr, nullptr);
    });
  }

  testsupport::EngineSession engine_;
  testsupport::TempDir dir_;
  Handle db_ = kNoHandle;
};

TEST_F(LockTest, ARecordBeingEditedCannotBeLockedByAnotherProcess) {
  Handle cur = testsupport::OpenCursor(db_, "DELT.DBF");
  ASSERT_EQ(GetNextRecord(cur, LockMode::kWriteLock, nullptr, nullptr), kOk);
  EXPECT_EQ(ChildLocks(1), Low(kErrRecordLocked));
  EXPECT_EQ(ChildLocks(2), kOk);  // other records stay free
  // A second opening in this process is another user too.
  Handle other = testsupport::OpenCursor(db_, "DELT.DBF");
  ASSERT_EQ(GetNextRecord(other, LockMode::kNoLock, nullptr, nullptr), kOk);
  EXPECT_EQ(GetRecord(other, LockMode::kWriteLock, nullptr, nullptr), kErrRecordLocked);
  ErrorEntry e;
  ASSERT_EQ(GetErrorEntry(1, e), kOk);
  EXPECT_EQ(e.code, kErrRecordLocked);
  EXPECT_NE(e.text.find("DELT.DBF: record 1."), std::string::npos) << e.text;
  // Posting releases the lock.
  std::vector<uint8_t> buf = testsupport::NewBuffer(cur);
  ASSERT_EQ(GetRecord(cur, LockMode::kNoLock, buf.data(), nullptr), kOk);
  ASSERT_EQ(ModifyRecord(cur, buf.data(), true), kOk);
  EXPECT_EQ(ChildLocks(1), kOk);
  EXPECT_EQ(GetRecord(other, LockMode::kWriteLock, nullptr, nullptr), kOk);
  // Closing releases every lock of the cursor.
  ASSERT_EQ(CloseCursor(other), kOk);
  EXPECT_EQ(ChildLocks(1), kOk);
}

TEST_F(LockTest, OtherProgramsSeeOurRecordLockAtTheConventionalOffset) {
  Handle cur = testsupport::OpenCursor(db_, "DELT.DBF");
  for (int i = 0; i < 2; ++i) ASSERT_EQ(GetNextRecord(cur, LockMode::kNoLock, nullptr, nullptr), kOk);
  ASSERT_EQ(GetRecord(cur, LockMode::kWriteLock, nullptr, nullptr), kOk);  // record 2
  // A program using classic fcntl locks on its own descriptor.
  const std::string path = dir_.File("DELT.DBF");
  auto probe = [&path](off_t offset) {
    return InChild([&path, offset]() -> Result {
      int fd = ::open(path.c_str(), O_RDWR);
      struct flock fl {};
      fl.l_type = F_WRLCK;
      fl.l_whence = SEEK_SET;
      fl.l_start = offset;
      fl.l_len = 1;
      if (fd < 0 || ::fcntl(fd, F_GETLK, &fl) != 0) return 2;
      return fl.l_type == F_UNLCK ? 0 : 1;
    });
  };
  EXPECT_EQ(probe(0xEFFFFFFELL - 2), 1);
  EXPECT_EQ(probe(0xEFFFFFFELL - 1), 0);
  EXPECT_EQ(probe(0xEFFFFFFELL - 3), 0);
}

TEST_F(LockTest, ExclusiveOpenIsRefusedWhileOthersHaveTheTableAndRefusesThem) {
  Handle shared = testsupport::OpenCursor(db_, "DELT.DBF");
  EXPECT_EQ(ChildLocks(1, ShareMode::kExclusive), Low(kErrTableInUse));
  CloseCursor(shared);
  EXPECT_EQ(ChildLocks(1, ShareMode::kExclusive), kOk);

  Handle exclusive = testsupport::OpenCursor(db_, "DELT.DBF", OpenMode::kReadWrite, ShareMode::kExclusive);
  EXPECT_EQ(ChildLocks(1), Low(kErrTableInUse));
  OpenTableArgs args;
  args.database = db_;
  args.table_name = "DELT.DBF";
  args.open_mode = OpenMode::kReadOnly;
  Handle reader;
  EXPECT_EQ(OpenTable(args, reader), kErrTableInUse);
  // The exclusive user edits without taking record locks and appends.
  ASSERT_EQ(GetNextRecord(exclusive, LockMode::kWriteLock, nullptr, nullptr), kOk);
  testsupport::AppendRow(exclusive, {testsupport::Text("fire")});
  uint32_t count = 0;
  ASSERT_EQ(GetExactRecordCount(exclusive, count), kOk);
  EXPECT_EQ(count, 4u);
}

TEST_F(LockTest, AnotherProgramsTableLockStopsEditsAndAppends) {
  // The other program follows only the byte-range conventions: it locks B and B + 1.
  int ready[2], done[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(done), 0);
  const std::string path = dir_.File("DELT.DBF");
  pid_t pid = ::fork();
  if (pid == 0) {
    int fd = ::open(path.c_str(), O_RDWR);
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0xEFFFFFFELL;
    fl.l_len = 2;
    char c = ::fcntl(fd, F_SETLK, &fl) == 0 ? 'y' : 'n';
    (void)!::write(ready[1], &c, 1);
    (void)!::read(done[0], &c, 1);
    ::_exit(0);
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');
  Handle cur = testsupport::OpenCursor(db_, "DELT.DBF");
  ASSERT_EQ(GetNextRecord(cur, LockMode::kNoLock, nullptr, nullptr), kOk);
  EXPECT_EQ(GetRecord(cur, LockMode::kWriteLock, nullptr, nullptr), kErrTableInUse);
  std::vector<uint8_t> buf = testsupport::NewBuffer(cur);
  EXPECT_EQ(AppendRecord(cur, buf.data()), kErrTableBusy);
  (void)!::write(done[1], "x", 1);
  ::waitpid(pid, nullptr, 0);
  EXPECT_EQ(GetRecord(cur, LockMode::kWriteLock, nullptr, nullptr), kOk);
  uint32_t count = 0;
  ASSERT_EQ(GetExactRecordCount(cur, count), kOk);
  EXPECT_EQ(count, 3u);  // the refused append left nothing behind
}

TEST_F(LockTest, RecordsAnotherProcessAddsAreSeenWithoutReopening) {
  Handle cur = testsupport::OpenCursor(db_, "DELT.DBF");
  ASSERT_EQ(SetToEnd(cur), kOk);
  ASSERT_EQ(GetPriorRecord(cur, LockMode::kNoLock, nullptr, nullptr), kOk);
  ASSERT_EQ(InChild([this] {
              Handle c = testsupport::OpenCursor(db_, "DELT.DBF");
              std::vector<uint8_t> buf = testsupport::NewBuffer(c);
              FieldValue v = testsupport::Text("fem");
              if (Result r = PutField(c, 1, buf.data(), v)) return r;
              return AppendRecord(c, buf.data());
            }),
            kOk);
  std::vector<uint8_t> buf = testsupport::NewBuffer(cur);
  ASSERT_EQ(GetNextRecord(cur, LockMode::kNoLock, buf.data(), nullptr), kOk);
  FieldValue v;
  ASSERT_EQ(GetField(cur, 1, buf.data(), v), kOk);
  EXPECT_EQ(v.text, "fem");
}

TEST_F(LockTest, AReadOnlyFileOpensOnlyForReading) {
  if (::geteuid() == 0) GTEST_SKIP() << "file permissions do not bind the superuser";
  ASSERT_EQ(::chmod(dir_.File("DELT.DBF").c_str(), 0444), 0);
  OpenTableArgs args;
  args.database = db_;
  args.table_name = "DELT.DBF";
  Handle cur;
  EXPECT_EQ(OpenTable(args, cur), kErrTableReadOnly);
  EXPECT_EQ(Category(kErrTableReadOnly), 0x2A);
  args.open_mode = OpenMode::kReadOnly;
  ASSERT_EQ(OpenTable(args, cur), kOk);
  EXPECT_EQ(GetNextRecord(cur, LockMode::kWriteLock, nullptr, nullptr), kErrTableReadOnly);
}

}  // namespace
}  // namespace snyltdyr::engine
