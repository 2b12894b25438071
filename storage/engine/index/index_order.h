// The order of a cursor walking one tag of the production index.
//
// Positions are (key bytes, record number). The order keeps the path of the last place it
// gave out; the next step from that place reads the nodes of the path again and checks
// that they still lead to it, so a sequential walk costs one leaf read per record while
// any change made meanwhile (by this program or another) is seen. When the place is gone
// (its record changed key or left the tag) the walk continues from where it was.
//
// The order is never read through when it does not agree with the table: a tag marked
// unusable (index_faults.h) gives no position at all, and every record a walk reaches is
// confirmed to give the key it is filed under. A record that does not, once any writer
// busy with the index is done, marks the tag out of step and stops the walk.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "storage/engine/table/cursor.h"
#include "storage/engine/index/index_production.h"

namespace snyltdyr::engine {

// `table_now` gives the table the index belongs to as it stands (its record count read
// again); records are read through it to confirm them.
std::unique_ptr<RecordOrder> MakeTagOrder(ProductionIndex& index,
                                          std::function<IndexedTable()> table_now,
                                          const std::string& tag);

}  // namespace snyltdyr::engine
