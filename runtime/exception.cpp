#include "runtime/exception.h"

// The exception classes are header-only; this unit anchors the runtime library.
