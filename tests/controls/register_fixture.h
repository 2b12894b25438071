// A register over a real sample table in a temporary folder, for control tests.
//
//   RegisterTest: `reg` is open on `records` observations (DATO order, last record
//   current); message boxes and beeps are recorded in `ui`.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "register/sample_observations.h"
#include "register/snyltdyr_register.h"
#include "support/temp_dir.h"
#include "support/ui_recorder.h"

namespace snyltdyr::testsupport {

class RegisterTest : public ::testing::Test {
 protected:
  void OpenSample(int records) {
    CreateSampleTable(dir.path(), records, 5);
    reg.SnyltdyrTable.SetDatabaseName(dir.path());
    reg.FormShow();
  }

  TempDir dir;
  UiRecorder ui;
  SnyltdyrRegister reg;
};

}  // namespace snyltdyr::testsupport
