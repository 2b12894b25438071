// The rows of a CSV export made from the bytes of the records a pass reaches: the same
// bytes the fields show, whatever the records hold (letters to convert, NULs, blank and
// invalid dates, numbers, memos of every length, damaged memo block numbers).
#include <fstream>

#include "binding_fixture.h"
#include "runtime/cp1252.h"
#include "storage/csv_rows.h"

namespace snyltdyr::testing {
namespace {

// A cell as the export has always written it, quoted by hand here.
std::string Cell(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

class CsvRowsTest : public BindingTest {
 protected:
  // The rows through the fields, record by record.
  static std::string ByFields(TTable& table) {
    std::string csv;
    table.VisitSelection(
        [&] {
          std::string line;
          const TFields& fields = table.Fields();
          for (int32_t i = 0; i < fields.Count(); ++i) {
            const TField& f = *fields[i];
            line += (i ? "," : "") + Cell(f.IsBlob() ? f.AsString() : f.DisplayText());
          }
          csv += Cp1252ToUtf8(line) + "\r\n";
        },
        poShownOrder);
    return csv;
  }

  static std::string ByRows(TTable& table) {
    std::string csv;
    TCsvRows rows(table, csv);
    table.VisitSelection([&] { rows.AddRow(); }, poShownOrder);
    rows.Finish();
    return csv;
  }

  // Overwrites the bytes of field `field` (0-based, in the table's order) of record `recno`.
  void Poke(uint32_t recno, int field, const std::string& bytes) {
    std::fstream file(dir_.File("SNYLTDYR.DBF"), std::ios::in | std::ios::out | std::ios::binary);
    unsigned char h[12];
    file.read(reinterpret_cast<char*>(h), sizeof h);
    const size_t header = h[8] | h[9] << 8, length = h[10] | h[11] << 8;
    size_t offset = 1;
    for (int i = 0; i < field; ++i) {
      file.seekg(static_cast<std::streamoff>(32 + 32 * i + 16));
      offset += static_cast<unsigned char>(file.get());
    }
    file.seekp(static_cast<std::streamoff>(header + (recno - 1) * length + offset));
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
};

TEST_F(CsvRowsTest, RowsAreWhatTheFieldsShowWhateverTheRecordsHold) {
  std::vector<Observation> rows = {
      {5, "K5", "1", "Haptor Mark", "S+", "", 5.25},
      {3, std::string("K") + kOslash1252, "2", "Tricodina", "-", std::string("Syk \xD8ye"), 3},
      {1, "K,\"1", "1", "Haptor, Mark", "\"", "komma, \"sitat\"\r\nog linje", -123456.5},
      {4, "K4", "3", "Negativ", "M-", std::string(1500, 'L'), 0},
      {2, "", "", "", "", "", 0.1},
      {6, "K6", "1", "Tricodina", "L+", "", 2},
  };
  // More memos than one batch holds, so that the rows wait and are written in turns.
  for (size_t i = 0; i < TCsvRows::kMemoBatch + 100; ++i)
    rows.push_back({1 + static_cast<int>(i % 28), "K" + std::to_string(i % 7), "1", "Haptor Mark",
                    "S", i % 3 == 0 ? "" : "memo " + std::to_string(i), static_cast<double>(i) / 4});
  MakeTable(rows);
  Poke(1, 1, std::string("K\0X", 3));  // a NUL ends the text early
  Poke(5, 0, "        ");              // a blank date
  Poke(6, 0, "2024ab01");              // a date that is none
  Poke(6, 4, "   x ");                  // a number that is none
  Poke(7, 13, "          ");            // a blank number
  TTable& table = NewTable();
  table.Open();
  const std::string expected = ByFields(table);
  ASSERT_GT(expected.size(), 1500u);
  EXPECT_EQ(ByRows(table), expected);
  // The rows the fields cannot be skipped for: a handler shapes the text.
  table.FieldByName("BYGG").OnGetText = [](TField& f, std::string& text, bool) {
    text = "<" + f.AsString() + ">";
  };
  dynamic_cast<TFloatField&>(table.FieldByName("TALL")).SetDisplayFormat("0.000");
  table.FieldByName("DATO").OnGetText = [](TField&, std::string& text, bool) { text = "d"; };
  const std::string shaped = ByFields(table);
  EXPECT_NE(shaped, expected);
  EXPECT_EQ(ByRows(table), shaped);
  // A filter handler: the dataset walks the records itself, with no record bytes to read.
  table.SetOnFilterRecord([](TDataSet& data_set, bool& accept) {
    accept = data_set.FieldByName("MENGDE").AsString() != "-";
  });
  table.SetFiltered(true);
  const std::string handled = ByFields(table);
  EXPECT_LT(handled.size(), shaped.size());
  EXPECT_EQ(ByRows(table), handled);
}

TEST_F(CsvRowsTest, AMemoChangedBetweenTwoExportsComesOutChanged) {
  MakeStandardTable();
  TTable& table = NewTable();
  table.Open();
  const std::string before = ByRows(table);
  EXPECT_NE(before.find("Fisken var syk"), std::string::npos);

  const eng::Handle other = ts::OpenCursor(db_, "SNYLTDYR.DBF");
  std::vector<uint8_t> buffer = ts::NewBuffer(other);
  ASSERT_EQ(eng::SetToBeginning(other), eng::kOk);
  ASSERT_EQ(eng::GetNextRecord(other, eng::LockMode::kNoLock, nullptr, nullptr), eng::kOk);
  ASSERT_EQ(eng::GetNextRecord(other, eng::LockMode::kWriteLock, buffer.data(), nullptr), eng::kOk);
  ts::SetMemo(other, buffer, 12, std::string(900, 'E') + ", endret");  // longer: new blocks
  ASSERT_EQ(eng::ModifyRecord(other, buffer.data(), true), eng::kOk);
  eng::CloseCursor(other);

  const std::string after = ByRows(table);
  EXPECT_EQ(after.find("Fisken var syk"), std::string::npos);
  EXPECT_NE(after.find("\"" + std::string(900, 'E') + ", endret\""), std::string::npos);
  EXPECT_EQ(after, ByFields(table));
}

TEST_F(CsvRowsTest, ADamagedMemoBlockNumberFailsAsTheFieldFails) {
  std::vector<Observation> rows;
  for (int i = 0; i < 40; ++i) rows.push_back({1 + i % 28, "K", "1", "Tricodina", "-", "memo", 1});
  MakeTable(rows);
  for (const char* damage : {"      12x ", "  99999999"}) {
    SCOPED_TRACE(damage);
    Poke(30, 11, damage);
    TTable& table = NewTable();
    table.Open();
    const std::string by_field = ErrorOf([&] { ByFields(table); });
    ASSERT_NE(by_field, "");
    EXPECT_EQ(ErrorOf([&] { ByRows(table); }), by_field);
    table.Close();
  }
}

}  // namespace
}  // namespace snyltdyr::testing
