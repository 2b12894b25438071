// The companion's command lines: the options a command takes, and its arguments read
// against them.
//
// An argument that starts with "-" is an option, except after "--", which ends the
// options; anything else is positional. An option the command does not take is a wrong
// command line naming that option, and so is a value option given last without its value.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "runtime/exception.h"

namespace snyltdyr {

// A wrong command line (exit status 2); the usage goes with the message.
class UsageError : public Exception {
 public:
  using Exception::Exception;
};

struct CliOption {
  std::string name;   // "--records"
  std::string value;  // what it takes, for the help ("N", "alle|0..5"); empty for a flag
  std::string help;   // one line
};

struct CliArguments {
  std::vector<std::string> positional;
  std::map<std::string, std::string> values;  // --name VALUE
  std::set<std::string> flags;                // --name

  bool Has(const std::string& name) const { return values.count(name) != 0; }
  bool Flag(const std::string& name) const { return flags.count(name) != 0; }
  std::string Value(const std::string& name, const std::string& fallback = {}) const;
};

// Reads `args` from index `from` on. "--help" and "-h" are taken by every command and
// land in `flags` as "--help".
CliArguments ParseArguments(const std::vector<std::string>& args, size_t from,
                            const std::vector<CliOption>& options);

// Between `least` and `most` positional arguments, else a UsageError.
void ExpectPositional(const CliArguments& a, size_t least, size_t most);

// The whole number of 0 or more given with `name`, or `fallback` when it is not given.
int64_t NumberOption(const CliArguments& a, const std::string& name, int64_t fallback);

}  // namespace snyltdyr
