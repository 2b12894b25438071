// The question a window asks before it closes over a record being edited or inserted.
//
// Closing would otherwise discard the record: "Vil du lagre endringene i denne posten?"
// with Ja (the default: the record is posted), Nei (it is discarded) and Avbryt (the
// window stays open). A post that fails raises, so the window stays open with the record
// and the failure is shown. A new record nobody has filled in goes without a question.
#pragma once

#include <string>

namespace snyltdyr {

class TDataSet;

inline constexpr const char* kSaveRecordQuestion = "Vil du lagre endringene i denne posten?";

// Whether the window may close; the record is posted or discarded as answered.
bool AskSaveRecord(TDataSet& table, const std::string& caption);

}  // namespace snyltdyr
