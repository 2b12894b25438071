// Helpers for the index tests: a small in-memory table (read from a real .DBF or built
// here) that the index code and the checker can look at, and temporary directories.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "storage/engine/engine.h"
#include "storage/engine/index/index_checker.h"
#include "storage/engine/index/mdx_file.h"
#include "storage/engine/datafile/record_view.h"

namespace snyltdyr::engine::testing {

namespace fs = std::filesystem;

inline fs::path RealFixtures() { return fs::path(SNYLTDYR_SHARED_DIR) / "fixtures" / "real"; }

#define SKIP_WITHOUT_FIXTURES()                                                         \
  if (!std::filesystem::exists(::snyltdyr::engine::testing::RealFixtures()))            \
  GTEST_SKIP() << "real-world fixtures not found at "                                   \
               << ::snyltdyr::engine::testing::RealFixtures()

struct MemTable {
  std::vector<FieldDesc> fields;
  std::vector<std::vector<uint8_t>> records;  // record n at n - 1, deletion flag first
  int code_page = 437;
  uint16_t record_length = 1;

  RecordView View(uint32_t recno) const {
    return {&fields, records[recno - 1].data(), code_page};
  }
  IndexedTable Indexed() const {
    IndexedTable t;
    t.fields = &fields;
    t.code_page = code_page;
    t.record_count = static_cast<uint32_t>(records.size());
    t.read_record = [this](uint32_t r, std::vector<uint8_t>& b) {
      if (r < 1 || r > records.size()) return false;
      b = records[r - 1];
      return true;
    };
    return t;
  }
  void AddField(const std::string& name, char type, uint8_t length, uint8_t decimals = 0) {
    fields.push_back({name, type, record_length, length, decimals});
    record_length = static_cast<uint16_t>(record_length + length);
  }
  // A blank record; then Set() fills the fields.
  uint32_t Append() {
    records.emplace_back(record_length, ' ');
    return static_cast<uint32_t>(records.size());
  }
  void Set(uint32_t recno, size_t field, const std::string& text) {
    const FieldDesc& f = fields[field];
    std::string v = text.substr(0, f.length);
    if (f.type == 'N' || f.type == 'F') v.insert(0, f.length - v.size(), ' ');  // right-aligned
    v.resize(f.length, ' ');
    std::memcpy(records[recno - 1].data() + f.offset, v.data(), f.length);
  }
};

inline std::vector<uint8_t> ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Reads a .DBF as the format reference describes it; enough for the fixtures.
inline MemTable ReadDbf(const fs::path& p) {
  const std::vector<uint8_t> b = ReadFile(p);
  MemTable t;
  const uint32_t n = b[4] | (b[5] << 8) | (b[6] << 16) | (static_cast<uint32_t>(b[7]) << 24);
  const uint16_t hl = static_cast<uint16_t>(b[8] | (b[9] << 8));
  const uint16_t rl = static_cast<uint16_t>(b[10] | (b[11] << 8));
  switch (b[29]) {
    case 0x03: case 0x57: case 0x58: case 0x59: t.code_page = 1252; break;
    case 0x02: case 0x0A: case 0x10: case 0x37: t.code_page = 850; break;
    case 0x08: case 0x17: case 0x66: t.code_page = 865; break;
    default: t.code_page = 437;
  }
  for (size_t off = 32; off + 32 <= hl && b[off] != 0x0D; off += 32) {
    std::string name(reinterpret_cast<const char*>(&b[off]), strnlen(reinterpret_cast<const char*>(&b[off]), 11));
    t.AddField(name, static_cast<char>(b[off + 11]), b[off + 16], b[off + 17]);
  }
  t.record_length = rl;
  for (uint32_t r = 0; r < n; ++r) {
    const size_t start = hl + static_cast<size_t>(r) * rl;
    if (start + rl > b.size()) break;
    t.records.emplace_back(b.begin() + static_cast<long>(start), b.begin() + static_cast<long>(start + rl));
  }
  return t;
}

// What the index checker finds in the index `mdx` of the table `dbf`, one problem a
// line; empty when it finds nothing.
inline std::string IndexProblems(const fs::path& dbf, const fs::path& mdx) {
  const MemTable table = ReadDbf(dbf);
  std::unique_ptr<MdxFile> file;
  IndexStatus s = MdxFile::Open(mdx.string(), false, file);
  if (!s) return s.message();
  return DescribeProblems(CheckIndex(*file, table.Indexed()));
}

// The texts of the engine's error entries, one a line.
inline std::string ErrorEntriesText() {
  ErrorEntry e;
  std::string text;
  for (uint16_t i = 1; GetErrorEntry(i, e) == kOk; ++i) text += e.text + "\n";
  return text;
}

class TempDir {
 public:
  TempDir() {
    std::random_device rd;
    path_ = fs::temp_directory_path() / ("snyltdyr_index_" + std::to_string(rd()) + std::to_string(rd()));
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

}  // namespace snyltdyr::engine::testing
