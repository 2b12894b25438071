#include "app/program_arguments.h"

namespace snyltdyr {

ProgramArguments ReadProgramArguments(const std::vector<std::string>& args) {
  ProgramArguments read;
  bool options_ended = false;
  for (const std::string& a : args) {
    const bool option = !options_ended && a.size() > 1 && a[0] == '-';
    if (option && a == "--") {
      options_ended = true;
    } else if (option && (a == "--help" || a == "-h")) {
      read.help = true;
    } else if (option && (a == "--version" || a == "-v")) {
      read.version = true;
    } else if (option) {
      if (read.error.empty()) read.error = "unknown option " + a;
    } else if (!read.folder.empty()) {
      if (read.error.empty()) read.error = "one folder only, not also " + a;
    } else {
      read.folder = a;
    }
  }
  return read;
}

std::string ProgramUsage() {
  return "usage: snyltdyr [FOLDER]\n"
         "       snyltdyr --help | --version\n\n"
         "Opens the register SNYLTDYR.DBF in FOLDER (the folder of a file given instead),\n"
         "else in the working directory; when it cannot be opened there, in the fallback\n"
         "folder: the line fallback=FOLDER in ~/.config/snyltdyr/snyltdyr.conf (or in\n"
         "/etc/xdg/snyltdyr/snyltdyr.conf), by default p:\\strandum\\merder, mounted at\n"
         "/mnt/p/strandum/merder.\n";
}

}  // namespace snyltdyr
