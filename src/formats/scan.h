// In-place scanning of the bytes of a reader's block, for the readers that
// parse whole lines where they lie instead of asking for one character at a
// time. Each reader hands such a scanner only a range that ends just after a
// line feed, so the line feed stops every scan of a line without a bounds
// test; lines that do not lie whole in the block go the character-wise way.
#pragma once

#include <climits>
#include <cstdint>
#include <cstring>

namespace towngrow {
namespace io {

// Magnitudes beyond this no longer change the saturated value; accumulating
// stops there, as IntAccumulator does.
constexpr long long kMagnitudeLimit = 2147483648LL;

inline int Saturated(bool negative, long long magnitude) {
  const long long v = negative ? -magnitude : magnitude;
  return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v);
}

// Just after the last line feed of [begin, end), or begin when there is none.
inline const char* LastLineEnd(const char* begin, const char* end) {
  while (end > begin && end[-1] != '\n') --end;
  return end;
}

// The first byte at or after p that is not a blank (' '), or end. Eight
// bytes at a time where the byte order allows it.
inline const char* SkipBlanks(const char* p, const char* end) {
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  constexpr std::uint64_t kBlanks = 0x2020202020202020ULL;
  while (end - p >= 8) {
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    w ^= kBlanks;
    if (w != 0) return p + (__builtin_ctzll(w) >> 3);
    p += 8;
  }
#endif
  while (p < end && *p == ' ') ++p;
  return p;
}

#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define TOWNGROW_SWAR 1
// Per byte of w: nonzero where the byte is not a decimal digit.
inline std::uint64_t NonDigitBytes(std::uint64_t w) {
  return ((w & 0xF0F0F0F0F0F0F0F0ULL) ^ 0x3030303030303030ULL) |
         (((w & 0x0F0F0F0F0F0F0F0FULL) + 0x0606060606060606ULL) & 0x1010101010101010ULL);
}

// The eight bytes at p as a right-aligned number: blanks first, then one to
// eight digits and nothing else. False (value untouched) for any other
// bytes.
inline bool RightAlignedDigits8(const char* p, int& value) {
  std::uint64_t w;
  std::memcpy(&w, p, sizeof w);
  const std::uint64_t notBlank = w ^ 0x2020202020202020ULL;
  if (notBlank == 0) return false;
  const unsigned first =
      static_cast<unsigned>(__builtin_ctzll(notBlank)) & ~7u;  // bit of the first digit
  if ((NonDigitBytes(w) >> first) != 0) return false;
  // Blanks read as leading zeros; the first byte is the most significant.
  std::uint64_t x = (w | 0x1010101010101010ULL) - 0x3030303030303030ULL;
  x = (x * 10 + (x >> 8)) & 0x00FF00FF00FF00FFULL;
  x = (x * 100 + (x >> 16)) & 0x0000FFFF0000FFFFULL;
  x = (x * 10000 + (x >> 32)) & 0xFFFFFFFFULL;
  value = static_cast<int>(x);
  return true;
}

// The same for the four bytes at p (blanks, then one to four digits).
inline bool RightAlignedDigits4(const char* p, int& value) {
  std::uint32_t w;
  std::memcpy(&w, p, sizeof w);
  const std::uint32_t notBlank = w ^ 0x20202020u;
  if (notBlank == 0) return false;
  const unsigned first = static_cast<unsigned>(__builtin_ctz(notBlank)) & ~7u;
  if ((static_cast<std::uint32_t>(NonDigitBytes(w)) >> first) != 0) return false;
  std::uint32_t x = (w | 0x10101010u) - 0x30303030u;
  x = (x * 10 + (x >> 8)) & 0x00FF00FFu;
  x = (x * 100 + (x >> 16)) & 0xFFFFu;
  value = static_cast<int>(x);
  return true;
}
#endif

}  // namespace io
}  // namespace towngrow
