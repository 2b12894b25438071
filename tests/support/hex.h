// Bytes as lower-case hexadecimal digits, two per byte, for comparing texts whose bytes
// matter (native code pages, independent readers' output).
#pragma once

#include <cstdio>
#include <string>

namespace snyltdyr::testsupport {

inline std::string Hex(const std::string& s) {
  std::string out;
  char b[3];
  for (unsigned char c : s) {
    std::snprintf(b, sizeof b, "%02x", c);
    out += b;
  }
  return out;
}

}  // namespace snyltdyr::testsupport
