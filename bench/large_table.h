// The large observation table the benchmarks share: generated once into a folder and
// kept between runs (and between benchmarks that use the same folder), with a look at
// the raw .DBF layout for benchmarks that read the file directly.
//
// SNYLTDYR_BENCH_RECORDS sets a smaller table for quick runs (give it its own folder).
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/timing.h"
#include "register/sample_observations.h"
#include "storage/engine/engine.h"

namespace snyltdyr::bench {

namespace fs = std::filesystem;

inline constexpr uint64_t kLargeTableSeed = 7;

inline int64_t LargeTableRecords() {
  const char* text = std::getenv("SNYLTDYR_BENCH_RECORDS");
  const long long n = text ? std::atoll(text) : 0;
  return n > 0 ? static_cast<int64_t>(n) : int64_t{1000000};
}

// The record layout of a .DBF file, read from its header.
struct DbfLayout {
  uint32_t records = 0;
  uint16_t header = 0, record_size = 0;
  struct Column { std::string name; char type = 'C'; uint32_t offset = 0; uint8_t length = 0; };
  std::vector<Column> columns;
  const Column& Find(const std::string& name) const {
    for (const Column& c : columns) if (c.name == name) return c;
    throw std::runtime_error("no column " + name);
  }
};

inline DbfLayout ReadLayout(const fs::path& dbf) {
  std::ifstream in(dbf, std::ios::binary);
  std::vector<unsigned char> head(32);
  in.read(reinterpret_cast<char*>(head.data()), 32);
  DbfLayout layout;
  std::memcpy(&layout.records, &head[4], 4);
  std::memcpy(&layout.header, &head[8], 2);
  std::memcpy(&layout.record_size, &head[10], 2);
  uint32_t offset = 1;  // after the deletion flag
  for (;;) {
    unsigned char d[32];
    in.read(reinterpret_cast<char*>(d), 1);
    if (!in || d[0] == 0x0D) break;
    in.read(reinterpret_cast<char*>(d + 1), 31);
    DbfLayout::Column c;
    c.name.assign(reinterpret_cast<char*>(d), strnlen(reinterpret_cast<char*>(d), 11));
    c.offset = offset;
    c.type = static_cast<char>(d[11]);
    c.length = d[16];
    offset += c.length;
    layout.columns.push_back(c);
  }
  return layout;
}

// The table file in `dir` (matched without regard to case), or an empty path.
inline fs::path FindTable(const fs::path& dir) {
  if (!fs::exists(dir)) return {};
  for (const auto& entry : fs::directory_iterator(dir)) {
    std::string name = entry.path().filename().string();
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (name == "SNYLTDYR.DBF") return entry.path();
  }
  return {};
}

// The table of `records` observations in `dir`, generated when it is not there yet.
inline fs::path EnsureLargeTable(const fs::path& dir, int64_t records) {
  fs::path dbf = FindTable(dir);
  if (!dbf.empty() && ReadLayout(dbf).records == records && fs::exists(dir / "SNYLTDYR.MDX")) {
    return dbf;
  }
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::printf("generating %lld records in %s ...\n", static_cast<long long>(records),
              dir.string().c_str());
  std::fflush(stdout);
  const auto start = std::chrono::steady_clock::now();
  CreateSampleTable(dir.string(), records, kLargeTableSeed);
  std::printf("generated in %.2f s\n",
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  return FindTable(dir);
}

// The seconds it takes to open SNYLTDYR.DBF of `db`'s folder for writing with its index
// DATO: the header, the memo file and the check of the production index under its lock.
inline double OpenForWritingSeconds(engine::Handle db) {
  engine::OpenTableArgs args;
  args.database = db;
  args.table_name = "SNYLTDYR.DBF";
  args.index_tag = "DATO";
  engine::Handle cursor = engine::kNoHandle;
  engine::Result result = engine::kOk;
  const double seconds = Seconds([&] { result = engine::OpenTable(args, cursor); });
  if (result != engine::kOk) throw std::runtime_error("the table did not open for writing");
  engine::CloseCursor(cursor);
  return seconds;
}

}  // namespace snyltdyr::bench
