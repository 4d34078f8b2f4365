// A GeoTIFF's legend as GDAL reads it back: each class's name and colour at
// its value whatever order the classes come in, values of no class black
// and nameless, the no-data value transparent, the default roster's land
// uses when no class is given.
#include <gtest/gtest.h>

#include <gdal_priv.h>

#include <string>
#include <utility>
#include <vector>

#include <towngrow/landuse/land_use_set.h>

#include "io/gdal_raster.h"
#include "support/files.h"

using namespace towngrow;

namespace {

// "value:name:r,g,b,alpha" for the values asked, then " nodata N" if set.
std::string LegendRead(const std::string& path, std::initializer_list<int> values) {
  GDALAllRegister();
  GDALDataset* ds = static_cast<GDALDataset*>(GDALOpen(path.c_str(), GA_ReadOnly));
  double transform[6];
  ds->GetGeoTransform(transform);  // GDAL reads the .aux.xml (names, alphas) on such a call
  GDALRasterBand* band = ds->GetRasterBand(1);
  char** names = band->GetCategoryNames();
  std::string shows;
  for (int v : values) {
    const GDALColorEntry* e = band->GetColorTable()->GetColorEntry(v);
    shows += std::to_string(v) + ":" + (v < CSLCount(names) ? names[v] : "") + ":" +
             std::to_string(e->c1) + "," + std::to_string(e->c2) + "," + std::to_string(e->c3) +
             "," + std::to_string(e->c4) + " ";
  }
  int hasNoData = 0;
  const double noData = band->GetNoDataValue(&hasNoData);
  if (hasNoData) shows += "nodata " + std::to_string(static_cast<int>(noData));
  GDALClose(ds);
  return shows;
}

io::TiffLegend Classes(std::vector<io::LegendClass> classes, int noData = -1) {
  io::TiffLegend legend;
  legend.classes = std::move(classes);
  legend.noData = noData;
  return legend;
}

}  // namespace

// Each row: a legend and what GDAL reads at the values 2, 3 and 5.
TEST(GeoTiffLegend, ClassesLandAtTheirValuesWhateverTheirOrder) {
  const std::vector<io::LegendClass> outOfOrder = {{5, "five", 0x0000FFu}, {2, "two", 0x00FF00u}};
  const std::pair<io::TiffLegend, std::string> rows[] = {
      {Classes(outOfOrder), "2:two:0,255,0,255 3::0,0,0,255 5:five:255,0,0,255 "},
      {Classes(outOfOrder, 2), "2:two:0,0,0,0 3::0,0,0,255 5:five:255,0,0,255 nodata 2"},
  };
  testkit::ScratchDir dir;
  const unsigned char cells[25] = {2, 5, 3};
  int files = 0;  // a new file each time
  auto write = [&](const io::TiffLegend& legend) {
    const std::string path = dir / ("m" + std::to_string(++files) + ".tif");
    io::WriteGeoTiff(path, cells, 5, 5, io::GeoInfo{}, legend);
    return path;
  };
  for (const auto& row : rows) {
    EXPECT_EQ(LegendRead(write(row.first), {2, 3, 5}), row.second);
  }
  // No classes: the default roster's land uses, as that roster given.
  const std::string fallback = LegendRead(write(io::TiffLegend{}), {0, 3, 6, 7});
  EXPECT_EQ(fallback, LegendRead(write(Classes(io::LegendOf(CLandUseSet()))), {0, 3, 6, 7}));
  EXPECT_EQ(fallback.substr(0, 34), "0:Vacant Land:255,255,255,255 3:Ho") << fallback;
}
