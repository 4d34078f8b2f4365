// The folder a job writes into: every file is written under a temporary
// name beside its final one and all of them appear together when the job
// publishes them, or none (a failure half-way, or a job that never
// publishes, leaves nothing behind). Every job writes through one.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include <towngrow/grid/coverage.h>

#include "io/atomic_files.h"
#include "io/gdal_raster.h"

namespace towngrow::io {

class OutputFolder {
public:
  explicit OutputFolder(std::string path);
  OutputFolder(const OutputFolder&) = delete;
  OutputFolder& operator=(const OutputFolder&) = delete;

  const std::string& Path() const { return path_; }
  // The final path of a file of the folder.
  std::string At(const std::string& name) const;
  // Creates the folder (and its parents); io::Error when it cannot be made.
  void Make() const;

  // Each Add answers the temporary path the file's content now has (a
  // report page can inline a picture from there before it is published).
  std::string AddText(const std::string& name, const std::string& content);
  // A coverage in the kind of its name (asc, e00, flt, xya, dat, tif) with
  // its companions (.hdr, .prj, .aux.xml), as ExportCoverage writes it.
  std::string AddMap(const std::string& name, const CLandUseCoverage& cov, const GeoInfo& geo);
  // A GeoTIFF of rows x cols bytes (with its .aux.xml when GDAL writes one).
  std::string AddGeoTiff(const std::string& name, const unsigned char* cells, int rows, int cols,
                         const GeoInfo& geo, const TiffLegend& legend);
  // A file written by `write` at the temporary path it is given; `write`
  // answers "" or what went wrong (the error then names the file).
  std::string AddWritten(const std::string& name,
                         const std::function<std::string(const std::string& temp)>& write);
  // A file that another writer has already finished at `temp`.
  void Adopt(const std::string& temp, const std::string& name);

  // Makes the folder if need be and renames every file to its final name.
  void Publish();

private:
  ScratchDir& Scratch();

  std::string path_;
  StagedFiles staged_;
  std::unique_ptr<ScratchDir> scratch_;
};

}  // namespace towngrow::io
