#include "io/staged_files.h"

#include <filesystem>
#include <system_error>

#include "io/error.h"
#include "io/grid_files.h"

namespace fs = std::filesystem;

namespace towngrow::io {

StagedFiles::~StagedFiles() {
  std::error_code ec;
  for (const auto& f : files_) fs::remove(f.temp, ec);
}

std::string StagedFiles::Add(const std::string& finalPath) {
  files_.push_back({TempNameFor(finalPath), finalPath});
  return files_.back().temp;
}

void StagedFiles::AddCopy(const std::string& from, const std::string& finalPath) {
  const std::string temp = Add(finalPath);
  std::error_code ec;
  fs::copy_file(from, temp, fs::copy_options::overwrite_existing, ec);
  if (ec) throw AppError(finalPath + ": cannot be written: " + ec.message());
}

void StagedFiles::AddText(const std::string& finalPath, const std::string& content) {
  WriteFileAtomic(Add(finalPath), content);
}

void StagedFiles::Adopt(const std::string& temp, const std::string& finalPath) {
  files_.push_back({temp, finalPath});
}

void StagedFiles::PublishAll() {
  for (const auto& f : files_) PublishTemp(f.temp, f.final);
  files_.clear();
}

}  // namespace towngrow::io
