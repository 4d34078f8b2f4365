#include "io/atomic_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "io/error.h"

namespace fs = std::filesystem;

namespace towngrow::io {

std::string TempNameFor(const std::string& finalPath) {
  const fs::path p(finalPath);
  return (p.parent_path() / ("." + p.filename().string() + ".part-" + std::to_string(::getpid())))
      .string();
}

void PublishTemp(const std::string& tempPath, const std::string& finalPath) {
  std::error_code ec;
  // A temporary file may have been created private; the result is an
  // ordinary file (read-write for the owner, readable as the umask allows).
  const mode_t mask = ::umask(0);
  ::umask(mask);
  fs::permissions(tempPath, static_cast<fs::perms>(0666 & ~mask), ec);
  fs::rename(tempPath, finalPath, ec);
  if (ec) {
    fs::remove(tempPath, ec);
    throw Error(finalPath + ": cannot be written: " + ec.message());
  }
}

void WriteFileAtomic(const std::string& finalPath, const std::string& content) {
  const std::string temp = TempNameFor(finalPath);
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (out) out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    if (!out) {
      std::error_code ec;
      fs::remove(temp, ec);
      throw Error(finalPath + ": cannot be written");
    }
  }
  PublishTemp(temp, finalPath);
}

void CopyFileAtomic(const std::string& from, const std::string& finalPath) {
  const std::string temp = TempNameFor(finalPath);
  std::error_code ec;
  fs::copy_file(from, temp, fs::copy_options::overwrite_existing, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    throw Error(finalPath + ": cannot be written: " + ec.message());
  }
  PublishTemp(temp, finalPath);
}

void RemovePartialFile(const std::string& path) {
  std::error_code ec;
  if (fs::is_regular_file(fs::symlink_status(path, ec))) fs::remove(path, ec);
}

void MakeFolder(const std::string& path) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) return;
  fs::create_directories(path, ec);
  if (ec || !fs::is_directory(path))
    throw Error(path + ": cannot create the output folder" +
                (ec ? ": " + ec.message() : std::string()));
}

ScratchDir::ScratchDir() {
  char templ[] = "/tmp/towngrow-XXXXXX";
  if (mkdtemp(templ) == nullptr)
    throw Error(std::string("cannot create a scratch folder in /tmp: ") + std::strerror(errno));
  path_ = templ;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

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
  if (ec) throw Error(finalPath + ": cannot be written: " + ec.message());
}

void StagedFiles::AddText(const std::string& finalPath, const std::string& content) {
  WriteFileAtomic(Add(finalPath), content);
}

void StagedFiles::Adopt(const std::string& temp, const std::string& finalPath) {
  files_.push_back({temp, finalPath});
}

void StagedFiles::PublishAll() {
  // The file each final name held is kept under a second name until every
  // file is in place; when one cannot be, those already renamed are put
  // back, so the folder holds what it held before.
  struct Done {
    std::string final, kept;  // kept: "" when the name was free
  };
  std::vector<Done> done;
  std::error_code ec;
  try {
    for (const auto& f : files_) {
      std::string kept;
      if (fs::is_regular_file(fs::symlink_status(f.final, ec))) {
        kept = f.temp + ".old";
        fs::remove(kept, ec);
        fs::create_hard_link(f.final, kept, ec);
        if (ec) fs::copy_file(f.final, kept, fs::copy_options::overwrite_existing, ec);
        if (ec) throw Error(f.final + ": cannot be replaced: " + ec.message());
      }
      done.push_back({f.final, kept});
      PublishTemp(f.temp, f.final);
    }
  } catch (...) {
    for (auto d = done.rbegin(); d != done.rend(); ++d) {
      if (d->kept.empty())
        RemovePartialFile(d->final);
      else
        fs::rename(d->kept, d->final, ec);
    }
    throw;
  }
  for (const Done& d : done)
    if (!d.kept.empty()) fs::remove(d.kept, ec);
  files_.clear();
}

}  // namespace towngrow::io
