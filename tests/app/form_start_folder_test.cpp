// Where the real window looks for the table: the folder named at start (else the working
// directory), then the fallback folder of the program's settings; and the program's
// command line.
#include <fstream>

#include "app/program_arguments.h"
#include "app/start_folders.h"
#include "form_fixture.h"

namespace snyltdyr {
namespace {

using testsupport::FormTest;
using testsupport::TempDir;

class StartFolderTest : public FormTest {
 protected:
  // A settings file as a lab writes it by hand: the one line, no section.
  void WriteSetting(const std::string& file, const std::string& line) {
    std::filesystem::create_directories(std::filesystem::path(file).parent_path());
    std::ofstream(file) << line << '\n';
  }
  std::string UserSettings() { return settings.File("snyltdyr/snyltdyr.conf"); }
  std::string SystemSettings() { return settings.File("system/snyltdyr/snyltdyr.conf"); }

  void ShowOver(const std::string& folder) {
    form = std::make_unique<TSnyltdyrForm>(folder);
    form->resize(1000, 600);
    form->show();
    QApplication::processEvents();
  }
  // The working directory's table has kRecords; these have other numbers of records, so
  // the count tells which table opened.
  TempDir named, fallback;
};

TEST_F(StartFolderTest, TheNamedFolderIsOpenedInsteadOfTheWorkingDirectory) {
  CreateSampleTable(named.path(), 23, 5);
  ShowOver(named.path());
  EXPECT_TRUE(ui.boxes.empty());
  ASSERT_TRUE(Table().Active());
  EXPECT_EQ(Table().DatabaseName(), named.path());
  EXPECT_EQ(form->Antall->Text(), "23");
  EXPECT_EQ(form->Register.YearClass, -1);
}

TEST_F(StartFolderTest, ANamedFolderWithoutATableFallsBackToTheFolderTheSettingNames) {
  CreateSampleTable(fallback.path(), 17, 6);
  WriteSetting(UserSettings(), "fallback=" + fallback.path());
  ShowOver(named.path());  // exists, holds no table; the working directory's is not used
  EXPECT_TRUE(ui.boxes.empty());
  ASSERT_TRUE(Table().Active());
  EXPECT_EQ(Table().DatabaseName(), fallback.path());
  EXPECT_EQ(form->Antall->Text(), "17");
}

TEST_F(StartFolderTest, TheSettingIsReadForEveryUserAndEachUserMayOverrideIt) {
  std::filesystem::remove(dir.File("SNYLTDYR.DBF"));  // nothing in the working directory
  TempDir lab;
  CreateSampleTable(lab.path(), 9, 7);
  CreateSampleTable(fallback.path(), 17, 6);
  WriteSetting(SystemSettings(), "fallback=" + lab.path());
  Show();
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(form->Antall->Text(), "9");
  form.reset();

  WriteSetting(UserSettings(), "fallback=" + fallback.path());
  Show();
  EXPECT_EQ(form->Antall->Text(), "17");
  EXPECT_EQ(form->Register.FallbackDirectory(), fallback.path());
  form.reset();

  WriteSetting(UserSettings(), "fallback=");  // empty: the setting of every user again
  EXPECT_EQ(FallbackFolderSetting(), lab.path());
  std::filesystem::remove(SystemSettings());
  EXPECT_EQ(FallbackFolderSetting(), "p:\\strandum\\merder");  // none at all: the default
}

// The reasons of the failed openings do not say where the table was looked for; the box
// ends with both folders.
TEST_F(StartFolderTest, NeitherFolderHoldingATableShowsOneBoxNamingBothFolders) {
  WriteSetting(UserSettings(), "fallback=" + fallback.path());
  ShowOver(named.path());
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].icon, TMsgDlgIcon::Stop);
  const std::string tried = "\nTabellen ble s\xF8kt etter i \xAB" + named.path() +
                            "\xBB og i \xAB" + fallback.path() + "\xBB.";
  const std::string& text = ui.boxes[0].text;
  ASSERT_GT(text.size(), tried.size());
  EXPECT_EQ(text.substr(text.size() - tried.size()), tried) << text;
  EXPECT_NE(text.find("SNYLTDYR.DBF"), std::string::npos) << text;  // the reason stays
  EXPECT_FALSE(Table().Active());
  EXPECT_EQ(form->Antall->Text(), "0");
  EXPECT_EQ(form->Register.YearClass, 0);
  form.reset();

  // No folder named: the working directory, and the default fallback where it is mounted.
  std::filesystem::remove(dir.File("SNYLTDYR.DBF"));
  std::filesystem::remove(UserSettings());
  Show();
  ASSERT_EQ(ui.boxes.size(), 2u);
  const std::string& second = ui.boxes[1].text;
  EXPECT_NE(second.find("\xAB" + std::filesystem::current_path().string() +
                        "\xBB og i \xAB/mnt/p/strandum/merder\xBB."),
            std::string::npos)
      << second;
}

// A mistyped folder must not quietly show the fallback folder's table as if it were the
// one asked for.
TEST_F(StartFolderTest, AFolderThatDoesNotExistIsRefusedNamingItAndNothingIsOpened) {
  CreateSampleTable(fallback.path(), 17, 6);
  WriteSetting(UserSettings(), "fallback=" + fallback.path());
  const std::string missing = named.File("nowhere");
  ShowOver(missing);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Mappen \xAB" + missing + "\xBB finnes ikke.");
  EXPECT_EQ(ui.boxes[0].caption, kApplicationTitle);
  EXPECT_FALSE(Table().Active());
  EXPECT_EQ(form->Antall->Text(), "0");
  Click(form->SpeedButton4);  // the window stays usable, with the closed table's message
  EXPECT_EQ(ui.boxes.size(), 2u);
}

TEST_F(StartFolderTest, AFileNamedStandsForItsFolder) {
  CreateSampleTable(named.path(), 23, 5);
  EXPECT_EQ(FolderOfArgument(named.File("SNYLTDYR.DBF")), named.path());
  EXPECT_EQ(FolderOfArgument(named.path()), named.path());
  EXPECT_EQ(FolderOfArgument(named.path() + "/"), named.path());
  // Relative to the working directory, which holds a table too.
  EXPECT_EQ(FolderOfArgument("SNYLTDYR.DBF"), std::filesystem::current_path().string());
  EXPECT_EQ(FolderOfArgument("./sub/../"), std::filesystem::current_path().string());
  EXPECT_EQ(FolderOfArgument("p:\\strandum\\merder"), "/mnt/p/strandum/merder");
  EXPECT_EQ(FolderOfArgument(""), "");
  ShowOver(FolderOfArgument(named.File("SNYLTDYR.DBF")));
  EXPECT_EQ(form->Antall->Text(), "23");
}

TEST(ProgramArguments, AFolderHelpVersionAndWhatIsRefused) {
  auto read = [](std::vector<std::string> args) { return ReadProgramArguments(args); };
  EXPECT_EQ(read({}).folder, "");
  EXPECT_EQ(read({"/srv/lab"}).folder, "/srv/lab");
  EXPECT_TRUE(read({"/srv/lab"}).error.empty());
  EXPECT_TRUE(read({"--help"}).help);
  EXPECT_TRUE(read({"x", "-h"}).help);
  EXPECT_TRUE(read({"-v"}).version);
  EXPECT_FALSE(read({"x"}).help || read({"x"}).version);
  // Before the toolkit took its options they are unknown here; help is still answered.
  const ProgramArguments raw = read({"-platform", "offscreen", "--help"});
  EXPECT_TRUE(raw.help);
  EXPECT_EQ(raw.error, "unknown option -platform");
  EXPECT_EQ(read({"--folder", "x"}).error, "unknown option --folder");
  EXPECT_EQ(read({"a", "b"}).error, "one folder only, not also b");
  const ProgramArguments dashed = read({"--", "-odd name"});
  EXPECT_EQ(dashed.folder, "-odd name");
  EXPECT_TRUE(dashed.error.empty());
  EXPECT_NE(ProgramUsage().find("fallback="), std::string::npos);
}

}  // namespace
}  // namespace snyltdyr
