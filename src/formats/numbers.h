// Numbers as the exchange files show them, produced and read byte by byte,
// independent of the C library's locale and of its exponent width.
//
// Writing:
// - AppendInt / AppendIntWidth: decimal integers, as "%d" and "%<w>d".
// - AppendExp: "%<w>.<p>e" with a point as decimal separator and an exponent
//   of a sign and at least three digits (3.0000000000000e+001). Digits are
//   correctly rounded from the binary value. Not-a-number and infinities,
//   which no coverage field should hold, are written as nan, inf and -inf.
// - AppendGeneral4: four significant digits in the style of the ASCII grid
//   header (30., 0., 100., 1000, 12.5, 3.789e+005, 5.e-002). The decimal
//   exponent that chooses between the fixed and the exponent form is that of
//   the value after rounding to four digits (9999.7 gives 1.e+004). Zero of
//   either sign gives 0.
//
// Reading (all work on a character range and never read beyond it):
// - ParseIntPrefix: as atoi: white space skipped, optional sign, then the
//   decimal digits; anything after them ignored; 0 when there are no digits.
//   Values beyond the int range saturate at INT_MIN / INT_MAX.
// - ParseDoublePrefix: as atof: white space skipped, then the longest valid
//   prefix of sign, digits, point, digits and an exponent (e or E, optional
//   sign, digits; taken only when it has a digit); at least one digit before
//   the exponent; 0.0 when there is none. No hexadecimal, inf or nan forms.
//   Overflow gives an infinity, underflow 0.
// - ScanWord / ScanInt: as the "%s" and "%d" conversions of a scan: skip
//   white space, then need a word (non-blank characters) or an integer
//   (optional sign and at least one digit, saturating); false, with the range
//   unchanged, when there is none.
#pragma once

#include <string>

namespace towngrow {
namespace io {

void AppendInt(std::string& out, long long value);
void AppendIntWidth(std::string& out, long long value, int width);
void AppendExp(std::string& out, double value, int precision, int width);
void AppendGeneral4(std::string& out, double value);

// White space as the C locale knows it.
inline bool IsSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool IsDigit(int c) { return c >= '0' && c <= '9'; }

int ParseIntPrefix(const char* begin, const char* end);
inline int ParseIntPrefix(const std::string& s) {
  return ParseIntPrefix(s.data(), s.data() + s.size());
}
double ParseDoublePrefix(const char* begin, const char* end);
inline double ParseDoublePrefix(const std::string& s) {
  return ParseDoublePrefix(s.data(), s.data() + s.size());
}

bool ScanWord(const char*& cur, const char* end);
bool ScanInt(const char*& cur, const char* end, int& value);

// Accumulates the digits of an integer as atoi reads them, one character at
// a time: optional sign first, then digits; the first other character ends
// the number, and everything after it is ignored.
class IntAccumulator {
public:
  void Put(int c) {
    if (done_) return;
    if (!started_) {
      started_ = true;
      if (c == '-' || c == '+') {
        negative_ = c == '-';
        return;
      }
    }
    if (!IsDigit(c)) {
      done_ = true;
      return;
    }
    if (magnitude_ <= kLimit) magnitude_ = magnitude_ * 10 + (c - '0');
  }
  int Value() const;
  bool Done() const { return done_; }

private:
  static constexpr long long kLimit = 2147483648LL;  // beyond this saturates
  long long magnitude_ = 0;
  bool negative_ = false;
  bool started_ = false;
  bool done_ = false;
};

}  // namespace io
}  // namespace towngrow
