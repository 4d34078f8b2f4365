// The checks that every fuzz input of a coverage reader goes through, shared
// by the fuzz targets and by the test that replays their corpus and the
// inputs that once failed.
//
// One input is written to a file in a scratch folder of this process (in
// /dev/shm when there is one) and imported into coverages of 5 x 5, 17 x 23
// and 64 x 64 cells, with the overlay flag off and on. Before each import
// every cell holds a nonzero ID and an age of 100 or more, so a stored cell
// shows as age 0. After each import:
// - the result is 0 or 1; a refusal shows exactly one message of the
//   reader's own and leaves every cell, age and field as it was; success
//   shows none;
// - the shape, the buffers, the name, the grid type, the scale and the set
//   link are unchanged; only the ASCII grid may change the georeference and
//   no-data fields;
// - every cell is either untouched (ID and age) or has age 0;
// - one of the coverages has its buffers swapped for copies with guard bytes
//   around them, which must still hold their pattern (a sanitizer build
//   catches the same for the others);
// - the overlay import stores a subset of what the plain import stores, with
//   the same IDs (grids only: a point list lets a later line undo an earlier
//   one);
// - a grid accepted by two coverages gives both the same cells where they
//   overlap and leaves the rest of the larger one untouched; a point list
//   gives the smaller coverage the larger one's cells in their common area.
// The ASCII grid is also exported and read back, which must restore the IDs.
//
// Every check answers an empty text when it holds, else what went wrong.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <towngrow/towngrow.h>

namespace towngrow_fuzz {

using namespace towngrow;

// --- scratch folder ------------------------------------------------------

class ScratchDir {
public:
  static ScratchDir& Get() {
    static ScratchDir dir;
    return dir;
  }
  const std::string& Path() const { return path_; }
  // A file of the folder (no dot in the folder's path, so the float grid's
  // header rule pairs "x.flt" with "x.hdr" in the same folder).
  std::string File(const std::string& name) const { return path_ + "/" + name; }

  ~ScratchDir() {
    for (const auto& f : made_) std::remove(f.c_str());
    rmdir(path_.c_str());
  }
  void Remember(const std::string& f) {
    for (const auto& m : made_)
      if (m == f) return;
    made_.push_back(f);
  }

private:
  ScratchDir() {
    const char* bases[] = {"/dev/shm", "/tmp"};
    for (const char* base : bases) {
      std::string p = std::string(base) + "/towngrow-fuzz-" + std::to_string(getpid());
      if (mkdir(p.c_str(), 0700) == 0 || access(p.c_str(), W_OK) == 0) {
        path_ = p;
        return;
      }
    }
    std::fprintf(stderr, "no scratch folder\n");
    std::abort();
  }
  std::string path_;
  std::vector<std::string> made_;
};

inline std::string WriteScratch(const std::string& name, const std::uint8_t* data,
                                std::size_t size) {
  const std::string path = ScratchDir::Get().File(name);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    std::perror(path.c_str());
    std::abort();
  }
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
  ScratchDir::Get().Remember(path);
  return path;
}

// --- messages ------------------------------------------------------------

class MessageLog {
public:
  MessageLog() {
    previous_ = SetMessageHandler([this](const std::string& t) { texts.push_back(t); });
  }
  ~MessageLog() { SetMessageHandler(previous_); }
  std::vector<std::string> texts;

private:
  MessageHandler previous_;
};

const char* const kRange =
    "The Range is larger than the environment!\n Please make a larger environemt first";
const char* const kBadFormat = "Bad Export File Format...\nCheck the format!!!";
const char* const kIntegerGrid = "Now the system can only support integer grid!!";

// --- the coverage under test ---------------------------------------------

constexpr std::size_t kGuard = 64;
constexpr unsigned char kGuardByte = 0xA5;

// A coverage filled with a known pattern; with `guarded` its buffers are
// swapped for copies that carry guard bytes on both sides (restored before
// the coverage is destroyed, which releases its own buffers).
class Probe {
public:
  Probe(int rows, int cols, bool guarded) : rows_(rows), cols_(cols), guarded_(guarded) {
    if (cov.InitCoverage(rows, cols, 0) != 1) std::abort();
    static CLandUseSet set;
    cov.m_pLandUseSet = &set;
    const std::size_t n = Cells();
    for (std::size_t k = 0; k < n; ++k) {
      cov.m_pData[k] = static_cast<unsigned char>(1 + (k * 7 + k / 13) % 250);
      cov.m_pCellAge[k] = static_cast<short>(100 + (k * 5) % 400);
    }
    if (guarded_) {
      ownData_ = cov.m_pData;
      ownAges_ = cov.m_pCellAge;
      data_.assign(n + 2 * kGuard, kGuardByte);
      ages_.assign(n + 2 * kGuard, static_cast<short>(0x5AA5));
      std::memcpy(data_.data() + kGuard, ownData_, n);
      std::memcpy(ages_.data() + kGuard, ownAges_, n * sizeof(short));
      cov.m_pData = data_.data() + kGuard;
      cov.m_pCellAge = ages_.data() + kGuard;
    }
    Snapshot();
  }
  ~Probe() {
    if (guarded_) {
      cov.m_pData = ownData_;
      cov.m_pCellAge = ownAges_;
    }
    cov.m_pLandUseSet = nullptr;
  }
  Probe(const Probe&) = delete;
  Probe& operator=(const Probe&) = delete;

  std::size_t Cells() const {
    return static_cast<std::size_t>(rows_) * static_cast<std::size_t>(cols_);
  }
  int Rows() const { return rows_; }
  int Cols() const { return cols_; }

  // Takes the current state as the one to compare against.
  void Snapshot() {
    before_.rows = cov.m_nRows;
    before_.cols = cov.m_nCols;
    before_.data = cov.m_pData;
    before_.ages = cov.m_pCellAge;
    before_.cellSize = cov.m_dCellSize;
    before_.xll = cov.m_dXllCorner;
    before_.yll = cov.m_dYllCorner;
    before_.noData = cov.m_nNoDataValue;
    before_.name = cov.m_strName;
    before_.gridType = cov.m_nGridType;
    before_.scale = cov.m_dScale;
    before_.set = cov.m_pLandUseSet;
    values_.assign(cov.m_pData, cov.m_pData + Cells());
    agesBefore_.assign(cov.m_pCellAge, cov.m_pCellAge + Cells());
  }

  // The invariants after an import that answered `result` and showed the
  // messages `texts`. `fieldsMayChange`: the ASCII grid's georeference.
  std::string Check(int result, const std::vector<std::string>& texts,
                    const std::vector<const char*>& refusals, bool fieldsMayChange) const {
    const std::string where = " (" + std::to_string(before_.rows) + " x " +
                              std::to_string(before_.cols) + (guarded_ ? ", guarded" : "") + ")";
    if (result != 0 && result != 1) return "result " + std::to_string(result) + where;
    if (cov.m_nRows != before_.rows || cov.m_nCols != before_.cols) return "shape changed" + where;
    if (cov.m_pData != before_.data || cov.m_pCellAge != before_.ages)
      return "buffers changed" + where;
    if (cov.m_strName != before_.name || cov.m_nGridType != before_.gridType ||
        !(cov.m_dScale == before_.scale) || cov.m_pLandUseSet != before_.set)
      return "grid fields changed" + where;
    if (guarded_) {
      for (std::size_t i = 0; i < kGuard; ++i) {
        if (data_[i] != kGuardByte || data_[kGuard + Cells() + i] != kGuardByte)
          return "cell written outside the coverage" + where;
        if (ages_[i] != static_cast<short>(0x5AA5) ||
            ages_[kGuard + Cells() + i] != static_cast<short>(0x5AA5))
          return "age written outside the coverage" + where;
      }
    }
    const bool fieldsSame =
        SameBits(cov.m_dCellSize, before_.cellSize) && SameBits(cov.m_dXllCorner, before_.xll) &&
        SameBits(cov.m_dYllCorner, before_.yll) && cov.m_nNoDataValue == before_.noData;
    if (result == 0) {
      if (texts.size() != 1)
        return "refusal with " + std::to_string(texts.size()) + " messages" + where;
      bool known = false;
      for (const char* r : refusals) known = known || texts[0] == r;
      if (!known) return "unexpected message: " + texts[0] + where;
      if (!fieldsSame) return "refusal changed a field" + where;
      for (std::size_t k = 0; k < Cells(); ++k)
        if (cov.m_pData[k] != values_[k] || cov.m_pCellAge[k] != agesBefore_[k])
          return "refusal changed cell " + std::to_string(k) + where;
      return {};
    }
    if (!texts.empty()) return "success with a message: " + texts[0] + where;
    if (!fieldsMayChange && !fieldsSame) return "a field changed" + where;
    for (std::size_t k = 0; k < Cells(); ++k) {
      if (cov.m_pCellAge[k] == 0) continue;
      if (cov.m_pData[k] != values_[k] || cov.m_pCellAge[k] != agesBefore_[k])
        return "cell " + std::to_string(k) + " changed without age 0" + where;
    }
    return {};
  }

  bool Stored(int r, int c) const { return cov.m_pCellAge[Index(r, c)] == 0; }
  unsigned char Value(int r, int c) const { return cov.m_pData[Index(r, c)]; }
  bool Untouched(int r, int c) const {
    const std::size_t k = Index(r, c);
    return cov.m_pData[k] == values_[k] && cov.m_pCellAge[k] == agesBefore_[k];
  }

  CLandUseCoverage cov;

private:
  struct State {
    int rows = 0, cols = 0;
    const unsigned char* data = nullptr;
    const short* ages = nullptr;
    double cellSize = 0, xll = 0, yll = 0;
    int noData = 0;
    std::string name;
    int gridType = 0;
    double scale = 0;
    const CLandUseSet* set = nullptr;
  };
  static bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }
  std::size_t Index(int r, int c) const {
    return static_cast<std::size_t>(r) * static_cast<std::size_t>(Cols()) +
           static_cast<std::size_t>(c);
  }

  int rows_, cols_;
  bool guarded_;
  unsigned char* ownData_ = nullptr;
  short* ownAges_ = nullptr;
  std::vector<unsigned char> data_;
  std::vector<short> ages_;
  std::vector<unsigned char> values_;
  std::vector<short> agesBefore_;
  State before_;
};

// --- one reader over all coverages ---------------------------------------

enum class Reader { Ascii, E00, Float, Xya, Dat };

inline int Import(Reader reader, CLandUseCoverage& cov, const std::string& file, int overlay) {
  switch (reader) {
    case Reader::Ascii:
      return cov.ImportASCFile(file, overlay);
    case Reader::E00:
      return cov.ImportE00File(file, overlay);
    case Reader::Float:
      return cov.ImportFLTFile(file, overlay);
    case Reader::Xya:
      return cov.ImportXYAFile(file, overlay);
    case Reader::Dat:
      return cov.ImportDATFile(file, overlay);
  }
  return -1;
}

inline std::vector<const char*> Refusals(Reader reader) {
  switch (reader) {
    case Reader::Ascii:
    case Reader::Float:
      return {kRange};
    case Reader::E00:
      return {kRange, kBadFormat, kIntegerGrid};
    default:
      return {};
  }
}

struct Shape {
  int rows, cols;
  bool guarded;
};
constexpr Shape kShapes[] = {{5, 5, false}, {17, 23, true}, {64, 64, false}};
constexpr int kShapeCount = 3;

// Imports `file` with `reader` into every shape with both overlay values and
// checks the invariants above.
inline std::string CheckReader(Reader reader, const std::string& file) {
  const bool grid = reader == Reader::Ascii || reader == Reader::E00 || reader == Reader::Float;
  const bool points = reader == Reader::Xya || reader == Reader::Dat;
  const auto refusals = Refusals(reader);

  // With TOWNGROW_FUZZ_ONE_SHAPE set (for inputs of 100 MB) only the first
  // shape is tried, without the overlay flag.
  static const bool oneShape = std::getenv("TOWNGROW_FUZZ_ONE_SHAPE") != nullptr;
  const int overlays = oneShape ? 1 : 2;
  const int shapes = oneShape ? 1 : kShapeCount;

  // per shape, per overlay: the probe after the import and its result
  std::vector<std::unique_ptr<Probe>> probes[2];
  int results[2][kShapeCount] = {};
  for (int overlay = 0; overlay < overlays; ++overlay) {
    for (int s = 0; s < shapes; ++s) {
      auto p = std::make_unique<Probe>(kShapes[s].rows, kShapes[s].cols, kShapes[s].guarded);
      MessageLog log;
      const int result = Import(reader, p->cov, file, overlay);
      if (points && result != 1) return "point list import answered " + std::to_string(result);
      std::string e = p->Check(result, log.texts, refusals, reader == Reader::Ascii);
      if (!e.empty()) return e + (overlay ? " with overlay" : " without overlay");
      results[overlay][s] = result;
      probes[overlay].push_back(std::move(p));
    }
  }

  for (int overlay = 0; overlay < overlays; ++overlay) {
    // The smaller coverage against the larger one.
    for (int a = 0; a < shapes; ++a) {
      for (int b = a + 1; b < shapes; ++b) {
        if (!results[overlay][a] || !results[overlay][b]) continue;
        const Probe& small = *probes[overlay][a];
        const Probe& large = *probes[overlay][b];
        for (int r = 0; r < large.Rows(); ++r) {
          for (int c = 0; c < large.Cols(); ++c) {
            const bool inside = r < small.Rows() && c < small.Cols();
            if (inside) {
              if (small.Stored(r, c) != large.Stored(r, c) ||
                  (small.Stored(r, c) && small.Value(r, c) != large.Value(r, c)))
                return "coverages of different size disagree at row " + std::to_string(r) +
                       ", column " + std::to_string(c);
            } else if (grid && !large.Untouched(r, c)) {
              return "grid accepted by a smaller coverage wrote row " + std::to_string(r) +
                     ", column " + std::to_string(c) + " of a larger one";
            }
          }
        }
      }
    }
  }
  if (grid && overlays == 2) {
    for (int s = 0; s < shapes; ++s) {
      if (results[0][s] != results[1][s]) return "the overlay flag changed the result";
      if (!results[0][s]) continue;
      const Probe& plain = *probes[0][s];
      const Probe& overlaid = *probes[1][s];
      for (int r = 0; r < plain.Rows(); ++r)
        for (int c = 0; c < plain.Cols(); ++c)
          if (overlaid.Stored(r, c) &&
              (!plain.Stored(r, c) || plain.Value(r, c) != overlaid.Value(r, c)))
            return "the overlay import stored what the plain one did not, row " +
                   std::to_string(r) + ", column " + std::to_string(c);
    }
  }

  if (reader == Reader::Ascii && shapes > 1 && results[0][1]) {
    // What was read can be written and read back.
    const Probe& p = *probes[0][1];
    const std::string out = ScratchDir::Get().File("back.asc");
    ScratchDir::Get().Remember(out);
    if (p.cov.ExportASCFile(out) != 1) return "export of the imported grid failed";
    CLandUseCoverage back;
    if (back.InitCoverage(p.Rows(), p.Cols(), 9) != 1) std::abort();
    MessageLog log;
    if (back.ImportASCFile(out, 0) != 1) return "the exported grid was refused";
    for (int r = 0; r < p.Rows(); ++r)
      for (int c = 0; c < p.Cols(); ++c)
        if (back.GetCellValue(r, c) != p.Value(r, c) || back.GetCellAge(r, c) != 0)
          return "export and import changed row " + std::to_string(r) + ", column " +
                 std::to_string(c);
    if (back.m_nNoDataValue != p.cov.m_nNoDataValue) return "the no-data value did not travel";
  }
  return {};
}

// --- the inputs of each target -------------------------------------------

inline std::string CheckAsciiInput(const std::uint8_t* data, std::size_t size) {
  return CheckReader(Reader::Ascii, WriteScratch("in.asc", data, size));
}

inline std::string CheckE00Input(const std::uint8_t* data, std::size_t size) {
  return CheckReader(Reader::E00, WriteScratch("in.e00", data, size));
}

// A float grid input: two bytes (little-endian) give the length of the
// header text, which follows; the rest is the data file.
inline std::string CheckFloatInput(const std::uint8_t* data, std::size_t size) {
  std::size_t headerLength = 0;
  if (size >= 2)
    headerLength = static_cast<std::size_t>(data[0]) | static_cast<std::size_t>(data[1]) << 8;
  const std::size_t rest = size >= 2 ? size - 2 : 0;
  if (headerLength > rest) headerLength = rest;
  const std::uint8_t* header = size >= 2 ? data + 2 : data;
  WriteScratch("in.hdr", header, headerLength);
  const std::string file = WriteScratch("in.flt", header + headerLength, rest - headerLength);
  return CheckReader(Reader::Float, file);
}

// The same bytes as a ".xya" and as a ".dat" list.
inline std::string CheckPointsInput(const std::uint8_t* data, std::size_t size) {
  std::string e = CheckReader(Reader::Xya, WriteScratch("in.xya", data, size));
  if (!e.empty()) return "xya: " + e;
  e = CheckReader(Reader::Dat, WriteScratch("in.dat", data, size));
  if (!e.empty()) return "dat: " + e;
  CLandUseCoverage cov;
  cov.InitCoverage(5, 5, 3);
  if (cov.ImportXYFile(ScratchDir::Get().File("in.xya"), 0) != 0)
    return "xy import answered nonzero";
  for (int r = 0; r < 5; ++r)
    for (int c = 0; c < 5; ++c)
      if (cov.GetCellValue(r, c) != 0 || cov.GetCellAge(r, c) != 3)
        return "xy import changed a cell";
  return {};
}

// The input is a file name. The kind follows from its last four characters,
// upper-cased; nothing of the coverage changes and the file is not opened.
inline std::string CheckFormatName(const std::uint8_t* data, std::size_t size) {
  const std::string name(reinterpret_cast<const char*>(data), size);
  std::string tail = name.size() > 4 ? name.substr(name.size() - 4) : name;
  for (char& ch : tail)
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
  const std::string last3 = tail.size() > 3 ? tail.substr(tail.size() - 3) : tail;
  ImportDataFormat want = FormatOther;
  if (tail == ".XYA")
    want = FormatXYA;
  else if (last3 == ".XY")
    want = FormatXY;
  else if (tail == ".ASC")
    want = FormatASC;
  else if (tail == ".FLT")
    want = FormatFLT;
  else if (tail == ".DAT")
    want = FormatDAT;
  else if (tail == ".E00")
    want = FormatE00;

  CLandUseCoverage empty;
  Probe p(5, 5, true);
  MessageLog log;
  const ImportDataFormat a = empty.TestFileFormat(name);
  const ImportDataFormat b = p.cov.TestFileFormat(name);
  if (a != want || b != want)
    return "format " + std::to_string(static_cast<int>(a)) + " and " +
           std::to_string(static_cast<int>(b)) + ", expected " +
           std::to_string(static_cast<int>(want));
  if (!empty.IsEmpty() || empty.m_nRows != 0) return "the empty coverage changed";
  return p.Check(1, log.texts, {}, false);
}

}  // namespace towngrow_fuzz
