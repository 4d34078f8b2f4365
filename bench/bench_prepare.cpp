// `towngrow prepare` at the size of a county at 30 m: a 5000 x 4500 grid
// from four rasters of that size (land cover, a road raster, an exclusion
// layer, a later year's urban map) and a GeoPackage of 50,000 road lines,
// side by side with GDAL alone doing the least any tool must: reading the
// four rasters and burning the lines (GDALRasterize).
//
// The layers are made once into $TOWNGROW_BENCH_DIR (default
// /tmp/towngrow-bench-prepare) and reused. One core (no threads are
// started; GDAL's own warper threads stay off). GDAL's block cache is held
// at 64 MB (GDAL_CACHEMAX), so the peak memory beyond GDAL's own is the
// peak of a Prepare run less the peak of the GdalAlone run:
//   /usr/bin/time -v ./build/bench/bench_prepare --benchmark_filter=GdalAlone
//   /usr/bin/time -v ./build/bench/bench_prepare --benchmark_filter='Prepare$'
// ("Maximum resident set size"); each benchmark also reports the process's
// peak so far (peak_MB) and its cells.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <cpl_conv.h>
#include <cpl_string.h>
#include <gdal_priv.h>
#include <gdal_utils.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include "io/output_folder.h"
#include "jobs/prepare.h"

namespace {

namespace fs = std::filesystem;

constexpr int kCols = 5000, kRows = 4500, kLines = 50000;
constexpr double kX0 = 500000, kY1 = 4200000, kCell = 30;

std::string Dir() {
  const char* d = std::getenv("TOWNGROW_BENCH_DIR");
  return d != nullptr && *d != '\0' ? d : "/tmp/towngrow-bench-prepare";
}

OGRSpatialReference Utm() {
  OGRSpatialReference srs;
  srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  srs.importFromEPSG(32617);
  return srs;
}

template <class Value>
void MakeRaster(const std::string& path, Value value) {
  if (fs::exists(path)) return;
  CPLStringList options;
  options.SetNameValue("TILED", "YES");
  options.SetNameValue("COMPRESS", "DEFLATE");
  GDALDataset* ds = GetGDALDriverManager()->GetDriverByName("GTiff")->Create(
      (path + ".part").c_str(), kCols, kRows, 1, GDT_Byte, options.List());
  double gt[6] = {kX0, kCell, 0, kY1, 0, -kCell};
  ds->SetGeoTransform(gt);
  const OGRSpatialReference srs = Utm();
  ds->SetSpatialRef(&srs);
  std::vector<unsigned char> row(kCols);
  for (int r = 0; r < kRows; ++r) {
    for (int c = 0; c < kCols; ++c) row[c] = value(r, c);
    if (ds->GetRasterBand(1)->RasterIO(GF_Write, 0, r, kCols, 1, row.data(), kCols, 1, GDT_Byte, 0,
                                       0, nullptr) != CE_None)
      std::abort();
  }
  GDALClose(ds);
  fs::rename(path + ".part", path);
}

void MakeRoads(const std::string& path) {
  if (fs::exists(path)) return;
  const std::string part = path + ".part.gpkg";
  GDALDataset* ds = GetGDALDriverManager()->GetDriverByName("GPKG")->Create(part.c_str(), 0, 0, 0,
                                                                            GDT_Unknown, nullptr);
  OGRSpatialReference srs = Utm();
  OGRLayer* layer = ds->CreateLayer("roads", &srs, wkbLineString, nullptr);
  OGRFieldDefn year("year", OFTInteger);
  layer->CreateField(&year);
  std::mt19937 gen(7);
  std::uniform_real_distribution<double> x(kX0, kX0 + kCols * kCell), y(kY1 - kRows * kCell, kY1);
  std::uniform_real_distribution<double> step(-40 * kCell, 40 * kCell);
  if (layer->StartTransaction() != OGRERR_NONE) std::abort();
  for (int i = 0; i < kLines; ++i) {
    OGRLineString line;
    double px = x(gen), py = y(gen);
    for (int k = 0; k < 4; ++k) {
      line.addPoint(px, py);
      px += step(gen);
      py += step(gen);
    }
    OGRFeature* f = OGRFeature::CreateFeature(layer->GetLayerDefn());
    f->SetGeometry(&line);
    f->SetField("year", 1900 + i % 100);
    if (layer->CreateFeature(f) != OGRERR_NONE) std::abort();
    OGRFeature::DestroyFeature(f);
  }
  if (layer->CommitTransaction() != OGRERR_NONE) std::abort();
  GDALClose(ds);
  fs::rename(part, path);
}

const std::string& Data() {
  static const std::string dir = [] {
    GDALAllRegister();
    CPLSetConfigOption("GDAL_CACHEMAX", "64");
    const std::string d = Dir();
    fs::create_directories(d);
    // Land cover of NLCD-like classes in patches; roads every 97 cells;
    // water in a disc; urban blocks.
    static const unsigned char cover[8] = {11, 21, 22, 23, 24, 41, 42, 81};
    MakeRaster(d + "/landcover.tif", [](int r, int c) {
      return cover[((r / 37) * 7 + (c / 53) * 3 + (r * c) % 11 / 10) % 8];
    });
    MakeRaster(d + "/roads.tif", [](int r, int c) {
      return static_cast<unsigned char>(r % 97 == 0 || c % 97 == 0 ? 255 : 0);
    });
    MakeRaster(d + "/excluded.tif", [](int r, int c) {
      const double dr = r - 3000.0, dc = c - 1200.0;
      return static_cast<unsigned char>(dr * dr + dc * dc < 800.0 * 800.0 ? 100 : 1);
    });
    MakeRaster(d + "/urban.tif", [](int r, int c) {
      return static_cast<unsigned char>((r / 60 + c / 45) % 5 == 0 ? 255 : 0);
    });
    MakeRoads(d + "/roads.gpkg");
    return d;
  }();
  return dir;
}

const towngrow::jobs::Json& Recipe() {
  static const towngrow::jobs::Json recipe = towngrow::jobs::Json::parse(R"({
    "grid": {"like": "landcover.tif"},
    "start": [{"raster": "landcover.tif", "preset": "nlcd"},
              {"raster": "roads.tif", "classes": {"255": "street"}},
              {"vector": "roads.gpkg", "as": "street"}],
    "background": [{"raster": "excluded.tif", "classes": {"100": []}}],
    "observed": [{"name": "later", "steps": 20,
                  "layers": [{"raster": "urban.tif", "classes": {"255": 3}}]}]})");
  return recipe;
}

double PeakMb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss / 1024.0;
}

void Report(benchmark::State& state) {
  state.counters["peak_MB"] = PeakMb();
  state.counters["cells"] = static_cast<double>(kRows) * kCols;
}

// The floor: the four rasters read whole, the lines burnt.
void GdalAlone(benchmark::State& state) {
  const std::string d = Data();
  for (auto _ : state) {
    std::vector<unsigned char> cells(static_cast<std::size_t>(kRows) * kCols);
    for (const char* name : {"landcover.tif", "roads.tif", "excluded.tif", "urban.tif"}) {
      GDALDataset* ds = static_cast<GDALDataset*>(GDALOpen((d + "/" + name).c_str(), GA_ReadOnly));
      if (ds->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, kCols, kRows, cells.data(), kCols, kRows,
                                         GDT_Byte, 0, 0, nullptr) != CE_None)
        std::abort();
      GDALClose(ds);
    }
    CPLStringList argv;
    for (const char* w : {"-of", "MEM", "-burn", "1", "-ot", "Byte", "-te", "500000", "4065000",
                          "650000", "4200000", "-ts", "5000", "4500"})
      argv.AddString(w);
    GDALDatasetH src =
        GDALOpenEx((d + "/roads.gpkg").c_str(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr);
    GDALRasterizeOptions* o = GDALRasterizeOptionsNew(argv.List(), nullptr);
    GDALDatasetH out = GDALRasterize("", nullptr, src, o, nullptr);
    GDALRasterizeOptionsFree(o);
    benchmark::DoNotOptimize(out);
    GDALClose(out);
    GDALClose(src);
    benchmark::DoNotOptimize(cells.data());
  }
  Report(state);
}

void Prepare(benchmark::State& state) {
  const std::string d = Data();
  for (auto _ : state) {
    const towngrow::jobs::PrepareResult r = towngrow::jobs::RunPrepare(Recipe(), d, "bench");
    benchmark::DoNotOptimize(r.maps.data());
  }
  Report(state);
}

void PrepareAndWrite(benchmark::State& state) {
  const std::string d = Data();
  for (auto _ : state) {
    const towngrow::jobs::PrepareResult r = towngrow::jobs::RunPrepare(Recipe(), d, "bench");
    towngrow::io::OutputFolder folder(d + "/out");
    towngrow::jobs::WritePrepareOutputs(r, folder);
    folder.Publish();
  }
  Report(state);
}

BENCHMARK(GdalAlone)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(Prepare)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(PrepareAndWrite)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
