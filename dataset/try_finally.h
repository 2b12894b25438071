// Runs a cleanup step after a body whether or not the body raised, then lets the
// body's exception continue. The dataset's moves and refills use it so that controls
// are told of what is buffered even when a fetch failed. A cleanup that raises
// replaces the body's exception.
#pragma once

namespace snyltdyr {

template <class Body, class Cleanup>
void TryFinally(Body&& body, Cleanup&& cleanup) {
  try {
    body();
  } catch (...) {
    cleanup();
    throw;
  }
  cleanup();
}

}  // namespace snyltdyr
