// `towngrow prepare` as a user runs it: refused recipes and layers (exit 2, one line naming the
// recipe and key, nothing written), the warning of an ID no land use has, a good recipe's files.
#include "support/layers.h"
#include "support/program.h"

namespace {

using namespace testkit;

class PrepareCli : public ProgramTest {
protected:
  void SetUp() override {
    const double gt[6] = {400000, 30, 0, 5000180, 0, -30};
    const double farGt[6] = {900000, 30, 0, 5000180, 0, -30};
    MakeRaster(W("geo.tif"), 6, 8, std::vector<int>(48, 1), gt, 32633);
    MakeRaster(W("far.tif"), 6, 8, std::vector<int>(48, 1), farGt, 32633);
    MakeRaster(W("plain.tif"), 4, 5, std::vector<int>(20, 1));
    const double noData = 255;
    MakeRaster(W("nodata.tif"), 6, 8, std::vector<int>(48, 255), gt, 32633, GDT_Byte, &noData);
    // A VRT that states GDAL's default transform: no georeference either.
    WriteAll(W("plain.vrt"),
             "<VRTDataset rasterXSize=\"5\" rasterYSize=\"4\"><GeoTransform>0, 1, 0, 0, 0, "
             "1</GeoTransform><VRTRasterBand dataType=\"Int32\" band=\"1\"><SimpleSource>"
             "<SourceFilename relativeToVRT=\"1\">plain.tif</SourceFilename><SourceBand>1"
             "</SourceBand></SimpleSource></VRTRasterBand></VRTDataset>");
    AddGpkgLayer(W("roads.gpkg"), "roads", 32633, wkbLineString,
                 {{"LINESTRING(400015 5000015, 400225 5000165)", 1930}});
    AddGpkgLayer(W("roads.gpkg"), "far", 32633, wkbLineString,
                 {{"LINESTRING(900015 5000015, 900225 5000165)", 1930}});
  }
  void Recipe(const std::string& json) { WriteAll(W("recipe.json"), json); }
};

TEST_F(PrepareCli, RefusesBadRecipesAndLayersWithOneLineAndWritesNothing) {
  // Each: a recipe and what its refusal says.
  const std::pair<const char*, const char*> cases[] = {
      {R"({"start": [{"raster": "nope.tif", "classes": {"1": 3}}]})",
       "recipe.json: start[0].raster: nope.tif: no such file"},
      {R"({"grid": {"like": "geo.tif"}, "start": [{"raster": "plain.tif", "classes": {"1": 3}}]})",
       "recipe.json: start[0].raster: plain.tif: the layer has no georeference, so it must have "
       "the grid's size (6 x 8 cells), not 4 x 5 cells"},
      {R"({"grid": {"like": "geo.tif"}, "start": [{"raster": "plain.vrt", "classes": {"1": 3}}]})",
       "recipe.json: start[0].raster: plain.vrt: the layer has no georeference"},
      {R"({"grid": {"like": "plain.tif"}, "start": [{"vector": "roads.gpkg", "as": "street"}]})",
       "recipe.json: start[0].vector: roads.gpkg: a vector layer needs a grid with georeference"},
      {R"({"start": [{"raster": "geo.tif", "classes": {"1": 3}}, {"raster": "far.tif", "classes": {"1": 4}}]})",
       "recipe.json: start[1].raster: far.tif: does not overlap the grid"},
      {R"({"start": [{"raster": "geo.tif", "classes": {"1": 3}},
                     {"vector": "roads.gpkg", "layer": "far", "as": 3}]})",
       "recipe.json: start[1].vector: roads.gpkg: none of its 1 features overlaps the grid"},
      {R"({"start": [{"raster": "geo.tif", "classes": {"1": 3}},
                     {"vector": "roads.gpkg", "as": 3}]})",
       "recipe.json: start[1].layer: roads.gpkg holds several layers (roads, far): name one"},
      {R"({"start": [{"raster": "geo.tif", "classes": {"1": 3}},
                     {"vector": "roads.gpkg", "layer": "roads", "where": "nosuchfield > 3", "as": "street"}]})",
       "recipe.json: start[1].where: GDAL refuses \"nosuchfield > 3\""},
      {R"({"grid": {"crs": "EPSG:32633", "bounds": [0, 0, 1e9, 10], "cell": 1}, "start": []})",
       "recipe.json: grid: the bounds hold more than 10000 cells"},
      {R"({"grid": {"crs": "no such crs", "bounds": [0, 0, 10, 10], "cell": 1}, "start": []})",
       "recipe.json: grid.crs:"},
      {R"({"start": [{"raster": "nodata.tif", "classes": {"1-255": 3}, "nodata": 6}]})",
       "recipe.json: start[0].nodata: nodata.tif: its no-data value 255 is named by the rule "
       "classes[\"1-255\"] too"},
      {R"({"start": [], "suitability": [{"slope": "nope.tif", "critical": 9}]})",
       "recipe.json: suitability[0].slope: nope.tif: no such file"}};
  for (const auto& [json, message] : cases) {
    Recipe(json);
    ExpectBadInput("prepare recipe.json --out out", message);
  }
  ExpectBadInput("prepare missing.json --out out", "missing.json: no such recipe file");
}

TEST_F(PrepareCli, WarnsOfAnIdNoLandUseHasAndPrintsTheCalibrateLine) {
  Recipe(R"({"start": [{"raster": "geo.tif", "classes": {"1": 9}},
                       {"vector": "roads.gpkg", "layer": "roads", "as": "street"}],
             "observed": [{"name": "1950", "steps": 20,
                           "layers": [{"raster": "geo.tif", "classes": {"1": 3}}]}]})");
  Result r = Ok("prepare recipe.json --out out");
  EXPECT_EQ(r.err,
            "towngrow: warning: recipe.json: start[0].classes[\"1\"]: ID 9 is no land use of the "
            "parameters (its cells never change)\n");
  EXPECT_NE(r.out.find("\n  towngrow calibrate --start out/start.tif --observed "
                       "out/observed-1950.tif:20 --classes out/classes.json --space SPACE.json\n"),
            std::string::npos)
      << r.out;
  const std::vector<int> start = ReadCells(W("out/start.tif").string());
  EXPECT_EQ(std::count(start.begin(), start.end(), 9) + std::count(start.begin(), start.end(), 1) +
                std::count(start.begin(), start.end(), 2),
            48);
  EXPECT_EQ(std::count(start.begin(), start.end(), 1), 2);  // the road's two ends
  // The program runs from what it wrote.
  Ok("run --start out/start.tif --steps 3 --no-gif --no-png --quiet --out grown");

  // Every kind of map, told as written: backgrounds by their allowed sets, surfaces by their mean,
  // a schedule's maps of one step, control maps of one developed land use (vacant cells aside).
  const double gt[6] = {400000, 30, 0, 5000180, 0, -30};
  std::vector<int> values(48);
  for (int i = 0; i < 48; ++i) values[static_cast<std::size_t>(i)] = i * 5;
  MakeRaster(W("vals.tif"), 6, 8, values, gt, 32633);
  Recipe(R"({"start": [{"raster": "geo.tif", "classes": {"1": 3}}],
      "background": [{"raster": "vals.tif", "classes": {"100-255": [], "50-99": [0, 3]}}],
      "suitability": [{"slope": "vals.tif", "critical": 150}],
      "schedule": [{"step": 4, "start": [{"raster": "vals.tif", "classes": {"200-255": "street"}}],
          "background": [{"raster": "vals.tif", "classes": {"0-50": [0, 1, 2]}}],
          "suitability": [{"slope": "vals.tif", "critical": 100}]}],
      "observed": [{"name": "1970", "steps": 40,
          "layers": [{"raster": "vals.tif", "classes": {"0-99": 0, "100-255": 3}}]}]})");
  r = Ok("prepare recipe.json --out all");
  EXPECT_EQ(Digest().Add(r.out).Hex(), "97861cf8b8089101") << r.out;
  EXPECT_EQ(FileDigest("all/prepare.json") + " " + FileDigest("all/report.html"),
            "2d439db990a4d455 aeb810f3a07d5bd4");
}

}  // namespace
