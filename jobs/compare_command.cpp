#include "jobs/compare_command.h"

#include <unistd.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <set>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "io/error.h"
#include "io/gdal_raster.h"
#include "io/grid_files.h"
#include "io/message_log.h"
#include "io/params_json.h"
#include "io/staged_files.h"
#include "jobs/run_command.h"
#include "report/render.h"
#include "report/report.h"
#include "report/run_charts.h"

namespace fs = std::filesystem;

namespace towngrow::jobs {
namespace {

// A value of the file, as one short line for a refusal.
std::string Shown(const io::Json& value) {
  const std::string text = value.dump();
  return text.size() <= 60 ? text : text.substr(0, 60) + "...";
}

std::string Fixed(const Scalar& v) { return FixedText(v, 6); }

io::Json ToJson(const Scalar& v) { return ScalarJson(v); }

// The maps of a comparison, read and checked.
struct Maps {
  io::GridFileInfo info[3];
  CLandUseCoverage cov[3];  // observed, simulated, start
  RasterView view[3];
  bool hasStart = false;
};

void LoadMaps(const CompareCommandOptions& o, CLandUseSet& set, Maps& m) {
  const std::string files[3] = {o.observed, o.simulated, o.start};
  m.hasStart = !o.start.empty();
  const int count = m.hasStart ? 3 : 2;
  for (int i = 0; i < count; ++i) {
    m.info[i] = io::ReadGridFileInfo(files[i]);
    if (i > 0 && (m.info[i].rows != m.info[0].rows || m.info[i].cols != m.info[0].cols))
      throw io::AppError(files[i] + ": has " + std::to_string(m.info[i].rows) + " x " +
                         std::to_string(m.info[i].cols) +
                         " cells (rows x columns), the observed map " + o.observed + " " +
                         std::to_string(m.info[0].rows) + " x " + std::to_string(m.info[0].cols) +
                         ": maps of other sizes cannot be compared");
  }
  io::MessageLog log;
  for (int i = 0; i < count; ++i) {
    io::LoadFitted(files[i], m.cov[i], set, log);
    delete[] m.cov[i].m_pCellAge;  // only IDs are compared
    m.cov[i].m_pCellAge = nullptr;
    m.view[i] = ViewOf(m.cov[i], m.info[i].rows, m.info[i].cols);
  }
}

// Per cell of the agreement map.
enum Code : unsigned char { kSame, kHit, kMiss, kFalseAlarm, kWrongHit, kNoClass, kOther };

std::vector<unsigned char> AgreementCodes(const Maps& m, const ClassScheme& scheme,
                                          std::array<std::uint64_t, 7>& counts) {
  const RasterView& a = m.view[0];
  std::vector<unsigned char> codes(static_cast<std::size_t>(a.rows) * a.cols);
  counts.fill(0);
  for (int r = 0; r < a.rows; ++r) {
    const unsigned char* ra = a.Row(r);
    const unsigned char* rs = m.view[1].Row(r);
    const unsigned char* ro = m.hasStart ? m.view[2].Row(r) : nullptr;
    for (int c = 0; c < a.cols; ++c) {
      const int ka = scheme.classOf[ra[c]], ks = scheme.classOf[rs[c]];
      const int ko = ro != nullptr ? scheme.classOf[ro[c]] : 0;
      Code code;
      if (ka < 0 || ks < 0 || ko < 0)
        code = kNoClass;
      else if (ro == nullptr)
        code = ka == ks ? kSame : kOther;
      else if (ka != ko)
        code = ks == ka ? kHit : ks == ko ? kMiss : kWrongHit;
      else
        code = ks != ko ? kFalseAlarm : kSame;
      codes[static_cast<std::size_t>(r) * a.cols + c] = code;
      ++counts[code];
    }
  }
  return codes;
}

// agreement.png and agreement.tif: the kinds of cells as a picture with a
// legend of their counts, and as a GeoTIFF (observed map's georeference and
// CRS) whose classes are the kinds.
// Answers where agreement.png is staged.
std::string AgreementMaps(const Maps& m, const ClassScheme& scheme, io::StagedFiles& staged,
                          const std::string& png, const std::string& tif) {
  std::array<std::uint64_t, 7> n{};
  const std::vector<unsigned char> codes = AgreementCodes(m, scheme, n);
  const char* names[7] = {m.hasStart ? "Unchanged in both" : "Same class",
                          "Hit",
                          "Miss",
                          "False alarm",
                          "Wrong hit",
                          "No class",
                          "Other class"};
  const unsigned int colors[7] = {0xE6E6E6u, 0x50981Au, 0x2730D7u, 0x61AEFDu,
                                  0x94327Bu, 0xFFFFFFu, 0x2730D7u};
  report::MapPicture map;
  for (std::size_t v = 0; v < map.colors.size(); ++v) map.colors[v] = v < 7 ? colors[v] : 0xFFFFFFu;
  CLandUseSet kinds;  // the kinds as the classes of the GeoTIFF
  for (int i = 0; i < kinds.m_LandUseArray.GetSize(); ++i) delete kinds.m_LandUseArray.GetAt(i);
  kinds.m_LandUseArray.RemoveAll();
  for (int code = 0; code < 7; ++code) {
    const std::uint64_t count = n[static_cast<std::size_t>(code)];
    if (count == 0) continue;
    map.legend.push_back({colors[code], std::string(names[code]) + " (" + std::to_string(count) +
                                            (count == 1 ? " cell)" : " cells)")});
    auto* kind = new CLandUse();
    kind->m_ID = static_cast<unsigned char>(code);
    kind->m_Color = colors[code];
    kind->m_strLandUseName = names[code];
    kinds.m_LandUseArray.Add(kind);
  }
  const RasterView& v = m.view[0];
  map.cells = codes.data();
  map.rows = v.rows;
  map.cols = v.cols;
  map.title =
      m.hasStart ? "Change: observed against simulated" : "Agreement: observed against simulated";
  map.subtitle = report::ViewText(v.rows, v.cols, report::Extent{});
  map.mapScale = report::MapScaleOf(io::GeoForOutput(m.cov[0], m.info[0].geo));
  const std::string pngTemp = staged.Add(png);
  const std::string err = report::WriteMapPng(map, pngTemp);
  if (!err.empty()) throw io::AppError(png + ": " + err);
  io::TiffLegend classes;
  classes.set = &kinds;
  classes.description =
      m.hasStart ? "change: observed against simulated" : "agreement: observed against simulated";
  const std::string temp = staged.Add(tif);
  io::WriteGeoTiffAt(temp, tif, codes.data(), v.rows, v.cols,
                     io::GeoForOutput(m.cov[0], m.info[0].geo), classes);
  std::error_code ec;
  if (fs::exists(temp + ".aux.xml", ec)) staged.Adopt(temp + ".aux.xml", tif + ".aux.xml");
  return pngTemp;
}

std::string Fixed4(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.4f", v);
  return buf;
}

// The command line that repeats a comparison (absolute paths).
std::string CompareRepeat(const CompareCommandOptions& o) {
  std::string words = "towngrow compare " + ShellWord(AbsolutePath(o.observed)) + " " +
                      ShellWord(AbsolutePath(o.simulated));
  if (!o.start.empty()) words += " --start " + ShellWord(AbsolutePath(o.start));
  if (!o.classes.empty()) words += " --classes " + ShellWord(AbsolutePath(o.classes));
  if (!o.params.empty()) words += " --params " + ShellWord(AbsolutePath(o.params));
  if (io::MapReading().band > 0) words += " --band " + std::to_string(io::MapReading().band);
  if (io::MapReading().lenient) words += " --lenient";
  if (o.fuzzy) {
    char fuzzy[96];
    std::snprintf(fuzzy, sizeof fuzzy, " --halving %.10g --radius %.10g", o.halvingDistance,
                  o.radius);
    words += fuzzy;
  } else {
    words += " --no-fuzzy";
  }
  return words + " --out " + ShellWord(AbsolutePath(o.out));
}

io::Json MapJson(const std::string& file, const io::GridFileInfo& info) {
  return io::Json{{"file", AbsolutePath(file)}, {"rows", info.rows}, {"cols", info.cols}};
}

io::Json Budget(const ChangeBudget& b) {
  return io::Json{{"hits", b.hits},
                  {"misses", b.misses},
                  {"wrongHits", b.wrongHits},
                  {"falseAlarms", b.falseAlarms},
                  {"figureOfMerit", ToJson(b.figureOfMerit)},
                  {"producersAccuracy", ToJson(b.producers)},
                  {"usersAccuracy", ToJson(b.users)}};
}

io::Json LandscapeJson(const LandscapeMetrics& l) {
  return io::Json{{"patches", l.patches},
                  {"area", l.area},
                  {"largestPatch", l.largestPatch},
                  {"largestPatchIndex", ToJson(l.largestPatchIndex)},
                  {"meanPatchArea", ToJson(l.meanPatchArea)},
                  {"totalEdge", l.totalEdge},
                  {"edgeDensity", ToJson(l.edgeDensity)},
                  {"meanCompactness", ToJson(l.meanCompactness)}};
}

io::Json ComparisonJson(const CompareCommandOptions& o, const Maps& m, const ClassScheme& scheme,
                        const ComparisonResult& r) {
  const std::size_t K = scheme.names.size();
  io::Json doc;
  doc["observed"] = MapJson(o.observed, m.info[0]);
  doc["simulated"] = MapJson(o.simulated, m.info[1]);
  doc["start"] = m.hasStart ? MapJson(o.start, m.info[2]) : io::Json(nullptr);
  io::Json classes = io::Json::array();
  for (std::size_t k = 0; k < K; ++k) {
    io::Json ids = io::Json::array();
    for (int id = 0; id < 256; ++id)
      if (scheme.classOf[static_cast<std::size_t>(id)] == static_cast<int>(k)) ids.push_back(id);
    classes.push_back(io::Json{{"name", scheme.names[k]},
                               {"ids", ids},
                               {"developed", static_cast<bool>(scheme.developed[k])},
                               {"observedCells", r.observedCells[k]},
                               {"simulatedCells", r.simulatedCells[k]}});
  }
  doc["classes"] = classes;
  doc["cells"] = r.cells;
  doc["idsWithoutClass"] = io::Json{{"observed", IdCountsJson(r.unclassified.observed)},
                                    {"simulated", IdCountsJson(r.unclassified.simulated)},
                                    {"start", IdCountsJson(r.unclassified.start)}};
  io::Json cells = io::Json::array(), shares = io::Json::array();
  for (std::size_t i = 0; i < K; ++i) {
    io::Json row = io::Json::array(), share = io::Json::array();
    for (std::size_t j = 0; j < K; ++j) {
      row.push_back(r.crossTab[i * K + j]);
      share.push_back(r.cells > 0 ? io::Json(static_cast<double>(r.crossTab[i * K + j]) /
                                             static_cast<double>(r.cells))
                                  : io::Json(nullptr));
    }
    cells.push_back(row);
    shares.push_back(share);
  }
  doc["crossTab"] = io::Json{
      {"rows", "observed"}, {"columns", "simulated"}, {"cells", cells}, {"proportions", shares}};

  io::Json measures = io::Json::object(), undefined = io::Json::object();
  for (const std::string& name :
       MeasureNames(scheme, r.hasChange, m.view[0].rows, m.view[0].cols)) {
    const Scalar v = MeasureValue(r, scheme, name);
    measures[name] = ToJson(v);
    if (!v.value) undefined[name] = v.reason;
  }
  doc["measures"] = measures;
  doc["undefined"] = undefined;
  if (r.hasChange) {
    io::Json perClass = io::Json::object();
    for (std::size_t k = 0; k < K; ++k) perClass[scheme.names[k]] = Budget(r.perClass[k]);
    doc["change"] = io::Json{{"cells", r.changeCells},
                             {"overall", Budget(r.overall)},
                             {"developed", Budget(r.developed)},
                             {"perClass", perClass},
                             {"ksim", ToJson(r.ksim)}};
  } else {
    doc["change"] = nullptr;
  }
  if (r.hasFuzzy)
    doc["fuzzyKappa"] = io::Json{{"halvingDistance", r.halvingDistance},
                                 {"radius", r.radius},
                                 {"agreement", ToJson(r.fuzzyAgreement)},
                                 {"expected", ToJson(r.fuzzyExpected)},
                                 {"kappa", ToJson(r.fuzzyKappa)}};
  else
    doc["fuzzyKappa"] = nullptr;
  io::Json resolutions = io::Json::array();
  for (const ResolutionBudget& b : r.resolutions)
    resolutions.push_back(io::Json{{"blockSide", b.blockSide},
                                   {"agreement", ToJson(b.agreement)},
                                   {"quantity", ToJson(b.quantity)},
                                   {"allocation", ToJson(b.allocation)}});
  doc["resolutions"] = resolutions;
  io::Json landscape = io::Json::object();
  for (std::size_t k = 0; k < K; ++k)
    landscape[scheme.names[k]] = io::Json{{"observed", LandscapeJson(r.landscapeObserved[k])},
                                          {"simulated", LandscapeJson(r.landscapeSimulated[k])}};
  doc["landscape"] = landscape;
  return doc;
}

std::string CrossTabCsv(const ClassScheme& scheme, const ComparisonResult& r) {
  const std::size_t K = scheme.names.size();
  std::ostringstream s;
  s << "observed\\simulated";
  for (const std::string& n : scheme.names) s << ',' << n;
  s << ",total\n";
  for (std::size_t i = 0; i < K; ++i) {
    s << scheme.names[i];
    for (std::size_t j = 0; j < K; ++j) s << ',' << r.crossTab[i * K + j];
    s << ',' << r.observedCells[i] << '\n';
  }
  s << "total";
  for (std::size_t j = 0; j < K; ++j) s << ',' << r.simulatedCells[j];
  s << ',' << r.cells << '\n';
  return s.str();
}

std::string LandscapeCsv(const ClassScheme& scheme, const ComparisonResult& r) {
  std::ostringstream s;
  s << "class,map,patches,largest patch index,mean patch area,total edge,edge density,"
       "mean compactness\n";
  for (std::size_t k = 0; k < scheme.names.size(); ++k)
    for (int map = 0; map < 2; ++map) {
      const LandscapeMetrics& l = (map == 0 ? r.landscapeObserved : r.landscapeSimulated)[k];
      s << scheme.names[k] << ',' << (map == 0 ? "observed" : "simulated") << ',' << l.patches
        << ',' << Fixed(l.largestPatchIndex) << ',' << Fixed(l.meanPatchArea) << ',' << l.totalEdge
        << ',' << Fixed(l.edgeDensity) << ',' << Fixed(l.meanCompactness) << '\n';
    }
  return s.str();
}

std::string ResolutionCsv(const ComparisonResult& r) {
  std::ostringstream s;
  s << "block side,agreement,quantity,allocation\n";
  for (const ResolutionBudget& b : r.resolutions)
    s << b.blockSide << ',' << Fixed(b.agreement) << ',' << Fixed(b.quantity) << ','
      << Fixed(b.allocation) << '\n';
  return s.str();
}

std::string Shown4(const Scalar& v) { return v.value ? FixedText(v, 4) : std::string("-"); }

void PrintSummary(std::FILE* out, const CompareCommandOptions& o, const Maps& m,
                  const ClassScheme& scheme, const ComparisonResult& r) {
  std::fprintf(out,
               "Compared %s (simulated) with %s (observed): %d x %d cells, %llu with a class "
               "in both\n",
               o.simulated.c_str(), o.observed.c_str(), m.view[0].rows, m.view[0].cols,
               static_cast<unsigned long long>(r.cells));
  std::fprintf(out, "  %-16s %12s %12s %9s %10s\n", "class", "observed", "simulated", "quantity",
               "allocation");
  for (std::size_t k = 0; k < scheme.names.size(); ++k)
    std::fprintf(out, "  %-16s %12llu %12llu %9s %10s\n", scheme.names[k].c_str(),
                 static_cast<unsigned long long>(r.observedCells[k]),
                 static_cast<unsigned long long>(r.simulatedCells[k]),
                 Shown4(r.classQuantity[k]).c_str(), Shown4(r.classAllocation[k]).c_str());
  std::fprintf(out, "  agreement %s  kappa %s  quantity %s  allocation %s  Lee-Sallee %s\n",
               Shown4(r.agreement).c_str(), Shown4(r.kappa).c_str(), Shown4(r.quantity).c_str(),
               Shown4(r.allocation).c_str(), Shown4(r.leeSallee).c_str());
  if (r.hasChange)
    std::fprintf(out,
                 "  change since %s: Figure of Merit %s (developed %s), producer's %s, user's "
                 "%s, KSim %s\n",
                 o.start.c_str(), Shown4(r.overall.figureOfMerit).c_str(),
                 Shown4(r.developed.figureOfMerit).c_str(), Shown4(r.overall.producers).c_str(),
                 Shown4(r.overall.users).c_str(), Shown4(r.ksim).c_str());
  if (r.hasFuzzy)
    std::fprintf(out, "  fuzzy kappa %s (halving distance %g, radius %g cells)\n",
                 Shown4(r.fuzzyKappa).c_str(), r.halvingDistance, r.radius);
  std::fprintf(out, "  %-10s %10s %9s %10s\n", "block side", "agreement", "quantity", "allocation");
  for (const ResolutionBudget& b : r.resolutions)
    std::fprintf(out, "  %10lld %10s %9s %10s\n", b.blockSide, Shown4(b.agreement).c_str(),
                 Shown4(b.quantity).c_str(), Shown4(b.allocation).c_str());
  const std::array<std::uint64_t, 256>* none[3] = {
      &r.unclassified.observed, &r.unclassified.simulated, &r.unclassified.start};
  const char* mapNames[3] = {"observed", "simulated", "start"};
  for (int i = 0; i < 3; ++i)
    for (int id = 0; id < 256; ++id)
      if ((*none[i])[static_cast<std::size_t>(id)] > 0)
        std::fprintf(out, "  %s map: %llu cells of ID %d have no class and are left out\n",
                     mapNames[i],
                     static_cast<unsigned long long>((*none[i])[static_cast<std::size_t>(id)]), id);
}

}  // namespace

io::Json ScalarJson(const Scalar& v) { return v.value ? io::Json(*v.value) : io::Json(nullptr); }

std::string FixedText(const Scalar& v, int decimals) {
  if (!v.value) return "";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, *v.value);
  return buf;
}

io::Json IdCountsJson(const std::array<std::uint64_t, 256>& counts) {
  io::Json j = io::Json::object();
  for (std::size_t id = 0; id < 256; ++id)
    if (counts[id] > 0) j[std::to_string(id)] = counts[id];
  return j;
}

ClassScheme ReadClassFile(const std::string& path) {
  const io::Json doc = io::ReadJsonFile(path, "class file");
  auto fail = [&](const std::string& key, const std::string& what) {
    throw io::AppError(path + ": " + key + ": " + what);
  };
  if (!doc.is_object()) fail("the top level", "must be an object {\"classes\": [...]}");
  for (const auto& item : doc.items())
    if (item.key() != "classes")
      fail(Shown(io::Json(item.key())), "unknown key (only \"classes\")");
  if (!doc.contains("classes") || !doc["classes"].is_array())
    fail("classes", "must be a list of classes");
  const io::Json& list = doc["classes"];
  if (list.empty() || list.size() > static_cast<std::size_t>(kMaxClasses))
    fail("classes", "must list 1 to " + std::to_string(kMaxClasses) + " classes");
  ClassScheme scheme;
  for (std::size_t k = 0; k < list.size(); ++k) {
    const std::string at = "classes[" + std::to_string(k) + "]";
    const io::Json& c = list[k];
    if (!c.is_object()) fail(at, "must be an object with \"name\" and \"ids\"");
    for (const auto& item : c.items())
      if (item.key() != "name" && item.key() != "ids" && item.key() != "developed")
        fail(at + "." + Shown(io::Json(item.key())), "unknown key (name, ids, developed)");
    if (!c.contains("name") || !c["name"].is_string()) fail(at + ".name", "must be a text");
    if (!c.contains("ids") || !c["ids"].is_array() || c["ids"].empty())
      fail(at + ".ids", "must be a list of at least one ID");
    if (c.contains("developed") && !c["developed"].is_boolean())
      fail(at + ".developed", "must be true or false");
    try {  // the name alone, so that the refusal names its class
      ClassScheme one;
      one.names = {c["name"].get<std::string>()};
      one.developed = {false};
      one.Check();
    } catch (const std::invalid_argument& e) {
      fail(at + ".name", e.what());
    }
    scheme.names.push_back(c["name"].get<std::string>());
    scheme.developed.push_back(c.value("developed", false));
    const io::Json& ids = c["ids"];
    for (std::size_t i = 0; i < ids.size(); ++i) {
      const std::string where = at + ".ids[" + std::to_string(i) + "]";
      if (!ids[i].is_number_integer() || ids[i].get<long long>() < 0 ||
          ids[i].get<long long>() > 255)
        fail(where, Shown(ids[i]) + " is not an ID (a whole number from 0 to 255)");
      const int id = ids[i].get<int>();
      const int before = scheme.classOf[static_cast<std::size_t>(id)];
      if (before >= 0)
        fail(where, "ID " + std::to_string(id) + " is already in class \"" +
                        scheme.names[static_cast<std::size_t>(before)] + "\"");
      scheme.classOf[static_cast<std::size_t>(id)] = static_cast<std::int16_t>(k);
    }
  }
  try {
    scheme.Check();
  } catch (const std::invalid_argument& e) {
    fail("classes", e.what());
  }
  return scheme;
}

void RunCompareCommand(const CompareCommandOptions& o, std::FILE* out) {
  if (!(o.halvingDistance > 0.0 && o.halvingDistance <= 1e6))
    throw io::AppError("--halving must be above 0 cells");
  if (!(o.radius >= 0.0 && o.radius <= 64.0))
    throw io::AppError("--radius must be from 0 to 64 cells");
  CLandUseSet set;
  if (!o.params.empty()) io::ApplyParamsFile(o.params, set);
  const ClassScheme scheme = o.classes.empty() ? DefaultClasses(set) : ReadClassFile(o.classes);
  Maps maps;
  LoadMaps(o, set, maps);

  const bool progress = !o.quiet && ::isatty(STDERR_FILENO) != 0;
  auto stage = [&](const char* what) {
    if (!progress) return;
    std::fprintf(stderr, "\r%s...\x1b[K", what);
    std::fflush(stderr);
  };
  CompareOptions options;
  options.fuzzy = false;
  stage("Comparing the maps");
  ComparisonResult result =
      Compare(maps.view[0], maps.view[1], maps.hasStart ? &maps.view[2] : nullptr, scheme, options);
  if (o.fuzzy) {
    stage("Fuzzy kappa");
    CompareOptions fuzzy;
    fuzzy.change = fuzzy.resolutions = fuzzy.landscape = false;
    fuzzy.halvingDistance = o.halvingDistance;
    fuzzy.radius = o.radius;
    const ComparisonResult f = Compare(maps.view[0], maps.view[1], nullptr, scheme, fuzzy);
    result.hasFuzzy = true;
    result.halvingDistance = f.halvingDistance;
    result.radius = f.radius;
    result.fuzzyAgreement = f.fuzzyAgreement;
    result.fuzzyExpected = f.fuzzyExpected;
    result.fuzzyKappa = f.fuzzyKappa;
  }
  stage("Writing the results");

  io::MakeFolder(o.out);
  const fs::path dir(o.out);
  auto at = [&](const char* name) { return (dir / name).string(); };
  io::StagedFiles staged;
  const io::Json doc = ComparisonJson(o, maps, scheme, result);
  staged.AddText(at("compare.json"), io::DumpReadable(doc));
  staged.AddText(at("crosstab.csv"), CrossTabCsv(scheme, result));
  staged.AddText(at("landscape.csv"), LandscapeCsv(scheme, result));
  staged.AddText(at("resolution.csv"), ResolutionCsv(result));
  report::Report report;
  report.title =
      "towngrow compare: " + o.simulated + " (simulated) against " + o.observed + " (observed)";
  report.command = CompareRepeat(o);
  report.facts = {{"observed", AbsolutePath(o.observed)},
                  {"simulated", AbsolutePath(o.simulated)},
                  {"start of the change", o.start.empty() ? "none" : AbsolutePath(o.start)},
                  {"size", std::to_string(maps.view[0].rows) + " x " +
                               std::to_string(maps.view[0].cols) + " cells"},
                  {"towngrow", Version()}};
  report::ReportTable measures;
  measures.caption = "Measures (see compare.json for every one)";
  measures.header = {"measure", "value"};
  for (const auto& [name, value] : doc["measures"].items())
    if (name.find_first_of(".@") == std::string::npos && value.is_number())
      measures.rows.push_back({name, Fixed4(value.get<double>())});
  report.tables.push_back(measures);
  report.pictures.push_back(
      {"Kinds of cells",
       AgreementMaps(maps, scheme, staged, at("agreement.png"), at("agreement.tif")),
       "agreement.png"});
  if (!result.resolutions.empty()) {
    report::ReportTable budget;
    budget.caption = "Agreement and disagreement per resolution";
    budget.header = {"block side", "agreement", "quantity", "allocation"};
    for (const ResolutionBudget& b : result.resolutions)
      budget.rows.push_back({std::to_string(b.blockSide), FixedText(b.agreement, 4),
                             FixedText(b.quantity, 4), FixedText(b.allocation, 4)});
    report.tables.push_back(budget);
    const std::string chart = at("resolution.png");
    const std::string chartTemp = staged.Add(chart);
    const std::string err = report::WriteChartPng(
        report::ResolutionChart(result,
                                o.simulated + " (simulated) against " + o.observed + " (observed)"),
        chartTemp);
    if (!err.empty()) throw io::AppError(chart + ": " + err);
    report.pictures.push_back({"Disagreement per resolution", chartTemp, "resolution.png"});
  }
  staged.AddText(at("report.html"), report::ReportHtml(report));
  staged.PublishAll();
  if (progress) std::fprintf(stderr, "\r\x1b[K");
  if (o.quiet) return;
  PrintSummary(out, o, maps, scheme, result);
  std::fprintf(
      out,
      "Wrote compare.json, crosstab.csv, landscape.csv, resolution.csv/.png, agreement.png and "
      "agreement.tif into %s\n",
      o.out.c_str());
}

}  // namespace towngrow::jobs
