// The passes over the whole selection as a user would make them: from the first record to
// the end, one record after another. A binding that can do better overrides them.
#include "dataset/data_set.h"
#include "dataset/try_finally.h"

namespace snyltdyr {

int32_t TDataSet::VisitSelection(const std::function<void()>& visit, TPassOrder) {
  SuspendControls();
  int32_t total = 0;
  TryFinally(
      [&] {
        for (First(); !AtEnd(); Next()) visit();
        total = RecordTotal();
      },
      [&] { ResumeControls(); });
  return total;
}

TRewriteCount TDataSet::RewriteSelection(const std::function<void()>& fix,
                                         const TPassProgress& progress) {
  SuspendControls();
  TRewriteCount count;
  TryFinally(
      [&] {
        const int64_t total = progress ? RecordTotal() : -1;
        for (First(); !AtEnd(); Next()) {
          Edit();
          fix();
          Post();  // BeforePost runs here
          ++count.records;
          ++count.written;
          if (progress && count.records % 1024 == 0) progress(count.records, total);
        }
        if (progress) progress(count.records, total);
      },
      [&] { ResumeControls(); });
  return count;
}

}  // namespace snyltdyr
