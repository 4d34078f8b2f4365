#include "io/file_util.h"

#include <filesystem>
#include <system_error>

namespace towngrow::io {

void RemovePartialFile(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_regular_file(std::filesystem::symlink_status(path, ec))) {
    std::filesystem::remove(path, ec);
  }
}

}  // namespace towngrow::io
