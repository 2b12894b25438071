// TBusyCursor: the busy mouse pointer for the life of a scope.
//
// A pass over the whole selection can take seconds on a large table; while it runs the
// pointer shows that the program works. The pointer comes back when the scope ends,
// also when the pass stops with a failure. Scopes nest.
#pragma once

namespace snyltdyr {

class TBusyCursor {
 public:
  TBusyCursor();
  ~TBusyCursor();
  TBusyCursor(const TBusyCursor&) = delete;
  TBusyCursor& operator=(const TBusyCursor&) = delete;
};

}  // namespace snyltdyr
