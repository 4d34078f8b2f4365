// Pictures read back for the tests of the program: PNG files and every frame of a GIF decoded to
// 8-bit red, green, blue, with what a GIF says besides its pixels.
#pragma once

#include <cairo.h>
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace testkit {

using Rgb = std::array<int, 3>;

struct Image {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;  // red, green, blue of each pixel, rows from the top
  Rgb At(int x, int y) const {
    const unsigned char* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
    return {p[0], p[1], p[2]};
  }
};

// Decodes a PNG with Cairo; it must be opaque (RGB, no alpha channel).
inline bool ReadPng(const std::string& path, Image& out) {
  cairo_surface_t* surface = cairo_image_surface_create_from_png(path.c_str());
  const bool ok = cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
  if (ok) {
    EXPECT_EQ(cairo_image_surface_get_format(surface), CAIRO_FORMAT_RGB24) << path;
    cairo_surface_flush(surface);
    out.width = cairo_image_surface_get_width(surface);
    out.height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    out.rgb.assign(static_cast<std::size_t>(out.width) * out.height * 3, 0);
    for (int y = 0; y < out.height; ++y)
      for (int x = 0; x < out.width; ++x) {
        std::uint32_t word;
        std::memcpy(&word, data + static_cast<std::size_t>(y) * stride + 4 * x, 4);
        unsigned char* p = &out.rgb[(static_cast<std::size_t>(y) * out.width + x) * 3];
        p[0] = (word >> 16) & 0xFF, p[1] = (word >> 8) & 0xFF, p[2] = word & 0xFF;
      }
  }
  cairo_surface_destroy(surface);
  return ok;
}

struct Gif {
  int width = 0, height = 0, colours = 0;  // screen and global palette
  int loop = -1;                           // NETSCAPE2.0 loop count, -1 without
  std::vector<Image> frames;               // the screen after each frame
  std::vector<int> delays;
};

inline bool ReadGif(const std::string& path, Gif& out) {
  int err = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &err);
  if (gif == nullptr) return false;
  const bool ok = DGifSlurp(gif) == GIF_OK;
  out.width = gif->SWidth;
  out.height = gif->SHeight;
  out.colours = gif->SColorMap != nullptr ? gif->SColorMap->ColorCount : 0;
  for (int f = 0; ok && f < gif->ImageCount; ++f) {
    const SavedImage& s = gif->SavedImages[f];
    const ColorMapObject* map = s.ImageDesc.ColorMap ? s.ImageDesc.ColorMap : gif->SColorMap;
    Image img;  // drawn over the frame before (frames are kept, not disposed)
    img.width = gif->SWidth;
    img.height = gif->SHeight;
    if (f == 0)
      img.rgb.assign(static_cast<std::size_t>(img.width) * img.height * 3, 0);
    else
      img.rgb = out.frames.back().rgb;
    for (int y = 0; y < s.ImageDesc.Height; ++y)
      for (int x = 0; x < s.ImageDesc.Width; ++x) {
        const GifColorType c = map->Colors[s.RasterBits[y * s.ImageDesc.Width + x]];
        const std::size_t i =
            (static_cast<std::size_t>(y + s.ImageDesc.Top) * img.width + x + s.ImageDesc.Left) * 3;
        img.rgb[i] = c.Red, img.rgb[i + 1] = c.Green, img.rgb[i + 2] = c.Blue;
      }
    out.frames.push_back(img);
    GraphicsControlBlock gcb{};
    out.delays.push_back(DGifSavedExtensionToGCB(gif, f, &gcb) == GIF_OK ? gcb.DelayTime : -1);
    for (int b = 0; b + 1 < s.ExtensionBlockCount; ++b) {
      const ExtensionBlock &app = s.ExtensionBlocks[b], &sub = s.ExtensionBlocks[b + 1];
      if (app.Function == APPLICATION_EXT_FUNC_CODE && app.ByteCount == 11 &&
          std::memcmp(app.Bytes, "NETSCAPE2.0", 11) == 0 && sub.ByteCount == 3)
        out.loop = sub.Bytes[1] | (sub.Bytes[2] << 8);
    }
  }
  DGifCloseFile(gif, &err);
  return ok;
}

}  // namespace testkit
