#include "register/selection_filter.h"

#include <gtest/gtest.h>

namespace snyltdyr {
namespace {

const std::string kYear = "\xC5RSKLAS";

// Every row of the filter-text table: kind, boxes and year class 3 or all.
TEST(SelectionFilterText, KindButtonWithEveryBoxAndYearClass) {
  struct Row {
    bool funn, behandling;
    int32_t year_class;
    std::string text;
  };
  const std::string k = "SNYLTDYR='Haptor Mark'";
  const Row rows[] = {
      {false, false, -1, k},
      {true, false, -1, k + " AND MENGDE<>'-'"},
      {false, true, -1, k + " AND BEHANDL<>''"},
      {true, true, -1, k + " AND MENGDE<>'-' AND BEHANDL<>''"},
      {false, false, 3, k + " AND " + kYear + "=3"},
      {true, false, 3, k + " AND MENGDE<>'-' AND " + kYear + "=3"},
      {false, true, 3, k + " AND BEHANDL<>'' AND " + kYear + "=3"},
      {true, true, 3, k + " AND MENGDE<>'-' AND BEHANDL<>'' AND " + kYear + "=3"},
  };
  for (const Row& row : rows) {
    SelectionBoxes boxes{row.funn, row.behandling, row.year_class};
    EXPECT_EQ(KindFilterText(kKindField, kHaptorValue, boxes), row.text);
  }
  EXPECT_EQ(KindFilterText(kKindField, kTricodinaValue, {true, false, 0}),
            "SNYLTDYR='Tricodina' AND MENGDE<>'-' AND " + kYear + "=0");
  // The value goes between the quotes unchanged.
  EXPECT_EQ(KindFilterText("F", "it's", {}), "F='it's'");
}

TEST(SelectionFilterText, AllKindsButtonWithEveryBoxAndYearClass) {
  struct Row {
    bool funn, behandling;
    int32_t year_class;
    std::optional<std::string> text;
  };
  const Row rows[] = {
      {false, false, -1, std::nullopt},
      {true, false, -1, "MENGDE<>'-'"},
      {false, true, -1, "BEHANDL<>''"},
      {true, true, -1, "MENGDE<>'-' AND BEHANDL<>''"},
      {false, false, 3, kYear + "=3"},
      {true, false, 3, "MENGDE<>'-' AND " + kYear + "=3"},
      {false, true, 3, "BEHANDL<>'' AND " + kYear + "=3"},
      {true, true, 3, "MENGDE<>'-' AND BEHANDL<>'' AND " + kYear + "=3"},
  };
  for (const Row& row : rows) {
    SelectionBoxes boxes{row.funn, row.behandling, row.year_class};
    EXPECT_EQ(AllKindsFilterText(boxes), row.text);
  }
}

}  // namespace
}  // namespace snyltdyr
