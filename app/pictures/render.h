// Pictures of a land-use coverage for people: a PNG map with a legend and a
// GIF animation recorded one step at a time; and heat maps of a percentage
// per cell.
//
// Colours come from the land-use set: a cell's ID is looked up with
// CLandUseSet::GetColor (layout 0x00BBGGRR, red in the low byte), so IDs the
// set does not hold are drawn white.
//
// Both writers stream: the PNG is written row by row and a GIF frame line by
// line, so neither keeps a whole image in memory. They write to exactly the
// path they are given (a caller wanting an atomic replace writes to a
// temporary name and renames). Every operation answers "" on success or a
// one-line error text; none throws or aborts on a libpng/giflib failure. A
// file that failed half-way is removed.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace towngrow {
class CLandUseCoverage;
class CLandUseSet;
}  // namespace towngrow

namespace towngrow::app {

// Pixels per cell so that the longer side of the map is about 800 px; at
// least 1 (also for empty or degenerate sizes).
int DefaultScale(int rows, int cols);

// Writes the coverage as an 8-bit RGB PNG: one scale x scale square per cell
// in its land use's colour, and below the map a legend strip with one line
// per land use that occurs in the coverage (in the set's order): a colour
// swatch and "<name> (ID <id>)" (names cut to 48 characters; bytes outside
// printable ASCII drawn as '?'). IDs the set does not hold get no line. The
// image is as wide as the wider of map and legend; space beside a narrower
// part is white. Sides are limited to 1,000,000 pixels.
std::string WriteMapPng(const CLandUseCoverage& cov, const CLandUseSet& set, int scale,
                        const std::string& path);

// A map of codes (one byte per cell, row after row): code i is drawn in
// legend[i].color (0x00BBGGRR; codes beyond the list white) and the legend
// strip lists, in order, the entries whose text is not empty. Same layout,
// size limit and failure behaviour as WriteMapPng.
struct CodeLegend {
  unsigned int color;
  std::string text;
};
std::string WriteCodeMapPng(const unsigned char* codes, int rows, int cols,
                            const std::vector<CodeLegend>& legend, int scale,
                            const std::string& path);

// Records an animated GIF, one frame per AddFrame, streamed to the file.
//
// The palette holds the colours the set gives the IDs 0 to 255 (land uses in
// the set's order first, then white for IDs it does not hold), without
// repeats, padded with black to a power of two. Frames loop forever
// (NETSCAPE2.0 extension) and show for delay_cs hundredths of a second each.
// Frame size: a grid whose longer side exceeds kGifMaxSide cells is shrunk
// (nearest cell) so its longer side is kGifMaxSide px; otherwise each cell is
// a scale x scale square.
class GifRecorder {
public:
  static constexpr int kGifMaxSide = 800;

  GifRecorder();
  ~GifRecorder();  // closes an open file (errors are then dropped)
  GifRecorder(const GifRecorder&) = delete;
  GifRecorder& operator=(const GifRecorder&) = delete;

  // Creates the file and writes header, palette and loop extension. The
  // palette is fixed here: later changes to the set's colours do not show.
  std::string Open(const std::string& path, const CLandUseSet& set, int rows, int cols, int scale,
                   int delay_cs = 10);
  // Appends one frame; the coverage must have the rows and columns given to
  // Open. After a write error the recorder is closed and the file removed.
  std::string AddFrame(const CLandUseCoverage& cov);
  // Finishes the file. "" also when nothing is open.
  std::string Close();

  bool IsOpen() const;
  int FrameCount() const;  // frames written since the last Open
  int Width() const;       // frame size in pixels, 0 before Open
  int Height() const;

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// A heat map of a percentage per cell (0 to 100, one byte per cell, row
// after row; larger values are drawn as 100): each cell a scale x scale
// square from white (0 %) to `color` (100 %, layout 0x00BBGGRR), and below
// the map, as in the land-use map's legend strip, a grey separator row, the
// title (cut to kHeatMaxTitleChars characters) and a scale bar of the 101
// percentages, kHeatBarStep pixels each, in a black frame, with the labels
// "0%", "25%", "50%", "75%" and "100%" under it. Same size limit and failure
// behaviour as WriteMapPng.
constexpr int kHeatBarStep = 3;
constexpr int kHeatBarWidth = 101 * kHeatBarStep;
constexpr int kHeatBarHeight = 16;  // coloured rows inside the frame
constexpr int kHeatMaxTitleChars = 80;

struct HeatMapLayout {
  int map_width = 0;   // cols * scale
  int map_height = 0;  // rows * scale; the separator row is this row
  int title_top = 0;   // first row of the title text
  int bar_top = 0;     // top row of the bar's frame; colours from bar_top + 1
  int bar_left = 0;    // first column of the colours (the frame is one to the left)
  int labels_top = 0;  // first row of the labels
  int width = 0;
  int height = 0;
};

// The layout for a grid at `scale` pixels per cell with this title (already
// cut). False when a side would exceed kMaxImageSide or a size is not positive.
bool ComputeHeatMapLayout(int rows, int cols, int scale, const std::string& title,
                          HeatMapLayout& layout);

// The colour of a percentage: per channel 255 + (c - 255) * p / 100 rounded
// half up, p clamped to 0..100; written as red, green, blue.
void HeatColor(unsigned int color, int percent, unsigned char rgb[3]);

std::string WriteHeatMapPng(const unsigned char* percent, int rows, int cols, unsigned int color,
                            int scale, const std::string& title, const std::string& path);

}  // namespace towngrow::app
