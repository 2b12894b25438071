// The program's own command line, run as a program: help and version with no display at
// all, and a wrong command line refused before any window opens.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "support/temp_dir.h"

namespace snyltdyr {
namespace {

struct ProgramRun {
  int status = -1;
  std::string out, err;
};

ProgramRun Program(const testsupport::TempDir& dir, const std::string& env,
                   const std::string& args) {
  const std::string command = "env " + env + " '" SNYLTDYR_PROGRAM "' " + args + " >'" +
                              dir.File("out") + "' 2>'" + dir.File("err") + "' </dev/null";
  ProgramRun run;
  const int raw = std::system(command.c_str());
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  auto slurp = [](const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  };
  run.out = slurp(dir.File("out"));
  run.err = slurp(dir.File("err"));
  return run;
}

TEST(ProgramCommandLine, HelpAndVersionNeedNoDisplay) {
  testsupport::TempDir dir;
  const std::string no_display = "-u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM";
  const ProgramRun help = Program(dir, no_display, "--help");
  EXPECT_EQ(help.status, 0) << help.err;
  EXPECT_EQ(help.out.rfind("usage: snyltdyr [FOLDER]\n", 0), 0u) << help.out;
  const ProgramRun version = Program(dir, no_display, "-platform xcb --version");
  EXPECT_EQ(version.status, 0) << version.err;
  EXPECT_EQ(version.out.rfind("snyltdyr ", 0), 0u) << version.out;
  EXPECT_EQ(version.out.find('\n'), version.out.size() - 1) << version.out;
}

TEST(ProgramCommandLine, AWrongCommandLineIsRefusedNamingWhatIsWrong) {
  testsupport::TempDir dir;
  const ProgramRun option = Program(dir, "QT_QPA_PLATFORM=offscreen", "--folder x");
  EXPECT_EQ(option.status, 2);
  // (The toolkit may say something of its own first.)
  EXPECT_NE(option.err.find("snyltdyr: unknown option --folder\nusage:"), std::string::npos)
      << option.err;
  const ProgramRun two = Program(dir, "QT_QPA_PLATFORM=offscreen", "a b");
  EXPECT_EQ(two.status, 2);
  EXPECT_NE(two.err.find("snyltdyr: one folder only, not also b\n"), std::string::npos)
      << two.err;
  // The toolkit's own options are its own, not ours: -platform is not refused here (the
  // program gets as far as refusing the second folder).
  const ProgramRun toolkit = Program(dir, "", "-platform offscreen a b");
  EXPECT_EQ(toolkit.status, 2);
  EXPECT_NE(toolkit.err.find("snyltdyr: one folder only"), std::string::npos) << toolkit.err;
}

}  // namespace
}  // namespace snyltdyr
