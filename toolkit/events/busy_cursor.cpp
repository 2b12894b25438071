#include "toolkit/events/busy_cursor.h"

#include <QApplication>
#include <QCursor>

namespace snyltdyr {

TBusyCursor::TBusyCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }

TBusyCursor::~TBusyCursor() { QApplication::restoreOverrideCursor(); }

}  // namespace snyltdyr
