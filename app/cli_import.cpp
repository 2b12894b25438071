#include "app/cli_import.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/cli_progress.h"
#include "register/observation_import.h"
#include "register/observation_table.h"
#include "register/snyltdyr_register.h"
#include "runtime/cp1252.h"
#include "runtime/exception.h"

namespace snyltdyr {
namespace {

std::string ReadWholeFile(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw Exception("Cannot read " + Utf8ToCp1252(file) + ": " + std::strerror(errno));
  std::string bytes{std::istreambuf_iterator<char>(in), {}};
  if (in.bad()) throw Exception("Cannot read " + Utf8ToCp1252(file));
  return bytes;
}

// A file of the table in `dir`, whatever the case of its name, or empty.
std::string ExistingTableFile(const std::string& dir) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    for (const char* own : {"SNYLTDYR.DBF", "SNYLTDYR.DBT", "SNYLTDYR.MDX"})
      if (SameText1252(name, own)) return name;
  }
  return {};
}

}  // namespace

int RunImport(const std::string& dir, const std::string& file, bool dry_run, std::ostream& out,
              std::ostream& err, bool show_progress) {
  const std::string csv = ReadWholeFile(file);
  SnyltdyrRegister r;
  r.SnyltdyrTable.SetDatabaseName(dir);
  r.OpenHere();
  ProgressLine line(err, show_progress, "Checking rows");
  const ImportReport report = ImportObservations(r, csv, !dry_run, line.Reporter());
  line.Finish();
  if (!report.problems.empty()) throw Exception(ImportProblemsText(report));
  if (dry_run) {
    out << "Checked " << report.rows << " rows: every one can be imported (nothing was written)\n";
  } else {
    out << "Imported " << report.written << " records into " << dir << '\n';
  }
  return 0;
}

int RunCreate(const std::string& dir, std::ostream& out) {
  std::filesystem::create_directories(dir);
  if (const std::string existing = ExistingTableFile(dir); !existing.empty())
    throw Exception(Utf8ToCp1252(dir) + " already holds " + Utf8ToCp1252(existing) +
                    "; nothing was created or changed");
  CreateObservationTable(dir);
  out << "Created an empty SNYLTDYR.DBF with its memo file and the index DATO in " << dir << '\n';
  return 0;
}

}  // namespace snyltdyr
