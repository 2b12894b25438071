// The window's "Reparer tabellen…" on a table an office suite saved (the code-page byte
// cleared) after a record was changed in place behind the index.
#include <fcntl.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "app/form_fixture.h"
#include "support/table_builder.h"
#include "support/table_files.h"

namespace snyltdyr {
namespace {

using testsupport::FormTest;

class FormRepair : public FormTest {
 protected:
  std::string Dbf() {
    std::ifstream in(dir.File("SNYLTDYR.DBF"), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  // Byte 29 cleared and record 8's date changed, the file dated after the index.
  void SavedByAnotherProgram() {
    std::string dbf = Dbf();
    const size_t hl = static_cast<uint8_t>(dbf[8]) | static_cast<uint8_t>(dbf[9]) << 8;
    const size_t rl = static_cast<uint8_t>(dbf[10]) | static_cast<uint8_t>(dbf[11]) << 8;
    dbf[29] = '\0';
    dbf.replace(hl + 7 * rl + 1, 8, "19500101");
    std::ofstream(dir.File("SNYLTDYR.DBF"), std::ios::binary | std::ios::trunc) << dbf;
    struct stat mdx {};
    ASSERT_EQ(stat(dir.File("SNYLTDYR.MDX").c_str(), &mdx), 0);
    timespec times[2] = {mdx.st_mtim, mdx.st_mtim};
    times[0].tv_sec += 2;
    times[1].tv_sec += 2;
    ASSERT_EQ(utimensat(AT_FDCWD, dir.File("SNYLTDYR.DBF").c_str(), times, 0), 0);
  }
};

TEST_F(FormRepair, TheButtonListsTheStepsMendsAndReopensTheTable) {
  SavedByAnotherProgram();
  Show();
  ASSERT_TRUE(Table().Active());
  ASSERT_TRUE(form->RepairButton->isVisible());
  const std::string notice = form->ReadOnlyNotice->Caption();
  EXPECT_NE(notice.find("tegntabell"), std::string::npos) << notice;
  EXPECT_NE(notice.find("Indeksen stemmer ikke"), std::string::npos) << notice;
  EXPECT_NE(notice.find("Reparer tabellen"), std::string::npos) << notice;

  Click(form->RepairButton);
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[0].buttons, TMsgDlgButtons::OkCancel);
  EXPECT_NE(ui.boxes[0].text.find("set it to 0x17: code page 865"), std::string::npos) << ui.boxes[0].text;
  EXPECT_NE(ui.boxes[0].text.find("rebuild the index"), std::string::npos) << ui.boxes[0].text;
  EXPECT_NE(ui.boxes[1].text.find("Tabellen er reparert"), std::string::npos) << ui.boxes[1].text;
  ASSERT_TRUE(Table().Active());
  EXPECT_FALSE(form->RepairButton->isVisible());
  EXPECT_FALSE(form->ReadOnlyNotice->isVisible());
  EXPECT_EQ(form->Caption(), "Snyltdyr");
  EXPECT_EQ(form->Antall->Text(), std::to_string(kRecords));
  EXPECT_EQ(Dbf()[29], '\x17');
  EXPECT_EQ(testsupport::IndexProblems(dir.path()), "");
}

TEST_F(FormRepair, CancelAndAnotherProgramsOpeningChangeNothing) {
  SavedByAnotherProgram();
  Show();
  const std::string before = Dbf();
  ui.answers = {TModalResult::Cancel};
  Click(form->RepairButton);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(Dbf(), before);
  EXPECT_TRUE(Table().Active());
  EXPECT_TRUE(form->RepairButton->isVisible());

  testsupport::EngineSession engine;
  const engine::Handle other = testsupport::OpenCursor(engine.Database(dir.path()), "SNYLTDYR.DBF",
                                                       engine::OpenMode::kReadOnly);
  Click(form->RepairButton);
  ASSERT_EQ(ui.boxes.size(), 3u);
  EXPECT_NE(ui.boxes[2].text.find("Et annet program har tabellen"), std::string::npos) << ui.boxes[2].text;
  EXPECT_EQ(Dbf(), before);
  EXPECT_TRUE(Table().Active());
  engine::CloseCursor(other);
}

}  // namespace
}  // namespace snyltdyr
