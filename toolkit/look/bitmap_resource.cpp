#include "toolkit/look/bitmap_resource.h"

#include "resources/bitmaps.h"
#include "runtime/cp1252.h"
#include "runtime/exception.h"

namespace snyltdyr {

QPixmap LoadBitmapResource(const std::string& name) {
  size_t count = 0;
  const BitmapResource* resources = BitmapResources(count);
  for (size_t i = 0; i < count; ++i) {
    if (SameText1252(resources[i].name, name)) return QPixmap(resources[i].xpm);
  }
  throw Exception("Resource " + name + " not found");
}

}  // namespace snyltdyr
