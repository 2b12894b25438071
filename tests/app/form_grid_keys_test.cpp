// Data entry with the keyboard in the real window's grid: typing, Enter, the row steps
// that post, append and drop rows, Tab, Esc, Ctrl+Delete, refused characters, field
// lengths and bad text. After every scenario that writes, the file is read back with
// the independent reader and the index is checked.
#include "form_grid_fixture.h"

namespace snyltdyr {
namespace {

using testsupport::DbfRow;
using testsupport::Glyph;
using testsupport::GridFormTest;
using testsupport::IndexProblems;

// The rows of `after` that are not in `before` (and the reverse), as the reader sees them.
std::vector<DbfRow> Added(std::vector<DbfRow> before, const std::vector<DbfRow>& after) {
  std::vector<DbfRow> added;
  for (const DbfRow& row : after) {
    auto it = std::find(before.begin(), before.end(), row);
    if (it != before.end()) {
      before.erase(it);
    } else {
      added.push_back(row);
    }
  }
  EXPECT_TRUE(before.empty()) << "a stored record changed or went away";
  return added;
}

// Every record but `record` (1-based, file order) as it was.
void ExpectOthersUnchanged(const std::vector<DbfRow>& before, const std::vector<DbfRow>& after,
                           int32_t record) {
  ASSERT_EQ(before.size(), after.size());
  for (size_t i = 0; i < before.size(); ++i) {
    if (static_cast<int32_t>(i) + 1 != record) {
      EXPECT_EQ(before[i], after[i]) << "record " << i + 1;
    }
  }
}

TEST_F(GridFormTest, TypingOnABrowsingCellOpensTheEditorWithJustThatCharacter) {
  ShowGrid();
  ToColumn("BYGG");
  const std::string stored = Field("BYGG").AsString();
  EXPECT_EQ(Table().DataState(), StateBrowse);
  Type("x");
  ASSERT_TRUE(EditorShown());
  EXPECT_EQ(EditorText(), "x");
  EXPECT_EQ(Table().DataState(), StateEdit);
  EXPECT_EQ(GlyphOfCurrentRow(), Glyph(testsupport::kEditGlyph));
  EXPECT_EQ(Field("BYGG").AsString(), stored);  // not written back yet
  EXPECT_TRUE(Grid().DataLink().Modified());
}

TEST_F(GridFormTest, EnterOpensEnterStoresWithoutPostingAndDownPosts) {
  ShowGrid();
  Table().First();
  Press(Qt::Key_Down);
  Press(Qt::Key_Down);
  ToColumn("BYGG");
  const int32_t record = Table().RecordNumber();
  const auto before = Rows();
  Press(Qt::Key_Return);
  ASSERT_TRUE(EditorShown());
  EXPECT_EQ(Grid().InplaceEditor()->selectedText().toStdString(), Field("BYGG").AsString());
  EXPECT_EQ(Table().DataState(), StateBrowse);  // opening the editor edits nothing
  Type("K 9");
  Press(Qt::Key_Return);
  EXPECT_FALSE(EditorShown());
  EXPECT_EQ(Field("BYGG").AsString(), "K 9");
  EXPECT_EQ(Table().DataState(), StateEdit);
  EXPECT_EQ(Rows(), before);  // Enter does not post
  Press(Qt::Key_Down);
  EXPECT_EQ(Table().DataState(), StateBrowse);
  Press(Qt::Key_Up);
  EXPECT_EQ(Table().RecordNumber(), record);
  const auto after = Rows();
  ExpectOthersUnchanged(before, after, record);
  EXPECT_EQ(after[static_cast<size_t>(record - 1)].at("BYGG"), "K 9");
  EXPECT_EQ(IndexProblems(dir.path()), "");
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(GridFormTest, DownPastTheLastRecordAppendsAndUpDropsTheUntouchedRow) {
  ShowGrid();
  const auto before = Rows();
  ASSERT_TRUE(Table().AtEnd() || Grid().Row() == Grid().RowCount() - 1);
  Press(Qt::Key_Down);
  EXPECT_EQ(Table().DataState(), StateInsert);
  EXPECT_EQ(GlyphOfCurrentRow(), Glyph(testsupport::kInsertGlyph));
  const int row = Grid().Row();
  Press(Qt::Key_Down);  // nothing: the untouched new row stays the last one
  EXPECT_EQ(Table().DataState(), StateInsert);
  EXPECT_EQ(Grid().Row(), row);
  Press(Qt::Key_Up);  // drops it
  EXPECT_EQ(Table().DataState(), StateBrowse);
  EXPECT_EQ(Rows(), before);
  // Typed into, it is posted by Down, which appends the next row (a late date keeps the
  // new record last in date order).
  Press(Qt::Key_Down);
  ToColumn("DATO");
  Type("31.12.2030");
  Press(Qt::Key_Tab);
  Type("Kar 77");
  Press(Qt::Key_Down);
  EXPECT_EQ(Table().DataState(), StateInsert);
  EXPECT_EQ(Field("BYGG").AsString(), "");
  Press(Qt::Key_Up);  // drops the second one
  EXPECT_EQ(Table().DataState(), StateBrowse);
  EXPECT_EQ(Field("BYGG").AsString(), "Kar 77");
  const auto added = Added(before, Rows());
  ASSERT_EQ(added.size(), 1u);
  EXPECT_EQ(added[0].at("BYGG"), "Kar 77");
  EXPECT_EQ(added[0].at("MENGDE"), "-");  // the normaliser ran on it
  EXPECT_EQ(added[0].at("DATO"), "2030-12-31");
  EXPECT_EQ(IndexProblems(dir.path()), "");
}

TEST_F(GridFormTest, InsertInTheMiddleAndDownWithoutTypingRestoresTheFormerRecord) {
  ShowGrid();
  Table().First();
  Press(Qt::Key_Down);
  Press(Qt::Key_Down);
  Press(Qt::Key_Down);
  const int32_t record = Table().RecordNumber();
  const int row = Grid().Row();
  const auto before = Rows();
  Press(Qt::Key_Insert);
  EXPECT_EQ(Table().DataState(), StateInsert);
  EXPECT_EQ(Grid().Row(), row);  // the new row stands where the record stood
  Press(Qt::Key_Down);
  EXPECT_EQ(Table().DataState(), StateBrowse);
  EXPECT_EQ(Table().RecordNumber(), record);
  EXPECT_EQ(Grid().Row(), row);
  EXPECT_EQ(Rows(), before);
}

TEST_F(GridFormTest, TabAndShiftTabCrossRowEndsAndTabPastTheLastCellAppends) {
  ShowGrid();
  Table().First();
  const int32_t first = Table().RecordNumber();
  Press(Qt::Key_End);  // the last column
  EXPECT_EQ(Grid().Col(), 13);
  Press(Qt::Key_Tab);
  EXPECT_EQ(Grid().Col(), 1);
  EXPECT_NE(Table().RecordNumber(), first);
  Press(Qt::Key_Tab);
  EXPECT_EQ(Grid().Col(), 2);
  Press(Qt::Key_Backtab, Qt::ShiftModifier);
  Press(Qt::Key_Backtab, Qt::ShiftModifier);  // before the first column: the previous record
  EXPECT_EQ(Grid().Col(), 13);
  EXPECT_EQ(Table().RecordNumber(), first);
  // Tab through the last cell of the last record appends a record.
  const auto before = Rows();
  Table().Last();
  Press(Qt::Key_End);
  Press(Qt::Key_Tab);
  EXPECT_EQ(Table().DataState(), StateInsert);
  EXPECT_EQ(Grid().Col(), 1);
  // Tab moves between cells while the editor is open as well, writing its text back.
  Press(Qt::Key_Tab);
  Type("x");
  EXPECT_TRUE(EditorShown());
  Press(Qt::Key_Tab);
  EXPECT_EQ(Grid().Col(), 3);
  EXPECT_EQ(Field("BYGG").AsString(), "x");
  EXPECT_TRUE(Grid().IsActiveControl());
  Press(Qt::Key_Escape);  // the window cancels the new record
  EXPECT_EQ(Table().DataState(), StateBrowse);
  EXPECT_EQ(Rows(), before);
}

// The window's Esc cancels the record before the grid sees the key, so one Esc already
// restores the field's text and drops the edit; the grid's own Esc then only closes
// the editor.
TEST_F(GridFormTest, EscInTheWindowRestoresTheTextAndCancelsTheEdit) {
  ShowGrid();
  ToColumn("SNYLTDYR");
  const std::string stored = Field("SNYLTDYR").AsString();
  const auto before = Rows();
  Type("tric");
  EXPECT_EQ(Table().DataState(), StateEdit);
  Press(Qt::Key_Escape);
  EXPECT_EQ(Table().DataState(), StateBrowse);
  EXPECT_FALSE(EditorShown());
  EXPECT_EQ(Field("SNYLTDYR").AsString(), stored);
  EXPECT_FALSE(Grid().DataLink().Modified());
  Press(Qt::Key_Escape);
  EXPECT_EQ(Table().DataState(), StateBrowse);
  Press(Qt::Key_Return);
  EXPECT_EQ(EditorText(), stored);
  EXPECT_EQ(Rows(), before);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(GridFormTest, CtrlDeleteAsksAndDeletesOnlyOnOk) {
  ShowGrid();
  Table().First();
  Press(Qt::Key_Down);
  const std::string bygg = Field("BYGG").AsString();
  const auto before = Rows();
  ui.answers = {TModalResult::Cancel};
  Press(Qt::Key_Delete, Qt::ControlModifier);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Delete record?");
  EXPECT_EQ(ui.boxes[0].caption, "Confirm");
  EXPECT_EQ(ui.boxes[0].buttons, TMsgDlgButtons::OkCancel);
  EXPECT_EQ(Rows(), before);
  // From the open editor too: Ctrl+Delete goes to the grid.
  Press(Qt::Key_F2);
  ASSERT_TRUE(EditorShown());
  ui.answers = {TModalResult::Ok};
  Press(Qt::Key_Delete, Qt::ControlModifier);
  EXPECT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(Rows().size(), before.size() - 1);
  const auto deleted = testsupport::DbfreadRows(dir.path(), true);
  ASSERT_EQ(deleted.size(), 1u);
  EXPECT_EQ(deleted[0].at("BYGG"), bygg);
  EXPECT_EQ(IndexProblems(dir.path()), "");
  EXPECT_EQ(Table().DataState(), StateBrowse);
}

TEST_F(GridFormTest, RefusedCharactersBeepAndFieldLengthsLimitTheEditor) {
  ShowGrid();
  ToColumn("TALL");
  const std::string tall = Field("TALL").Text();
  Type("a");
  EXPECT_EQ(ui.beeps, 1);
  EXPECT_EQ(EditorText(), tall);
  EXPECT_EQ(Table().DataState(), StateBrowse);  // a refused key changes nothing
  Type("12,5");
  EXPECT_EQ(EditorText(), "12,5");
  EXPECT_EQ(ui.beeps, 1);
  Press(Qt::Key_Escape);
  ToColumn("BYGG");
  Type("ABCDEFGHIJKL");
  EXPECT_EQ(EditorText(), "ABCDEFGHI");
  EXPECT_EQ(Grid().InplaceEditor()->MaxLength(), 9);
  ToColumn("SNYLTDYR");
  Press(Qt::Key_F2);
  EXPECT_EQ(Grid().InplaceEditor()->MaxLength(), 30);
}

// A date that names no day stops the step at write-back: the message shows, and the
// record stays in edit on its row with the text in the editor.
TEST_F(GridFormTest, ABadDateAtWriteBackShowsTheErrorAndKeepsTheEdit) {
  ShowGrid();
  Table().First();
  Press(Qt::Key_Down);
  ToColumn("DATO");
  const int row = Grid().Row();
  const int32_t record = Table().RecordNumber();
  const auto before = Rows();
  Type("31.02.2020");
  EXPECT_EQ(EditorText(), "31.02.2020");
  Press(Qt::Key_Down);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_NE(ui.boxes[0].text.find("31.02.2020"), std::string::npos) << ui.boxes[0].text;
  EXPECT_EQ(ui.boxes[0].icon, TMsgDlgIcon::Stop);
  EXPECT_EQ(Table().DataState(), StateEdit);
  EXPECT_EQ(Table().RecordNumber(), record);
  EXPECT_EQ(Grid().Row(), row);
  EXPECT_TRUE(Grid().DataLink().Modified());
  ASSERT_TRUE(EditorShown());
  EXPECT_EQ(EditorText(), "31.02.2020");
  // Mended, the same key posts.
  Press(Qt::Key_Backspace);
  Press(Qt::Key_Backspace);
  Press(Qt::Key_Backspace);
  Press(Qt::Key_Backspace);
  Press(Qt::Key_Backspace);
  Press(Qt::Key_Backspace);
  Type("1.2000");
  EXPECT_EQ(EditorText(), "31.01.2000");
  Press(Qt::Key_Down);
  EXPECT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(Table().DataState(), StateBrowse);
  const auto after = Rows();
  ExpectOthersUnchanged(before, after, record);
  EXPECT_EQ(after[static_cast<size_t>(record - 1)].at("DATO"), "2000-01-31");
  EXPECT_EQ(IndexProblems(dir.path()), "");
}

TEST_F(GridFormTest, ClickingTheCommentDropsAnUntouchedAppendedRowAndKeepsATypedOne) {
  ShowGrid();
  const auto before = Rows();
  Press(Qt::Key_Down);
  ASSERT_EQ(Table().DataState(), StateInsert);
  QTest::mouseClick(form->DBMemo1, Qt::LeftButton);
  Settle();
  EXPECT_EQ(Table().DataState(), StateBrowse);
  EXPECT_EQ(Rows(), before);
  // Typed into: the text goes into the field and the record stays in insert state.
  Grid().setFocus();
  Settle();
  Press(Qt::Key_Down);
  ToColumn("BYGG");
  Type("K5");
  QTest::mouseClick(form->DBMemo1, Qt::LeftButton);
  Settle();
  EXPECT_EQ(Table().DataState(), StateInsert);
  EXPECT_EQ(Field("BYGG").AsString(), "K5");
  EXPECT_FALSE(EditorShown());
  Press(Qt::Key_F3);  // the window's post
  const auto added = Added(before, Rows());
  ASSERT_EQ(added.size(), 1u);
  EXPECT_EQ(added[0].at("BYGG"), "K5");
  EXPECT_EQ(IndexProblems(dir.path()), "");
}

}  // namespace
}  // namespace snyltdyr
