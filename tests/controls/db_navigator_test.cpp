// The navigator's enable rules in every state of its dataset, and its layout.
#include "controls/db_navigator.h"

#include "dataset/links/data_source.h"
#include "register_fixture.h"
#include "toolkit/widgets/align.h"

namespace snyltdyr {
namespace {

class NavigatorTest : public testsupport::RegisterTest {
 protected:
  void SetUp() override {
    nav = std::make_unique<TDBNavigator>(nullptr, "DBNavigator1");
    nav->setGeometry(0, 0, 240, 25);
    nav->SetFlat(true);
    nav->show();  // a hidden widget is laid out when shown
  }
  void TearDown() override { nav.reset(); }
  std::string Enabled() {
    std::string out;
    for (int i = 0; i < kNavigateButtonCount; ++i) {
      out += nav->Button(static_cast<TNavigateBtn>(i)).isEnabled() ? '1' : '0';
    }
    return out;
  }

  std::unique_ptr<TDBNavigator> nav;
};

TEST_F(NavigatorTest, EnableRulesFollowTheDataset) {
  nav->SetDataSource(&reg.SnyltdyrSource);
  EXPECT_EQ(Enabled(), "0000000000");  // closed
  OpenSample(30);
  EXPECT_EQ(Enabled(), "1100111001");  // at the end
  reg.SnyltdyrTable.First();
  EXPECT_EQ(Enabled(), "0011111001");
  reg.SnyltdyrTable.Next();
  EXPECT_EQ(Enabled(), "1111111001");
  reg.SnyltdyrTable.Edit();
  EXPECT_EQ(Enabled(), "1111110111");
  reg.SnyltdyrTable.Cancel();
  nav->setEnabled(false);
  EXPECT_EQ(Enabled(), "0000000000");
  nav->setEnabled(true);
  EXPECT_EQ(Enabled(), "1111111001");

  // An empty selection: nothing to move to or delete; insert and edit remain.
  reg.SnyltdyrTable.SetFilter("SNYLTDYR='finnes ikke'");
  reg.SnyltdyrTable.SetFiltered(true);
  EXPECT_EQ(Enabled(), "0000101001");
  nav->Button(nbEdit).Click();  // edit on an empty set inserts
  EXPECT_EQ(reg.SnyltdyrTable.DataState(), StateInsert);
  reg.SnyltdyrTable.Cancel();

  reg.SnyltdyrTable.Close();
  EXPECT_EQ(Enabled(), "0000000000");
  nav->Button(nbFirst).Click();  // a click on a closed table does nothing
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(NavigatorTest, ButtonsShareTheWidthAndCustomHintsReplaceDefaults) {
  EXPECT_EQ(nav->width(), 240);
  EXPECT_EQ(nav->Button(nbRefresh).geometry(), QRect(216, 0, 24, 25));
  nav->resize(245, 25);  // cut to whole buttons when not aligned
  EXPECT_EQ(nav->width(), 240);
  nav->SetVisibleButtons((1u << nbFirst) | (1u << nbNext) | (1u << nbPost));
  EXPECT_EQ(nav->Button(nbNext).geometry(), QRect(80, 0, 80, 25));
  EXPECT_GT(nav->Button(nbPrior).x(), nav->width());  // hidden beyond the edge

  QWidget parent;
  parent.resize(203, 25);
  auto* aligned = new TDBNavigator(&parent, "aligned");
  aligned->resize(203, 25);
  SetAlign(aligned, alTop);
  parent.show();
  int total = 0;
  for (int i = 0; i < kNavigateButtonCount; ++i) {
    const int w = aligned->Button(static_cast<TNavigateBtn>(i)).width();
    EXPECT_TRUE(w == 20 || w == 21);
    total += w;
  }
  EXPECT_EQ(total, 203);  // the three left-over pixels spread over three buttons

  EXPECT_EQ(nav->Button(nbPost).Hint(), "Post edit");
  nav->SetHints({"", "Forrige"});
  EXPECT_EQ(nav->Button(nbFirst).Hint(), "First record");
  EXPECT_EQ(nav->Button(nbPrior).Hint(), "Forrige");
  EXPECT_FALSE(nav->Button(nbPrior).ShowHint());
}

}  // namespace
}  // namespace snyltdyr
