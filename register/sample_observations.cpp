#include "register/sample_observations.h"

#include <cstring>
#include <vector>

#include "runtime/date_time.h"
#include "storage/db_engine_error.h"
#include "storage/engine/engine.h"
#include "storage/session.h"

namespace snyltdyr {
namespace {

// A small counter-based generator: every record draws from its own stream, so record n
// does not depend on how the records before it were drawn.
class Draw {
 public:
  Draw(uint64_t seed, int64_t index) : state_(seed * 0x9E3779B97F4A7C15ULL + static_cast<uint64_t>(index)) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // 0 .. n-1
  int32_t Below(int32_t n) { return static_cast<int32_t>(Next() % static_cast<uint64_t>(n)); }
  bool Chance(int32_t percent) { return Below(100) < percent; }
  template <size_t N>
  const char* Pick(const char* const (&list)[N]) {
    return list[Below(static_cast<int32_t>(N))];
  }

 private:
  uint64_t state_;
};

// Texts as users type them; the first entries are the clean forms. "\xF8" is ø, "\xE5" å,
// "\xE6" æ, "\xD8" Ø, "\xC5" Å (code page 1252).
const char* const kCleanParasites[] = {"Haptor Mark", "Haptor Mark", "Tricodina", "Negativ",
                                       "Costia"};
const char* const kTypedParasites[] = {"t",     "h.mark", "H. mark",    "haptor", "neg.",
                                       "Neg.",  "tric",   "trichodina", "c",      "costia",
                                       "mark",  "n",      "tric + costia", "", "Haptor"};
const char* const kCleanAmounts[] = {"S", "M", "L", "S+", "M-", "L+", "-", "S-", "M+", "L-"};
const char* const kTypedAmounts[] = {"s+", "m-", "m", "l", "", "s", "M+", "", "l+", "s-"};
const char* const kCleanOrgans[] = {"Hud", "Gjelle", "Lever", "Innvoller", "Hud/Gjelle"};
const char* const kTypedOrgans[] = {"hud", "g", "h/g", "H/G", "gjeller", "lever", "i",
                                    "innvoller", "h", "", "Hud/Gjelle", "gjelle"};
const char* const kTreatments[] = {"", "", "", "", "Formalin", "form", "f", "formalin 1:4000",
                                   "Form.", "Salt", "ferskvann", "FORMALIN"};
const char* const kTanks[] = {"K1", "K2", "K3", "K7", "K12", "Kar 3", "kar 12", "Hall \xD8-4",
                              "Smolt-2", "S\xF8r 1", "", "M\xE6rd 5"};
const char* const kTimes[] = {"30 min", "1 t", "45 min", "", "2 timer"};
const char* const kConcentrations[] = {"1:4000", "1:6000", "1:5000", "", "250 ppm"};
const char* const kMethods[] = {"Skrap", "Gjellebue", "skrap/mikroskop", "Mikroskopi", "",
                                "Pr\xF8vetaking"};
const char* const kComments[] = {
    "Fisken s\xE5 frisk ut.\r\nNy pr\xF8ve om \xE9n uke.",
    "D\xF8" "d fisk i karet.\r\nSjekket vannkvalitet.\r\nOksygen 8,2 mg/l.",
    "Mange parasitter p\xE5 gjellene.",
    "Behandlet etter samr\xE5" "d med veterin\xE6r.\r\nGjentas ved behov.",
    "\xC5pen ventil, lav vannstand."};

std::string TwoDigits(int32_t year) {
  const int32_t yy = year % 100;
  return (yy < 10 ? "0" : "") + std::to_string(yy);
}

}  // namespace

SampleObservation MakeSampleObservation(uint64_t seed, int64_t index) {
  Draw d(seed, index);
  SampleObservation o;
  const bool clean = d.Chance(35);
  if (!d.Chance(2)) {
    o.year = 2010 + d.Below(10);
    o.month = 1 + d.Below(12);
    o.day = 1 + d.Below(DaysInMonth(o.year, o.month));
  }
  o.bygg = d.Pick(kTanks);
  const int32_t generation = (o.year != 0 ? o.year : 2012) - d.Below(6);
  const int32_t gener_kind = d.Below(10);
  if (clean || gener_kind < 5) {
    o.gener = std::to_string(generation);
  } else if (gener_kind < 9) {
    o.gener = TwoDigits(generation);
  } else {
    o.gener = d.Chance(50) ? "" : "ukjent";
  }
  if (clean && o.year != 0) o.arsklas = std::to_string(o.year - generation);
  if (d.Chance(70)) {
    o.has_gruppe = true;
    o.gruppe = 1 + d.Below(12);
  }
  o.snyltdyr = clean ? d.Pick(kCleanParasites) : d.Pick(kTypedParasites);
  o.mengde = clean ? d.Pick(kCleanAmounts) : d.Pick(kTypedAmounts);
  o.organ = clean ? d.Pick(kCleanOrgans) : d.Pick(kTypedOrgans);
  o.behandl = d.Pick(kTreatments);
  if (clean && !o.behandl.empty()) o.behandl = "Formalin";
  if (!o.behandl.empty()) {
    o.tid = d.Pick(kTimes);
    o.kons = d.Pick(kConcentrations);
  }
  if (d.Chance(12)) o.koment = d.Pick(kComments);
  o.metode = d.Pick(kMethods);
  if (d.Chance(60)) {
    o.has_tall = true;
    o.tall = d.Below(5000) / 100.0;
  }
  return o;
}

namespace {

// Column numbers in the order of the table.
enum Column : uint16_t {
  cDato = 1, cBygg, cGener, cArsklas, cGruppe, cSnyltdyr, cMengde, cOrgan, cBehandl, cTid,
  cKons, cKoment, cMetode, cTall
};

}  // namespace

std::vector<engine::NewField> ObservationColumns() {
  // Field names are native text: "\x8F" is Å in code page 865.
  return {{"DATO", 'D', 8, 0},     {"BYGG", 'C', 9, 0},      {"GENER", 'C', 10, 0},
          {"\x8FRSKLAS", 'C', 10, 0}, {"GRUPPE", 'N', 4, 0}, {"SNYLTDYR", 'C', 30, 0},
          {"MENGDE", 'C', 9, 0},   {"ORGAN", 'C', 30, 0},    {"BEHANDL", 'C', 30, 0},
          {"TID", 'C', 20, 0},     {"KONS", 'C', 20, 0},     {"KOMENT", 'M', 10, 0},
          {"METODE", 'C', 30, 0},  {"TALL", 'N', 10, 2}};
}

namespace {

void PutText(engine::Handle cursor, uint8_t* record, uint16_t column, const std::string& text) {
  if (text.empty()) return;  // InitRecord left it blank
  engine::FieldValue value;
  value.blank = false;
  value.text = text;
  Check(engine::PutField(cursor, column, record, value));
}

void PutNumber(engine::Handle cursor, uint8_t* record, uint16_t column, bool has, double number) {
  if (!has) return;
  engine::FieldValue value;
  value.blank = false;
  value.number = number;
  Check(engine::PutField(cursor, column, record, value));
}

void WriteObservation(engine::Handle cursor, engine::Handle driver, uint8_t* record,
                      const SampleObservation& o) {
  Check(engine::InitRecord(cursor, record));
  if (o.year != 0) {
    engine::FieldValue date;
    date.blank = false;
    date.date = DateToDayNumber(*EncodeDate(o.year, o.month, o.day));
    Check(engine::PutField(cursor, cDato, record, date));
  }
  PutText(cursor, record, cBygg, o.bygg);
  PutText(cursor, record, cGener, o.gener);
  PutText(cursor, record, cArsklas, o.arsklas);
  PutNumber(cursor, record, cGruppe, o.has_gruppe, o.gruppe);
  PutText(cursor, record, cSnyltdyr, o.snyltdyr);
  PutText(cursor, record, cMengde, o.mengde);
  PutText(cursor, record, cOrgan, o.organ);
  PutText(cursor, record, cBehandl, o.behandl);
  PutText(cursor, record, cTid, o.tid);
  PutText(cursor, record, cKons, o.kons);
  PutText(cursor, record, cMetode, o.metode);
  PutNumber(cursor, record, cTall, o.has_tall, o.tall);
  if (!o.koment.empty()) {
    std::string native;
    Check(engine::AnsiToNative(driver, o.koment, native));
    Check(engine::OpenBlob(cursor, record, cKoment, engine::BlobMode::kReadWrite));
    Check(engine::PutBlob(cursor, record, cKoment, 0, static_cast<uint32_t>(native.size()),
                          reinterpret_cast<const uint8_t*>(native.data())));
  }
  Check(engine::AppendRecord(cursor, record));
  if (!o.koment.empty()) Check(engine::FreeBlob(cursor, record, cKoment));
}

}  // namespace

void CreateSampleTable(const std::string& directory, int64_t records, uint64_t seed) {
  TDatabase* database = Session().OpenDatabase(directory);
  engine::Handle cursor = engine::kNoHandle;
  try {
    const std::string table = "SNYLTDYR.DBF";
    Check(engine::CreateTable(database->Handle(), table, ObservationColumns(), 0x17));
    engine::OpenTableArgs args;
    args.database = database->Handle();
    args.table_name = table;
    args.share_mode = engine::ShareMode::kExclusive;
    Check(engine::OpenTable(args, cursor));
    engine::CursorProperties props;
    Check(engine::GetCursorProperties(cursor, props));
    engine::Handle driver = engine::kNoHandle;
    Check(engine::GetTableLanguageDriver(cursor, driver));
    std::vector<uint8_t> record(props.record_size);
    for (int64_t i = 0; i < records; ++i) {
      WriteObservation(cursor, driver, record.data(), MakeSampleObservation(seed, i));
    }
    Check(engine::CloseCursor(cursor));
    cursor = engine::kNoHandle;
    // The date index is built once over all records, after they are written.
    engine::IndexDescriptor dato;
    dato.tag_name = "DATO";
    dato.field_numbers = {cDato};
    dato.descending_fields = {false};
    Check(engine::AddIndexToTable(database->Handle(), table, "DBASE", dato));
  } catch (...) {
    if (cursor != engine::kNoHandle) engine::CloseCursor(cursor);
    Session().CloseDatabase(database);
    throw;
  }
  Session().CloseDatabase(database);
}

}  // namespace snyltdyr
