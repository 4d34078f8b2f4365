// Charts for people, drawn with Cairo (canvas.h) and written as PNG: one
// plot area with axes and nice ticks, any number of series (lines, bands
// of a low and a high value around them, or scatter points), linear or
// logarithmic axes, and a legend below the plot.
//
// Layout, from the top: the title (bold), a subtitle line, the plot (the
// y axis' label turned upright at its left), the x axis' label, then the
// legend: one swatch and name per series that has a name, in as many
// columns as the width holds.
//
// Values: a series' x and y have one entry per point (extra entries of the
// longer are ignored); lo and hi, when given, bound a band drawn lighter
// under the line. Points whose value is not finite, and on a log axis not
// above 0, are left out (a line breaks there). The axes cover every drawn
// value; an axis of one value is widened around it.
#pragma once

#include <string>
#include <vector>

namespace towngrow::report {

class Canvas;

// Bars: one bar from 0 to y at each x, half a unit of x wide, with lo and
// hi (when given) drawn as a whisker over it.
struct ChartSeries {
  enum class Kind { Line, Points, Bars };
  std::string name;                // legend text; empty: no legend line
  unsigned int color = 0x000000u;  // 0x00BBGGRR; colours near white are drawn grey
  Kind kind = Kind::Line;
  std::vector<double> x, y;
  std::vector<double> lo, hi;  // a band from lo to hi at each x (lines only)
};

struct Chart {
  std::string title, subtitle, xLabel, yLabel;
  bool logX = false, logY = false;
  bool integerX = false;  // x ticks at whole numbers only
  // When not empty, the x axis names categories: category i stands at x =
  // i + 1, its name written upright under the axis instead of the ticks.
  std::vector<std::string> categories;
  std::vector<ChartSeries> series;
  // Steps marked by a dashed vertical line with `markLabel` beside its top
  // (the steps a schedule's entries took effect), inside the x range only.
  std::vector<double> marks;
  std::string markLabel;
  int width = 800;       // pixels of the whole picture
  int plotHeight = 420;  // pixels of the plot area
};

// Ticks for an axis from lo to hi: about `count` round values (1, 2 or 5
// times a power of ten apart) from the first at or above lo to the last at
// or below hi; with `integers` the step is at least 1. For a log axis
// (lo > 0): the powers of ten between lo and hi, with 2 and 5 times them
// when fewer than three powers fall inside.
std::vector<double> NiceTicks(double lo, double hi, int count, bool integers = false);
std::vector<double> LogTicks(double lo, double hi);

// A tick's label: as many decimals as the step between ticks needs (none
// for a step of 1 or more); values of a million and more as "2e+06".
std::string TickLabel(double value, double step);

// Where a chart's parts lie, with the axes' ranges (log10 of the values
// for a log axis).
struct ChartGeometry {
  int width = 0, height = 0;
  bool logX = false, logY = false;
  int plotX = 0, plotY = 0, plotW = 0, plotH = 0;
  int categoryBand = 0;  // pixels under the plot for the categories' names
  double x0 = 0, x1 = 1, y0 = 0, y1 = 1;
  std::vector<double> xTicks, yTicks;  // values, not logs
  // The pixel of a value (x: column, y: row); the value must be above 0
  // on a log axis.
  double PixelX(double x) const;
  double PixelY(double y) const;
};

// Lays out and draws; WriteChartPng answers "" or one line naming the path
// and the problem (a chart without a drawable point is refused).
bool LayOutChart(const Chart& chart, ChartGeometry& geometry, std::string& why);
void DrawChart(Canvas& canvas, const Chart& chart, const ChartGeometry& geometry);
std::string WriteChartPng(const Chart& chart, const std::string& path,
                          ChartGeometry* geometry = nullptr);

}  // namespace towngrow::report
