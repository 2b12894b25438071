#include "runtime/large_pages.h"

#include <sys/mman.h>

#include <cstdint>

namespace snyltdyr {

void AdviseLargePages(void* begin, size_t size) {
#ifdef MADV_HUGEPAGE
  constexpr uintptr_t kLargePage = uintptr_t{2} << 20;
  const auto from = reinterpret_cast<uintptr_t>(begin);
  const uintptr_t first = (from + kLargePage - 1) & ~(kLargePage - 1);
  const uintptr_t last = (from + size) & ~(kLargePage - 1);
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)begin;
  (void)size;
#endif
}

}  // namespace snyltdyr
