// The one kind of failure the reusable layer reports: bad input of any kind
// (a missing or refused file, a bad parameter file, an impossible size, an
// output folder that cannot be made). Its text is one line naming the file
// or option and what is wrong; the program shows it and exits with status
// 2, the Python module raises it as ValueError (OSError for files).
#pragma once

#include <stdexcept>
#include <string>

namespace towngrow::io {

class Error : public std::runtime_error {
public:
  explicit Error(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace towngrow::io
