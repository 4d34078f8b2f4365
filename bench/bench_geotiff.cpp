// GeoTIFF in and out through the program's map code, each beside GDAL doing
// the same bytes in the same run: writing a grown town of N x N cells as a
// tiled DEFLATE GeoTIFF (ours adds the colour table, category names and
// attribute table) against GDAL's CreateCopy of the same cells from memory,
// and reading it into a coverage (with the value checks) against a plain
// RasterIO of the band into a buffer. Files go to /dev/shm when it exists.
//   ./build/bench/bench_geotiff --benchmark_min_time=1
#include <benchmark/benchmark.h>
#include <gdal_priv.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <towngrow/towngrow.h>

#include "io/gdal_raster.h"

namespace {

namespace fs = std::filesystem;
using towngrow::io::GdalRasterInfo;
using towngrow::io::GeoInfo;

std::string Scratch(const std::string& name) {
  const fs::path dir = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
  const std::string path = (dir / ("bench-geotiff-" + name)).string();
  static struct Cleanup {
    std::vector<std::string> paths;
    ~Cleanup() {
      std::error_code ec;
      for (const auto& p : paths) fs::remove(p, ec), fs::remove(p + ".aux.xml", ec);
    }
  } cleanup;
  cleanup.paths.push_back(path);
  return path;
}

// A town grown from the sparse random start: streets, housing, industry.
const towngrow::CLandUseCoverage& Town(int side) {
  static towngrow::Simulation* sim = nullptr;
  if (sim == nullptr || sim->Current().m_nRows != side) {
    delete sim;
    sim = new towngrow::Simulation();
    sim->Init(side, side);
    towngrow::SeedRandom(1);
    sim->Current().RandomFill();
    sim->Run(20, [](const towngrow::StepReport&) { return true; });
  }
  return sim->Current();
}

GeoInfo Utm() {
  GeoInfo geo = towngrow::io::GeoFromFields(500000, 4000000, 30, 0);
  geo.wkt = towngrow::io::CrsFromUserText("EPSG:32633");
  return geo;
}

void SetBytes(benchmark::State& state, int side) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * side * side);
}

void BM_WriteOurs(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  const auto& town = Town(side);
  towngrow::io::TiffLegend legend;
  legend.classes = towngrow::io::LegendOf(*town.m_pLandUseSet);
  const std::string path = Scratch("ours.tif");
  for (auto _ : state)
    towngrow::io::WriteGeoTiffAt(path, path, town.m_pData, side, side, Utm(), legend);
  SetBytes(state, side);
}

void BM_WriteGdal(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  const auto& town = Town(side);
  GDALAllRegister();
  GDALDataset* mem =
      GetGDALDriverManager()->GetDriverByName("MEM")->Create("", side, side, 1, GDT_Byte, nullptr);
  CPLErr err = mem->GetRasterBand(1)->RasterIO(GF_Write, 0, 0, side, side, town.m_pData, side, side,
                                               GDT_Byte, 0, 0, nullptr);
  const char* options[] = {"TILED=YES", "BLOCKXSIZE=256", "BLOCKYSIZE=256", "COMPRESS=DEFLATE",
                           nullptr};
  const std::string path = Scratch("gdal.tif");
  GDALDriver* gtiff = GetGDALDriverManager()->GetDriverByName("GTiff");
  for (auto _ : state)
    GDALClose(
        gtiff->CreateCopy(path.c_str(), mem, FALSE, const_cast<char**>(options), nullptr, nullptr));
  GDALClose(mem);
  if (err != CE_None) state.SkipWithError("cannot fill the memory raster");
  SetBytes(state, side);
}

void BM_ReadOurs(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  const std::string path = Scratch("ours.tif");
  towngrow::io::TiffLegend legend;
  towngrow::io::WriteGeoTiffAt(path, path, Town(side).m_pData, side, side, Utm(), legend);
  towngrow::CLandUseCoverage cov;
  cov.InitCoverage(side, side, 0);
  for (auto _ : state) {
    GdalRasterInfo info;
    towngrow::io::ProbeGdalRaster(path, 0, info);
    towngrow::io::ReadGdalRaster(path, info, 6, cov);
  }
  SetBytes(state, side);
}

void BM_ReadGdal(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  const std::string path = Scratch("ours.tif");
  std::vector<unsigned char> cells(static_cast<std::size_t>(side) * side);
  CPLErr err = CE_None;
  for (auto _ : state) {
    GDALDataset* ds = GDALDataset::Open(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY);
    err = ds->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, side, side, cells.data(), side, side,
                                         GDT_Byte, 0, 0, nullptr);
    GDALClose(ds);
  }
  if (err != CE_None) state.SkipWithError("cannot read");
  SetBytes(state, side);
}

BENCHMARK(BM_WriteOurs)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteGdal)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadOurs)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadGdal)->Arg(2000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
