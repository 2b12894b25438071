// The default error handler and key preview, driven through real events.
#include "toolkit/events/application.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include "runtime/exception.h"
#include "support/ui_recorder.h"
#include "toolkit/widgets/form.h"
#include "toolkit/events/posted_message.h"
#include "toolkit/widgets/speed_button.h"
#include "toolkit/widgets/standard_controls.h"
#include "toolkit/events/timer.h"

namespace snyltdyr {
namespace {

using testsupport::UiRecorder;

TEST(DefaultErrorHandlerTest, AFailedClickShowsOneStopBoxAndTheProgramCarriesOn) {
  UiRecorder ui;
  TForm form;
  auto* button = new TSpeedButton(&form);
  button->setGeometry(4, 4, 20, 20);
  int clicks = 0;
  button->OnClick = [&] {
    ++clicks;
    if (clicks == 1) throw EDatabaseError("SnyltdyrTable", "Dataset not in edit or insert mode");
    if (clicks == 2) throw EAbort();
    if (clicks == 3) throw Exception("Record locked by another user.");
    if (clicks == 4) throw Exception("Delete record?");
  };
  form.show();
  for (int i = 0; i < 5; ++i) QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(clicks, 5);
  ASSERT_EQ(ui.boxes.size(), 3u);  // nothing for the silent abort
  EXPECT_EQ(ui.boxes[0].text, "SnyltdyrTable: Dataset not in edit or insert mode.");
  EXPECT_EQ(ui.boxes[0].caption, "Zevuvuzoze de varuz iver");
  EXPECT_EQ(ui.boxes[0].icon, TMsgDlgIcon::Stop);
  EXPECT_EQ(ui.boxes[0].buttons, TMsgDlgButtons::Ok);
  EXPECT_EQ(ui.boxes[1].text, "Record locked by another user.");
  EXPECT_EQ(ui.boxes[2].text, "Delete record?.");  // "?" sorts after "."
}

TEST(DefaultErrorHandlerTest, FailuresOfSignalsTimersAndShowingAreReported) {
  UiRecorder ui;
  TForm form;
  form.OnShow = [](TForm&) { throw Exception("Table does not exist"); };
  auto* check = new TCheckBox(&form, "Funn");
  check->OnClick = [] { throw Exception("tick failed"); };
  form.show();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Table does not exist.");
  EXPECT_TRUE(form.isVisible());  // the window is shown all the same

  check->setChecked(true);  // outside any event: reported when the loop runs
  QTest::qWait(20);
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].text, "tick failed.");

  TTimer timer;
  int ticks = 0;
  timer.SetInterval(5);
  timer.OnTimer = [&] {
    ++ticks;
    timer.SetEnabled(false);
    throw Exception("timer failed");
  };
  timer.SetEnabled(true);
  QTRY_COMPARE_WITH_TIMEOUT(ticks, 1, 2000);
  QTest::qWait(10);
  ASSERT_EQ(ui.boxes.size(), 3u);
  EXPECT_EQ(ui.boxes[2].text, "timer failed.");
}

// A form with key preview and an edit box that has the focus.
class KeyPreviewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form.SetKeyPreview(true);
    edit = new QLineEdit(&form);
    form.OnKeyDown = [this](TForm&, uint16_t& key, TShiftState shift) {
      // A key with a modifier comes after the modifier's own key, as on a real keyboard.
      if (key == vk::Shift || key == vk::Control || key == vk::Menu) return;
      seen.push_back({key, shift, edit->text().toStdString()});
      if (key == 'Q') key = 0;  // swallowed
    };
    form.show();
    edit->setFocus();
  }
  struct Seen {
    uint16_t key;
    TShiftState shift;
    std::string edit_text_then;
  };
  TForm form;
  QLineEdit* edit = nullptr;
  std::vector<Seen> seen;
};

TEST_F(KeyPreviewTest, TheFormSeesEveryKeyFirstAndLeavesItInPlace) {
  QTest::keyClick(edit, Qt::Key_A);
  QTest::keyClick(edit, Qt::Key_F3, Qt::AltModifier);
  QTest::keyClick(edit, Qt::Key_Escape);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].key, 'A');
  EXPECT_EQ(seen[0].edit_text_then, "");  // before the edit box had it
  EXPECT_EQ(seen[1].key, vk::F3);
  EXPECT_EQ(seen[1].shift, ssAlt);
  EXPECT_EQ(seen[2].key, vk::Escape);
  EXPECT_EQ(edit->text().toStdString(), "a");
}

TEST_F(KeyPreviewTest, ASwallowedKeyNeverReachesTheControl) {
  QTest::keyClick(edit, Qt::Key_Q);
  QTest::keyClick(edit, Qt::Key_B);
  EXPECT_EQ(edit->text().toStdString(), "b");
}

// A receiver of posted messages.
class MessageSink : public QObject {
 public:
  std::vector<TMessage> received;

 protected:
  bool event(QEvent* e) override {
    if (const TMessage* m = AsPostedMessage(e)) {
      received.push_back(*m);
      return true;
    }
    return QObject::event(e);
  }
};

TEST(PostedMessageTest, ArrivesOnceAfterTheCurrentWork) {
  MessageSink sink;
  PostMessage(&sink, {WM_USER + 100, 7, 9});
  EXPECT_TRUE(sink.received.empty());
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  ASSERT_EQ(sink.received.size(), 1u);
  EXPECT_EQ(sink.received[0].msg, 0x464u);
  EXPECT_EQ(sink.received[0].wparam, 7);
}

}  // namespace
}  // namespace snyltdyr
