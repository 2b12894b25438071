// The grid's own editing rules, without a window that previews keys: Esc in two steps,
// F2 and Backspace, read-only columns, the focus going away and coming back, leaving
// the grid, a field that asks for the focus, the navigation keys, the wheel, and a
// column dragged past the grid's right edge.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QWheelEvent>

#include "controls/grid/inplace_edit.h"
#include "controls/grid_window.h"
#include "support/ui_recorder.h"

namespace snyltdyr {
namespace {

using testsupport::GridWindow;

class GridEditing : public ::testing::Test {
 protected:
  void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
    GridWindow::Settle();
  }
  void Type(const std::string& text) {
    for (char c : text) {
      QTest::keyClick(QApplication::focusWidget(), c);
      GridWindow::Settle();
    }
  }
  TDBGrid& Grid() { return *w.grid; }
  TField& Field(const std::string& name) { return w.Table().FieldByName(name); }
  void ToColumn(const std::string& name) { Grid().SetSelectedField(&Field(name)); }
  TInplaceEdit* Editor() { return Grid().InplaceEditor(); }
  bool EditorShown() { return Editor() != nullptr && Editor()->isVisible(); }

  testsupport::UiRecorder ui;
  GridWindow w{60};
};

TEST_F(GridEditing, EscFirstRestoresTheTypedTextThenCancelsTheEdit) {
  ToColumn("ORGAN");
  const std::string stored = Field("ORGAN").AsString();
  Type("lever");
  ASSERT_EQ(w.Table().DataState(), StateEdit);
  Press(Qt::Key_Escape);
  EXPECT_FALSE(EditorShown());
  EXPECT_EQ(w.Table().DataState(), StateEdit);  // the record stays in edit
  EXPECT_FALSE(Grid().DataLink().Modified());
  EXPECT_EQ(Grid().EditText(), stored);
  Press(Qt::Key_Escape);
  EXPECT_EQ(w.Table().DataState(), StateBrowse);
  EXPECT_EQ(Field("ORGAN").AsString(), stored);
}

TEST_F(GridEditing, F2PutsTheCaretAfterTheTextAndBackspaceClearsIt) {
  ToColumn("ORGAN");
  const std::string stored = Field("ORGAN").AsString();
  ASSERT_FALSE(stored.empty());
  Press(Qt::Key_F2);
  ASSERT_TRUE(EditorShown());
  EXPECT_FALSE(Editor()->hasSelectedText());
  EXPECT_EQ(Editor()->cursorPosition(), static_cast<int>(stored.size()));
  Type("x");
  EXPECT_EQ(Editor()->Text(), stored + "x");
  Press(Qt::Key_Escape);
  Press(Qt::Key_Escape);
  // Backspace on the cell opens the editor with everything selected and clears it.
  EXPECT_FALSE(EditorShown());
  Press(Qt::Key_Backspace);
  ASSERT_TRUE(EditorShown());
  EXPECT_EQ(Editor()->Text(), "");
  EXPECT_EQ(w.Table().DataState(), StateEdit);
  Press(Qt::Key_Return);
  EXPECT_EQ(Field("ORGAN").AsString(), "");
}

TEST_F(GridEditing, AReadOnlyFieldDropsChangesSilently) {
  Field("TID").SetReadOnly(true);
  ToColumn("TID");
  EXPECT_FALSE(Grid().TabStops(Grid().Col()));
  const std::string stored = Field("TID").AsString();
  Type("9");
  ASSERT_TRUE(EditorShown());
  EXPECT_TRUE(Editor()->isReadOnly());
  EXPECT_EQ(Editor()->Text(), stored);
  Press(Qt::Key_Delete);
  Press(Qt::Key_Backspace);
  EXPECT_EQ(Editor()->Text(), stored);
  EXPECT_EQ(w.Table().DataState(), StateBrowse);
  EXPECT_EQ(ui.beeps, 0);
  // Tab passes it by.
  ToColumn("BEHANDL");
  Press(Qt::Key_Tab);
  EXPECT_EQ(Grid().SelectedField(), &Field("KONS"));
}

// Another window taking the focus hides the editor but keeps editor mode and the text;
// coming back shows it again.
TEST_F(GridEditing, LosingTheFocusWithoutLeavingKeepsTheTypedText) {
  ToColumn("ORGAN");
  Type("lever");
  QWidget other;
  other.resize(100, 100);
  other.show();
  QApplication::setActiveWindow(&other);
  GridWindow::Settle();
  EXPECT_FALSE(EditorShown());
  EXPECT_TRUE(Grid().EditorMode());
  EXPECT_EQ(Grid().EditText(), "lever");
  EXPECT_EQ(w.Table().DataState(), StateEdit);
  QApplication::setActiveWindow(w.form.get());
  GridWindow::Settle();
  ASSERT_TRUE(EditorShown());
  EXPECT_EQ(Editor()->Text(), "lever");
  Press(Qt::Key_Return);
  EXPECT_EQ(Field("ORGAN").AsString(), "lever");
}

// Resizing the window while typing recounts the rows; the typed text stays, in the open
// editor or, when the current row moved and the editor closed, for the write-back.
TEST_F(GridEditing, ResizingWhileTypingKeepsTheText) {
  ToColumn("ORGAN");
  Type("lever");
  Grid().resize(Grid().width() - 50, Grid().height());
  GridWindow::Settle();
  ASSERT_TRUE(EditorShown());
  EXPECT_EQ(Editor()->Text(), "lever");
  const int row = Grid().Row();
  Grid().resize(Grid().width(), Grid().height() + 60);  // more rows above the last record
  GridWindow::Settle();
  EXPECT_GT(Grid().Row(), row);
  EXPECT_EQ(Grid().EditText(), "lever");
  Press(Qt::Key_Return);
  EXPECT_EQ(Field("ORGAN").AsString(), "lever");
}

TEST_F(GridEditing, LeavingTheGridWritesBackOrDropsAnUntouchedNewRow) {
  auto* other = new QLineEdit(w.form.get());
  other->setGeometry(0, 0, 20, 20);
  other->show();
  ToColumn("ORGAN");
  Type("lever");
  other->setFocus();
  GridWindow::Settle();
  EXPECT_EQ(Field("ORGAN").AsString(), "lever");
  EXPECT_FALSE(Grid().EditorMode());
  EXPECT_EQ(w.Table().DataState(), StateEdit);
  w.Table().Cancel();
  // An untouched appended row is dropped, unless dgCancelOnExit is off.
  Grid().setFocus();
  Press(Qt::Key_Down);
  ASSERT_EQ(w.Table().DataState(), StateInsert);
  other->setFocus();
  GridWindow::Settle();
  EXPECT_EQ(w.Table().DataState(), StateBrowse);
  Grid().SetOptions(Grid().Options() & ~dgCancelOnExit);
  Grid().setFocus();
  Press(Qt::Key_Down);
  other->setFocus();
  GridWindow::Settle();
  EXPECT_EQ(w.Table().DataState(), StateInsert);
  w.Table().Cancel();
}

// A required field left empty asks for the focus when the record posts: the grid moves
// to its column and opens the editor.
TEST_F(GridEditing, ARequiredFieldTakesTheGridToItsColumn) {
  Field("ORGAN").SetRequired(true);
  ToColumn("BYGG");
  Press(Qt::Key_Down);  // a new row at the end
  Type("K1");
  Press(Qt::Key_Down);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Field 'organ' must have a value.");
  EXPECT_EQ(Grid().SelectedField(), &Field("ORGAN"));
  EXPECT_TRUE(EditorShown());
  EXPECT_EQ(w.Table().DataState(), StateInsert);
  w.Table().Cancel();
}

TEST_F(GridEditing, NavigationKeysMoveRowsAndColumns) {
  TTable& table = w.Table();
  const int rows = Grid().DataLink().LinkBufferCount();
  Press(Qt::Key_Home, Qt::ControlModifier);
  EXPECT_TRUE(table.AtStart());
  EXPECT_EQ(Grid().Row(), 1);
  Press(Qt::Key_Down, Qt::ControlModifier);  // the bottom row of the window
  EXPECT_EQ(Grid().Row(), rows);
  Press(Qt::Key_Up, Qt::ControlModifier);
  EXPECT_EQ(Grid().Row(), 1);
  Press(Qt::Key_PageDown);
  EXPECT_EQ(Grid().Row(), rows);
  Press(Qt::Key_PageDown);
  EXPECT_EQ(Grid().Row(), rows);  // the window moved
  EXPECT_FALSE(table.AtEnd());
  Press(Qt::Key_End, Qt::ControlModifier);
  EXPECT_TRUE(table.AtEnd());
  Press(Qt::Key_Right, Qt::ControlModifier);
  EXPECT_EQ(Grid().Col(), 13);
  Press(Qt::Key_Left);
  EXPECT_EQ(Grid().Col(), 12);
  Press(Qt::Key_Left, Qt::ControlModifier);
  EXPECT_EQ(Grid().Col(), 1);
  Press(Qt::Key_Left);
  EXPECT_EQ(Grid().Col(), 1);  // no further than the first data column
}

TEST_F(GridEditing, TheWheelMovesOneRecordPerNotch) {
  w.Table().First();
  const int32_t first = w.Table().RecordNumber();
  const QPoint at = Grid().CellRect(2, 2).ToQRect().center();
  QWheelEvent down(at, Grid().viewport()->mapToGlobal(at), QPoint(), QPoint(0, -240), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(Grid().viewport(), &down);
  EXPECT_EQ(Grid().Row(), 3);
  QWheelEvent up(at, Grid().viewport()->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                 Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(Grid().viewport(), &up);
  EXPECT_EQ(Grid().Row(), 2);
  EXPECT_NE(w.Table().RecordNumber(), first);
}

// Held past the right edge, the column-move drag scrolls a column at a time on its
// 60-millisecond timer; the column lands at the last visible place.
TEST_F(GridEditing, AColumnDraggedPastTheRightEdgeScrollsTheGrid) {
  Grid().resize(400, 300);
  GridWindow::Settle();
  QWidget* viewport = Grid().viewport();
  const QPoint from = Grid().CellRect(2, 0).ToQRect().center();
  const QPoint edge(viewport->width() - 2, from.y());
  QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, from);
  QTest::mouseMove(viewport, edge);
  GridWindow::Settle();
  const int left = Grid().LeftCol();
  QTest::qWait(400);
  EXPECT_GT(Grid().LeftCol(), left);
  QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, edge);
  GridWindow::Settle();
  EXPECT_NE(Grid().Columns()[1]->Field(), &Field("BYGG"));
  EXPECT_GT(Field("BYGG").Index(), 2);
  EXPECT_EQ(Grid().MouseState(), gsNormal);
}

}  // namespace
}  // namespace snyltdyr
