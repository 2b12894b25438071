// Remembered cells: a cell is given only for the very bytes it was made from, however
// many values share the table's slots.
#include <gtest/gtest.h>

#include <string>

#include "storage/known_cells.h"

namespace snyltdyr {
namespace {

TEST(KnownCellsTest, GivesACellOnlyForItsOwnBytesEvenWhenValuesShareSlots) {
  TKnownCells known;
  EXPECT_EQ(known.Find("20240105"), nullptr);
  // Three times as many values as slots: most slots are shared, and taken in turn.
  const int values = static_cast<int>(3 * TKnownCells::kSlots);
  auto bytes = [](int i) { return std::to_string(10000000 + i); };
  for (int i = 0; i < values; ++i) known.Keep(bytes(i), "cell " + bytes(i));
  int found = 0;
  for (int i = 0; i < values; ++i) {
    if (const std::string* cell = known.Find(bytes(i))) {
      EXPECT_EQ(*cell, "cell " + bytes(i));
      ++found;
    }
  }
  EXPECT_GT(found, 0);
  EXPECT_LE(found, static_cast<int>(TKnownCells::kSlots));
  // The last value kept is always found; bytes that differ in their last byte are not it.
  EXPECT_NE(known.Find(bytes(values - 1)), nullptr);
  EXPECT_EQ(known.Find(bytes(values - 1).substr(0, 7)), nullptr);
}

}  // namespace
}  // namespace snyltdyr
