#include "app/cli_repair.h"

#include <filesystem>
#include <stdexcept>

#include "app/cli_progress.h"
#include "register/observation_repair.h"
#include "register/snyltdyr_register.h"
#include "runtime/cp1252.h"

namespace snyltdyr {
namespace {

struct RepairArguments {
  std::string dir;
  bool apply = false;
  int code_page = 0;
};

RepairArguments ParseRepair(const std::vector<std::string>& args) {
  RepairArguments a;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--apply") {
      a.apply = true;
    } else if (args[i] == "--code-page") {
      if (i + 1 >= args.size()) throw std::invalid_argument("option --code-page needs a value");
      const std::string& text = args[++i];
      const bool digits = !text.empty() && text.size() <= 5 &&
                          text.find_first_not_of("0123456789") == std::string::npos;
      a.code_page = digits ? std::stoi(text) : 0;
      if (a.code_page == 0) throw std::invalid_argument("--code-page takes a code page number, not '" + text + "'");
    } else if (args[i].rfind("--", 0) == 0) {
      throw std::invalid_argument("unknown option " + args[i]);
    } else if (a.dir.empty()) {
      a.dir = args[i];
    } else {
      throw std::invalid_argument("wrong number of arguments");
    }
  }
  if (a.dir.empty()) throw std::invalid_argument("wrong number of arguments");
  a.dir = std::filesystem::absolute(std::filesystem::path(a.dir)).lexically_normal().string();
  return a;
}

void PrintSteps(const engine::RepairPlan& plan, const char* doing, std::ostream& out) {
  for (const engine::RepairStep& step : plan.steps) {
    out << "Found: " << Cp1252ToUtf8(step.problem) << '\n';
    out << (step.action.empty() ? std::string("  Cannot mend this as things are (see above).")
                                : std::string("  ") + doing + ": " + Cp1252ToUtf8(step.action) + ".")
        << '\n';
  }
}

}  // namespace

int RepairCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  bool show_progress) {
  const RepairArguments a = ParseRepair(args);
  SnyltdyrRegister r;
  r.SnyltdyrTable.SetDatabaseName(a.dir);
  if (!a.apply) {
    const engine::RepairPlan plan = PlanObservationRepair(r.SnyltdyrTable, a.code_page);
    if (plan.steps.empty()) {
      out << "The table is sound: nothing to mend.\n";
      return 0;
    }
    PrintSteps(plan, "Would", out);
    if (!plan.blocked) out << "Nothing was changed. Run again with --apply to mend the table (every file it changes is backed up first).\n";
    return 1;
  }
  ProgressLine line(err, show_progress, "Reading records");
  engine::RepairReport report;
  try {
    RepairObservationTable(r.SnyltdyrTable, a.code_page, line.Reporter(), report);
  } catch (...) {
    line.Finish();
    PrintSteps(report.plan, report.plan.blocked ? "Would" : "Mended", out);
    for (const std::string& copy : report.backups) out << "Backup: " << copy << '\n';
    throw;
  }
  line.Finish();
  if (report.plan.steps.empty()) {
    out << "The table is sound: nothing to mend.\n";
    return 0;
  }
  for (const std::string& copy : report.backups) out << "Backup: " << copy << '\n';
  PrintSteps(report.plan, "Mended", out);
  if (report.rebuilt) out << "Index rebuilt from " << report.rebuild.records << " records\n";
  out << "The table opens for writing, and its index agrees with every record.\n";
  return 0;
}

}  // namespace snyltdyr
