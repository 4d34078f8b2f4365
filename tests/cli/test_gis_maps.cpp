// Maps as a GIS has them: GeoTIFFs from gdal_translate start the run their grid starts; GDAL reads
// back the CRS, georeference, colour and attribute tables and compression of every map written; the
// strict check refuses what the lenient readers would read another way.
#include <nlohmann/json.hpp>

#include "support/program.h"

using namespace testkit;
using Json = nlohmann::json;

namespace {

class GisMapsTest : public ProgramTest {
protected:
  void Shell(const std::string& command) {
    ASSERT_EQ(std::system(("cd '" + work_ + "' && " + command).c_str()), 0) << command;
  }
  Json GdalInfo(const std::string& file) {
    Shell("gdalinfo -json '" + file + "' > gdalinfo.json");
    const Json doc = Json::parse(ReadAll(W("gdalinfo.json")));
    fs::remove(W("gdalinfo.json"));
    return doc;
  }
};

const char* const kGrid = "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 10\n";

}  // namespace

TEST_F(GisMapsTest, TheCrsAndTheLandUsesTravelThroughEveryMapWritten) {
  Ok("run --rows 30 --cols 40 --steps 4 --quiet --no-png --no-gif --out s");
  Shell(
      "gdal_translate -q -a_srs EPSG:32633 -a_ullr 500000 4100000 501200 4099100 s/final.asc "
      "town.tif");
  Result r = Ok("run --start town.tif --steps 6 --every 6 --format tif --quiet --out t");
  Ok("run --start s/final.asc --steps 6 --quiet --no-png --no-gif --out a");
  EXPECT_EQ(AscCells(W("t/final.asc")), AscCells(W("a/final.asc")));
  EXPECT_NE(ReadAll(W("t/final.prj")).find("UTM_Zone_33N"), std::string::npos);
  Ok("convert t/final.tif back.asc");
  EXPECT_EQ(ReadAll(W("back.asc")), ReadAll(W("t/final.asc")));  // cells and georeference
  Ok("convert back.asc again.tif");                              // the CRS from back.prj
  Ok("ensemble --runs 2 --start town.tif --steps 3 --quiet --out e");
  Ok("run --crs EPSG:3035 --rows 20 --cols 25 --steps 1 --quiet --out z");

  const std::vector<double> utm = {500000, 30, 0, 4100000, 0, -30};
  // Each: the file, its EPSG code and geotransform, whether it holds percentages.
  const std::tuple<std::string, int, std::vector<double>, bool> cases[] = {
      {"t/final.tif", 32633, utm, false},
      {"t/step-0006.tif", 32633, utm, false},
      {"again.tif", 32633, {500000, 30, 0, 4099900, 0, -30}, false},  // 4 digits
      {"e/housing.tif", 32633, utm, true},
      {"z/final.tif", 3035, {0, 30, 0, 600, 0, -30}, false}};
  for (const auto& [file, epsg, transform, percent] : cases) {
    SCOPED_TRACE(file);
    const Json info = GdalInfo(file);
    const std::string wkt = info["coordinateSystem"]["wkt"];
    EXPECT_NE(wkt.rfind("ID[\"EPSG\"," + std::to_string(epsg) + "]]"), std::string::npos);
    EXPECT_EQ(info["geoTransform"].get<std::vector<double>>(), transform);
    EXPECT_EQ(info["metadata"]["IMAGE_STRUCTURE"]["COMPRESSION"], "DEFLATE");
    const Json& band = info["bands"][0];
    EXPECT_EQ(band["block"], Json::array({256, 256}));
    const Json& colors = band["colorTable"]["entries"];
    if (percent) {
      EXPECT_EQ(band["noDataValue"], 255);
      EXPECT_EQ(colors[0], Json::array({255, 255, 255, 255}));
      EXPECT_EQ(colors[100], Json::array({50, 205, 50, 255}));  // housing's colour
      EXPECT_EQ(colors[255][3], 0);
      continue;
    }
    EXPECT_EQ(colors[3], Json::array({50, 205, 50, 255}));
    EXPECT_EQ(band["categories"][3], "Housing");
    const Json& rat = info["rat"];
    std::vector<std::string> columns;
    for (const auto& f : rat["fieldDefn"]) columns.push_back(f["name"]);
    EXPECT_EQ(columns, (std::vector<std::string>{"ID", "Name", "Red", "Green", "Blue"}));
    EXPECT_EQ(rat["row"][3]["f"], Json::array({3, "Housing", 50, 205, 50}));
    EXPECT_EQ(rat["row"].size(), 7u);
  }
  // The percentages of the GeoTIFF are those of the ASCII grid.
  Ok("convert --lenient e/housing.tif housing.asc");
  EXPECT_EQ(AscCells(W("housing.asc")), AscCells(W("e/housing.asc")));
}

TEST_F(GisMapsTest, RastersAndGridsAreReadAsTheyMean) {
  std::ofstream(W("nd.asc")) << kGrid << "nodata_value -9999\n1 -9999 3\n1 2 3\n";
  std::ofstream(W("centre.asc")) << "ncols 3\nnrows 2\nxllcenter 5\nyllcenter 5\ncellsize 10\n"
                                 << "1 2 3\n1 2 3\n";
  std::ofstream(W("big.asc")) << kGrid << "1 2 3\n1 300 3\n";
  Shell(
      "gdal_translate -q -ot Int16 nd.asc nd16.tif && "
      "gdal_translate -q -b 1 -b 1 -b 1 centre.asc rgb.tif");
  auto line = [](int id, const char* name, long cells) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "  %4d  %-24s %10ld ", id, name, cells);
    return std::string(buf);
  };
  const std::pair<std::string, std::string> cases[] = {
      {"info nd.asc", line(6, "Others", 1)},  // no-data to the others land use
      {"info nd16.tif", line(6, "Others", 1)},
      {"info --lenient nd.asc", line(241, "(no land use)", 1)},  // the plain reader's way
      {"info --lenient big.asc", line(44, "(no land use)", 1)},
      {"info --band 3 rgb.tif", line(3, "Housing", 2)},
      {"info --band 3 rgb.tif",  // a centre made a corner
       "band:           3 of 3, Int32 values\nsize:           2 rows x 3 columns\n"
       "georeference:   lower-left x 0, lower-left y 0, cell size 10\n"},
      {"info nd.asc", "\ncrs:            none known\nno-data value:  -9999\ncells per"},
      {"info p.xya",
       "kind:           point list (column, row, ID) (xya)\nsize:           2 rows x 4 "
       "columns (largest row and column named + 1), 3 points\ngeoreference:   none"},
      {"info p.dat", "(dat)\nsize:           2 rows x 4 columns (largest row and"}};
  std::ofstream(W("p.xya")) << "0 0 3\n3 1 1\n1 1 3\n";
  std::ofstream(W("p.dat")) << "0 0 3\n3 1 1\n";
  for (const auto& [args, expected] : cases) {
    SCOPED_TRACE(args);
    const Result r = Ok(args);
    EXPECT_NE(r.out.find(expected), std::string::npos) << r.out;
  }
  // No-data in a background allows nothing there (as the others ID 6, it would let streets grow).
  std::string nothing = "ncols 30\nnrows 30\nxllcorner 0\nyllcorner 0\ncellsize 1\n";
  nothing += "nodata_value -9999\n";
  for (int k = 0; k < 30 * 30; ++k) nothing += k % 30 == 29 ? "-9999\n" : "-9999 ";
  std::ofstream(W("bg.asc")) << nothing;
  Ok("run --rows 30 --cols 30 --steps 8 --quiet --out t0");
  Ok("run --start t0/final.asc --background bg.asc --steps 8 --quiet --out t1");
  EXPECT_EQ(AscCells(W("t1/final.asc")), AscCells(W("t0/final.asc")));
  std::ofstream(W("odd.asc")) << "ncols 5\nnrows 5\nxllcorner 0\nyllcorner 0\ncellsize 1\n"
                              << "9 0 0 0 0\n0 0 0 0 0\n0 0 0 0 0\n0 0 0 0 0\n0 0 0 0 77\n";
  const Result r = Run("run --start odd.asc --steps 1 --quiet --out o");
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.err,
            "towngrow: warning: odd.asc: 2 cells hold IDs that no land use has (9, 77); those "
            "cells never change\n");
}

TEST_F(GisMapsTest, StrictChecksRefuseWhatTheLenientReadersWouldTakeOtherwise) {
  std::ofstream(W("rows.asc")) << kGrid << "1 2 3\n";
  std::ofstream(W("short.asc")) << kGrid << "1 2 3\n1 2\n";
  std::ofstream(W("more.asc")) << kGrid << "1 2 3\n1 2 3 4\n";
  std::ofstream(W("text.asc")) << kGrid << "1 2 3\n1 x 3\n";
  std::ofstream(W("big.asc")) << kGrid << "0 2 255\n1 256 3\n";  // 255 passes, 256 not
  std::ofstream(W("frac.asc")) << kGrid << "1 2 3\n1 2.5 3\n";
  std::ofstream(W("swap.asc")) << "nrows 2\nncols 3\nxllcorner 0\nyllcorner 0\ncellsize 1\n";
  std::ofstream(W("hdr.asc")) << "ncols 3\nnrows 2\nxllcorner abc\nyllcorner 0\ncellsize 1\n";
  std::ofstream(W("cut.e00")) << "EXP  0\nGRD  2\n         3         2 1-2.14748364700000e+009\n"
                              << "30 30\n0 0\n90 60\n 1 2 3\n";
  std::ofstream(W("p.xya")) << "0 0 3\n1 1 x\n";
  std::ofstream(W("neg.xya")) << "0 0 3\n-1 1 3\n";
  std::ofstream(W("id.xya")) << "0 0 0\n2 1 255\n1 1 256\n";
  std::ofstream(W("hex.asc")) << kGrid << "1 2 3\n1 0x10 3\n";
  std::ofstream(W("dx.asc")) << "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n"
                             << "dy 2\n1 2 3\n1 2 3\n";
  std::ofstream(W("mixed.asc")) << "ncols 3\nnrows 2\nxllcorner 0\nyllcenter 0\ncellsize 1\n";
  std::ofstream(W("long.e00")) << "EXP  0\nGRD  2\n         3         1 1-2.14748364700000e+009\n"
                               << "30 30\n0 0\n90 30\n 1 2 3 4\nEOG\n";
  std::ofstream(W("ndfrac.asc")) << kGrid << "NODATA_value 2.5\n1 2 3\n1 2 3\n";
  std::ofstream(W("word.asc")) << kGrid << "1 2 3\nabc 2 3\n";
  std::ofstream(W("tall.asc")) << kGrid << "1 2 3\n1 2 3\n\n1 2 3\n";  // a blank line passes
  const std::string hdr =
      "ncols 1\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value -1\n";
  std::ofstream(W("f.hdr")) << hdr;
  std::ofstream(W("m.hdr")) << hdr << "byteorder MSBFIRST\n";
  Shell(
      "printf '\\000\\000\\040\\100' > f.flt && cp f.flt m.flt && cp f.flt u.flt && "
      "cp f.flt c.flt && sed s/xllcorner/xllcenter/ f.hdr > c.hdr && cp m.hdr u.hdr && "
      "sed -i s/MSB/MSX/ u.hdr && sed -e '$d' -e 's/ 4$//' long.e00 > eog.e00 && "
      "awk 'NR == 4 {printf \"%-80s\\n\", $0; next} 1' long.e00 > wide.e00 && "
      "gdal_translate -q -ot Float32 frac.asc frac.tif && "
      "gdal_translate -q -ot Int16 big.asc big.tif && "
      "gdal_translate -q -b 1 -b 1 -b 1 big.asc rgb.tif && "
      "gdal_translate -q -ot CInt16 big.asc cplx.tif && cp rows.asc bp.asc && echo x > bp.prj");
  const std::pair<std::string, std::string> cases[] = {
      {"run --start rows.asc --out o", "rows.asc: line 7: the file ends at row 1 of the 2 rows"},
      {"convert short.asc o.tif", "short.asc: line 7: row 1 holds 2 values, the header promises 3"},
      {"info more.asc", "more.asc: line 7: row 1, column 3: more values than the 3 columns"},
      {"info text.asc", "text.asc: line 7: row 1, column 1: \"x\" is not a number"},
      {"info big.asc", "big.asc: line 7: row 1, column 1: value 256 is outside 0 to 255"},
      {"info frac.asc", "frac.asc: line 7: row 1, column 1: value 2.5 is not a whole number"},
      {"info swap.asc", "swap.asc: line 1: the header line \"ncols <whole number>\" is expected"},
      {"info hdr.asc", "hdr.asc: line 3: the header line \"xllcorner <number>\" is expected"},
      {"info cut.e00", "cut.e00: ends inside row 1 of the 2 rows the header promises"},
      {"info p.xya", "p.xya: line 2: \"1 1 x\" is not three whole numbers"},
      {"info neg.xya", "neg.xya: line 2: a negative column or row names no cell"},
      {"info id.xya", "id.xya: line 3: land-use ID 256 is outside 0 to 255"},
      {"info hex.asc", "hex.asc: line 7: row 1, column 1: \"0x10\" is not a number"},
      {"info dx.asc", "dx.asc: line 6: \"dy 2\" is not a header line the reader knows"},
      {"info mixed.asc", "mixed.asc: line 4: xllcenter and yllcenter go together"},
      {"info long.e00", "long.e00: line 7: row 0, column 3: more values than the 3 columns"},
      {"info f.flt", "f.flt: row 0, column 0: value 2.5 is not a whole number"},
      {"info m.flt", "m.hdr: line 7: big-endian data"},
      {"info u.flt", "u.hdr: line 7: \"byteorder MSXFIRST\" is not a header line the reader knows"},
      {"info c.flt", "c.hdr: line 4: xllcenter and yllcenter go together"},
      {"info ndfrac.asc",
       "ndfrac.asc: line 6: the header line \"nodata_value <whole number>\" is expected"},
      {"info word.asc", "word.asc: line 7: \"abc 2 3\" is not a header line the reader knows, nor"},
      {"info tall.asc", "tall.asc: line 9: more rows than the 2 the header promises"},
      {"info eog.e00", "eog.e00: line 8: \"EOG\" is expected after the last row"},
      {"info wide.e00", "wide.e00: line 4: a header line of more than 79 characters"},
      {"run --start frac.tif --out o", "frac.tif: row 1, column 1: value 2.5 is not a whole"},
      {"render big.tif o.png", "big.tif: row 1, column 1: value 256 is outside 0 to 255"},
      {"info rgb.tif", "rgb.tif: has 3 bands; choose the one to read with --band N (1 to 3)"},
      {"info --band 4 rgb.tif", "rgb.tif: has 3 bands, no band 4"},
      {"info cplx.tif", "cplx.tif: holds complex values (CInt16)"},
      {"info bp.asc", "bp.prj: not a coordinate reference system GDAL reads"},
      {"run --crs EPSG:99999 --out o",  // GDAL's reason whole
       "EPSG:99999: not a coordinate reference system GDAL knows (PROJ: "
       "proj_create_from_database: crs not found)"},
      {"convert big.asc o.gpkg", "o.gpkg: cannot write this kind of file"}};
  for (const auto& [args, message] : cases) ExpectBadInput(args, message);
}

TEST_F(GisMapsTest, EveryMapWrittenHereOrByGdalPassesTheStrictCheckWithItsCells) {
  Ok("run --rows 12 --cols 17 --steps 6 --quiet --no-png --no-gif --out s");
  Shell(
      "gdal_translate -q -a_srs EPSG:32633 s/final.asc g.tif && "
      "gdal_translate -q -of AAIGrid g.tif gdal.asc && "
      "gdal_translate -q -of EHdr -ot Float32 g.tif gdal.flt && "
      "gdal_translate -q -of HFA g.tif gdal.img");
  const std::vector<int> cells = AscCells(W("s/final.asc"));
  // Each: the file; written by `convert g.tif`; carries the CRS (in itself or a .prj).
  const std::tuple<std::string, bool, bool> cases[] = {
      {"a.asc", true, true},    {"b.e00", true, false},    {"c.flt", true, true},
      {"d.tif", true, true},    {"gdal.asc", false, true}, {"gdal.flt", false, true},
      {"gdal.img", false, true}};
  for (const auto& [file, ours, crs] : cases) {
    SCOPED_TRACE(file);
    if (ours) Ok("convert g.tif " + file);
    const Result r = Ok("convert " + file + " back.asc");
    EXPECT_EQ(AscCells(W("back.asc")), cells);
    const std::string named = crs ? "WGS 84 / UTM zone 33N (EPSG:32633)" : "none known";
    EXPECT_NE(Run("info " + file).out.find("crs:            " + named + "\n"), std::string::npos);
  }
}

TEST_F(GisMapsTest, AGeoTiffThatCannotBeWrittenWholeLeavesNothing) {
  Ok("run --start random --rows 600 --cols 600 --steps 0 --quiet --no-png --no-gif --out s");
  fs::remove_all(W("s/final.tif")), fs::remove_all(W("s/final.tif.aux.xml"));
  ExpectBadInput("convert s/final.asc o.tif", "o.tif: write error", "trap '' XFSZ; ulimit -f 4; ");
}
