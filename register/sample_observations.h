// Sample observation tables: a new SNYLTDYR.DBF with its memo file and a production index
// with the tag DATO, filled with observations typed the way users type them, for
// demonstrations, tests and benchmarks.
//
// The table is a dBASE IV table whose language driver is the Norwegian one of code page
// 865 (0x17), so its Norwegian letters are stored in that code page. Its columns stand in
// the order the register declares them, DATO first and TALL last. The records are a
// pure function of the seed: the same seed and count give the same table. About a third
// of the records are already clean; the others carry lower case, abbreviations
// ("t", "h.mark", "neg.", "s+", "form", "h/g"), two-digit generations and empty fields,
// and some have comments of several lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "storage/engine/engine.h"

namespace snyltdyr {

struct SampleObservation {
  int32_t year = 0, month = 0, day = 0;  // year 0: no date
  std::string bygg, gener, arsklas;
  bool has_gruppe = false;
  double gruppe = 0;
  std::string snyltdyr, mengde, organ, behandl, tid, kons, koment, metode;
  bool has_tall = false;
  double tall = 0;
};

// The observation number `index` (0-based) of the sample with `seed`; texts in code
// page 1252.
SampleObservation MakeSampleObservation(uint64_t seed, int64_t index);

// Creates the sample table in `directory` (which must exist and hold no SNYLTDYR.DBF)
// with `records` observations. Raises EDBEngineError when the engine refuses.
void CreateSampleTable(const std::string& directory, int64_t records, uint64_t seed);

}  // namespace snyltdyr
