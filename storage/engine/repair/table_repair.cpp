// The repair of a table from what other programs did to it (table_diagnosis.h): the
// files it changes are copied first, then the companions are sorted out, the header is
// mended in place, and the index rebuilt; last the table is opened as a user would, to
// prove that it can be written and that its index is in step.
//
// The table is held alone (the sharing conventions' exclusive opening) while its header
// changes, and the rebuild takes it alone again itself.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "storage/engine/datafile/dbf_header.h"
#include "storage/engine/engine_state.h"
#include "storage/engine/error_stack.h"
#include "storage/engine/files/case_insensitive_path.h"
#include "storage/engine/files/file_io.h"
#include "storage/engine/files/file_lock.h"
#include "storage/engine/index/index_checker.h"
#include "storage/engine/index/index_freshness.h"
#include "storage/engine/repair/table_diagnosis.h"
#include "storage/engine/table/cursor.h"

namespace snyltdyr::engine {
namespace {

namespace fs = std::filesystem;

Result OsFailure(const std::string& what, int error) {
  return Fail(kErrWriteFailed, what + ": " + std::strerror(error), error);
}

// "yyyymmdd-hhmmss" of now, for the names of backups and files moved aside.
std::string Stamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

// `path` + "." + stamp + `suffix`, with a number added when that name is taken.
std::string FreshName(const std::string& path, const std::string& stamp, const std::string& suffix) {
  std::string name = path + "." + stamp + suffix;
  for (int n = 2; fs::exists(name); ++n) name = path + "." + stamp + "-" + std::to_string(n) + suffix;
  return name;
}

// Holds the table alone while it lives: nobody else has it open, in this program's
// sharing conventions.
class TableAlone {
 public:
  explicit TableAlone(const std::string& dbf_path) {
    int error = 0;
    std::string kind;
    fd_ = OpenRegularFile(dbf_path, O_RDWR, error, kind);
    if (fd_ < 0) {
      result_ = OsFailure(dbf_path, error != 0 ? error : EINVAL);
    } else if (!TryLockRange(fd_, kOpenLockOffset, 1, /*exclusive=*/true)) {
      result_ = Fail(kErrTableInUse, dbf_path + ": another program has the table open; close it there and repair again.");
    } else if (!TryLockTable(fd_)) {
      UnlockRange(fd_, kOpenLockOffset, 1);
      result_ = Fail(kErrTableInUse, dbf_path + ": another program is changing the table; repair when it is done.");
    } else {
      locked_ = true;
    }
  }
  ~TableAlone() {
    if (locked_) {
      UnlockTable(fd_);
      UnlockRange(fd_, kOpenLockOffset, 1);
    }
    if (fd_ >= 0) ::close(fd_);
  }
  Result result() const { return result_; }
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
  bool locked_ = false;
  Result result_ = kOk;
};

Result Backup(const std::vector<std::string>& files, const std::string& stamp, std::vector<std::string>& backups) {
  for (const std::string& file : files) {
    if (!fs::exists(file)) continue;  // a missing index: nothing to keep
    const std::string copy = FreshName(file, stamp, ".bak");
    std::error_code ec;
    fs::copy_file(file, copy, fs::copy_options::none, ec);
    if (ec) return OsFailure(copy, ec.value());
    backups.push_back(copy);
  }
  return kOk;
}

Result MoveTwins(const TwinChoice& twins, const std::string& stamp) {
  for (const std::string& aside : twins.aside) {
    const std::string to = FreshName(aside, stamp, ".aside");
    if (::rename(aside.c_str(), to.c_str()) != 0) return OsFailure(aside, errno);
  }
  if (twins.keep != twins.keep_as && ::rename(twins.keep.c_str(), twins.keep_as.c_str()) != 0)
    return OsFailure(twins.keep, errno);
  return kOk;
}

Result MendHeader(const TableDiagnosis& d, int fd) {
  int error = 0;
  auto put = [&](uint64_t offset, const std::string& bytes) {
    return WriteFully(fd, offset, bytes.data(), bytes.size(), error) ? kOk : OsFailure(d.dbf_path, error);
  };
  if (d.version)
    if (Result r = put(0, std::string(1, static_cast<char>(*d.version)))) return r;
  if (d.driver)
    if (Result r = put(29, std::string(1, static_cast<char>(*d.driver)))) return r;
  if (d.index_flag)
    if (Result r = put(28, std::string(1, '\x01'))) return r;
  for (const auto& [place, name] : d.renames) {
    std::string bytes = name.substr(0, 10);
    bytes.resize(11, '\0');
    if (Result r = put(kFileHeaderSize + kDescriptorSize * place, bytes)) return r;
  }
  return ::fsync(fd) == 0 ? kOk : OsFailure(d.dbf_path, errno);
}

// The proof: the table opens for writing, and its index is in step with every record.
Result Check(Handle database, const std::string& table_name, const std::string& dbf_path) {
  OpenTableArgs args;
  args.database = database;
  args.table_name = table_name;
  Handle cursor = kNoHandle;
  if (Result r = OpenTable(args, cursor)) return r;
  Cursor* c = FindCursor(cursor);
  std::string problems;
  if (c != nullptr && c->table().Companion() != nullptr) {
    Table& t = c->table();
    bool exists = false;
    const std::string mdx = CompanionPath(dbf_path, ".MDX", exists);
    std::unique_ptr<MdxFile> file;
    if (exists && MdxFile::Open(mdx, false, file)) {
      IndexedTable table;
      table.fields = &t.Fields();
      table.code_page = t.CodePage();
      table.record_count = t.RecordCount();
      table.read_record = [&t](uint32_t recno, std::vector<uint8_t>& bytes) { return t.ReadRecord(recno, bytes) == kOk; };
      problems = DescribeProblems(CheckIndex(*file, table));
      if (problems.empty()) MarkIndexFollowed(file->fd(), dbf_path);  // checked in full just now
    }
  }
  CloseCursor(cursor);
  if (!problems.empty()) return Fail(kErrIndexOutOfDate, dbf_path + ": after the repair the index still does not agree: " + problems);
  return kOk;
}

Result FindTable(Handle database, const std::string& table_name, std::string& path) {
  if (Result r = RequireStarted()) return r;
  bool exists = false;
  if (Result r = ResolveTablePath(database, table_name, path, exists)) return r;
  if (!exists) return Fail(kErrTableNotFound, table_name);
  return kOk;
}

}  // namespace

Result PlanRepair(Handle database, const std::string& table_name, const RepairOptions& options, RepairPlan& plan) {
  std::string path;
  if (Result r = FindTable(database, table_name, path)) return r;
  TableDiagnosis d;
  if (Result r = DiagnoseTable(path, options, d)) return r;
  plan = d.plan;
  return kOk;
}

Result RepairTable(Handle database, const std::string& table_name, const RepairOptions& options,
                   const RebuildProgress& progress, RepairReport& report) {
  report = RepairReport{};
  std::string path;
  if (Result r = FindTable(database, table_name, path)) return r;
  {
    TableAlone alone(path);
    if (Result r = alone.result()) return r;
    TableDiagnosis d;
    if (Result r = DiagnoseTable(path, options, d)) return r;
    report.plan = d.plan;
    if (d.plan.blocked) {
      std::string why;
      for (const RepairStep& s : d.plan.steps)
        if (s.action.empty()) why += (why.empty() ? "" : " ") + s.problem;
      return Fail(kErrInvalidParameter, path + ": " + why);
    }
    const std::string stamp = Stamp();
    if (Result r = Backup(d.plan.files, stamp, report.backups)) return r;
    if (d.memo)
      if (Result r = MoveTwins(*d.memo, stamp)) return r;
    if (d.index)
      if (Result r = MoveTwins(*d.index, stamp)) return r;
    if (d.version || d.driver || d.index_flag || !d.renames.empty())
      if (Result r = MendHeader(d, alone.fd())) return r;
    report.rebuilt = d.rebuild_index;
  }  // the rebuild takes the table alone itself
  if (report.rebuilt)
    if (Result r = RebuildIndex(database, table_name, "DBASE", progress, report.rebuild)) return r;
  return Check(database, table_name, path);
}

}  // namespace snyltdyr::engine
