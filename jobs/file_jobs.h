// The jobs on one map file: `convert` (from one format to another by their
// names, GeoTIFF and GDAL rasters included), `info` (size, georeference,
// cells per land-use ID), `render` (a PNG map) and `params` (the
// parameters of the land uses as JSON). Each reads the file into a
// coverage sized to fit it; `params` names a parameter file whose land
// uses give names and colours (empty: the default roster). All throw
// io::Error on bad input.
#pragma once

#include <string>

#include "io/grid_header.h"
#include "io/message_log.h"

namespace towngrow::jobs {

// `crs` (empty: the input's) assigns the output's coordinate reference system.
void ConvertFile(const std::string& in, const std::string& out, const std::string& params,
                 const std::string& crs, const io::MapReadOptions& maps, io::MessageLog& log);

// What `towngrow info` shows: the kind, size, georeference, CRS, no-data
// value and cells per land-use ID, one fact per line.
std::string FileInfoText(const std::string& path, const std::string& params,
                         const io::MapReadOptions& maps, io::MessageLog& log);

// `extent`: "town" or "full". The title names the file, the subtitle its
// size and the view.
void RenderFile(const std::string& in, const std::string& outPng, int scale,
                const std::string& params, const std::string& extent,
                const io::MapReadOptions& maps, io::MessageLog& log);

// The parameters of the land uses (default roster, or with a parameter
// file applied) as JSON text.
std::string ParamsText(const std::string& params);

// Every numeric field of every land use of the set with its legal range,
// as a calibration's space file: {"id", "field", "min", "max", "step"} per
// field, land uses in the set's order, fields as the template shows them.
// The step is 1 for whole numbers over at most 1000 values, otherwise the
// smallest power of ten that keeps 1001 values or fewer (1 at least for
// whole numbers), so every entry reads back as it is.
std::string SpaceText(const std::string& params);

}  // namespace towngrow::jobs
