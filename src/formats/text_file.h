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
// Block access (for readers that scan the bytes in place): Data() and
// Available() show the unread bytes of the buffer, Advance() consumes some of
// them, More() keeps them and reads the next block behind them. Every other
// call reads through the same buffer, so the two kinds of access mix freely.
// The buffer holds kBlockSize bytes (a file is never held whole); when that
// much cannot be allocated, a small block inside the reader serves instead,
// which is slower but reads the same.
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

  // --- block access ---------------------------------------------------
  const char* Data() const { return buf_ + pos_; }
  std::size_t Available() const { return len_ - pos_; }
  // Consumes n <= Available() bytes.
  void Advance(std::size_t n) { pos_ += n; }
  // Moves the unread bytes to the front and reads more behind them; false
  // (nothing changed) when the file has no more or the buffer is full.
  bool More();
  // Bytes the buffer can hold.
  std::size_t Capacity() const { return cap_; }

  const std::string& Name() const { return name_; }

private:
  // Makes at least `want` bytes available if the file still has them;
  // false when no byte is available at all.
  bool Fill(std::size_t want);

  // Sets up the buffer of cap bytes for Open.
  void Allocate(std::size_t cap);

  std::FILE* file_ = nullptr;
  std::string name_;
  char* heap_ = nullptr;  // the block, when it could be allocated
  std::size_t heapSize_ = 0;
  char* buf_ = small_;
  std::size_t cap_ = sizeof small_;
  std::size_t pos_ = 0;
  std::size_t len_ = 0;
  bool eof_ = false;
  char small_[4096];
};

// Size of a reader's block: large enough for an E00 row of 10000 columns
// (2000 lines of 72 bytes), so that the row readers find whole rows in it.
constexpr std::size_t kBlockSize = 1 << 18;

// The block size of readers opened from now on (at least 8 bytes; 0 restores
// kBlockSize). Tests use it to put block boundaries everywhere.
void SetReadBlockSize(std::size_t bytes);

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
