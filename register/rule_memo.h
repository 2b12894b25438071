// The answers a rule on a text gave, kept by text, for a pass over a million records where
// the same few texts come again and again: the rule (a pure function of its text) is asked
// once per distinct text. The memory stays small whatever the table holds: past kMost
// texts the memo starts afresh.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace snyltdyr {

template <typename Answer>
class TRuleMemo {
 public:
  using Rule = Answer (*)(std::string_view);
  static constexpr size_t kMost = 1024;

  explicit TRuleMemo(Rule rule) : rule_(rule) {}

  // The rule's answer for `text`; valid until the next call.
  const Answer& operator()(std::string_view text) {
    const auto found = answers_.find(text);
    if (found != answers_.end()) return found->second;
    if (answers_.size() >= kMost) answers_.clear();
    return answers_.emplace(std::string(text), rule_(text)).first->second;
  }

 private:
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };
  Rule rule_;
  std::unordered_map<std::string, Answer, Hash, std::equal_to<>> answers_;
};

}  // namespace snyltdyr
