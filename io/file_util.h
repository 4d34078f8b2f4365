// File helpers shared by the picture writers.
#pragma once

#include <string>

namespace towngrow::io {

// Removes what a failed writer left at path, but only a regular file (never
// a device or directory that the path happened to name).
void RemovePartialFile(const std::string& path);

}  // namespace towngrow::io
