#include "storage/engine/datafile/record_view.h"

#include <gtest/gtest.h>

namespace snyltdyr::engine {
namespace {

TEST(RecordView, RawGivesEachFieldAtItsOffsetAndTheDeletionFlag) {
  std::vector<FieldDesc> fields = {{"BYGG", 'C', 1, 4, 0}, {"TALL", 'N', 5, 3, 0}};
  const uint8_t live[] = " AB1  12";
  RecordView v{&fields, live, 865};
  EXPECT_EQ(v.Raw(0), "AB1 ");
  EXPECT_EQ(v.Raw(1), " 12");
  EXPECT_FALSE(v.Deleted());
  const uint8_t gone[] = "*AB1  12";
  EXPECT_TRUE((RecordView{&fields, gone, 865}).Deleted());
}

}  // namespace
}  // namespace snyltdyr::engine
