// Telling a file's kind from the end of its name.
//
// The last four characters (the whole name when it is shorter) are compared,
// upper-cased, with ".XYA", the last three with ".XY", then the four with
// ".ASC", ".FLT", ".DAT" and ".E00", in that order. Upper-casing touches only
// the letters a to z, whatever the locale. The file is not opened.
#include <string>

#include "towngrow/grid/coverage.h"

namespace towngrow {
namespace {

std::string UpperTail(const std::string& name, std::size_t n) {
  std::string tail = name.size() > n ? name.substr(name.size() - n) : name;
  for (char& ch : tail)
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
  return tail;
}

}  // namespace

ImportDataFormat CLandUseCoverage::TestFileFormat(CString strFileName) const {
  const std::string suffix = UpperTail(strFileName, 4);
  if (suffix == ".XYA") return FormatXYA;
  if (UpperTail(strFileName, 3) == ".XY") return FormatXY;
  if (suffix == ".ASC") return FormatASC;
  if (suffix == ".FLT") return FormatFLT;
  if (suffix == ".DAT") return FormatDAT;
  if (suffix == ".E00") return FormatE00;
  return FormatOther;
}

}  // namespace towngrow
