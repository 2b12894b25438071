// The companion's command line itself: help made from the table of commands, the
// version, the manual page, and the wrong command lines it refuses naming what is wrong.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "app/cli.h"
#include "app/cli_help.h"
#include "support/temp_dir.h"

namespace snyltdyr {
namespace {

struct CliResult {
  int status;
  std::string out, err;
};

CliResult Cli(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = RunCli(args, out, err);
  return {status, out.str(), err.str()};
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(CliHelp, ListsEveryCommandAndOptionOfTheTable) {
  const CliResult help = Cli({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.err.empty()) << help.err;
  for (const CliCommand& c : CliCommands()) {
    EXPECT_TRUE(Contains(help.out, "\n  " + c.name + " " + c.arguments + "\n")) << c.name;
    for (const CliOption& o : c.options) {
      EXPECT_TRUE(Contains(help.out, "\n  " + o.name + (o.value.empty() ? "" : " " + o.value)))
          << c.name << " " << o.name;
    }
  }
  // An option several commands take is written once, naming them.
  EXPECT_TRUE(Contains(help.out, "\n  --kind alle|haptor|tricodina  (stats, fix, export, chart) "))
      << help.out;
  EXPECT_EQ(help.out.find("--kind alle"), help.out.rfind("--kind alle"));
  EXPECT_TRUE(Contains(help.out, "\n  --index NAME"));
  size_t longest = 0;
  for (size_t from = 0, end; (end = help.out.find('\n', from)) != std::string::npos;
       from = end + 1) {
    longest = std::max(longest, end - from);
  }
  EXPECT_LE(longest, 80u);
  for (const char* name : {"create-sample", "stats", "fix", "export", "sort", "add-index",
                           "reindex", "filter-tree", "help"}) {
    EXPECT_TRUE(Contains(help.out, std::string("\n  ") + name + " ")) << name;
  }
  EXPECT_EQ(Cli({"-h"}).out, help.out);
  EXPECT_EQ(Cli({"help"}).out, help.out);
}

TEST(CliHelp, OneCommandsHelpGivesItsUsageAndOptionsOnly) {
  const CliResult stats = Cli({"help", "stats"});
  EXPECT_EQ(stats.status, 0);
  EXPECT_EQ(stats.out.rfind("usage: snyltdyr-cli stats DIR [SELECTION]\n", 0), 0u) << stats.out;
  for (const char* option : {"--kind alle|haptor|tricodina", "--funn", "--behandling",
                             "--year-class alle|0..5"}) {
    EXPECT_TRUE(Contains(stats.out, std::string("\n  ") + option)) << option;
  }
  EXPECT_FALSE(Contains(stats.out, "--index"));
  EXPECT_FALSE(Contains(stats.out, "reindex"));
  EXPECT_EQ(Cli({"stats", "--help"}).out, stats.out);  // no table is opened for it
  EXPECT_EQ(Cli({"export", "-h"}).out, Cli({"help", "export"}).out);
  EXPECT_TRUE(Contains(Cli({"help", "export"}).out, "--index NAME"));

  const CliResult unknown = Cli({"help", "frobnicate"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_TRUE(Contains(unknown.err, "unknown command frobnicate")) << unknown.err;
  EXPECT_TRUE(unknown.out.empty());
}

TEST(CliHelp, VersionIsTheProjectsVersion) {
  const CliResult version = Cli({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("snyltdyr-cli ") + SNYLTDYR_VERSION + "\n");
  EXPECT_EQ(Cli({"--version", "extra"}).status, 2);
}

// Every wrong command line: exit 2, the message naming what is wrong, the usage, and
// nothing done (no output, no table touched).
TEST(CliHelp, WrongCommandLinesNameWhatIsWrongAndExitTwo) {
  testsupport::TempDir dir;
  const std::string t = dir.File("t");
  ASSERT_EQ(Cli({"create-sample", t, "--records", "5"}).status, 0);
  const std::string dbf = Slurp(t + "/SNYLTDYR.DBF");
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"--bogus"}, "unknown option --bogus"},
      {{"-x"}, "unknown option -x"},
      {{}, "no command"},
      {{"frobnicate"}, "unknown command frobnicate"},
      {{"stats", t, "--bogus"}, "unknown option --bogus"},
      {{"stats", t, "-k", "haptor"}, "unknown option -k"},
      {{"fix", t, "--funn", "--index", "DATO"}, "unknown option --index"},  // export's only
      {{"sort", t, "DATO", "--funn"}, "unknown option --funn"},
      {{"export", t, "--index"}, "option --index needs a value"},
      {{"stats", t, "--kind", "all"}, "--kind takes alle, haptor or tricodina, not 'all'"},
      {{"stats", t, "--year-class", "6"}, "--year-class takes alle or 0 to 5, not '6'"},
      {{"create-sample", t, "--records", "-1"}, "--records takes a whole number"},
      {{"stats", t, t}, "wrong number of arguments"},
      {{"reindex"}, "wrong number of arguments"},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const std::string& a : c.args) shown += a + " ";
    const CliResult run = Cli(c.args);
    EXPECT_EQ(run.status, 2) << shown;
    EXPECT_TRUE(Contains(run.err, "snyltdyr-cli: " + c.message)) << shown << "\n" << run.err;
    EXPECT_TRUE(Contains(run.err, "usage: snyltdyr-cli ")) << shown;
    EXPECT_TRUE(run.out.empty()) << shown;
  }
  // A command known: its own usage; none: every command's.
  EXPECT_TRUE(Contains(Cli({"stats", t, "--bogus"}).err, "usage: snyltdyr-cli stats DIR"));
  EXPECT_TRUE(Contains(Cli({"--bogus"}).err, "\n  filter-tree TEXT\n"));
  EXPECT_EQ(Slurp(t + "/SNYLTDYR.DBF"), dbf);

  // "--" ends the options: what follows is a folder, which does not exist (a failure).
  const CliResult dashed = Cli({"stats", "--", "-no-such-folder"});
  EXPECT_EQ(dashed.status, 1) << dashed.err;
}

// A table of commands that troff would misread if its texts went in unescaped.
const std::vector<CliCommand> kAwkwardCommands = {
    {"first-one", "DIR [--opt V]", ".starts with a dot, has a back\\slash and -dashes",
     {{"--opt", "V", "'quoted at the start"}, {"--flag", "", "a flag"}}, nullptr},
    {"second", "", "no arguments, no options", {}, nullptr},
};

TEST(CliManPage, CommandsAndOptionsGoInEscapedAtTheirPlace) {
  const std::string page =
      ManPage(".TH X 1 \"\" \"x @VERSION@\"\n.SH COMMANDS\n@COMMANDS@\n.SH END\n",
              kAwkwardCommands, "9.8.7");
  EXPECT_EQ(page,
            ".TH X 1 \"\" \"x 9.8.7\"\n.SH COMMANDS\n"
            ".TP\n\\fBfirst\\-one\\fR \\fIDIR [\\-\\-opt V]\\fR\n"
            "\\&.starts with a dot, has a back\\eslash and \\-dashes\n"
            ".RS\n"
            ".TP\n\\fB\\-\\-opt\\fR \\fIV\\fR\n\\&'quoted at the start\n"
            ".TP\n\\fB\\-\\-flag\\fR\na flag\n"
            ".RE\n"
            ".TP\n\\fBsecond\\fR\nno arguments, no options\n"
            ".SH END\n");
}

// The pages as man shows them: no warning from the formatter, every command and option
// of the table in the companion's page.
TEST(CliManPage, BothPagesFormatWithoutWarnings) {
  if (std::system("command -v man >/dev/null 2>&1") != 0) GTEST_SKIP() << "no man";
  testsupport::TempDir dir;
  const std::string source = std::string(SNYLTDYR_SOURCE_DIR) + "/resources/";
  std::ofstream(dir.File("snyltdyr-cli.1"))
      << ManPage(Slurp(source + "snyltdyr-cli.1.in"), CliCommands(), "1.2.3");
  std::ofstream(dir.File("snyltdyr.1")) << Slurp(source + "snyltdyr.1.in");
  for (const char* page : {"snyltdyr-cli.1", "snyltdyr.1"}) {
    const std::string command = "cd '" + dir.path() +
                                "' && LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "
                                "-Tutf8 " + page + " >" + page + ".txt 2>" + page + ".err";
    ASSERT_EQ(std::system(command.c_str()), 0) << page;
    EXPECT_EQ(Slurp(dir.File(std::string(page) + ".err")), "") << page;
  }
  std::string text = Slurp(dir.File("snyltdyr-cli.1.txt"));
  // Formatting for a terminal draws bold as character, backspace, character.
  std::string plain;
  for (char c : text) {
    if (c == '\b') {
      if (!plain.empty()) plain.pop_back();
    } else {
      plain += c;
    }
  }
  for (const CliCommand& c : CliCommands()) {
    EXPECT_TRUE(Contains(plain, c.name)) << c.name;
    for (const CliOption& o : c.options) EXPECT_TRUE(Contains(plain, o.name)) << o.name;
  }
  EXPECT_TRUE(Contains(plain, "snyltdyr 1.2.3"));
}

}  // namespace
}  // namespace snyltdyr
