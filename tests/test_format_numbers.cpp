// Numbers as the exchange files show them and the file layer under the
// readers and writers: line ends, missing lines, the 79-character limit,
// peeking, raw bytes, and read and write errors reaching the caller.
#include <clocale>
#include <cmath>
#include <limits>

#include "../src/formats/numbers.h"
#include "../src/formats/text_file.h"
#include "test_format_support.h"

using namespace towngrow;
using namespace towngrow::io;

namespace {

std::string Exp(double v, int precision, int width) {
  std::string s;
  AppendExp(s, v, precision, width);
  return s;
}

std::string G4(double v) {
  std::string s;
  AppendGeneral4(s, v);
  return s;
}

std::string IntW(long long v, int width) {
  std::string s;
  AppendIntWidth(s, v, width);
  return s;
}

double Atof(const std::string& s) { return ParseDoublePrefix(s); }
int Atoi(const std::string& s) { return ParseIntPrefix(s); }

}  // namespace

TEST(NumberWriting, ExponentFourDigitAndIntegerForms) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    double v;
    int precision, width;
    const char* text;
  } exp[] = {
      {30.0, 13, 21, " 3.0000000000000e+001"},
      {4072345.0, 13, 21, " 4.0723450000000e+006"},
      {-2147483647.0, 14, 21, "-2.14748364700000e+009"},  // wider than its field: no cut
      {0.0, 6, 14, " 0.000000e+000"},
      {255.0, 6, 14, " 2.550000e+002"},
      {0.00125, 2, 0, "1.25e-003"},
      {1e-300, 1, 0, "1.0e-300"},
      {2.6, 0, 0, "3e+000"},               // no decimals, no point
      {9.9999996, 6, 0, "1.000000e+001"},  // rounding carries into the exponent
      {1.0 / 3.0, 6, 0, "3.333333e-001"},
      {2.0 / 3.0, 6, 0, "6.666667e-001"},
      {-46.51587, 6, 14, "-4.651587e+001"},
      {nan, 6, 6, "   nan"},
      {-inf, 6, 0, "-inf"},
  };
  for (const auto& k : exp) EXPECT_EQ(Exp(k.v, k.precision, k.width), k.text) << k.text;
  // The four-digit style of the ASCII header chooses its form after rounding.
  const std::pair<double, const char*> g4[] = {
      {30.0, "30."},          {0.0, "0."},
      {-0.0, "0."},           {100.0, "100."},
      {1000.0, "1000"},       {2500.4, "2500"},
      {12.5, "12.5"},         {0.25, "0.25"},
      {0.1, "0.1"},           {1.234, "1.234"},
      {1.23456, "1.235"},     {378923.0, "3.789e+005"},
      {12000.0, "1.2e+004"},  {0.05, "5.e-002"},
      {-30.0, "-30."},        {-378923.0, "-3.789e+005"},
      {1e-120, "1.e-120"},    {9999.7, "1.e+004"},
      {999.96, "1000"},       {0.099996, "0.1"},
      {0.0099996, "1.e-002"}, {0.00999949, "9.999e-003"},
  };
  for (const auto& k : g4) EXPECT_EQ(G4(k.first), k.second) << k.second;
  const std::pair<long long, int> ints[] = {
      {100, 10}, {1, 2}, {10000, 4}, {-7, 4}, {-2147483648LL, 0}};
  const char* intTexts[] = {"       100", " 1", "10000", "  -7", "-2147483648"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(IntW(ints[i].first, ints[i].second), intTexts[i]);
}

TEST(NumberWriting, IndependentOfTheLocale) {
  // Whatever locale the host sets, the point stays a point.
  const char* set = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  EXPECT_EQ(G4(12.5), "12.5");
  EXPECT_EQ(Exp(12.5, 2, 0), "1.25e+001");
  EXPECT_DOUBLE_EQ(Atof("12.5"), 12.5);
  if (set != nullptr) std::setlocale(LC_NUMERIC, "C");
}

TEST(NumberReading, IntegersAsAtoiAndDoublesAsAtofReadThem) {
  const std::pair<const char*, int> ints[] = {
      {"42", 42},
      {"  \t-17xyz", -17},
      {"+5", 5},
      {"3.7", 3},
      {"-9999.000", -9999},
      {"", 0},
      {"abc", 0},
      {"-", 0},
      {"--5", 0},
      {"1e5", 1},
      {"2147483647", 2147483647},
      {"99999999999999999999", 2147483647},
      {"-99999999999999999999", -2147483647 - 1},
  };
  for (const auto& k : ints) EXPECT_EQ(Atoi(k.first), k.second) << '"' << k.first << '"';
  const std::string s = "123456";
  EXPECT_EQ(ParseIntPrefix(s.data(), s.data() + 3), 123);  // stops at the end of the range
  const std::pair<const char*, double> doubles[] = {
      {" 378923", 378923.0},
      {"3.789e+005", 378900.0},
      {"5.e-002", 0.05},
      {"30.", 30.0},
      {".5", 0.5},
      {"-12.5abc", -12.5},
      {"1e", 1.0},
      {"1e+", 1.0},  // an exponent needs a digit
      {"2E3", 2000.0},
      {"\t7", 7.0},
      {".", 0.0},
      {"xllcorner\t5", 0.0},
      {"", 0.0},
      {"inf", 0.0},
      {"0x10", 0.0},
      {"1e-999", 0.0},
      {"0.0000001e-400", 0.0},
  };
  for (const auto& k : doubles) EXPECT_DOUBLE_EQ(Atof(k.first), k.second) << '"' << k.first << '"';
  EXPECT_TRUE(std::isinf(Atof("1e999")));
}

TEST(NumberReading, ScanningWordsAndIntegers) {
  const std::string s = "  ncols \t 12 x";
  const char* p = s.data();
  const char* end = p + s.size();
  int v = -1;
  ASSERT_TRUE(ScanWord(p, end));
  ASSERT_TRUE(ScanInt(p, end, v));
  EXPECT_EQ(v, 12);
  EXPECT_FALSE(ScanInt(p, end, v));  // "x" is no integer, nothing changes
  EXPECT_EQ(v, 12);
  EXPECT_EQ(*p, ' ');
  ASSERT_TRUE(ScanWord(p, end));
  EXPECT_FALSE(ScanWord(p, end));
}

namespace {

// Reads the lines of a file written with the given bytes, each kept up to
// `keep` characters (limited: the rest of a longer line is the next line).
std::vector<std::string> LinesOf(const std::string& bytes, std::size_t keep, bool limited,
                                 int count) {
  fmt_test::ScratchDir dir;
  fmt_test::WriteAll(dir / "t.txt", bytes);
  FileReader in;
  EXPECT_TRUE(in.Open(dir / "t.txt"));
  std::vector<std::string> lines(static_cast<std::size_t>(count), "x");
  for (std::string& line : lines)
    limited ? in.ReadLineLimited(line, keep) : in.ReadLine(line, keep);
  EXPECT_TRUE(in.AtEnd());
  EXPECT_EQ(in.Peek(), FileReader::kEnd);
  return lines;
}

}  // namespace

TEST(FileLayer, LinesEndAtLineFeedsWithTheirCarriageReturnsAndMissingLinesReadEmpty) {
  using L = std::vector<std::string>;
  // Only the CR right before the LF is line end; a kept part drops the rest.
  EXPECT_EQ(LinesOf("one\r\ntwo\nthr\ree\r\r\nlast", 100, false, 5),
            (L{"one", "two", "thr\ree\r", "last", ""}));
  EXPECT_EQ(LinesOf("abcdef\r\nabc\r\nab\r\nz", 3, false, 4), (L{"abc", "abc", "ab", "z"}));
  const std::string l79(79, 'x'), l80(80, 'y');  // exactly 79: read with its line end
  EXPECT_EQ(LinesOf(l79 + "\r\n" + l80 + "\r\nnext\r\n", 79, true, 5),
            (L{l79, std::string(79, 'y'), "y", "next", ""}));
}

TEST(FileLayer, InLineCursorStopsAtTheLineEndAlsoAcrossTheBufferBoundary) {
  // The CR of the first line end is the last byte of the first buffer load.
  const std::string first(65535, 'a');
  EXPECT_EQ(LinesOf(first + "\r\nb\r\n", 1 << 20, false, 2),
            (std::vector<std::string>{first, "b"}));
  fmt_test::ScratchDir dir;
  const std::string second(first.size() - 8, 'a');  // its CR ends the first buffer load too
  fmt_test::WriteAll(dir / "t.txt", "a\rb\r\nc\r\n" + second + "\r\nd");
  FileReader in;
  ASSERT_TRUE(in.Open(dir / "t.txt"));
  for (int expected : {'a', '\r'}) EXPECT_EQ(in.LineGet(), expected);
  EXPECT_EQ(in.LinePeek(), 'b');
  EXPECT_EQ(in.LineGet(), 'b');
  EXPECT_EQ(in.LineGet(), FileReader::kEnd);
  EXPECT_EQ(in.LineGet(), FileReader::kEnd);  // stays at the end until EndLine
  in.EndLine();
  EXPECT_EQ(in.LineGet(), 'c');
  in.EndLine();
  std::size_t n = 0;
  while (in.LineGet() != FileReader::kEnd) ++n;
  EXPECT_EQ(n, second.size());
  in.EndLine();
  EXPECT_EQ(in.LineGet(), 'd');
  in.EndLine();
  EXPECT_TRUE(in.AtEnd());
}

TEST(FileLayer, RawBytesUpToTheEnd) {
  fmt_test::ScratchDir dir;
  std::string bytes(70000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
  fmt_test::WriteAll(dir / "t.bin", bytes);
  FileReader in;
  ASSERT_TRUE(in.Open(dir / "t.bin"));
  std::string got(40000, '\0');
  EXPECT_EQ(in.ReadBytes(&got[0], 40000), 40000u);
  EXPECT_EQ(got, bytes.substr(0, 40000));
  EXPECT_EQ(in.ReadBytes(&got[0], 40000), 30000u);
  EXPECT_EQ(got.substr(0, 30000), bytes.substr(40000));
  EXPECT_EQ(in.ReadBytes(&got[0], 10), 0u);
}

TEST(FileLayer, WriterEndsLinesWithCrLfAndReplacesFiles) {
  fmt_test::ScratchDir dir;
  fmt_test::WriteAll(dir / "t.txt", "old content that is longer");
  FileWriter out;
  ASSERT_TRUE(out.Create(dir / "t.txt"));
  out.WriteLine("one");
  out.WriteLine("");
  const std::string big(100000, 'z');  // larger than the buffer
  out.Write(big);
  out.Close();
  EXPECT_EQ(fmt_test::ReadAll(dir / "t.txt"), "one\r\n\r\n" + big);
}

TEST(FileLayer, OpenAndCreateFailQuietlyAndWriteAndReadErrorsReachTheCaller) {
  fmt_test::ScratchDir dir;
  FileReader in;
  EXPECT_FALSE(in.Open(dir / "missing.txt"));
  EXPECT_FALSE(in.Open(dir.Path()));  // a directory is no file
  EXPECT_FALSE(in.Open(""));
  FileWriter out;
  EXPECT_FALSE(out.Create(dir / "no/such/dir/t.txt"));
  EXPECT_FALSE(out.Create(dir.Path()));
  if (!fmt_test::Exists("/dev/full") || !fmt_test::Exists("/proc/self/mem"))
    GTEST_SKIP() << "needs /dev/full and /proc/self/mem";
  ASSERT_TRUE(out.Create("/dev/full"));
  out.WriteLine("x");
  try {
    out.Close();
    ADD_FAILURE() << "no error";
  } catch (const FileError& e) {
    EXPECT_EQ(e.FileName(), "/dev/full");
  }
  // Reading the start of a process's memory image fails with an I/O error.
  ASSERT_TRUE(in.Open("/proc/self/mem"));
  std::string line;
  EXPECT_THROW(in.ReadLine(line, 10), FileError);
}
