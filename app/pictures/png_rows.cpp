// libpng reports errors by longjmp, so the function that calls setjmp
// (WriteImage) holds only trivially destructible locals and reaches
// everything else through plain pointers.
#include "pictures/png_rows.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include "maps/file_util.h"
#include "pictures/map_layout.h"

namespace towngrow::app {

namespace {

struct PngErrorState {
  char message[256];
};

void OnPngError(png_structp png, png_const_charp msg) {
  auto* state = static_cast<PngErrorState*>(png_get_error_ptr(png));
  if (state != nullptr)
    std::snprintf(state->message, sizeof state->message, "%s", msg ? msg : "unknown error");
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Writes a whole 8-bit RGB image; false with err->message set on failure.
bool WriteImage(std::FILE* fp, int width, int height, RowFiller fill, void* ctx, unsigned char* row,
                PngErrorState* err) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, err, OnPngError, OnPngWarning);
  if (png == nullptr) {
    std::snprintf(err->message, sizeof err->message, "cannot create the PNG writer");
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    std::snprintf(err->message, sizeof err->message, "cannot create the PNG header");
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_user_limits(png, static_cast<png_uint_32>(kMaxImageSide),
                      static_cast<png_uint_32>(kMaxImageSide));
  png_init_io(png, fp);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) {
    fill(ctx, y, row);
    png_write_row(png, row);
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

std::string PngFailure(const std::string& path, const std::string& why) {
  return "cannot write PNG '" + path + "': " + why;
}

std::string WriteRgbPng(const std::string& path, int width, int height, RowFiller fill, void* ctx) {
  std::vector<unsigned char> row(static_cast<std::size_t>(width) * 3, 0xFF);
  std::FILE* fp = std::fopen(path.c_str(), "wb");
  if (fp == nullptr) return PngFailure(path, std::strerror(errno));
  PngErrorState err{};
  const bool written = WriteImage(fp, width, height, fill, ctx, row.data(), &err);
  const bool flushed = std::ferror(fp) == 0;
  const bool closed = std::fclose(fp) == 0;
  if (written && flushed && closed) return "";
  RemovePartialFile(path);
  if (!written) return PngFailure(path, err.message);
  return PngFailure(path, "write error");
}

}  // namespace towngrow::app
