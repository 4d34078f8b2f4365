// Numbers as the exchange files write and read them, whatever the locale:
// the forms at their edges (the files' own are pinned byte for byte by
// tests/formats/test_formats.cpp).
#include <clocale>

#include "formats/numbers.h"
#include "support/scene.h"

using namespace towngrow::io;

TEST(Numbers, WrittenInExponentFourDigitAndIntegerFormsReadAsAtoiAndAtof) {
  const char* set = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");  // the point stays a point
  std::string written;
  for (const auto& k : {std::make_tuple(-2147483647.0, 14, 21), std::make_tuple(2.6, 0, 0),
                        std::make_tuple(9.9999996, 6, 0), std::make_tuple(1e-300, 1, 0),
                        std::make_tuple(std::nan(""), 6, 6), std::make_tuple(-HUGE_VAL, 6, 0)})
    AppendExp(written, std::get<0>(k), std::get<1>(k), std::get<2>(k)), written += "|";
  for (double v : {-0.0, 1000.0, 2500.4, 0.1, 1.23456, 12000.0, -378923.0, 1e-120, 9999.7, 999.96,
                   0.0099996, 0.00999949})
    AppendGeneral4(written, v), written += "|";
  for (auto v : {std::pair<long long, int>{10000, 4}, {-7, 4}, {-2147483648LL, 0}})
    AppendIntWidth(written, v.first, v.second), written += "|";
  EXPECT_EQ(written,
            "-2.14748364700000e+009|3e+000|1.000000e+001|1.0e-300|   nan|-inf|0.|1000|2500|0.1|"
            "1.235|1.2e+004|-3.789e+005|1.e-120|1.e+004|1000|1.e-002|9.999e-003|10000|  -7|"
            "-2147483648|");
  const std::pair<const char*, int> atoi[] = {{"  \t-17xyz", -17},
                                              {"+5", 5},
                                              {"3.7", 3},
                                              {"-", 0},
                                              {"--5", 0},
                                              {"1e5", 1},
                                              {"99999999999999999999", 2147483647},
                                              {"-99999999999999999999", -2147483647 - 1}};
  for (const auto& k : atoi) EXPECT_EQ(ParseIntPrefix(k.first), k.second) << k.first;
  const std::pair<const char*, double> atof[] = {{"3.789e+005", 378900.0},
                                                 {"5.e-002", 0.05},
                                                 {".5", 0.5},
                                                 {"-12.5abc", -12.5},
                                                 {"1e+", 1.0},
                                                 {"\v7", 7.0},
                                                 {"inf", 0.0},
                                                 {"0x10", 0.0},
                                                 {"1e-999", 0.0},
                                                 {"xllcorner\t5", 0.0}};
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
