// Entry of the widget test programs: an application object on the offscreen platform,
// the Norwegian regional settings (never the machine's), and a message box and beep that
// record instead of waiting for a person (tests install their own recorder to look).
#include <gtest/gtest.h>

#include <cstdlib>

#include "runtime/regional_settings.h"
#include "toolkit/events/application.h"

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  ::testing::InitGoogleTest(&argc, argv);
  snyltdyr::TApplication app(argc, argv);
  app.SetTitle("Zevuvuzoze de varuz iver");
  snyltdyr::SetRegional(snyltdyr::NorwegianSettings());
  return RUN_ALL_TESTS();
}
