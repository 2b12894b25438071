// The real main window over a real sample table in a temporary working directory.
//
//   FormTest: SetUp makes SNYLTDYR.DBF (with memo and index) of `records` observations in
//   a fresh folder and makes it the working directory; Show() creates and shows the
//   window, which opens the table the way the program does. Message boxes and beeps are
//   recorded in `ui`. The program's settings (the fallback folder) are read from
//   `settings` (the user's) and `settings/system`, empty at the start: a test never
//   reads those of the machine.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QTest>
#include <filesystem>
#include <memory>

#include "app/snyltdyr_form.h"
#include "controls/db_memo.h"
#include "controls/db_navigator.h"
#include "controls/grid/db_grid.h"
#include "register/sample_observations.h"
#include "support/temp_dir.h"
#include "support/ui_recorder.h"
#include "toolkit/widgets/panel.h"
#include "toolkit/widgets/speed_button.h"
#include "toolkit/widgets/standard_controls.h"

namespace snyltdyr::testsupport {

class FormTest : public ::testing::Test {
 protected:
  static constexpr int kRecords = 60;

  void SetUp() override {
    previous_directory_ = std::filesystem::current_path();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(settings.path()));
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope,
                       QString::fromStdString(settings.File("system")));
    CreateSampleTable(dir.path(), kRecords, 11);
    std::filesystem::current_path(dir.path());
  }
  void TearDown() override {
    form.reset();
    std::filesystem::current_path(previous_directory_);
  }

  void Show() {
    form = std::make_unique<TSnyltdyrForm>();
    form->resize(1000, 600);
    form->show();
    QApplication::processEvents();
  }

  TTable& Table() { return form->Register.SnyltdyrTable; }
  TNavButton& Nav(TNavigateBtn button) { return form->DBNavigator1->Button(button); }
  void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }
  // A key pressed where the keyboard focus is (the window itself when nothing has it).
  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = QApplication::focusWidget();
    QTest::keyClick(target != nullptr ? target : form.get(), key, modifiers);
  }
  // Which navigator buttons are enabled, as a string of ten 0/1 in button order.
  std::string NavEnabled() {
    std::string out;
    for (int i = 0; i < kNavigateButtonCount; ++i) {
      out += Nav(static_cast<TNavigateBtn>(i)).isEnabled() ? '1' : '0';
    }
    return out;
  }

  TempDir dir;
  TempDir settings;
  UiRecorder ui;
  std::unique_ptr<TSnyltdyrForm> form;

 private:
  std::filesystem::path previous_directory_;
};

}  // namespace snyltdyr::testsupport
