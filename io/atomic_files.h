// Files that appear whole or not at all: content goes to a temporary name
// beside the final one (".<name>.part-<pid>") and is renamed when complete.
// Every function throws io::Error naming the final path.
#pragma once

#include <string>
#include <vector>

namespace towngrow::io {

std::string TempNameFor(const std::string& finalPath);
// Renames a finished temporary file to its final name (an ordinary file,
// readable as the umask allows).
void PublishTemp(const std::string& tempPath, const std::string& finalPath);
void WriteFileAtomic(const std::string& finalPath, const std::string& content);
// Copies a finished file to finalPath through a temporary name.
void CopyFileAtomic(const std::string& from, const std::string& finalPath);
// Removes what a failed writer left at path, but only a regular file (never
// a device or folder that the path happened to name).
void RemovePartialFile(const std::string& path);

// Creates a folder and its parents.
void MakeFolder(const std::string& path);

// A private scratch folder under /tmp whose path holds no "." (removed with
// everything in it on destruction).
class ScratchDir {
public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& Path() const { return path_; }

private:
  std::string path_;
};

// Output files that appear together or not at all: each is written under
// a temporary name beside its final one, and all are renamed to their
// final names, in the order they were added, by PublishAll. When one of
// them cannot be (its name taken by a folder, say), those already renamed
// are put back as they were. Whatever was not published is removed when
// the object goes (a failure half-way leaves nothing behind).
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
  // Renames every staged file to its final name.
  void PublishAll();

private:
  struct Staged {
    std::string temp, final;
  };
  std::vector<Staged> files_;
};

}  // namespace towngrow::io
