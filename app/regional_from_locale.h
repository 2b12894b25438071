// The user's regional settings, read once at start from the system locale.
#pragma once

#include <QLocale>

#include "runtime/regional_settings.h"

namespace snyltdyr {

// The settings of `locale`; for the plain C/POSIX locale, the Norwegian ones.
RegionalSettings RegionalFromLocale(const QLocale& locale);

}  // namespace snyltdyr
