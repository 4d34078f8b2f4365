// What every import and export of a coverage shares: the three file
// messages, the way a file value becomes a cell's land-use ID, and the
// reading of header lines.
#pragma once

#include <cstddef>
#include <string>

#include "towngrow/grid/coverage.h"

namespace towngrow {
namespace io {

extern const char* const kRangeMessage;
extern const char* const kBadFormatMessage;
extern const char* const kIntegerGridMessage;

// Header lines are read to their end, but only this many of their first
// characters are looked at; no header can make a reader hold more.
constexpr std::size_t kHeaderKeep = 4096;

// Stores file values as cells: the low 8 bits of a value become the land-use
// ID of a cell, with age 0. Nothing is written outside the coverage or
// without a cell buffer, and no age without an age buffer (as SetCellValue
// and SetCellAge do). Taken once per import, since nothing changes the
// buffers while a file is read; grid readers take a row and store columns
// that they know to be inside it.
class CellSink {
public:
  explicit CellSink(CLandUseCoverage& cov)
      : data_(cov.m_pData),
        ages_(cov.m_pData != nullptr ? cov.m_pCellAge : nullptr),
        rows_(cov.m_nRows),
        cols_(cov.m_nCols) {}

  // Any position.
  void Store(int row, int col, int value) {
    if (data_ == nullptr || row < 0 || col < 0 || row >= rows_ || col >= cols_) return;
    const std::size_t k = static_cast<std::size_t>(row) * static_cast<std::size_t>(cols_) +
                          static_cast<std::size_t>(col);
    data_[k] = static_cast<unsigned char>(static_cast<unsigned>(value) & 0xFFu);
    if (ages_ != nullptr) ages_[k] = 0;
  }

  // A row 0 <= row < rows of the coverage, stored column by column with
  // 0 <= col < its columns.
  class Row {
  public:
    void Store(int col, int value) {
      if (data_ == nullptr) return;
      data_[col] = static_cast<unsigned char>(static_cast<unsigned>(value) & 0xFFu);
      if (ages_ != nullptr) ages_[col] = 0;
    }

  private:
    friend class CellSink;
    unsigned char* data_ = nullptr;
    short* ages_ = nullptr;
  };
  Row RowAt(int row) const {
    Row r;
    if (data_ != nullptr) {
      const std::size_t k = static_cast<std::size_t>(row) * static_cast<std::size_t>(cols_);
      r.data_ = data_ + k;
      r.ages_ = ages_ != nullptr ? ages_ + k : nullptr;
    }
    return r;
  }

private:
  unsigned char* data_;
  short* ages_;
  int rows_;
  int cols_;
};

// A line that holds a word and an integer: the integer, or 0 when the line
// does not hold both.
int WordAndInt(const std::string& line);

// The text of a line from its first blank on (the whole line when it has
// no blank).
std::string FromFirstBlank(const std::string& line);

}  // namespace io
}  // namespace towngrow
