// The engine of `towngrow prepare` in process, on layers the tests make: where GDAL puts each layer
// on the grid, the order of the layers, the street rule and the files written.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <sstream>
#include <tuple>

#include "io/checksum.h"
#include "io/class_file.h"
#include "io/error.h"
#include "io/output_folder.h"
#include "io/result_text.h"
#include "jobs/prepare.h"
#include "params/params_json.h"
#include "prepare/recipe.h"
#include "prepare/streets.h"
#include "prepare/suitability.h"
#include "support/files.h"
#include "support/layers.h"

namespace {

using towngrow::io::Error;
using towngrow::jobs::Json;
using towngrow::jobs::PreparedMap;
using towngrow::jobs::PrepareResult;
using towngrow::jobs::RunPrepare;
using namespace testkit;

// The grid of the GIS case: UTM 17N, 40 x 30 cells of 30 m.
constexpr double kX0 = 500000, kY0 = 4000000, kCell = 30;
constexpr int kCols = 40, kRows = 30;

std::string Coord(double px, double py) {  // grid columns and rows from the bottom
  return std::to_string(kX0 + px * kCell) + " " + std::to_string(kY0 + py * kCell);
}

// The cells one of GDAL's programs makes of a layer on the grid (gdalwarp, or gdal_rasterize).
std::vector<int> OnGrid(bool warp, const std::string& file, std::vector<std::string> words) {
  const auto s = [](auto v) { return std::to_string(v); };
  words.insert(words.begin(), {"-te", s(kX0), s(kY0), s(kX0 + kCols * kCell),
                               s(kY0 + kRows * kCell), "-ts", s(kCols), s(kRows)});
  return GdalProgram(warp, file, words);
}

std::string FileSha256Of(const std::string& path) { return towngrow::io::FileSha256(path); }

const PreparedMap& MapOf(const PrepareResult& r, const std::string& file) {
  for (const PreparedMap& m : r.maps)
    if (m.file == file) return m;
  throw std::runtime_error("no map " + file);
}

// Two roads of 1930 that cross inside the grid and end inside it, a road of 1950 the filter leaves
// out, a park, and land cover in geographic coordinates with cells about a third of the grid's.
class GisCase : public ::testing::Test {
protected:
  void SetUp() override {
    a0_ = {3.5, 5.2}, a1_ = {35.3, 22.6}, b0_ = {10.2, 26.4}, b1_ = {24.7, 2.3};
    AddGpkgLayer(
        dir_ / "roads.gpkg", "roads", 32617, wkbLineString,
        {{"LINESTRING(" + Coord(a0_[0], a0_[1]) + ", " + Coord(a1_[0], a1_[1]) + ")", 1920},
         {"LINESTRING(" + Coord(b0_[0], b0_[1]) + ", " + Coord(b1_[0], b1_[1]) + ")", 1930},
         {"LINESTRING(" + Coord(30.5, 2.5) + ", " + Coord(38.5, 9.5) + ")", 1950}});
    AddGpkgLayer(dir_ / "roads.gpkg", "parks", 32617, wkbPolygon,
                 {{"POLYGON((" + Coord(26, 24) + ", " + Coord(37, 24) + ", " + Coord(37, 29) +
                       ", " + Coord(26, 29) + ", " + Coord(26, 24) + "))",
                   0}});
    const double gt[6] = {-81.0015, 0.0001, 0, 36.1535, 0, -0.0001};
    std::vector<int> cover(100 * 130);
    const int legend[4] = {11, 21, 22, 41};
    for (int r = 0; r < 100; ++r)
      for (int c = 0; c < 130; ++c)
        cover[r * 130 + c] = legend[((r / 6) * 3 + c / 4 + ((r + c) % 5 == 0)) % 4];
    MakeRaster(dir_ / "cover.tif", 100, 130, cover, gt, 4326, GDT_Byte);
    recipe_ = Json::parse(R"({
      "grid": {"crs": "EPSG:32617", "bounds": [500000, 4000000, 501200, 4000900], "cell": 30},
      "start": [{"raster": "cover.tif", "classes": {"11": 6, "21": 3, "22": 4, "41": 5}},
                {"vector": "roads.gpkg", "layer": "roads", "where": "year <= 1930", "as": "street"}],
      "background": [{"vector": "roads.gpkg", "layer": "parks", "allow": [0, 2]}]})");
  }

  int Cell(double px, double py) const {  // the cell holding a point (grid units from the bottom)
    return (kRows - 1 - static_cast<int>(std::floor(py))) * kCols + static_cast<int>(px);
  }

  ScratchDir dir_;
  std::array<double, 2> a0_, a1_, b0_, b1_;
  Json recipe_;
};

TEST_F(GisCase, StreetsAreTheBurntCellsWithNodesAtTheEndsAndTheCrossing) {
  const PrepareResult r = RunPrepare(recipe_, dir_.Path(), "recipe");
  const std::vector<std::uint8_t>& ids = MapOf(r, "start.tif").cells;
  const std::vector<int> burnt =
      OnGrid(false, dir_ / "roads.gpkg",
             {"-burn", "1", "-l", "roads", "-where", "year <= 1930", "-ot", "Byte"});
  ASSERT_EQ(burnt.size(), ids.size());
  std::set<int> nodes;
  for (std::size_t i = 0; i < ids.size(); ++i) {
    EXPECT_EQ(burnt[i] == 1, ids[i] == 1 || ids[i] == 2) << "cell " << i;
    if (ids[i] == 1) nodes.insert(static_cast<int>(i));
  }
  // Where the two lines cross.
  const double d = (a1_[0] - a0_[0]) * (b1_[1] - b0_[1]) - (a1_[1] - a0_[1]) * (b1_[0] - b0_[0]);
  const double t =
      ((b0_[0] - a0_[0]) * (b1_[1] - b0_[1]) - (b0_[1] - a0_[1]) * (b1_[0] - b0_[0])) / d;
  const int cross = Cell(a0_[0] + t * (a1_[0] - a0_[0]), a0_[1] + t * (a1_[1] - a0_[1]));
  const std::set<int> ends = {Cell(a0_[0], a0_[1]), Cell(a1_[0], a1_[1]), Cell(b0_[0], b0_[1]),
                              Cell(b1_[0], b1_[1])};
  int atCrossing = 0;
  for (int n : nodes) {
    const bool near =
        std::abs(n / kCols - cross / kCols) <= 1 && std::abs(n % kCols - cross % kCols) <= 1;
    EXPECT_TRUE(ends.count(n) || near) << "a node at row " << n / kCols << ", column " << n % kCols;
    atCrossing += near;
  }
  for (int e : ends) EXPECT_TRUE(nodes.count(e)) << "no node at the end in cell " << e;
  EXPECT_GE(atCrossing, 1);
  EXPECT_LE(atCrossing, 2);
}

TEST_F(GisCase, AScheduledRoadIsPaintedOnNoDataWhereGdalRasterizeBurnsIt) {
  recipe_["schedule"] = Json::parse(R"([{"step": 3, "start": [
      {"vector": "roads.gpkg", "layer": "roads", "where": "year = 1950", "as": "street"}]}])");
  const PrepareResult r = RunPrepare(recipe_, dir_.Path(), "recipe");
  const PreparedMap& road = MapOf(r, "schedule-3.tif");
  const std::vector<int> burnt =
      OnGrid(false, dir_ / "roads.gpkg",
             {"-burn", "1", "-l", "roads", "-where", "year = 1950", "-ot", "Byte"});
  ASSERT_EQ(burnt.size(), road.cells.size());
  for (std::size_t i = 0; i < burnt.size(); ++i)
    EXPECT_EQ(burnt[i] == 1, road.cells[i] == 1 || road.cells[i] == 2) << "cell " << i;
  EXPECT_EQ(road.noData, 255);
  EXPECT_EQ(road.counts[1], 2u);  // its two ends
  EXPECT_EQ(road.counts[255] + road.counts[1] + road.counts[2], road.cells.size());
}

TEST_F(GisCase, LandCoverLandsWhereGdalwarpByModePutsIt) {
  const PrepareResult r = RunPrepare(recipe_, dir_.Path(), "recipe");
  const PreparedMap& start = MapOf(r, "start.tif");
  EXPECT_EQ(start.layers[0].input.placing, "most frequent value");
  const std::vector<int> warped =
      OnGrid(true, dir_ / "cover.tif", {"-r", "mode", "-t_srs", "EPSG:32617", "-dstnodata", "0"});
  ASSERT_EQ(warped.size(), start.cells.size());
  std::map<int, int> classes = {{0, 0}, {11, 6}, {21, 3}, {22, 4}, {41, 5}};
  int compared = 0, uncovered = 0;
  for (std::size_t i = 0; i < warped.size(); ++i) {
    if (start.cells[i] == 1 || start.cells[i] == 2) continue;  // a street laid over it
    EXPECT_EQ(start.cells[i], classes.at(warped[i])) << "cell " << i;
    ++compared;
    uncovered += warped[i] == 0;
  }
  EXPECT_GT(compared, 1000);
  EXPECT_GT(uncovered, 0);  // the land cover stops short of the grid's east edge: vacant there
  EXPECT_LT(uncovered, 200);
}

TEST_F(GisCase, ParkCellsAllowOnlyWhatTheRecipeSays) {
  const PrepareResult r = RunPrepare(recipe_, dir_.Path(), "recipe");
  const std::vector<int> park =
      OnGrid(false, dir_ / "roads.gpkg", {"-burn", "1", "-l", "parks", "-ot", "Byte"});
  const PreparedMap& bg = MapOf(r, "background.tif");
  ASSERT_EQ(park.size(), bg.cells.size());
  for (std::size_t i = 0; i < park.size(); ++i)
    EXPECT_EQ(bg.cells[i], park[i] ? 0b101 : 255) << "cell " << i;
  EXPECT_EQ(bg.counts[0b101], 11u * 5u);
}

TEST_F(GisCase, WritesGeoTiffsRecordAndReportTogether) {
  recipe_["observed"] = Json::parse(
      R"([{"name": "1950", "steps": 20, "layers": [{"raster": "cover.tif", "classes": {"21-22": 3}}]}])");
  recipe_["suitability"] = Json::parse(R"([{"raster": "cover.tif", "range": [0, 100]}])");
  recipe_["schedule"] =
      Json::parse(R"([{"step": 9, "suitability": [{"slope": "cover.tif", "critical": 50}]},
      {"step": 4, "start": [{"raster": "cover.tif", "classes": {"41": 5}}],
       "background": [{"vector": "roads.gpkg", "layer": "parks", "allow": []}]}])");
  recipe_["description"] = "the test town";
  recipe_["params"] = "p.json";
  WriteAll(dir_ / "p.json", towngrow::io::SetToJson(towngrow::CLandUseSet()).dump());
  const PrepareResult r = RunPrepare(recipe_, dir_.Path(), "recipe");
  const std::string out = dir_ / "out";
  towngrow::io::OutputFolder folder(out);
  towngrow::jobs::WritePrepareOutputs(r, folder);
  folder.Publish();
  std::string names;  // the folder's, in order
  for (const std::string& name : Listing(out)) names += name + " ";
  EXPECT_EQ(names,
            "background.png background.tif background.tif.aux.xml classes.json observed-1950.png "
            "observed-1950.tif observed-1950.tif.aux.xml prepare.json report.html "
            "schedule-4-background.png schedule-4-background.tif schedule-4-background.tif.aux.xml "
            "schedule-4.png schedule-4.tif schedule-4.tif.aux.xml schedule-9-suitability.png "
            "schedule-9-suitability.tif schedule.json start.png start.tif start.tif.aux.xml "
            "suitability.png suitability.tif ");
  EXPECT_EQ(Json::parse(ReadAll(out + "/schedule.json")), Json::parse(R"([
      {"step": 4, "layers": ["schedule-4.tif"], "background": "schedule-4-background.tif"},
      {"step": 9, "suitability": "schedule-9-suitability.tif"}])"));
  for (const PreparedMap& m : r.maps) {
    const std::vector<int> cells = ReadCells(out + "/" + m.file);
    EXPECT_TRUE(std::equal(cells.begin(), cells.end(), m.cells.begin(), m.cells.end())) << m.file;
  }
  GDALDatasetH ds = GDALOpen((out + "/start.tif").c_str(), GA_ReadOnly);
  double gt[6];
  GDALGetGeoTransform(ds, gt);
  EXPECT_EQ(std::vector<double>(gt, gt + 6),
            (std::vector<double>{kX0, kCell, 0, kY0 + kRows * kCell, 0, -kCell}));
  EXPECT_NE(std::string(GDALGetProjectionRef(ds)).find("32617"), std::string::npos);
  EXPECT_NE(GDALGetRasterColorTable(GDALGetRasterBand(ds, 1)), nullptr);
  GDALClose(ds);
  // The class file is one `compare --classes` reads: developed against the rest.
  const towngrow::ClassScheme scheme = towngrow::io::ReadClassFile(out + "/classes.json");
  ASSERT_EQ(scheme.Classes(), 2);
  for (int id = 0; id <= 6; ++id) EXPECT_EQ(scheme.classOf[id], id >= 1 && id <= 5 ? 0 : 1) << id;
  const Json record = Json::parse(ReadAll(out + "/prepare.json"));
  EXPECT_EQ(record["grid"]["rows"], kRows);
  EXPECT_EQ(record["description"], "the test town");
  EXPECT_EQ(record["params"], towngrow::io::AbsolutePath(dir_ / "p.json"));
  Json inputs = record["inputs"];  // each input whole but where it lies; roads.gpkg once filtered
  for (Json& i : inputs) i.erase("file"), i.erase("sha256");
  EXPECT_EQ(inputs, Json::parse(R"j([
{"key":"start[0]","path":"cover.tif","kind":"raster","driver":"GTiff","size":[100,130],"crs":"WGS 84 (EPSG:4326)","georeferenced":true,"placed":"most frequent value"},{"key":"start[1]","path":"roads.gpkg","kind":"vector","driver":"GPKG","features":2,"crs":"WGS 84 / UTM zone 17N (EPSG:32617)","georeferenced":true,"placed":"burnt"},
{"key":"background[0]","path":"roads.gpkg","kind":"vector","driver":"GPKG","features":1,"crs":"WGS 84 / UTM zone 17N (EPSG:32617)","georeferenced":true,"placed":"burnt"},{"key":"suitability[0]","path":"cover.tif","kind":"raster","driver":"GTiff","size":[100,130],"crs":"WGS 84 (EPSG:4326)","georeferenced":true,"placed":"mean of its cells"},
{"key":"observed[0].layers[0]","path":"cover.tif","kind":"raster","driver":"GTiff","size":[100,130],"crs":"WGS 84 (EPSG:4326)","georeferenced":true,"placed":"most frequent value"},{"key":"schedule[1].start[0]","path":"cover.tif","kind":"raster","driver":"GTiff","size":[100,130],"crs":"WGS 84 (EPSG:4326)","georeferenced":true,"placed":"most frequent value"},
{"key":"schedule[1].background[0]","path":"roads.gpkg","kind":"vector","driver":"GPKG","features":1,"crs":"WGS 84 / UTM zone 17N (EPSG:32617)","georeferenced":true,"placed":"burnt"},{"key":"schedule[0].suitability[0]","path":"cover.tif","kind":"raster","driver":"GTiff","size":[100,130],"crs":"WGS 84 (EPSG:4326)","georeferenced":true,"placed":"mean of its cells"}])j"));
  EXPECT_EQ(record["inputs"][3]["sha256"], FileSha256Of(dir_ / "cover.tif"));
  EXPECT_EQ(record["outputs"]["background.tif"]["cells"]["5"], 55);
  for (const auto& [file, out] : record["outputs"].items()) {  // the last layer's cells stand
    const Json& last = out["layers"].back();
    const Json set = last.value("cellsSet", last.value("cellsPerPercent", Json()));
    EXPECT_FALSE(set.empty()) << file;
    for (const auto& [v, n] : set.items())
      EXPECT_EQ(out["cells"].value(v, 0) +
                    (v == "street") * (out["cells"].value("1", 0) + out["cells"].value("2", 0)),
                n)
          << file << " " << v;
  }
  EXPECT_EQ(record["outputs"]["schedule-4-background.tif"]["cells"]["0"], 55);
  EXPECT_EQ(Json::array({record["outputs"]["schedule-4.tif"]["unchanged"],
                         record["outputs"]["start.tif"].contains("unchanged")}),
            Json::parse("[255, false]"));  // the painted map's no-data leaves cells as they are
  const Json& entry = record["schedule"]["entries"][0];
  EXPECT_EQ(entry["layers"][0]["sha256"], FileSha256Of(out + "/schedule-4.tif"));
  EXPECT_EQ(entry["background"]["sha256"], FileSha256Of(out + "/schedule-4-background.tif"));
  EXPECT_EQ(record["schedule"]["sha256"], FileSha256Of(out + "/schedule.json"));
  EXPECT_NE(ReadAll(out + "/report.html").find("<td class=\"n\">5</td><td class=\"n\">55</td>"),
            std::string::npos);  // the report's row of the background's value 5
  EXPECT_NE(record["calibrate"].get<std::string>().find(
                " --background " + out + "/background.tif --suitability " + out +
                "/suitability.tif --observed " + out + "/observed-1950.tif:20 --schedule " + out +
                "/schedule.json "),
            std::string::npos);
  const std::string line = record["calibrate"];
  EXPECT_EQ(line.substr(line.find(" --params ")),
            " --params " + std::string(dir_ / "p.json") + " --space SPACE.json");
}

// Land cover at 10 m in EPSG:3035 in bands of three values, two of them named, onto a grid of 30 m
// in EPSG:32633: the values no rule names vote for keeping what lies below (vacant here), so the
// start agrees with GDAL's own mode warp of the classified layer (10 -> 3, 20 -> 4, 30 -> 0).
TEST(ModeWarp, UnnamedValuesVoteAsWhatTheyKeep) {
  ScratchDir dir;
  const double x0 = 500000, y1 = 5300000, cell = 30;
  const int side = 60, rows = 260, cols = 260;
  OGRSpatialReference utm = Epsg(32633), laea = Epsg(3035);
  std::unique_ptr<OGRCoordinateTransformation> ct(OGRCreateCoordinateTransformation(&utm, &laea));
  double xs[2] = {x0, x0 + side * cell}, ys[2] = {y1 - side * cell, y1};
  ASSERT_TRUE(ct->Transform(2, xs, ys));
  const double gt[6] = {std::floor(xs[0]) - 300, 10, 0, std::floor(ys[1]) + 300, 0, -10};
  std::vector<int> cover(rows * cols);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) cover[r * cols + c] = 10 * (1 + (c + r * 7 / 10) / 2 % 3);
  MakeRaster(dir / "cover.tif", rows, cols, cover, gt, 3035, GDT_Byte);
  std::vector<int> classified(cover);
  for (int& v : classified) v = v == 10 ? 3 : v == 20 ? 4 : 0;
  MakeRaster(dir / "classified.tif", rows, cols, classified, gt, 3035, GDT_Byte);
  const Json recipe = Json::parse(
      R"({"grid": {"crs": "EPSG:32633", "bounds": [500000, 5298200, 501800, 5300000], "cell": 30},
          "start": [{"raster": "cover.tif", "classes": {"10": 3, "20": 4}}]})");
  const std::vector<std::uint8_t> start = RunPrepare(recipe, dir.Path()).maps[0].cells;
  const std::vector<int> warped =
      GdalProgram(true, dir / "classified.tif",
                  {"-r", "mode", "-t_srs", "EPSG:32633", "-te", "500000", "5298200", "501800",
                   "5300000", "-ts", std::to_string(side), std::to_string(side)});
  ASSERT_EQ(warped.size(), start.size());
  int same = 0;
  for (std::size_t i = 0; i < start.size(); ++i) same += start[i] == warped[i];
  EXPECT_GE(same, 0.99 * start.size()) << same << " of " << start.size();
}

// Layers on a grid without georeference, taken as they stand.
class Order : public ::testing::Test {
protected:
  ScratchDir dir_;
  const double noData_ = -9;  // the no-data value of the layers that have one
};

TEST_F(Order, LaterLayersWinAndUnnamedOrNoDataCellsKeepWhatLiesBelow) {
  MakeRaster(dir_ / "base.tif", 3, 4, std::vector<int>(12, 7));
  MakeRaster(dir_ / "mid.tif", 3, 4, {1, 2, 3, -9, 1, 2, 3, -9, 1000, 2, 3, -9}, nullptr, 0,
             GDT_Int32, &noData_);
  MakeRaster(dir_ / "road.tif", 3, 4, {0, 0, 0, 0, 9, 9, 9, 9, 0, 0, 0, 0});
  MakeRaster(dir_ / "top.tif", 3, 4, {0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0});
  const Json recipe = Json::parse(R"({"start": [
      {"raster": "base.tif", "classes": {"7": 3}},
      {"raster": "mid.tif", "classes": {"1": 4, "3": 0, "1000-1000": 5, "-9": 6}},
      {"raster": "road.tif", "classes": {"9": "street"}},
      {"raster": "top.tif", "classes": {"1": 6}}]})");
  const PrepareResult r = RunPrepare(recipe, dir_.Path(), "recipe");
  // Row 1's street: 3 cells (the 4th taken by top.tif), ends at both sides;
  // the rule "-9" names mid.tif's no-data value, so its no-data cells are 6.
  EXPECT_EQ(r.maps[0].cells, (std::vector<std::uint8_t>{4, 3, 0, 6, 1, 2, 1, 6, 5, 3, 0, 6}));
  EXPECT_EQ(r.maps[0].layers[1].cells[4], 2u);
  EXPECT_EQ(r.maps[0].layers[2].cells[towngrow::io::kStreet], 4u);
}

TEST_F(Order, ATruncatedRasterIsRefusedNamingItsKeyAndFile) {  // it opens, its cells fail
  MakeRaster(dir_ / "cut.tif", 300, 300, std::vector<int>(90000, 3));
  std::filesystem::resize_file(dir_ / "cut.tif", std::filesystem::file_size(dir_ / "cut.tif") / 2);
  const Json recipe = Json::parse(R"({"start": [{"raster": "cut.tif", "classes": {"3": 3}}]})");
  EXPECT_EQ(Thrown<Error>([&] {
              RunPrepare(recipe, dir_.Path(), "recipe");
            }).rfind("recipe: start[0].raster: cut.tif: read error: ", 0),
            0u);
}

TEST_F(Order, NoDataCellsBecomeWhatTheLayerSays) {
  MakeRaster(dir_ / "base.tif", 1, 4, {7, 7, 7, 7});
  MakeRaster(dir_ / "mid.tif", 1, 4, {1, -9, 2, -9}, nullptr, 0, GDT_Int32, &noData_);
  const std::pair<const char*, std::vector<std::uint8_t>> cases[] = {
      {R"({"raster": "mid.tif", "classes": {"1": 4}})", {4, 3, 3, 3}},
      {R"({"raster": "mid.tif", "classes": {"1": 4}, "nodata": 5})", {4, 5, 3, 5}},
      {R"({"raster": "mid.tif", "classes": {"1": 4}, "nodata": "street"})", {4, 1, 3, 1}}};
  for (const auto& [layer, cells] : cases) {
    const Json recipe = Json::parse(R"({"start": [{"raster": "base.tif", "classes": {"7": 3}}, )" +
                                    std::string(layer) + "]}");
    EXPECT_EQ(RunPrepare(recipe, dir_.Path()).maps[0].cells, cells) << layer;
  }
  // No-data in a background, and a schedule map whose layers give 255 and 254: cells left take 253.
  const PrepareResult r = RunPrepare(Json::parse(R"({"start": [],
      "background": [{"raster": "mid.tif", "classes": {"1": [0]}, "nodata": [1, 2]}],
      "schedule": [{"step": 1, "start": [{"raster": "mid.tif", "classes": {"1": 255, "2": 254}}]}]})"),
                                     dir_.Path());
  EXPECT_EQ(MapOf(r, "background.tif").cells, (std::vector<std::uint8_t>{1, 6, 255, 6}));
  EXPECT_EQ(MapOf(r, "schedule-1.tif").cells, (std::vector<std::uint8_t>{255, 253, 254, 253}));
  towngrow::io::OutputFolder folder(dir_ / "out");  // each allowed set its colour, in turn
  towngrow::jobs::WritePrepareOutputs(r, folder), folder.Publish();
  GDALDatasetH ds = GDALOpen((dir_ / "out/background.tif").c_str(), GA_ReadOnly);
  GDALColorTableH colors = GDALGetRasterColorTable(GDALGetRasterBand(ds, 1));
  for (const auto& [v, rgb] : {std::pair(255, 0xF5F5F5), {6, 0xD73027}, {1, 0xFDAE61}}) {
    const GDALColorEntry* e = GDALGetColorEntry(colors, v);
    EXPECT_EQ(e->c1 << 16 | e->c2 << 8 | e->c3, rgb) << v;
  }
  GDALClose(ds);
  const double* grid = r.grid.geo.transform;  // like a layer without a georeference: cell units
  EXPECT_EQ(std::vector<double>(grid, grid + 6), (std::vector<double>{0, 1, 0, 0, 0, 1}));
}

TEST_F(Order, SuitabilityIsTheProductOfItsFactorsInPercent) {
  MakeRaster(dir_ / "a.tif", 1, 6, {-9, 0, 11, 12, 15, 30}, nullptr, 0, GDT_Float32, &noData_);
  const Json recipe = Json::parse(R"({"start": [], "suitability": [
      {"raster": "a.tif", "range": [10, 20]}, {"slope": "a.tif", "critical": 40, "nodata": 0.4},
      {"raster": "a.tif", "range": [10, 20], "invert": true}, {"slope": "a.tif", "critical": 15},
      {"raster": "a.tif", "classes": {"0-4": 0.25, "30": 0}}]})");
  const Json two = Json(
      {{"start", recipe["start"]},
       {"suitability", {recipe["suitability"][0], recipe["suitability"][1]}}});  // the first two
  EXPECT_EQ(RunPrepare(two, dir_.Path()).maps[1].cells,
            (std::vector<std::uint8_t>{40, 0, 7, 14, 31, 25}));
  const towngrow::io::Recipe r = towngrow::io::ParseRecipe(recipe, "recipe", dir_.Path());
  // factor, value: share
  const std::tuple<int, double, double> cases[] = {
      {0, 5, 0},  {0, 12.5, 0.25}, {0, 20, 1}, {0, 25, 1},    {2, 12.5, 0.75},
      {2, 25, 0}, {3, -3, 1},      {3, 0, 1},  {3, 7.5, 0.5}, {3, 15, 0},
      {3, 20, 0}, {4, 2, 0.25},    {4, 30, 0}, {4, 31, 1},    {4, 2.5, 1}};
  for (const auto& [factor, value, share] : cases)
    EXPECT_DOUBLE_EQ(towngrow::io::FactorValue(r.suitability[factor], value), share)
        << "factor " << factor << " of " << value;
  // A finer raster: the mean of the 5 x 5 cells under each grid cell.
  std::vector<int> values(100);
  for (int i = 0; i < 100; ++i) values[i] = i;  // row * 10 + column
  MakeRaster(dir_ / "fine.tif", 10, 10, values, std::array<double, 6>{0, 2, 0, 20, 0, -2}.data(),
             32633);
  const Json fine =
      Json::parse(R"({"grid": {"crs": "EPSG:32633", "bounds": [0, 0, 20, 20], "cell": 10},
      "start": [], "suitability": [{"raster": "fine.tif", "range": [0, 99]}]})");
  EXPECT_EQ(RunPrepare(fine, dir_.Path()).maps[1].cells,
            (std::vector<std::uint8_t>{22, 27, 73, 78}));
}

TEST_F(Order, ClassesApplyToTheLayersValuesBeforeTheMostFrequentIsTaken) {
  // Each grid cell covers 5 x 5 layer cells: 9 of value 41 and 16 of 21, 22
  // or 23, which one class takes.
  std::vector<int> values(10 * 10);
  for (int i = 0; i < 100; ++i)
    values[i] =
        (i % 10) % 5 < 2 && (i / 10) % 5 < 5 && (i % 5) * 5 + (i / 10) % 5 < 9 ? 41 : 21 + i % 3;
  int fortyOnes = 0;
  for (int i = 0; i < 25; ++i) fortyOnes += values[(i / 5) * 10 + i % 5] == 41;
  ASSERT_EQ(fortyOnes, 9);
  const double layerGt[6] = {0, 2, 0, 20, 0, -2};
  MakeRaster(dir_ / "fine.tif", 10, 10, values, layerGt, 32633);
  MakeRaster(dir_ / "like.tif", 2, 2, {0, 0, 0, 0},
             std::array<double, 6>{0, 10, 0, 20, 0, -10}.data(), 32633);
  const Json recipe = Json::parse(R"({"grid": {"like": "like.tif"},
      "start": [{"raster": "fine.tif", "classes": {"21-23": 3, "41": 5}}]})");
  const PrepareResult r = RunPrepare(recipe, dir_.Path(), "recipe");
  EXPECT_EQ(r.maps[0].cells, (std::vector<std::uint8_t>{3, 3, 3, 3}));
}

TEST_F(Order, GridFromBoundsRoundsUpAndPresetsNameTheirLegendsCodes) {
  // CORINE's three-digit codes; 999 is no class of the legend.
  MakeRaster(dir_ / "clc.tif", 2, 10, {111, 112, 121, 122, 123, 211, 512, 523, 999, 141,  //
                                       111, 111, 111, 111, 111, 111, 111, 111, 111, 111},
             std::array<double, 6>{0, 10, 0, 20, 0, -10}.data(), 32633);
  const Json recipe = Json::parse(R"({
      "grid": {"crs": "EPSG:32633", "bounds": [0, 5, 95, 20], "cell": 10},
      "start": [{"raster": "clc.tif", "preset": "corine"}]})");
  const PrepareResult r = RunPrepare(recipe, dir_.Path(), "recipe");
  ASSERT_EQ(std::make_pair(r.grid.rows, r.grid.cols), std::make_pair(2, 10));
  EXPECT_EQ(std::vector<double>(r.grid.geo.transform, r.grid.geo.transform + 6),
            (std::vector<double>{0, 10, 0, 20, 0, -10}));
  EXPECT_EQ(std::vector<std::uint8_t>(r.maps[0].cells.begin(), r.maps[0].cells.begin() + 10),
            (std::vector<std::uint8_t>{3, 3, 4, 1, 4, 0, 6, 6, 0, 0}));
  const std::pair<double, const char*> sides[] = {
      // 10000 cells of 10 on a side at most
      {100000, ""},
      {100010, "recipe: grid: 1 x 10001 cells: a grid has at most 10000 rows and columns"},
      {100015, "recipe: grid: the bounds hold more than 10000 cells of 10 on a side"}};
  for (const auto& [xmax, says] : sides) {
    Json big = recipe;
    big["grid"]["bounds"] = {0, 10, xmax, 20};
    EXPECT_EQ(Thrown<Error>([&] { RunPrepare(big, dir_.Path(), "recipe"); }), says) << xmax;
  }
}

// Each preset's codes at both ends of each of its ranges, and just outside them (-1: no class,
// the cell keeps what lies below).
TEST(Recipe, PresetsNameTheirCodesAtBothEndsOfEachRange) {
  const std::tuple<const char*, std::vector<std::int64_t>, std::vector<int>> rows[] = {
      {"nlcd", {10, 11, 12, 20, 21, 24, 25}, {-1, 6, -1, -1, 3, 3, -1}},
      {"worldcover", {49, 50, 51, 79, 80, 81}, {-1, 3, -1, -1, 6, -1}},
      {"corine", {110, 113, 120, 124, 510, 511, 524}, {-1, -1, -1, -1, -1, 6, -1}}};
  for (const auto& [preset, codes, ids] : rows) {
    const std::vector<towngrow::io::ValueRule> rules = towngrow::io::PresetRules(preset);
    for (std::size_t k = 0; k < codes.size(); ++k) {
      const towngrow::io::ValueRule* rule = towngrow::io::FindRule(rules, codes[k]);
      EXPECT_EQ(rule ? rule->value : -1, ids[k]) << preset << " " << codes[k];
    }
  }
}

// Every key of a recipe is checked before a layer is opened; a refusal
// names the key's place and what it must be. A line of the table: a recipe
// ("L keys": a start raster's keys; "E keys": keys beside an empty start)
// => the refusal.
TEST(Recipe, EachKeyIsRefusedAtItsPlaceWithWhatItMustBe) {
  const auto L = [](std::string k) { return R"({"start": [{"raster": "a.tif", )" + k + "}]}"; };
  const auto E = [](std::string k) { return R"({"start": [], )" + k + "}"; };
  std::istringstream table(R"(
{} => start: missing: the layers of the start map
[1, 2] => (top): must be an object
E "extra": 1 => extra: unknown key (known: grid, start, background, observed, suitability, schedule, params, description)
L "classes": {"1": 256} => start[0].classes["1"]: must be from 0 to 255, not 256
L "preset": "nlcd2" => start[0].preset: "nlcd2" is none of nlcd, corine, worldcover
{"start": [{"vector": "r", "as": -1}]} => start[0].as: must be from 0 to 255, not -1
E "background": [{"vector": "r", "allow": [0, 8]}] => background[0].allow[1]: ID 8: a background cell holds the IDs 0 to 7 only (one bit each)
E "background": [{"raster": "a", "classes": {"1": [9]}}] => background[0].classes["1"][0]: ID 9: a background cell holds the IDs 0 to 7 only (one bit each)
E "observed": [{"name": "a/b", "steps": 2, "layers": []}] => observed[0].name: "a/b": 1 to 40 letters, digits, '_', '-' or '.' (it names observed-<name>.tif)
E "observed": [{"name": "x", "steps": 0, "layers": []}] => observed[0].steps: must be from 1 to 100000000, not 0
E "schedule": [{"step": 0, "start": []}] => schedule[0].step: must be from 1 to 100000000, not 0
E "schedule": [{"step": 2, "start": [{"vector": "r", "as": 3}]}, {"step": 2, "background": []}] => schedule[1].step: step 2 is schedule[0]'s too
E "schedule": [{"step": 2, "roads": []}] => schedule[0].roads: unknown key (known: step, start, background, suitability)
E "suitability": [{"raster": "a", "range": [3, 3]}] => suitability[0].range: the range is reversed or empty (write the smaller value first)
E "suitability": [{"raster": "a", "classes": {"1": 1.5}}] => suitability[0].classes["1"]: must be a number from 0 to 1, not 1.5
{"start": {}} => start: must be a list of layers
E "description": "" => description: must be a non-empty text
{"start": [3]} => start[0]: must be an object with "raster" or "vector"
L "vector": "b" => start[0]: needs exactly one of "raster" and "vector"
L "clases": {} => start[0].clases: unknown key (known: raster, band, classes, preset, nodata)
L "classes": {"1": 3}, "preset": "nlcd" => start[0]: give "classes" or "preset", not both
{"start": [{"raster": "a.tif"}]} => start[0]: needs "classes" or "preset"
L "classes": {}, "band": 0 => start[0].band: must be from 1 to 65535, not 0
L "classes": {"1": 3}, "band": 1.5 => start[0].band: must be a whole number
L "classes": [] => start[0].classes: must be an object of value: rule entries
L "classes": {"-1--3": 3} => start[0].classes["-1--3"]: the range is reversed (write the smaller value first)
L "classes": {"5-9": 3, "1-5": 4} => start[0].classes["5-9"]: overlaps ["1-5"]
{"start": [{"vector": "r"}]} => start[0]: needs "as" (a land-use ID or "street")
E "background": [{"vector": "r"}] => background[0]: needs "allow" (a list of allowed IDs)
E "background": [{"raster": "a"}] => background[0]: needs "classes" (values to lists of allowed IDs)
E "observed": {} => observed: must be a list of control maps
E "observed": [{"name": "x", "steps": 2}] => observed[0]: needs "layers"
E "observed": [{"name": "x", "steps": 2, "layers": []}] => observed[0].layers: must list at least one layer
E "observed": [{"name": "x", "steps": 1, "layers": [{"vector": "r", "as": 3}]},{"name": "x", "steps": 1, "layers": [{"vector": "r", "as": 3}]}] => observed[1].name: "x" names an earlier control map too
E "suitability": [] => suitability: must be a list of at least one factor
E "suitability": [{"raster": "a", "slope": "s"}] => suitability[0]: needs exactly one of "raster" and "slope"
E "suitability": [{"slope": "s"}] => suitability[0]: needs "critical" (the slope that allows nothing)
E "suitability": [{"slope": "s", "critical": 0}] => suitability[0].critical: must be above 0, not 0
E "suitability": [{"raster": "a"}] => suitability[0]: needs exactly one of "range" and "classes"
E "suitability": [{"raster": "a", "classes": {"1": 1}, "invert": true}] => suitability[0].invert: goes with "range" only
E "suitability": [{"raster": "a", "range": [1]}] => suitability[0].range: must be [lo, hi]
E "suitability": [{"raster": "a", "range": ["a", 2]}] => suitability[0].range[0]: must be a number
E "suitability": [{"raster": "a", "range": [1, "b"]}] => suitability[0].range[1]: must be a number
E "suitability": [{"raster": "a", "range": [1, 2], "invert": 1}] => suitability[0].invert: must be true or false
E "schedule": [{"start": []}] => schedule[0]: needs "step"
E "schedule": [{"step": 3}] => schedule[0]: gives none of "start", "background", "suitability"
E "schedule": [{"step": 3, "background": []}] => schedule[0].background: must list at least one layer
E "grid": {"like": "a", "cell": 2} => grid: give "like" alone, or "crs", "bounds" and "cell"
E "grid": {"crs": "c", "bounds": [0, 0, 9, 9]} => grid: needs "like", or "crs", "bounds" and "cell" (no "cell")
E "grid": {"crs": "c", "bounds": [0, 0, 9], "cell": 1} => grid.bounds: must be [xmin, ymin, xmax, ymax]
E "grid": {"crs": "c", "bounds": [0, 0, 9, "9"], "cell": 1} => grid.bounds[3]: must be a number
E "grid": {"crs": "c", "bounds": [0, 9, 9, 9], "cell": 1} => grid.bounds: xmin must be below xmax and ymin below ymax
E "grid": {"crs": "c", "bounds": [9, 0, 9, 9], "cell": 1} => grid.bounds: xmin must be below xmax and ymin below ymax
E "grid": {"crs": "c", "bounds": [0, 0, 9, 9], "cell": 0} => grid.cell: must be a number above 0
)");
  std::vector<std::pair<std::string, std::string>> cases;
  for (std::string line; std::getline(table, line);) {
    const std::size_t at = line.find(" => ");
    if (line.empty()) continue;
    ASSERT_NE(at, std::string::npos) << line;
    const std::string recipe = line.substr(0, at),
                      rest = recipe.substr(std::min<std::size_t>(2, recipe.size()));
    cases.push_back({recipe.rfind("L ", 0) == 0   ? L(rest)
                     : recipe.rfind("E ", 0) == 0 ? E(rest)
                                                  : recipe,
                     line.substr(at + 4)});
  }
  for (const char* key : {"x", "1-", "1-2x", "1+2", "1234567890123456"})  // 15 digits at most
    cases.push_back({L(R"("classes": {")" + std::string(key) + R"(": 3})"),
                     "start[0].classes[\"" + std::string(key) +
                         "\"]: not a whole number or a range of them (\"11\", \"21-24\")"});
  for (const auto& [text, message] : cases)
    EXPECT_EQ(Thrown<Error>([&] { towngrow::io::ParseRecipe(Json::parse(text), "r", ""); }),
              "r: " + message)
        << text;
  const towngrow::io::Recipe r = towngrow::io::ParseRecipe(
      Json::parse(L(R"("classes": {"-5--1": 3, "007": 4, "999999999999999": 5})")), "r", "f");
  const auto& rules = r.start[0].rules;
  ASSERT_EQ(rules.size(), 3u);
  EXPECT_EQ(
      (std::vector<std::int64_t>{rules[0].lo, rules[0].hi, rules[1].lo, rules[1].hi, rules[2].lo}),
      (std::vector<std::int64_t>{-5, -1, 7, 7, 999999999999999}));
  EXPECT_EQ(r.start[0].file, "f/a.tif");
}

TEST(Checksum, FileSha256MatchesTheStandardsVectors) {
  ScratchDir dir;
  const std::pair<std::string, const char*> cases[] = {
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",  // padding in a second block
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'),  // reads of several blocks
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"}};
  for (const auto& [bytes, sha256] : cases) {
    WriteAll(dir / "f", bytes);
    EXPECT_EQ(towngrow::io::FileSha256(dir / "f"), sha256) << bytes.size();
  }
  EXPECT_EQ(towngrow::io::FileSha256(dir.Path()), "");  // a folder has none
}

// The street rule on small networks: '#' street cells, answers 'N' node, 'V' vertex.
TEST(StreetRule, NodesAtEndsAndJunctionsOnly) {
  using Rows = std::vector<std::string>;
  const std::tuple<const char*, Rows, Rows> cases[] = {
      {"lone cell", {".....", "..#..", "....."}, {".....", "..N..", "....."}},
      {"straight line", {".....", ".###.", "....."}, {".....", ".NVN.", "....."}},
      {"diagonal staircase", {"##...", ".###.", "...##"}, {"NV...", ".VVV.", "...VN"}},
      {"T", {".###.", "..#..", "..#.."}, {".NNN.", "..V..", "..N.."}},
      {"plus",
       {"..#..", "..#..", "#####", "..#..", "..#.."},
       {"..N..", "..V..", "NVNVN", "..V..", "..N.."}},
      {"arm of one cell", {"..#..", "#####"}, {"..V..", "NVNVN"}},
      {"cross of diagonals",
       {"#...#", ".#.#.", "..#..", ".#.#.", "#...#"},
       {"N...N", ".V.V.", "..N..", ".V.V.", "N...N"}},
      {"leaves the grid", {"###", "...", "..."}, {"NVN", "...", "..."}},
      {"loop", {"###", "#.#", "###"}, {"VVV", "V.V", "VVV"}}};
  for (const auto& [name, in, out] : cases) {
    const int rows = static_cast<int>(in.size()), cols = static_cast<int>(in[0].size());
    std::vector<std::uint8_t> street, ids(static_cast<std::size_t>(rows) * cols, 0);
    for (const std::string& row : in)
      for (char ch : row) street.push_back(ch == '#');
    towngrow::io::ApplyStreetRule(street, rows, cols, 1, 2, ids);
    Rows got(static_cast<std::size_t>(rows));
    for (std::size_t i = 0; i < ids.size(); ++i) got[i / cols] += ".NV"[ids[i]];
    EXPECT_EQ(got, out) << name;
  }
}

TEST(StreetRule, SteepLinesAreJoinedOneCellARowEachBesideTheNext) {
  // Steep lines down and up whose burnt cells skip rows 2 to 7: one cell
  // joined in each of those rows, every row's cell beside the next one's.
  for (const bool up : {false, true}) {
    std::vector<std::uint8_t> steep(10 * 4, 0);
    for (int cell : {0 * 4 + 1, 1 * 4 + 1, 8 * 4 + 2, 9 * 4 + 2}) steep[cell] = 1;
    std::vector<towngrow::io::PixelPoint> line = {{1.5, 0.5}, {2.5, 9.5}};
    if (up) std::swap(line[0], line[1]);
    EXPECT_EQ(towngrow::io::JoinLineCells(line, 10, 4, steep), 6) << up;
    int last = -1;
    for (int r = 0; r < 10; ++r) {
      int count = 0, col = -1;
      for (int c = 0; c < 4; ++c)
        if (steep[r * 4 + c]) ++count, col = c;
      EXPECT_EQ(count, 1) << "row " << r << (up ? " up" : " down");
      EXPECT_TRUE(last < 0 || std::abs(col - last) <= 1) << "row " << r;
      last = col;
    }
  }
}

// A line that leaves the grid by one of its edges and comes back joins
// nothing across the outside; the same line kept inside joins its gap.
TEST(StreetRule, ALineOutsideTheGridByAnyEdgeJoinsNothingThere) {
  using P = towngrow::io::PixelPoint;
  constexpr int n = 6;  // a square grid: each edge is the bottom one turned
  // clang-format off
  const std::pair<const char*, P (*)(P)> edges[] = {
      {"bottom", [](P p) { return p; }}, {"top", [](P p) { return P{p.x, n - p.y}; }},
      {"right", [](P p) { return P{p.y, p.x}; }}, {"left", [](P p) { return P{n - p.y, p.x}; }}};
  // clang-format on
  for (const auto& [edge, turn] : edges)
    for (const double far : {9.0, 5.75}) {  // out by 3 cells, or kept inside
      std::vector<std::uint8_t> burnt(n * n, 0);
      auto cell = [&](double x, double y) -> std::uint8_t& {
        const P p = turn({x, y});
        return burnt[static_cast<int>(p.y) * n + static_cast<int>(p.x)];
      };
      cell(1.5, 4.5) = cell(4.5, 4.5) = 1;
      std::vector<P> line;
      for (const P& p : {P{1.5, 4.5}, {1.5, far}, {4.5, far}, {4.5, 4.5}}) line.push_back(turn(p));
      EXPECT_EQ(towngrow::io::JoinLineCells(line, n, n, burnt), far > n ? 0 : 2) << edge << far;
      EXPECT_EQ(cell(2.5, 4.5) + cell(3.5, 4.5), far > n ? 0 : 2) << edge << far;
    }
}

}  // namespace
