// The chart module: ticks, layout and drawing.
#include "report/chart.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "report/canvas.h"

namespace towngrow::report {

namespace {

constexpr int kPad = 14;
constexpr double kTitleSize = 17, kSubtitleSize = 13, kTickSize = 12, kLabelSize = 13;
constexpr double kLegendSize = 13;
constexpr int kTitleBaseline = kPad + 15, kSubtitleBaseline = kTitleBaseline + 20;
constexpr int kSwatch = 14, kItemHeight = 22, kItemGap = 24, kSwatchText = 8;
constexpr unsigned int kGrid = 0xE8E8E8u, kAxis = 0x606060u;

bool Drawable(double v, bool log) { return std::isfinite(v) && (!log || v > 0.0); }

// Colours near white (the vacant land's) would vanish on the white plot.
unsigned int Visible(unsigned int color) {
  const unsigned r = color & 0xFFu, g = (color >> 8) & 0xFFu, b = (color >> 16) & 0xFFu;
  return r + g + b > 3 * 225 ? 0x9A9A9Au : color;
}

// A colour mixed with white: `part` of the colour.
unsigned int Lighter(unsigned int color, double part) {
  unsigned int out = 0;
  for (int k = 0; k < 3; ++k) {
    const double c = static_cast<double>((color >> (8 * k)) & 0xFFu);
    out |= static_cast<unsigned int>(std::lround(255.0 + (c - 255.0) * part)) << (8 * k);
  }
  return out;
}

void SetColor(cairo_t* cr, unsigned int color) {
  cairo_set_source_rgb(cr, (color & 0xFFu) / 255.0, ((color >> 8) & 0xFFu) / 255.0,
                       ((color >> 16) & 0xFFu) / 255.0);
}

double Step(const std::vector<double>& ticks) {
  return ticks.size() >= 2 ? ticks[1] - ticks[0] : 1.0;
}

double LegendItemWidth(Canvas& canvas, const Chart& chart) {
  double w = 0.0;
  for (const ChartSeries& s : chart.series)
    if (!s.name.empty())
      w = std::max(w, kSwatch + kSwatchText + canvas.TextWidth(s.name, kLegendSize));
  return w;
}

}  // namespace

std::vector<double> NiceTicks(double lo, double hi, int count, bool integers) {
  std::vector<double> ticks;
  if (!(hi > lo) || !std::isfinite(lo) || !std::isfinite(hi) || count < 1) return ticks;
  const double rough = (hi - lo) / count;
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  double step = 10.0 * power;
  for (double m : {1.0, 2.0, 5.0})
    if (m * power >= rough * (1 - 1e-9)) {
      step = m * power;
      break;
    }
  if (integers) step = std::max(step, 1.0);
  const double first = std::ceil(lo / step - 1e-9);
  for (double k = first; k * step <= hi + step * 1e-9; k += 1.0) {
    // k * step without the binary fraction's noise (0.15, not 0.15000000000000002).
    char text[32];
    std::snprintf(text, sizeof text, "%.12g", k * step);
    const double v = std::strtod(text, nullptr);
    ticks.push_back(std::fabs(v) < step * 1e-9 ? 0.0 : v);
  }
  return ticks;
}

std::vector<double> LogTicks(double lo, double hi) {
  std::vector<double> ticks;
  if (!(lo > 0.0) || !(hi >= lo) || !std::isfinite(hi)) return ticks;
  const int e0 = static_cast<int>(std::ceil(std::log10(lo) - 1e-9));
  const int e1 = static_cast<int>(std::floor(std::log10(hi) + 1e-9));
  const bool more = e1 - e0 + 1 < 3;
  for (int e = e0 - 1; e <= e1; ++e)
    for (double m : {1.0, 2.0, 5.0}) {
      if (m != 1.0 && !more) continue;
      const double v = m * std::pow(10.0, e);
      if (v >= lo * (1 - 1e-9) && v <= hi * (1 + 1e-9)) ticks.push_back(v);
    }
  return ticks;
}

std::string TickLabel(double value, double step) {
  char buf[48];
  if (std::fabs(value) >= 1e6) {
    std::snprintf(buf, sizeof buf, "%.3g", value);
    return buf;
  }
  int decimals = 0;
  if (step > 0.0 && step < 1.0)
    decimals = std::min(10, static_cast<int>(std::ceil(-std::log10(step) - 1e-9)));
  std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
  return std::string(buf) == "-0" ? "0" : buf;
}

double ChartGeometry::PixelX(double x) const {
  const double v = logX ? std::log10(x) : x;
  return plotX + (v - x0) / (x1 - x0) * plotW;
}

double ChartGeometry::PixelY(double y) const {
  const double v = logY ? std::log10(y) : y;
  return plotY + plotH - (v - y0) / (y1 - y0) * plotH;
}

bool LayOutChart(const Chart& chart, ChartGeometry& g, std::string& why) {
  double xlo = std::numeric_limits<double>::infinity(), xhi = -xlo, ylo = xlo, yhi = -xlo;
  for (const ChartSeries& s : chart.series) {
    const std::size_t n = std::min(s.x.size(), s.y.size());
    for (std::size_t i = 0; i < n; ++i) {
      if (!Drawable(s.x[i], chart.logX)) continue;
      for (const std::vector<double>* v : {&s.y, &s.lo, &s.hi}) {
        if (i >= v->size() || !Drawable((*v)[i], chart.logY)) continue;
        xlo = std::min(xlo, s.x[i]), xhi = std::max(xhi, s.x[i]);
        ylo = std::min(ylo, (*v)[i]), yhi = std::max(yhi, (*v)[i]);
      }
    }
  }
  if (!(xhi >= xlo) || !(yhi >= ylo)) {
    why = "the chart has no value to draw";
    return false;
  }
  if (chart.width < 200 || chart.width > 4000 || chart.plotHeight < 100 ||
      chart.plotHeight > 4000) {
    why = "the chart's size is out of range";
    return false;
  }
  g.logX = chart.logX, g.logY = chart.logY;
  if (!chart.categories.empty()) {
    xlo = 0.5, xhi = static_cast<double>(chart.categories.size()) + 0.5;
    g.xTicks.clear();
    for (std::size_t i = 1; i <= chart.categories.size(); ++i)
      g.xTicks.push_back(static_cast<double>(i));
  } else if (chart.logX) {
    xlo = std::log10(xlo), xhi = std::log10(xhi);
    if (xhi - xlo < 1e-9) xlo -= 0.5, xhi += 0.5;
    g.xTicks = LogTicks(std::pow(10.0, xlo), std::pow(10.0, xhi));
  } else {
    if (xhi == xlo) xlo -= 1, xhi += 1;
    bool points = false;  // whole dots at the edges: a margin
    for (const ChartSeries& s : chart.series)
      points = points || s.kind == ChartSeries::Kind::Points;
    if (points) {
      const double pad = (xhi - xlo) * 0.03;
      xlo -= pad, xhi += pad;
    }
    g.xTicks = NiceTicks(xlo, xhi, std::max(2, chart.width / 110), chart.integerX);
  }
  if (chart.logY) {
    ylo = std::log10(ylo), yhi = std::log10(yhi);
    if (yhi - ylo < 1e-9) ylo -= 0.5, yhi += 0.5;
    const double pad = (yhi - ylo) * 0.04;
    g.y0 = ylo - pad, g.y1 = yhi + pad;
    g.yTicks = LogTicks(std::pow(10.0, g.y0), std::pow(10.0, g.y1));
  } else {
    bool bars = false;
    for (const ChartSeries& s : chart.series) bars = bars || s.kind == ChartSeries::Kind::Bars;
    if (bars) ylo = std::min(ylo, 0.0), yhi = std::max(yhi, 0.0);
    if (ylo > 0 && ylo < 0.35 * yhi) ylo = 0;  // counts: from 0 when close to it
    if (yhi == ylo) ylo -= 1, yhi += 1;
    const double pad = (yhi - ylo) * 0.04;
    g.y0 = ylo == 0 ? 0 : ylo - pad, g.y1 = yhi + pad;
    g.yTicks = NiceTicks(g.y0, g.y1, 6);
  }
  g.x0 = xlo, g.x1 = xhi;

  Canvas measure(1, 1);
  double labelW = 0;
  for (double t : g.yTicks)
    labelW = std::max(labelW, measure.TextWidth(TickLabel(t, Step(g.yTicks)), kTickSize));
  g.plotX = kPad + (chart.yLabel.empty() ? 0 : 22) + static_cast<int>(std::ceil(labelW)) + 8;
  g.plotY = (chart.subtitle.empty() ? kTitleBaseline : kSubtitleBaseline) + 18;
  g.plotW = chart.width - g.plotX - kPad - 10;
  g.plotH = chart.plotHeight;
  g.width = chart.width;
  g.categoryBand = 0;
  for (const std::string& name : chart.categories)
    g.categoryBand = std::max(g.categoryBand,
                              static_cast<int>(std::ceil(measure.TextWidth(name, kTickSize))) - 8);
  int y = g.plotY + g.plotH + 8 + 16 + g.categoryBand + (chart.xLabel.empty() ? 0 : 22) + 8;
  const double itemW = LegendItemWidth(measure, chart);
  if (itemW > 0) {
    const int colW = static_cast<int>(std::ceil(itemW)) + kItemGap;
    const int columns = std::max(1, (g.width - 2 * kPad + kItemGap) / colW);
    int named = 0;
    for (const ChartSeries& s : chart.series) named += s.name.empty() ? 0 : 1;
    y += (named + columns - 1) / columns * kItemHeight;
  }
  g.height = y + kPad - 6;
  return true;
}

void DrawChart(Canvas& canvas, const Chart& chart, const ChartGeometry& g) {
  cairo_t* cr = canvas.Context();
  canvas.Text(chart.title, kPad, kTitleBaseline, kTitleSize, kBlack, true);
  canvas.Text(chart.subtitle, kPad, kSubtitleBaseline, kSubtitleSize, kTextGrey);

  // Grid lines and tick labels.
  const double bottom = g.plotY + g.plotH, right = g.plotX + g.plotW;
  for (double t : g.yTicks) {
    const double py = std::round(g.PixelY(t)) + 0.5;
    canvas.Line(g.plotX, py, right, py, kGrid);
    const std::string label = TickLabel(t, Step(g.yTicks));
    canvas.Text(label, g.plotX - 6 - canvas.TextWidth(label, kTickSize), py + 4, kTickSize,
                kTextGrey);
  }
  for (std::size_t i = 0; i < chart.categories.size(); ++i) {
    // Upright, read from the bottom, ending under the axis.
    const std::string& name = chart.categories[i];
    cairo_save(cr);
    cairo_translate(cr, g.PixelX(static_cast<double>(i + 1)) + 4,
                    bottom + 10 + canvas.TextWidth(name, kTickSize));
    cairo_rotate(cr, -M_PI / 2);
    canvas.Text(name, 0, 0, kTickSize, kTextGrey);
    cairo_restore(cr);
  }
  for (double t : g.xTicks) {
    const double px = std::round(g.PixelX(t)) + 0.5;
    canvas.Line(px, g.plotY, px, bottom, kGrid);
    if (!chart.categories.empty()) continue;
    const std::string label = TickLabel(t, Step(g.xTicks));
    canvas.Text(label, px - canvas.TextWidth(label, kTickSize) / 2, bottom + 8 + 12, kTickSize,
                kTextGrey);
  }
  canvas.StrokeRect(g.plotX, g.plotY, g.plotW + 1, g.plotH + 1, kAxis);
  if (!chart.xLabel.empty())
    canvas.Text(chart.xLabel,
                g.plotX + g.plotW / 2.0 - canvas.TextWidth(chart.xLabel, kLabelSize) / 2,
                bottom + 8 + 16 + g.categoryBand + 20, kLabelSize, kBlack);
  if (!chart.yLabel.empty()) {
    cairo_save(cr);
    cairo_translate(cr, kPad + 13,
                    g.plotY + g.plotH / 2.0 + canvas.TextWidth(chart.yLabel, kLabelSize) / 2);
    cairo_rotate(cr, -M_PI / 2);
    canvas.Text(chart.yLabel, 0, 0, kLabelSize, kBlack);
    cairo_restore(cr);
  }

  for (double x : chart.marks) {
    if (!Drawable(x, chart.logX) || (chart.logX ? std::log10(x) : x) < g.x0 ||
        (chart.logX ? std::log10(x) : x) > g.x1)
      continue;
    const double px = std::round(g.PixelX(x)) + 0.5;
    const double dash[2] = {4, 3};
    cairo_save(cr);
    cairo_set_dash(cr, dash, 2, 0);
    canvas.Line(px, g.plotY, px, bottom, kTextGrey);
    cairo_restore(cr);
    const double width = canvas.TextWidth(chart.markLabel, kTickSize);
    const double at = px + 3 + width <= right ? px + 3 : px - 3 - width;  // inside the plot
    canvas.Text(chart.markLabel, at, g.plotY + 12, kTickSize, kTextGrey);
  }

  // The series, clipped to the plot: bands first, then lines and points.
  cairo_save(cr);
  cairo_rectangle(cr, g.plotX + 1, g.plotY + 1, g.plotW - 1, g.plotH - 1);
  cairo_clip(cr);
  for (int pass = 0; pass < 2; ++pass)
    for (const ChartSeries& s : chart.series) {
      const unsigned int color = Visible(s.color);
      const std::size_t n = std::min(s.x.size(), s.y.size());
      if (pass == 0) {
        if (s.kind != ChartSeries::Kind::Line || s.lo.size() < n || s.hi.size() < n) continue;
        // Each run of drawable points as one polygon: hi forwards, lo back.
        for (std::size_t i = 0; i < n;) {
          std::size_t j = i;
          auto ok = [&](std::size_t k) {
            return Drawable(s.x[k], chart.logX) && Drawable(s.lo[k], chart.logY) &&
                   Drawable(s.hi[k], chart.logY);
          };
          while (j < n && ok(j)) ++j;
          if (j > i) {
            for (std::size_t k = i; k < j; ++k)
              cairo_line_to(cr, g.PixelX(s.x[k]), g.PixelY(s.hi[k]));
            for (std::size_t k = j; k-- > i;)
              cairo_line_to(cr, g.PixelX(s.x[k]), g.PixelY(s.lo[k]));
            cairo_close_path(cr);
            SetColor(cr, Lighter(color, 0.28));
            cairo_fill(cr);
          }
          i = j + 1;
        }
        continue;
      }
      SetColor(cr, color);
      if (s.kind == ChartSeries::Kind::Bars) {
        const double half = (g.PixelX(1.0) - g.PixelX(0.0)) / 4;
        const double zero = g.PixelY(std::max(0.0, g.y0));
        for (std::size_t i = 0; i < n; ++i) {
          if (!Drawable(s.x[i], chart.logX) || !Drawable(s.y[i], chart.logY)) continue;
          const double px = g.PixelX(s.x[i]), py = g.PixelY(s.y[i]);
          canvas.FillRect(px - half, std::min(py, zero), 2 * half, std::fabs(zero - py),
                          Lighter(color, 0.6));
          if (i < s.lo.size() && i < s.hi.size() && Drawable(s.lo[i], chart.logY) &&
              Drawable(s.hi[i], chart.logY)) {
            const double a = g.PixelY(s.lo[i]), b = g.PixelY(s.hi[i]), cap = half / 2;
            SetColor(cr, color);
            cairo_set_line_width(cr, 1.5);
            cairo_move_to(cr, px, a);
            cairo_line_to(cr, px, b);
            cairo_move_to(cr, px - cap, a);
            cairo_line_to(cr, px + cap, a);
            cairo_move_to(cr, px - cap, b);
            cairo_line_to(cr, px + cap, b);
            cairo_stroke(cr);
          }
        }
        continue;
      }
      if (s.kind == ChartSeries::Kind::Points) {
        for (std::size_t i = 0; i < n; ++i) {
          if (!Drawable(s.x[i], chart.logX) || !Drawable(s.y[i], chart.logY)) continue;
          cairo_new_sub_path(cr);
          cairo_arc(cr, g.PixelX(s.x[i]), g.PixelY(s.y[i]), 3.2, 0, 2 * M_PI);
        }
        cairo_fill(cr);
        continue;
      }
      cairo_set_line_width(cr, 2.0);
      cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
      bool open = false;
      for (std::size_t i = 0; i < n; ++i) {
        if (!Drawable(s.x[i], chart.logX) || !Drawable(s.y[i], chart.logY)) {
          open = false;
          continue;
        }
        const double px = g.PixelX(s.x[i]), py = g.PixelY(s.y[i]);
        if (open)
          cairo_line_to(cr, px, py);
        else
          cairo_move_to(cr, px, py);
        open = true;
      }
      cairo_stroke(cr);
    }
  cairo_restore(cr);

  // The legend.
  const double itemW = LegendItemWidth(canvas, chart);
  if (itemW <= 0) return;
  const int colW = static_cast<int>(std::ceil(itemW)) + kItemGap;
  const int columns = std::max(1, (g.width - 2 * kPad + kItemGap) / colW);
  const int top0 =
      g.plotY + g.plotH + 8 + 16 + g.categoryBand + (chart.xLabel.empty() ? 0 : 22) + 8;
  int i = 0;
  for (const ChartSeries& s : chart.series) {
    if (s.name.empty()) continue;
    const int x = kPad + (i % columns) * colW, top = top0 + (i / columns) * kItemHeight + 3;
    const unsigned int color = Visible(s.color);
    if (s.kind == ChartSeries::Kind::Points) {
      SetColor(cr, color);
      cairo_arc(cr, x + kSwatch / 2.0, top + kSwatch / 2.0, 4, 0, 2 * M_PI);
      cairo_fill(cr);
    } else if (s.kind == ChartSeries::Kind::Bars) {
      canvas.FillRect(x, top, kSwatch, kSwatch, Lighter(color, 0.6));
    } else {
      if (!s.lo.empty()) canvas.FillRect(x, top, kSwatch, kSwatch, Lighter(color, 0.28));
      canvas.FillRect(x, top + kSwatch / 2.0 - 1.5, kSwatch, 3, color);
    }
    canvas.Text(s.name, x + kSwatch + kSwatchText, top + 12, kLegendSize, kBlack);
    ++i;
  }
}

std::string WriteChartPng(const Chart& chart, const std::string& path, ChartGeometry* geometry) {
  ChartGeometry g;
  std::string why;
  if (!LayOutChart(chart, g, why)) return PngFailure(path, why);
  Canvas canvas(g.width, g.height);
  if (!canvas.Ok()) return PngFailure(path, "not enough memory for the chart");
  DrawChart(canvas, chart, g);
  if (geometry != nullptr) *geometry = g;
  return canvas.WritePng(path);
}

}  // namespace towngrow::report
