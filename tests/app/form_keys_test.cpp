// The window's own keys (Esc, F2, F3, F4 through key preview), the font buttons and the
// filter buttons, driven with real key and mouse events.
#include "form_fixture.h"

namespace snyltdyr {
namespace {

using testsupport::FormTest;

TEST_F(FormTest, EscF2F3F4ActOnTheTableOnlyWithoutModifiers) {
  Show();
  for (Qt::KeyboardModifier m : {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier}) {
    for (Qt::Key k : {Qt::Key_F2, Qt::Key_F4}) {
      Key(k, m);
      EXPECT_EQ(Table().DataState(), StateBrowse) << k << " with " << m;
    }
  }
  Key(Qt::Key_F2);
  EXPECT_EQ(Table().DataState(), StateEdit);
  EXPECT_EQ(NavEnabled(), "1100110111");  // Edit off, Post and Cancel on
  // Ctrl+Esc: the window does nothing, nor does the grid, which has the focus (Shift+Esc
  // would reach the grid's own Esc, which cancels).
  Key(Qt::Key_Escape, Qt::ControlModifier);
  EXPECT_EQ(Table().DataState(), StateEdit);
  Key(Qt::Key_Escape);
  EXPECT_EQ(Table().DataState(), StateBrowse);
  Key(Qt::Key_F4);
  EXPECT_EQ(Table().DataState(), StateInsert);
  Key(Qt::Key_Escape);
  EXPECT_EQ(Table().DataState(), StateBrowse);
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(form->Antall->Text(), std::to_string(kRecords));
}

TEST_F(FormTest, F3InBrowseStateShowsTheMessageWithTheAddedFullStop) {
  Show();
  Key(Qt::Key_F3);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "SnyltdyrTable: Dataset not in edit or insert mode.");
  EXPECT_EQ(ui.boxes[0].caption, "Zevuvuzoze de varuz iver");
  // The program carries on.
  Key(Qt::Key_F2);
  EXPECT_EQ(Table().DataState(), StateEdit);
}

TEST_F(FormTest, TheFontButtonsGoPastZeroAndBackWithoutLimit) {
  Show();
  for (int i = 0; i < 10; ++i) Click(form->SpeedButton1);
  EXPECT_EQ(form->Grid->Font().Size(), 0);
  EXPECT_EQ(form->Grid->TitleFont().Size(), -2);
  for (int i = 0; i < 12; ++i) Click(form->SpeedButton2);
  EXPECT_EQ(form->Grid->Font().Size(), 12);
  EXPECT_EQ(form->Grid->TitleFont().Size(), 10);
  EXPECT_EQ(form->Grid->Font().Height(), -16);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(FormTest, KindYearClassAndBoxesNarrowTheSelection) {
  Show();
  Click(form->SpeedButton4);  // "Haptor"
  EXPECT_TRUE(form->SpeedButton4->Down());
  EXPECT_FALSE(form->SpeedButton3->Down());
  EXPECT_EQ(Table().Filter(), "SNYLTDYR='Haptor Mark'");
  const std::string haptor = form->Antall->Text();
  EXPECT_LT(std::stoi(haptor), kRecords);

  // Ticking "Behandling" ticks "Funn" too; nothing is applied until a button is clicked.
  Click(form->Behandling);
  EXPECT_TRUE(form->Funn->Checked());
  EXPECT_EQ(form->Antall->Text(), haptor);

  // A click on the year-class "Alle" that is down already applies the boxes again.
  ASSERT_TRUE(form->SpeedButton12->Down());
  Click(form->SpeedButton12);
  EXPECT_TRUE(form->SpeedButton12->Down());
  EXPECT_EQ(Table().Filter(), "SNYLTDYR='Haptor Mark' AND MENGDE<>'-' AND BEHANDL<>''");
  EXPECT_EQ(form->Antall->Text(), std::to_string(Table().RecordTotal()));

  Click(form->SpeedButton9);  // year class 3
  EXPECT_EQ(form->Register.YearClass, 3);
  EXPECT_FALSE(form->SpeedButton12->Down());
  Click(form->SpeedButton3);  // every kind
  EXPECT_EQ(form->Register.LastFilterField, "SNYLTDYR");  // the kind is remembered
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // the busy pointer is gone again
}

TEST_F(FormTest, FixFormattingShowsTheBusyPointerAndResumesTheControlsOnFailure) {
  Show();
  bool busy_seen = false;
  int written = 0;
  auto fix = Table().BeforePost;
  Table().BeforePost = [&](TDataSet& data_set) {
    const QCursor* cursor = QApplication::overrideCursor();
    busy_seen = busy_seen || (cursor != nullptr && cursor->shape() == Qt::WaitCursor);
    if (++written == 5) throw Exception("Disk full");
    fix(data_set);
  };
  Click(form->BitBtn1);
  EXPECT_TRUE(busy_seen);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Disk full.");
  EXPECT_FALSE(Table().ControlsSuspended());
  // The navigator follows the table again.
  Click(&Nav(nbFirst));
  EXPECT_TRUE(Table().AtStart());
  EXPECT_EQ(NavEnabled().substr(0, 4), "0011");
}

}  // namespace
}  // namespace snyltdyr
