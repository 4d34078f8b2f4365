// Streaming 8-bit RGB PNG writing shared by the map and the heat map: rows
// come one at a time from a callback, so no whole image is held in memory.
#pragma once

#include <string>

namespace towngrow::app {

// Fills row y (width * 3 bytes, preset to white) of the image; never fails.
using RowFiller = void (*)(void* ctx, int y, unsigned char* row);

// Writes the image to path; "" on success, else one line naming the path and
// the problem. A failed write removes what it left at path.
std::string WriteRgbPng(const std::string& path, int width, int height, RowFiller fill, void* ctx);

// The one-line error of a picture writer: "cannot write PNG '<path>': <why>".
std::string PngFailure(const std::string& path, const std::string& why);

}  // namespace towngrow::app
