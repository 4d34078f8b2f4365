// Small GIS layers made in a test with GDAL and OGR: rasters in any CRS and
// GeoPackages of lines and polygons, for the tests of `towngrow prepare`.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <cpl_string.h>
#include <gdal_priv.h>
#include <gdal_utils.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

namespace testkit {

inline OGRSpatialReference Epsg(int code) {
  OGRSpatialReference srs;
  srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  srs.importFromEPSG(code);
  return srs;
}

// A one-band raster (GeoTIFF, or GIF when the name ends so) of rows x cols
// values, row 0 first; `gt` null and `epsg` 0 leave out the georeference.
inline void MakeRaster(const std::string& path, int rows, int cols, const std::vector<int>& values,
                       const double* gt = nullptr, int epsg = 0, GDALDataType type = GDT_Int32,
                       const double* noData = nullptr) {
  GDALAllRegister();
  const bool gif = path.size() > 4 && path.compare(path.size() - 4, 4, ".gif") == 0;
  GDALDriver* mem = GetGDALDriverManager()->GetDriverByName("MEM");
  GDALDataset* ds = mem->Create("", cols, rows, 1, gif ? GDT_Byte : type, nullptr);
  if (gt != nullptr) ds->SetGeoTransform(const_cast<double*>(gt));
  if (epsg != 0) {
    const OGRSpatialReference srs = Epsg(epsg);
    ds->SetSpatialRef(&srs);
  }
  if (noData != nullptr) ds->GetRasterBand(1)->SetNoDataValue(*noData);
  std::vector<int> v(values);
  ASSERT_EQ(v.size(), static_cast<std::size_t>(rows) * cols);
  ASSERT_EQ(ds->GetRasterBand(1)->RasterIO(GF_Write, 0, 0, cols, rows, v.data(), cols, rows,
                                           GDT_Int32, 0, 0, nullptr),
            CE_None);
  GDALDriver* out = GetGDALDriverManager()->GetDriverByName(gif ? "GIF" : "GTiff");
  GDALDataset* copy = out->CreateCopy(path.c_str(), ds, FALSE, nullptr, nullptr, nullptr);
  ASSERT_NE(copy, nullptr) << path;
  GDALClose(copy);
  GDALClose(ds);
}

struct Feature {
  std::string wkt;
  int year = 0;
};

// Adds a layer of features (WKT, with an integer field "year") to a GeoPackage, made when missing.
inline void AddGpkgLayer(const std::string& path, const std::string& layer, int epsg,
                         OGRwkbGeometryType type, const std::vector<Feature>& features) {
  GDALAllRegister();
  GDALDataset* ds = static_cast<GDALDataset*>(
      GDALOpenEx(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE, nullptr, nullptr, nullptr));
  if (ds == nullptr)
    ds = GetGDALDriverManager()->GetDriverByName("GPKG")->Create(path.c_str(), 0, 0, 0, GDT_Unknown,
                                                                 nullptr);
  ASSERT_NE(ds, nullptr) << path;
  OGRSpatialReference srs = Epsg(epsg);
  OGRLayer* l = ds->CreateLayer(layer.c_str(), &srs, type, nullptr);
  ASSERT_NE(l, nullptr);
  OGRFieldDefn year("year", OFTInteger);
  l->CreateField(&year);
  for (const Feature& f : features) {
    OGRFeature* feature = OGRFeature::CreateFeature(l->GetLayerDefn());
    OGRGeometry* g = nullptr;
    ASSERT_EQ(OGRGeometryFactory::createFromWkt(f.wkt.c_str(), &srs, &g), OGRERR_NONE) << f.wkt;
    feature->SetGeometryDirectly(g);
    feature->SetField("year", f.year);
    ASSERT_EQ(l->CreateFeature(feature), OGRERR_NONE);
    OGRFeature::DestroyFeature(feature);
  }
  GDALClose(ds);
}

// A raster's band 1 as integers, row 0 first.
inline std::vector<int> ReadCells(GDALDatasetH ds) {
  GDALDataset* d = GDALDataset::FromHandle(ds);
  std::vector<int> v(static_cast<std::size_t>(d->GetRasterXSize()) * d->GetRasterYSize());
  EXPECT_EQ(d->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, d->GetRasterXSize(), d->GetRasterYSize(),
                                          v.data(), d->GetRasterXSize(), d->GetRasterYSize(),
                                          GDT_Int32, 0, 0, nullptr),
            CE_None);
  return v;
}

inline std::vector<int> ReadCells(const std::string& path) {
  GDALDatasetH ds = GDALOpen(path.c_str(), GA_ReadOnly);
  EXPECT_NE(ds, nullptr) << path;
  if (ds == nullptr) return {};
  std::vector<int> v = ReadCells(ds);
  GDALClose(ds);
  return v;
}

// Runs one of GDAL's programs as its library function (gdalwarp,
// gdal_rasterize) into a MEM dataset and answers its cells.
inline std::vector<int> GdalProgram(bool warp, const std::string& source,
                                    const std::vector<std::string>& words) {
  CPLStringList argv;
  argv.AddString("-of");
  argv.AddString("MEM");
  for (const std::string& w : words) argv.AddString(w.c_str());
  GDALDatasetH src =
      GDALOpenEx(source.c_str(), warp ? GDAL_OF_RASTER : GDAL_OF_VECTOR, nullptr, nullptr, nullptr);
  EXPECT_NE(src, nullptr) << source;
  GDALDatasetH out = nullptr;
  int usage = 0;
  if (warp) {
    GDALWarpAppOptions* o = GDALWarpAppOptionsNew(argv.List(), nullptr);
    out = GDALWarp("", nullptr, 1, &src, o, &usage);
    GDALWarpAppOptionsFree(o);
  } else {
    GDALRasterizeOptions* o = GDALRasterizeOptionsNew(argv.List(), nullptr);
    out = GDALRasterize("", nullptr, src, o, &usage);
    GDALRasterizeOptionsFree(o);
  }
  EXPECT_NE(out, nullptr);
  std::vector<int> cells = out != nullptr ? ReadCells(out) : std::vector<int>{};
  if (out != nullptr) GDALClose(out);
  GDALClose(src);
  return cells;
}

}  // namespace testkit
