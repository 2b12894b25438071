// Files this engine writes, read by an independent reader (Debian's python3-dbfread):
// every field type, Norwegian letters in text and memo, deleted records, long memos and
// memos rewritten after they grew.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/cp1252.h"
#include "storage/engine/engine.h"
#include "support/hex.h"
#include "support/python_runner.h"
#include "support/table_builder.h"
#include "support/temp_dir.h"

namespace snyltdyr::engine {
namespace {

using testsupport::Blank;
using testsupport::Bool;
using testsupport::Date;
using testsupport::Number;
using testsupport::Text;

// Prints every record, live ones ("L") then deleted ones ("D"), one value per tab:
// "-" for none, texts as hex of their UTF-8 bytes, numbers with 12 significant digits.
constexpr const char* kDumpScript = R"(
import sys, datetime
from dbfread import DBF
def show(v):
    if v is None: return '-'
    if isinstance(v, bool): return 'T' if v else 'F'
    if isinstance(v, (int, float)): return '%.12g' % v
    if isinstance(v, datetime.date): return v.isoformat()
    if isinstance(v, bytes): return 'b' + v.hex()
    return 's' + v.encode('utf-8').hex()
t = DBF(sys.argv[1], load=True)
for kind, recs in (('L', t.records), ('D', t.deleted)):
    for r in recs:
        print(kind + '\t' + '\t'.join(show(v) for v in r.values()))
)";

using testsupport::Hex;


TEST(InteropDbfread, AnIndependentReaderSeesEveryValueWeWrote) {
  if (!testsupport::PythonAvailable()) GTEST_SKIP() << "no " << SNYLTDYR_PYTHON;
  testsupport::EngineSession engine;
  testsupport::TempDir dir;
  Handle db = engine.Database(dir.path());
  testsupport::CreateTable(db, "SNYLTDYR.DBF",
                           {{"SNYLTDYR", 'C', 20}, {"DATO", 'D'}, {"TALL", 'N', 6},
                            {"KONS", 'N', 9, 3}, {"GRAD", 'F', 10, 2}, {"FUNN", 'L'},
                            {"KOMENT", 'M'}},
                           0x17);
  Handle cur = testsupport::OpenCursor(db, "SNYLTDYR.DBF");
  Handle driver;
  ASSERT_EQ(GetTableLanguageDriver(cur, driver), kOk);
  auto native = [&](const std::string& ansi) {
    std::string out;
    EXPECT_EQ(AnsiToNative(driver, ansi, out), kOk);
    return out;
  };
  const std::string norsk = "\xC6\xD8\xC5 \xE6\xF8\xE5 \xD8rret";
  const std::string long_memo = [] {
    std::string s;
    for (int i = 0; i < 400; ++i) s += "Linje " + std::to_string(i) + " med \xF8 og \xE5.\r\n";
    return s;
  }();
  testsupport::AppendRow(cur, {Text("Haptor Mark"), Date(2003, 11, 5), Number(12), Number(-0.125),
                               Number(3.5), Bool(true), Text(native("Kort \xE6\xF8\xE5"))});
  testsupport::AppendRow(cur, {Text(norsk), Blank(), Blank(), Blank(), Blank(), Blank(), Blank()});
  testsupport::AppendRow(cur, {Text("Slettes"), Date(1999, 12, 31), Number(-7), Number(0), Number(0),
                               Bool(false), Text(native("borte"))});
  testsupport::AppendRow(cur, {Text("Tricodina"), Date(2024, 2, 29), Number(999999), Number(99999.999),
                               Number(-123456.5), Blank(), Text(native(long_memo))});
  // Record 3 deleted; record 1's memo grows past its block.
  std::vector<uint8_t> buf = testsupport::NewBuffer(cur);
  ASSERT_EQ(SetToBeginning(cur), kOk);
  ASSERT_EQ(GetNextRecord(cur, LockMode::kWriteLock, buf.data(), nullptr), kOk);
  testsupport::SetMemo(cur, buf, 7, native(long_memo + "Tillegg."));
  ASSERT_EQ(ModifyRecord(cur, buf.data(), true), kOk);
  for (int i = 0; i < 2; ++i) ASSERT_EQ(GetNextRecord(cur, LockMode::kNoLock, buf.data(), nullptr), kOk);
  ASSERT_EQ(DeleteRecord(cur), kOk);
  ASSERT_EQ(CloseCursor(cur), kOk);

  int status = 0;
  std::string out = testsupport::RunPython(dir.File("dump.py"), kDumpScript,
                                           "'" + dir.File("SNYLTDYR.DBF") + "'", status);
  ASSERT_EQ(status, 0) << out;
  const std::string expected =
      "L\ts" + Hex("Haptor Mark") + "\t2003-11-05\t12\t-0.125\t3.5\tT\ts" +
      Hex(Cp1252ToUtf8(long_memo + "Tillegg.")) + "\n" +
      "L\ts" + Hex(Cp1252ToUtf8(norsk)) + "\t-\t-\t-\t-\t-\t-\n" +
      "L\ts" + Hex("Tricodina") + "\t2024-02-29\t999999\t99999.999\t-123456.5\t-\ts" +
      Hex(Cp1252ToUtf8(long_memo)) + "\n" +
      "D\ts" + Hex("Slettes") + "\t1999-12-31\t-7\t0\t0\tF\ts" + Hex("borte") + "\n";
  // Line by line, so that a difference is readable.
  std::istringstream got(out), want(expected);
  std::string g, w;
  for (int line = 1; std::getline(want, w); ++line) {
    ASSERT_TRUE(std::getline(got, g)) << "line " << line << " missing";
    EXPECT_EQ(g.substr(0, 300), w.substr(0, 300)) << "line " << line;
    EXPECT_EQ(g, w) << "line " << line;
  }
  EXPECT_FALSE(std::getline(got, g)) << "extra: " << g;
}

}  // namespace
}  // namespace snyltdyr::engine
