// Output files that appear together or not at all: each is written under a
// temporary name beside its final one, and all are renamed to their final
// names by PublishAll. Whatever was not published is removed when the
// object goes (a failure half-way leaves nothing behind).
#pragma once

#include <string>
#include <vector>

namespace towngrow::io {

class StagedFiles {
public:
  StagedFiles() = default;
  ~StagedFiles();
  StagedFiles(const StagedFiles&) = delete;
  StagedFiles& operator=(const StagedFiles&) = delete;

  // The temporary name to write finalPath's content to.
  std::string Add(const std::string& finalPath);
  // Copies a finished file (from a scratch folder) beside finalPath.
  void AddCopy(const std::string& from, const std::string& finalPath);
  // Writes content under a temporary name for finalPath.
  void AddText(const std::string& finalPath, const std::string& content);
  // A file already written at `temp` (by another writer) joins the others.
  void Adopt(const std::string& temp, const std::string& finalPath);
  // Renames every staged file to its final name; throws AppError.
  void PublishAll();

private:
  struct Staged {
    std::string temp, final;
  };
  std::vector<Staged> files_;
};

}  // namespace towngrow::io
