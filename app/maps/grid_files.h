// Coverage files for the command-line host: what a file holds before it is
// read (its size and georeference, from its header or, for point lists, its
// largest column and row), reading it into a coverage sized to fit, and
// writing a coverage so that a finished file appears whole or not at all.
//
// Choices of ours:
// - The kind of a file is told from its name, as the library does
//   (TestFileFormat); ".xy" lists have no layout and are refused.
// - A coverage is at least 5 x 5 cells; a smaller file fills the top-left
//   corner of a 5 x 5 coverage and the rest is vacant land. Anything beyond
//   10000 x 10000 is refused before any memory is taken.
// - A float grid's header is looked for beside its data file: the name up
//   to the first "." of the file's own name, plus ".hdr". When the library's
//   rule (first "." of the whole path) would look elsewhere, the pair is
//   read from a private copy under the right names.
// - After reading a float or E00 grid, the coverage takes the georeference
//   of the file's header, so that a later ASCII grid export carries it.
// - Exports are made into a private scratch folder whose path holds no ".",
//   then copied beside their final name under a temporary name and renamed.
#pragma once

#include <string>
#include <vector>

#include <towngrow/towngrow.h>

#include "commands/message_log.h"

namespace towngrow::app {

constexpr int kMaxSide = 10000;
constexpr int kMinSide = 5;

struct GridFileInfo {
  ImportDataFormat format = FormatOther;
  int rows = 0;  // rows and columns the file covers (before the 5 x 5 minimum)
  int cols = 0;
  bool hasGeoref = false;
  double xll = 0.0, yll = 0.0, cellSize = 0.0;
  bool hasNoData = false;
  long noData = 0;
  long points = 0;  // lines read, for point lists
};

// Format word for messages and run.json: "asc", "e00", "flt", "xya", "dat", "xy", "other".
std::string FormatWord(ImportDataFormat format);

// Reads what the file holds without importing it. Throws AppError for a
// missing file, a format that cannot be read, a bad header or a grid
// beyond 10000 x 10000.
GridFileInfo ReadGridFileInfo(const std::string& path);

// Imports the file into `cov` (already sized and linked), with bOverlay 0.
// A refusal becomes an AppError naming the file and the library's message.
void ImportInto(const std::string& path, const GridFileInfo& info, CLandUseCoverage& cov,
                MessageLog& log);

// Sizes `cov` to fit the file (at least 5 x 5), links `set` and imports it.
GridFileInfo LoadFitted(const std::string& path, CLandUseCoverage& cov, CLandUseSet& set,
                        MessageLog& log);

// Sizes a coverage; on refusal an AppError (memory exhaustion named as such).
void InitOrFail(CLandUseCoverage& cov, int rows, int cols, MessageLog& log);

// A private scratch folder (removed with everything in it on destruction).
class ScratchDir {
public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& Path() const { return path_; }

private:
  std::string path_;
};

// Writes `cov` in the format of `finalPath`'s name (asc, e00, flt, xya,
// dat), whole or not at all. A float grid also gets its ".hdr" beside it,
// with a seventh line "byteorder LSBFIRST". Throws AppError.
void ExportCoverage(const CLandUseCoverage& cov, const std::string& finalPath, ScratchDir& scratch);

// Atomic file writing: content goes to a temporary name in the target
// folder, renamed to the final name when complete.
void WriteFileAtomic(const std::string& finalPath, const std::string& content);
std::string TempNameFor(const std::string& finalPath);
void PublishTemp(const std::string& tempPath, const std::string& finalPath);
// Copies a finished file to finalPath through a temporary name.
void CopyFileAtomic(const std::string& from, const std::string& finalPath);

// Creates a folder and its parents; AppError when it cannot be made.
void MakeFolder(const std::string& path);

}  // namespace towngrow::app
