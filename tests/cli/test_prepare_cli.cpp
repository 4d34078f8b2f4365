// `towngrow prepare` as a user runs it: refused recipes and layers (exit 2,
// one line naming the recipe and the key, nothing written), the warning of
// an ID no land use has, and what a good recipe leaves behind.
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

struct BadRecipe {
  const char* json;
  const char* message;
};

TEST_F(PrepareCli, RefusesBadRecipesAndLayersWithOneLineAndWritesNothing) {
  const BadRecipe cases[] = {
      {R"({"start": [{"raster": "nope.tif", "classes": {"1": 3}}]})",
       "recipe.json: start[0].raster: nope.tif: no such file"},
      {R"({"start": [{"raster": "geo.tif", "clases": {"1": 3}}]})",
       "recipe.json: start[0].clases: unknown key"},
      {R"({"start": [], "extra": 1})", "recipe.json: extra: unknown key"},
      {R"({"start": [{"raster": "geo.tif", "classes": {"1-5": 3, "4-9": 4}}]})",
       R"(recipe.json: start[0].classes["4-9"]: overlaps ["1-5"])"},
      {R"({"start": [{"raster": "geo.tif", "classes": {"9-1": 3}}]})",
       R"(recipe.json: start[0].classes["9-1"]: the range is reversed)"},
      {R"({"start": [{"raster": "geo.tif", "classes": {"1": 256}}]})",
       R"(recipe.json: start[0].classes["1"]: must be from 0 to 255, not 256)"},
      {R"({"start": [{"vector": "roads.gpkg", "as": -1}]})",
       "recipe.json: start[0].as: must be from 0 to 255"},
      {R"({"start": [{"raster": "geo.tif", "classes": {"1": 3}}],
           "background": [{"vector": "roads.gpkg", "allow": [0, 8]}]})",
       "recipe.json: background[0].allow[1]: ID 8: a background cell holds the IDs 0 to 7 only"},
      {R"({"start": [{"raster": "geo.tif", "classes": {"1": 3}}],
           "background": [{"raster": "geo.tif", "classes": {"1": [9]}}]})",
       R"(recipe.json: background[0].classes["1"][0]: ID 9)"},
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
      {R"({"start": [{"raster": "geo.tif", "classes": {"1": 3}}],
           "observed": [{"name": "a/b", "steps": 20, "layers": [{"raster": "geo.tif", "classes": {"1": 3}}]}]})",
       "recipe.json: observed[0].name: \"a/b\""},
      {R"({"start": [{"raster": "geo.tif", "classes": {"1": 3}}],
           "observed": [{"name": "x", "steps": 0, "layers": [{"raster": "geo.tif", "classes": {"1": 3}}]}]})",
       "recipe.json: observed[0].steps: must be from 1 to 100000000"},
      {R"({"grid": {"crs": "EPSG:32633", "bounds": [0, 0, 1e9, 10], "cell": 1}, "start": []})",
       "recipe.json: grid: the bounds hold more than 10000 cells"},
      {R"({"grid": {"crs": "no such crs", "bounds": [0, 0, 10, 10], "cell": 1}, "start": []})",
       "recipe.json: grid.crs:"},
      {R"({"start": [{"raster": "geo.tif", "preset": "nlcd2"}]})",
       "recipe.json: start[0].preset: \"nlcd2\" is none of nlcd, corine, worldcover"},
      {R"([1, 2])", "recipe.json: (top): must be an object"},
      {R"({"start": [{"raster": "nodata.tif", "classes": {"1-255": 3}, "nodata": 6}]})",
       "recipe.json: start[0].nodata: nodata.tif: its no-data value 255 is named by the rule "
       "classes[\"1-255\"] too"},
      {R"({"start": [], "schedule": [{"step": 0, "start": []}]})",
       "recipe.json: schedule[0].step: must be from 1 to 100000000, not 0"},
      {R"({"start": [], "schedule": [{"step": 2, "suitability": [{"slope": "geo.tif", "critical": 9}]},
                                     {"step": 2, "background": []}]})",
       "recipe.json: schedule[1].step: step 2 is schedule[0]'s too"},
      {R"({"start": [], "schedule": [{"step": 2, "roads": []}]})",
       "recipe.json: schedule[0].roads: unknown key"},
      {R"({"start": [], "schedule": [{"step": 2}]})",
       "recipe.json: schedule[0]: gives none of \"start\", \"background\", \"suitability\""},
      {R"({"start": [], "suitability": [{"raster": "geo.tif"}]})",
       "recipe.json: suitability[0]: needs exactly one of \"range\" and \"classes\""},
      {R"({"start": [], "suitability": [{"raster": "geo.tif", "range": [9, 1]}]})",
       "recipe.json: suitability[0].range: the range is reversed"},
      {R"({"start": [], "suitability": [{"raster": "geo.tif", "range": [3, 3]}]})",
       "recipe.json: suitability[0].range: the range is reversed or empty"},
      {R"({"start": [], "schedule": [{"step": 5, "suitability": [{"slope": "geo.tif", "critical": 0}]}]})",
       "recipe.json: schedule[0].suitability[0].critical: must be above 0, not 0"},
      {R"({"start": [], "suitability": [{"raster": "geo.tif", "classes": {"1": 1.5}}]})",
       "recipe.json: suitability[0].classes[\"1\"]: must be a number from 0 to 1, not 1.5"},
      {R"({"start": [], "suitability": [{"slope": "nope.tif", "critical": 9}]})",
       "recipe.json: suitability[0].slope: nope.tif: no such file"},
  };
  for (const BadRecipe& c : cases) {
    Recipe(c.json);
    ExpectBadInput("prepare recipe.json --out out", c.message);
  }
  ExpectBadInput("prepare missing.json --out out", "missing.json: no such recipe file");
}

TEST_F(PrepareCli, WarnsOfAnIdNoLandUseHasAndPrintsTheCalibrateLine) {
  Recipe(R"({"start": [{"raster": "geo.tif", "classes": {"1": 9}},
                       {"vector": "roads.gpkg", "layer": "roads", "as": "street"}],
             "observed": [{"name": "1950", "steps": 20,
                           "layers": [{"raster": "geo.tif", "classes": {"1": 3}}]}]})");
  const Result r = Run("prepare recipe.json --out out");
  EXPECT_EQ(r.code, 0) << r.err;
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
  const Result run =
      Run("run --start out/start.tif --steps 3 --no-gif --no-png --quiet --out grown");
  EXPECT_EQ(run.code, 0) << run.err;
}

}  // namespace
