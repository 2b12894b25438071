// Fixture of the binding tests: a temporary directory with an observation table
// SNYLTDYR.DBF (code page 865, the fourteen columns of the register, "ÅRSKLAS" with its
// Nordic letter) made through the storage engine, and a TTable over it with field objects
// like the program's.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "dataset/fields/blob_field.h"
#include "dataset/fields/date_time_field.h"
#include "dataset/fields/fields.h"
#include "dataset/fields/numeric_field.h"
#include "dataset/fields/string_field.h"
#include "runtime/regional_settings.h"
#include "storage/db_engine_error.h"
#include "storage/session.h"
#include "storage/table.h"
#include "support/python_runner.h"
#include "support/table_builder.h"
#include "support/temp_dir.h"

namespace snyltdyr::testing {

namespace eng = ::snyltdyr::engine;
namespace ts = ::snyltdyr::testsupport;

struct Observation {
  int day = 1;  // of January 2024
  std::string bygg, year, kind, amount, memo;
  double tall = 0;
};

// "Ø" in code page 1252; the engine stores it as 0x9D of code page 865.
inline constexpr char kOslash1252 = '\xD8';

class BindingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetRegional(NorwegianSettings());
    Session().SetActive(true);
    db_ = engine_db(dir_.path());
  }
  void TearDown() override {
    tables_.clear();
    if (db_ != eng::kNoHandle) eng::CloseDatabase(db_);
  }

  static eng::Handle engine_db(const std::string& directory) {
    eng::Handle db = eng::kNoHandle;
    EXPECT_EQ(eng::OpenDatabase("", eng::OpenMode::kReadWrite, eng::ShareMode::kShared, db),
              eng::kOk);
    EXPECT_EQ(eng::SetDirectory(db, directory), eng::kOk);
    return db;
  }

  // Creates SNYLTDYR.DBF in `directory` with the rows (texts in code page 1252, which the
  // engine converts), in their order.
  void MakeTable(const std::vector<Observation>& rows, const std::string& directory = {}) {
    const std::string where = directory.empty() ? dir_.path() : directory;
    const eng::Handle db = directory.empty() ? db_ : engine_db(directory);
    ts::CreateTable(db, "SNYLTDYR.DBF",
                    {{"DATO", 'D'}, {"BYGG", 'C', 9}, {"GENER", 'C', 20}, {"XRSKLAS", 'C', 20},
                     {"GRUPPE", 'N', 5, 1}, {"SNYLTDYR", 'C', 30}, {"MENGDE", 'C', 9},
                     {"ORGAN", 'C', 30}, {"BEHANDL", 'C', 30}, {"TID", 'C', 20},
                     {"KONS", 'C', 20}, {"KOMENT", 'M'}, {"METODE", 'C', 30},
                     {"TALL", 'N', 10, 2}},
                    0x17);
    {
      // The year-class column's real name begins with "Å" (0x8F in code page 865).
      std::fstream file(where + "/SNYLTDYR.DBF", std::ios::in | std::ios::out | std::ios::binary);
      file.seekp(32 + 3 * 32);
      file.put('\x8F');
    }
    const eng::Handle cursor = ts::OpenCursor(db, "SNYLTDYR.DBF");
    for (const Observation& r : rows) {
      ts::AppendRow(cursor, {ts::Date(2024, 1, r.day), ts::Text(r.bygg), ts::Text("2020"),
                             ts::Text(r.year), ts::Number(1), ts::Text(r.kind),
                             ts::Text(r.amount), ts::Blank(), ts::Blank(), ts::Blank(),
                             ts::Blank(), r.memo.empty() ? ts::Blank() : ts::Text(r.memo),
                             ts::Blank(), ts::Number(r.tall)});
    }
    eng::CloseCursor(cursor);
    if (!directory.empty()) eng::CloseDatabase(db);
  }

  // Five observations, days 5, 3, 1, 4, 2 in record order; record 2 has a memo.
  void MakeStandardTable() {
    MakeTable({{5, "K5", "1", "Haptor Mark", "S+", "", 5},
               {3, std::string("K") + kOslash1252, "2", "Tricodina", "-", "Fisken var syk", 3},
               {1, "K1", "1", "Haptor Mark", "-", "", 1},
               {4, "K4", "3", "Negativ", "M-", "", 4},
               {2, "K2", "1", "Tricodina", "L+", "", 2}});
  }

  // A closed table over SNYLTDYR.DBF in the test directory, with the program's fields.
  TTable& NewTable(bool with_fields = true) {
    auto table = std::make_unique<TTable>("SnyltdyrTable");
    table->SetTableName("SNYLTDYR.DBF");
    table->SetTableType(ttDBase);
    table->SetDatabaseName(dir_.path());
    if (with_fields) AddFields(*table);
    tables_.push_back(std::move(table));
    return *tables_.back();
  }

  void AddFields(TTable& table) {
    auto add = [&](std::unique_ptr<TField> field, const std::string& name, int size = 0) {
      field->SetFieldName(name);
      if (size > 0) field->SetSize(size);
      field->SetDataSet(&table);
      fields_.push_back(std::move(field));
    };
    add(std::make_unique<TDateField>(), "DATO");
    add(std::make_unique<TStringField>(), "BYGG", 9);
    add(std::make_unique<TStringField>(), "GENER");
    add(std::make_unique<TStringField>(), "\xC5RSKLAS");
    add(std::make_unique<TFloatField>(), "GRUPPE");
    add(std::make_unique<TStringField>(), "SNYLTDYR", 30);
    add(std::make_unique<TStringField>(), "MENGDE", 9);
    add(std::make_unique<TStringField>(), "ORGAN", 30);
    add(std::make_unique<TStringField>(), "BEHANDL", 30);
    add(std::make_unique<TStringField>(), "TID");
    add(std::make_unique<TStringField>(), "KONS");
    add(std::make_unique<TMemoField>(), "KOMENT", 1);
    add(std::make_unique<TStringField>(), "METODE", 30);
    add(std::make_unique<TFloatField>(), "TALL");
  }

  // The values of `field` over the records of the open table, first to last.
  static std::vector<std::string> Column(TTable& table, const std::string& field) {
    std::vector<std::string> values;
    table.First();
    while (!table.AtEnd()) {
      values.push_back(table.FieldByName(field).AsString());
      table.Next();
    }
    return values;
  }

  // Runs the independent reader over SNYLTDYR.DBF in the test directory: one line per
  // live record, "BYGG|TALL|KOMENT" (text decoded from code page 865 and printed as
  // UTF-8), then "deleted=<n>".
  std::string ReadWithDbfread() {
    if (!ts::PythonAvailable()) return "<no python>";
    const std::string script =
        "import sys\n"
        "from dbfread import DBF\n"
        "t = DBF(sys.argv[1], encoding='cp865', ignore_missing_memofile=False)\n"
        "for r in t:\n"
        "    print('%s|%s|%s' % (r['BYGG'], r['TALL'], r['KOMENT'] or ''))\n"
        "d = DBF(sys.argv[1], encoding='cp865')\n"
        "print('deleted=%d' % len(d.deleted))\n";
    int status = 0;
    std::string out =
        ts::RunPython(dir_.File("read.py"), script, "'" + dir_.File("SNYLTDYR.DBF") + "'", status);
    EXPECT_EQ(status, 0) << out;
    return out;
  }

  ts::TempDir dir_;
  eng::Handle db_ = eng::kNoHandle;
  std::vector<std::unique_ptr<TField>> fields_;
  std::vector<std::unique_ptr<TTable>> tables_;  // destroyed before the fields
};

// Runs `body` and returns the message of the EDatabaseError it raises ("" if none).
template <typename Body>
std::string ErrorOf(Body body) {
  try {
    body();
  } catch (const EDatabaseError& error) {
    return error.Message();
  }
  return {};
}

}  // namespace snyltdyr::testing
