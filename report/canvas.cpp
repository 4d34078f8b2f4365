// Cairo behind the Canvas. Text goes through Cairo's own font selection
// ("DejaVu Sans" looked up by fontconfig) with grey-scale anti-aliasing
// and no hinting of outlines, so that text looks alike at every size.
#include "report/canvas.h"

#include <cairo.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "io/atomic_files.h"

namespace towngrow::report {

namespace {

void SetColor(cairo_t* cr, unsigned int color) {
  cairo_set_source_rgb(cr, (color & 0xFFu) / 255.0, ((color >> 8) & 0xFFu) / 255.0,
                       ((color >> 16) & 0xFFu) / 255.0);
}

void SetFont(cairo_t* cr, double size, bool bold) {
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
}

// Length of the valid UTF-8 sequence at s[i] (code points from U+00A0, no
// surrogates), 0 when there is none.
std::size_t SequenceLength(const std::string& s, std::size_t i) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = b(i);
  std::size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
  if (c >= 0xF5 || n == 0 || i + n > s.size()) return 0;
  unsigned int cp = c & (0x7Fu >> n);
  for (std::size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0u) != 0x80u) return 0;
    cp = (cp << 6) | (b(i + k) & 0x3Fu);
  }
  const bool shortest =
      (n == 2 && cp >= 0x80) || (n == 3 && cp >= 0x800) || (n == 4 && cp >= 0x10000);
  if (!shortest || cp < 0xA0 || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return 0;
  return n;
}

struct PngSink {
  std::FILE* file;
};

cairo_status_t WriteChunk(void* closure, const unsigned char* data, unsigned int length) {
  auto* sink = static_cast<PngSink*>(closure);
  return std::fwrite(data, 1, length, sink->file) == length ? CAIRO_STATUS_SUCCESS
                                                            : CAIRO_STATUS_WRITE_ERROR;
}

}  // namespace

std::string PrintableUtf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7F) {
      out += text[i++];
      continue;
    }
    const std::size_t n = c >= 0x80 ? SequenceLength(text, i) : 0;
    if (n == 0) {
      out += '?';
      ++i;
    } else {
      out.append(text, i, n);
      i += n;
    }
  }
  return out;
}

std::string PngFailure(const std::string& path, const std::string& why) {
  return "cannot write PNG '" + path + "': " + why;
}

Canvas::Canvas(int width, int height) : width_(width), height_(height) {
  if (width < 1 || height < 1 || width > kMaxPictureSide || height > kMaxPictureSide ||
      static_cast<long long>(width) * height > kMaxPicturePixels)
    return;
  surface_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) return;
  cr_ = cairo_create(surface_);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_set_font_options(cr_, options);
  cairo_font_options_destroy(options);
  SetColor(cr_, kWhite);
  cairo_paint(cr_);
}

Canvas::~Canvas() {
  if (cr_ != nullptr) cairo_destroy(cr_);
  if (surface_ != nullptr) cairo_surface_destroy(surface_);
}

bool Canvas::Ok() const {
  return cr_ != nullptr && cairo_status(cr_) == CAIRO_STATUS_SUCCESS &&
         cairo_surface_status(surface_) == CAIRO_STATUS_SUCCESS;
}

void Canvas::FillRect(double x, double y, double w, double h, unsigned int color) {
  if (!Ok()) return;
  SetColor(cr_, color);
  cairo_rectangle(cr_, x, y, w, h);
  cairo_fill(cr_);
}

void Canvas::StrokeRect(double x, double y, double w, double h, unsigned int color, double width) {
  if (!Ok()) return;
  SetColor(cr_, color);
  cairo_set_line_width(cr_, width);
  cairo_rectangle(cr_, x + width / 2, y + width / 2, w - width, h - width);
  cairo_stroke(cr_);
}

void Canvas::Line(double x0, double y0, double x1, double y1, unsigned int color, double width) {
  if (!Ok()) return;
  SetColor(cr_, color);
  cairo_set_line_width(cr_, width);
  cairo_move_to(cr_, x0, y0);
  cairo_line_to(cr_, x1, y1);
  cairo_stroke(cr_);
}

double Canvas::Text(const std::string& text, double x, double y, double size, unsigned int color,
                    bool bold) {
  if (!Ok() || text.empty()) return 0.0;
  const std::string shown = PrintableUtf8(text);
  SetFont(cr_, size, bold);
  SetColor(cr_, color);
  cairo_text_extents_t ext;
  cairo_text_extents(cr_, shown.c_str(), &ext);
  cairo_move_to(cr_, x, y);
  cairo_show_text(cr_, shown.c_str());
  cairo_new_path(cr_);
  return ext.x_advance;
}

double Canvas::TextWidth(const std::string& text, double size, bool bold) {
  if (!Ok() || text.empty()) return 0.0;
  const std::string shown = PrintableUtf8(text);
  SetFont(cr_, size, bold);
  cairo_text_extents_t ext;
  cairo_text_extents(cr_, shown.c_str(), &ext);
  return ext.x_advance;
}

std::uint32_t* Canvas::Row(int y) {
  return reinterpret_cast<std::uint32_t*>(
      cairo_image_surface_get_data(surface_) +
      static_cast<std::size_t>(y) *
          static_cast<std::size_t>(cairo_image_surface_get_stride(surface_)));
}

void Canvas::Flush() { cairo_surface_flush(surface_); }

void Canvas::Dirty() { cairo_surface_mark_dirty(surface_); }

std::string Canvas::WritePng(const std::string& path) {
  if (!Ok()) return PngFailure(path, "the picture could not be drawn");
  cairo_surface_flush(surface_);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return PngFailure(path, std::strerror(errno));
  PngSink sink{file};
  const cairo_status_t status = cairo_surface_write_to_png_stream(surface_, WriteChunk, &sink);
  const bool flushed = std::ferror(file) == 0;
  const bool closed = std::fclose(file) == 0;
  if (status == CAIRO_STATUS_SUCCESS && flushed && closed) return "";
  io::RemovePartialFile(path);
  return PngFailure(path, status == CAIRO_STATUS_SUCCESS || status == CAIRO_STATUS_WRITE_ERROR
                              ? "write error"
                              : cairo_status_to_string(status));
}

}  // namespace towngrow::report
