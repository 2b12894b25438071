// A filled observation table for filter tests: SNYLTDYR.DBF in code page 865 with the
// program's fourteen columns and a few hundred records of every kind the selection
// buttons tell apart (and near misses: other case, longer names, "03" for 3, ...).
//
//   testsupport::ObservationTable table(db, dir);   // creates, opens and fills it
//   table.cursor, table.rows, table.Selected([](const ObservationRow& r) { ... })
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "support/table_builder.h"
#include "support/temp_dir.h"

namespace snyltdyr::testsupport {

struct ObservationRow {
  std::string kind, amount, treatment, year, memo;
  double group = 0;
  bool has_group = false;
};

inline std::string TrimmedRight(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

class ObservationTable {
 public:
  ObservationTable(eng::Handle db, const TempDir& dir, int count = 240) {
    // The year-class column is created under a plain name and renamed in the header to
    // its real one, "ÅRSKLAS" in code page 865.
    CreateTable(db, "SNYLTDYR.DBF",
                {{"DATO", 'D'}, {"BYGG", 'C', 9}, {"GENER", 'C', 20}, {"XRSKLAS", 'C', 20},
                 {"GRUPPE", 'N', 5, 1}, {"SNYLTDYR", 'C', 30}, {"MENGDE", 'C', 9},
                 {"ORGAN", 'C', 30}, {"BEHANDL", 'C', 30}, {"TID", 'C', 20}, {"KONS", 'C', 20},
                 {"KOMENT", 'M'}, {"METODE", 'C', 30}, {"TALL", 'N', 10, 2}},
                0x17);
    {
      std::fstream file(dir.File("SNYLTDYR.DBF"), std::ios::in | std::ios::out | std::ios::binary);
      file.seekp(32 + 3 * 32);
      file.put('\x8F');
    }
    cursor = OpenCursor(db, "SNYLTDYR.DBF");

    std::mt19937 random(1234);
    const char* kinds[] = {"Haptor Mark", "Tricodina", "Negativ", "", "haptor mark", "Haptor",
                           "Haptor Marks"};
    const char* amounts[] = {"-", "S+", "M-", "L+", "", "--"};
    const char* treatments[] = {"", "Formalin", "Formalin", "Salt"};
    const char* years[] = {"0", "1", "2", "3", "4", "5", "", "13", "03", "3.0", "tre"};
    for (int i = 0; i < count; ++i) {
      ObservationRow r;
      r.kind = kinds[random() % 7];
      r.amount = amounts[random() % 6];
      r.treatment = treatments[random() % 4];
      r.year = years[random() % 11];
      r.has_group = random() % 4 != 0;
      r.group = static_cast<double>(random() % 40) / 2;
      if (random() % 3 == 0) r.memo = random() % 2 ? "Fisken var syk" : "Alt vel";
      rows.push_back(r);
      AppendRow(cursor, {Date(2000 + i % 20, 1 + i % 12, 1 + i % 28), Text("Kar"), Text("1999"),
                         Text(r.year), r.has_group ? Number(r.group) : Blank(), Text(r.kind),
                         Text(r.amount), Blank(), Text(r.treatment), Blank(), Blank(),
                         r.memo.empty() ? Blank() : Text(r.memo)});
    }
  }

  // Record numbers (1-based) of the rows `keep` keeps: the plain loop over the data.
  std::set<uint32_t> Selected(const std::function<bool(const ObservationRow&)>& keep) const {
    std::set<uint32_t> out;
    for (size_t i = 0; i < rows.size(); ++i) {
      if (keep(rows[i])) out.insert(static_cast<uint32_t>(i + 1));
    }
    return out;
  }

  // Record numbers the cursor shows, walking forwards or backwards.
  std::vector<uint32_t> Walk(bool forward) const {
    std::vector<uint32_t> seen;
    EXPECT_EQ(forward ? eng::SetToBeginning(cursor) : eng::SetToEnd(cursor), eng::kOk);
    eng::RecordProperties props;
    for (;;) {
      eng::Result r = forward ? eng::GetNextRecord(cursor, eng::LockMode::kNoLock, nullptr, &props)
                              : eng::GetPriorRecord(cursor, eng::LockMode::kNoLock, nullptr, &props);
      if (r != eng::kOk) {
        EXPECT_EQ(r, forward ? eng::kErrEndOfTable : eng::kErrBeginningOfTable);
        break;
      }
      seen.push_back(props.physical_number);
    }
    return seen;
  }

  // The cursor shows exactly `expected`, each record once, both ways, and counts them.
  void ExpectShows(const std::set<uint32_t>& expected, const std::string& what) const {
    for (bool forward : {true, false}) {
      std::vector<uint32_t> seen = Walk(forward);
      EXPECT_EQ(std::set<uint32_t>(seen.begin(), seen.end()), expected) << what;
      EXPECT_EQ(seen.size(), expected.size()) << what;
    }
    uint32_t count = 0;
    EXPECT_EQ(eng::GetExactRecordCount(cursor, count), eng::kOk);
    EXPECT_EQ(count, expected.size()) << what;
    EXPECT_EQ(eng::GetRecordCount(cursor, count), eng::kOk);
    EXPECT_EQ(count, expected.size()) << what;
  }

  eng::Handle cursor = eng::kNoHandle;
  std::vector<ObservationRow> rows;
};

// Every selection the kind, "Funn", "Behandling" and year-class buttons can make: its
// filter text exactly as the window composes it, and the plain test of a row.
struct Selection {
  std::string text;
  std::string kind;  // empty: any
  bool found = false, treated = false;
  int year = -1;

  bool Keeps(const ObservationRow& r) const {
    return (kind.empty() || r.kind == kind) && (!found || r.amount != "-") &&
           (!treated || !TrimmedRight(r.treatment).empty()) &&
           (year < 0 || r.year == std::to_string(year));
  }
};

inline std::vector<Selection> AllSelections() {
  std::vector<Selection> out;
  for (std::string kind : {"", "Haptor Mark", "Tricodina"}) {
    for (int found = 0; found < 2; ++found) {
      for (int treated = 0; treated < 2; ++treated) {
        for (int year = -1; year <= 5; ++year) {
          Selection s{"", kind, found != 0, treated != 0, year};
          auto add = [&](const std::string& piece) {
            s.text += (s.text.empty() ? "" : " AND ") + piece;
          };
          if (!kind.empty()) add("SNYLTDYR='" + kind + "'");
          if (found) add("MENGDE<>'-'");
          if (treated) add("BEHANDL<>''");
          if (year >= 0) add("\xC5RSKLAS=" + std::to_string(year));
          if (!s.text.empty()) out.push_back(s);
        }
      }
    }
  }
  return out;
}

}  // namespace snyltdyr::testsupport
