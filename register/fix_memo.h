// The answers of the normaliser's text rules remembered over a pass (ApplyFixRules).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "register/normaliser.h"
#include "register/rule_memo.h"

namespace snyltdyr {

struct TFixMemo {
  TRuleMemo<std::optional<std::string>> treatment{TreatmentRule};
  TRuleMemo<std::optional<std::string>> parasite{ParasiteRule};
  TRuleMemo<std::optional<std::string>> organ{OrganRule};
  TRuleMemo<std::string> amount{AmountRule};
  TRuleMemo<int32_t> generation{GenerationRule};
};

}  // namespace snyltdyr
