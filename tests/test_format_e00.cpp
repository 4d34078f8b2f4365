// The E00 integer grid: the whole file that the writer produces, the header
// checks and messages of the reader, row joining, short rows and files, and
// the overlay rule.
#include "test_format_support.h"

using namespace towngrow;
using fmt_test::ReadAll;
using fmt_test::Rows;
using fmt_test::WriteAll;

namespace {

// One value in a field of 14 characters.
std::string F(const std::string& digits) { return std::string(14 - digits.size(), ' ') + digits; }

const std::string kZeros5 = F("0") + F("0") + F("0") + F("0") + F("0");

const std::string kTail =
    "EOG\r\n"
    "IFO  2\r\n"
    "PELGA.STA                       XX   4   4  16         1\r\n"
    "MIN               4-1   14-1  10 3 60-1  -1  -1-1                   1-\r\n"
    "MAX               4-1   54-1  10 3 60-1  -1  -1-1                   2-\r\n"
    "MEAN              4-1   94-1  10 3 60-1  -1  -1-1                   3-\r\n"
    "STDV              4-1  134-1  10 3 60-1  -1  -1-1                   4-\r\n";

std::string Header(const std::string& description) {
  return "EXP  0 /NORVA/TAMBE/QOR/PELGA.E00\r\nGRD  2\r\n" + description +
         "\r\n 3.0000000000000e+001 3.0000000000000e+001\r\n"
         " 3.7892300000000e+005 4.0723450000000e+006\r\n"
         " 3.7910300000000e+005 4.0724950000000e+006\r\n";
}

using E00Test = fmt_test::FormatTest;
using R = std::vector<std::string>;

}  // namespace

TEST_F(E00Test, WritesTheWholeFileTheUpperCornerFollowsTheSizeBlankHasAZeroRecord) {
  cov.SetCellValue(0, 0, 255);
  cov.SetCellValue(2, 3, 12);
  cov.SetCellValue(4, 5, 3);
  ASSERT_EQ(cov.ExportE00File(dir / "g.e00"), 1);
  // 30 cells summing to 270: mean 9; squares 246^2 + 3^2 + 6^2 + 27 * 9^2 =
  // 62748, over 29 is 2163.7241..., root 46.515848...
  const std::string expected =
      "EXP  0 /NORVA/TAMBE/QOR/PELGA.E00                                       \r\n"
      "GRD  2\r\n"
      "         6         5 1-2.14748364700000e+009\r\n"
      " 3.0000000000000e+001 3.0000000000000e+001\r\n"
      " 3.7892300000000e+005 4.0723450000000e+006\r\n"
      " 3.7910300000000e+005 4.0724950000000e+006\r\n" +
      F("255") + F("0") + F("0") + F("0") + F("0") + "\r\n" + F("0") + "\r\n" +  //
      kZeros5 + "\r\n" + F("0") + "\r\n" +                                       //
      F("0") + F("0") + F("0") + F("12") + F("0") + "\r\n" + F("0") + "\r\n" +   //
      kZeros5 + "\r\n" + F("0") + "\r\n" +                                       //
      kZeros5 + "\r\n" + F("3") + "\r\n" + kTail +
      " 0.000000e+000 2.550000e+002 9.000000e+000 4.651585e+001\r\n"
      "EOI\r\n"
      "EOS\r\n";
  EXPECT_EQ(ReadAll(dir / "g.e00"), expected);
  EXPECT_EQ(expected.substr(0, expected.find('\r')).size(), 72u);
}

TEST_F(E00Test, LinesPerRowFollowTheNumberOfColumns) {
  for (int cols : {5, 6, 10, 11}) {  // five values of 14 characters a line
    CLandUseCoverage c;
    ASSERT_EQ(c.InitCoverage(5, cols, 0), 1);
    ASSERT_EQ(c.ExportE00File(dir / "w.e00"), 1);
    const std::string text = ReadAll(dir / "w.e00");
    const std::size_t start = text.find("\r\n", text.find("4.0724950000000e+006")) + 2;
    std::string row;
    for (int k = 0; k < cols; ++k) row += F("0") + (k % 5 == 4 || k == cols - 1 ? "\r\n" : "");
    std::string rows;
    for (int r = 0; r < 5; ++r) rows += row;
    EXPECT_EQ(text.substr(start, text.find("EOG") - start), rows) << cols << " columns";
  }
  ASSERT_EQ(cov.ExportE00File(dir / "z.e00"), 1);
  EXPECT_NE(ReadAll(dir / "z.e00")
                .find(kTail +
                      " 0.000000e+000 0.000000e+000 0.000000e+000 0.000000e+000\r\nEOI\r\nEOS\r\n"),
            std::string::npos);
  CLandUseCoverage c;
  ASSERT_EQ(c.InitCoverage(80, 100, 0), 1);
  ASSERT_EQ(c.ExportE00File(dir / "h.e00"), 1);
  const std::string text = ReadAll(dir / "h.e00");
  EXPECT_EQ(text.substr(0, text.find(" 3.0")),
            "EXP  0 /NORVA/TAMBE/QOR/PELGA.E00" + std::string(39, ' ') +
                "\r\nGRD  2\r\n       100        80 1-2.14748364700000e+009\r\n");
  EXPECT_NE(text.find("\r\n 3.8192300000000e+005 4.0747450000000e+006\r\n"), std::string::npos);
}

TEST_F(E00Test, ReadsAGridIntoTheCoverage) {
  WriteAll(dir / "r.e00", Header("         6         3 1-2.14748364700000e+009") +  //
                              F("1") + F("2") + F("3") + F("4") + F("5") + "\r\n" + F("6") +
                              "\r\n" + F("256") + F("-1") + F("-9999") + F("0") + F("7") + "\r\n" +
                              F("8") + "\r\n" + F("10") + F("11") + F("12") + F("13") + F("14") +
                              "\r\n" + F("15") + "\r\n" + kTail);
  cov.SetCellValue(1, 3, 44);
  ASSERT_EQ(cov.ImportE00File(dir / "r.e00", 0), 1);
  EXPECT_EQ(Rows(cov), (R{"1 2 3 4 5 6", "0 255 241 0 7 8", "10 11 12 13 14 15",
                          "0:9 0:9 0:9 0:9 0:9 0:9", "0:9 0:9 0:9 0:9 0:9 0:9"}));
  EXPECT_TRUE(messages.texts.empty());
}

TEST_F(E00Test, OverlayKeepsCellsWhereTheFileHoldsZero) {
  const std::string file = Header("         5         2 1-2.14748364700000e+009") +  //
                           F("0") + F("3") + F("0") + F("0") + F("4") + "\r\n" + kZeros5 + "\r\n" +
                           kTail;
  WriteAll(dir / "o.e00", file);
  cov.SetCellValue(0, 0, 5);
  ASSERT_EQ(cov.ImportE00File(dir / "o.e00", 1), 1);
  EXPECT_EQ(Rows(cov, 2), (R{"5:9 3 0:9 0:9 4 0:9", "0:9 0:9 0:9 0:9 0:9 0:9"}));
  ASSERT_EQ(cov.ImportE00File(dir / "o.e00", 0), 1);  // column 5 lies beyond the file's
  EXPECT_EQ(Rows(cov, 2), (R{"0 3 0 0 4 0:9", "0 0 0 0 0 0:9"}));
}

TEST_F(E00Test, RowsReadTheirOwnLinesJoinedAndShortFilesReadZeros) {
  const std::string description85 =
      "         5         2 1-2.14748364700000e+009" + std::string(35, ' ') + "EXTRA!";
  struct Case {
    const char* what;
    std::string file;
    R rows;
  };
  const Case cases[] = {
      // Without leading blanks a line's last value and the next line's first
      // run together; the missing value is stored as 0.
      {"joined lines",
       Header("6 2 1 -2147483647.0") + "1 2 3 4 5\r\n6\r\n7 8 9 10 11\r\n 12\r\n" + kTail,
       {"1 2 3 4 56 0", "7 8 9 10 11 12"}},
      {"a row reads only its own lines",
       Header("6 3 1 0") + "1 2\r\n\r\n3 4 5 6 7 8 9\r\n10\r\n11 12 13 14 15 \r\n16 17 18 19\r\n" +
           kTail,
       {"1 2 0 0 0 0", "3 4 5 6 7 8", "11 12 13 14 15 16"}},
      {"the file ends inside the values",
       Header("6 3 1 0") + F("4") + F("5"),
       {"4 5 0 0 0 0", "0 0 0 0 0 0", "0 0 0 0 0 0", "0:9 0:9 0:9 0:9 0:9 0:9"}},
      // A description of 85 characters: its rest counts as the cell size
      // line, so the real upper-corner line is read as row 0.
      {"description read to 79 characters",
       "EXP  0\r\nGRD  2\r\n" + description85 +
           "\r\n 3.0e+001 3.0e+001\r\n 3.7e+005 4.0e+006\r\n 3.7e+005 4.0e+006\r\n1 2 3 4 5\r\n6 7 "
           "8 9 10\r\nEOG\r\n",
       {"3 4 0 0 0 0:9", "1 2 3 4 5 0:9"}},
      // The grid's no-data value is an ordinary value: low 8 bits; a value
      // beyond the int range saturates.
      {"no-data value",
       Header("5 1 1 -2147483647.0") + F("-2147483647") + F("2") + F("3") + F("4") +
           F("99999999999") + "\r\n",
       {"1 2 3 4 255 0:9"}},
  };
  for (const Case& k : cases) {
    ASSERT_EQ(cov.InitCoverage(5, 6, 9), 1);
    WriteAll(dir / "c.e00", k.file);
    ASSERT_EQ(cov.ImportE00File(dir / "c.e00", 0), 1) << k.what;
    EXPECT_EQ(Rows(cov, static_cast<int>(k.rows.size())), k.rows) << k.what;
  }
}

TEST_F(E00Test, GridLargerThanTheCoverageIsRefusedMissingFilesFailQuietly) {
  CLandUseCoverage wide;
  ASSERT_EQ(wide.InitCoverage(5, 7, 1), 1);
  ASSERT_EQ(wide.ExportE00File(dir / "w.e00"), 1);
  // One column more than the coverage has.
  const auto before = fmt_test::Take(cov);
  EXPECT_EQ(cov.ImportE00File(dir / "w.e00", 0), 0);
  EXPECT_EQ(messages.texts, std::vector<std::string>{fmt_test::kRangeText});
  EXPECT_TRUE(fmt_test::Take(cov) == before);

  messages.texts.clear();
  WriteAll(dir / "t.e00", Header("6 6 1 0") + kTail);  // one row too many
  EXPECT_EQ(cov.ImportE00File(dir / "t.e00", 0), 0);
  EXPECT_EQ(messages.texts, std::vector<std::string>{fmt_test::kRangeText});
  messages.texts.clear();
  EXPECT_EQ(cov.ImportE00File(dir / "missing.e00", 0), 0);
  EXPECT_EQ(cov.ExportE00File(dir / "no/such/dir/x.e00"), 0);
  EXPECT_TRUE(messages.texts.empty());
  EXPECT_TRUE(fmt_test::Take(cov) == before);
}

TEST_F(E00Test, HeaderChecksAndTheirMessages) {
  const std::string rest = "6 5 1 0\r\n\r\n\r\n\r\n" + F("1") + "\r\n";
  struct Case {
    std::string file;
    std::string message;  // empty: accepted
  } cases[] = {
      {"exp  0 lower case\r\nGRD  2\r\n" + rest, ""},
      {"EXP  0\r\nGRD  2 trailing\r\n" + rest, ""},
      {"EXP  0\r\ngrd  2\r\n" + rest, fmt_test::kBadFormatText},
      {"EXP  1\r\nGRD  2\r\n" + rest, fmt_test::kBadFormatText},
      {"EXP 0\r\nGRD  2\r\n" + rest, fmt_test::kBadFormatText},
      {"EXP  \r\nGRD  2\r\n" + rest, fmt_test::kBadFormatText},
      {"EXP  0\r\nGRD  \r\n" + rest, fmt_test::kBadFormatText},
      {"", fmt_test::kBadFormatText},
      {"EXP  0\r\nGRD  2\r\n6 5 2 0\r\n", fmt_test::kIntegerGridText},
      {"EXP  0\r\nGRD  2\r\n6 5\r\n", fmt_test::kIntegerGridText},  // missing type reads 0
      {"EXP  0\r\nGRD  2\r\n", fmt_test::kIntegerGridText},
  };
  for (const Case& k : cases) {
    messages.texts.clear();
    WriteAll(dir / "c.e00", k.file);
    ASSERT_EQ(cov.InitCoverage(5, 6, 9), 1);
    const auto before = fmt_test::Take(cov);
    const int result = cov.ImportE00File(dir / "c.e00", 0);
    if (k.message.empty()) {
      EXPECT_EQ(result, 1) << k.file;
      EXPECT_TRUE(messages.texts.empty()) << k.file;
      EXPECT_EQ(cov.GetCellValue(0, 0), 1) << k.file;
    } else {
      EXPECT_EQ(result, 0) << k.file;
      EXPECT_EQ(messages.texts, std::vector<std::string>{k.message}) << k.file;
      EXPECT_TRUE(fmt_test::Take(cov) == before) << k.file;
    }
  }
}
