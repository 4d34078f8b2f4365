// The drawing surface every picture of the program is made on: a Cairo
// image (24-bit RGB) with anti-aliased text in DejaVu Sans (found through
// fontconfig), solid rectangles and lines, direct access to the pixels for
// cell maps, and PNG writing through Cairo.
//
// Colours are given as 0x00BBGGRR (the land-use sets' layout, red in the
// low byte) throughout. Text is taken as UTF-8; bytes that are not valid
// UTF-8 and control characters are drawn as '?'.
#pragma once

#include <cstdint>
#include <string>

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

namespace towngrow::report {

// Largest side of a picture in pixels, and largest number of pixels.
constexpr int kMaxPictureSide = 16384;
constexpr long long kMaxPicturePixels = 1LL << 27;

constexpr unsigned int kWhite = 0xFFFFFFu;
constexpr unsigned int kBlack = 0x000000u;
constexpr unsigned int kTextGrey = 0x404040u;  // secondary text
constexpr unsigned int kFrameGrey = 0x808080u;

// Valid UTF-8 without control characters: every other byte becomes '?'.
std::string PrintableUtf8(const std::string& text);

class Canvas {
public:
  // A white picture of width x height pixels; Ok() is false when Cairo
  // refuses the size (or the memory).
  Canvas(int width, int height);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  bool Ok() const;
  int Width() const { return width_; }
  int Height() const { return height_; }

  void FillRect(double x, double y, double w, double h, unsigned int color);
  // A rectangle's outline of the given width, drawn inside the rectangle.
  void StrokeRect(double x, double y, double w, double h, unsigned int color, double width = 1.0);
  void Line(double x0, double y0, double x1, double y1, unsigned int color, double width = 1.0);

  // Text with its baseline at y, from x; size in pixels. Returns its width.
  double Text(const std::string& text, double x, double y, double size, unsigned int color,
              bool bold = false);
  // The width of text at this size.
  double TextWidth(const std::string& text, double size, bool bold = false);

  // The row of pixels y, written directly (no blending) as 32-bit words
  // 0x00RRGGBB (the top byte unused). Call Flush() before text or lines
  // are drawn over pixels written this way, and Dirty() after.
  std::uint32_t* Row(int y);
  void Flush();
  void Dirty();

  // Writes the picture as an 8-bit RGB PNG; "" or one line naming the path
  // and the problem (a file that failed half-way is removed).
  std::string WritePng(const std::string& path);

  cairo_t* Context() { return cr_; }

private:
  int width_, height_;
  cairo_surface_t* surface_ = nullptr;
  cairo_t* cr_ = nullptr;
};

// 0x00BBGGRR to the 0x00RRGGBB of a pixel word, and back.
inline std::uint32_t PixelOf(unsigned int color) {
  return ((color & 0xFFu) << 16) | (color & 0xFF00u) | ((color >> 16) & 0xFFu);
}
inline unsigned int ColorOfPixel(std::uint32_t pixel) { return PixelOf(pixel & 0xFFFFFFu); }

// The one-line error of a picture writer: "cannot write PNG '<path>': <why>".
std::string PngFailure(const std::string& path, const std::string& why);

}  // namespace towngrow::report
