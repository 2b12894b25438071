// snyltdyr [FOLDER]: the observation register's window.
//
// Answers --help and --version before anything else (they need no display); names the
// application, reads the user's regional settings once, creates the main window over the
// table of FOLDER (which builds every control and the closed table) and runs the message
// loop until the window closes; then the engine session stops.
#include <QIcon>
#include <QLocale>
#include <iostream>
#include <string>
#include <vector>

#include "app/program_arguments.h"
#include "app/regional_from_locale.h"
#include "app/snyltdyr_form.h"
#include "app/start_folders.h"
#include "storage/session.h"
#include "toolkit/events/application.h"
#include "toolkit/look/bitmap_resource.h"

int main(int argc, char** argv) {
  using namespace snyltdyr;
  const ProgramArguments asked = ReadProgramArguments({argv + 1, argv + argc});
  if (asked.help || asked.version) {
    std::cout << (asked.help ? ProgramUsage() : "snyltdyr " SNYLTDYR_VERSION "\n");
    return 0;
  }
  TApplication app(argc, argv);  // takes the toolkit's own options out of argv
  const ProgramArguments args = ReadProgramArguments({argv + 1, argv + argc});
  if (!args.error.empty()) {
    std::cerr << "snyltdyr: " << args.error << '\n' << ProgramUsage();
    return 2;
  }
  app.SetTitle(kApplicationTitle);
  app.setWindowIcon(QIcon(LoadBitmapResource("PROGRAM_ICON")));
  SetRegional(RegionalFromLocale(QLocale::system()));
  int status = 0;
  {
    TSnyltdyrForm form(FolderOfArgument(args.folder));
    form.ShowMaximized(QRect(197, 152, 652, 367));
    status = app.Run();
  }
  StopDefaultSession();
  return status;
}
