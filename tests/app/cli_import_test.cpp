// snyltdyr-cli create and import run as a program: a new lab's table, a spreadsheet
// brought in, the export of a table imported back as the same records, and bad files
// refused with the cells to correct and nothing changed.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/temp_dir.h"

namespace snyltdyr {
namespace {

struct CliRun {
  int status = -1;
  std::string out, err;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class CliImport : public ::testing::Test {
 protected:
  CliRun Cmd(const std::string& args) {
    const std::string out = dir.File("out.txt"), err = dir.File("err.txt");
    const std::string command = "cd '" + dir.path() + "' && '" + SNYLTDYR_CLI + "' " + args + " >'" + out +
                                "' 2>'" + err + "'";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp(out), Slurp(err)};
  }
  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir.File(name), std::ios::binary) << bytes;
  }
  std::string Files(const std::string& table) {
    return Slurp(dir.File(table + "/SNYLTDYR.DBF")) + Slurp(dir.File(table + "/SNYLTDYR.DBT")) +
           Slurp(dir.File(table + "/SNYLTDYR.MDX"));
  }

  testsupport::TempDir dir;
};

TEST_F(CliImport, CreateMakesAnEmptyIndexedTableAndNeverOverwritesOne) {
  const CliRun made = Cmd("create lab");
  ASSERT_EQ(made.status, 0) << made.err;
  EXPECT_EQ(Cmd("stats lab").out.substr(0, 28), "Filter: none\nAntall: 0\nSnitt");
  const std::string files = Files("lab");
  EXPECT_FALSE(Slurp(dir.File("lab/SNYLTDYR.MDX")).empty());
  const CliRun again = Cmd("create lab");
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("already holds SNYLTDYR.DBF; nothing was created or changed"), std::string::npos)
      << again.err;
  // A table under another case of its name is the same table.
  ASSERT_EQ(Cmd("create other").status, 0);
  std::filesystem::rename(dir.File("other/SNYLTDYR.DBF"), dir.File("other/snyltdyr.dbf"));
  EXPECT_EQ(Cmd("create other").status, 1);
  EXPECT_EQ(Files("lab"), files);
}

TEST_F(CliImport, AnExportImportsBackIntoACreatedTableAsTheSameRecords) {
  ASSERT_EQ(Cmd("create-sample sample --records 300 --seed 5").status, 0);
  ASSERT_EQ(Cmd("fix sample").status, 0);  // what the register stores: normalised records
  const CliRun exported = Cmd("export sample");
  ASSERT_EQ(exported.status, 0) << exported.err;
  Write("export.csv", exported.out);
  ASSERT_EQ(Cmd("create lab").status, 0);
  const CliRun imported = Cmd("import lab export.csv");
  ASSERT_EQ(imported.status, 0) << imported.err;
  EXPECT_EQ(imported.out, "Imported 300 records into " + dir.File("lab") + "\n");
  EXPECT_EQ(Cmd("export lab").out, exported.out);
  EXPECT_EQ(Cmd("stats lab --kind haptor --funn").out, Cmd("stats sample --kind haptor --funn").out);
  EXPECT_EQ(Cmd("reindex lab").status, 0);  // the rebuilt index agrees with the one kept
  EXPECT_EQ(Cmd("export lab").out, exported.out);
}

TEST_F(CliImport, ABadFileIsRefusedWithTheCellsToCorrectAndADryRunWritesNothing) {
  ASSERT_EQ(Cmd("create lab").status, 0);
  Write("bad.csv", "dato;kar;tall\r\n01.02.2021;K1;1,5\r\n30.02.2021;K2;x\r\n");
  const std::string files = Files("lab");
  const CliRun bad = Cmd("import lab bad.csv");
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("Nothing was imported: 2 values cannot be stored."), std::string::npos) << bad.err;
  EXPECT_NE(bad.err.find("line 3, column \"dato\", value \"30.02.2021\""), std::string::npos) << bad.err;
  EXPECT_NE(bad.err.find("line 3, column \"tall\", value \"x\""), std::string::npos) << bad.err;
  EXPECT_EQ(Files("lab"), files);

  Write("good.csv", "dato;kar;tall\r\n01.02.2021;K1;1,5\r\n");
  const CliRun dry = Cmd("import lab good.csv --dry-run");
  EXPECT_EQ(dry.status, 0) << dry.err;
  EXPECT_EQ(dry.out, "Checked 1 rows: every one can be imported (nothing was written)\n");
  EXPECT_EQ(Files("lab"), files);
  EXPECT_EQ(Cmd("import lab missing.csv").status, 1);
  EXPECT_EQ(Cmd("import lab").status, 2);  // the usage
  EXPECT_EQ(Cmd("import lab good.csv").status, 0);
  EXPECT_EQ(Cmd("stats lab").out.substr(0, 23), "Filter: none\nAntall: 1\n");
}

}  // namespace
}  // namespace snyltdyr
