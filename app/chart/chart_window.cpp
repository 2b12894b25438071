#include "app/chart/chart_window.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include "app/chart/chart_image.h"
#include "register/snyltdyr_register.h"
#include "toolkit/events/busy_cursor.h"
#include "toolkit/look/qt_text.h"
#include "toolkit/widgets/align.h"
#include "toolkit/widgets/panel.h"
#include "toolkit/widgets/speed_button.h"
#include "toolkit/widgets/standard_controls.h"

namespace snyltdyr {

// ---- The picture -------------------------------------------------------------------------

TChartView::TChartView(QWidget* parent) : TGuarded<QWidget>(parent) {
  setMouseTracking(true);
  setMinimumSize(320, 200);
}

void TChartView::SetPicture(ChartPicture picture) {
  picture_ = std::move(picture);
  update();
}

std::string TChartView::TipAt(QPointF pos) const {
  const int period = LayOutChart(picture_.chart, size()).PeriodAt(pos);
  return period < 0 ? std::string() : PeriodTip(picture_.chart.periods[static_cast<size_t>(period)]);
}

void TChartView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  PaintChart(painter, size(), picture_);
}

void TChartView::mouseMoveEvent(QMouseEvent* event) {
  const std::string tip = TipAt(event->position());
  if (tip.empty()) {
    QToolTip::hideText();
  } else {
    QToolTip::showText(event->globalPosition().toPoint(), ToQString(tip), this);
  }
}

// ---- The window --------------------------------------------------------------------------

TChartWindow::TChartWindow(SnyltdyrRegister& reg, QWidget* owner) : reg_(reg) {
  setParent(owner, Qt::Window);
  setAttribute(Qt::WA_QuitOnClose, false);
  resize(900, 560);

  Panel = new TPanel(this);
  Panel->resize(width(), 33);
  SetAlign(Panel, alTop);
  MonthButton = MakePeriodButton("M\xE5ned", 8, cpMonth);
  MonthButton->SetDown(true);
  YearButton = MakePeriodButton("\xC5r", 64, cpYear);
  TankButton = MakePeriodButton("Kar", 120, cpTank);
  SaveButton = new TBitBtn(Panel, "Lagre bilde\x85");
  SaveButton->setGeometry(192, 4, 97, 25);
  SaveButton->OnClick = [this] { SaveClick(); };

  View = new TChartView(this);
  SetAlign(View, alClient);
}

TSpeedButton* TChartWindow::MakePeriodButton(const char* caption, int left, TChartPeriod by) {
  auto* button = new TSpeedButton(Panel);
  button->setGeometry(left, 4, 57, 25);
  button->SetCaption(caption);
  button->SetFlat(true);
  button->SetGroupIndex(1);
  button->OnClick = [this, by] { PeriodClick(by); };
  return button;
}

void TChartWindow::SelectionChanged() {
  TBusyCursor busy;
  TTable& table = reg_.SnyltdyrTable;
  const TBookmark current = table.GetBookmark();
  ChartPicture picture;
  picture.chart = FiguresByPeriod(reg_, period_);
  picture.title = ChartTitle(table.Filter(), table.Filtered());
  // The pass leaves the last record current; the grid goes back to where the user was.
  if (!current.empty()) table.GotoBookmark(current);
  SetCaption(picture.title);
  View->SetPicture(std::move(picture));
}

void TChartWindow::PeriodClick(TChartPeriod by) {
  period_ = by;
  SelectionChanged();
}

void TChartWindow::SaveClick() {
  QString selected;
  QString name = QFileDialog::getSaveFileName(this, ToQString("Lagre bilde"), "diagram.png",
                                              "PNG-bilde (*.png);;SVG-bilde (*.svg)", &selected);
  if (name.isEmpty()) return;  // the user cancelled
  // A name typed without an extension gets the one of the chosen kind.
  if (QFileInfo(name).suffix().isEmpty()) name += selected.contains("svg") ? ".svg" : ".png";
  SaveAs(QFile::encodeName(name).toStdString());
}

void TChartWindow::SaveAs(const std::filesystem::path& file) {
  SaveChartImage(file, View->Picture(), View->size());
}

}  // namespace snyltdyr
