// The one kind of failure the command-line host reports: bad input of any
// kind (a missing or refused file, a bad parameter file, an impossible
// size, an output folder that cannot be made). Its text is the single line
// shown on standard error; the process then exits with status 2.
#pragma once

#include <stdexcept>
#include <string>

namespace towngrow::io {

constexpr int kExitBadInput = 2;

class AppError : public std::runtime_error {
public:
  explicit AppError(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace towngrow::io
