// The readers' block scanning: the same file gives the same cells, fields,
// messages and result whatever block size the reader has, so boundaries
// that fall inside a number, inside a CR LF pair, inside a float or between
// the lines of an E00 row change nothing. With blocks of 8 bytes almost no
// line lies whole in a block and the readers go character by character;
// larger blocks take the in-place scanners and the eight-byte lanes for the
// exporters' layouts. Also: hand-made files whose cells follow from the
// reading rules, read at every block size from 8 bytes to beyond the file,
// the fall-back block when the large one cannot be allocated, and the block
// access of the file layer.
#include <cstdint>
#include <cstring>
#include <random>
#include <sstream>

#include "../src/formats/text_file.h"
#include "support/sanitizer.h"
#include "test_format_support.h"

using namespace towngrow;
using fmt_test::Rows;
using fmt_test::WriteAll;

namespace {

using fmt_test::Kind;
using fmt_test::Reader;

// Restores the default block size when a test ends, however it ends.
struct BlockSize {
  explicit BlockSize(std::size_t bytes) { io::SetReadBlockSize(bytes); }
  ~BlockSize() { io::SetReadBlockSize(0); }
};

// Everything an import can change or show: result, messages, the georeference
// and no-data fields, and every cell as value:age.
std::string Outcome(Reader read, const std::string& file, int rows, int cols, int overlay) {
  CLandUseCoverage cov;
  EXPECT_EQ(cov.InitCoverage(rows, cols, 0), 1);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) {
      cov.SetCellValue(r, c, static_cast<unsigned char>(1 + (r * 31 + c * 7) % 250));
      cov.SetCellAge(r, c, static_cast<short>(100 + r + c));
    }
  fmt_test::MessageRecorder messages;
  const int result = (cov.*read)(file, overlay);
  std::ostringstream o;
  o << "result " << result << " messages " << messages.texts.size();
  for (const auto& t : messages.texts) o << " [" << t << "]";
  o << " fields " << cov.m_dXllCorner << " " << cov.m_dYllCorner << " " << cov.m_dCellSize << " "
    << cov.m_nNoDataValue << "\n";
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c)
      o << int(cov.GetCellValue(r, c)) << ":" << cov.GetCellAge(r, c) << " ";
    o << "\n";
  }
  return o.str();
}

// --- random files from a fixed seed ----------------------------------------

class Maker {
public:
  explicit Maker(unsigned seed) : gen_(seed) {}

  int Below(int n) { return static_cast<int>(gen_() % static_cast<unsigned>(n)); }
  bool Chance(int percent) { return Below(100) < percent; }

  // Mostly one digit, sometimes wide, negative or beyond the int range.
  std::string Value() {
    static const char* const kOdd[] = {"2147483647",
                                       "2147483648",
                                       "-2147483648",
                                       "-2147483649",
                                       "99999999",
                                       "100000000",
                                       "123456789012",
                                       "-9999",
                                       "256",
                                       "+7",
                                       "0000000000000000000000000000000042",
                                       "3.7",
                                       "-",
                                       "+",
                                       "1e5",
                                       "x"};
    const int k = Below(100);
    if (k < 70) return std::to_string(Below(10));
    if (k < 85) return std::to_string(Below(300));
    if (k < 93) return std::to_string(Below(40000) - 20000);
    return kOdd[Below(sizeof kOdd / sizeof kOdd[0])];
  }
  std::string LineEnd() {
    const int k = Below(100);
    return k < 75 ? "\r\n" : k < 95 ? "\n" : "\r\r\n";
  }

  std::string E00() {
    const int cols = 1 + Below(40), rows = 1 + Below(20);
    std::string s = "EXP  0 /A/B.E00" + LineEnd() + "GRD  2" + LineEnd();
    s += std::to_string(cols) + " " + std::to_string(rows) + (Chance(95) ? " 1" : " 2") +
         " -2.1e+009" + LineEnd();
    s += "a" + LineEnd() + "b" + LineEnd() + "c" + LineEnd();
    const int width = Chance(75) ? 14 : 1 + Below(16);
    const int perLine = Chance(90) ? 5 : 1 + Below(7);
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < cols; c += perLine) {
        for (int i = c; i < cols && i < c + perLine; ++i) {
          const std::string v = Chance(80) ? std::to_string(Below(10)) : Value();
          s += std::string(v.size() < static_cast<std::size_t>(width) ? width - v.size() : 0, ' ') +
               v;
        }
        s += LineEnd();
      }
    return s + "EOG" + LineEnd();
  }

  std::string Asc() {
    const int cols = 1 + Below(40), rows = 1 + Below(20);
    const std::string e = LineEnd();
    std::string s = "ncols  " + std::to_string(cols) + e + "nrows  " + std::to_string(rows) + e +
                    "xllcorner 3.789e+005" + e + "yllcorner 0." + e + "cellsize 30." + e;
    if (Chance(70)) s += "nodata_value " + std::to_string(Chance(50) ? -9999 : Below(10)) + e;
    for (int r = 0; r < rows; ++r) {
      const int n = cols + (Chance(80) ? 0 : Below(5) - 2);
      const std::string sep = Chance(90) ? " " : Chance(50) ? "\t" : "  ";
      std::string line;
      for (int c = 0; c < n; ++c) line += (Chance(80) ? std::to_string(Below(10)) : Value()) + sep;
      if (Chance(20) && !line.empty()) line.pop_back();
      s += line + LineEnd();
    }
    return s;
  }

  std::string Points() {
    std::string s;
    for (int n = Below(120); n > 0; --n) {
      const std::string x = Chance(95) ? std::to_string(Below(45) - 2) : Value();
      const std::string y = Chance(95) ? std::to_string(Below(25) - 2) : Value();
      const std::string v = Value();
      if (Chance(80)) {
        auto field = [](const std::string& t) {
          return std::string(t.size() < 4 ? 4 - t.size() : 0, ' ') + t;
        };
        s += field(x) + " " + field(y) + " " + field(v) + (Chance(90) ? "\r\n" : LineEnd());
      } else {
        s += x + "\t" + y + "  " + v + " rest" + LineEnd();
      }
    }
    return s;
  }

  // Header, then data bytes.
  std::pair<std::string, std::string> Float() {
    const int cols = Below(40), rows = Below(20);
    const int noData = Chance(50) ? -9999 : Below(5);
    const std::string header = "ncols  " + std::to_string(cols) + "\r\nnrows  " +
                               std::to_string(rows) +
                               "\r\nxllcorner 1\r\nyllcorner 2\r\ncellsize 30\r\nnodata_value " +
                               std::to_string(noData) + "\r\n";
    std::string data;
    const int count = cols * rows + (Chance(80) ? 0 : Below(7) - 4);
    for (int i = 0; i < count; ++i) {
      float f;
      const int k = Below(100);
      if (k < 60) {
        f = static_cast<float>(Below(10));
      } else if (k < 70) {
        f = static_cast<float>(noData);
      } else if (k < 85) {
        f = static_cast<float>(Below(60000) - 30000) / 100.0f;
      } else {
        const std::uint32_t bits = static_cast<std::uint32_t>(gen_());
        std::memcpy(&f, &bits, sizeof f);
      }
      unsigned char b[4];
      std::uint32_t bits;
      std::memcpy(&bits, &f, sizeof bits);
      for (int j = 0; j < 4; ++j) b[j] = static_cast<unsigned char>(bits >> (8 * j));
      data.append(reinterpret_cast<const char*>(b), 4);
    }
    if (Chance(10) && !data.empty())
      data.resize(data.size() - 1 - static_cast<std::size_t>(Below(3)) % data.size());
    return {header, data};
  }

  // A few bytes changed, inserted, removed, or the file cut short.
  std::string Mutate(std::string s) {
    static const char kBytes[] = " \r\n\t-+0123456789a.eE\v\f";
    const int edits = Chance(40) ? 0 : 1 + Below(6);
    for (int e = 0; e < edits && !s.empty(); ++e) {
      const std::size_t at = static_cast<std::size_t>(Below(static_cast<int>(s.size())));
      const char b = Chance(10) ? '\0' : kBytes[Below(sizeof kBytes - 1)];
      switch (Below(6)) {
        case 0:
        case 1:
          s[at] = b;
          break;
        case 2:
          s.insert(s.begin() + static_cast<std::ptrdiff_t>(at), b);
          break;
        case 3:
          s.erase(at, 1);
          break;
        case 4:
          s.insert(at,
                   std::string(static_cast<std::size_t>(1 + Below(30)), Chance(50) ? ' ' : '7'));
          break;
        default:
          s.resize(at);
          break;
      }
    }
    if (Chance(10) && !s.empty() && s.back() == '\n') s.pop_back();  // no final line feed
    return s;
  }

private:
  std::mt19937 gen_;
};

class BlockTest : public ::testing::Test {
protected:
  // Outcomes at the block sizes given, into two coverages, both overlay
  // values; each must equal the outcome with blocks of 8 bytes.
  void ExpectSameAtEveryBlock(Reader read, const std::string& file,
                              const std::vector<std::size_t>& sizes) {
    auto outcomes = [&](std::size_t block) {
      BlockSize b(block);
      std::string all;
      for (int overlay = 0; overlay < 2; ++overlay)
        all += Outcome(read, file, 5, 5, overlay) + Outcome(read, file, 21, 43, overlay);
      return all;
    };
    const std::string reference = outcomes(8);
    for (std::size_t size : sizes)
      ASSERT_EQ(outcomes(size), reference) << "block of " << size << " bytes, file " << file;
  }

  fmt_test::ScratchDir dir;
};

const std::vector<std::size_t> kSizes = {9, 10, 13, 16, 31, 64, 100, 1000, 0};

TEST_F(BlockTest, RandomAndMutatedFilesReadTheSameAtEveryBlockSize) {
  Maker make(20261205);
  for (int i = 0; i < 150; ++i) {
    const std::string e00 = dir / "g.e00", asc = dir / "g.asc", xya = dir / "g.xya",
                      flt = dir / "g.flt";
    WriteAll(e00, make.Chance(70) ? make.Mutate(make.E00()) : make.E00());
    WriteAll(asc, make.Chance(70) ? make.Mutate(make.Asc()) : make.Asc());
    WriteAll(xya, make.Chance(70) ? make.Mutate(make.Points()) : make.Points());
    const auto pair = make.Float();
    WriteAll(dir / "g.hdr", pair.first);
    WriteAll(flt, pair.second);
    ExpectSameAtEveryBlock(Kind::E00, e00, kSizes);
    ExpectSameAtEveryBlock(Kind::Asc, asc, kSizes);
    ExpectSameAtEveryBlock(Kind::Xya, xya, kSizes);
    ExpectSameAtEveryBlock(Kind::Dat, xya, {13, 0});
    ExpectSameAtEveryBlock(Kind::Flt, flt, kSizes);
    if (HasFatalFailure()) return;
  }
}

TEST_F(BlockTest, ExportedFilesReadBackAtEveryBlockSize) {
  // The exporters' layouts take the eight-byte lanes; the cells come back.
  CLandUseCoverage src;
  ASSERT_EQ(src.InitCoverage(21, 43, 7), 1);
  fmt_test::FillRandom(src, 77);
  for (int c = 0; c < 43; c += 5)
    src.SetCellValue(3, c, static_cast<unsigned char>(c * 5));  // two and three digits
  ASSERT_EQ(src.ExportE00File(dir / "x.e00"), 1);
  ASSERT_EQ(src.ExportASCFile(dir / "x.asc"), 1);
  ASSERT_EQ(src.ExportBINFile(dir / "x.flt"), 1);
  ASSERT_EQ(src.ExportXYAFile(dir / "x.xya"), 1);
  for (std::size_t size : {std::size_t{8}, std::size_t{9}, std::size_t{77}, std::size_t{0}}) {
    BlockSize b(size);
    const struct {
      Reader import;
      const char* name;
    } kinds[] = {
        {Kind::E00, "x.e00"}, {Kind::Asc, "x.asc"}, {Kind::Flt, "x.flt"}, {Kind::Xya, "x.xya"}};
    for (const auto& k : kinds) {
      CLandUseCoverage back;
      ASSERT_EQ(back.InitCoverage(21, 43, 5), 1);
      ASSERT_EQ((back.*k.import)(dir / k.name, 0), 1) << k.name;
      for (int r = 0; r < 21; ++r)
        for (int c = 0; c < 43; ++c) {
          ASSERT_EQ(back.GetCellValue(r, c), src.GetCellValue(r, c))
              << k.name << " " << r << " " << c;
          // The point list names only the non-blank cells.
          const bool named = std::string(k.name) != "x.xya" || src.GetCellValue(r, c) != 0;
          ASSERT_EQ(back.GetCellAge(r, c), named ? 0 : 5) << k.name << " block " << size;
        }
    }
  }
}

// --- hand-made files at every block size -----------------------------------

// Reads `file` at every block size from 8 bytes to beyond its length into
// a coverage of 7 columns whose cells hold 1 with age 9, and expects the
// rows given (value:age, as fmt_test::Rows shows them).
void ExpectRowsAtEveryBlock(const std::string& file, std::size_t length, Reader read, int overlay,
                            std::vector<std::string> expected) {
  // A coverage has at least 5 rows; those the file does not reach stay.
  while (expected.size() < 5) expected.push_back("1:9 1:9 1:9 1:9 1:9 1:9 1:9");
  for (std::size_t size = 8; size <= length + 9; ++size) {
    BlockSize b(size);
    CLandUseCoverage cov;
    ASSERT_EQ(cov.InitCoverage(static_cast<int>(expected.size()), 7, 9), 1);
    cov.SetGridValue(1);
    fmt_test::MessageRecorder messages;
    ASSERT_EQ((cov.*read)(file, overlay), 1) << "block " << size;
    ASSERT_EQ(Rows(cov), expected) << "block " << size;
    ASSERT_TRUE(messages.texts.empty());
  }
}

TEST_F(BlockTest, AsciiRowsAcrossBoundariesOfNumbersAndLineEnds) {
  // 12345 keeps 57, -7 keeps 249, 300 keeps 44; "3.7" reads 3; a value of
  // 40 digits saturates to 255, leading zeros do not count; a row with
  // fewer values leaves the rest; a lone CR is white space; the NUL byte
  // ends a value's digits; the last row has no line end.
  const char kText[] =
      "ncols 7\r\nnrows 5\r\nxllcorner 1\r\nyllcorner 2\r\ncellsize 3\r\n"
      "12345 -7 3.7 2\r\n"
      "300 \r4 \r\n"
      "1234567890123456789012345678901234567890 00000000000000000000000000000000000005 1 2 3 4 5 6 "
      "7 8\n"
      "6\x00"
      "9 8\r\n"
      "1 2 3 4 5 6 7";
  const std::string text(kText, sizeof kText - 1);
  WriteAll(dir / "a.asc", text);
  const std::vector<std::string> expected = {"57 249 3 2 1:9 1:9 1:9", "44 4 1:9 1:9 1:9 1:9 1:9",
                                             "255 5 1 2 3 4 5", "6 8 1:9 1:9 1:9 1:9 1:9",
                                             "1 2 3 4 5 6 7"};
  ExpectRowsAtEveryBlock(dir / "a.asc", text.size(), Kind::Asc, 0, expected);
}

TEST_F(BlockTest, AsciiOneDigitLaneKeepsTheOverlayRule) {
  // Runs of one-digit values with blanks (the exporter's rows) next to a
  // wider value; with the overlay flag 0 and the no-data value 5 keep their
  // cells.
  const std::string text =
      "ncols 7\r\nnrows 2\r\nxllcorner 1\r\nyllcorner 2\r\ncellsize 3\r\nNODATA_value 5\r\n"
      "0 1 2 3 4 5 6 \r\n"
      "7 0 5 9 12 0 5\r\n";
  WriteAll(dir / "o.asc", text);
  ExpectRowsAtEveryBlock(dir / "o.asc", text.size(), Kind::Asc, 1,
                         {"1:9 1 2 3 4 1:9 6", "7 1:9 1:9 9 12 1:9 1:9"});
  ExpectRowsAtEveryBlock(dir / "o.asc", text.size(), Kind::Asc, 0,
                         {"0 1 2 3 4 5 6", "7 0 5 9 12 0 5"});
}

std::string Field(const std::string& digits) {
  return std::string(14 - digits.size(), ' ') + digits;
}

const std::string kE00Head =
    "EXP  0\r\nGRD  2\r\n         7         4 1-2.14748364700000e+009\r\n\r\n\r\n\r\n";

TEST_F(BlockTest, E00RowsJoinAcrossLinesAndBlocks) {
  // Seven columns take two lines per row.
  // Row 0: the exporter's fields, eight digits (12345678 keeps 78) in the
  //   last field of a line.
  // Row 1: its second line starts with a digit, so the last value of the
  //   first line and the first of the second are one number: 56.
  // Row 2: a sign at the end of its first line joins the 3 that starts the
  //   second: -3 keeps 253; nine digits 123456789 keep 21; the text ends
  //   after three values, the rest read 0.
  // Row 3: the file ends inside the row's first line, without a line end.
  const std::string text =
      kE00Head +                                                                 //
      Field("1") + Field("2") + Field("3") + Field("4") + Field("12345678") +    //
      "\r\n" + Field("6") + Field("7") + "\r\n" +                                //
      Field("1") + Field("2") + Field("3") + Field("4") + Field("5") + "\r\n" +  //
      "6" + Field("7") + "\r\n" +                                                //
      "  -\r\n3 123456789 4\n" +                                                 //
      "  9  8";
  WriteAll(dir / "j.e00", text);
  const std::vector<std::string> plain = {"1 2 3 4 78 6 7", "1 2 3 4 56 7 0", "253 21 4 0 0 0 0",
                                          "9 8 0 0 0 0 0"};
  ExpectRowsAtEveryBlock(dir / "j.e00", text.size(), Kind::E00, 0, plain);
  const std::vector<std::string> overlay = {"1 2 3 4 78 6 7", "1 2 3 4 56 7 1:9",
                                            "253 21 4 1:9 1:9 1:9 1:9", "9 8 1:9 1:9 1:9 1:9 1:9"};
  ExpectRowsAtEveryBlock(dir / "j.e00", text.size(), Kind::E00, 1, overlay);
}

TEST_F(BlockTest, E00ValuesBeyondEightDigitsTabsAndNulBytes) {
  // Fields of the exporter's width that its eight-byte lane does not take:
  // nine digits, a sign, a tab, a NUL byte after the digits, a field without
  // a leading blank. LF line ends only, the last line without one.
  const std::string text =
      kE00Head +  //
      Field("999999999") + Field("-1") + Field("\t5") + Field(std::string("7\0", 2)) + Field("+2") +
      "\n" + Field("3") + Field("4") + "\n" +                                        //
      "12345678901234" + Field("1") + Field("2") + Field("3") + Field("4") + "\n" +  //
      Field("5") + Field("6") + "\n" +                                               //
      Field("0") + Field("0") + Field("0") + Field("0") + Field("0") + "\n" +        //
      Field("0") + Field("0") + "\n" +                                               //
      Field("8") + Field("9");
  WriteAll(dir / "w.e00", text);
  // 999999999 keeps 255; -1 keeps 255; 12345678901234 saturates to 255.
  ExpectRowsAtEveryBlock(
      dir / "w.e00", text.size(), Kind::E00, 0,
      {"255 255 5 7 2 3 4", "255 1 2 3 4 5 6", "0 0 0 0 0 0 0", "8 9 0 0 0 0 0"});
}

TEST_F(BlockTest, PointLinesAcrossBoundaries) {
  // The exporter's lines, one with a NUL byte after its third number, one
  // whose second number is cut by a NUL (skipped), a line of 30 digits
  // (outside), tabs, signs (-1 keeps 255), a lone CR between two numbers, a
  // value of 0, 260 (keeps 4), and a last line without a line end.
  const std::string text =
      std::string("   0    0    3\r\n   6    4  260\r\n   1    1    5\0 junk\r\n", 54) +
      std::string("   2 \0   2    9\r\n", 17) +
      "123456789012345678901234567890 1 2\r\n"
      "\t+3\t-0\t-1\n"
      "4\r3 6\r\n"
      "   5    2    0\r\n"
      "  2 3 8";
  WriteAll(dir / "p.xya", text);
  ExpectRowsAtEveryBlock(
      dir / "p.xya", text.size(), Kind::Xya, 0,
      {"3 1:9 1:9 255 1:9 1:9 1:9", "1:9 5 1:9 1:9 1:9 1:9 1:9", "1:9 1:9 1:9 1:9 1:9 0 1:9",
       "1:9 1:9 8 1:9 6 1:9 1:9", "1:9 1:9 1:9 1:9 1:9 1:9 4"});
}

TEST_F(BlockTest, EmptyFilesAndLoneLineEnds) {
  for (const std::string& text :
       {std::string(), std::string("\r\n"), std::string("\n\n\n"), std::string("\r")}) {
    WriteAll(dir / "e.xya", text);
    ExpectRowsAtEveryBlock(dir / "e.xya", text.size(), Kind::Xya, 0,
                           {"1:9 1:9 1:9 1:9 1:9 1:9 1:9"});
  }
  // A grid header and no rows: a row of a missing line is empty (ASCII:
  // unchanged) or reads zeros (E00).
  WriteAll(dir / "e.asc", "ncols 7\r\nnrows 1\r\nxllcorner 1\r\nyllcorner 2\r\ncellsize 3\r\n");
  ExpectRowsAtEveryBlock(dir / "e.asc", 60, Kind::Asc, 0, {"1:9 1:9 1:9 1:9 1:9 1:9 1:9"});
  WriteAll(dir / "e.e00", kE00Head);
  ExpectRowsAtEveryBlock(dir / "e.e00", kE00Head.size(), Kind::E00, 0,
                         {"0 0 0 0 0 0 0", "0 0 0 0 0 0 0", "0 0 0 0 0 0 0", "0 0 0 0 0 0 0"});
}

TEST_F(BlockTest, FloatValuesAcrossBoundariesAndAPartialLastValue) {
  WriteAll(dir / "f.hdr", "ncols 7\r\nnrows 2\r\n\r\n\r\n\r\nnodata_value -9999\r\n");
  const float values[] = {3.99f, -1.0f, 256.0f, -9999.0f, 1e10f, 0.0f, 255.0f, 2.5f, -2.9f};
  std::string data;
  for (float f : values) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    for (int j = 0; j < 4; ++j) data.push_back(static_cast<char>(bits >> (8 * j)));
  }
  data += "\x01\x02";  // half a value: ignored
  WriteAll(dir / "f.flt", data);
  // 3, 255, 0, the no-data value gives 6, 1e10 has no int value (kept), 0,
  // 255; row 1: 2, -2 keeps 254, then the data end. With the overlay flag
  // 0.0 keeps its cell, but 256.0 is not 0 and stores ID 0.
  ExpectRowsAtEveryBlock(dir / "f.flt", data.size(), Kind::Flt, 0,
                         {"3 255 0 6 1:9 0 255", "2 254 1:9 1:9 1:9 1:9 1:9"});
  ExpectRowsAtEveryBlock(dir / "f.flt", data.size(), Kind::Flt, 1,
                         {"3 255 0 6 1:9 1:9 255", "2 254 1:9 1:9 1:9 1:9 1:9"});
}

TEST_F(BlockTest, ABlockThatCannotBeAllocatedFallsBackToTheSmallOne) {
#ifdef TOWNGROW_ASAN
  GTEST_SKIP() << "the address sanitizer refuses allocations of this size outright";
#endif
  CLandUseCoverage src;
  ASSERT_EQ(src.InitCoverage(30, 400, 7), 1);  // E00 rows of 80 lines, larger than the small block
  fmt_test::FillRandom(src, 5);
  ASSERT_EQ(src.ExportE00File(dir / "big.e00"), 1);
  BlockSize b(static_cast<std::size_t>(-1) / 2);
  CLandUseCoverage back;
  ASSERT_EQ(back.InitCoverage(30, 400, 3), 1);
  ASSERT_EQ(back.ImportE00File(dir / "big.e00", 0), 1);
  EXPECT_EQ(testkit::Values(back), testkit::Values(src));
  io::FileReader in;
  ASSERT_TRUE(in.Open(dir / "big.e00"));
  EXPECT_EQ(in.Capacity(), 4096u);
}

TEST_F(BlockTest, BlockAccessOfTheFileLayer) {
  WriteAll(dir / "b.txt", "abcdefghijklmnopqrstuvwxyz");
  BlockSize b(10);
  io::FileReader in;
  ASSERT_TRUE(in.Open(dir / "b.txt"));
  EXPECT_EQ(in.Capacity(), 10u);
  EXPECT_EQ(in.Available(), 0u);  // nothing read before it is asked for
  ASSERT_TRUE(in.More());
  ASSERT_EQ(std::string(in.Data(), in.Available()), "abcdefghij");
  EXPECT_FALSE(in.More());  // full of unread bytes
  in.Advance(7);
  ASSERT_TRUE(in.More());  // "hij" moves to the front, 7 more behind it
  ASSERT_EQ(std::string(in.Data(), in.Available()), "hijklmnopq");
  EXPECT_EQ(in.LineGet(), 'h');  // the character-wise calls read the same buffer
  in.Advance(in.Available());
  ASSERT_TRUE(in.More());
  EXPECT_EQ(std::string(in.Data(), in.Available()), "rstuvwxyz");
  in.Advance(in.Available());
  EXPECT_FALSE(in.More());  // the end of the file
  EXPECT_TRUE(in.AtEnd());
}

}  // namespace
