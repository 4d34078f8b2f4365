#include "formats/exchange.h"

#include "formats/numbers.h"

namespace towngrow {
namespace io {

const char* const kRangeMessage =
    "The Range is larger than the environment!\n Please make a larger environemt first";
const char* const kBadFormatMessage = "Bad Export File Format...\nCheck the format!!!";
const char* const kIntegerGridMessage = "Now the system can only support integer grid!!";

int WordAndInt(const std::string& line) {
  const char* p = line.data();
  const char* end = p + line.size();
  int value = 0;
  if (ScanWord(p, end)) ScanInt(p, end, value);
  return value;
}

std::string FromFirstBlank(const std::string& line) {
  const std::size_t blank = line.find(' ');
  return blank == std::string::npos ? line : line.substr(blank);
}

}  // namespace io
}  // namespace towngrow
