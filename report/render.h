// Maps for people: a PNG map of cells (land uses, kinds of agreement, or a
// percentage per cell) with a title, a legend and a scale bar; a GIF
// animation of a growing town; both drawn with Cairo (canvas.h).
//
// Picture layout, from the top: the title (bold) and a subtitle line, the
// map in a thin grey frame, then the scale bar (when the cell size is
// known) and the legend: one swatch and text per entry, in as many columns
// as the width holds, or for a percentage map a colour bar from 0 to 100 %.
//
// The view: a picture shows the cells of an Extent of the grid. With
// ExtentMode::Town it is the box of the "developed" cells plus a margin (the
// whole grid when nothing is developed); with ExtentMode::Full the whole
// grid. Pixels per cell: with `scale` 0 the longer side of the view is
// drawn about 800 pixels long (whole pixels per cell; 1 pixel per cell up
// to 2400 cells, beyond that cells are sampled so that the longer side is
// 2400 pixels); a scale of N draws N x N pixels per cell.
//
// Writers answer "" on success or one line naming the path and the problem;
// none throws on a Cairo or giflib failure, and a file that failed half-way
// is removed. They write exactly the path they are given.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace towngrow {
class CLandUseCoverage;
class CLandUseSet;
}  // namespace towngrow

namespace towngrow::io {
struct GeoInfo;
struct LegendClass;
}  // namespace towngrow::io

namespace towngrow::report {

class Canvas;

struct Extent {
  int row = 0, col = 0, rows = 0, cols = 0;
  bool Empty() const { return rows <= 0 || cols <= 0; }
  bool operator==(const Extent& o) const {
    return row == o.row && col == o.col && rows == o.rows && cols == o.cols;
  }
};

enum class ExtentMode { Town, Full };

// "town" or "full"; false for anything else.
bool ParseExtentMode(const std::string& word, ExtentMode& mode);

// Per value 0..255, whether a cell of that value counts as developed.
using ValueFlags = std::array<bool, 256>;

// The IDs of the set's street nodes, street vertices, housing, industry
// and commerce land uses (IDs the set does not hold are not developed).
ValueFlags DevelopedIds(const CLandUseSet& set);

// The smallest box holding every cell whose value is flagged; empty when
// there is none.
Extent FlaggedBox(const unsigned char* cells, int rows, int cols, const ValueFlags& flagged);
// The smallest box holding both (either may be empty).
Extent Union(const Extent& a, const Extent& b);

// What a picture shows of a rows x cols grid: the whole grid for Full or
// an empty box; else the box grown by a margin of a tenth of its longer
// side (at least 3 cells) on every side, each side then at least a quarter
// of the other (and at least 20 cells), kept inside the grid.
Extent ViewOf(const Extent& box, int rows, int cols, ExtentMode mode);

// "<rows> x <cols> cells", and when the view is not the whole grid
// ", showing rows A-B, columns C-D" (counted from 1).
std::string ViewText(int rows, int cols, const Extent& view);

// The size of a cell in map units, and the units' name ("m", "ft", "°",
// or "map units"); a cell size of 0 draws no scale bar.
struct MapScale {
  double cellSize = 0.0;
  std::string unit = "map units";
};

// The scale bar for `pixelsPerCell`: a length of 1, 2 or 5 times a power
// of ten in map units drawn 60 to 150 pixels long (metres of 1000 and more
// shown as km). False when the cell size is unknown.
struct ScaleBar {
  double pixels = 0.0;
  std::string label;  // "500 m", "2 km", "0.01 °"
};
bool ChooseScaleBar(const MapScale& scale, double pixelsPerCell, ScaleBar& bar);

// The cell size of a georeference (its transform's cell width; none
// without a transform) and its units from the CRS: "°" for a geographic
// CRS, "m" or "ft" by the linear unit, "map units" when the CRS is unknown
// or names another unit.
MapScale MapScaleOf(const io::GeoInfo& geo);

struct LegendItem {
  unsigned int color;  // 0x00BBGGRR
  std::string text;
};

// A map of byte values (land-use IDs, codes or percentages), row after row.
struct MapPicture {
  const unsigned char* cells = nullptr;
  int rows = 0, cols = 0;
  std::array<unsigned int, 256> colors{};  // per value, 0x00BBGGRR
  std::vector<LegendItem> legend;          // in order
  bool percentBar = false;                 // a 0 to 100 % colour bar instead of the legend
  std::string title, subtitle;
  Extent view;    // empty: the whole grid
  int scale = 0;  // pixels per cell; 0: automatic
  MapScale mapScale;
};

// Where the parts of a map picture lie (pixels); map pixel (x, y) shows
// the cell (view.row + y / pixelsPerCell, view.col + x / pixelsPerCell),
// with sampling when pixelsPerCell is below 1.
struct MapGeometry {
  int width = 0, height = 0;
  int mapX = 0, mapY = 0, mapW = 0, mapH = 0;
  double pixelsPerCell = 0.0;
  Extent view;
  int legendTop = 0;  // first row of the scale bar and legend
};

// The geometry of a picture; `widestTitle` is laid out in place of the
// title when it is not empty (frames whose titles differ keep one size).
// False (with a reason) when the picture would exceed kMaxPictureSide
// pixels on a side or kMaxPicturePixels in all.
bool LayOutMap(const MapPicture& map, int longestSide, const std::string& widestTitle,
               MapGeometry& geometry, std::string& why);

// Draws the picture laid out as `geometry` onto a canvas of its size.
void DrawMap(Canvas& canvas, const MapPicture& map, const MapGeometry& geometry);

std::string WriteMapPng(const MapPicture& map, const std::string& path,
                        MapGeometry* geometry = nullptr);

// The colours of a set's IDs (white for IDs it does not hold) and a legend
// line "<name> (ID <id>)" for each land use (in the set's order) whose ID
// is flagged in `present`; names are cut to 48 characters.
void LandUseColors(const CLandUseSet& set, const ValueFlags& present, MapPicture& map);
// The same for classes given in legend order (white for other values), a
// legend line "<name> (ID <value>)" for each class flagged in `present`.
void LegendColors(const std::vector<io::LegendClass>& classes, const ValueFlags& present,
                  MapPicture& map);
// The IDs that occur in a coverage.
ValueFlags PresentIds(const CLandUseCoverage& cov);

// The colour of a percentage: per channel 255 + (c - 255) * p / 100 rounded
// half up, p clamped to 0..100; written as 0x00BBGGRR.
unsigned int HeatColor(unsigned int color, int percent);
// A map of percentages (0..100 per cell, more drawn as 100) from white to
// `color`, with a colour bar.
void HeatColors(unsigned int color, MapPicture& map);

// Records an animated GIF of a growing coverage. Frames are added as the
// run goes (only the cells that changed since the last frame are kept, in
// a temporary file); Close() draws and writes them all, with one view for
// every frame: ViewOf the box of the cells developed in any frame. Each
// frame shows "Step N" (and " of M" when the last step is known), the
// subtitle and the view (ViewText), the map (the view's longer side 800 pixels at most) and a
// legend strip of the land uses that occur in any frame.
//
// Palette: 16 greys from black to white (index 0 black, 15 white) for the
// text and frames, then the set's colours of the IDs, land uses in the
// set's order first, without repeats, up to 256 entries; pixels of other
// colours (anti-aliased text edges) take the nearest entry. The first frame
// is whole; each later frame holds the rectangle that changed. Frames loop
// forever and show for delay_cs hundredths of a second each.
struct GifOptions {
  ExtentMode extent = ExtentMode::Town;
  std::string subtitle;
  long lastStep = -1;  // shown as "Step N of M" when 0 or more
  // Steps at which a schedule's entries took effect: the first frame at or
  // after each says so in its title ("Step 20 of 60, scheduled layers").
  std::vector<long> marked;
  int delayCs = 10;
  MapScale mapScale;
};

class GifRecorder {
public:
  static constexpr int kGifMaxSide = 800;

  GifRecorder();
  ~GifRecorder();  // drops an unfinished recording (nothing is written)
  GifRecorder(const GifRecorder&) = delete;
  GifRecorder& operator=(const GifRecorder&) = delete;

  // Starts a recording to `path` of a rows x cols coverage of `set` (which
  // must outlive the recording); nothing is written to `path` before Close.
  std::string Open(const std::string& path, const CLandUseSet& set, int rows, int cols,
                   const GifOptions& options);
  // Keeps the frame of `step`; the coverage must have the rows and columns
  // given to Open.
  std::string AddFrame(const CLandUseCoverage& cov, long step);
  // Draws and writes every frame. "" also when nothing is open.
  std::string Close();

  const MapGeometry& Geometry() const;  // of the frames written by Close

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace towngrow::report
