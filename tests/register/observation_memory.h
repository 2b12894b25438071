// An in-memory observation table for the register's tests: the seven columns the
// normaliser and the grade work on, with field objects declared as the register declares
// them, over the in-memory dataset of the dataset tests.
#pragma once

#include <string>

#include "dataset/fields/date_time_field.h"
#include "dataset/fields/string_field.h"
#include "register/normaliser.h"
#include "runtime/date_time.h"
#include "support/memory_dataset.h"

namespace snyltdyr::testing {

struct Observation {
  std::string dato;  // "YYYY-MM-DD" or empty
  std::string gener, snyltdyr, mengde, organ, behandl;
};

class ObservationMemoryTable {
 public:
  ObservationMemoryTable() {
    table.AddColumn("DATO", ftDate);
    table.AddColumn("GENER", ftString, 20);
    table.AddColumn("\xC5RSKLAS", ftString, 20);
    table.AddColumn("SNYLTDYR", ftString, 30);
    table.AddColumn("MENGDE", ftString, 9);
    table.AddColumn("ORGAN", ftString, 30);
    table.AddColumn("BEHANDL", ftString, 30);
    Declare(dato, "DATO", 0);
    Declare(gener, "GENER", 20);
    Declare(arsklas, "\xC5RSKLAS", 20);
    Declare(snyltdyr, "SNYLTDYR", 30);
    Declare(mengde, "MENGDE", 9);
    Declare(organ, "ORGAN", 30);
    Declare(behandl, "BEHANDL", 30);
  }

  void Add(const Observation& o) {
    Value day;
    if (!o.dato.empty()) {
      const int y = std::stoi(o.dato.substr(0, 4)), m = std::stoi(o.dato.substr(5, 2)),
                d = std::stoi(o.dato.substr(8, 2));
      day = Day(DateToDayNumber(*EncodeDate(y, m, d)));
    }
    table.AddRow({day, Text(o.gener), Value{}, Text(o.snyltdyr), Text(o.mengde), Text(o.organ),
                  Text(o.behandl)});
  }
  // Stored text of a column in row `row` ("" for null).
  std::string Stored(size_t row, const std::string& column) const {
    return table.Stored(row, column).value_or("");
  }

  FixFields Fields() { return {dato, gener, arsklas, snyltdyr, mengde, organ, behandl}; }

  TMemoryDataSet table{"SnyltdyrTable"};
  TDateField dato;
  TStringField gener, arsklas, snyltdyr, mengde, organ, behandl;

 private:
  void Declare(TField& field, const char* name, int size) {
    field.SetFieldName(name);
    if (size > 0) field.SetSize(size);
    field.SetDataSet(&table);
  }
};

}  // namespace snyltdyr::testing
