#include "register/observation_repair.h"

#include "register/observation_table.h"

namespace snyltdyr {

engine::RepairOptions ObservationRepairOptions(int code_page) {
  engine::RepairOptions options;
  options.code_page = code_page;
  options.columns = ObservationColumns();
  options.columns_code_page = 865;
  return options;
}

engine::RepairPlan PlanObservationRepair(TTable& table, int code_page) {
  return table.PlanRepair(ObservationRepairOptions(code_page));
}

void RepairObservationTable(TTable& table, int code_page, const engine::RebuildProgress& progress,
                            engine::RepairReport& report) {
  table.Repair(ObservationRepairOptions(code_page), progress, report);
}

bool RepairMayMend(const std::string& reason) {
  // The texts that name the repair or the rebuild it includes.
  return reason.find("snyltdyr-cli repair") != std::string::npos ||
         reason.find("snyltdyr-cli reindex") != std::string::npos;
}

}  // namespace snyltdyr
