// The observation table as a new lab starts it: SNYLTDYR.DBF with its memo file and the
// production index with the tag DATO, and no records.
//
// A dBASE IV table whose language driver is the Norwegian one of code page 865 (0x17),
// with the register's fourteen columns in the order it declares them, DATO first and
// TALL last.
#pragma once

#include <string>
#include <vector>

#include "storage/engine/engine.h"

namespace snyltdyr {

// The table's columns (names in native text: "\x8F" is Å in code page 865).
std::vector<engine::NewField> ObservationColumns();
inline constexpr uint8_t kObservationLanguageDriver = 0x17;

// Creates the empty table in `directory` (which must exist). Raises EDBEngineError when
// the engine refuses, among others when the directory already holds the table (in any
// case of its name); nothing that was there is changed then.
void CreateObservationTable(const std::string& directory);

}  // namespace snyltdyr
