// The program's bitmaps, built into it as XPM data: the program icon, the ten
// navigator glyphs and the five record-state glyphs of the grid. The toolkit finds them
// by name (toolkit/bitmap_resource.h).
#pragma once

#include <cstddef>

namespace snyltdyr {

struct BitmapResource {
  const char* name;          // upper case, e.g. "DBN_FIRST"
  const char* const* xpm;    // XPM rows: header, colours, pixels
};

const BitmapResource* BitmapResources(size_t& count);

}  // namespace snyltdyr
