#include "io/output_folder.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include "io/error.h"
#include "io/grid_files.h"

namespace fs = std::filesystem;

namespace towngrow::io {

OutputFolder::OutputFolder(std::string path) : path_(std::move(path)) {}

std::string OutputFolder::At(const std::string& name) const {
  return (fs::path(path_) / name).string();
}

void OutputFolder::Make() const { MakeFolder(path_); }

ScratchDir& OutputFolder::Scratch() {
  if (!scratch_) scratch_ = std::make_unique<ScratchDir>();
  return *scratch_;
}

std::string OutputFolder::AddText(const std::string& name, const std::string& content) {
  Make();
  const std::string temp = staged_.Add(At(name));
  WriteFileAtomic(temp, content);
  return temp;
}

std::string OutputFolder::AddMap(const std::string& name, const CLandUseCoverage& cov,
                                 const GeoInfo& geo) {
  const std::string final = At(name);
  CheckWritableName(final);
  if (IsTiffName(final))
    return AddGeoTiff(name, cov.m_pData, cov.m_nRows, cov.m_nCols, GeoForOutput(cov, geo),
                      LandUseLegend(cov));
  Make();
  std::string first;
  for (const auto& [work, target] : ExportToScratch(cov, final, Scratch(), geo)) {
    staged_.AddCopy(work, target);
    std::error_code ec;
    fs::remove(work, ec);
    if (first.empty()) first = target;
  }
  return TempNameFor(first);
}

std::string OutputFolder::AddGeoTiff(const std::string& name, const unsigned char* cells, int rows,
                                     int cols, const GeoInfo& geo, const TiffLegend& legend) {
  Make();
  const std::string final = At(name);
  const std::string temp = TempNameFor(final);
  WriteGeoTiffAt(temp, final, cells, rows, cols, geo, legend);
  // The names live in the .aux.xml: it appears first, so a finished .tif
  // never lacks it.
  std::error_code ec;
  if (fs::exists(temp + ".aux.xml", ec)) staged_.Adopt(temp + ".aux.xml", final + ".aux.xml");
  staged_.Adopt(temp, final);
  return temp;
}

std::string OutputFolder::AddWritten(const std::string& name,
                                     const std::function<std::string(const std::string&)>& write) {
  Make();
  const std::string final = At(name);
  const std::string temp = staged_.Add(final);
  const std::string err = write(temp);
  if (!err.empty()) throw Error(final + ": " + err);
  return temp;
}

void OutputFolder::Adopt(const std::string& temp, const std::string& name) {
  staged_.Adopt(temp, At(name));
}

void OutputFolder::Publish() {
  Make();
  staged_.PublishAll();
}

}  // namespace towngrow::io
