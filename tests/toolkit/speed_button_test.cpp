#include "toolkit/widgets/speed_button.h"

#include <gtest/gtest.h>

#include <QTest>
#include <memory>
#include <vector>

#include "toolkit/widgets/panel.h"

namespace snyltdyr {
namespace {

// Three grouped buttons and one of another group in a shown panel.
class SpeedButtonGroup : public ::testing::Test {
 protected:
  void SetUp() override {
    panel = std::make_unique<TPanel>(nullptr);
    panel->resize(300, 50);
    for (int i = 0; i < 3; ++i) {
      auto* b = new TSpeedButton(panel.get());
      b->setGeometry(10 + 60 * i, 8, 57, 25);
      b->SetGroupIndex(1);
      b->SetFlat(true);
      b->OnClick = [this, i] { clicks.push_back({i, Downs()}); };
      buttons.push_back(b);
    }
    other = new TSpeedButton(panel.get());
    other->setGeometry(200, 8, 17, 17);
    other->SetGroupIndex(2);
    other->SetDown(true);
    buttons[0]->SetDown(true);
    panel->show();
  }

  std::vector<bool> Downs() const {
    std::vector<bool> downs;
    for (auto* b : buttons) downs.push_back(b->Down());
    return downs;
  }

  struct Click {
    int button;
    std::vector<bool> downs_seen;  // the down states when OnClick ran
  };
  std::unique_ptr<TPanel> panel;
  std::vector<TSpeedButton*> buttons;
  TSpeedButton* other = nullptr;
  std::vector<Click> clicks;
};

TEST_F(SpeedButtonGroup, AClickPutsOneDownAndRunsOnClickAfterTheChange) {
  QTest::mouseClick(buttons[1], Qt::LeftButton);
  EXPECT_EQ(Downs(), (std::vector<bool>{false, true, false}));
  ASSERT_EQ(clicks.size(), 1u);
  EXPECT_EQ(clicks[0].button, 1);
  EXPECT_EQ(clicks[0].downs_seen, (std::vector<bool>{false, true, false}));
  EXPECT_TRUE(other->Down());  // another group is left alone
}

TEST_F(SpeedButtonGroup, AClickOnTheDownButtonLeavesItDownAndStillRunsOnClick) {
  QTest::mouseClick(buttons[0], Qt::LeftButton);
  QTest::mouseClick(buttons[0], Qt::LeftButton);
  EXPECT_EQ(Downs(), (std::vector<bool>{true, false, false}));
  EXPECT_EQ(clicks.size(), 2u);
}

TEST_F(SpeedButtonGroup, ReleasingOutsideCancelsTheClick) {
  QTest::mousePress(buttons[2], Qt::LeftButton);
  EXPECT_TRUE(buttons[2]->ShowsPressed());
  QMouseEvent move(QEvent::MouseMove, QPointF(-30, 5), buttons[2]->mapToGlobal(QPointF(-30, 5)),
                   Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(buttons[2], &move);
  EXPECT_FALSE(buttons[2]->ShowsPressed());
  QTest::mouseRelease(buttons[2], Qt::LeftButton, Qt::NoModifier, QPoint(-30, 5));
  EXPECT_EQ(Downs(), (std::vector<bool>{true, false, false}));
  EXPECT_TRUE(clicks.empty());
}

TEST_F(SpeedButtonGroup, ADisabledButtonDoesNothing) {
  buttons[1]->setEnabled(false);
  QTest::mouseClick(buttons[1], Qt::LeftButton);
  EXPECT_EQ(Downs(), (std::vector<bool>{true, false, false}));
  EXPECT_TRUE(clicks.empty());
}

}  // namespace
}  // namespace snyltdyr
