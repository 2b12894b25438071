// snyltdyr-cli: the observation register for scripts and batch work.
#include <iostream>
#include <string>
#include <vector>

#include "app/cli.h"
#include "app/cli_progress.h"
#include "storage/session.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const int status = snyltdyr::RunCli(args, std::cout, std::cerr, snyltdyr::StandardErrorIsTerminal());
  // Program end: close the databases and stop the engine.
  snyltdyr::StopDefaultSession();
  return status;
}
