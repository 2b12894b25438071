// The command-line companion of the register: the same table, normaliser, filters and
// count and grade as the window, driven by arguments instead of clicks.
//
// Its commands, their arguments and options are the table CliCommands (cli.cpp), which
// `--help`, `help COMMAND` and the manual page are made from; `--version` prints the
// version of the project.
//
// A selection is made the way the window makes it: the boxes are ticked, then the
// year-class button and then the kind button are clicked ("Alle" when a box is ticked
// and no kind is given). Output is UTF-8. A failure
// prints the message the window's error box would show to `err` and gives a non-zero
// status (1 for a failure, 2 for a wrong command line). The long passes (fix, export,
// add-index, reindex) draw a progress line on `err` when `show_progress` (the program
// passes whether standard error is a terminal).
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "app/cli_command.h"
#include "runtime/exception.h"  // ErrorBoxText

namespace snyltdyr {

// Every command, in the order the help lists them.
const std::vector<CliCommand>& CliCommands();

// A wrong command line (exit status 2).
using CliUsageError = UsageError;

// A cell of the CSV the companion writes: quoted when it holds a comma, a quote or a line
// break, its quotes doubled.
std::string CsvCell(const std::string& text);

// `args` are the arguments after the program name.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           bool show_progress = false);

}  // namespace snyltdyr
