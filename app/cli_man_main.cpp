// snyltdyr-cli-man TEMPLATE OUTPUT: writes the companion's manual page, the troff page
// TEMPLATE with its commands and options filled in from the companion's table of commands.
// Run by the build; not installed.
#include <fstream>
#include <iostream>
#include <sstream>

#include "app/cli.h"
#include "app/cli_help.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: snyltdyr-cli-man TEMPLATE OUTPUT\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::stringstream page;
  page << in.rdbuf();
  std::ofstream out(argv[2], std::ios::binary);
  out << snyltdyr::ManPage(page.str(), snyltdyr::CliCommands(), SNYLTDYR_VERSION);
  out.close();
  if (!in || !out) {
    std::cerr << "snyltdyr-cli-man: cannot read " << argv[1] << " or write " << argv[2] << '\n';
    return 1;
  }
  return 0;
}
