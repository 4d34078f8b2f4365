// Read and write errors of a file that is open reach the caller of an
// import or export as a FileError: the file's name and what went wrong.
// Cells stored before the error stay stored.
#pragma once

#include <stdexcept>
#include <string>

namespace towngrow {

class FileError : public std::runtime_error {
public:
  FileError(const std::string& fileName, const std::string& what)
      : std::runtime_error(fileName + ": " + what), fileName_(fileName) {}
  const std::string& FileName() const { return fileName_; }

private:
  std::string fileName_;
};

}  // namespace towngrow
