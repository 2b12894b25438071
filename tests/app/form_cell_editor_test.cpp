// The cell editor in the real window: it shows every column's whole text, every way of
// changing its text starts the edit (or is refused and changes nothing), characters the
// table cannot store are refused, and typed-ahead characters keep their order. After the
// scenarios that write, the file is read back with the independent reader and the index
// is checked.
#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QMimeData>

#include "form_grid_fixture.h"
#include "runtime/cp1252.h"

namespace snyltdyr {
namespace {

using testsupport::IndexProblems;

class CellEditorTest : public testsupport::GridFormTest {
 protected:
  // The editor opened with Enter on `field` of the first record (holding "Kar 12" where
  // the table can be written), in browse state, the caret at the end.
  void OpenEditor(const std::string& field) {
    ShowGrid();
    Table().First();
    if (Table().Modifiable()) {
      Table().Edit();
      Field(field).SetAsString("Kar 12");
      Table().Post();
    }
    Settle();
    ToColumn(field);
    Press(Qt::Key_Return);
    ASSERT_TRUE(EditorShown());
    Editor()->deselect();
    Editor()->end(false);
    ASSERT_EQ(Table().DataState(), StateBrowse);
    stored_ = Field(field).AsString();
    record_ = Table().RecordNumber();
  }
  QLineEdit* Editor() { return Grid().InplaceEditor(); }
  void Send(QEvent* event) {
    QApplication::sendEvent(Editor(), event);
    Settle();
  }
  // A text dragged in and dropped at the editor's left edge.
  void Drop(const QString& text) {
    QMimeData mime;
    mime.setText(text);
    QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    Send(&enter);
    QDropEvent drop(QPointF(2, 2), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    Send(&drop);
  }
  // What the editor shows is what a row step writes: `field` of the record as the reader
  // sees it afterwards (UTF-8).
  void ExpectShownTextWritten(const std::string& field) {
    const std::string shown = EditorText();
    EXPECT_EQ(Table().DataState(), StateEdit);
    Press(Qt::Key_Down);
    EXPECT_TRUE(ui.boxes.empty()) << (ui.boxes.empty() ? "" : ui.boxes[0].text);
    EXPECT_EQ(Rows()[static_cast<size_t>(record_ - 1)].at(field), Cp1252ToUtf8(shown));
    EXPECT_EQ(IndexProblems(dir.path()), "");
  }
  // Nothing changed: the editor shows the stored text and no edit began.
  void ExpectUnchanged(const std::string& field) {
    EXPECT_EQ(EditorText(), stored_);
    EXPECT_EQ(Table().DataState(), StateBrowse);
    EXPECT_EQ(Field(field).AsString(), stored_);
  }

  std::string stored_;
  int32_t record_ = 0;
};

// Opening the editor in a short column and then in a longer one must not cut the longer
// one's text to the short one's limit.
TEST_F(CellEditorTest, EveryColumnShowsItsWholeTextWhicheverColumnWasEditedBefore) {
  ShowGrid();
  Table().Edit();
  for (int i = 0; i < Grid().Columns().Count(); ++i) {
    TField* field = Grid().Columns()[i]->Field();
    if (field->DataType() == ftString) field->SetAsString(std::string(field->Size(), 'a' + i));
  }
  Table().Post();
  Settle();
  const int count = Grid().Columns().Count();
  for (int a = 0; a < count; ++a) {
    for (int b = 0; b < count; ++b) {
      if (a == b) continue;
      TField* from = Grid().Columns()[a]->Field();
      TField* to = Grid().Columns()[b]->Field();
      ToColumn(from->FieldName());
      Press(Qt::Key_F2);
      Press(Qt::Key_Escape);
      Press(Qt::Key_Escape);
      ToColumn(to->FieldName());
      Press(Qt::Key_F2);
      ASSERT_TRUE(EditorShown());
      EXPECT_EQ(EditorText(), to->Text()) << from->FieldName() << " then " << to->FieldName();
      Press(Qt::Key_Escape);
      Press(Qt::Key_Escape);
    }
  }
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(CellEditorTest, AMethodAfterTheTankIsExtendedNotCut) {
  ShowGrid();
  Table().Edit();
  Field("METODE").SetAsString("Mikroskopi");
  Table().Post();
  const int32_t record = Table().RecordNumber();
  ToColumn("BYGG");
  Press(Qt::Key_F2);
  Press(Qt::Key_Escape);
  Press(Qt::Key_Escape);
  ToColumn("METODE");
  Press(Qt::Key_F2);
  EXPECT_EQ(EditorText(), "Mikroskopi");
  Type(" 2");
  Press(Qt::Key_F3);
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(Rows()[static_cast<size_t>(record - 1)].at("METODE"), "Mikroskopi 2");
  EXPECT_EQ(IndexProblems(dir.path()), "");
}

TEST_F(CellEditorTest, TheEditorTakesTheAlignmentOfItsColumn) {
  ShowGrid();
  ToColumn("TALL");  // a number: right-aligned
  Press(Qt::Key_F2);
  EXPECT_TRUE(Editor()->alignment() & Qt::AlignRight);
  Press(Qt::Key_Escape);
  ToColumn("BYGG");
  Press(Qt::Key_F2);
  EXPECT_TRUE(Editor()->alignment() & Qt::AlignLeft);
}

// ---- Ways of changing the text ----------------------------------------------------------

TEST_F(CellEditorTest, ADroppedTextStartsTheEditAndIsWritten) {
  OpenEditor("BYGG");
  Drop("K7");
  EXPECT_NE(EditorText(), stored_);
  EXPECT_NE(EditorText().find("K7"), std::string::npos) << EditorText();
  ExpectShownTextWritten("BYGG");
}

TEST_F(CellEditorTest, AnInputMethodCommitStartsTheEditAndIsWritten) {
  OpenEditor("BYGG");
  Editor()->selectAll();
  QInputMethodEvent compose;
  compose.setCommitString(QString::fromUtf8("\xC3\x98" "K"));  // "ØK", as a dead key makes it
  Send(&compose);
  EXPECT_EQ(EditorText(), "\xD8K");
  ExpectShownTextWritten("BYGG");
}

TEST_F(CellEditorTest, AClipboardPasteStartsTheEditAndIsWritten) {
  OpenEditor("BYGG");
  QGuiApplication::clipboard()->setText("Kar 9");
  Editor()->selectAll();
  Press(Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(EditorText(), "Kar 9");
  ExpectShownTextWritten("BYGG");
}

// The mouse's selection exists only where the platform has one (X11).
TEST_F(CellEditorTest, AMiddleButtonPasteStartsTheEditAndIsWritten) {
  if (!QGuiApplication::clipboard()->supportsSelection()) GTEST_SKIP() << "no selection here";
  OpenEditor("BYGG");
  QGuiApplication::clipboard()->setText("Kar 8", QClipboard::Selection);
  QTest::mouseClick(Editor(), Qt::MiddleButton, Qt::NoModifier, QPoint(2, 2));
  Settle();
  EXPECT_NE(EditorText().find("Kar 8"), std::string::npos);
  ExpectShownTextWritten("BYGG");
}

// Whatever the platform binds to the line-editing keys, a key that changes the text has
// started the edit, so the text is written.
TEST_F(CellEditorTest, LineEditingKeysThatChangeTheTextStartTheEdit) {
  const QKeyCombination keys[] = {Qt::CTRL | Qt::Key_K, Qt::CTRL | Qt::Key_U,
                                  Qt::CTRL | Qt::Key_Backspace, Qt::CTRL | Qt::Key_W};
  for (const QKeyCombination key : keys) {
    SCOPED_TRACE(QKeySequence(key).toString().toStdString());
    OpenEditor("BYGG");
    Editor()->setCursorPosition(1);
    Press(key.key(), key.keyboardModifiers());
    if (EditorText() != stored_) ExpectShownTextWritten("BYGG");  // else not bound here
    form.reset();
  }
}

// A change the table cannot take (the record is read-only) leaves the text as it was.
TEST_F(CellEditorTest, ARefusedDropOrCommitLeavesTheTextAsItWas) {
  std::filesystem::remove(dir.File("SNYLTDYR.MDX"));  // the table opens read-only
  OpenEditor("BYGG");
  Drop("K7");
  ExpectUnchanged("BYGG");
  QInputMethodEvent compose;
  compose.setCommitString("x");
  Send(&compose);
  ExpectUnchanged("BYGG");
}

// ---- Characters the table cannot store --------------------------------------------------

// The table's code page is 865, which has no euro sign; Greek is outside code page 1252.
TEST_F(CellEditorTest, CharactersTheTableCannotStoreAreRefusedWhereTheyAreTyped) {
  OpenEditor("BYGG");
  for (const char* typed : {"\xE2\x82\xAC", "\xCE\xA9"}) {  // "€", "Ω"
    QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString::fromUtf8(typed));
    Send(&key);
  }
  EXPECT_EQ(ui.beeps, 2);
  EXPECT_TRUE(ui.boxes.empty());
  ExpectUnchanged("BYGG");
  Type("\xF8");  // "ø" is in the table's code page
  EXPECT_EQ(EditorText(), stored_ + "\xF8");
  ExpectShownTextWritten("BYGG");
}

TEST_F(CellEditorTest, PastingOrDroppingTextTheTableCannotStoreSaysWhichCharacter) {
  OpenEditor("BYGG");
  QGuiApplication::clipboard()->setText(QString::fromUtf8("K\xE2\x82\xAC" "1"));
  Press(Qt::Key_V, Qt::ControlModifier);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_NE(ui.boxes[0].text.find("\x80"), std::string::npos) << ui.boxes[0].text;
  EXPECT_NE(ui.boxes[0].text.find("U+20AC"), std::string::npos) << ui.boxes[0].text;
  ExpectUnchanged("BYGG");

  Drop(QString::fromUtf8("\xCE\xA9"));
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_NE(ui.boxes[1].text.find("U+03A9"), std::string::npos) << ui.boxes[1].text;
  ExpectUnchanged("BYGG");
}

// ---- Typing ahead -----------------------------------------------------------------------

// The first character opens the editor and reaches it through the queue; the next one,
// pressed before the queue was served, must still come after it.
TEST_F(CellEditorTest, CharactersTypedFastAfterAStepArriveInTheOrderTyped) {
  ShowGrid();
  Table().First();
  Settle();
  ToColumn("BYGG");
  // No event loop between the keys, as when a person types faster than the window runs.
  QTest::keyClick(&Grid(), Qt::Key_Down);
  const int32_t record = Table().RecordNumber();
  for (const char c : {'a', 'b', 'c'}) QTest::keyClick(QApplication::focusWidget(), c);
  Settle();
  EXPECT_EQ(EditorText(), "abc");
  Press(Qt::Key_Down);
  EXPECT_EQ(Rows()[static_cast<size_t>(record - 1)].at("BYGG"), "abc");
  EXPECT_EQ(IndexProblems(dir.path()), "");
}

}  // namespace
}  // namespace snyltdyr
