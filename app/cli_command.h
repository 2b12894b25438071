// One command of the companion: its name, what it takes, what it does, and the function
// that runs it. The companion's table of these (CliCommands) is the one place a command
// is declared: the dispatch, the option check, `--help`, `help COMMAND` and the manual
// page all read it.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "app/cli_arguments.h"

namespace snyltdyr {

// What a command is run with.
struct CliCall {
  const std::vector<std::string>& args;  // as given: the command's name, then its arguments
  const CliArguments& parsed;            // the same, read against the command's options
  std::ostream& out;
  std::ostream& err;
  bool show_progress;  // whether long passes draw their progress line on `err`
};

struct CliCommand {
  std::string name;       // "export"
  std::string arguments;  // "DIR [SELECTION] [--index NAME]", for the usage line
  std::string summary;    // one line: what it does
  std::vector<CliOption> options;
  int (*run)(const CliCall&);  // the exit status: 0 done, 1 failed
};

}  // namespace snyltdyr
