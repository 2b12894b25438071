// The command line of the program `snyltdyr`: `snyltdyr [FOLDER]`, or `--help` (`-h`)
// or `--version` (`-v`).
//
// Read twice: first over the whole command line, only to answer --help and --version
// before the window toolkit starts (they need no display); then over what is left once
// the toolkit has taken its own options (-platform, -style, ...), where anything else
// that looks like an option, or a second folder, is an error.
#pragma once

#include <string>
#include <vector>

namespace snyltdyr {

struct ProgramArguments {
  bool help = false;
  bool version = false;
  std::string folder;  // empty: none given
  std::string error;   // a wrong command line, naming what is wrong; empty when right
};

// `args` are the arguments after the program name. "--" ends the options.
ProgramArguments ReadProgramArguments(const std::vector<std::string>& args);

// What --help prints.
std::string ProgramUsage();

}  // namespace snyltdyr
