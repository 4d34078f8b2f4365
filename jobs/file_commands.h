// The commands that work on one coverage file: `convert` (from one format to
// another by their names, GeoTIFF and GDAL rasters included), `info` (size, georeference, cells per
// land-use ID) and `render` (a PNG map). Each reads the file into a coverage sized to fit it;
// `params` names a parameter file whose land uses give names and colours (empty: the default
// roster). All throw AppError on bad input.
#pragma once

#include <cstdio>
#include <string>

namespace towngrow::jobs {

// `crs` (empty: the input's) assigns the output's coordinate reference system.
void ConvertFile(const std::string& in, const std::string& out, const std::string& params,
                 const std::string& crs = "");
void PrintFileInfo(const std::string& path, const std::string& params, std::FILE* out);
// `extent`: "town" or "full". The title names the file, the subtitle its
// size and the view.
void RenderFile(const std::string& in, const std::string& outPng, int scale,
                const std::string& params, const std::string& extent = "town");

// `towngrow params`: the parameters of the land uses (default roster, or
// with a parameter file applied) as JSON text.
std::string ParamsText(const std::string& params);

}  // namespace towngrow::jobs
