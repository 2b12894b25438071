// The comment box in the real window: the first keystroke goes where the caret is, and
// characters the table cannot store are refused. Read back with the independent reader.
#include <QClipboard>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QTextCursor>

#include "form_fixture.h"
#include "runtime/cp1252.h"
#include "support/table_files.h"

namespace snyltdyr {
namespace {

using testsupport::DbfreadRows;
using testsupport::IndexProblems;

class MemoInputTest : public testsupport::FormTest {
 protected:
  // The first record with a comment of at least ten characters, the box focused.
  void ShowCommentedRecord() {
    Show();
    for (Table().First(); !Table().AtEnd(); Table().Next()) {
      if (Comment().size() >= 10) break;
    }
    ASSERT_GE(Comment().size(), 10u);
    QApplication::processEvents();
    record_ = Table().RecordNumber();
    stored_ = Comment();
    Memo()->setFocus();
    QApplication::processEvents();
  }
  TDBMemo* Memo() { return form->DBMemo1; }
  std::string Comment() { return Table().FieldByName("KOMENT").AsString(); }
  // The caret at `position`, with `length` characters after it selected.
  void Select(int position, int length = 0) {
    QTextCursor cursor = Memo()->textCursor();
    cursor.setPosition(position);
    cursor.setPosition(position + length, QTextCursor::KeepAnchor);
    Memo()->setTextCursor(cursor);
  }
  int Length() { return static_cast<int>(Memo()->toPlainText().size()); }
  void PostAndExpectStored(const std::string& comment) {
    QTest::keyClick(Memo(), Qt::Key_F3);
    EXPECT_TRUE(ui.boxes.empty()) << (ui.boxes.empty() ? "" : ui.boxes[0].text);
    EXPECT_EQ(Comment(), comment);
    std::string utf8 = Cp1252ToUtf8(comment);
    for (size_t at = utf8.find("\r\n"); at != std::string::npos; at = utf8.find("\r\n", at))
      utf8.replace(at, 2, "\\n");
    EXPECT_EQ(DbfreadRows(dir.path())[static_cast<size_t>(record_ - 1)].at("KOMENT"), utf8);
    EXPECT_EQ(IndexProblems(dir.path()), "");
  }

  std::string stored_;
  int32_t record_ = 0;
};

TEST_F(MemoInputTest, TheFirstKeystrokeGoesWhereTheCaretWas) {
  ShowCommentedRecord();
  Select(Length());
  QTest::keyClicks(Memo(), "!!");
  EXPECT_EQ(Table().DataState(), StateEdit);
  PostAndExpectStored(stored_ + "!!");
}

TEST_F(MemoInputTest, TheFirstKeystrokeReplacesTheSelection) {
  ShowCommentedRecord();
  Select(2, 3);
  QTest::keyClicks(Memo(), "Z");
  PostAndExpectStored(stored_.substr(0, 2) + "Z" + stored_.substr(5));
}

// The table's code page 865 has no euro sign: stored, it would become "?".
TEST_F(MemoInputTest, ATypedEuroSignBeepsAndAPastedOneIsNamed) {
  ShowCommentedRecord();
  Select(Length());
  QKeyEvent euro(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString::fromUtf8("\xE2\x82\xAC"));
  QApplication::sendEvent(Memo(), &euro);
  EXPECT_EQ(ui.beeps, 1);
  EXPECT_EQ(Table().DataState(), StateBrowse);
  EXPECT_EQ(Memo()->Text(), stored_);

  QTest::keyClicks(Memo(), "5 kr");  // starts the edit
  QInputMethodEvent compose;  // a character chooser's euro sign
  compose.setCommitString(QString::fromUtf8("\xE2\x82\xAC"));
  QApplication::sendEvent(Memo(), &compose);
  EXPECT_EQ(ui.beeps, 2);
  EXPECT_EQ(Memo()->Text(), stored_ + "5 kr");
  QGuiApplication::clipboard()->setText(QString::fromUtf8(" = 0,5 \xE2\x82\xAC"));
  QTest::keyClick(Memo(), Qt::Key_V, Qt::ControlModifier);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_NE(ui.boxes[0].text.find("U+20AC"), std::string::npos) << ui.boxes[0].text;
  EXPECT_EQ(Memo()->Text(), stored_ + "5 kr");
  ui.boxes.clear();
  QGuiApplication::clipboard()->setText(QString::fromUtf8(" \xC3\xB8re"));  // " øre" fits
  QTest::keyClick(Memo(), Qt::Key_V, Qt::ControlModifier);
  PostAndExpectStored(stored_ + "5 kr \xF8re");
}

}  // namespace
}  // namespace snyltdyr
