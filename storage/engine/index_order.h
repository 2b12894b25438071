// The order of a cursor walking one tag of the production index.
//
// Positions are (key bytes, record number). The order keeps the path of the last place it
// gave out; the next step from that place reads the nodes of the path again and checks
// that they still lead to it, so a sequential walk costs one leaf read per record while
// any change made meanwhile (by this program or another) is seen. When the place is gone
// (its record changed key or left the tag) the walk continues from where it was.
#pragma once

#include <memory>
#include <string>

#include "storage/engine/cursor.h"
#include "storage/engine/index_production.h"

namespace snyltdyr::engine {

std::unique_ptr<RecordOrder> MakeTagOrder(ProductionIndex& index, const std::string& tag);

}  // namespace snyltdyr::engine
