// The pictures: what a map shows (view, cell colours where the geometry puts them, legend, scale
// bar), the GIF's frames and palette, charts' ticks and points, the report page's pieces.
#include <towngrow/towngrow.h>

#include <cmath>

#include "io/error.h"
#include "io/gdal_raster.h"
#include "report/canvas.h"
#include "report/chart.h"
#include "report/render.h"
#include "report/report.h"
#include "report/run_charts.h"
#include "support/files.h"
#include "support/pictures.h"
#include "support/scene.h"

using namespace towngrow;
using namespace towngrow::io;
using namespace towngrow::report;
using namespace testkit;

namespace {

Rgb RgbOf(unsigned int color) {  // 0x00BBGGRR
  return {static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
          static_cast<int>((color >> 16) & 0xFF)};
}

// The pixel at the middle of cell (r, c) of a picture laid out as g.
Rgb CellPixel(const Image& img, const MapGeometry& g, int r, int c) {
  const int x = g.mapX + static_cast<int>((c - g.view.col + 0.5) * g.pixelsPerCell);
  const int y = g.mapY + static_cast<int>((r - g.view.row + 0.5) * g.pixelsPerCell);
  return img.At(x, y);
}

bool HasColorBelow(const Image& img, int top, const Rgb& color, int right = 1 << 30) {
  for (int y = top; y < img.height; ++y)
    for (int x = 0; x < std::min(img.width, right); ++x)
      if (img.At(x, y) == color) return true;
  return false;
}

}  // namespace

TEST(Pictures, ViewsFitTheDevelopedCellsWithAMarginInsideTheGrid) {
  const std::tuple<Extent, int, int, ExtentMode, Extent> cases[] = {
      // box, rows, cols, mode: view
      {{450, 440, 100, 120}, 1000, 1000, ExtentMode::Town, {438, 428, 124, 144}},  // margin 12
      {{450, 440, 100, 120}, 1000, 1000, ExtentMode::Full, {0, 0, 1000, 1000}},
      {{}, 300, 200, ExtentMode::Town, {0, 0, 300, 200}},            // nothing developed
      {{0, 0, 5, 5}, 1000, 1000, ExtentMode::Town, {0, 0, 20, 20}},  // kept inside, 20 at least
      {{990, 995, 10, 5}, 1000, 1000, ExtentMode::Town, {980, 980, 20, 20}},
      {{500, 100, 2, 400}, 1000, 1000, ExtentMode::Town, {441, 60, 120, 480}},  // a quarter
      {{0, 0, 30, 30}, 30, 30, ExtentMode::Town, {0, 0, 30, 30}}};
  for (const auto& [box, rows, cols, mode, view] : cases) {
    const Extent v = ViewOf(box, rows, cols, mode);
    EXPECT_EQ(v, view) << box.row << "," << box.col << " -> " << v.row << "," << v.col << " "
                       << v.rows << "x" << v.cols;
  }
  const unsigned char cells[12] = {0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 1, 0};  // 3 x 4
  ValueFlags flags{};
  flags[1] = flags[3] = true;
  EXPECT_EQ(FlaggedBox(cells, 3, 4, flags), (Extent{1, 1, 2, 2}));
  EXPECT_TRUE(FlaggedBox(cells, 3, 4, ValueFlags{}).Empty());
  ExtentMode mode;
  EXPECT_TRUE(ParseExtentMode("full", mode) && mode == ExtentMode::Full);
  EXPECT_FALSE(ParseExtentMode("Town", mode));
}

TEST(Pictures, ScaleBarsAreRoundLengthsOfSixtyToOneHundredFiftyPixels) {
  const std::tuple<MapScale, double, const char*, double> cases[] = {
      // scale, ppc: label, pixels
      {{30, "m"}, 6, "500 m", 500.0 / 5},
      {{30, "m"}, 1, "2 km", 2000.0 / 30},
      {{0.001, "\xC2\xB0"}, 4, "0.02 \xC2\xB0", 80},
      {{10, "ft"}, 0.5, "2000 ft", 100},
      {{1, "map units"}, 1, "100 map units", 100}};
  for (const auto& [scale, ppc, label, pixels] : cases) {
    ScaleBar bar;
    ASSERT_TRUE(ChooseScaleBar(scale, ppc, bar)) << label;
    EXPECT_EQ(bar.label, label);
    EXPECT_NEAR(bar.pixels, pixels, 1e-9) << label;
  }
  ScaleBar bar;
  EXPECT_FALSE(ChooseScaleBar(MapScale{}, 4, bar));

  GeoInfo geo;
  EXPECT_EQ(MapScaleOf(geo).cellSize, 0.0);  // no transform: no bar
  geo.hasTransform = true;
  geo.transform[1] = 25;
  const std::pair<const char*, const char*> crs[] = {
      {"", "map units"}, {"EPSG:32633", "m"}, {"EPSG:4326", "\xC2\xB0"}, {"EPSG:2263", "ft"}};
  for (const auto& [name, unit] : crs) {
    geo.wkt = *name ? CrsFromUserText(name) : "";
    EXPECT_EQ(MapScaleOf(geo).unit, unit) << name;
    EXPECT_EQ(MapScaleOf(geo).cellSize, 25);
  }
}

TEST(Pictures, AMapShowsEachCellInItsColourWithALegendOfThePresentLandUses) {
  ScratchDir dir;
  CLandUseSet set;
  CLandUseCoverage cov;
  ASSERT_TRUE(cov.InitCoverage(60, 80, 0));
  cov.SetCellValue(30, 40, 3);
  cov.SetCellValue(35, 50, 1);
  cov.SetCellValue(0, 0, 6);  // others in a corner: not developed, outside the town's view
  const std::tuple<ExtentMode, int, Extent> cases[] = {{ExtentMode::Full, 0, {0, 0, 60, 80}},
                                                       {ExtentMode::Full, 3, {0, 0, 60, 80}},
                                                       {ExtentMode::Town, 0, {23, 36, 20, 20}}};
  for (const auto& [mode, scale, view] : cases) {
    MapPicture map;
    map.cells = cov.m_pData;
    map.rows = 60;
    map.cols = 80;
    LandUseColors(set, PresentIds(cov), map);
    ValueFlags developed = DevelopedIds(set);
    map.view = ViewOf(FlaggedBox(map.cells, 60, 80, developed), 60, 80, mode);
    map.scale = scale;
    map.title = "Title";
    map.mapScale = {30, "m"};
    const std::string path = (dir / "map.png");
    MapGeometry g;
    ASSERT_EQ(WriteMapPng(map, path, &g), "");
    Image img;
    ASSERT_TRUE(ReadPng(path, img));
    EXPECT_EQ(std::make_pair(img.width, img.height), std::make_pair(g.width, g.height));
    EXPECT_EQ(g.view, view);
    EXPECT_EQ(g.mapW, static_cast<int>(view.cols * g.pixelsPerCell));
    EXPECT_TRUE(scale == 0 || g.pixelsPerCell == scale) << g.pixelsPerCell;
    EXPECT_EQ(CellPixel(img, g, 30, 40), RgbOf(set.GetColor(3)));
    EXPECT_EQ(CellPixel(img, g, 35, 50), RgbOf(set.GetColor(1)));
    EXPECT_EQ(CellPixel(img, g, 31, 41), (Rgb{255, 255, 255}));
    if (mode == ExtentMode::Full) {
      EXPECT_EQ(CellPixel(img, g, 0, 0), RgbOf(set.GetColor(6)));
    }
    EXPECT_EQ(img.At(g.mapX - 1, g.mapY + g.mapH / 2), (Rgb{128, 128, 128}));  // the frame
    // The legend: vacant, street node, housing, others, and no commerce.
    ASSERT_EQ(map.legend.size(), 4u);
    EXPECT_EQ(map.legend[2].text, "Housing (ID 3)");
    for (int id : {1, 3, 6})
      EXPECT_TRUE(HasColorBelow(img, g.legendTop, RgbOf(set.GetColor(id)))) << id;
    EXPECT_FALSE(HasColorBelow(img, g.legendTop, RgbOf(set.GetColor(5))));
    // Colours set again replace the legend; a heat map has none.
    LandUseColors(set, PresentIds(cov), map);
    EXPECT_EQ(map.legend.size(), 4u);
    HeatColors(0xff0000, map);
    EXPECT_TRUE(map.legend.empty());
    EXPECT_TRUE(map.percentBar);
    LandUseColors(set, PresentIds(cov), map);
    EXPECT_EQ(map.legend.size(), 4u);
    EXPECT_FALSE(map.percentBar);
  }
  // The built-in town on a large grid fills the picture, not a tenth of it.
  CLandUseCoverage big;
  ASSERT_TRUE(big.InitCoverage(1000, 1000, 0));
  big.m_pLandUseSet = &set;
  ASSERT_TRUE(PlaceStarterTown(big));
  const Extent view =
      ViewOf(FlaggedBox(big.m_pData, 1000, 1000, DevelopedIds(set)), 1000, 1000, ExtentMode::Town);
  EXPECT_LT(view.cols, 100);
  EXPECT_GT(view.col, 400);
  // A map of more cells than the picture's longest side is sampled to it.
  MapPicture sampled;
  sampled.cells = big.m_pData, sampled.rows = 1000, sampled.cols = 500;
  MapGeometry g;
  std::string why;
  ASSERT_TRUE(LayOutMap(sampled, 400, "", g, why));
  EXPECT_EQ(std::make_tuple(g.pixelsPerCell, g.mapW, g.mapH), std::make_tuple(0.4, 200, 400));
}

TEST(Pictures, GifFramesShareOneViewAndThePaletteOfGreysAndTheSetsColours) {
  ScratchDir dir;
  CLandUseSet set;
  CLandUseCoverage cov;
  ASSERT_TRUE(cov.InitCoverage(200, 300, 0));
  const std::string path = (dir / "g.gif");
  GifRecorder gif;
  GifOptions options;
  options.lastStep = 2, options.delayCs = 7;
  ASSERT_EQ(gif.Open(path, set, 200, 300, options), "");
  cov.SetCellValue(100, 150, 3);
  ASSERT_EQ(gif.AddFrame(cov, 0), "");
  cov.SetCellValue(120, 170, 5);  // the view grows to hold it for every frame
  ASSERT_EQ(gif.AddFrame(cov, 1), "");
  ASSERT_EQ(gif.AddFrame(cov, 2), "");  // nothing changed but the step
  EXPECT_FALSE(fs::exists(path));       // written on Close only
  ASSERT_EQ(gif.Close(), "");
  Gif read;
  ASSERT_TRUE(ReadGif(path, read));
  ASSERT_EQ(read.frames.size(), 3u);
  EXPECT_EQ(read.loop, 0);
  EXPECT_EQ(read.delays, (std::vector<int>{7, 7, 7}));
  const MapGeometry& g = gif.Geometry();
  EXPECT_EQ(read.width, g.width);
  EXPECT_TRUE(g.view.row <= 100 && g.view.row + g.view.rows > 120) << g.view.row;
  EXPECT_LT(g.view.cols, 300);
  EXPECT_EQ(CellPixel(read.frames[0], g, 100, 150), RgbOf(set.GetColor(3)));
  EXPECT_EQ(CellPixel(read.frames[0], g, 120, 170), (Rgb{255, 255, 255}));
  EXPECT_EQ(CellPixel(read.frames[1], g, 120, 170), RgbOf(set.GetColor(5)));
  EXPECT_NE(read.frames[1].rgb, read.frames[2].rgb);  // "Step 1 of 2", "Step 2 of 2"
}

// A GIF recording refuses in one line what it cannot show (an empty grid, a delay beyond a GIF's,
// a frame of another size, a second recording); a picture that cannot be written says why in one
// line naming its file (its folder is missing, the disk is full) and leaves nothing behind.
TEST(Pictures, WritersRefuseWhatTheyCannotShowAndLeaveNothingTheyCouldNotWrite) {
  ScratchDir dir;
  const CLandUseSet set;
  CLandUseCoverage cov, other;
  ASSERT_TRUE(cov.InitCoverage(5, 6, 3) && other.InitCoverage(6, 5, 3));
  const std::string a = dir / "a.gif", b = dir / "b.gif";
  const std::tuple<int, int, int, std::string> opened[] = {
      {0, 6, 0, "the grid is empty"},
      {5, 0, 0, "the grid is empty"},
      {1, 1, 0, ""},
      {5, 6, 65535, ""},
      {5, 6, -1, "the frame delay must be 0 to 65535"},
      {5, 6, 65536, "the frame delay must be 0 to 65535"}};
  for (const auto& [rows, cols, delay, says] : opened) {
    GifOptions options;
    options.delayCs = delay;
    EXPECT_EQ(GifRecorder().Open(a, set, rows, cols, options),
              says.empty() ? "" : "cannot write GIF '" + a + "': " + says);
  }
  GifRecorder g;
  EXPECT_EQ(g.AddFrame(cov, 0), "cannot add a GIF frame: no recording is open");
  ASSERT_EQ(g.Open(a, set, 5, 6, {}), "");
  EXPECT_EQ(g.Close(), "cannot write GIF '" + a + "': no frame was recorded");
  ASSERT_EQ(g.Open(dir / "no/x.gif", set, 5, 6, {}), "");
  EXPECT_EQ(g.Open(b, set, 5, 6, {}), "cannot write GIF '" + b + "': a recording to '" +
                                          dir / "no/x.gif" + "' is still open");
  EXPECT_EQ(g.AddFrame(other, 0),
            "cannot add a GIF frame: the coverage has 6 x 5 cells, the recording 5 x 6");
  ASSERT_EQ(g.AddFrame(cov, 0), "");
  EXPECT_EQ(g.Close(), "cannot write GIF '" + dir / "no/x.gif" + "': No such file or directory");
  ASSERT_EQ(g.Open("/dev/full", set, 5, 6, {}), "");  // kept frames, then the file fails
  ASSERT_EQ(g.AddFrame(cov, 0), "");
  EXPECT_EQ(g.Close(), "cannot write GIF '/dev/full': Write failed (disk full?)");
  MapPicture map;  // the PNG writers alike
  map.cells = cov.m_pData, map.rows = 5, map.cols = 6;
  LandUseColors(set, PresentIds(cov), map);
  Chart chart;
  chart.series = {ChartSeries{"c", 0, ChartSeries::Kind::Line, {1, 2}, {1, 2}, {}, {}}};
  for (const auto& [to, why] : {std::pair(dir / "no/x.png", "No such file or directory"),
                                std::pair(std::string("/dev/full"), "write error")}) {
    EXPECT_EQ(WriteMapPng(map, to), "cannot write PNG '" + to + "': " + why);
    EXPECT_EQ(WriteChartPng(chart, to), "cannot write PNG '" + to + "': " + why);
  }
  EXPECT_EQ(WriteMapPng(MapPicture{}, dir / "e.png"),
            "cannot write PNG '" + dir / "e.png" + "': the map is empty");
  EXPECT_TRUE(fs::is_empty(dir.Path()));
}

TEST(Pictures, ChartTicksAreRoundAndPointsLandWhereTheAxesSay) {
  EXPECT_EQ(NiceTicks(0, 100, 5), (std::vector<double>{0, 20, 40, 60, 80, 100}));
  EXPECT_EQ(NiceTicks(0.13, 0.41, 6), (std::vector<double>{0.15, 0.2, 0.25, 0.3, 0.35, 0.4}));
  EXPECT_EQ(NiceTicks(0, 3, 7, true), (std::vector<double>{0, 1, 2, 3}));
  EXPECT_EQ(LogTicks(3, 20000), (std::vector<double>{10, 100, 1000, 10000}));
  EXPECT_EQ(LogTicks(1, 30), (std::vector<double>{1, 2, 5, 10, 20}));
  EXPECT_EQ(TickLabel(0.25, 0.05) + " " + TickLabel(4000, 1000) + " " + TickLabel(2e6, 1e6),
            "0.25 4000 2e+06");
  EXPECT_EQ(TickLabel(1e-12, 1e-12), "0.0000000000");  // ten decimals at most

  ScratchDir dir;
  const std::string path = (dir / "c.png");
  for (bool log : {false, true}) {
    Chart chart;
    chart.logY = log, chart.yLabel = log ? "cells" : "";  // black, upright left of the ticks
    ChartSeries line;
    line.color = 0x0000FFu;  // red
    line.x = {0, 10, 20, 30};
    line.y = {100, -5, 1000, 2000};  // -5 is left out of a log axis: the line breaks there
    line.lo = {50, -5, 900, 1900};
    line.hi = {150, -5, 1100, 2100};
    const ChartSeries dots{"dots", 0x00FF00u, ChartSeries::Kind::Points, {25}, {1500}, {}, {}};
    chart.series = {line, dots};  // only the dots are named: one legend line, a green swatch
    ChartGeometry g;
    ASSERT_EQ(WriteChartPng(chart, path, &g), "");
    Image img;
    ASSERT_TRUE(ReadPng(path, img));
    EXPECT_EQ(img.height, g.height);
    const double x = (3 * g.PixelX(20) + g.PixelX(30)) / 4,  // on the last segment
        y = (3 * g.PixelY(1000) + g.PixelY(2000)) / 4;
    EXPECT_EQ(img.At(static_cast<int>(x), static_cast<int>(y)), (Rgb{255, 0, 0})) << log;
    EXPECT_TRUE(HasColorBelow(img, g.plotY + g.plotH + 1, Rgb{0, 255, 0})) << log;
    EXPECT_EQ(HasColorBelow(img, 0, Rgb{0, 0, 0}, g.plotX / 2), log);
    EXPECT_EQ(g.y0 > 0, log);  // the log axis starts near 50, the linear one below -5
    EXPECT_NEAR(g.PixelY(2100), g.plotY, g.plotH * 0.05);
    EXPECT_NEAR(g.PixelX(0), g.plotX, g.plotW * 0.05);
    const double midY = (g.PixelY(100) + g.PixelY(1000)) / 2;  // a chord's middle: none
    EXPECT_NE(img.At(static_cast<int>(g.PixelX(10)), static_cast<int>(midY)), (Rgb{255, 0, 0}));
  }
  for (const double low : {340.0, 360.0, 0.34, 0.36}) {  // values near 0 start the axis at 0
    Chart counts;
    const double high = low > 1 ? 1000 : 1;
    counts.series = {ChartSeries{"c", 0, ChartSeries::Kind::Line, {1, 2}, {low, high}, {}, {}}};
    ChartGeometry cg;
    ASSERT_EQ(WriteChartPng(counts, path, &cg), "");
    EXPECT_EQ(cg.y0 == 0, low < 0.35 * high) << low;
  }
  Chart none;
  none.logY = true;
  none.series.push_back(ChartSeries{"n", 0, ChartSeries::Kind::Line, {1, 2}, {0, -1}, {}, {}});
  EXPECT_NE(WriteChartPng(none, path).find("no value"), std::string::npos);
}

TEST(Pictures, GrowthRecordsKeepAtMostTheirPointsAndTheLastStep) {
  CLandUseSet set;
  GrowthRecord record(set);
  std::array<long, 256> cells{};
  for (long step = 0; step <= 5001; ++step) {
    cells[3] = step;
    record.Add(step, cells);
  }
  EXPECT_LE(record.Points(), GrowthRecord::kMaxPoints);
  EXPECT_GE(record.Points(), GrowthRecord::kMaxPoints / 2);
  const Chart chart = record.ToChart(false, "");
  ASSERT_EQ(chart.series.size(), 6u);  // no vacant land
  const ChartSeries& housing = chart.series[2];
  EXPECT_EQ(housing.name, "Housing (ID 3)");
  EXPECT_EQ(std::make_tuple(housing.x.back(), housing.y.back()), std::make_tuple(5001, 5001));
  for (std::size_t i = 0; i < housing.x.size(); ++i) ASSERT_EQ(housing.y[i], housing.x[i]);
}

TEST(Pictures, ReportPagesEscapeTheirTextAndCarryThePicturesInline) {
  const std::pair<std::string, std::string> base64[] = {
      {"", ""},        {"f", "Zg=="},          {"fo", "Zm8="},
      {"foo", "Zm9v"}, {"foobar", "Zm9vYmFy"}, {std::string("\xFF\x00\x10", 3), "/wAQ"}};
  for (const auto& [in, out] : base64) EXPECT_EQ(Base64(in), out);
  EXPECT_EQ(HtmlEscape("a<b>&\"c'"), "a&lt;b&gt;&amp;&quot;c&#39;");

  ScratchDir dir;
  WriteAll(dir / "p.png", "foo");
  Report report;
  report.title = "<run>";
  report.command = "towngrow run --out 'a&b'";
  report.tables.push_back({"cells", {"land use", "cells"}, {{"Housing", "12"}}});
  report.pictures.push_back({"map", (dir / "p.png"), "final.png"});
  report.pictures.push_back({"anim", (dir / "p.png"), "growth.gif"});
  const std::string html = ReportHtml(report);
  for (const char* part :
       {"<title>&lt;run&gt;</title>", "--out &#39;a&amp;b&#39;", "<td class=\"n\">12</td>",
        "src=\"data:image/png;base64,Zm9v\"", "src=\"data:image/gif;base64,Zm9v\""})
    EXPECT_NE(html.find(part), std::string::npos) << part;
  report.pictures.push_back({"lost", (dir / "none.png"), "none.png"});
  EXPECT_THROW(ReportHtml(report), io::Error);
}

// Every kind of picture, pixel for pixel: a change to how any is drawn shows here. Look at the new
// pictures (the test keeps none; write them elsewhere), then pin their digests again.
TEST(Pictures, EachKindOfPictureIsDrawnPixelForPixelAsBefore) {
  ScratchDir dir;
  const CLandUseSet set;
  CLandUseCoverage cov;
  ASSERT_TRUE(cov.InitCoverage(40, 50, 0));
  for (int i = 0; i < 40; ++i) cov.SetCellValue(i, 20, 1), cov.SetCellValue(i, (i * 7) % 50, 3);
  cov.SetCellValue(5, 5, 5), cov.SetCellValue(6, 30, 4), cov.SetCellValue(0, 0, 6);
  std::vector<unsigned char> shares(2000);
  for (std::size_t i = 0; i < shares.size(); ++i) shares[i] = static_cast<unsigned char>(i % 101);
  std::vector<std::string> got;
  auto keep = [&got](const std::vector<Image>& images) {
    Digest d;
    for (const Image& i : images) d.Add(i.width).Add(i.height).Add({i.rgb.begin(), i.rgb.end()});
    got.push_back(d.Hex());
  };
  Image img;
  for (int heat : {0, 1}) {  // a land-use map with its legend; a heat map at 3 pixels a cell
    MapPicture map;
    map.cells = cov.m_pData, map.rows = 40, map.cols = 50, map.title = "Map", map.subtitle = "sub";
    LandUseColors(set, PresentIds(cov), map), map.mapScale = {30, "m"}, map.view = {2, 3, 30, 40};
    if (heat) HeatColors(0x3366ff, map), map.view = {}, map.scale = 3, map.cells = shares.data();
    ASSERT_EQ(WriteMapPng(map, dir / "m.png"), "");
    ASSERT_TRUE(ReadPng(dir / "m.png", img));
    keep({img});
  }
  using K = ChartSeries::Kind;
  // clang-format off
  const ChartSeries line{"line", 0x0000FFu, K::Line, {0, 10, 20, 30}, {100, 5, 1000, 2000},
                         {50, 2, 900, 1900}, {150, 8, 1100, 2100}};
  const ChartSeries dots{"dots", 0x00FF00u, K::Points, {25, 3}, {1500, 40}, {}, {}};
  const ChartSeries bars{"bars", 0xFF0000u, K::Bars, {1, 2, 3}, {0.25, 0.5, 0.125},
                         {0.2, 0.4, 0.1}, {0.3, 0.6, 0.15}};
  // clang-format on
  for (int kind = 0; kind < 3; ++kind) {  // marks on whole steps; both axes log; categories
    Chart chart;
    chart.title = "Chart", chart.subtitle = "sub", chart.xLabel = "step", chart.yLabel = "cells";
    chart.series = {line, dots};
    if (kind == 0) chart.marks = {5, 20, 40}, chart.markLabel = "roads", chart.integerX = true;
    if (kind == 1) chart.logX = chart.logY = true, chart.series[0].x[0] = 1;
    if (kind == 2) chart.series = {bars}, chart.categories = {"one", "two", "three"};
    ASSERT_EQ(WriteChartPng(chart, dir / "c.png"), "");
    ASSERT_TRUE(ReadPng(dir / "c.png", img));
    keep({img});
  }
  GifRecorder gif;  // a frame marked for its scheduled layers, a subtitle and a scale bar
  GifOptions o;
  o.lastStep = 3, o.marked = {2}, o.subtitle = "sub", o.mapScale = {30, "m"};
  ASSERT_EQ(gif.Open(dir / "g.gif", set, 40, 50, o), "");
  for (long step = 0; step < 3; ++step) {
    cov.SetCellValue(10, 10 + static_cast<int>(step), 2);
    ASSERT_EQ(gif.AddFrame(cov, step), "");
  }
  Gif read;
  ASSERT_EQ(gif.Close(), "");
  ASSERT_TRUE(ReadGif(dir / "g.gif", read));
  keep(read.frames);
  got.push_back(Digest().Add(ReadAll(dir / "g.gif")).Hex());  // its header and palette too
  EXPECT_EQ(got, (std::vector<std::string>{
                     "cf076c025c1ecd9b", "d36041888b2056e6", "e1cfde62aa212c1c", "b4d1b5ea2d9f4fcb",
                     "42d2bd8dc2d7acc3", "ca931da495843333", "d4c46f4e8b233cc4"}));
}
