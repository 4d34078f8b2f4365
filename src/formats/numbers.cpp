#include "formats/numbers.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <system_error>

namespace towngrow {
namespace io {
namespace {

// Digits and decimal exponent of |value| rounded to `digits` significant
// digits (1..40): digits go to buf (no point), the exponent is returned.
// value must be finite and nonzero.
int SignificantDigits(double value, int digits, char* buf) {
  char tmp[128];
  const auto res = std::to_chars(tmp, tmp + sizeof tmp, std::fabs(value),
                                 std::chars_format::scientific, digits - 1);
  // tmp holds d[.ddd]e±xx
  const char* p = tmp;
  int n = 0;
  for (; p < res.ptr && *p != 'e'; ++p)
    if (IsDigit(*p)) buf[n++] = *p;
  ++p;  // 'e'
  bool neg = false;
  if (p < res.ptr && (*p == '+' || *p == '-')) neg = *p++ == '-';
  int e = 0;
  for (; p < res.ptr; ++p) e = e * 10 + (*p - '0');
  return neg ? -e : e;
}

void AppendExponent(std::string& out, int e) {
  out.push_back('e');
  out.push_back(e < 0 ? '-' : '+');
  const int a = e < 0 ? -e : e;
  if (a < 100) out.push_back('0');
  if (a < 10) out.push_back('0');
  AppendInt(out, a);
}

void PadLeft(std::string& out, std::size_t from, int width) {
  const std::size_t len = out.size() - from;
  if (width > 0 && len < static_cast<std::size_t>(width))
    out.insert(from, static_cast<std::size_t>(width) - len, ' ');
}

bool AppendNonFinite(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "nan";
    return true;
  }
  if (std::isinf(value)) {
    out += value < 0 ? "-inf" : "inf";
    return true;
  }
  return false;
}

}  // namespace

void AppendInt(std::string& out, long long value) {
  char tmp[24];
  const auto res = std::to_chars(tmp, tmp + sizeof tmp, value);
  out.append(tmp, res.ptr);
}

void AppendIntWidth(std::string& out, long long value, int width) {
  const std::size_t from = out.size();
  AppendInt(out, value);
  PadLeft(out, from, width);
}

void AppendExp(std::string& out, double value, int precision, int width) {
  const std::size_t from = out.size();
  if (precision < 0) precision = 0;
  if (precision > 39) precision = 39;
  if (!AppendNonFinite(out, value)) {
    if (std::signbit(value)) out.push_back('-');
    char digits[48];
    int e = 0;
    if (value == 0.0) {
      for (int i = 0; i <= precision; ++i) digits[i] = '0';
    } else {
      e = SignificantDigits(value, precision + 1, digits);
    }
    out.push_back(digits[0]);
    if (precision > 0) {
      out.push_back('.');
      out.append(digits + 1, static_cast<std::size_t>(precision));
    }
    AppendExponent(out, e);
  }
  PadLeft(out, from, width);
}

void AppendGeneral4(std::string& out, double value) {
  if (AppendNonFinite(out, value)) return;
  if (value == 0.0) {
    out += "0.";
    return;
  }
  if (value < 0) out.push_back('-');
  char d[8];
  const int e = SignificantDigits(value, 4, d);
  int last = 3;  // last digit kept after removing trailing zeros
  while (last > 0 && d[last] == '0') --last;
  if (e < -1 || e > 3) {
    out.push_back(d[0]);
    out.push_back('.');
    out.append(d + 1, static_cast<std::size_t>(last));
    AppendExponent(out, e);
  } else if (e == 3) {
    out.append(d, 4);
  } else if (e >= 0) {
    // e + 1 digits before the point, the rest after it
    out.append(d, static_cast<std::size_t>(e + 1));
    out.push_back('.');
    if (last > e) out.append(d + e + 1, static_cast<std::size_t>(last - e));
  } else {  // e == -1: 0.dddd
    out += "0.";
    out.append(d, static_cast<std::size_t>(last + 1));
  }
}

int IntAccumulator::Value() const {
  const long long v = negative_ ? -magnitude_ : magnitude_;
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

int ParseIntPrefix(const char* begin, const char* end) {
  const char* p = begin;
  while (p < end && IsSpace(static_cast<unsigned char>(*p))) ++p;
  IntAccumulator acc;
  for (; p < end && !acc.Done(); ++p) acc.Put(static_cast<unsigned char>(*p));
  return acc.Value();
}

double ParseDoublePrefix(const char* begin, const char* end) {
  const char* p = begin;
  while (p < end && IsSpace(static_cast<unsigned char>(*p))) ++p;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  const char* num = p;
  long long intDigits = 0;  // significant digits before the point
  long long leadZeros = 0;  // zeros after the point before the first nonzero
  bool nonzeroSeen = false;
  int ndigits = 0;
  for (; p < end && IsDigit(static_cast<unsigned char>(*p)); ++p, ++ndigits) {
    if (*p != '0') nonzeroSeen = true;
    if (nonzeroSeen) ++intDigits;
  }
  if (p < end && *p == '.') {
    ++p;
    for (; p < end && IsDigit(static_cast<unsigned char>(*p)); ++p, ++ndigits) {
      if (!nonzeroSeen && *p == '0') ++leadZeros;
      if (*p != '0') nonzeroSeen = true;
    }
  }
  if (ndigits == 0) return 0.0;
  long long exponent = 0;
  if (p < end && (*p == 'e' || *p == 'E')) {
    const char* q = p + 1;
    bool eneg = false;
    if (q < end && (*q == '+' || *q == '-')) eneg = *q++ == '-';
    if (q < end && IsDigit(static_cast<unsigned char>(*q))) {
      for (; q < end && IsDigit(static_cast<unsigned char>(*q)); ++q)
        if (exponent < 100000) exponent = exponent * 10 + (*q - '0');
      if (eneg) exponent = -exponent;
      p = q;
    }
  }
  if (!nonzeroSeen) return negative ? -0.0 : 0.0;
  double value = 0.0;
  const auto res = std::from_chars(num, p, value, std::chars_format::general);
  if (res.ec == std::errc::result_out_of_range) {
    // Decimal magnitude of the number decides between overflow and underflow.
    const long long magnitude = (intDigits > 0 ? intDigits : -leadZeros) + exponent;
    value = magnitude > 0 ? HUGE_VAL : 0.0;
  } else if (res.ec != std::errc()) {
    value = 0.0;
  }
  return negative ? -value : value;
}

bool ScanWord(const char*& cur, const char* end) {
  const char* p = cur;
  while (p < end && IsSpace(static_cast<unsigned char>(*p))) ++p;
  if (p == end) return false;
  while (p < end && !IsSpace(static_cast<unsigned char>(*p))) ++p;
  cur = p;
  return true;
}

bool ScanInt(const char*& cur, const char* end, int& value) {
  const char* p = cur;
  while (p < end && IsSpace(static_cast<unsigned char>(*p))) ++p;
  const char* start = p;
  if (p < end && (*p == '+' || *p == '-')) ++p;
  if (p == end || !IsDigit(static_cast<unsigned char>(*p))) return false;
  while (p < end && IsDigit(static_cast<unsigned char>(*p))) ++p;
  value = ParseIntPrefix(start, p);
  cur = p;
  return true;
}

}  // namespace io
}  // namespace towngrow
