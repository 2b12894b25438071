#include "storage/engine/index/index_freshness.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include "storage/engine/files/file_io.h"

namespace snyltdyr::engine {
namespace {

// 1 January 1980, local noon: older than any table this program meets.
constexpr time_t kLongAgo = 315576000;

bool Later(const timespec& a, const timespec& b) {
  return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

// The header's date of last update as yyyymmdd, 0 when it cannot be read.
int HeaderDay(const std::string& dbf_path) {
  int error = 0;
  std::string kind;
  const int fd = OpenRegularFile(dbf_path, O_RDONLY, error, kind);
  if (fd < 0) return 0;
  uint8_t date[3] = {};
  const size_t got = ReadFully(fd, 1, date, sizeof date, error);
  close(fd);
  if (got != sizeof date || date[1] < 1 || date[1] > 12 || date[2] < 1 || date[2] > 31) return 0;
  // Two-digit years of old writers: below 80 are this century.
  const int year = date[0] < 80 ? 2000 + date[0] : 1900 + date[0];
  return year * 10000 + date[1] * 100 + date[2];
}

int LocalDay(time_t t) {
  tm local{};
  localtime_r(&t, &local);
  return (local.tm_year + 1900) * 10000 + (local.tm_mon + 1) * 100 + local.tm_mday;
}

}  // namespace

bool DataChangedBehindIndex(const std::string& dbf_path, const std::string& mdx_path,
                            bool header_date) {
  struct stat dbf{}, mdx{};
  if (stat(dbf_path.c_str(), &dbf) != 0 || stat(mdx_path.c_str(), &mdx) != 0) return false;
  if (Later(dbf.st_mtim, mdx.st_mtim)) return true;
  if (!header_date) return false;
  const int day = HeaderDay(dbf_path);
  return day != 0 && day > LocalDay(mdx.st_mtim.tv_sec);
}

void MarkIndexFollowed(int mdx_fd, const std::string& dbf_path) {
  if (mdx_fd < 0) return;  // below, a failure leaves only a verification more
  struct stat dbf{};
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  if (stat(dbf_path.c_str(), &dbf) == 0 && Later(dbf.st_mtim, now)) {
    // The data file is dated ahead of this clock (another machine wrote it): the index
    // takes its time, or every opening would verify again until this clock caught up.
    const timespec times[2] = {dbf.st_mtim, dbf.st_mtim};
    futimens(mdx_fd, times);
    return;
  }
  futimens(mdx_fd, nullptr);
}

void MarkIndexUnverified(const std::string& mdx_path) {
  const timespec times[2] = {{kLongAgo, 0}, {kLongAgo, 0}};
  utimensat(AT_FDCWD, mdx_path.c_str(), times, 0);
}

}  // namespace snyltdyr::engine
