// Bitmaps built into the program, found by name without regard to case ("dbn_first" is
// "DBN_FIRST"). A name that is not there raises "Resource %s not found".
#pragma once

#include <QPixmap>
#include <string>

namespace snyltdyr {

QPixmap LoadBitmapResource(const std::string& name);

}  // namespace snyltdyr
