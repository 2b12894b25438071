// The normaliser straight in a pass's bytes (TDirectNormaliser) against the normaliser
// through the fields: every combination of the inputs the sample generator types, with
// odd ones beside them (letters beyond ASCII, a NUL, numbers at the ends of 32 bits), must
// leave byte for byte the same table, and the quick way must be taken exactly where it
// may be.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "register/direct_normaliser.h"
#include "register/observation_table.h"
#include "register/sample_observations.h"
#include "register/snyltdyr_register.h"
#include "runtime/date_time.h"
#include "runtime/regional_settings.h"
#include "storage/db_engine_error.h"
#include "storage/session.h"
#include "storage/stored_text.h"
#include "observation_memory.h"
#include "support/temp_dir.h"

namespace snyltdyr {
namespace {

namespace fs = std::filesystem;

struct Date {
  int32_t year = 0, month = 0, day = 0;  // year 0: empty
};

// The distinct values of each rule's input.
struct Inputs {
  std::vector<std::string> behandl, snyltdyr, organ, mengde, gener;
  std::vector<Date> dates;
};

bool operator==(const Date& a, const Date& b) { return a.year == b.year; }

template <typename T>
void AddOnce(std::vector<T>& list, const T& value) {
  for (const T& v : list)
    if (v == value) return;
  list.push_back(value);
}

// Every value the sample generator types (enough draws to meet each of them), then the
// odd ones it never types.
Inputs AllInputs() {
  Inputs in;
  for (int64_t i = 0; i < 20000; ++i) {
    const SampleObservation o = MakeSampleObservation(7, i);
    AddOnce(in.behandl, o.behandl);
    AddOnce(in.snyltdyr, o.snyltdyr);
    AddOnce(in.organ, o.organ);
    AddOnce(in.mengde, o.mengde);
    AddOnce(in.gener, o.gener);
    AddOnce(in.dates, Date{o.year, o.month, o.day});
  }
  for (const char* v : {"f\xE5", "Form\xE6lin", " f", "FORM"})
    AddOnce(in.behandl, std::string(v));
  AddOnce(in.behandl, std::string("F\0x", 3));
  for (const char* v : {"h\xF8", "TRIC", "x neg. y", "\xC5 cos"}) AddOnce(in.snyltdyr, std::string(v));
  for (const char* v : {"H/G\xD8", "hud/gjelle", "\xE5", "h/g lever"}) AddOnce(in.organ, std::string(v));
  for (const char* v : {"s\xF8", "123456789", " m"}) AddOnce(in.mengde, std::string(v));
  for (const char* v : {"2147483647", "-2147483648", "9999999999", " 01", "$10", "98 x",
                        "\xE6\xF8", "-5", "0"}) {
    AddOnce(in.gener, std::string(v));
  }
  for (const Date& d : {Date{1, 1, 1}, Date{9999, 12, 31}, Date{1899, 12, 30}}) AddOnce(in.dates, d);
  return in;
}

enum Column : uint16_t { cDato = 1, cGener = 3, cSnyltdyr = 6, cMengde, cOrgan, cBehandl };

// A table in `dir` with one record for every BEHANDL × SNYLTDYR × ORGAN × MENGDE, the
// pairs of GENER and DATO (the year class's inputs) going round along them.
int64_t CreateTable(const std::string& dir, const Inputs& in) {
  CreateObservationTable(dir);
  TDatabase* database = Session().OpenDatabase(dir);
  engine::OpenTableArgs args;
  args.database = database->Handle();
  args.table_name = "SNYLTDYR.DBF";
  args.share_mode = engine::ShareMode::kExclusive;
  engine::Handle cursor = engine::kNoHandle;
  Check(engine::OpenTable(args, cursor));
  engine::CursorProperties props;
  Check(engine::GetCursorProperties(cursor, props));
  auto put = [&](uint8_t* record, uint16_t column, const std::string& text) {
    if (text.empty()) return;
    engine::FieldValue value;
    value.blank = false;
    value.text = text;
    Check(engine::PutField(cursor, column, record, value));
  };
  const size_t pairs = in.gener.size() * in.dates.size();
  std::vector<uint8_t> run;
  int64_t n = 0;
  auto flush = [&] {
    uint32_t first = 0;
    Check(engine::AppendRecords(cursor, run.data(), static_cast<uint32_t>(run.size() / props.record_size),
                                {}, first));
    run.clear();
  };
  for (const auto& behandl : in.behandl)
    for (const auto& snyltdyr : in.snyltdyr)
      for (const auto& organ : in.organ)
        for (const auto& mengde : in.mengde) {
          const size_t pair = static_cast<size_t>(n++) % pairs;
          const Date& date = in.dates[pair % in.dates.size()];
          std::vector<uint8_t> record(props.record_size);
          Check(engine::InitRecord(cursor, record.data()));
          if (date.year != 0) {
            engine::FieldValue value;
            value.blank = false;
            value.date = DateToDayNumber(*EncodeDate(date.year, date.month, date.day));
            Check(engine::PutField(cursor, cDato, record.data(), value));
          }
          put(record.data(), cGener, in.gener[pair / in.dates.size()]);
          put(record.data(), cSnyltdyr, snyltdyr);
          put(record.data(), cMengde, mengde);
          put(record.data(), cOrgan, organ);
          put(record.data(), cBehandl, behandl);
          run.insert(run.end(), record.begin(), record.end());
          if (run.size() >= 4096 * static_cast<size_t>(props.record_size)) flush();
        }
  if (!run.empty()) flush();
  Check(engine::CloseCursor(cursor));
  Session().CloseDatabase(database);
  return n;
}

std::string DbfBytes(const std::string& dir) {
  std::ifstream in(dir + "/SNYLTDYR.DBF", std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() > 4) bytes.replace(1, 3, 3, '\0');  // the date of the last change
  return bytes;
}

// The first record that differs, both ways, for the failure message.
std::string FirstDifference(const std::string& a, const std::string& b) {
  const size_t at = static_cast<size_t>(std::mismatch(a.begin(), a.end(), b.begin()).first - a.begin());
  uint16_t header = 0, length = 0;
  std::memcpy(&header, a.data() + 8, 2);
  std::memcpy(&length, a.data() + 10, 2);
  if (at < header || length == 0) return "in the header at byte " + std::to_string(at);
  const size_t start = header + (at - header) / length * length;
  auto shown = [&](const std::string& s) {
    std::string text = s.substr(start, length);
    for (char& c : text)
      if (c == '\0') c = '~';
    return "[" + text + "]";
  };
  return "record " + std::to_string((at - header) / length + 1) + ", byte " +
         std::to_string(at - start) + ":\n" + shown(a) + "\n" + shown(b);
}

void OpenRegister(SnyltdyrRegister& r, const std::string& dir) {
  r.SnyltdyrTable.SetDatabaseName(dir);
  r.OpenHere();
}

class DirectNormaliser : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    SetRegional(NorwegianSettings());
    master_ = new testsupport::TempDir();
    records_ = CreateTable(master_->path(), AllInputs());
    StopDefaultSession();
  }
  static void TearDownTestSuite() {
    delete master_;
    master_ = nullptr;
  }
  // A fresh copy of the table, in a folder of its own named `name`.
  std::string Copy(const std::string& name) {
    const std::string dir = dir_.path() + "/" + name;
    testsupport::CopyFolderFiles(master_->path(), dir);
    return dir;
  }
  // "Fiks formatering" through the fields: FixRecord and a BeforePost that is not the
  // register's own, though it does the same.
  std::string FixedThroughFields() {
    const std::string dir = Copy("fields");
    SnyltdyrRegister r;
    OpenRegister(r, dir);
    r.SnyltdyrTable.BeforePost = [&r](TDataSet&) { r.Fix(); };
    EXPECT_EQ(r.BitBtn1Click().records, records_);
    r.SnyltdyrTable.Close();
    return DbfBytes(dir);
  }

  // The fields the register's normaliser reads and writes.
  static FixFields NormalisedFields(SnyltdyrRegister& r) {
    return {r.SnyltdyrTableDATO,     r.SnyltdyrTableGENER,  r.SnyltdyrTableRSKLAS,
            r.SnyltdyrTableSNYLTDYR, r.SnyltdyrTableMENGDE, r.SnyltdyrTableORGAN,
            r.SnyltdyrTableBEHANDL};
  }

  static testsupport::TempDir* master_;
  static int64_t records_;
  testsupport::TempDir dir_;
};

testsupport::TempDir* DirectNormaliser::master_ = nullptr;
int64_t DirectNormaliser::records_ = 0;

TEST_F(DirectNormaliser, EveryCombinationOfInputsGivesTheBytesOfTheFieldPath) {
  const std::string fields = FixedThroughFields();
  const std::string dir = Copy("direct");
  {
    SnyltdyrRegister r;
    OpenRegister(r, dir);
    const TRewriteCount count = r.BitBtn1Click();
    EXPECT_EQ(count.records, records_);
    EXPECT_GT(count.written, 0);
  }
  StopDefaultSession();
  const std::string direct = DbfBytes(dir);
  ASSERT_EQ(direct.size(), fields.size());
  EXPECT_TRUE(direct == fields) << FirstDifference(direct, fields);
}

TEST_F(DirectNormaliser, PlainRecordsGoTheQuickWayAndTheOthersThroughTheirFields) {
  const std::string dir = Copy("branches");
  SnyltdyrRegister r;
  OpenRegister(r, dir);
  const FixFields f = NormalisedFields(r);
  TDirectNormaliser direct(r.SnyltdyrTable, f);
  ASSERT_TRUE(direct.Usable());
  EXPECT_FALSE(direct.FixPassRecord());  // outside a pass there is no record of its own
  int64_t quick = 0, through_fields = 0, plain_inputs = 0;
  r.SnyltdyrTable.RewriteSelection(
      [&] { ++through_fields; FixRecord(f); },
      [&] {
        bool plain = true;
        for (TField* field : {&f.behandl, &f.snyltdyr, &f.organ, &f.mengde, &f.gener}) {
          for (char c : field->AsString()) plain = plain && static_cast<unsigned char>(c) < 0x80;
        }
        plain_inputs += plain;
        const bool done = direct.FixPassRecord();
        quick += done;
        return done;
      },
      {});
  EXPECT_EQ(quick + through_fields, records_);
  EXPECT_GT(through_fields, 0);
  // A NUL cuts a text short for the field, which the quick way leaves to the field too.
  EXPECT_LE(quick, plain_inputs);
  EXPECT_GT(quick, records_ / 2);
}

TEST_F(DirectNormaliser, FieldEventsOrAnotherBeforePostKeepTheFieldPath) {
  const std::string dir = Copy("events");
  SnyltdyrRegister r;
  OpenRegister(r, dir);
  const FixFields f = NormalisedFields(r);
  // An OnChange on one field: every change of it is heard, twice per record at most.
  int64_t changes = 0;
  r.SnyltdyrTableMENGDE.OnChange = [&](TField&) { ++changes; };
  EXPECT_FALSE(TDirectNormaliser(r.SnyltdyrTable, f).Usable());
  r.BitBtn1Click();
  EXPECT_EQ(changes, 2 * records_);  // MENGDE is written by every fix
  r.SnyltdyrTableMENGDE.OnChange = nullptr;
  EXPECT_TRUE(TDirectNormaliser(r.SnyltdyrTable, f).Usable());

  // A BeforePost of another's runs for every record, though the register's own was in it.
  int64_t posts = 0;
  auto own = r.SnyltdyrTable.BeforePost;
  r.SnyltdyrTable.BeforePost = [&](TDataSet& table) {
    ++posts;
    own(table);
  };
  EXPECT_EQ(r.BitBtn1Click().records, records_);
  EXPECT_EQ(posts, records_);
}

// A text read straight from a record ends where its column ends, and writing one pads its
// own column only: MENGDE (9 bytes) lies just before ORGAN.
TEST_F(DirectNormaliser, AStoredTextKeepsToItsColumn) {
  const std::string dir = Copy("column");
  SnyltdyrRegister r;
  OpenRegister(r, dir);
  TEngineDataSet& table = r.SnyltdyrTable;
  const TStoredText mengde(r.SnyltdyrTableMENGDE);
  ASSERT_TRUE(mengde.Direct());
  int64_t checked = 0;
  table.RewriteSelection(
      [&] {
        const std::string organ = r.SnyltdyrTableORGAN.AsString();
        std::string_view text;
        if (checked == 50 || organ.empty() || !mengde.Read(table.PassRecord(), text)) return;
        EXPECT_EQ(std::string(text), r.SnyltdyrTableMENGDE.AsString());
        mengde.Write(table.PassRecord(), "123456789ABC");
        EXPECT_EQ(r.SnyltdyrTableMENGDE.AsString(), "123456789");
        EXPECT_EQ(r.SnyltdyrTableORGAN.AsString(), organ);
        ++checked;
      },
      {});
  EXPECT_EQ(checked, 50);
}

// A dataset other than the storage table always goes through its fields.
TEST(DirectNormaliserElsewhere, AnInMemoryTableIsFixedThroughItsFields) {
  SetRegional(NorwegianSettings());
  testing::ObservationMemoryTable t;
  t.Add({"2004-06-15", "98", "h.mark", "m+", "h/g", "formalin 1:4000"});
  t.table.BeforePost = [&](TDataSet&) { FixRecord(t.Fields()); };
  t.table.Open();
  EXPECT_EQ(FixAllRecords(t.table, t.Fields(), {}, TBeforePost::bpFixRecord).records, 1);
  EXPECT_EQ(t.Stored(0, "ORGAN"), "Gjelle");  // "Hud/Gjelle" after the fix, then BeforePost's
  EXPECT_EQ(t.Stored(0, "\xC5RSKLAS"), "6");
}

}  // namespace
}  // namespace snyltdyr
