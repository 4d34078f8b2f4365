// The exchange files: byte-exact writers, round trips of every format, hand-made files read at
// every block size, refusals that change nothing, and errors that reach the caller. (The kind told
// by a file's name: the fuzz target's inputs replayed by tests/formats/test_robust.cpp.)
#include <climits>
#include <clocale>

#include "formats/numbers.h"
#include "formats/text_file.h"
#include "support/files.h"
#include "support/scene.h"

using namespace testkit;

namespace {

using Reader = decltype(&CLandUseCoverage::ImportASCFile);
using Writer = decltype(&CLandUseCoverage::ExportASCFile);
const Reader kAsc = &CLandUseCoverage::ImportASCFile, kE00 = &CLandUseCoverage::ImportE00File,
             kFlt = &CLandUseCoverage::ImportFLTFile, kXya = &CLandUseCoverage::ImportXYAFile,
             kDat = &CLandUseCoverage::ImportDATFile;
const Writer kToAsc = &CLandUseCoverage::ExportASCFile, kToE00 = &CLandUseCoverage::ExportE00File,
             kToFlt = &CLandUseCoverage::ExportBINFile, kToXya = &CLandUseCoverage::ExportXYAFile;
const std::string kRange =
    "The Range is larger than the environment!\n Please make a larger environemt first";
const std::string kBadFormat = "Bad Export File Format...\nCheck the format!!!";
const std::string kIntegerGrid = "Now the system can only support integer grid!!";

struct BlockSize {  // the readers' block size while it lives
  explicit BlockSize(std::size_t bytes) { io::SetReadBlockSize(bytes); }
  ~BlockSize() { io::SetReadBlockSize(0); }
};

// IDs 0..255 (zeros frequent) and ages 1..30000 from the generator.
void FillRandom(CLandUseCoverage& cov, unsigned seed) {
  SeedRandom(seed);
  for (int r = 0; r < cov.m_nRows; ++r)
    for (int c = 0; c < cov.m_nCols; ++c) {
      const int d = RandomDraw();
      cov.SetCellValue(r, c, static_cast<unsigned char>(d % 3 == 0 ? 0 : d % 256));
      cov.SetCellAge(r, c, static_cast<short>(1 + RandomDraw() % 30000));
    }
}

// Everything an import can change or show: the result, the messages, the georeference and no-data
// fields, then the cells row by row as "value" for a stored cell (age 0) or "value:age".
std::string Outcome(Reader read, const std::string& file, CLandUseCoverage& cov, int overlay) {
  NoticeRecorder messages;
  std::ostringstream o;
  o << (cov.*read)(file, overlay);
  for (const auto& t : messages.texts) o << " [" << t << "]";
  o << " " << cov.m_dXllCorner << " " << cov.m_dYllCorner << " " << cov.m_dCellSize << " "
    << cov.m_nNoDataValue;
  for (int r = 0; r < cov.m_nRows; ++r) {
    o << "\n";
    for (int c = 0; c < cov.m_nCols; ++c) {
      o << (c ? " " : "") << int(cov.GetCellValue(r, c));
      if (cov.GetCellAge(r, c) != 0) o << ":" << cov.GetCellAge(r, c);
    }
  }
  return o.str();
}

}  // namespace

TEST(Formats, WritersGiveTheseBytesExactly) {
  // Pins of the files of four coverages: a small random one with its own georeference, one 11
  // columns wide (E00 rows of three lines), a large blank one and one never initialised; a point
  // stays a point under a German locale (where one is installed).
  const char* locale = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  ScratchDir dir;
  CLandUseCoverage small, eleven, blank, never;
  ASSERT_EQ(small.InitCoverage(5, 6, 9) + eleven.InitCoverage(7, 11, 0), 2);
  ASSERT_EQ(blank.InitCoverage(80, 100, 0), 1);
  FillRandom(small, 7), FillRandom(eleven, 3);
  small.m_dXllCorner = 378963.0, small.m_dYllCorner = -0.05, small.m_dCellSize = 12.5;
  small.m_nNoDataValue = 0;
  // clang-format off
  const std::pair<CLandUseCoverage*, std::vector<std::string>> cases[] = {
      {&small, {"e77b28bfedbbdd1d", "f0ea0fe2d136f12c", "2cb11fb14fb73e3e", "668ee87e2a110453",
                "560723b83baff27a"}},
      {&eleven, {"59b5823bd16bf45e", "3ace43b8577be56f", "d25fa188fd3f7349", "1b80ad418fd9aaec",
                 "ca806b09c9006d90"}},
      {&blank, {"2dd335544100a15d", "23b8f93b8626198b", "ce7bf42fcf17df83", "14650fb0739d0383",
                "e14fdd2b234516d6"}},
      {&never, {"2e00412c9cb23c10", "5c2d862ef5fcc010", "14650fb0739d0383", "14650fb0739d0383",
                "28960db6f8675f01"}}};
  // clang-format on
  for (const auto& k : cases) {
    const Writer writers[] = {kToAsc, kToE00, kToFlt, kToXya};
    const char* files[] = {"g.asc", "g.e00", "g.flt", "g.xya", "g.hdr"};
    for (int w = 0; w < 4; ++w) ASSERT_EQ((k.first->*writers[w])(dir / files[w]), 1);
    for (int f = 0; f < 5; ++f)
      EXPECT_EQ(Digest().Add(ReadAll(dir / files[f])).Hex(), k.second[static_cast<std::size_t>(f)])
          << &k - cases << " " << files[f];
  }
  small.SetGridValue(0);
  small.SetCellValue(0, 5, 255), small.SetCellValue(2, 1, 12), small.SetCellValue(4, 0, 3);
  ASSERT_EQ(small.ExportASCFile(dir / "s.asc") + small.ExportXYAFile(dir / "s.xya"), 2);
  EXPECT_EQ(ReadAll(dir / "s.asc"),
            "ncols  6\r\nnrows  5\r\nxllcorner 3.79e+005\r\nyllcorner -5.e-002\r\n"
            "cellsize 12.5\r\nnodata_value 0\r\n0 0 0 0 0 255 \r\n0 0 0 0 0 0 \r\n0 12 0 0 0 0 \r\n"
            "0 0 0 0 0 0 \r\n3 0 0 0 0 0 \r\n");
  EXPECT_EQ(ReadAll(dir / "s.xya"), "   5    0  255\r\n   1    2   12\r\n   0    4    3\r\n");
  if (locale != nullptr) std::setlocale(LC_NUMERIC, "C");
}

TEST(Formats, EveryFormatRoundTripsBothOverlayValuesAnySizeEveryIdAnyBlock) {
  // Each: rows, columns written; rows, columns read into; seed (0: every ID once); block size.
  const std::tuple<int, int, int, int, unsigned, std::size_t> cases[] = {
      {13, 17, 13, 17, 2024, 0},      {6, 11, 9, 14, 99, 8},          {21, 43, 21, 43, 77, 9},
      {6, 10000, 6, 10000, 31337, 0}, {10000, 5, 10000, 5, 4242, 77}, {16, 16, 16, 16, 0, 0}};
  const std::tuple<const char*, Writer, Reader, bool> formats[] = {
      {"g.e00", kToE00, kE00, true},
      {"g.asc", kToAsc, kAsc, true},
      {"g.flt", kToFlt, kFlt, true},
      {"g.xya", kToXya, kXya, false},  // non-blank cells only
      {"g.dat", kToXya, kDat, false}};
  ScratchDir dir;
  for (const auto& [rows, cols, intoRows, intoCols, seed, bytes] : cases) {
    BlockSize block(bytes);
    CLandUseCoverage src;
    ASSERT_EQ(src.InitCoverage(rows, cols, 5), 1);
    if (seed) FillRandom(src, seed);
    for (int id = 0; id < 256 && !seed; ++id)
      src.SetCellValue(id / 16, id % 16, static_cast<unsigned char>(id));
    for (const auto& f : formats) {
      ASSERT_EQ((src.*std::get<1>(f))(dir / std::get<0>(f)), 1);
      for (int overlay : {0, 1}) {
        CLandUseCoverage dst;
        ASSERT_EQ(dst.InitCoverage(intoRows, intoCols, 17), 1);
        dst.SetGridValue(200);
        NoticeRecorder messages;
        ASSERT_EQ((dst.*std::get<2>(f))(dir / std::get<0>(f), overlay), 1);
        EXPECT_TRUE(messages.texts.empty());
        long long wrong = 0;
        for (int r = 0; r < intoRows; ++r)
          for (int c = 0; c < intoCols; ++c) {
            const int id = r < rows && c < cols ? src.GetCellValue(r, c) : -1;
            const bool stored = id > 0 || (id == 0 && !overlay && std::get<3>(f));
            wrong += dst.GetCellValue(r, c) != (stored ? id : 200) ||
                     dst.GetCellAge(r, c) != (stored ? 0 : 17);
          }
        EXPECT_EQ(wrong, 0) << std::get<0>(f) << " overlay " << overlay << " " << cols;
      }
    }
  }
}

TEST(Formats, HandMadeFilesReadAlikeAtEveryBlockSize) {
  // Each file is read at every block size from 8 bytes (character by
  // character) to beyond its length into a 5 x 7 coverage of ID 1, age 9,
  // no-data value 4: the result and fields, then the rows the file reaches.
  const std::string
      asc = "ncols 7\r\nnrows 5\r\nxllcorner 1000.5\r\nyllcorner 3.789e+005\r\ncellsize 25\r\n",
      e00 = "EXP  0\r\nGRD  2\r\n         7         4 1-2.14748364700000e+009\r\n\r\n\r\n\r\n";
  auto f = [](const std::string& d) { return std::string(14 - d.size(), ' ') + d; };  // E00 field
  auto le = [](float v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
  // Each: the reader, overlay, the file, the float grid's header, the outcome.
  const std::tuple<Reader, int, std::string, std::string, std::string> cases[] = {
      // 12345 keeps 57, -7 249, 3.7 reads 3, 256 keeps 0, -9999 241; a lone CR is
      // white space; 40 digits saturate; a NUL ends the digits; a tab does not end a
      // value ("7\t8" reads 7, "x" 0); short rows leave the rest; no final line end.
      {kAsc, 0,
       asc + "NODATA_value -1\r\n12345 -7 3.7 256 -9999\r\n300 \r4 \r\n" + std::string(40, '9') +
           " 00000000005 1 2 3 4 5 6\n" + std::string("6\0009 7\t8 x 9\r\n1 2 3 4 5 6 7", 26),
       "",
       "1 1000.5 378900 25 -1|57 249 3 0 241 1:9 1:9|44 4 1:9 1:9 1:9 1:9 1:9|255 5 1 2 3 4 5|6 7 "
       "0 9 1:9 1:9 1:9|1 2 3 4 5 6 7"},
      // The overlay leaves cells where the file holds 0 or its no-data value; without a
      // no-data line the coverage's own stays in force.
      {kAsc, 1, asc + "nodata_value 5\r\n0 1 2 3 4 5 6 \r\n7 0 5 9 12 0 5\r\n", "",
       "1 1000.5 378900 25 5|1:9 1 2 3 4 1:9 6|7 1:9 1:9 9 12 1:9 1:9"},
      {kAsc, 1, "ncols 2\nnrows 1\nx 1\ny 2\nc 3\n4 5\n", "",
       "1 1 2 3 4|1:9 5 1:9 1:9 1:9 1:9 1:9"},
      // E00: a line's last value and the next line's first join (56); a sign at a line
      // end joins the 3 below (-3 keeps 253); 9 digits keep 21; missing values read 0.
      {kE00, 0,
       e00 + f("1") + f("2") + f("3") + f("4") + f("12345678") + "\r\n" + f("6") + f("7") + "\r\n" +
           f("1") + f("2") + f("3") + f("4") + f("5") + "\r\n6" + f("7") +
           "\r\n  -\r\n3 123456789 4\n  9  8",
       "", "1 0 0 30 4|1 2 3 4 78 6 7|1 2 3 4 56 7 0|253 21 4 0 0 0 0|9 8 0 0 0 0 0"},
      {kE00, 1,
       e00 + f("0") + f("3") + f("-1") + f("\t5") + f(std::string("7\0", 2)) + "\r\n" + f("+2") +
           f("999999999") + "\r\n",
       "", "1 0 0 30 4|1:9 3 255 5 7 2 255"},
      // Float grid: truncation toward zero, the no-data value stores ID 6, no int value
      // (1e10, NaN) keeps the cell, the data ends inside a value; the overlay keeps 0.0.
      {kFlt, 0,
       le(3.99f) + le(-1.0f) + le(256.0f) + le(-9999.0f) + le(1e10f) + le(0.0f) + le(255.0f) +
           le(2.5f) + le(-2.9f) + le(std::nanf("")) + "\x01\x02",
       "ncols 7\r\nnrows 2\r\n\r\n\r\n\r\nnodata_value -9999\r\n",
       "1 0 0 30 4|3 255 0 6 1:9 0 255|2 254 1:9 1:9 1:9 1:9 1:9"},
      {kFlt, 1, le(0.0f) + le(7.0f), "ncols 2\r\nnrows 1\r\n\r\n\r\n\r\nnodata_value none\r\n",
       "1 0 0 30 4|6 7 1:9 1:9 1:9 1:9 1:9"},
      // Point lists: lines in file order (a later one wins), 260 keeps 4, -1 255; lines
      // without three integers or outside the coverage are skipped; NUL, tabs, lone CR.
      {kXya, 0,
       std::string(
           "   0    0    3\r\n   6    4  260\r\n   1    1    5\0 junk\r\n   2 \0   2    9\r\n",
           71) +
           "99999999999 1 2\r\n\t+3\t-0\t-1\n4\r3 6\r\n7 0 1\n-1 0 1\n1 1\n# 1 1 1\n1,1,1\n   6    "
           "4    0\r\n  2 3 8",
       "",
       "1 0 0 30 4|3 1:9 1:9 255 1:9 1:9 1:9|1:9 5 1:9 1:9 1:9 1:9 1:9|1:9 1:9 1:9 1:9 1:9 1:9 "
       "1:9|1:9 1:9 8 1:9 6 1:9 1:9|1:9 1:9 1:9 1:9 1:9 1:9 0"},
      {kDat, 1, "0 0 0\n1 0 7\n", "", "1 0 0 30 4|1:9 7 1:9 1:9 1:9 1:9 1:9"}};
  ScratchDir dir;
  for (const auto& [read, overlay, text, header, outcome] : cases) {
    const std::string file = dir / (header.empty() ? "h.txt" : "h.flt");
    WriteAll(file, text), WriteAll(dir / "h.hdr", header);
    std::string expected = outcome;
    std::replace(expected.begin(), expected.end(), '|', '\n');
    while (std::count(expected.begin(), expected.end(), '\n') < 5)
      expected += "\n1:9 1:9 1:9 1:9 1:9 1:9 1:9";
    for (std::size_t size = 8; size <= text.size() + 9; ++size) {
      BlockSize block(size);
      CLandUseCoverage cov;
      ASSERT_EQ(cov.InitCoverage(5, 7, 9), 1);
      cov.SetGridValue(1), cov.m_nNoDataValue = 4;
      ASSERT_EQ(Outcome(read, file, cov, overlay), expected) << "block " << size;
    }
  }
}

TEST(Formats, RefusalsAndMissingFilesChangeNothing) {
  // Grids larger than the coverage: the range message, 0, before the float grid's data file is even
  // looked for; E00 headers: their messages; a grid of sizes 0: 1, nothing read; missing files,
  // folders, layoutless lists, exports into missing folders: 0 without a message.
  const std::string rest = "6 5 1 0\r\n\r\n\r\n\r\n1\r\n";
  const std::tuple<Reader, std::string, std::string, int, std::string> cases[] = {
      {kAsc, "ncols 7\nnrows 5\nxllcorner 1\nyllcorner 1\ncellsize 1\n1\n", "", 0, kRange},
      {kAsc, "ncols 6\nnrows 6\n", "", 0, kRange},
      {kAsc, "ncols -3\nnrows 99999999999999\n", "", 0, kRange},
      {kE00, "EXP  0\r\nGRD  2\r\n7 5 1 0\r\n", "", 0, kRange},
      {kE00, "EXP  0\r\nGRD  2\r\n6 6 1 0\r\n", "", 0, kRange},
      {kFlt, "", "ncols 7\r\nnrows 5\r\n", 0, kRange},
      {kE00, "EXP  0\r\ngrd  2\r\n" + rest, "", 0, kBadFormat},
      {kE00, "EXP  1\r\nGRD  2\r\n" + rest, "", 0, kBadFormat},
      {kE00, "EXP 0\r\nGRD  2\r\n" + rest, "", 0, kBadFormat},
      {kE00, "EXP  0\r\nGRD  \r\n" + rest, "", 0, kBadFormat},
      {kE00, "", "", 0, kBadFormat},
      {kE00, "EXP  0\r\nGRD  2\r\n6 5 2 0\r\n", "", 0, kIntegerGrid},
      {kE00, "EXP  0\r\nGRD  2\r\n6 5\r\n", "", 0, kIntegerGrid},  // a missing type reads 0
      {kE00, "exp  0 lower case\r\nGRD  2 trailing\r\n6 5 1 0\r\n\r\n\r\n\r\n9\r\n", "", 1, "9"},
      {kAsc, "ncols\nnrows x\nxllcorner 1\nyllcorner 1\ncellsize 1\n1 2 3\n", "", 1, ""},
      {kFlt, "", "", 0, ""},                                       // no header
      {kFlt, "", "ncols 2\r\nnrows 2\r\n", 0, ""},                 // no data file
      {&CLandUseCoverage::ImportXYFile, "1 1 1\r\n", "", 0, ""}};  // no layout
  ScratchDir dir;
  for (const auto& [reader, data, header, result, says] : cases) {
    SCOPED_TRACE(data + header);
    WriteAll(dir / "c.flt", data), std::filesystem::remove(dir / "c.hdr");
    if (!header.empty()) WriteAll(dir / "c.hdr", header + "\r\n\r\n\r\nnodata_value 1\r\n");
    if (reader == kFlt && data.empty()) std::filesystem::remove(dir / "c.flt");
    CLandUseCoverage cov;
    ASSERT_EQ(cov.InitCoverage(5, 6, 9), 1);
    FillRandom(cov, 4);
    const auto was = std::make_tuple(Values(cov), Ages(cov), cov.m_dCellSize, cov.m_nNoDataValue);
    NoticeRecorder messages;
    EXPECT_EQ((cov.*reader)(dir / "c.flt", 0), result);
    const bool read = result == 1;
    EXPECT_EQ(messages.texts, std::vector<std::string>(!read && !says.empty(), says));
    EXPECT_EQ(cov.GetCellValue(0, 0), read && !says.empty() ? 9 : std::get<0>(was)[0]);
    EXPECT_TRUE(read || std::make_tuple(Values(cov), Ages(cov), cov.m_dCellSize,
                                        cov.m_nNoDataValue) == was);
  }
  CLandUseCoverage cov;
  ASSERT_EQ(cov.InitCoverage(5, 5, 1), 1);
  std::filesystem::create_directories(dir / "d.flt");
  for (const std::string& name : {dir / "missing.asc", dir.Path(), dir / "d.flt"})
    for (Reader read : {kAsc, kE00, kFlt, kXya, kDat}) EXPECT_EQ((cov.*read)(name, 1), 0) << name;
  for (Writer write : {kToAsc, kToE00, kToFlt, kToXya})
    EXPECT_EQ((cov.*write)(dir / "no/such/x.asc"), 0);
  EXPECT_EQ(cov.ExportBINFile(dir / "d.flt"), 0);  // the header is written first
  EXPECT_TRUE(std::filesystem::exists(dir / "d.hdr"));
  CLandUseCoverage never;  // never initialised: a grid does not fit, a point list stores nothing
  ASSERT_EQ(cov.ExportASCFile(dir / "g.asc") + cov.ExportXYAFile(dir / "g.xya"), 2);
  NoticeRecorder messages;
  EXPECT_EQ(never.ImportASCFile(dir / "g.asc", 0), 0);
  EXPECT_EQ(never.ImportXYAFile(dir / "g.xya", 0), 1);
  EXPECT_EQ(messages.texts, std::vector<std::string>{kRange});
  EXPECT_EQ(never.IsEmpty(), 1);
}

TEST(Formats, FloatHeaderAtTheFirstDotOfTheWholeNameAndItsSeventhLineIgnored) {
  ScratchDir dir;
  CLandUseCoverage cov, back;
  ASSERT_EQ(cov.InitCoverage(5, 6, 9) + back.InitCoverage(5, 6, 1), 2);
  FillRandom(cov, 11);
  std::filesystem::create_directories(dir / "maps.old");
  ASSERT_EQ(cov.ExportBINFile(dir / "maps.old/grid.flt"), 1);
  EXPECT_EQ(Listing(dir.Path()), (std::set<std::string>{"maps.hdr", "maps.old"}));
  WriteAll(dir / "maps.hdr", ReadAll(dir / "maps.hdr") + "byteorder LSBFIRST\r\n");
  ASSERT_EQ(back.ImportFLTFile(dir / "maps.old/grid.flt", 0), 1);
  EXPECT_EQ(Values(back), Values(cov));
}

TEST(Formats, ReadAndWriteErrorsReachTheCallerAsFileErrors) {
  if (!std::filesystem::exists("/proc/self/mem") || !std::filesystem::exists("/dev/full"))
    GTEST_SKIP() << "needs /proc/self/mem and /dev/full";
  NoticeRecorder messages;
  CLandUseCoverage cov;
  ASSERT_EQ(cov.InitCoverage(5, 5, 1), 1);
  cov.SetCellValue(0, 0, 1);
  for (Reader read : {kAsc, kE00, kXya, kDat})  // the start of a memory image cannot be read
    EXPECT_THROW((cov.*read)("/proc/self/mem", 0), FileError);
  for (Writer write : {kToAsc, kToE00, kToXya})
    EXPECT_EQ(Thrown<FileError>([&] { (cov.*write)("/dev/full"); }).rfind("/dev/full: ", 0), 0u);
  EXPECT_TRUE(messages.texts.empty());
}

// The ASCII grid's header numbers: four significant digits, fixed from 0.1 to 9999, else exponents.
TEST(Formats, HeaderNumbersKeepFourSignificantDigits) {
  const std::pair<double, const char*> cases[] = {
      {378923, "3.789e+005"}, {12000, "1.2e+004"}, {0.05, "5.e-002"},
      {9999.6, "1.e+004"},    {0, "0."},           {30, "30."},
      {12.5, "12.5"},         {0.1875, "0.1875"},  {-0.25, "-0.25"},
      {1000, "1000"},         {2500.4, "2500"},    {999.96, "1000"},
      {NAN, "nan"},           {-HUGE_VAL, "-inf"}};
  std::string out;  // each case appended to nothing
  for (const auto& [value, text] : cases)
    EXPECT_EQ((out.clear(), io::AppendGeneral4(out, value), out), text) << value;
}

// Numbers are read from a range of characters as atof and atoi read them, and never from beyond the
// range's end (the point, the exponent or a digit just past it are not part of the number; a read
// past the end changes no value, so it shows in the sanitizer build).
TEST(Formats, NumbersReadAsTheCLibraryReadsThemWithinTheirRange) {
  // Each: the text, the length of the range read, the real and whole number read.
  // clang-format off
  const std::tuple<std::string, std::size_t, double, int> cases[] = {
      {"12e5", 4, 12e5, 12}, {"12.5", 2, 12, 12}, {"12.5", 3, 12, 12}, {".5", 2, 0.5, 0},
      {"  -3.25E-2x", 11, -3.25e-2, -3}, {"7.", 2, 7, 7}, {"1e", 2, 1, 1}, {"5e+3", 3, 5, 5},
      {"+0.000", 6, 0, 0}, {"-x", 2, 0, 0}, {"\t\n42", 4, 42, 42}, {"0.0012e3", 8, 1.2, 0},
      {"99999999999", 11, 99999999999.0, INT_MAX}, {"-99999999999", 12, -99999999999.0, INT_MIN},
      {"1e999", 5, HUGE_VAL, 1},  // beyond a double: infinity, or 0 below its smallest
      {"-123.4e307", 10, -HUGE_VAL, -123}, {"0.00012e-320", 12, 0, 0}, {"1e-400", 6, 0, 1},
      {"0." + std::string(380, '0') + "1e20", 386, 0, 0}};  // 1e-361: below, though e is above 0
  // clang-format on
  for (const auto& [text, length, real, whole] : cases) {
    // A buffer of exactly the range: a read beyond it is the sanitizers' to see.
    const std::vector<char> range(text.begin(), text.begin() + length);
    const char* b = range.data();
    EXPECT_EQ(io::ParseDoublePrefix(b, b + length), real) << text << " of " << length;
    EXPECT_EQ(io::ParseIntPrefix(b, b + length), whole) << text << " of " << length;
  }
}

// A line read in blocks keeps exactly its first `keep` characters however
// the blocks fall, and the next line starts after its line end.
TEST(Formats, LinesKeepTheirFirstCharactersAcrossBlocks) {
  ScratchDir dir;
  const std::string long_line(37, 'a');
  WriteAll(dir / "lines.txt", "0123456789abcdefghij\r\n" + long_line + "\nend");
  for (std::size_t block : {1, 3, 4, 7, 64}) {
    BlockSize size(block);
    io::FileReader in;
    ASSERT_TRUE(in.Open(dir / "lines.txt"));
    std::string line;
    for (const auto& [keep, want] :
         {std::pair<std::size_t, std::string>{10, "0123456789"}, {100, long_line}, {2, "en"}})
      EXPECT_EQ((in.ReadLine(line, keep), line), want) << block;
  }
}
