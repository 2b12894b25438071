// Code pages of tables: the language driver byte, the default for tables without one,
// and conversion between a table's code page and code page 1252.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "storage/engine/datafile/code_page.h"
#include "storage/engine/engine.h"
#include "support/table_builder.h"
#include "support/temp_dir.h"

namespace snyltdyr::engine {
namespace {

TEST(CodePage, LanguageDriverBytesNameTheirCodePages) {
  EXPECT_EQ(CodePageOfDriver(0x17), 865);  // Norwegian
  EXPECT_EQ(CodePageOfDriver(0x08), 865);  // Danish
  EXPECT_EQ(CodePageOfDriver(0x66), 865);  // Nordic
  EXPECT_EQ(CodePageOfDriver(0x65), 866);  // Russian
  EXPECT_EQ(CodePageOfDriver(0x1B), 437);
  EXPECT_EQ(CodePageOfDriver(0x02), 850);
  EXPECT_EQ(CodePageOfDriver(0x57), 1252);
  EXPECT_EQ(CodePageOfDriver(0x03), 1252);
  EXPECT_EQ(CodePageOfDriver(0xC9), 1251);
  EXPECT_EQ(CodePageOfDriver(0x00), 0);
  EXPECT_EQ(CodePageOfDriver(0xF0), 0);
  EXPECT_EQ(DriverOfCodePage(865), 0x17);
  EXPECT_EQ(DriverOfCodePage(1252), 0x57);
}

TEST(CodePage, NorwegianLettersConvertBothWaysAndMissingOnesBecomePlain) {
  // \xE6\xF8\xE5\xC6\xD8\xC5 in 1252 are 91 9B 86 92 9D 8F in 865.
  const std::string ansi = "\xE6\xF8\xE5\xC6\xD8\xC5 Haptor";
  EXPECT_EQ(AnsiToNative(865, ansi), "\x91\x9B\x86\x92\x9D\x8F Haptor");
  EXPECT_EQ(NativeToAnsi(865, AnsiToNative(865, ansi)), ansi);
  EXPECT_EQ(AnsiToNative(850, "\xF8\xD8"), "\x9B\x9D");
  EXPECT_EQ(NativeToAnsi(437, "\x9B\x9D"), "\xA2\xA5");  // the same bytes are cent and yen in 437
  EXPECT_EQ(AnsiToNative(865, "\xC0"), "A");             // no A with grave in 865
  EXPECT_EQ(AnsiToNative(865, "\x80"), "?");             // nor a euro sign
  EXPECT_EQ(NativeToAnsi(865, "\xC4"), "-");             // box drawing: nearest plain form
  // A 1252 table keeps every byte, the undefined ones too.
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(NativeToAnsi(1252, all), all);
  EXPECT_EQ(AnsiToNative(1252, all), all);
  // Code pages through iconv.
  EXPECT_EQ(NativeToAnsi(852, "\xE1"), "\xDF");  // sharp s
  EXPECT_TRUE(CodePageSupported(866));
  EXPECT_FALSE(CodePageSupported(932));
}

TEST(CodePage, TablesWithoutADriverAreCodePage437UnlessASidecarSaysOtherwise) {
  testsupport::TempDir dir;
  std::ofstream(dir.File("a.dbf")) << "x";
  EXPECT_EQ(DefaultCodePage(dir.File("a.dbf")), 437);
  std::ofstream(dir.File("A.CPG")) << "ANSI 1252\r\n";
  EXPECT_EQ(DefaultCodePage(dir.File("a.dbf")), 1252);
}

TEST(CodePage, TextGoesThroughTheTablesCodePageAndTheDriverByteStays) {
  testsupport::EngineSession engine;
  testsupport::TempDir dir;
  Handle db = engine.Database(dir.path());
  testsupport::CreateTable(db, "NORD.DBF", {{"NAVN", 'C', 10}}, 0x66);
  Handle cur = testsupport::OpenCursor(db, "NORD.DBF");
  testsupport::AppendRow(cur, {testsupport::Text("\xD8rret")});
  std::vector<uint8_t> buf = testsupport::NewBuffer(cur);
  ASSERT_EQ(SetToBeginning(cur), kOk);
  ASSERT_EQ(GetNextRecord(cur, LockMode::kWriteLock, buf.data(), nullptr), kOk);
  ASSERT_EQ(PutField(cur, 1, buf.data(), testsupport::Text("\xC5l")), kOk);
  ASSERT_EQ(ModifyRecord(cur, buf.data(), true), kOk);
  CursorProperties props;
  ASSERT_EQ(GetCursorProperties(cur, props), kOk);
  EXPECT_EQ(props.code_page, 865);
  Handle driver;
  ASSERT_EQ(GetTableLanguageDriver(cur, driver), kOk);
  std::string native;
  ASSERT_EQ(AnsiToNative(driver, "\xE6", native), kOk);
  EXPECT_EQ(native, "\x91");
  CloseCursor(cur);
  std::ifstream in(dir.File("NORD.DBF"), std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(static_cast<uint8_t>(bytes[29]), 0x66);
  EXPECT_EQ(bytes.substr(32 + 32 + 1 + 1, 2), "\x8Fl");
}

}  // namespace
}  // namespace snyltdyr::engine
