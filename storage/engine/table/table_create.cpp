// New tables: a dBASE IV .DBF with the given fields and, when it has memo fields, an empty
// memo file. Nothing is left behind when creating fails.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <set>

#include "storage/engine/files/case_insensitive_path.h"
#include "storage/engine/datafile/dbf_header.h"
#include "storage/engine/memo/dbt_memo.h"
#include "storage/engine/engine_state.h"
#include "storage/engine/error_stack.h"

namespace snyltdyr::engine {
namespace {

Result ValidateNewFields(const std::vector<NewField>& in, std::vector<FieldDesc>& out) {
  if (in.empty() || in.size() > 255) return Fail(kErrInvalidTableDefinition, "A table has 1 to 255 fields.");
  std::set<std::string> names;
  uint32_t offset = 1;
  for (const NewField& nf : in) {
    FieldDesc f;
    // Names come in the table's native code page; bytes from 0x80 up are that code page's
    // letters (the register's own table has the column \x8FRSKLAS in code page 865).
    auto letter = [](unsigned char ch) { return std::isalpha(ch) || ch >= 0x80; };
    for (char ch : nf.name) f.name += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    bool name_ok = !f.name.empty() && f.name.size() <= 10 && letter(static_cast<unsigned char>(f.name[0]));
    for (char ch : f.name)
      name_ok = name_ok && (letter(static_cast<unsigned char>(ch)) || std::isdigit(static_cast<unsigned char>(ch)) || ch == '_');
    if (!name_ok) return Fail(kErrInvalidTableDefinition, "Field name '" + nf.name + "'.");
    if (!names.insert(f.name).second) return Fail(kErrInvalidTableDefinition, "Field " + f.name + " twice.");
    f.type = static_cast<char>(std::toupper(static_cast<unsigned char>(nf.type)));
    f.length = nf.length;
    f.decimals = 0;
    switch (f.type) {
      case 'C': if (f.length < 1 || f.length > 254) return Fail(kErrInvalidTableDefinition, "Width of " + f.name + "."); break;
      case 'N': case 'F':
        if (f.length < 1 || f.length > 20 || nf.decimals > 18 ||
            (nf.decimals > 0 && nf.decimals + 2 > f.length))
          return Fail(kErrInvalidTableDefinition, "Width or decimals of " + f.name + ".");
        f.decimals = nf.decimals;
        break;
      case 'D': f.length = 8; break;
      case 'L': f.length = 1; break;
      case 'M': f.length = 10; break;
      default: return Fail(kErrInvalidTableDefinition, "Type of " + f.name + ".");
    }
    f.offset = static_cast<uint16_t>(offset);
    offset += f.length;
    out.push_back(f);
  }
  if (offset > 4000) return Fail(kErrInvalidTableDefinition, "Records longer than 4000 bytes.");
  return kOk;
}

}  // namespace

Result CreateTable(Handle database, const std::string& table_name,
                   const std::vector<NewField>& fields, uint8_t language_driver) {
  if (Result r = RequireStarted()) return r;
  std::vector<FieldDesc> descs;
  if (Result r = ValidateNewFields(fields, descs)) return r;
  std::string path;
  bool exists = false;
  if (Result r = ResolveTablePath(database, table_name, path, exists)) return r;
  if (exists) return Fail(kErrFileExists, path);
  std::string bytes = BuildDbfHeader(descs, language_driver) + '\x1A';
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    int err = errno;
    return Fail(err == EEXIST ? kErrFileExists : err == ENOENT ? kErrDirectoryNotFound : kErrCreateFailed,
                path + ": " + std::strerror(err), err);
  }
  ssize_t n = ::write(fd, bytes.data(), bytes.size());
  int err = errno;
  ::close(fd);
  if (n != static_cast<ssize_t>(bytes.size())) {
    ::unlink(path.c_str());
    return Fail(kErrWriteFailed, path + ": " + std::strerror(err), err);
  }
  bool has_memo = std::any_of(descs.begin(), descs.end(), [](const FieldDesc& f) { return f.type == 'M'; });
  if (has_memo) {
    bool memo_exists = false;
    std::string memo_path = CompanionPath(path, ".DBT", memo_exists);
    Result r = memo_exists ? Fail(kErrFileExists, memo_path) : DbtMemo::Create(memo_path, BaseName(path));
    if (r != kOk) {
      ::unlink(path.c_str());
      return r;
    }
  }
  return kOk;
}

}  // namespace snyltdyr::engine
