// Advice to the kernel that a large block of memory about to be filled once, front to
// back, be backed by large pages where it can: touching fresh memory costs a page fault
// per 4 KB page otherwise, which for the tens of megabytes of an export's text or a
// pass's chunk of records is a good share of the work. Only advice: where large pages
// are not to be had, nothing changes.
#pragma once

#include <cstddef>

namespace snyltdyr {

// Advises large pages for the whole large pages within [begin, begin + size).
void AdviseLargePages(void* begin, size_t size);

}  // namespace snyltdyr
