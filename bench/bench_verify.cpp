// The full verification of a table changed behind its index: opening the large table for
// writing after another program saved its data file (dated after the index), which reads
// every record and compares its DATO key with the tag, against the same opening when the
// files are in order, and against reading the data file alone. The aim: at most about a
// second for a million records.
//
//   bench_verify [DIR]   (default scratch/bench_register, shared with bench_register)
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <vector>

#include "bench/large_table.h"
#include "bench/timing.h"
#include "storage/engine/engine.h"

namespace snyltdyr {
namespace {

namespace fs = std::filesystem;

using bench::Seconds;

// The index dated a second before the data file, as another program's save leaves them.
void DateDataAfterIndex(const fs::path& dir) {
  struct stat dbf {};
  if (stat(bench::FindTable(dir).c_str(), &dbf) != 0) throw std::runtime_error("no SNYLTDYR.DBF");
  timespec times[2] = {dbf.st_mtim, dbf.st_mtim};
  times[0].tv_sec -= 1;
  times[1].tv_sec -= 1;
  utimensat(AT_FDCWD, (dir / "SNYLTDYR.MDX").c_str(), times, 0);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace
}  // namespace snyltdyr

int main(int argc, char** argv) {
  using namespace snyltdyr;
  const fs::path dir = fs::absolute(argc > 1 ? argv[1] : "scratch/bench_register");
  try {
    const fs::path dbf = bench::EnsureLargeTable(dir, bench::LargeTableRecords());
    std::vector<char> buffer(1 << 20);
    std::vector<double> reads, plain, verified;
    engine::StartEngine(engine::kInterfaceVersion, {"0009"});
    engine::Handle db = engine::kNoHandle;
    engine::OpenDatabase("", engine::OpenMode::kReadWrite, engine::ShareMode::kShared, db);
    engine::SetDirectory(db, dir.string());
    bench::OpenForWritingSeconds(db);  // warms the files
    for (int i = 0; i < 5; ++i) {
      reads.push_back(Seconds([&] {
        std::ifstream in(dbf, std::ios::binary);
        while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
        }
      }));
      plain.push_back(bench::OpenForWritingSeconds(db));
      DateDataAfterIndex(dir);
      verified.push_back(bench::OpenForWritingSeconds(db));  // verifies, and dates the index after
    }
    engine::CloseDatabase(db);
    engine::StopEngine();
    const double read = Median(reads), open = Median(plain), verify = Median(verified);
    std::printf("Records: %lld (tag DATO), medians of 5 runs\n",
                static_cast<long long>(bench::LargeTableRecords()));
    std::printf("%-52s %8.3f s\n", "Reading the data file alone (floor)", read);
    std::printf("%-52s %8.3f s\n", "Opening for writing, files in order", open);
    std::printf("%-52s %8.3f s   ratio to the floor %6.2f\n",
                "Opening for writing, every record verified", verify, read > 0 ? verify / read : 0.0);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_verify: %s\n", e.what());
    return 1;
  }
  return 0;
}
