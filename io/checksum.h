// SHA-256 of a file, as `sha256sum` prints it, for the record of the inputs
// a prepared map was made from.
#pragma once

#include <string>

namespace towngrow::io {

// 64 lower-case hex digits; "" when the path is no regular file that can be
// read (a folder, a database connection, ...).
std::string FileSha256(const std::string& path);

}  // namespace towngrow::io
