// Whether the data file was changed behind its production index: the times of the two
// files, which our own writes keep in order.
//
// Every write of ours goes data file first, index after, and ends by dating the index
// (MarkIndexFollowed), so that the index file is never older than the data file while
// they agree. A program that changes records in place and leaves the index alone (an
// office suite's save, a GIS tool's update) leaves the data file newer, or dated later in
// its header than the index file's day; the table then verifies every record's keys
// before it writes (ProductionIndex::VerifyEveryRecord). A tag found out of step while
// the table is open dates the index back (MarkIndexUnverified), so that the next opening
// for writing verifies it again instead of trusting a sample.
#pragma once

#include <string>

namespace snyltdyr::engine {

// Whether the data file at `dbf_path` was changed after the index at `mdx_path` was last
// written: its modification time is later, or (with `header_date`: a copy may have lost
// the times) the date in its header a later day than the index file's.
bool DataChangedBehindIndex(const std::string& dbf_path, const std::string& mdx_path,
                            bool header_date = true);

// Dates the index file (`mdx_fd`) now, or as the data file at `dbf_path` when that is
// dated later: the index follows the data file.
void MarkIndexFollowed(int mdx_fd, const std::string& dbf_path);

// Dates the index file long ago, so that the next opening for writing verifies it.
void MarkIndexUnverified(const std::string& mdx_path);

}  // namespace snyltdyr::engine
