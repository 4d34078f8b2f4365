// The file layer of the coverage exchange: buffered reading of text lines
// and raw bytes, and buffered writing with CR LF line ends.
//
// Reading: a line ends at a line feed; a carriage return just before the
// line feed belongs to the line end; the line end is not part of the line.
// A lone carriage return is an ordinary character. A line missing at the end
// of the file reads as an empty line. Lines can be taken whole (any length,
// only their first `keep` characters kept, so no header value can make the
// reader hold more than that), limited to a number of characters (the rest
// then counts as the next line), or one character at a time through the
// in-line cursor (LinePeek/LineGet/EndLine), which never holds a line at all.
//
// Errors: a file that cannot be opened or created (a directory included)
// makes Open/Create answer false. A read or write error of an open file,
// other than reaching its end, throws towngrow::FileError with the file's
// name and the system's description of the error. Writers report errors of
// the final flush and close from Close(); the destructor of a writer that
// was not closed closes it quietly (it runs while an error is passing).
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

namespace towngrow {
namespace io {

class FileReader {
public:
  static constexpr int kEnd = -1;  // end of file, or end of line in-line

  FileReader() = default;
  ~FileReader();
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  // Opens a file for reading as bytes; false when it cannot be opened.
  bool Open(const std::string& name);
  void Close();

  // The next byte without consuming it, or kEnd at the end of the file.
  int Peek() {
    if (pos_ == len_ && !Fill(1)) return kEnd;
    return static_cast<unsigned char>(buf_[pos_]);
  }
  bool AtEnd() { return Peek() == kEnd; }

  // --- in-line cursor -------------------------------------------------
  // The next character of the current line, or kEnd at its line end (the
  // line end itself is not consumed).
  int LinePeek() {
    if (len_ - pos_ < 2) Fill(2);
    if (pos_ == len_) return kEnd;
    const unsigned char c = static_cast<unsigned char>(buf_[pos_]);
    if (c == '\n') return kEnd;
    if (c == '\r' && pos_ + 1 < len_ && buf_[pos_ + 1] == '\n') return kEnd;
    return c;
  }
  int LineGet() {
    const int c = LinePeek();
    if (c != kEnd) ++pos_;
    return c;
  }
  // Consumes the character that LinePeek has just answered (not kEnd).
  void LineSkip() { ++pos_; }
  // Skips the rest of the current line and its line end.
  void EndLine();

  // --- whole lines ----------------------------------------------------
  // Reads one line (empty at the end of the file) and keeps at most `keep`
  // characters of it in `out`; the rest of the line is skipped.
  void ReadLine(std::string& out, std::size_t keep);
  // Reads at most `limit` characters of a line. When the line is longer,
  // the rest stays and counts as the next line; a line of exactly `limit`
  // characters is read together with its line end.
  void ReadLineLimited(std::string& out, std::size_t limit);

  // --- raw bytes ------------------------------------------------------
  // Reads up to n bytes; answers how many were read (fewer only at the
  // end of the file).
  std::size_t ReadBytes(void* dst, std::size_t n);

  const std::string& Name() const { return name_; }

private:
  // Makes at least `want` bytes available if the file still has them;
  // false when no byte is available at all.
  bool Fill(std::size_t want);

  static constexpr std::size_t kBufSize = 1 << 16;
  std::FILE* file_ = nullptr;
  std::string name_;
  char buf_[kBufSize];
  std::size_t pos_ = 0;
  std::size_t len_ = 0;
  bool eof_ = false;
};

class FileWriter {
public:
  FileWriter() = default;
  ~FileWriter();
  FileWriter(const FileWriter&) = delete;
  FileWriter& operator=(const FileWriter&) = delete;

  // Creates (or replaces) a file for writing bytes; false when it cannot.
  bool Create(const std::string& name);
  // Flushes and closes; throws FileError when that fails.
  void Close();

  void Write(const char* data, std::size_t n) {
    if (n > kBufSize - len_) {
      Flush();
      if (n > kBufSize) {
        WriteThrough(data, n);
        return;
      }
    }
    std::memcpy(buf_ + len_, data, n);
    len_ += n;
  }
  void Write(const std::string& s) { Write(s.data(), s.size()); }
  // Writes the text and CR LF.
  void WriteLine(const std::string& s) {
    Write(s);
    Write("\r\n", 2);
  }

  const std::string& Name() const { return name_; }

private:
  void Flush();
  void WriteThrough(const char* data, std::size_t n);

  static constexpr std::size_t kBufSize = 1 << 16;
  std::FILE* file_ = nullptr;
  std::string name_;
  char buf_[kBufSize];
  std::size_t len_ = 0;
};

}  // namespace io
}  // namespace towngrow
