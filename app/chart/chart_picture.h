// The picture of the selection over time: a bar per period for its record count
// ("Antall", left axis) and a line through the periods' average scores (right axis,
// labelled with the grade bands S- to L+). The same drawing serves the window, the saved
// PNG or SVG file and the companion's picture.
//
// ChartLayout places everything for one size of picture; painting and the window's
// hovering both use it, so the bar a pointer is over is the bar that was drawn there.
#pragma once

#include <QPainter>
#include <QRectF>
#include <QSize>
#include <string>
#include <vector>

#include "register/period_figures.h"

namespace snyltdyr {

struct ChartPicture {
  std::string title;  // code page 1252
  SelectionChart chart;
};

// "Diagram – " and the selection's filter text, or "alle" when nothing is filtered.
std::string ChartTitle(const std::string& filter_text, bool filtered);
// The text shown over an empty selection.
inline constexpr const char* kEmptyChartText = "Utvalget har ingen registreringer";

struct ChartLayout {
  QRectF plot;                  // inside the axes
  std::vector<QRectF> bars;     // one per period, in the periods' order
  std::vector<QPointF> points;  // the line's point of each period
  std::vector<double> ticks;    // the values of the count axis' ticks
  int32_t count_top = 1;        // the count at the top of the plot
  int32_t score_low = 0, score_high = 100;  // the score range of the plot's height
  int label_step = 1;           // every label_step-th period is named under the axis

  // Vertical place of a count and of a score.
  double CountY(double count) const;
  double ScoreY(double score) const;
  // The period whose column holds `pos`; -1 for none.
  int PeriodAt(QPointF pos) const;
};

ChartLayout LayOutChart(const SelectionChart& chart, QSize size);
// Paints the whole picture into (0, 0, size), background included.
void PaintChart(QPainter& painter, QSize size, const ChartPicture& picture);
// The hover text of a period: its name, "Antall" and "Snitt" as the window shows them.
std::string PeriodTip(const PeriodFigures& period);

// Colours of the bars and of the line (the pixel tests look for them).
inline constexpr QRgb kBarColour = 0xFF4A78B4;
inline constexpr QRgb kLineColour = 0xFF800000;

}  // namespace snyltdyr
