// Start-up of the real window: opening the table in the working directory or the fallback
// directory, the figures, the current record, and what a failed opening leaves.
#include <fstream>

#include "form_fixture.h"
#include "support/table_files.h"

namespace snyltdyr {
namespace {

using testsupport::FormTest;

TEST_F(FormTest, StartsOnTheLastRecordWithTheFiguresOfTheWholeTable) {
  Show();
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_TRUE(Table().Active());
  EXPECT_EQ(form->Antall->Text(), std::to_string(kRecords));
  EXPECT_EQ(form->Grad->Text(), form->Register.GradText());
  EXPECT_NE(form->Grad->Text(), "0");
  EXPECT_EQ(form->Register.YearClass, -1);
  // The last record in date order is current: no date in the file is later.
  EXPECT_TRUE(Table().AtEnd());
  const std::string last = Table().FieldByName("DATO").AsString();
  for (const auto& row : testsupport::DbfreadRows(dir.path())) {
    const std::string& d = row.at("DATO");
    if (d.empty()) continue;
    const std::string shown = d.substr(8, 2) + "." + d.substr(5, 2) + "." + d.substr(0, 4);
    EXPECT_LE(d, last.substr(6, 4) + "-" + last.substr(3, 2) + "-" + last.substr(0, 2)) << shown;
  }
  // First and Prior, Insert, Delete, Edit and Refresh enabled; Next, Last, Post, Cancel not.
  EXPECT_EQ(NavEnabled(), "1100111001");
  EXPECT_EQ(form->Caption(), "Snyltdyr");
  EXPECT_TRUE(form->KeyPreview());
}

TEST_F(FormTest, TheControlsStandWhereTheyWereDesigned) {
  Show();
  EXPECT_EQ(form->Panel1->geometry(), QRect(0, 0, form->width(), 41));
  EXPECT_EQ(form->Panel2->geometry(), QRect(0, 41, form->width(), 41));
  EXPECT_EQ(form->DBMemo1->geometry(), QRect(0, form->height() - 104, form->width(), 104));
  EXPECT_EQ(form->Grid->geometry(), QRect(0, 82, form->width(), form->height() - 82 - 104));
  EXPECT_EQ(form->DBNavigator1->geometry(), QRect(64, 8, 240, 25));
  for (int i = 0; i < kNavigateButtonCount; ++i) {
    EXPECT_EQ(Nav(static_cast<TNavigateBtn>(i)).geometry(), QRect(24 * i, 0, 24, 25));
  }
  EXPECT_EQ(form->Grad->geometry(), QRect(736, 8, 49, 24));
  form->resize(1200, 700);
  EXPECT_EQ(form->DBMemo1->geometry(), QRect(0, 700 - 104, 1200, 104));
}

TEST_F(FormTest, BothOpeningsFailingShowOneBoxAndLeaveTheWindowClosedButUsable) {
  std::filesystem::remove(dir.File("SNYLTDYR.DBF"));
  testsupport::TempDir empty_fallback;
  form = std::make_unique<TSnyltdyrForm>();
  form->Register.SetFallbackDirectory(empty_fallback.path());
  form->show();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].caption, "Zevuvuzoze de varuz iver");
  EXPECT_EQ(ui.boxes[0].icon, TMsgDlgIcon::Stop);
  EXPECT_TRUE(form->isVisible());
  EXPECT_FALSE(Table().Active());
  EXPECT_EQ(form->Antall->Text(), "0");
  EXPECT_EQ(form->Grad->Text(), "0");
  EXPECT_EQ(form->Register.YearClass, 0);
  EXPECT_EQ(NavEnabled(), "0000000000");
  Click(&Nav(nbNext));  // disabled: nothing at all
  EXPECT_EQ(ui.boxes.size(), 1u);

  Click(form->SpeedButton4);  // "Haptor" needs the open table
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].text, "SnyltdyrTable: Cannot perform this operation on a closed dataset.");
  Key(Qt::Key_F2);
  ASSERT_EQ(ui.boxes.size(), 3u);
  EXPECT_EQ(ui.boxes[2].text, ui.boxes[1].text);
}

// The fallback directory is "p:\strandum\merder" where that share is mounted; the test
// points it at a folder of its own so it never touches a real share.
TEST_F(FormTest, TheFallbackDirectoryIsUsedWithoutAMessage) {
  testsupport::TempDir fallback;
  for (const char* name : {"SNYLTDYR.DBF", "SNYLTDYR.DBT", "SNYLTDYR.MDX"}) {
    std::filesystem::rename(dir.File(name), fallback.File(name));
  }
  form = std::make_unique<TSnyltdyrForm>();
  EXPECT_EQ(form->Register.FallbackDirectory(), "p:\\strandum\\merder");
  form->Register.SetFallbackDirectory(fallback.path());
  form->show();
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_TRUE(Table().Active());
  EXPECT_EQ(Table().DatabaseName(), fallback.path());
  EXPECT_EQ(form->Antall->Text(), std::to_string(kRecords));
  form.reset();  // closes the table before the files go
}

}  // namespace
}  // namespace snyltdyr

namespace snyltdyr {
namespace {

using testsupport::FormTest;

// A table whose index file is gone opens for reading only: the window says so and why.
TEST_F(FormTest, AReadOnlyTableSaysSoAndWhyInTheWindow) {
  std::filesystem::remove(dir.File("SNYLTDYR.MDX"));
  Show();
  ASSERT_TRUE(Table().Active());
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(form->Caption(), "Snyltdyr (skrivebeskyttet)");
  ASSERT_TRUE(form->ReadOnlyNotice->isVisible());
  const std::string notice = form->ReadOnlyNotice->Caption();
  EXPECT_EQ(notice.rfind("Skrivebeskyttet: ", 0), 0u) << notice;
  EXPECT_NE(notice.find("reindex"), std::string::npos) << notice;
  EXPECT_EQ(form->Antall->Text(), std::to_string(kRecords));  // the figures all the same
  EXPECT_EQ(NavEnabled().substr(4), "000000");  // nothing that writes
  Key(Qt::Key_F2);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_NE(ui.boxes[0].text.find("reindex"), std::string::npos) << ui.boxes[0].text;
}

TEST_F(FormTest, AWritableTableShowsNoNotice) {
  Show();
  EXPECT_FALSE(form->ReadOnlyNotice->isVisible());
  EXPECT_EQ(form->Caption(), "Snyltdyr");
}

}  // namespace
}  // namespace snyltdyr

namespace snyltdyr {
namespace {

using testsupport::FormTest;

// A table in the working directory that cannot be opened is what the user must mend: its
// reason comes first, then the fallback directory's.
TEST_F(FormTest, BothOpeningsFailingGiveTheFirstReasonThenTheSecond) {
  {
    std::ofstream damaged(dir.File("SNYLTDYR.DBF"), std::ios::binary | std::ios::trunc);
    damaged << "not a table at all";
  }
  std::string first;
  {
    SnyltdyrRegister probe;
    try {
      probe.OpenHere();
    } catch (const std::exception& e) {
      first = e.what();
    }
  }
  ASSERT_FALSE(first.empty());
  ASSERT_EQ(first.find("does not exist"), std::string::npos) << first;
  testsupport::TempDir empty_fallback;
  form = std::make_unique<TSnyltdyrForm>();
  form->Register.SetFallbackDirectory(empty_fallback.path());
  form->show();
  ASSERT_EQ(ui.boxes.size(), 1u);
  const std::string& text = ui.boxes[0].text;
  EXPECT_EQ(text.rfind(first, 0), 0u) << text;
  EXPECT_NE(text.find("Table does not exist", first.size()), std::string::npos) << text;
  EXPECT_FALSE(Table().Active());
}

TEST_F(FormTest, RestoringTheMaximisedWindowGivesItsDesignedBounds) {
  form = std::make_unique<TSnyltdyrForm>();
  const QRect designed(197, 152, 652, 367);
  form->ShowMaximized(designed);
  QApplication::processEvents();
  EXPECT_TRUE(form->isMaximized());
  EXPECT_NE(form->geometry(), designed);
  form->setWindowState(Qt::WindowNoState);
  QApplication::processEvents();
  EXPECT_EQ(form->geometry(), designed);
}

}  // namespace
}  // namespace snyltdyr
