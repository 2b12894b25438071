// Runs a Python script with Debian's interpreter (which has python3-dbfread) and returns
// what it printed. Tests use it to read our files with an independent reader.
#pragma once

#include <stdio.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace snyltdyr::testsupport {

inline bool PythonAvailable() { return ::access(SNYLTDYR_PYTHON, X_OK) == 0; }

// `script` is written to `script_path`, run with `args`; stdout (and stderr) come back.
// `status` receives the exit status.
inline std::string RunPython(const std::string& script_path, const std::string& script,
                             const std::string& args, int& status) {
  {
    std::ofstream out(script_path);
    out << script;
  }
  std::string command = std::string(SNYLTDYR_PYTHON) + " '" + script_path + "' " + args + " 2>&1";
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    status = -1;
    return output;
  }
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) output.append(buf, n);
  status = ::pclose(pipe);
  return output;
}

}  // namespace snyltdyr::testsupport
