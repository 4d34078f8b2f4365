// Class files: named classes of land-use IDs for comparisons,
//   {"classes": [{"name": "urban", "ids": [1, 2, 3], "developed": true}, ...]}
// with 1 to 32 classes; names of 1 to 40 letters, digits, '_' or '-',
// unique, not "developed"; IDs 0..255, each in at most one class;
// "developed" optional (false). IDs no class lists have no class. Anything
// else is refused with an io::Error naming the file and the key.
#pragma once

#include <string>

#include <towngrow/compare.h>

#include "io/json_file.h"

namespace towngrow::io {

// `name`: the file, or "classes" for a value given in memory.
ClassScheme ReadClasses(const Json& doc, const std::string& name);
ClassScheme ReadClassFile(const std::string& path);

}  // namespace towngrow::io
