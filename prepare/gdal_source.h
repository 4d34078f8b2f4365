// GDAL and OGR pieces that preparing layers shares: opening a source with
// one line when it fails, georeferences and CRSs, boxes and datasets in
// memory over our own buffers.
#pragma once

#include <memory>
#include <string>

#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include "prepare/recipe.h"

namespace towngrow::io::prepare_gdal {

// GDAL's messages kept from the terminal; the last one is read for ours.
class Quiet {
public:
  Quiet() {
    CPLPushErrorHandler(CPLQuietErrorHandler);
    CPLErrorReset();
  }
  ~Quiet() { CPLPopErrorHandler(); }
  Quiet(const Quiet&) = delete;
  Quiet& operator=(const Quiet&) = delete;
  static std::string Why(const std::string& fallback) {
    const char* m = CPLGetLastErrorMsg();
    return m != nullptr && *m != '\0' ? std::string(m) : fallback;
  }
};

struct CloseDataset {
  void operator()(GDALDataset* ds) const { GDALClose(ds); }
};
using Dataset = std::unique_ptr<GDALDataset, CloseDataset>;

// Throws io::Error "<recipe>: <key>: <what>".
[[noreturn]] void Fail(const Recipe& r, const std::string& key, const std::string& what);

std::string SizeText(int rows, int cols);

// A name that is neither a file nor a GDAL path (/vsizip/..., PG:...).
bool Missing(const std::string& file);

// Opens a raster (or, with `vector`, an OGR source) read-only; a missing
// file or one GDAL does not read is refused naming the recipe's key.
Dataset OpenSource(const Recipe& r, const std::string& key, const std::string& path,
                   const std::string& file, bool vector);

// The dataset's geotransform; false when it has none (or GDAL's default).
bool GeoTransformOf(GDALDataset& ds, double gt[6]);

std::string WktOf(const OGRSpatialReference* srs);
OGRSpatialReference SrsOf(const std::string& wkt);

// Both known and different.
bool OtherCrs(const std::string& a, const std::string& b);

struct Box {
  double xmin, ymin, xmax, ymax;
  bool Overlaps(const Box& o) const {
    return xmax > o.xmin && xmin < o.xmax && ymax > o.ymin && ymin < o.ymax;
  }
};

Box BoxOf(const double gt[6], int rows, int cols);
double CellOf(const double gt[6]);
bool SameTransform(const double a[6], const double b[6]);

// A MEM dataset over a buffer of ours (one band, no copy).
Dataset MemOver(void* data, GDALDataType type, int rows, int cols, const double* gt,
                const std::string& wkt, double noData);

// Warps `src` onto `dst` (both open) by GDAL's resampling `method`, with
// `noData` as the no-data value of both ("nan" for floats); a failure is
// refused naming the recipe's key and the file.
void WarpOnto(const Recipe& r, const std::string& key, const std::string& path, GDALDataset& src,
              GDALDataset& dst, const char* method, const std::string& noData);

}  // namespace towngrow::io::prepare_gdal
