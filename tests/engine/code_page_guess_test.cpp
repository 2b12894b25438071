// A table whose header names no code page (byte 29 cleared, as an office suite's save
// leaves it) and that has no .cpg file: its code page is found from its own text, it is
// read in that code page and never written until the code page is set.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "storage/engine/datafile/code_page_guess.h"
#include "storage/engine/engine.h"
#include "support/table_builder.h"
#include "support/temp_dir.h"

namespace snyltdyr::engine {
namespace {

using testsupport::Text;

TextBytes TextOf(std::initializer_list<std::string> texts) {
  TextBytes t;
  for (const std::string& s : texts) t.Add(s);
  return t;
}

TEST(CodePageGuess, NorwegianLettersTellTheCodePagesApart) {
  // Code page 865 (and 850, which puts these letters at the same bytes).
  CodePageGuess g = GuessCodePage(TextOf({"Hall \x9D-4", "Pr\x9Bvetaking", "\x8FRSKLAS", "bl\x86", "\x91re"}));
  EXPECT_TRUE(g.certain);
  EXPECT_EQ(g.code_page, 865);
  EXPECT_EQ(g.fitting, (std::vector<int>{865, 850}));
  // Code page 1252.
  g = GuessCodePage(TextOf({"Hall \xD8-4", "Pr\xF8vetaking", "\xC5RSKLAS", "\xE6re"}));
  EXPECT_TRUE(g.certain);
  EXPECT_EQ(g.code_page, 1252);
  // 437 has no ø: a DOS table with only å and æ is 865's as well, and read alike.
  g = GuessCodePage(TextOf({"bl\x86", "\x91re", "\x8F"}));
  EXPECT_TRUE(g.certain);
  EXPECT_EQ(g.fitting, (std::vector<int>{865, 850, 437}));
  // Plain ASCII reads alike everywhere.
  g = GuessCodePage(TextOf({"Hall A-4"}));
  EXPECT_TRUE(g.plain_ascii);
  EXPECT_TRUE(g.certain);
}

TEST(CodePageGuess, TextFromTwoCodePagesIsUncertain) {
  // Records saved by two programs: DOS æ (0x91) beside Windows æ (0xE6). In 865 0xE6 is
  // µ, in 1252 0x91 a quote: no code page reads every letter.
  const CodePageGuess g = GuessCodePage(TextOf({"\x91re", "\xE6re"}));
  EXPECT_FALSE(g.certain);
  EXPECT_TRUE(g.fitting.empty());
  EXPECT_EQ(CodePageList({865, 850, 1252}), "865, 850 and 1252");
}

class NoCodePage : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = engine_.Database(dir_.path());
    testsupport::CreateTable(db_, "OBS.DBF", {{"BYGG", 'C', 12}, {"\x8FR", 'C', 4}}, 0x17);
    Handle cur = testsupport::OpenCursor(db_, "OBS.DBF");
    testsupport::AppendRow(cur, {Text("Hall \xD8-4"), Text("\xC6")});  // stored as 865
    testsupport::AppendRow(cur, {Text("Pr\xF8vetaking"), Text("")});
    CloseCursor(cur);
    ClearByte29();
  }

  void ClearByte29() {
    std::fstream f(dir_.File("OBS.DBF"), std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(29);
    f.put('\0');
  }

  std::string Bytes() {
    std::ifstream in(dir_.File("OBS.DBF"), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  testsupport::EngineSession engine_;
  testsupport::TempDir dir_;
  Handle db_ = kNoHandle;
};

TEST_F(NoCodePage, TheTableIsReadInTheCodePageOfItsTextAndNotWritten) {
  const std::string before = Bytes();
  OpenTableArgs args;
  args.database = db_;
  args.table_name = "OBS.DBF";
  Handle cur = kNoHandle;
  EXPECT_EQ(OpenTable(args, cur), kErrTableReadOnly);
  ErrorEntry e;
  ASSERT_EQ(GetErrorEntry(1, e), kOk);
  std::string text = e.text;
  for (uint16_t i = 2; GetErrorEntry(i, e) == kOk; ++i) text += e.text;
  EXPECT_NE(text.find("reads as code page 865, which is assumed"), std::string::npos) << text;
  EXPECT_NE(text.find("snyltdyr-cli repair \"" + dir_.path() + "\" --apply"), std::string::npos) << text;

  cur = testsupport::OpenCursor(db_, "OBS.DBF", OpenMode::kReadOnly);
  CursorProperties props;
  ASSERT_EQ(GetCursorProperties(cur, props), kOk);
  EXPECT_EQ(props.code_page, 865);
  EXPECT_FALSE(props.code_page_uncertain);
  EXPECT_NE(props.code_page_note.find("code page 865"), std::string::npos);
  std::vector<uint8_t> buf = testsupport::NewBuffer(cur);
  ASSERT_EQ(GetNextRecord(cur, LockMode::kNoLock, buf.data(), nullptr), kOk);
  FieldValue v;
  ASSERT_EQ(GetField(cur, 1, buf.data(), v), kOk);
  EXPECT_EQ(v.text, "Hall \xD8-4");  // not "Hall ¥-4"
  std::vector<FieldDescriptor> fields;
  ASSERT_EQ(GetFieldDescriptors(cur, fields), kOk);
  Handle driver;
  ASSERT_EQ(GetTableLanguageDriver(cur, driver), kOk);
  std::string name;
  ASSERT_EQ(NativeToAnsi(driver, fields[1].name, name), kOk);
  EXPECT_EQ(name, "\xC5R");
  CloseCursor(cur);
  EXPECT_EQ(Bytes(), before);
}

TEST_F(NoCodePage, ACodePageFileDecidesAsBefore) {
  std::ofstream(dir_.File("OBS.CPG")) << "865\n";
  Handle cur = testsupport::OpenCursor(db_, "OBS.DBF");
  CursorProperties props;
  ASSERT_EQ(GetCursorProperties(cur, props), kOk);
  EXPECT_EQ(props.code_page, 865);
  EXPECT_EQ(props.write_refusal, "");
  EXPECT_EQ(props.code_page_note, "");
  CloseCursor(cur);
}

}  // namespace
}  // namespace snyltdyr::engine
