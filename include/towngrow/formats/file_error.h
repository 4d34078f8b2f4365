// Read and write errors of a file that is open reach the caller of an
// import or export as a FileError: the file's name and what went wrong
// (what() reads "<name>: read error: <system description>", or write error,
// or error closing the file). Cells stored before the error stay stored, and
// so do the header fields that an ASCII grid import had already read. A file
// that cannot be opened or created is no error: the operation returns 0.
// An export whose file fails while it is written leaves a partial file.
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
