// The comment box on its own: loading rules, the read-only rule, refused characters and
// the capacity limit.
#include "controls/db_memo.h"

#include "register_fixture.h"

namespace snyltdyr {
namespace {

class MemoTest : public testsupport::RegisterTest {
 protected:
  void Bind() {
    memo = std::make_unique<TDBMemo>(nullptr, "DBMemo1");
    memo->resize(400, 104);
    memo->SetDataSource(&reg.SnyltdyrSource);
    memo->SetDataField("KOMENT");
    memo->show();
    memo->setFocus();
  }
  // Moves to a record with a comment and returns it.
  std::string ToCommentedRecord() {
    reg.SnyltdyrTable.First();
    while (reg.SnyltdyrTableKOMENT.AsString().empty() && !reg.SnyltdyrTable.AtEnd()) {
      reg.SnyltdyrTable.Next();
    }
    return reg.SnyltdyrTableKOMENT.AsString();
  }
  void TearDown() override { memo.reset(); }

  std::unique_ptr<TDBMemo> memo;
};

TEST_F(MemoTest, WithoutAutoDisplayTheLabelShowsUntilEnterOrADoubleClickLoads) {
  OpenSample(80);
  Bind();
  const std::string comment = ToCommentedRecord();
  ASSERT_FALSE(comment.empty());
  memo->SetAutoDisplay(false);
  reg.SnyltdyrTable.Prior();
  reg.SnyltdyrTable.Next();
  EXPECT_EQ(memo->Text(), "(KOMENT)");
  EXPECT_FALSE(memo->Loaded());
  QTest::keyClicks(memo.get(), "xy");  // dropped: nothing is loaded
  EXPECT_EQ(memo->Text(), "(KOMENT)");
  EXPECT_EQ(reg.SnyltdyrTable.DataState(), StateBrowse);
  QTest::keyClick(memo.get(), Qt::Key_Return);  // loads, and is dropped itself
  EXPECT_EQ(memo->Text(), comment);
  EXPECT_EQ(reg.SnyltdyrTable.DataState(), StateBrowse);

  reg.SnyltdyrTable.Prior();
  EXPECT_FALSE(memo->Loaded());
  QTest::mouseDClick(memo->viewport(), Qt::LeftButton);
  EXPECT_TRUE(memo->Loaded());
  EXPECT_EQ(memo->Text(), reg.SnyltdyrTableKOMENT.AsString());
  memo->SetAutoDisplay(true);
  EXPECT_TRUE(memo->Loaded());
}

TEST_F(MemoTest, EditingStartsAtTheFirstChangingKeyAndOnlyThenIsTheBoxWritable) {
  OpenSample(40);
  Bind();
  ToCommentedRecord();
  EXPECT_TRUE(memo->isReadOnly());
  QTest::keyClick(memo.get(), Qt::Key_End);  // moving is no change
  EXPECT_EQ(reg.SnyltdyrTable.DataState(), StateBrowse);
  QTest::keyClick(memo.get(), Qt::Key_Backspace);
  EXPECT_EQ(reg.SnyltdyrTable.DataState(), StateEdit);
  EXPECT_FALSE(memo->isReadOnly());
  reg.SnyltdyrTable.Cancel();
  EXPECT_TRUE(memo->isReadOnly());
  QTest::keyClick(memo.get(), Qt::Key_Delete);
  EXPECT_EQ(reg.SnyltdyrTable.DataState(), StateEdit);
  reg.SnyltdyrTable.Cancel();

  // A refused character beeps and is dropped; the edit has not started for it.
  TFieldChars allowed;
  allowed.set();
  allowed.reset('#');
  reg.SnyltdyrTableKOMENT.SetAllowedChars(allowed);
  const std::string before = memo->Text();
  QTest::keyClicks(memo.get(), "#");
  EXPECT_EQ(ui.beeps, 1);
  EXPECT_EQ(memo->Text(), before);
  EXPECT_EQ(reg.SnyltdyrTable.DataState(), StateBrowse);
}

TEST_F(MemoTest, LeavingTheBoxWritesTheTextIntoTheField) {
  OpenSample(20);
  Bind();
  QTest::keyClick(memo.get(), Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(memo.get(), "ny tekst");
  EXPECT_NE(reg.SnyltdyrTableKOMENT.AsString(), "ny tekst");
  QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
  QApplication::sendEvent(memo.get(), &out);
  EXPECT_EQ(reg.SnyltdyrTableKOMENT.AsString(), "ny tekst");
  EXPECT_EQ(reg.SnyltdyrTable.DataState(), StateEdit);  // written, not posted
  reg.SnyltdyrTable.Post();
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(MemoTest, ACommentBeyondTheCapacityShowsTheMessageAndCannotBeEdited) {
  OpenSample(10);
  reg.SnyltdyrTable.Edit();
  reg.SnyltdyrTableKOMENT.SetAsString(std::string(kMemoCapacity + 1, 'x'));
  reg.SnyltdyrTable.Post();
  Bind();
  EXPECT_EQ(memo->Text(), "(Text exceeds memo capacity)");
  EXPECT_FALSE(memo->Loaded());
  QTest::keyClicks(memo.get(), "abc");
  EXPECT_EQ(reg.SnyltdyrTable.DataState(), StateBrowse);
  EXPECT_EQ(memo->Text(), "(Text exceeds memo capacity)");
  EXPECT_EQ(reg.SnyltdyrTableKOMENT.AsString().size(), kMemoCapacity + 1);
}

}  // namespace
}  // namespace snyltdyr
