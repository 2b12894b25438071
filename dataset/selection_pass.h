// What the passes over a whole selection (TDataSet::VisitSelection, RewriteSelection)
// tell their callers, kept apart so that code which only starts a pass need not know
// the dataset.
#pragma once

#include <cstdint>
#include <functional>

namespace snyltdyr {

// What a pass that changes records did (TDataSet::RewriteSelection).
struct TRewriteCount {
  int32_t records = 0;  // records of the selection that went through the change
  int32_t written = 0;  // of them, those stored again
};

// In which order a reading pass reaches the records: any order (what counts or sums does
// not care, and the storage table then goes through the file as it lies), or the order
// the dataset shows them in (an export).
enum TPassOrder : uint8_t { poAnyOrder, poShownOrder };

// Told during a long pass how far it got: records done of `total` (-1 when not known).
using TPassProgress = std::function<void(int64_t done, int64_t total)>;

}  // namespace snyltdyr
