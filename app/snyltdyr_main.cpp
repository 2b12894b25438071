// snyltdyr: the observation register's window.
//
// Names the application, reads the user's regional settings once, creates the main
// window (which builds every control and the closed table) and runs the message loop
// until the window closes; then the engine session stops.
#include <QIcon>
#include <QLocale>

#include "app/regional_from_locale.h"
#include "app/snyltdyr_form.h"
#include "storage/session.h"
#include "toolkit/events/application.h"
#include "toolkit/look/bitmap_resource.h"

int main(int argc, char** argv) {
  using namespace snyltdyr;
  TApplication app(argc, argv);
  app.SetTitle(kApplicationTitle);
  app.setWindowIcon(QIcon(LoadBitmapResource("PROGRAM_ICON")));
  SetRegional(RegionalFromLocale(QLocale::system()));
  int status = 0;
  {
    TSnyltdyrForm form;
    form.ShowMaximized(QRect(197, 152, 652, 367));
    status = app.Run();
  }
  StopDefaultSession();
  return status;
}
