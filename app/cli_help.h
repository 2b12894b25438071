// The companion's help, all of it made from its table of commands: the short usage shown
// with a wrong command line, `--help`, `help COMMAND`, and the commands of its manual page.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "app/cli_command.h"

namespace snyltdyr {

inline constexpr const char* kCliProgram = "snyltdyr-cli";

// The usage line of every command, and where to find the rest.
void WriteUsage(std::ostream& out, const std::vector<CliCommand>& commands);
// What the companion is, every command with its options, and the exit statuses.
void WriteHelp(std::ostream& out, const std::vector<CliCommand>& commands);
// One command: its usage line, what it does and its options.
void WriteCommandHelp(std::ostream& out, const CliCommand& command);

// The manual page: `page` (troff) with the line "@COMMANDS@" replaced by every command
// with its options and "@VERSION@" by `version`.
std::string ManPage(const std::string& page, const std::vector<CliCommand>& commands,
                    const std::string& version);

}  // namespace snyltdyr
