#include "fuzz_support.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "storage/engine/datafile/dbf_header.h"
#include "storage/engine/memo/dbt_memo.h"

namespace snyltdyr::fuzz {

namespace fs = std::filesystem;

void FuzzFail(const std::string& what) {
  std::fprintf(stderr, "fuzz property failed: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

namespace {

// Named after the process. A fuzzer that stops at a crash or a timeout leaves its folder
// behind, so the folders of processes that are gone are removed when the next one starts.
struct Scratch {
  std::string path;
  Scratch() {
    const std::string prefix = "snyltdyr_fuzz_";
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::temp_directory_path(), ec)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind(prefix, 0) != 0) continue;
      const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
      if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) fs::remove_all(entry.path(), ec);
    }
    path = (fs::temp_directory_path() / (prefix + std::to_string(::getpid()))).string();
    fs::remove_all(path, ec);
    if (!fs::create_directory(path, ec)) FuzzFail("cannot make the scratch directory " + path);
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

// A small generator of its own, so the table is the same on every machine.
struct Lcg {
  uint64_t state = 0x5EED;
  uint32_t Below(uint32_t n) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<uint32_t>((state >> 33) % n);
  }
};

void Put(std::vector<uint8_t>& record, const FieldDesc& f, const std::string& text) {
  std::string v = text.substr(0, f.length);
  if (f.type == 'N') v.insert(0, f.length - v.size(), ' ');
  v.resize(f.length, ' ');
  std::memcpy(record.data() + f.offset, v.data(), f.length);
}

FuzzTable MakeTable() {
  FuzzTable t;
  auto add = [&](const std::string& name, char type, uint8_t length, uint8_t decimals = 0) {
    t.fields.push_back({name, type, t.record_length, length, decimals});
    t.record_length = static_cast<uint16_t>(t.record_length + length);
  };
  add("DATO", 'D', 8);
  add("BYGG", 'C', 9);
  add("SNYLTDYR", 'C', 30);
  add("MENGDE", 'C', 5);
  add("\x8FRSKLAS", 'C', 2);  // the year class, its name in code page 865
  add("GRUPPE", 'N', 4);
  add("TALL", 'N', 8, 2);
  add("NOTAT", 'C', 100);
  add("KOMENT", 'M', 10);
  add("FERDIG", 'L', 1);
  const char* kinds[] = {"Haptor Mark", "Tricodina", "Gyrodactylus", "", "\x86rlig funn"};
  const char* amounts[] = {"-", "S", "M", "MM", "MMM", ""};
  const char* words[] = {"merd", "kar", "\x9Bye", "gjeller", "hud", "finne"};
  Lcg rng;
  for (uint32_t r = 1; r <= kFuzzRecords; ++r) {
    std::vector<uint8_t> rec(t.record_length, ' ');
    rec[0] = r % 23 == 0 ? '*' : ' ';
    // One draw per statement: the order in which arguments are evaluated differs between
    // compilers, and the seeds of one build must fit the table of another.
    const uint32_t year = 2015 + rng.Below(11);
    const uint32_t month = 1 + rng.Below(12);
    const uint32_t day = 1 + rng.Below(28);
    char date[9];
    std::snprintf(date, sizeof date, "%04u%02u%02u", year, month, day);
    Put(rec, t.fields[0], r % 31 == 0 ? "" : date);
    Put(rec, t.fields[1], "K" + std::to_string(rng.Below(7)));
    Put(rec, t.fields[2], kinds[rng.Below(5)]);
    Put(rec, t.fields[3], amounts[rng.Below(6)]);
    Put(rec, t.fields[4], std::to_string(rng.Below(6)));
    Put(rec, t.fields[5], r % 17 == 0 ? "" : std::to_string(rng.Below(100)));
    char number[16];
    std::snprintf(number, sizeof number, "%.2f", (static_cast<double>(rng.Below(40001)) - 20000) / 100);
    Put(rec, t.fields[6], number);
    std::string note;
    for (uint32_t w = rng.Below(12); w > 0; --w) note += std::string(words[rng.Below(6)]) + " ";
    Put(rec, t.fields[7], note);
    Put(rec, t.fields[8], "");
    Put(rec, t.fields[9], r % 3 == 0 ? "T" : r % 3 == 1 ? "F" : "?");
    t.records.push_back(std::move(rec));
  }
  return t;
}

}  // namespace

const std::string& ScratchDir() {
  static const Scratch scratch;
  return scratch.path;
}

std::string WriteScratchFile(const std::string& name, const std::string& bytes) {
  const std::string path = ScratchDir() + "/" + name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) FuzzFail("cannot write " + path);
  return path;
}

uint64_t FileSize(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

engine::IndexedTable FuzzTable::Indexed() const {
  engine::IndexedTable t;
  t.fields = &fields;
  t.code_page = kFuzzCodePage;
  t.record_count = static_cast<uint32_t>(records.size());
  t.read_record = [this](uint32_t recno, std::vector<uint8_t>& bytes) {
    if (recno < 1 || recno > records.size()) return false;
    bytes = records[recno - 1];
    return true;
  };
  return t;
}

const FuzzTable& TheFuzzTable() {
  static const FuzzTable table = MakeTable();
  return table;
}

std::string FuzzTableDbf(uint8_t version, uint32_t memos) {
  const FuzzTable& t = TheFuzzTable();
  std::string bytes = engine::BuildDbfHeader(t.fields, 0x17);  // Norwegian, code page 865
  bytes[0] = static_cast<char>(version);
  const uint32_t n = static_cast<uint32_t>(t.records.size());
  for (int i = 0; i < 4; ++i) bytes[4 + i] = static_cast<char>(n >> (8 * i));
  for (uint32_t r = 1; r <= n; ++r) {
    std::vector<uint8_t> rec = t.records[r - 1];
    if (r <= memos) {
      uint8_t* field = rec.data() + t.fields[8].offset;
      engine::FormatMemoBlock(r, field, t.fields[8].length);
    }
    bytes.append(rec.begin(), rec.end());
  }
  bytes += '\x1A';
  return bytes;
}

const std::vector<std::string>& FuzzFieldNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> out;
    for (const FieldDesc& f : TheFuzzTable().fields) out.push_back(f.name);
    return out;
  }();
  return names;
}

}  // namespace snyltdyr::fuzz
