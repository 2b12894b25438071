// The repair of the observation table after other programs changed its files: what the
// engine's repair finds and mends (engine.h, PlanRepair and RepairTable), with the
// register's own columns, so that a column another program renamed gets its name back.
// The companion's repair command and the window's "Reparer tabellen…" use it alike.
#pragma once

#include <string>
#include <vector>

#include "storage/engine/engine.h"
#include "storage/table.h"

namespace snyltdyr {

// The options of a repair of the observation table; `code_page` 0: found by the repair.
engine::RepairOptions ObservationRepairOptions(int code_page = 0);

// What a repair of `table` (closed) would do, and the same mended (raising as
// TTable::Repair does, with `report` telling what was done before); the caller reopens it.
engine::RepairPlan PlanObservationRepair(TTable& table, int code_page = 0);
void RepairObservationTable(TTable& table, int code_page, const engine::RebuildProgress& progress,
                            engine::RepairReport& report);

// Whether a table that opened read-only for `reason` is one a repair may mend: another
// program's change (code page, index, memo file, version byte, a column), not a file
// this program may not write at all.
bool RepairMayMend(const std::string& reason);

}  // namespace snyltdyr
