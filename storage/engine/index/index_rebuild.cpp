// The rebuild of a table's production index: the one way back from an index that is
// damaged, out of step or sorted by other rules.
//
// Order of work, so that a stop at any point loses nothing: the tag definitions are read
// from the old index (or its backup, or the table's field flags); the new index is built
// whole into <index>.new and flushed to the disk; the old index gets a second name,
// <index>.bak (a hard link, or a copy where links are not possible); then one rename puts
// the new file in the old one's place. Until that rename every program sees the old
// index; after it, the new one. The table is held exclusively throughout, so nobody
// writes records that the new index would miss.
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "storage/engine/files/case_insensitive_path.h"
#include "storage/engine/engine_state.h"
#include "storage/engine/error_stack.h"
#include "storage/engine/index/index_production.h"

namespace snyltdyr::engine {
namespace {

// The tag definitions of the index file at `path`; false when its header cannot be read.
// Tags whose own headers cannot be read go to `dropped`.
bool DefinitionsIn(const std::string& path, std::vector<NewTagDefinition>& defs,
                   std::vector<std::string>& dropped) {
  std::unique_ptr<MdxFile> f;
  if (!MdxFile::Open(path, false, f)) return false;
  for (const MdxTagEntry& e : f->tags()) {
    std::unique_ptr<MdxTag> t;
    if (!MdxTag::Load(*f, e, t)) {
      dropped.push_back(e.name);
      continue;
    }
    defs.push_back({t->name(), t->expression(), t->descending(), t->unique(),
                    t->has_for() ? t->for_expression() : std::string()});
  }
  return true;
}

// One-field tags for the fields whose descriptors say they have a tag (byte 31): what is
// left to go by when no index file says more.
std::vector<NewTagDefinition> FlaggedFields(const Table& table) {
  std::vector<NewTagDefinition> defs;
  std::ifstream in(table.DbfPath(), std::ios::binary);
  std::string head(table.HeaderLength(), '\0');
  if (!in.read(head.data(), static_cast<std::streamsize>(head.size()))) return defs;
  const auto& fields = table.Fields();
  for (size_t i = 0; i < fields.size(); ++i) {
    const size_t flag = 32 + 32 * i + 31;
    if (flag < head.size() && head[flag] == 1) defs.push_back({fields[i].name, fields[i].name});
  }
  return defs;
}

Result OsFailure(const std::string& what) {
  return Fail(kErrWriteFailed, what + ": " + std::strerror(errno), errno);
}

// A second name for `from`: a hard link, or a copy flushed to the disk.
Result KeepAs(const std::string& from, const std::string& to) {
  if (::unlink(to.c_str()) != 0 && errno != ENOENT) return OsFailure(to);
  if (::link(from.c_str(), to.c_str()) == 0) return kOk;
  std::ifstream in(from, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), {});
  if (!in.good() && !in.eof()) return OsFailure(from);
  const int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return OsFailure(to);
  const bool ok = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) &&
                  ::fsync(fd) == 0;
  ::close(fd);
  return ok ? kOk : OsFailure(to);
}

void SyncDirectory(const std::string& file) {
  const std::string dir = std::filesystem::path(file).parent_path().string();
  const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Builds the new index at `fresh` and flushes it; its single-field tags' fields go to
// `flagged`.
Result BuildIndex(Table& table, const std::string& fresh, const std::vector<NewTagDefinition>& defs,
                  const RebuildProgress& progress, std::vector<size_t>& flagged,
                  RebuildReport& report) {
  std::unique_ptr<ProductionIndex> index;
  IndexStatus s = ProductionIndex::Create(fresh, BaseName(table.DbfPath()), table.Fields(),
                                          table.CodePage(), index);
  if (!s) return Fail(kErrCreateFailed, s.message());
  IndexedTable records;
  records.fields = &table.Fields();
  records.code_page = table.CodePage();
  records.record_count = table.RecordCount();
  records.read_record = [&table](uint32_t recno, std::vector<uint8_t>& bytes) {
    return table.ReadRecordCached(recno, bytes) == kOk;
  };
  s = index->AddTags(defs, records, progress);
  if (s) s = index->file().Sync();
  if (!s) {
    index.reset();
    ::unlink(fresh.c_str());
    return Fail(kErrInvalidParameter, "The index cannot be rebuilt: " + s.message());
  }
  for (const ProductionIndex::Tag& t : index->tags()) {
    report.tags.push_back(t.mdx->name());
    if (t.expr && t.expr->single_field() >= 0) flagged.push_back(static_cast<size_t>(t.expr->single_field()));
  }
  report.records = records.record_count;
  return kOk;
}

}  // namespace

Result RebuildIndex(Handle database, const std::string& table_name, const std::string& driver,
                    const RebuildProgress& progress, RebuildReport& report) {
  if (Result r = RequireStarted()) return r;
  if (!driver.empty() && ::strcasecmp(driver.c_str(), "DBASE") != 0)
    return Fail(kErrInvalidParameter, "Unknown table driver " + driver + ".");
  std::string path;
  bool exists = false;
  if (Result r = ResolveTablePath(database, table_name, path, exists)) return r;
  if (!exists) return Fail(kErrTableNotFound, table_name);
  Table table;
  if (Result r = table.Open(path, OpenMode::kReadWrite, ShareMode::kExclusive, false)) {
    if (r == kErrTableInUse)
      FailMore(r, "The index is rebuilt only while no one else has the table open: close it "
                  "in every other program and window, then try again.");
    return r;
  }
  if (Result r = table.RefreshHeader()) return r;

  std::string clash;
  bool mdx_exists = false;
  const std::string mdx = CompanionPath(path, ".MDX", mdx_exists, &clash);
  if (!clash.empty()) return Fail(kErrAmbiguousFileName, clash);
  const std::string bak = mdx + ".bak", fresh = mdx + ".new";
  report = RebuildReport{};
  report.index_file = mdx;
  std::vector<NewTagDefinition> defs;
  if (mdx_exists && DefinitionsIn(mdx, defs, report.dropped)) {
    report.definitions_from = mdx;
  } else if (defs.clear(), report.dropped.clear(),
             std::filesystem::exists(bak) && DefinitionsIn(bak, defs, report.dropped)) {
    report.definitions_from = bak;
  } else {
    defs = FlaggedFields(table);
    report.definitions_from = "the fields";
  }

  if (defs.empty()) {  // nothing to index: the table says it has no production index
    if (mdx_exists)
      if (Result r = KeepAs(mdx, bak); r != kOk || ::unlink(mdx.c_str()) != 0)
        return r != kOk ? r : OsFailure(mdx);
    if (mdx_exists) report.backup_file = bak;
    report.records = table.RecordCount();
    return table.ProductionIndexFlagged() ? table.WriteHeaderByte(28, 0) : kOk;
  }
  if (::unlink(fresh.c_str()) != 0 && errno != ENOENT) return OsFailure(fresh);
  std::vector<size_t> flagged;
  if (Result r = BuildIndex(table, fresh, defs, progress, flagged, report)) return r;
  if (mdx_exists) {
    if (Result r = KeepAs(mdx, bak)) {
      ::unlink(fresh.c_str());
      return r;
    }
    report.backup_file = bak;
  }
  if (::rename(fresh.c_str(), mdx.c_str()) != 0) {
    const Result r = OsFailure(mdx);
    ::unlink(fresh.c_str());
    return r;
  }
  SyncDirectory(mdx);
  // The header says that the table has a production index, and which fields it keys.
  if (!table.ProductionIndexFlagged())
    if (Result r = table.WriteHeaderByte(28, 1)) return r;
  for (size_t field : flagged)
    if (Result r = table.WriteHeaderByte(32 + 32 * static_cast<uint64_t>(field) + 31, 1)) return r;
  return kOk;
}

}  // namespace snyltdyr::engine
