#include "app/chart/chart_picture.h"

#include <QFont>
#include <QFontMetricsF>
#include <algorithm>
#include <cmath>

#include "register/severity.h"
#include "toolkit/look/qt_text.h"

namespace snyltdyr {
namespace {

// Room around the plot: the count labels left, the grade labels right, the title and the
// axis captions above, the period names below.
constexpr double kLeft = 56, kRight = 56, kTop = 58, kBottom = 36;
// Period names are measured by their length, at the width of a digit of the label font,
// so that a layout needs no font (the companion lays out before it paints).
constexpr double kLabelCharWidth = 7, kLabelGap = 10;
constexpr double kBarShare = 0.7, kWidestBar = 48;
// The grade bands' edges on the score axis: S- is 0..14, S 15..24, ..., L+ 85..100.
constexpr int32_t kBandEdges[] = {0, 15, 25, 35, 45, 55, 65, 75, 85, 100};

const QColor kGridColour(225, 225, 225);
const QColor kAxisColour(90, 90, 90);

QFont LabelFont(int pixels, bool bold = false) {
  QFont font("Arial");
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

// A step of 1, 2 or 5 times a power of ten giving about five ticks up to `top`.
int32_t NiceStep(int32_t top) {
  const double raw = std::max(1.0, top / 5.0);
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    if (m * power >= raw) return static_cast<int32_t>(m * power);
  }
  return static_cast<int32_t>(10 * power);
}

void PaintText(QPainter& p, const QRectF& box, int flags, const std::string& text) {
  p.drawText(box, flags, ToQString(text));
}

void PaintCountAxis(QPainter& p, const ChartLayout& l) {
  const QRectF& plot = l.plot;
  p.setFont(LabelFont(12));
  for (double tick : l.ticks) {
    const double y = l.CountY(tick);
    p.setPen(kGridColour);
    p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    p.setPen(kAxisColour);
    PaintText(p, QRectF(0, y - 8, kLeft - 6, 16), Qt::AlignRight | Qt::AlignVCenter,
              std::to_string(static_cast<int64_t>(tick)));
  }
  p.setPen(QColor(kBarColour));
  p.setFont(LabelFont(12, true));
  PaintText(p, QRectF(4, plot.top() - 22, 120, 16), Qt::AlignLeft | Qt::AlignVCenter, "Antall");
}

// Ticks at the bands' edges, each band's name in its middle.
void PaintGradeAxis(QPainter& p, const ChartLayout& l) {
  const QRectF& plot = l.plot;
  p.setFont(LabelFont(12));
  p.setPen(kAxisColour);
  for (int32_t edge : kBandEdges) {
    const double y = l.ScoreY(edge);
    p.drawLine(QPointF(plot.right(), y), QPointF(plot.right() + 4, y));
  }
  for (size_t band = 0; band + 1 < std::size(kBandEdges); ++band) {
    const int32_t mid = (kBandEdges[band] + kBandEdges[band + 1]) / 2;
    PaintText(p, QRectF(plot.right() + 8, l.ScoreY(mid) - 8, kRight - 8, 16),
              Qt::AlignLeft | Qt::AlignVCenter, GradeText(mid));
  }
  p.setPen(QColor(kLineColour));
  p.setFont(LabelFont(12, true));
  PaintText(p, QRectF(plot.right() - 116, plot.top() - 22, 116 + kRight - 4, 16),
            Qt::AlignRight | Qt::AlignVCenter, "Snitt");
}

void PaintPeriods(QPainter& p, const ChartLayout& l, const SelectionChart& chart) {
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(kBarColour));
  for (const QRectF& bar : l.bars) p.drawRect(bar);

  p.setPen(QPen(QColor(kLineColour), 2));
  p.setBrush(Qt::NoBrush);
  if (l.points.size() > 1) p.drawPolyline(l.points.data(), static_cast<int>(l.points.size()));
  const double slot = l.plot.width() / static_cast<double>(chart.periods.size());
  const double dot = std::clamp(slot / 4, 1.5, 3.5);  // dots of close periods stay apart
  p.setBrush(QColor(kLineColour));
  for (const QPointF& point : l.points) p.drawEllipse(point, dot, dot);

  p.setPen(kAxisColour);
  p.drawLine(l.plot.bottomLeft(), l.plot.bottomRight());
  p.setFont(LabelFont(12));
  const size_t n = chart.periods.size(), step = static_cast<size_t>(l.label_step);
  // The records without a date or tank are no month: their column is always named, and
  // the names that would run into its own are left out.
  const std::string& last = chart.periods.back().period;
  const bool name_last = last == kNoDatePeriod || last == kNoTankPeriod;
  for (size_t i = 0; i < n; ++i) {
    const bool named = i + 1 == n ? name_last || i % step == 0
                                  : i % step == 0 && (!name_last || i + step < n);
    if (!named) continue;
    const double centre = l.plot.left() + (static_cast<double>(i) + 0.5) * slot;
    const double width = slot * l.label_step;
    PaintText(p, QRectF(centre - width / 2, l.plot.bottom() + 4, width, 18),
              Qt::AlignHCenter | Qt::AlignTop, chart.periods[i].period);
  }
}

}  // namespace

std::string ChartTitle(const std::string& filter_text, bool filtered) {
  return "Diagram \x96 " + (filtered && !filter_text.empty() ? filter_text : std::string("alle"));
}

double ChartLayout::CountY(double count) const {
  return plot.bottom() - plot.height() * count / count_top;
}

double ChartLayout::ScoreY(double score) const {
  return plot.bottom() - plot.height() * (score - score_low) / (score_high - score_low);
}

int ChartLayout::PeriodAt(QPointF pos) const {
  if (bars.empty() || !plot.contains(pos)) return -1;
  const double slot = plot.width() / static_cast<double>(bars.size());
  const auto index = static_cast<int>((pos.x() - plot.left()) / slot);
  return std::clamp(index, 0, static_cast<int>(bars.size()) - 1);
}

ChartLayout LayOutChart(const SelectionChart& chart, QSize size) {
  ChartLayout l;
  l.plot = QRectF(kLeft, kTop, std::max(1.0, size.width() - kLeft - kRight),
                  std::max(1.0, size.height() - kTop - kBottom));
  int32_t most = 1;
  size_t longest = 1;
  for (const PeriodFigures& p : chart.periods) {
    most = std::max(most, p.count);
    l.score_low = std::min(l.score_low, p.average);
    l.score_high = std::max(l.score_high, p.average);
    longest = std::max(longest, p.period.size());
  }
  const int32_t step = NiceStep(most);
  l.count_top = (most + step - 1) / step * step;
  for (int64_t tick = 0; tick <= l.count_top; tick += step) l.ticks.push_back(static_cast<double>(tick));
  if (chart.periods.empty()) return l;

  const double slot = l.plot.width() / static_cast<double>(chart.periods.size());
  const double label = static_cast<double>(longest) * kLabelCharWidth + kLabelGap;
  l.label_step = std::max(1, static_cast<int>(std::ceil(label / slot)));
  const double bar = std::min(kWidestBar, std::max(1.0, slot * kBarShare));
  for (size_t i = 0; i < chart.periods.size(); ++i) {
    const PeriodFigures& p = chart.periods[i];
    const double centre = l.plot.left() + (static_cast<double>(i) + 0.5) * slot;
    const double top = l.CountY(p.count);
    l.bars.emplace_back(centre - bar / 2, top, bar, l.plot.bottom() - top);
    l.points.emplace_back(centre, l.ScoreY(p.average));
  }
  return l;
}

void PaintChart(QPainter& p, QSize size, const ChartPicture& picture) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing, true);
  p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
  p.setPen(Qt::black);
  p.setFont(LabelFont(15, true));
  const QRectF title(8, 6, size.width() - 16, 22);
  p.drawText(title, Qt::AlignLeft | Qt::AlignVCenter,
             QFontMetricsF(p.font()).elidedText(ToQString(picture.title), Qt::ElideRight, title.width()));

  const ChartLayout l = LayOutChart(picture.chart, size);
  if (picture.chart.periods.empty()) {
    p.setFont(LabelFont(14));
    p.setPen(kAxisColour);
    PaintText(p, l.plot, Qt::AlignCenter, kEmptyChartText);
  } else {
    PaintCountAxis(p, l);
    PaintGradeAxis(p, l);
    PaintPeriods(p, l, picture.chart);
  }
  p.restore();
}

std::string PeriodTip(const PeriodFigures& period) {
  return period.period + "\nAntall: " + std::to_string(period.count) + "\nSnitt: " + period.Snitt();
}

}  // namespace snyltdyr
