// Hostile and damaged files: a FIFO or directory in place of a file, index trees whose
// pointers lead back to nodes already walked, a page count or a memo append point far
// beyond the file. Each is refused with a message naming the file and the problem, or
// read correctly; no walk runs on without end, and nothing is written beyond the file.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <set>
#include <thread>

#include "index_test_support.h"
#include "storage/engine/engine.h"
#include "storage/engine/index/index_order.h"
#include "storage/engine/index/index_production.h"
#include "storage/engine/index/mdx_file.h"
#include "storage/engine/index/mdx_tag.h"
#include "support/table_builder.h"
#include "support/temp_dir.h"

namespace snyltdyr::engine {
namespace {

using testsupport::Date;
using testsupport::Text;

std::string ErrorText() {
  std::string text;
  ErrorEntry e;
  for (uint16_t i = 1; GetErrorEntry(i, e) == kOk; ++i) text += e.text + "\n";
  return text;
}

class HostileFilesTest : public ::testing::Test {
 protected:
  // OBS.DBF (DATO, BYGG, KOMENT memo, TALL) with 300 records, a DATO tag of several
  // leaves and a BYGG tag.
  void SetUp() override {
    db_ = engine_.Database(dir_.path());
    testsupport::CreateTable(db_, "OBS.DBF",
                             {{"DATO", 'D'}, {"BYGG", 'C', 9}, {"KOMENT", 'M'}, {"TALL", 'N', 6, 1}}, 0x17);
    Handle cur = testsupport::OpenCursor(db_, "OBS.DBF");
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> day(1, 28), mon(1, 12), year(2015, 2025);
    for (int i = 0; i < 300; ++i)
      testsupport::AppendRow(cur, {Date(year(rng), mon(rng), day(rng)), Text("K" + std::to_string(i % 7)),
                                   i < 3 ? Text("merknad " + std::to_string(i)) : testsupport::Blank(),
                                   testsupport::Number(i / 10.0)});
    CloseCursor(cur);
    for (const char* name : {"DATO", "BYGG"}) {
      IndexDescriptor tag;
      tag.tag_name = name;
      tag.field_numbers = {static_cast<uint16_t>(std::string(name) == "DATO" ? 1 : 2)};
      ASSERT_EQ(AddIndexToTable(db_, "OBS.DBF", "DBASE", tag), kOk);
    }
  }

  Result Open(Handle& cur, OpenMode mode, const std::string& tag = "") {
    OpenTableArgs args;
    args.open_mode = mode;
    args.database = db_;
    args.table_name = "OBS.DBF";
    args.index_tag = tag;
    cur = kNoHandle;
    return OpenTable(args, cur);
  }

  // The DATO tag's root (a branch) and its children.
  MdxNode DatoRoot() {
    std::unique_ptr<MdxFile> file;
    EXPECT_TRUE(MdxFile::Open(dir_.File("OBS.MDX"), false, file));
    std::unique_ptr<MdxTag> tag;
    EXPECT_TRUE(MdxTag::Load(*file, file->tags().front(), tag));
    MdxNode root;
    EXPECT_TRUE(tag->ReadNode(tag->root(), root));
    return root;
  }

  void PatchU32(const std::string& file, uint64_t offset, uint32_t value) {
    std::fstream f(dir_.File(file), std::ios::in | std::ios::out | std::ios::binary);
    char bytes[4];
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(value >> (8 * i));
    f.seekp(static_cast<std::streamoff>(offset));
    f.write(bytes, 4);
  }

  // Writes a branch at `page` with `n` keys (all zero) whose every child is `child`.
  void WriteBranch(uint32_t page, uint32_t child, uint32_t n, uint32_t item) {
    std::string block(1024, '\0');
    PutU32(block, 0, n);
    for (uint32_t i = 0; i <= n; ++i) PutU32(block, 8 + i * item, child);
    std::fstream f(dir_.File("OBS.MDX"), std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(page) * kMdxPageSize);
    f.write(block.data(), static_cast<std::streamsize>(block.size()));
  }

  // Walks the cursor's order to its end: the record numbers met and how the walk ended.
  static Result Walk(Handle cur, bool forward, std::vector<uint32_t>& recnos) {
    forward ? SetToBeginning(cur) : SetToEnd(cur);
    RecordProperties props;
    Result r;
    while ((r = forward ? GetNextRecord(cur, LockMode::kNoLock, nullptr, &props)
                        : GetPriorRecord(cur, LockMode::kNoLock, nullptr, &props)) == kOk) {
      recnos.push_back(props.physical_number);
      if (recnos.size() > 10000) break;  // the walk would never end
    }
    return r;
  }

  testsupport::EngineSession engine_;
  testsupport::TempDir dir_;
  Handle db_ = kNoHandle;
};

// Opens OBS.DBF on another thread, so that a FIFO that blocks the opening fails the test
// instead of hanging it: after a while the FIFOs get a writer, which ends the wait.
Result OpenWithoutWaiting(Handle db, OpenMode mode, const std::vector<std::string>& fifos,
                          Handle& cur, std::string& text) {
  std::mutex m;
  std::condition_variable done_cv;
  bool done = false;
  Result r = kOk;
  std::thread opener([&] {
    OpenTableArgs args;
    args.open_mode = mode;
    args.database = db;
    args.table_name = "OBS.DBF";
    const Result result = OpenTable(args, cur);
    const std::string why = ErrorText();
    std::lock_guard<std::mutex> lock(m);
    r = result;
    text = why;
    done = true;
    done_cv.notify_all();
  });
  std::unique_lock<std::mutex> lock(m);
  if (!done_cv.wait_for(lock, std::chrono::seconds(10), [&] { return done; })) {
    ADD_FAILURE() << "opening waited on a FIFO";
    for (const std::string& fifo : fifos) ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
    done_cv.wait(lock, [&] { return done; });
  }
  lock.unlock();
  opener.join();
  return r;
}

TEST_F(HostileFilesTest, AFifoOrDirectoryInPlaceOfAFileIsRefusedAtOnce) {
  for (const char* name : {"OBS.DBT", "OBS.MDX", "OBS.DBF"}) {
    SCOPED_TRACE(name);
    const std::string path = dir_.File(name), kept = path + ".kept";
    for (bool fifo : {true, false}) {
      std::filesystem::rename(path, kept);
      ASSERT_EQ(fifo ? ::mkfifo(path.c_str(), 0600) : ::mkdir(path.c_str(), 0700), 0);
      Handle cur = kNoHandle;
      std::string text;
      const Result writing = OpenWithoutWaiting(db_, OpenMode::kReadWrite, {path}, cur, text);
      EXPECT_NE(text.find(path + " is " + (fifo ? "a FIFO" : "a directory")), std::string::npos) << text;
      if (std::string(name) == "OBS.DBF") {
        EXPECT_EQ(writing, kErrReadFailed);
      } else {
        // The table itself is sound: it reads, in record order, and is not written.
        EXPECT_EQ(writing, kErrTableReadOnly);
        EXPECT_EQ(OpenWithoutWaiting(db_, OpenMode::kReadOnly, {path}, cur, text), kOk) << text;
        uint32_t count = 0;
        EXPECT_EQ(GetRecordCount(cur, count), kOk);
        EXPECT_EQ(count, 300u);
        CloseCursor(cur);
      }
      std::filesystem::remove(path);
      std::filesystem::rename(kept, path);
    }
  }
}

// One child pointer of the root aimed at its neighbour: the walk would give that leaf's
// records twice and never those of the leaf it lost.
TEST_F(HostileFilesTest, AWalkThatReachesALeafTwiceStopsWithTheDamagedIndexMessage) {
  const MdxNode root = DatoRoot();
  ASSERT_FALSE(root.leaf);
  ASSERT_GE(root.size(), 2u);
  const uint32_t item = 12;  // date keys: 8 bytes and the pointer
  PatchU32("OBS.MDX", uint64_t{root.page} * kMdxPageSize + 8 + 1 * item, root.ptrs[0]);
  Handle cur = kNoHandle;
  // The opening counts the tag's entries, finds a leaf linked twice and never walks it:
  // the tag is refused with the damaged-index message naming the file and the tag.
  EXPECT_EQ(Open(cur, OpenMode::kReadOnly, "DATO"), kErrDamagedIndex);
  EXPECT_NE(ErrorText().find("OBS.MDX is damaged (tag DATO: "), std::string::npos) << ErrorText();
  ASSERT_EQ(Open(cur, OpenMode::kReadOnly), kOk);
  for (bool forward : {true, false}) {
    ASSERT_EQ(SwitchToIndex(cur, "", "DATO", 0, false), kErrDamagedIndex);
    std::vector<uint32_t> recnos;
    EXPECT_EQ(Walk(cur, forward, recnos), forward ? kErrEndOfTable : kErrBeginningOfTable);
    EXPECT_EQ(recnos.size(), 300u);
  }
  // In record order the table still reads whole.
  ASSERT_EQ(SwitchToIndex(cur, "", "", 0, false), kOk);
  std::vector<uint32_t> recnos;
  EXPECT_EQ(Walk(cur, true, recnos), kErrEndOfTable);
  EXPECT_EQ(recnos.size(), 300u);
  CloseCursor(cur);
  // An opening for writing checks the whole index first and stays read-only.
  EXPECT_EQ(Open(cur, OpenMode::kReadWrite), kErrTableReadOnly);
}

// Branches whose every pointer aims at the next node down, over an empty leaf and over a
// leaf with entries: once a step called itself per empty leaf (84 to the third power of
// them: the stack overflowed) and a walk gave one leaf's records as often.
TEST_F(HostileFilesTest, BranchesThatAllAimAtOneNodeEndTheWalk) {
  const MdxNode root = DatoRoot();
  const uint32_t leaf = root.ptrs[0], spare1 = root.ptrs[1], spare2 = root.ptrs[2];
  for (bool empty : {true, false}) {
    SCOPED_TRACE(empty ? "empty leaf" : "leaf with entries");
    WriteBranch(root.page, spare1, 83, 12);
    WriteBranch(spare1, spare2, 83, 12);
    WriteBranch(spare2, leaf, 83, 12);
    if (empty) WriteBranch(leaf, 0, 0, 12);  // n = 0 and no last child: an empty leaf
    Handle cur = kNoHandle;
    // The opening's count of the tag's entries meets it first, and the tag is not used.
    EXPECT_EQ(Open(cur, OpenMode::kReadOnly, "DATO"), kErrDamagedIndex);
    EXPECT_NE(ErrorText().find("OBS.MDX is damaged (tag DATO"), std::string::npos) << ErrorText();
    // The walk itself is bounded as well, for a tree that changes after the opening.
    const testing::MemTable t = testing::ReadDbf(dir_.File("OBS.DBF"));
    std::unique_ptr<ProductionIndex> index;
    ASSERT_TRUE(ProductionIndex::Open(dir_.File("OBS.MDX"), t.fields, t.code_page, false, index));
    std::unique_ptr<RecordOrder> order = MakeTagOrder(*index, [&t] { return t.Indexed(); }, "DATO");
    for (bool forward : {true, false}) {
      OrderPos pos;
      Result r = forward ? order->First(pos) : order->Last(pos);
      size_t given = 0;
      while (r == kOk && given <= 84) {
        ++given;
        const OrderPos from = pos;
        r = forward ? order->Next(from, pos) : order->Prior(from, pos);
      }
      EXPECT_EQ(r, kErrDamagedIndex);
      EXPECT_NE(ErrorText().find("tag DATO is damaged"), std::string::npos) << ErrorText();
      EXPECT_LE(given, 84u);
    }
  }
}

// The index header counts 0xFFFFFFF0 pages: the first new block would have gone 2 TB into
// the file, and adding a tag reported success.
TEST_F(HostileFilesTest, APageCountBeyondTheFileRefusesEveryWrite) {
  PatchU32("OBS.MDX", 32, 0xFFFFFFF0u);
  const uintmax_t size = std::filesystem::file_size(dir_.File("OBS.MDX"));
  Handle cur = kNoHandle;
  EXPECT_EQ(Open(cur, OpenMode::kReadWrite), kErrTableReadOnly);
  EXPECT_NE(ErrorText().find("the index header counts 4294967280 pages"), std::string::npos) << ErrorText();
  IndexDescriptor tall;
  tall.tag_name = "TALL";
  tall.field_numbers = {4};
  EXPECT_EQ(AddIndexToTable(db_, "OBS.DBF", "DBASE", tall), kErrTableReadOnly);
  EXPECT_NE(ErrorText().find("the index header counts 4294967280 pages"), std::string::npos) << ErrorText();
  EXPECT_EQ(std::filesystem::file_size(dir_.File("OBS.MDX")), size);
  // Reading in the tag's order is not affected.
  ASSERT_EQ(Open(cur, OpenMode::kReadOnly, "DATO"), kOk);
  std::vector<uint32_t> recnos;
  EXPECT_EQ(Walk(cur, true, recnos), kErrEndOfTable);
  EXPECT_EQ(recnos.size(), 300u);
  CloseCursor(cur);

  // Below the index, too: no block is added past the end of the file.
  std::unique_ptr<MdxFile> file;
  ASSERT_TRUE(MdxFile::Open(dir_.File("OBS.MDX"), true, file));
  uint32_t page = 0;
  const IndexStatus s = file->AllocateBlock(page);
  EXPECT_FALSE(s);
  EXPECT_NE(s.message().find("OBS.MDX"), std::string::npos) << s.message();
  EXPECT_EQ(std::filesystem::file_size(dir_.File("OBS.MDX")), size);
}

// The memo header's next free block says 0xFFFFFFF0: a new memo went 2 TB into the file.
TEST_F(HostileFilesTest, AMemoAppendPointBeyondTheFileGivesMemosAtItsEnd) {
  PatchU32("OBS.DBT", 0, 0xFFFFFFF0u);
  const uintmax_t size = std::filesystem::file_size(dir_.File("OBS.DBT"));
  Handle cur = kNoHandle;
  ASSERT_EQ(Open(cur, OpenMode::kReadWrite), kOk) << ErrorText();
  std::vector<uint8_t> buf = testsupport::NewBuffer(cur);
  ASSERT_EQ(GetNextRecord(cur, LockMode::kWriteLock, buf.data(), nullptr), kOk);
  const std::string memo(700, 'm');
  testsupport::SetMemo(cur, buf, 3, memo);
  ASSERT_EQ(ModifyRecord(cur, buf.data(), true), kOk) << ErrorText();
  EXPECT_LE(std::filesystem::file_size(dir_.File("OBS.DBT")), size + 2 * 512);
  ASSERT_EQ(SetToBeginning(cur), kOk);
  ASSERT_EQ(GetNextRecord(cur, LockMode::kNoLock, buf.data(), nullptr), kOk);
  EXPECT_EQ(testsupport::ReadMemo(cur, buf, 3), memo);
  CloseCursor(cur);
}

// Key expressions in tag headers are checked when the tag is read: one that would format
// two billion characters per key makes the table read-only, and the tag gives no order
// (its entries cannot be checked); record order gives every record.
TEST_F(HostileFilesTest, AHostileKeyExpressionInATagHeaderIsRefusedWhenTheTagIsRead) {
  std::unique_ptr<MdxFile> file;
  ASSERT_TRUE(MdxFile::Open(dir_.File("OBS.MDX"), false, file));
  const uint64_t header = uint64_t{file->tags().back().header_page} * kMdxPageSize;  // BYGG
  file.reset();
  for (const std::string expr : {"STR(TALL,2000000000,2000000000)", "SUBSTR(BYGG,99999999999,2)",
                                 "BYGG+BYGG+BYGG+BYGG+BYGG+BYGG+BYGG+BYGG+BYGG+BYGG+BYGG+BYGG"}) {
    SCOPED_TRACE(expr);
    std::fstream f(dir_.File("OBS.MDX"), std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(header + 24));
    f.write(expr.c_str(), static_cast<std::streamsize>(expr.size() + 1));
    f.close();
    Handle cur = kNoHandle;
    EXPECT_EQ(Open(cur, OpenMode::kReadWrite), kErrTableReadOnly);
    EXPECT_NE(ErrorText().find("\"" + expr + "\", which this program cannot evaluate"), std::string::npos)
        << ErrorText();
    EXPECT_EQ(Open(cur, OpenMode::kReadOnly, "BYGG"), kErrIndexOutOfDate);
    ASSERT_EQ(Open(cur, OpenMode::kReadOnly), kOk);
    std::vector<uint32_t> recnos;
    EXPECT_EQ(Walk(cur, true, recnos), kErrEndOfTable);
    EXPECT_EQ(recnos.size(), 300u);
    CloseCursor(cur);
  }
}

}  // namespace
}  // namespace snyltdyr::engine
