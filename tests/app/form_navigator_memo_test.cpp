// The navigator and the comment box on the real window, with the file read back by the
// independent reader and the index checked after every post and delete.
#include "form_fixture.h"
#include "support/table_files.h"

namespace snyltdyr {
namespace {

using testsupport::DbfreadRows;
using testsupport::FormTest;
using testsupport::IndexProblems;

TEST_F(FormTest, NavigatorDeleteAsksAndDeletesOnlyOnOk) {
  Show();
  Click(&Nav(nbFirst));
  Click(&Nav(nbNext));
  EXPECT_EQ(NavEnabled(), "1111111001");
  const std::string bygg = Table().FieldByName("BYGG").AsString();

  ui.answers = {TModalResult::Cancel};
  Click(&Nav(nbDelete));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Delete record?");
  EXPECT_EQ(ui.boxes[0].caption, "Confirm");
  EXPECT_EQ(ui.boxes[0].buttons, TMsgDlgButtons::OkCancel);
  EXPECT_EQ(DbfreadRows(dir.path()).size(), static_cast<size_t>(kRecords));
  EXPECT_TRUE(DbfreadRows(dir.path(), true).empty());

  ui.answers = {TModalResult::Ok};
  Click(&Nav(nbDelete));
  EXPECT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(DbfreadRows(dir.path()).size(), static_cast<size_t>(kRecords - 1));
  const auto deleted = DbfreadRows(dir.path(), true);
  ASSERT_EQ(deleted.size(), 1u);
  EXPECT_EQ(deleted[0].at("BYGG"), bygg);
  EXPECT_EQ(IndexProblems(dir.path()), "");
  EXPECT_EQ(Table().DataState(), StateBrowse);
}

TEST_F(FormTest, NavigatorPriorRepeatsWhileHeld) {
  Show();
  const int before = Table().RecordNumber();
  QTest::mousePress(&Nav(nbPrior), Qt::LeftButton);
  QTest::qWait(750);  // one repeat at 400 ms, then every 100 ms
  QTest::mouseRelease(&Nav(nbPrior), Qt::LeftButton);
  int moved = 0;
  // Count the moves by walking forward again to where it started.
  while (Table().RecordNumber() != before && moved < 50) {
    Table().Next();
    ++moved;
  }
  EXPECT_GE(moved, 2);  // at least one repeat besides the click on release
  EXPECT_LE(moved, 8);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(FormTest, TypingInTheCommentStartsAnEditThatEscRevertsAndF3Posts) {
  Show();
  const std::vector<testsupport::DbfRow> before = DbfreadRows(dir.path());
  const std::string stored = Table().FieldByName("KOMENT").AsString();
  EXPECT_EQ(form->DBMemo1->Text(), stored);

  form->DBMemo1->setFocus();
  QTest::keyClicks(form->DBMemo1, "abc");
  EXPECT_EQ(Table().DataState(), StateEdit);
  EXPECT_EQ(NavEnabled().substr(7, 2), "11");  // Post and Cancel
  EXPECT_NE(form->DBMemo1->Text(), stored);
  EXPECT_EQ(Table().FieldByName("KOMENT").AsString(), stored);  // not written yet

  QTest::keyClick(form->DBMemo1, Qt::Key_Escape);
  EXPECT_EQ(Table().DataState(), StateBrowse);
  EXPECT_EQ(form->DBMemo1->Text(), stored);
  EXPECT_EQ(NavEnabled().substr(7, 2), "00");

  QTest::keyClick(form->DBMemo1, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(form->DBMemo1, "Fisken var fin");
  QTest::keyClick(form->DBMemo1, Qt::Key_Return);
  QTest::keyClicks(form->DBMemo1, "\xC3\xB8ye normale");  // "øye" typed as Unicode
  QTest::keyClick(form->DBMemo1, Qt::Key_F3);
  EXPECT_TRUE(ui.boxes.empty()) << (ui.boxes.empty() ? "" : ui.boxes[0].text);
  EXPECT_EQ(Table().DataState(), StateBrowse);
  EXPECT_EQ(Table().FieldByName("KOMENT").AsString(), "Fisken var fin\r\n\xF8ye normale");

  const std::vector<testsupport::DbfRow> after = DbfreadRows(dir.path());
  ASSERT_EQ(after.size(), before.size());
  int changed = 0;
  for (size_t i = 0; i < after.size(); ++i) {
    if (after[i] == before[i]) continue;
    ++changed;
    EXPECT_EQ(after[i].at("KOMENT"), "Fisken var fin\\n\xC3\xB8ye normale");
  }
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(IndexProblems(dir.path()), "");
}

TEST_F(FormTest, TheCommentFollowsTheCurrentRecordAlsoWithTheFocus) {
  Show();
  form->DBMemo1->setFocus();
  for (int i = 0; i < 8; ++i) {
    Click(&Nav(nbPrior));
    EXPECT_EQ(form->DBMemo1->Text(), Table().FieldByName("KOMENT").AsString());
    EXPECT_TRUE(form->DBMemo1->Loaded());
    EXPECT_TRUE(form->DBMemo1->isReadOnly());  // browsing: not writable until a key
  }
}

}  // namespace
}  // namespace snyltdyr
