#include "io/gdal_raster.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <gdal_priv.h>
#include <gdal_rat.h>
#include <ogr_spatialref.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <system_error>
#include <vector>

#include "io/atomic_files.h"
#include "io/error.h"
#include "io/grid_header.h"
#include "towngrow/landuse/land_use.h"
#include "towngrow/landuse/set_tools.h"

namespace fs = std::filesystem;

namespace towngrow::io {
namespace {

// A function-local static rather than std::call_once: call_once reaches
// libstdc++'s own thread-locals, which the Python module's copy (built with
// -ftls-model=initial-exec) would then need in the static TLS block; a host
// that loaded libstdc++ before the module (QGIS, PyQt) cannot give them
// that, and the import fails.
void RegisterOnce() {
  static const bool registered = [] {
    GDALAllRegister();
    return true;
  }();
  (void)registered;
}

// GDAL's messages are kept from the terminal while it works for us; the
// last one explains a failure.
class QuietGdal {
public:
  QuietGdal() {
    RegisterOnce();
    CPLPushErrorHandler(CPLQuietErrorHandler);
    CPLErrorReset();
  }
  ~QuietGdal() { CPLPopErrorHandler(); }
  QuietGdal(const QuietGdal&) = delete;
  QuietGdal& operator=(const QuietGdal&) = delete;
  static bool Failed() { return CPLGetLastErrorType() >= CE_Failure; }
  static std::string Why(const std::string& fallback) {
    std::string why = CPLGetLastErrorMsg();
    for (char& ch : why)
      if (ch == '\n' || ch == '\r') ch = ' ';
    if (why.size() > 300) why = why.substr(0, 300) + "...";
    return why.empty() ? fallback : why;
  }
};

struct DatasetCloser {
  void operator()(GDALDataset* ds) const { GDALClose(ds); }
};
using Dataset = std::unique_ptr<GDALDataset, DatasetCloser>;

Dataset OpenRaster(const std::string& path) {
  return Dataset(GDALDataset::Open(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
}

std::string Number(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.10g", v);
  return buf;
}

GDALColorEntry Entry(unsigned int bgr, short alpha = 255) {
  GDALColorEntry e;
  e.c1 = static_cast<short>(bgr & 0xFF);
  e.c2 = static_cast<short>((bgr >> 8) & 0xFF);
  e.c3 = static_cast<short>((bgr >> 16) & 0xFF);
  e.c4 = alpha;
  return e;
}

void DrawClasses(GDALRasterBand& band, std::vector<LegendClass> classes) {
  std::stable_sort(classes.begin(), classes.end(),
                   [](const LegendClass& a, const LegendClass& b) { return a.value < b.value; });
  GDALColorTable colors;
  for (int i = 0; i < 256; ++i) {
    const GDALColorEntry unused = Entry(0, 0);
    colors.SetColorEntry(i, &unused);
  }
  GDALDefaultRasterAttributeTable rat;
  rat.SetTableType(GRTT_THEMATIC);
  rat.CreateColumn("ID", GFT_Integer, GFU_MinMax);
  rat.CreateColumn("Name", GFT_String, GFU_Name);
  rat.CreateColumn("Red", GFT_Integer, GFU_Red);
  rat.CreateColumn("Green", GFT_Integer, GFU_Green);
  rat.CreateColumn("Blue", GFT_Integer, GFU_Blue);
  rat.SetRowCount(static_cast<int>(classes.size()));
  CPLStringList names;
  int row = 0;
  for (const LegendClass& c : classes) {
    const GDALColorEntry e = Entry(c.color);
    colors.SetColorEntry(c.value, &e);
    rat.SetValue(row, 0, c.value);
    rat.SetValue(row, 1, c.name.c_str());
    rat.SetValue(row, 2, static_cast<int>(e.c1));
    rat.SetValue(row, 3, static_cast<int>(e.c2));
    rat.SetValue(row, 4, static_cast<int>(e.c3));
    ++row;
    while (names.size() < c.value) names.AddString("");
    names.AddString(c.name.c_str());
  }
  band.SetColorInterpretation(GCI_PaletteIndex);
  band.SetColorTable(&colors);
  band.SetCategoryNames(names.List());
  band.SetDefaultRAT(&rat);
}

void DrawPercent(GDALRasterBand& band, unsigned int bgr, bool noData) {
  GDALColorTable colors;
  for (int i = 0; i < 256; ++i) {
    GDALColorEntry e = Entry(0, i == 255 ? 0 : 255);
    if (i <= 100) {
      auto ramp = [i](unsigned int c) {
        return static_cast<short>(255 + (static_cast<int>(c) - 255) * i / 100.0 + 0.5);
      };
      e.c1 = ramp(bgr & 0xFF);
      e.c2 = ramp((bgr >> 8) & 0xFF);
      e.c3 = ramp((bgr >> 16) & 0xFF);
    }
    colors.SetColorEntry(i, &e);
  }
  band.SetColorInterpretation(GCI_PaletteIndex);
  band.SetColorTable(&colors);
  if (noData) band.SetNoDataValue(255);
}

// The CRS as WKT2, with the EPSG code found for it when its source (an
// ESRI .prj) named none; empty when it cannot be written.
std::string IdentifiedWkt(OGRSpatialReference srs) {
  if (!srs.GetAuthorityCode(nullptr)) {
    OGRSpatialReference* match = srs.FindBestMatch(90);
    if (match) srs = *match;
    if (match) match->Release();
  }
  char* wkt = nullptr;
  const char* const options[] = {"FORMAT=WKT2_2019", nullptr};
  std::string result;
  if (srs.exportToWkt(&wkt, options) == OGRERR_NONE && wkt) result = wkt;
  CPLFree(wkt);
  return result;
}

}  // namespace

GeoInfo GeoFromFields(double xll, double yll, double cellSize, int rows) {
  GeoInfo geo;
  geo.hasTransform = true;
  geo.transform[0] = xll;
  geo.transform[1] = cellSize;
  geo.transform[2] = 0.0;
  geo.transform[3] = yll + cellSize * rows;
  geo.transform[4] = 0.0;
  geo.transform[5] = -cellSize;
  return geo;
}

bool IsTiffName(const std::string& path) {
  std::string ext = fs::path(path).extension().string();
  for (char& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return ext == ".tif" || ext == ".tiff";
}

bool ProbeGdalRaster(const std::string& path, int band, GdalRasterInfo& info) {
  QuietGdal quiet;
  const Dataset ds = OpenRaster(path);
  if (!ds) return false;
  GDALDriver* driver = ds->GetDriver();
  info.driver = driver ? driver->GetDescription() : "?";
  const char* longName = driver ? driver->GetMetadataItem(GDAL_DMD_LONGNAME) : nullptr;
  info.driverLong = longName ? longName : info.driver;
  info.rows = ds->GetRasterYSize();
  info.cols = ds->GetRasterXSize();
  info.bands = ds->GetRasterCount();
  if (info.bands < 1) throw Error(path + ": holds no raster band");
  if (info.bands > 1 && band == 0)
    throw Error(path + ": has " + std::to_string(info.bands) +
                " bands; choose the one to read with --band N (1 to " + std::to_string(info.bands) +
                ")");
  info.band = info.bands == 1 ? 1 : band;
  if (info.band > info.bands)
    throw Error(path + ": has " + std::to_string(info.bands) + " bands, no band " +
                std::to_string(info.band));
  GDALRasterBand* b = ds->GetRasterBand(info.band);
  const GDALDataType type = b->GetRasterDataType();
  info.valueType = GDALGetDataTypeName(type);
  if (GDALDataTypeIsComplex(type))
    throw Error(path + ": holds complex values (" + info.valueType +
                "); land-use IDs are whole numbers 0 to 255");
  int has = 0;
  info.noData = b->GetNoDataValue(&has);
  info.hasNoData = has != 0;
  double gt[6];
  if (ds->GetGeoTransform(gt) == CE_None) {
    info.geo.hasTransform = true;
    std::copy(gt, gt + 6, info.geo.transform);
  }
  if (const OGRSpatialReference* srs = ds->GetSpatialRef()) info.geo.wkt = IdentifiedWkt(*srs);
  return true;
}

std::vector<float> ReadGdalBand(const std::string& path, const GdalRasterInfo& info,
                                bool& isFloat) {
  QuietGdal quiet;
  const Dataset ds = OpenRaster(path);
  if (!ds) throw Error(path + ": cannot be read: " + QuietGdal::Why("GDAL cannot open it"));
  GDALRasterBand* band = ds->GetRasterBand(info.band);
  isFloat = GDALDataTypeIsFloating(band->GetRasterDataType()) != 0;
  std::vector<float> values(static_cast<std::size_t>(info.rows) *
                            static_cast<std::size_t>(info.cols));
  if (band->RasterIO(GF_Read, 0, 0, info.cols, info.rows, values.data(), info.cols, info.rows,
                     GDT_Float32, 0, 0, nullptr) != CE_None)
    throw Error(path + ": read error: " + QuietGdal::Why("GDAL could not read it"));
  if (info.hasNoData) {
    const auto noData = static_cast<float>(info.noData);
    for (float& v : values)
      if (v == noData || (std::isnan(noData) && std::isnan(v))) v = std::nanf("");
  }
  return values;
}

void ReadGdalRaster(const std::string& path, const GdalRasterInfo& info, unsigned char othersId,
                    CLandUseCoverage& cov) {
  QuietGdal quiet;
  const Dataset ds = OpenRaster(path);
  if (!ds) throw Error(path + ": cannot be read: " + QuietGdal::Why("GDAL cannot open it"));
  if (cov.m_pData == nullptr || cov.m_nRows < info.rows || cov.m_nCols < info.cols)
    throw Error(path + ": does not fit the grid");
  GDALRasterBand* band = ds->GetRasterBand(info.band);
  const char* pixelType = band->GetMetadataItem("PIXELTYPE", "IMAGE_STRUCTURE");
  const bool bytes = band->GetRasterDataType() == GDT_Byte &&
                     !(pixelType && std::string(pixelType) == "SIGNEDBYTE");
  int blockX = 0, blockY = 0;
  band->GetBlockSize(&blockX, &blockY);
  const int strip = std::clamp(blockY, 64, bytes ? 1024 : 256);
  const std::size_t stride = static_cast<std::size_t>(cov.m_nCols);
  const std::size_t cols = static_cast<std::size_t>(info.cols);
  std::vector<double> values(bytes ? 0 : cols * static_cast<std::size_t>(strip));
  const double noData = info.noData;
  auto isNoData = [&](double v) {
    return info.hasNoData && (v == noData || (std::isnan(noData) && std::isnan(v)));
  };
  for (int top = 0; top < info.rows; top += strip) {
    const int h = std::min(strip, info.rows - top);
    unsigned char* out = cov.m_pData + static_cast<std::size_t>(top) * stride;
    CPLErr err;
    if (bytes)
      err = band->RasterIO(GF_Read, 0, top, info.cols, h, out, info.cols, h, GDT_Byte, 1,
                           static_cast<GSpacing>(stride), nullptr);
    else
      err = band->RasterIO(GF_Read, 0, top, info.cols, h, values.data(), info.cols, h, GDT_Float64,
                           0, 0, nullptr);
    if (err != CE_None)
      throw Error(path + ": read error at row " + std::to_string(top) + ": " +
                  QuietGdal::Why("GDAL could not read it"));
    const bool check = !bytes || info.hasNoData;  // bytes without no-data are IDs as they are
    for (int r = 0; r < h; ++r) {
      unsigned char* cells = out + static_cast<std::size_t>(r) * stride;
      for (std::size_t c = 0; check && c < cols; ++c) {
        if (bytes) {
          if (isNoData(cells[c])) cells[c] = othersId;
          continue;
        }
        const double v = values[static_cast<std::size_t>(r) * cols + c];
        if (isNoData(v)) {
          cells[c] = othersId;
          continue;
        }
        const bool inRange = v >= 0.0 && v <= 255.0;  // (NaN is not)
        if (!inRange || v != std::floor(v))
          throw Error(path + ": row " + std::to_string(top + r) + ", column " + std::to_string(c) +
                      ": value " + Number(v) +
                      (inRange ? " is not a whole number" : " is outside 0 to 255") +
                      " (land-use IDs are whole numbers 0 to 255)");
        cells[c] = static_cast<unsigned char>(v);
      }
      if (cov.m_pCellAge)
        std::fill_n(cov.m_pCellAge + static_cast<std::size_t>(top + r) * stride, cols, 0);
    }
  }
}

std::vector<LegendClass> LegendOf(const CLandUseSet& set) {
  std::vector<LegendClass> classes;
  for (int i = 0; i < set.m_LandUseArray.GetSize(); ++i) {
    const CLandUse& lu = LandUseAt(set, i);
    if (set.GetIDIndex(lu.m_ID) == i) classes.push_back({lu.m_ID, lu.m_strLandUseName, lu.m_Color});
  }
  return classes;
}

void WriteGeoTiffAt(const std::string& path, const std::string& shown, const unsigned char* cells,
                    int rows, int cols, const GeoInfo& geo, const TiffLegend& legend) {
  QuietGdal quiet;
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
  if (!driver) throw Error(shown + ": cannot be written: GDAL has no GeoTIFF driver");
  CPLStringList options;
  options.SetNameValue("TILED", "YES");
  options.SetNameValue("BLOCKXSIZE", "256");
  options.SetNameValue("BLOCKYSIZE", "256");
  options.SetNameValue("COMPRESS", "DEFLATE");
  GDALDataset* raw = driver->Create(path.c_str(), cols, rows, 1, GDT_Byte, options.List());
  if (!raw) throw Error(shown + ": cannot be written: " + QuietGdal::Why("GDAL cannot create it"));
  Dataset ds(raw);
  double gt[6];
  std::copy(geo.transform, geo.transform + 6, gt);
  ds->SetGeoTransform(gt);
  if (!geo.wkt.empty()) {
    OGRSpatialReference srs;
    srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    if (srs.importFromWkt(geo.wkt.c_str()) == OGRERR_NONE) ds->SetSpatialRef(&srs);
  }
  GDALRasterBand* band = ds->GetRasterBand(1);
  if (!legend.description.empty()) band->SetDescription(legend.description.c_str());
  if (legend.percent) {
    DrawPercent(*band, legend.color, legend.percentNoData);
  } else {
    DrawClasses(*band, legend.classes.empty() ? LegendOf(CLandUseSet()) : legend.classes);
    if (legend.noData >= 0 && legend.noData <= 255) {
      std::unique_ptr<GDALColorTable> colors(band->GetColorTable()->Clone());
      const GDALColorEntry clear = Entry(0, 0);
      colors->SetColorEntry(legend.noData, &clear);
      band->SetColorTable(colors.get());
      band->SetNoDataValue(legend.noData);
    }
  }
  const int strip = 256;
  for (int top = 0; top < rows; top += strip) {
    const int h = std::min(strip, rows - top);
    auto* data = const_cast<unsigned char*>(cells + static_cast<std::size_t>(top) * cols);
    if (band->RasterIO(GF_Write, 0, top, cols, h, data, cols, h, GDT_Byte, 0, 0, nullptr) !=
        CE_None)
      throw Error(shown + ": write error: " + QuietGdal::Why("GDAL could not write it"));
  }
  CPLErrorReset();
  ds.reset();  // closing writes the last tiles and the .aux.xml
  if (QuietGdal::Failed())
    throw Error(shown + ": write error: " + QuietGdal::Why("GDAL could not finish it"));
}

void WriteGeoTiff(const std::string& path, const unsigned char* cells, int rows, int cols,
                  const GeoInfo& geo, const TiffLegend& legend) {
  const std::string temp = TempNameFor(path);
  const std::string tempAux = temp + ".aux.xml";
  std::error_code ec;
  try {
    WriteGeoTiffAt(temp, path, cells, rows, cols, geo, legend);
  } catch (...) {
    fs::remove(temp, ec);
    fs::remove(tempAux, ec);
    throw;
  }
  if (fs::exists(tempAux, ec))
    PublishTemp(tempAux, path + ".aux.xml");
  else
    fs::remove(path + ".aux.xml", ec);
  PublishTemp(temp, path);
}

std::string CrsFromUserText(const std::string& text) {
  QuietGdal quiet;
  OGRSpatialReference srs;
  const std::string wkt =
      !text.empty() && srs.SetFromUserInput(text.c_str()) == OGRERR_NONE ? IdentifiedWkt(srs) : "";
  if (wkt.empty())
    throw Error("--crs " + text + ": not a coordinate reference system GDAL knows (" +
                QuietGdal::Why("e.g. EPSG:32633") + ")");
  return wkt;
}

std::string CrsFromPrjFile(const std::string& prjPath) {
  std::error_code ec;
  if (!fs::is_regular_file(prjPath, ec)) return "";
  std::ifstream in(prjPath, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  QuietGdal quiet;
  OGRSpatialReference srs;
  const std::string wkt = text.size() <= 65536 && srs.SetFromUserInput(text.c_str()) == OGRERR_NONE
                              ? IdentifiedWkt(srs)
                              : "";
  if (wkt.empty()) throw Error(prjPath + ": not a coordinate reference system GDAL reads");
  return wkt;
}

std::string EsriWkt(const std::string& wkt) {
  QuietGdal quiet;
  OGRSpatialReference srs;
  char* out = nullptr;
  const char* const options[] = {"FORMAT=WKT1_ESRI", nullptr};
  std::string result;
  if (srs.importFromWkt(wkt.c_str()) == OGRERR_NONE &&
      srs.exportToWkt(&out, options) == OGRERR_NONE && out)
    result = out;
  CPLFree(out);
  return result;
}

std::string CrsTitle(const std::string& wkt) {
  if (wkt.empty()) return "none known";
  QuietGdal quiet;
  OGRSpatialReference srs;
  if (srs.importFromWkt(wkt.c_str()) != OGRERR_NONE) return "unreadable";
  std::string title = srs.GetName() ? srs.GetName() : "unnamed";
  const char* authority = srs.GetAuthorityName(nullptr);
  const char* code = srs.GetAuthorityCode(nullptr);
  if (authority && code) title += std::string(" (") + authority + ":" + code + ")";
  return title;
}

}  // namespace towngrow::io
