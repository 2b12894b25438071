// TChartWindow: the window "Diagram – ..." over the register's current selection: the
// picture (TChartView, a tip with a period's figures under the pointer), the choice of
// month, year or tank, and "Lagre bilde…". The main window tells it when the selection
// changed (SelectionChanged) and it draws the new figures at once.
//
// Working out the figures walks the selection as the count and grade does (a record
// being edited is posted first); the record that was current stays current.
#pragma once

#include <filesystem>

#include "app/chart/chart_picture.h"
#include "toolkit/events/event_guard.h"
#include "toolkit/widgets/form.h"

namespace snyltdyr {

class SnyltdyrRegister;
class TPanel;
class TSpeedButton;
class TBitBtn;

// The painted picture; hovering a period's column shows its figures as a tip.
class TChartView : public TGuarded<QWidget> {
 public:
  explicit TChartView(QWidget* parent);
  const ChartPicture& Picture() const { return picture_; }
  void SetPicture(ChartPicture picture);
  // The tip for the pointer at `pos` (code page 1252); empty over no period.
  std::string TipAt(QPointF pos) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  ChartPicture picture_;
};

class TChartWindow : public TForm {
 public:
  // A window of its own, freed with `owner`; it does not keep the program running.
  TChartWindow(SnyltdyrRegister& reg, QWidget* owner);

  TPanel* Panel = nullptr;
  TSpeedButton* MonthButton = nullptr;  // "Måned"
  TSpeedButton* YearButton = nullptr;   // "År"
  TSpeedButton* TankButton = nullptr;   // "Kar"
  TBitBtn* SaveButton = nullptr;        // "Lagre bilde…"
  TChartView* View = nullptr;

  TChartPeriod Period() const { return period_; }
  // The figures of the selection as it is now, by the chosen period, and the title.
  void SelectionChanged();
  // A period button: the choice, then the figures by it.
  void PeriodClick(TChartPeriod by);
  // "Lagre bilde…": asks for a file name, then SaveAs.
  void SaveClick();
  // Writes the picture at the view's size as PNG or SVG (by the name's extension).
  void SaveAs(const std::filesystem::path& file);

 private:
  TSpeedButton* MakePeriodButton(const char* caption, int left, TChartPeriod by);

  SnyltdyrRegister& reg_;
  TChartPeriod period_ = cpMonth;
};

}  // namespace snyltdyr
