// A view of a file: copies what the file holds, and survives the file being cut shorter
// under it, answering false where a read would find nothing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "storage/engine/files/mapped_file.h"
#include "support/temp_dir.h"

namespace snyltdyr::engine {
namespace {

class MappedFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("DATA.DBF");
    fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(fd_, 0);
    std::string bytes(3 * 4096 + 100, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>('a' + i % 26);
    ASSERT_EQ(::pwrite(fd_, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
  }
  void TearDown() override { ::close(fd_); }

  testsupport::TempDir dir_;
  std::string path_;
  int fd_ = -1;
};

TEST_F(MappedFileTest, CopiesWhatTheFileHoldsNowAndNothingPastTheView) {
  if (!MappedFile::LocalFileSystem(fd_)) GTEST_SKIP() << "the test folder is not on a local file system";
  MappedFile view;
  ASSERT_TRUE(view.Map(fd_, 3 * 4096 + 100));
  char out[8] = {};
  ASSERT_TRUE(view.Copy(4096 + 1, 3, out));
  // Bytes 4097..4099 of the file: the letters from 'a' + 4097 % 26 on.
  EXPECT_EQ(std::string(out, 3), "pqr");
  // A write through the file is seen at once: the page cache is the same.
  ASSERT_EQ(::pwrite(fd_, "XYZ", 3, 4097), 3);
  ASSERT_TRUE(view.Copy(4097, 3, out));
  EXPECT_EQ(std::string(out, 3), "XYZ");
  // Past the view, or reaching past it: refused, not read.
  EXPECT_FALSE(view.Copy(3 * 4096 + 98, 3, out));
  EXPECT_FALSE(view.Copy(uint64_t{1} << 40, 1, out));
}

TEST_F(MappedFileTest, AFileCutShorterUnderTheViewIsRefusedNotAFault) {
  if (!MappedFile::LocalFileSystem(fd_)) GTEST_SKIP() << "the test folder is not on a local file system";
  MappedFile view;
  ASSERT_TRUE(view.Map(fd_, 3 * 4096 + 100));
  ASSERT_EQ(::ftruncate(fd_, 4096), 0);  // another program packs the table
  char out[8] = {};
  EXPECT_FALSE(view.Copy(2 * 4096 + 5, 4, out));  // the page is gone: caught, not a crash
  EXPECT_FALSE(view.Copy(3 * 4096, 4, out));
  EXPECT_TRUE(view.Copy(10, 4, out));  // what is left still reads
  EXPECT_EQ(std::string(out, 4), "klmn");
}

TEST_F(MappedFileTest, OnlyLocalFileSystemsAreViewedAndViewsCanBeSwitchedOff) {
  const int proc = ::open("/proc/self/status", O_RDONLY);
  ASSERT_GE(proc, 0);
  EXPECT_FALSE(MappedFile::LocalFileSystem(proc));
  MappedFile view;
  EXPECT_FALSE(view.Map(proc, 100));
  ::close(proc);
  if (!MappedFile::LocalFileSystem(fd_)) GTEST_SKIP() << "the test folder is not on a local file system";
  MappedFile::SetAllowed(false);
  EXPECT_FALSE(view.Map(fd_, 4096));
  MappedFile::SetAllowed(true);
  EXPECT_TRUE(view.Map(fd_, 4096));
}

TEST_F(MappedFileTest, ACoveringViewGrowsWithTheFileAndARefusalStays) {
  if (!MappedFile::LocalFileSystem(fd_)) GTEST_SKIP() << "the test folder is not on a local file system";
  MappedFile view;
  ASSERT_TRUE(view.Cover(fd_, 4096));
  char out[4] = {};
  EXPECT_FALSE(view.Copy(2 * 4096, 4, out));  // not yet in the view
  ASSERT_TRUE(view.Cover(fd_, 3 * 4096 + 100));
  EXPECT_TRUE(view.Copy(2 * 4096, 4, out));
  EXPECT_TRUE(view.Cover(fd_, 100));  // a shorter length is in the view already
  EXPECT_EQ(view.length(), 3u * 4096 + 100);

  MappedFile refused;
  MappedFile::SetAllowed(false);
  EXPECT_FALSE(refused.Cover(fd_, 4096));
  MappedFile::SetAllowed(true);
  EXPECT_FALSE(refused.Cover(fd_, 4096));  // not asked again
}

}  // namespace
}  // namespace snyltdyr::engine
