// TDBGrid: the data grid as a window places it. All of its behaviour is
// TCustomDBGrid's; this class is the one the program creates.
#pragma once

#include "controls/grid/custom_db_grid.h"

namespace snyltdyr {

class TDBGrid : public TCustomDBGrid {
 public:
  using TCustomDBGrid::TCustomDBGrid;
};

}  // namespace snyltdyr
