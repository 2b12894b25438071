// A record being edited or inserted in the real window is never dropped on the way out:
// closing the window asks what to do with it, and a title click whose post fails keeps
// it. The file is read back with the independent reader after every scenario.
#include "app/save_record_question.h"
#include "form_grid_fixture.h"
#include "support/foreign_lock.h"

namespace snyltdyr {
namespace {

using testsupport::DbfRow;
using testsupport::IndexProblems;

class PendingRecordTest : public testsupport::GridFormTest {
 protected:
  // Typed into BYGG of the first record, not written yet.
  void EditFirstRecord(const std::string& text) {
    ShowGrid();
    Table().First();
    Settle();
    record_ = Table().RecordNumber();
    ToColumn("BYGG");
    Type(text);
    ASSERT_EQ(Table().DataState(), StateEdit);
  }
  // A new record with BYGG typed in, not written yet.
  void InsertRecord(const std::string& text) {
    ShowGrid();
    ToColumn("BYGG");
    Press(Qt::Key_Insert);
    Type(text);
    ASSERT_EQ(Table().DataState(), StateInsert);
  }
  void Close() {
    form->close();
    Settle();
  }
  size_t CountBygg(const std::string& bygg) {
    size_t n = 0;
    for (const DbfRow& row : Rows()) n += row.at("BYGG") == bygg;
    return n;
  }
  void ExpectQuestion(size_t index) {
    ASSERT_GT(ui.boxes.size(), index);
    EXPECT_EQ(ui.boxes[index].text, "Vil du lagre endringene i denne posten?");
    EXPECT_EQ(ui.boxes[index].buttons, TMsgDlgButtons::YesNoCancel);
    EXPECT_EQ(ui.boxes[index].caption, "Snyltdyr");
  }

  int32_t record_ = 0;
};

// ---- Closing ----------------------------------------------------------------------------

TEST_F(PendingRecordTest, ClosingWhileEditingAndAnsweringJaPostsTheRecord) {
  EditFirstRecord("K 1");
  ui.answers = {TModalResult::Yes};
  Close();
  ExpectQuestion(0);
  EXPECT_EQ(ui.boxes.size(), 1u);
  EXPECT_FALSE(form->isVisible());
  EXPECT_FALSE(Table().Active());
  EXPECT_EQ(Rows()[static_cast<size_t>(record_ - 1)].at("BYGG"), "K 1");
  EXPECT_EQ(IndexProblems(dir.path()), "");
}

TEST_F(PendingRecordTest, ClosingAndAnsweringNeiDiscardsTheRecord) {
  const auto before = testsupport::DbfreadRows(dir.path());
  InsertRecord("K 2");
  ui.answers = {TModalResult::No};
  Close();
  ExpectQuestion(0);
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(Rows(), before);
  EXPECT_EQ(IndexProblems(dir.path()), "");
}

TEST_F(PendingRecordTest, ClosingAndAnsweringAvbrytKeepsTheWindowAndTheTypedText) {
  EditFirstRecord("K 3");
  const auto before = Rows();
  ui.answers = {TModalResult::Cancel};
  Close();
  ExpectQuestion(0);
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(Table().DataState(), StateEdit);
  ASSERT_TRUE(EditorShown());
  EXPECT_EQ(EditorText(), "K 3");
  EXPECT_EQ(Rows(), before);
  Press(Qt::Key_Down);  // still writable as ever
  EXPECT_EQ(Rows()[static_cast<size_t>(record_ - 1)].at("BYGG"), "K 3");
}

TEST_F(PendingRecordTest, AnUntouchedNewRowOrABrowsingTableClosesWithoutAQuestion) {
  ShowGrid();
  Press(Qt::Key_Insert);
  ASSERT_EQ(Table().DataState(), StateInsert);
  Close();
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(Rows().size(), static_cast<size_t>(kRecords));
}

// Another program holds the table: the post fails, the window stays open with the record;
// once the table is free, Ja closes with it written.
TEST_F(PendingRecordTest, AFailedPostOnClosingKeepsTheWindowOpenWithTheRecord) {
  InsertRecord("K 4");
  testsupport::ForeignTableLock lock(dir.File("SNYLTDYR.DBF"));
  ASSERT_TRUE(lock.Held());
  ui.answers = {TModalResult::Yes};
  Close();
  ExpectQuestion(0);
  ASSERT_EQ(ui.boxes.size(), 2u);  // the failure of the post
  EXPECT_EQ(ui.boxes[1].icon, TMsgDlgIcon::Stop);
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(Table().DataState(), StateInsert);
  EXPECT_EQ(Field("BYGG").AsString(), "K 4");
  lock.Release();
  ui.answers = {TModalResult::Yes};
  Close();
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(CountBygg("K 4"), 1u);
  EXPECT_EQ(IndexProblems(dir.path()), "");
}

// ---- Title clicks -----------------------------------------------------------------------

class TitleClickTest : public PendingRecordTest {
 protected:
  void ClickTitle(const std::string& field) {
    for (int col = 1; col < Grid().ColCount(); ++col) {
      TColumn* column = Grid().Columns()[col - 1];
      if (column->FieldName() != field) continue;
      const QPoint centre = Grid().CellRect(col, 0).ToQRect().center();
      QTest::mouseClick(Grid().viewport(), Qt::LeftButton, Qt::NoModifier, centre);
      Settle();
      return;
    }
    ADD_FAILURE() << "no column " << field;
  }
};

TEST_F(TitleClickTest, AFailedPostIsShownAndTheEditKept) {
  InsertRecord("K 5");
  const auto before = Rows();
  testsupport::ForeignTableLock lock(dir.File("SNYLTDYR.DBF"));
  ASSERT_TRUE(lock.Held());
  ClickTitle("BYGG");
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text.find("Index does not exist"), std::string::npos) << ui.boxes[0].text;
  EXPECT_TRUE(Table().Active());
  EXPECT_EQ(Table().IndexName(), "DATO");
  EXPECT_EQ(Table().DataState(), StateInsert);
  EXPECT_EQ(Field("BYGG").AsString(), "K 5");
  lock.Release();
  EXPECT_EQ(Rows(), before);
  Press(Qt::Key_F3);
  EXPECT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(CountBygg("K 5"), 1u);
  ClickTitle("BYGG");  // now it sorts
  EXPECT_EQ(Table().IndexName(), "BYGG");
  EXPECT_EQ(IndexProblems(dir.path()), "");
}

TEST_F(TitleClickTest, ABadValueIsShownAndTheEditKept) {
  ShowGrid();
  ToColumn("TALL");
  Type("-");
  ClickTitle("BYGG");
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text.find("Index does not exist"), std::string::npos) << ui.boxes[0].text;
  EXPECT_TRUE(Table().Active());
  EXPECT_EQ(Table().DataState(), StateEdit);
  EXPECT_EQ(Table().IndexName(), "DATO");
}

// Without its index file the table is read-only: a title click says why, and adds nothing.
TEST_F(TitleClickTest, OnAReadOnlyTableTheMessageGivesTheReason) {
  std::filesystem::remove(dir.File("SNYLTDYR.MDX"));
  ShowGrid();
  const std::string why = form->Register.ReadOnlyReason();
  ASSERT_FALSE(why.empty());
  ClickTitle("BYGG");
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text.find("Index does not exist"), std::string::npos) << ui.boxes[0].text;
  EXPECT_NE(ui.boxes[0].text.find("reindex"), std::string::npos) << ui.boxes[0].text;
  EXPECT_TRUE(Table().Active());
  EXPECT_FALSE(std::filesystem::exists(dir.File("SNYLTDYR.MDX")));
  EXPECT_EQ(Rows().size(), static_cast<size_t>(kRecords));
}

}  // namespace
}  // namespace snyltdyr
