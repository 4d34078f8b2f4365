#include "jobs/file_jobs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include <towngrow/compare.h>
#include <towngrow/grid/coverage.h>
#include <towngrow/grid/grid.h>
#include <towngrow/landuse/land_use.h>
#include <towngrow/landuse/land_use_set.h>
#include <towngrow/platform/framework.h>

#include "io/error.h"
#include "io/grid_files.h"
#include "io/message_log.h"
#include "io/result_text.h"
#include "jobs/options.h"
#include "params/param_fields.h"
#include "params/params_json.h"
#include "report/render.h"

namespace fs = std::filesystem;

namespace towngrow::jobs {
namespace {

void LoadSet(const std::string& params, CLandUseSet& set) {
  if (!params.empty()) io::ApplyParamsFile(params, set);
}

void MakeParentFolder(const std::string& path) {
  const fs::path parent = fs::path(path).parent_path();
  if (!parent.empty()) io::MakeFolder(parent.string());
}

const char* FormatTitle(ImportDataFormat f) {
  switch (f) {
    case FormatASC:
      return "ASCII grid";
    case FormatE00:
      return "E00 integer grid";
    case FormatFLT:
      return "float grid with header";
    case FormatXYA:
      return "point list (column, row, ID)";
    case FormatDAT:
      return "point list (column, row, ID)";
    default:
      return "unknown";
  }
}

}  // namespace

void ConvertFile(const std::string& in, const std::string& out, const std::string& params,
                 const std::string& crs, const io::MapReadOptions& maps, io::MessageLog& log) {
  CLandUseSet set;
  LoadSet(params, set);
  // Refuse an unwritable kind or CRS before reading anything.
  io::CheckWritableName(out);
  const std::string wkt = crs.empty() ? std::string() : io::CrsFromUserText(crs);
  CLandUseCoverage cov;
  io::GridFileInfo info = io::LoadFitted(in, cov, set, log, maps);
  if (!wkt.empty()) info.geo.wkt = wkt;
  MakeParentFolder(out);
  io::ScratchDir scratch;
  io::ExportCoverage(cov, out, scratch, info.geo);
}

std::string FileInfoText(const std::string& path, const std::string& params,
                         const io::MapReadOptions& maps, io::MessageLog& log) {
  std::string text;
  CLandUseSet set;
  LoadSet(params, set);
  CLandUseCoverage cov;
  const io::GridFileInfo info = io::LoadFitted(path, cov, set, log, maps);
  const bool points = info.format == FormatXYA || info.format == FormatDAT;
  text += "file:           " + path + "\n";
  if (info.gdal) {
    io::Appendf(text, "kind:           %s, read through GDAL (%s)\n",
                info.raster.driverLong.c_str(), info.raster.driver.c_str());
    io::Appendf(text, "band:           %d of %d, %s values\n", info.raster.band, info.raster.bands,
                info.raster.valueType.c_str());
  } else {
    io::Appendf(text, "kind:           %s (%s)\n", FormatTitle(info.format),
                io::FormatWord(info.format).c_str());
  }
  if (points)
    io::Appendf(text,
                "size:           %d rows x %d columns (largest row and column named + 1), "
                "%ld points\n",
                info.rows, info.cols, info.points);
  else
    io::Appendf(text, "size:           %d rows x %d columns\n", info.rows, info.cols);
  if (info.hasGeoref)
    io::Appendf(text, "georeference:   lower-left x %.10g, lower-left y %.10g, cell size %.10g\n",
                cov.m_dXllCorner, cov.m_dYllCorner, cov.m_dCellSize);
  else
    io::Appendf(text, "georeference:   none in this file\n");
  const double* t = info.geo.transform;
  if (info.gdal && info.geo.hasTransform && (t[2] != 0 || t[4] != 0 || t[5] != -t[1]))
    io::Appendf(text, "transform:      %.10g %.10g %.10g %.10g %.10g %.10g (not square cells)\n",
                t[0], t[1], t[2], t[3], t[4], t[5]);
  io::Appendf(text, "crs:            %s\n", io::CrsTitle(info.geo.wkt).c_str());
  if (info.gdal && info.hasNoData)
    io::Appendf(text, "no-data value:  %.10g (read as land-use ID %d)\n", info.raster.noData,
                io::OthersId(&set));
  else if (info.format == FormatASC && info.hasNoData)
    io::Appendf(text, "no-data value:  %d\n", cov.m_nNoDataValue);
  else if (info.hasNoData)
    io::Appendf(text, "no-data value:  %ld\n", info.noData);

  long counts[256] = {};
  for (int r = 0; r < info.rows; ++r)
    for (int c = 0; c < info.cols; ++c) ++counts[cov.GetCellValue(r, c)];
  const double total = static_cast<double>(info.rows) * info.cols;
  io::Appendf(text, "cells per land-use ID:\n");
  io::Appendf(text, "  %4s  %-24s %10s %7s\n", "ID", "land use", "cells", "share");
  for (int id = 0; id < 256; ++id) {
    if (counts[id] == 0) continue;
    const int index = set.GetIDIndex(static_cast<unsigned char>(id));
    const std::string name =
        index < 0 ? std::string("(no land use)")
                  : static_cast<const CLandUse*>(set.m_LandUseArray.GetAt(index))->m_strLandUseName;
    io::Appendf(text, "  %4d  %-24s %10ld %6.2f%%\n", id, name.c_str(), counts[id],
                100.0 * static_cast<double>(counts[id]) / total);
  }
  return text;
}

void RenderFile(const std::string& in, const std::string& outPng, int scale,
                const std::string& params, const std::string& extent,
                const io::MapReadOptions& maps, io::MessageLog& log) {
  CLandUseSet set;
  LoadSet(params, set);
  FileOptions options;
  options.scale = scale;
  options.extent = extent;
  CheckOptionValues(FileTable("render", options));
  report::ExtentMode mode;
  report::ParseExtentMode(extent, mode);
  CLandUseCoverage cov;
  const io::GridFileInfo info = io::LoadFitted(in, cov, set, log, maps);
  report::MapPicture map;
  map.cells = cov.m_pData;
  map.rows = cov.m_nRows;
  map.cols = cov.m_nCols;
  report::LandUseColors(set, report::PresentIds(cov), map);
  map.scale = scale;
  map.mapScale = report::MapScaleOf(io::GeoForOutput(cov, info.geo));
  map.view =
      report::ViewOf(report::FlaggedBox(map.cells, map.rows, map.cols, report::DevelopedIds(set)),
                     map.rows, map.cols, mode);
  map.title = fs::path(in).filename().string();
  map.subtitle = report::ViewText(map.rows, map.cols, map.view);
  MakeParentFolder(outPng);
  const std::string temp = io::TempNameFor(outPng);
  const std::string err = report::WriteMapPng(map, temp);
  if (!err.empty()) {
    std::error_code ec;
    fs::remove(temp, ec);
    throw io::Error(outPng + ": " + err);
  }
  io::PublishTemp(temp, outPng);
}

std::string ParamsText(const std::string& params) {
  CLandUseSet set;
  LoadSet(params, set);
  return io::DumpReadable(io::SetToJson(set));
}

std::string SpaceText(const std::string& params) {
  CLandUseSet set;
  LoadSet(params, set);
  io::Json space = io::Json::array();
  for (int i = 0; i < set.m_LandUseArray.GetSize(); ++i) {
    const CLandUse& use = *static_cast<const CLandUse*>(set.m_LandUseArray.GetAt(i));
    for (const std::string& key : io::NumberFieldKeys(use)) {
      io::NumberField f;
      if (!io::FindNumberField(use, key, f).empty()) continue;
      double step = std::pow(10.0, std::ceil(std::log10((f.max - f.min) / 1000) - 1e-9));
      if (!(step > 0) || (f.integer && step < 1)) step = 1;
      io::Json e;
      e["id"] = static_cast<int>(use.GetID());
      e["field"] = key;
      e["min"] = f.min;
      e["max"] = f.max;
      e["step"] = step;
      space.push_back(e);
    }
  }
  return io::DumpReadable(space);
}

}  // namespace towngrow::jobs
