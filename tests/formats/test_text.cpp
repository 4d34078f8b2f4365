// Numbers as the exchange files write and read them, whatever the locale,
// and the file layer under the readers: line ends, missing lines, the
// 79-character limit, the cursor within a line, raw bytes and the writer.
#include <clocale>

#include "formats/numbers.h"
#include "formats/text_file.h"
#include "support/files.h"
#include "support/scene.h"

using namespace towngrow::io;

TEST(Numbers, WrittenInExponentFourDigitAndIntegerFormsReadAsAtoiAndAtof) {
  const char* set = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");  // the point stays a point
  const std::tuple<double, int, int, const char*> exp[] = {
      {30.0, 13, 21, " 3.0000000000000e+001"},
      {-2147483647.0, 14, 21, "-2.14748364700000e+009"},
      {0.0, 6, 14, " 0.000000e+000"},
      {0.00125, 2, 0, "1.25e-003"},
      {1e-300, 1, 0, "1.0e-300"},
      {2.6, 0, 0, "3e+000"},
      {9.9999996, 6, 0, "1.000000e+001"},
      {2.0 / 3.0, 6, 0, "6.666667e-001"},
      {-46.51587, 6, 14, "-4.651587e+001"},
      {std::nan(""), 6, 6, "   nan"},
      {-HUGE_VAL, 6, 0, "-inf"}};
  for (const auto& k : exp) {
    std::string s;
    AppendExp(s, std::get<0>(k), std::get<1>(k), std::get<2>(k));
    EXPECT_EQ(s, std::get<3>(k));
  }
  const std::pair<double, const char*> g4[] = {{30.0, "30."},
                                               {0.0, "0."},
                                               {-0.0, "0."},
                                               {1000.0, "1000"},
                                               {2500.4, "2500"},
                                               {12.5, "12.5"},
                                               {0.1, "0.1"},
                                               {1.23456, "1.235"},
                                               {378923.0, "3.789e+005"},
                                               {12000.0, "1.2e+004"},
                                               {0.05, "5.e-002"},
                                               {-378923.0, "-3.789e+005"},
                                               {1e-120, "1.e-120"},
                                               {9999.7, "1.e+004"},
                                               {999.96, "1000"},
                                               {0.0099996, "1.e-002"},
                                               {0.00999949, "9.999e-003"}};
  for (const auto& k : g4) {
    std::string s;
    AppendGeneral4(s, k.first);
    EXPECT_EQ(s, k.second);
  }
  std::string ints;
  for (auto v : {std::pair<long long, int>{100, 10}, {10000, 4}, {-7, 4}, {-2147483648LL, 0}})
    AppendIntWidth(ints, v.first, v.second), ints += "|";
  EXPECT_EQ(ints, "       100|10000|  -7|-2147483648|");
  const std::pair<const char*, int> atoi[] = {{"42", 42},
                                              {"  \t-17xyz", -17},
                                              {"+5", 5},
                                              {"3.7", 3},
                                              {"", 0},
                                              {"-", 0},
                                              {"--5", 0},
                                              {"1e5", 1},
                                              {"99999999999999999999", 2147483647},
                                              {"-99999999999999999999", -2147483647 - 1}};
  for (const auto& k : atoi) EXPECT_EQ(ParseIntPrefix(k.first), k.second) << k.first;
  const std::pair<const char*, double> atof[] = {{" 378923", 378923.0}, {"3.789e+005", 378900.0},
                                                 {"5.e-002", 0.05},     {".5", 0.5},
                                                 {"-12.5abc", -12.5},   {"1e+", 1.0},
                                                 {"2E3", 2000.0},       {"\v7", 7.0},
                                                 {"xllcorner\t5", 0.0}, {"inf", 0.0},
                                                 {"0x10", 0.0},         {"1e-999", 0.0}};
  for (const auto& k : atof)
    EXPECT_DOUBLE_EQ(ParseDoublePrefix(std::string(k.first)), k.second) << k.first;
  EXPECT_TRUE(std::isinf(ParseDoublePrefix(std::string("1e999"))));
  const std::string s = "  ncols \t 12 x";
  const char *p = s.data(), *end = p + s.size();
  int v = -1;
  EXPECT_TRUE(ScanWord(p, end) && ScanInt(p, end, v) && !ScanInt(p, end, v) && ScanWord(p, end));
  EXPECT_EQ(v * 10 + ScanWord(p, end) + ParseIntPrefix(s.data() + 10, s.data() + 11), 121);
  if (set != nullptr) std::setlocale(LC_NUMERIC, "C");
}

TEST(FileLayer, LinesTheirEndsTheCursorRawBytesAndTheWriter) {
  testkit::ScratchDir dir;
  auto lines = [&](const std::string& bytes, std::size_t keep, bool limited, int count) {
    testkit::WriteAll(dir / "t.txt", bytes);
    FileReader in;
    EXPECT_TRUE(in.Open(dir / "t.txt"));
    std::vector<std::string> got(static_cast<std::size_t>(count), "x");
    for (std::string& line : got)
      limited ? in.ReadLineLimited(line, keep) : in.ReadLine(line, keep);
    EXPECT_TRUE(in.AtEnd() && in.Peek() == FileReader::kEnd);
    return got;
  };
  using L = std::vector<std::string>;  // only the CR right before the LF ends a line
  EXPECT_EQ(lines("one\r\ntwo\nthr\ree\r\r\nlast", 100, false, 5),
            (L{"one", "two", "thr\ree\r", "last", ""}));
  EXPECT_EQ(lines("abcdef\r\nabc\r\nab\r\nz", 3, false, 4), (L{"abc", "abc", "ab", "z"}));
  const std::string l79(79, 'x'), l80(80, 'y'), big(65535, 'a');  // exactly 79: with its line end
  EXPECT_EQ(lines(l79 + "\r\n" + l80 + "\r\nnext\r\n", 79, true, 5),
            (L{l79, std::string(79, 'y'), "y", "next", ""}));
  EXPECT_EQ(lines(big + "\r\nb\r\n", 1 << 20, false, 2), (L{big, "b"}));  // CR at a load's end
  testkit::WriteAll(dir / "t.txt", "a\rb\r\nc\r\nd");
  FileReader in;
  ASSERT_TRUE(in.Open(dir / "t.txt"));
  std::string seen;
  for (int k = 0; k < 5; ++k) seen += static_cast<char>(in.LineGet());
  EXPECT_EQ(seen, std::string("a\rb") + char(FileReader::kEnd) + char(FileReader::kEnd));
  in.EndLine();
  EXPECT_EQ(in.LinePeek() * 1000 + in.LineGet(), 'c' * 1001);
  std::string bytes(70000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
  testkit::WriteAll(dir / "t.bin", bytes);
  ASSERT_TRUE(in.Open(dir / "t.bin"));
  std::string got(40000, '\0');
  EXPECT_EQ(in.ReadBytes(&got[0], 40000) + in.ReadBytes(&got[0], 40000) + in.ReadBytes(&got[0], 9),
            70000u);
  EXPECT_EQ(got.substr(0, 30000), bytes.substr(40000));
  FileWriter out;  // a file replaced, lines ended by CR LF, more than the buffer
  ASSERT_TRUE(out.Create(dir / "t.txt"));
  out.WriteLine("one");
  out.WriteLine("");
  out.Write(std::string(100000, 'z'));
  out.Close();
  EXPECT_EQ(testkit::ReadAll(dir / "t.txt"), "one\r\n\r\n" + std::string(100000, 'z'));
  EXPECT_FALSE(in.Open(dir / "missing") || in.Open(dir.Path()) || in.Open(""));
  EXPECT_FALSE(out.Create(dir / "no/such/t.txt") || out.Create(dir.Path()));
}
