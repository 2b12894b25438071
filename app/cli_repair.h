// The companion's repair command: finds and mends what other programs did to the table.
//
//   repair DIR [--apply] [--code-page N]
//
// Without --apply it lists each problem and the action it would take, changes nothing,
// and gives 1 when there is something to do, 0 when the table is sound. With --apply it
// needs the table alone, backs up every file it changes, mends, checks the result, and
// gives 0 only when the table then opens writable with its index in step.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace snyltdyr {

// `args` as RunCli has them ("repair" first). Raises as the other commands do; a wrong
// command line raises std::invalid_argument with what is wrong.
int RepairCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  bool show_progress);

}  // namespace snyltdyr
