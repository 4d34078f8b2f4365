// Scratch folders and whole files for every test: read, write, list, lines, names from paths.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace testkit {

namespace fs = std::filesystem;

// The text of the E that `f` throws; "" when it throws nothing.
template <class E = std::exception, class F>
std::string Thrown(F&& f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  }
  return "";
}

// A folder of one test, removed with it. Its path holds no dot: the float
// grid pairs its header by the first dot of the whole name.
class ScratchDir {
public:
  ScratchDir() {
    static int counter = 0;
    path_ = "/tmp/towngrow_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& Path() const { return path_; }

private:
  std::string path_;
};

inline std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteAll(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// The regular files of a folder, sorted; none when it is no folder.
inline std::vector<fs::path> FilesIn(const fs::path& dir) {
  std::vector<fs::path> files;
  if (fs::is_directory(dir))
    for (const auto& e : fs::directory_iterator(dir))
      if (e.is_regular_file()) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

// The names in a folder; none when it does not exist.
inline std::set<std::string> Listing(const fs::path& dir) {
  std::set<std::string> names;
  if (fs::exists(dir))
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

// The parts of a text between separators (lines for '\n').
inline std::vector<std::string> Split(const std::string& text, char sep = '\n') {
  std::vector<std::string> parts;
  std::istringstream s(text);
  for (std::string p; std::getline(s, p, sep);) parts.push_back(p);
  return parts;
}

// `text` with every character but letters and digits turned into '_'.
inline std::string TestNameOf(std::string text) {
  for (char& c : text)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return text;
}

}  // namespace testkit
