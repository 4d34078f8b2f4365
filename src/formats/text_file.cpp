#include "formats/text_file.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>

#include "towngrow/formats/file_error.h"

namespace towngrow {
namespace io {
namespace {

std::string ErrorText(const char* what, int err) {
  std::string s = what;
  if (err != 0) {
    s += ": ";
    s += std::strerror(err);
  }
  return s;
}

bool IsDirectory(const std::string& name) {
  std::error_code ec;
  return std::filesystem::is_directory(name, ec);
}

std::atomic<std::size_t> gBlockSize{kBlockSize};

}  // namespace

void SetReadBlockSize(std::size_t bytes) {
  gBlockSize = bytes == 0 ? kBlockSize : bytes < 8 ? 8 : bytes;
}

// --- reader -------------------------------------------------------------

FileReader::~FileReader() {
  Close();
  delete[] heap_;
}

void FileReader::Allocate(std::size_t cap) {
  if (cap <= sizeof small_) {
    buf_ = small_;
    cap_ = cap;
    return;
  }
  if (heap_ == nullptr || heapSize_ != cap) {
    delete[] heap_;
    heap_ = new (std::nothrow) char[cap];
    heapSize_ = heap_ != nullptr ? cap : 0;
  }
  buf_ = heap_ != nullptr ? heap_ : small_;
  cap_ = heap_ != nullptr ? cap : sizeof small_;
}

bool FileReader::Open(const std::string& name) {
  Close();
  if (name.empty() || IsDirectory(name)) return false;
  file_ = std::fopen(name.c_str(), "rb");
  if (file_ == nullptr) return false;
  std::setvbuf(file_, nullptr, _IONBF, 0);  // we buffer ourselves
  Allocate(gBlockSize);
  name_ = name;
  pos_ = len_ = 0;
  eof_ = false;
  return true;
}

void FileReader::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  pos_ = len_ = 0;
  eof_ = true;
}

bool FileReader::Fill(std::size_t want) {
  if (len_ - pos_ >= want) return true;
  if (file_ == nullptr || eof_) return pos_ < len_;
  // Move what is left to the front and top the buffer up.
  const std::size_t left = len_ - pos_;
  if (left > 0 && pos_ > 0) std::memmove(buf_, buf_ + pos_, left);
  pos_ = 0;
  len_ = left;
  while (len_ < want && !eof_) {
    errno = 0;
    const std::size_t got = std::fread(buf_ + len_, 1, cap_ - len_, file_);
    len_ += got;
    if (std::ferror(file_)) throw FileError(name_, ErrorText("read error", errno));
    if (got == 0 || std::feof(file_)) eof_ = true;
  }
  return pos_ < len_;
}

bool FileReader::More() {
  const std::size_t before = len_ - pos_;
  if (file_ == nullptr || eof_ || before >= cap_) return false;
  Fill(before + 1);
  return len_ - pos_ > before;
}

void FileReader::EndLine() {
  for (;;) {
    if (pos_ == len_ && !Fill(1)) return;
    const void* nl = std::memchr(buf_ + pos_, '\n', len_ - pos_);
    if (nl != nullptr) {
      pos_ = static_cast<std::size_t>(static_cast<const char*>(nl) - buf_) + 1;
      return;
    }
    pos_ = len_;
  }
}

void FileReader::ReadLine(std::string& out, std::size_t keep) {
  out.clear();
  std::size_t total = 0;  // raw length of the line so far
  char last = 0;          // its last raw character
  for (;;) {
    if (pos_ == len_ && !Fill(1)) return;  // ends without a line feed
    const char* start = buf_ + pos_;
    const void* nl = std::memchr(start, '\n', len_ - pos_);
    const std::size_t n = nl != nullptr
                              ? static_cast<std::size_t>(static_cast<const char*>(nl) - start)
                              : len_ - pos_;
    if (out.size() < keep) {
      const std::size_t room = keep - out.size();
      out.append(start, n < room ? n : room);
    }
    if (n > 0) last = start[n - 1];
    total += n;
    pos_ += n;
    if (nl != nullptr) {
      ++pos_;
      // A carriage return right before the line feed belongs to the line
      // end: drop it if it was kept.
      if (last == '\r' && total - 1 < keep) out.pop_back();
      return;
    }
  }
}

void FileReader::ReadLineLimited(std::string& out, std::size_t limit) {
  out.clear();
  while (out.size() < limit) {
    const int c = LineGet();
    if (c == kEnd) {
      EndLine();
      return;
    }
    out.push_back(static_cast<char>(c));
  }
  if (LinePeek() == kEnd) EndLine();
}

// --- writer -------------------------------------------------------------

FileWriter::~FileWriter() {
  if (file_ != nullptr) {
    if (len_ > 0) (void)std::fwrite(buf_, 1, len_, file_);
    std::fclose(file_);
  }
}

bool FileWriter::Create(const std::string& name) {
  if (file_ != nullptr) Close();
  if (name.empty() || IsDirectory(name)) return false;
  file_ = std::fopen(name.c_str(), "wb");
  if (file_ == nullptr) return false;
  std::setvbuf(file_, nullptr, _IONBF, 0);  // we buffer ourselves
  name_ = name;
  len_ = 0;
  return true;
}

void FileWriter::WriteThrough(const char* data, std::size_t n) {
  errno = 0;
  if (std::fwrite(data, 1, n, file_) != n) throw FileError(name_, ErrorText("write error", errno));
}

void FileWriter::Flush() {
  if (len_ == 0) return;
  const std::size_t n = len_;
  len_ = 0;
  WriteThrough(buf_, n);
}

void FileWriter::Close() {
  if (file_ == nullptr) return;
  Flush();
  std::FILE* f = file_;
  file_ = nullptr;
  errno = 0;
  if (std::fclose(f) != 0) throw FileError(name_, ErrorText("error closing the file", errno));
}

}  // namespace io
}  // namespace towngrow
