#include "register/observation_table.h"

#include <filesystem>

#include "storage/db_engine_error.h"
#include "storage/session.h"

namespace snyltdyr {

std::vector<engine::NewField> ObservationColumns() {
  return {{"DATO", 'D', 8, 0},     {"BYGG", 'C', 9, 0},      {"GENER", 'C', 10, 0},
          {"\x8FRSKLAS", 'C', 10, 0}, {"GRUPPE", 'N', 4, 0}, {"SNYLTDYR", 'C', 30, 0},
          {"MENGDE", 'C', 9, 0},   {"ORGAN", 'C', 30, 0},    {"BEHANDL", 'C', 30, 0},
          {"TID", 'C', 20, 0},     {"KONS", 'C', 20, 0},     {"KOMENT", 'M', 10, 0},
          {"METODE", 'C', 30, 0},  {"TALL", 'N', 10, 2}};
}

void CreateObservationTable(const std::string& directory) {
  TDatabase* database = Session().OpenDatabase(directory);
  try {
    const std::string table = "SNYLTDYR.DBF";
    Check(engine::CreateTable(database->Handle(), table, ObservationColumns(), kObservationLanguageDriver));
    engine::IndexDescriptor dato;
    dato.tag_name = "DATO";
    dato.field_numbers = {1};
    dato.descending_fields = {false};
    try {
      Check(engine::AddIndexToTable(database->Handle(), table, "DBASE", dato));
    } catch (...) {
      // A table without its index is not the one asked for: what was just made goes.
      std::error_code ec;
      for (const char* file : {"SNYLTDYR.DBF", "SNYLTDYR.DBT", "SNYLTDYR.MDX"})
        std::filesystem::remove(std::filesystem::path(directory) / file, ec);
      throw;
    }
  } catch (...) {
    Session().CloseDatabase(database);
    throw;
  }
  Session().CloseDatabase(database);
}

}  // namespace snyltdyr
