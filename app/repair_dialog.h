// "Reparer tabellen…": the window's way to the repair the companion's `repair` command
// makes, for a table that opened read-only because another program changed its files.
//
// The notice says in plain Norwegian what was found and that the button mends it (the
// engine's own reason follows, for the details). The button lists what the repair will
// do and asks OK/Cancel; on OK the table is closed (the repair needs it alone), mended
// with the busy pointer and a progress box for a long rebuild, and opened again. When
// another program has the table open, the box says so and nothing is changed.
#pragma once

#include <string>

class QWidget;

namespace snyltdyr {

class SnyltdyrRegister;

// The read-only notice for `reason` (empty: none), and whether the repair can mend it.
std::string ReadOnlyNoticeText(const std::string& reason, bool& repairable);

// Runs the repair from the window, as above; the table is open again afterwards (also
// after Cancel or a failure, as far as it opens). Whether the table was mended.
bool RunRepairDialog(QWidget* parent, SnyltdyrRegister& reg);

}  // namespace snyltdyr
