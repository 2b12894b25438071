// "Diagram": the chart window opened from the filter panel, following the filter clicks
// with figures that agree with "Antall", its period buttons, hovering and saving.
#include <QMouseEvent>
#include <QToolTip>

#include "app/chart/chart_window.h"
#include "form_fixture.h"

namespace snyltdyr {
namespace {

using testsupport::FormTest;

class FormChartTest : public FormTest {
 protected:
  void OpenChart() {
    Show();
    Click(form->DiagramButton);
    ASSERT_NE(form->Chart, nullptr);
    QApplication::processEvents();
  }
  const ChartPicture& Shown() { return form->Chart->View->Picture(); }
  int32_t Added() {
    int32_t n = 0;
    for (const PeriodFigures& p : Shown().chart.periods) n += p.count;
    return n;
  }
};

TEST_F(FormChartTest, TheButtonOpensTheChartOfTheSelectionShown) {
  OpenChart();
  EXPECT_EQ(form->DiagramButton->parentWidget(), form->Panel2);
  EXPECT_EQ(form->DiagramButton->geometry(), QRect(800, 8, 73, 25));
  EXPECT_EQ(form->DiagramButton->text(), "Diagram");
  EXPECT_TRUE(form->Chart->isVisible());
  EXPECT_TRUE(form->Chart->isWindow());
  EXPECT_EQ(form->Chart->Caption(), "Diagram \x96 alle");
  EXPECT_EQ(Shown().title, form->Chart->Caption());
  EXPECT_EQ(std::to_string(Added()), form->Antall->Text());
  EXPECT_EQ(Added(), kRecords);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(FormChartTest, AFilterClickDrawsTheChartAgainWithTheNewSelection) {
  OpenChart();
  Click(form->SpeedButton4);  // "Haptor"
  EXPECT_NE(Shown().title.find("SNYLTDYR='Haptor Mark'"), std::string::npos) << Shown().title;
  EXPECT_EQ(std::to_string(Added()), form->Antall->Text());
  EXPECT_LT(Added(), kRecords);
  Click(form->SpeedButton8);  // year class 2
  EXPECT_NE(Shown().title.find("\xC5RSKLAS=2"), std::string::npos) << Shown().title;
  EXPECT_EQ(std::to_string(Added()), form->Antall->Text());
  EXPECT_EQ(std::to_string(Shown().chart.total), form->Antall->Text());
}

TEST_F(FormChartTest, AClosedChartIsLeftAloneUntilOpenedAgain) {
  OpenChart();
  form->Chart->close();
  Click(form->SpeedButton5);  // "Tricodina"
  EXPECT_EQ(Added(), kRecords);  // not worked out while nobody looks
  Click(form->DiagramButton);
  EXPECT_TRUE(form->Chart->isVisible());
  EXPECT_EQ(std::to_string(Added()), form->Antall->Text());
  EXPECT_LT(Added(), kRecords);
}

TEST_F(FormChartTest, PeriodButtonsChangeTheColumnsAndKeepTheCurrentRecord) {
  OpenChart();
  Table().First();
  Table().Next();
  const int32_t current = Table().RecordNumber();
  Click(form->Chart->TankButton);
  EXPECT_EQ(form->Chart->Period(), cpTank);
  EXPECT_TRUE(form->Chart->TankButton->Down());
  EXPECT_FALSE(form->Chart->MonthButton->Down());
  EXPECT_EQ(Shown().chart.by, cpTank);
  EXPECT_EQ(Shown().chart.periods.back().period, "uten kar");  // the sample has blank tanks
  EXPECT_EQ(Added(), kRecords);
  EXPECT_EQ(Table().RecordNumber(), current);
  // A filter click keeps the chosen period.
  Click(form->SpeedButton4);
  EXPECT_EQ(Shown().chart.by, cpTank);
  Click(form->Chart->YearButton);
  for (const PeriodFigures& p : Shown().chart.periods) {
    EXPECT_TRUE(p.period.size() == 4 || p.period == "uten dato") << p.period;
  }
}

TEST_F(FormChartTest, HoveringABarShowsItsFigures) {
  OpenChart();
  Click(form->Chart->YearButton);
  TChartView* view = form->Chart->View;
  const ChartLayout layout = LayOutChart(Shown().chart, view->size());
  ASSERT_FALSE(layout.bars.empty());
  const QPoint over = layout.bars[0].center().toPoint();
  const PeriodFigures& first = Shown().chart.periods[0];
  EXPECT_EQ(view->TipAt(over), first.period + "\nAntall: " + std::to_string(first.count) +
                                   "\nSnitt: " + first.Snitt());
  QMouseEvent move(QEvent::MouseMove, QPointF(over), view->mapToGlobal(QPointF(over)), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(view, &move);
  EXPECT_TRUE(QToolTip::text().startsWith(QString::fromStdString(first.period)))
      << QToolTip::text().toStdString();
  EXPECT_EQ(view->TipAt(QPoint(2, 2)), "");
}

TEST_F(FormChartTest, SavingWritesThePictureShown) {
  OpenChart();
  form->Chart->SaveAs(dir.File("diagram.png"));
  const QImage saved(QString::fromStdString(dir.File("diagram.png")));
  EXPECT_EQ(saved.size(), form->Chart->View->size());
  // A name of another kind is refused with a message, in the error box.
  form->Chart->SaveButton->OnClick = [&] { form->Chart->SaveAs(dir.File("diagram.gif")); };
  Click(form->Chart->SaveButton);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_NE(ui.boxes[0].text.find("Kunne ikke lagre bildet"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir.File("diagram.gif")));
}

}  // namespace
}  // namespace snyltdyr
